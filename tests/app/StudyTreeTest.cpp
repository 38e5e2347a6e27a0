// The folder and DICOMDIR panel's tree on pydicom's dicomdirtests: the
// same patients, studies, series and instances pydicom finds, whether the
// folder is scanned file by file or its DICOMDIR is read; a scan stops when
// asked to.
#include "app/StudyTree.h"

#include "support/Shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace quillon::test {
namespace {

const std::string kFolder = "/usr/lib/python3/dist-packages/pydicom/data/test_files/dicomdirtests";

std::string Counts(const CStudyTree& tree) {
  size_t studies = 0, series = 0;
  for (const PatientNode& patient : tree.Patients()) {
    studies += patient.studies.size();
    for (const StudyNode& study : patient.studies) series += study.series.size();
  }
  std::ostringstream text;
  text << tree.Patients().size() << " " << studies << " " << series << " " << tree.InstanceCount();
  return text.str();
}

/// pydicom's count of patients, studies, series and instances, by `script`.
std::string PeerCounts(const std::string& script) {
  const CommandResult r = RunShell("/usr/bin/python3 -c \"" + script + "\"");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return r.out.substr(0, r.out.find('\n'));
}

TEST(StudyTree, AScannedFolderHoldsWhatPydicomFindsInItsFiles) {
  int64_t reports = 0;
  const CStudyTree tree = ScanFolder(kFolder, [&](int64_t, int64_t) { return ++reports > 0; });
  const std::string expected = PeerCounts(
      "import os, pydicom\n"
      "p, st, se, n = set(), set(), set(), 0\n"
      "for d, _, fs in os.walk('" + kFolder + "'):\n"
      "  for f in fs:\n"
      "    if f.startswith('DICOMDIR'): continue\n"
      "    try: x = pydicom.dcmread(os.path.join(d, f), stop_before_pixels=True)\n"
      "    except Exception: continue\n"
      "    g = lambda k: str(x.get(k, '')).strip()\n"
      "    p.add((g('PatientID'), g('PatientName'))); st.add((g('PatientID'), g('PatientName'), g('StudyInstanceUID')))\n"
      "    se.add((g('PatientID'), g('PatientName'), g('StudyInstanceUID'), g('SeriesInstanceUID'))); n += 1\n"
      "print(len(p), len(st), len(se), n)");
  EXPECT_EQ(Counts(tree), expected);
  EXPECT_GT(tree.InstanceCount(), 50u);
  EXPECT_GT(reports, static_cast<int64_t>(tree.InstanceCount()));
  // Instances in each series come in order of their number.
  for (const PatientNode& patient : tree.Patients()) {
    for (const StudyNode& study : patient.studies) {
      for (const SeriesNode& series : study.series) {
        for (size_t i = 1; i < series.instances.size(); ++i) {
          EXPECT_LE(std::atol(series.instances[i - 1].instanceNumber.c_str()),
                    std::atol(series.instances[i].instanceNumber.c_str()));
        }
      }
    }
  }
  // Stopped after ten files: at most ten read.
  const CStudyTree stopped = ScanFolder(kFolder, [](int64_t done, int64_t) { return done < 10; });
  EXPECT_LE(stopped.InstanceCount() + stopped.skipped.size(), 10u);
}

TEST(StudyTree, ADicomDirGivesItsRecordsAsATree) {
  const Result<CStudyTree> tree = ReadDicomDir(kFolder + "/DICOMDIR");
  ASSERT_TRUE(tree) << tree.Message();
  const std::string expected = PeerCounts(
      "import pydicom\n"
      "d = pydicom.dcmread('" + kFolder + "/DICOMDIR')\n"
      "t = [r.DirectoryRecordType for r in d.DirectoryRecordSequence]\n"
      "n = sum(1 for r in d.DirectoryRecordSequence if 'ReferencedFileID' in r and r.DirectoryRecordType not in ('PATIENT', 'STUDY', 'SERIES'))\n"
      "print(t.count('PATIENT'), t.count('STUDY'), t.count('SERIES'), n)");
  EXPECT_EQ(Counts(*tree), expected);
  for (const PatientNode& patient : tree->Patients()) {
    for (const StudyNode& study : patient.studies) {
      for (const SeriesNode& series : study.series) {
        for (const InstanceInfo& instance : series.instances) EXPECT_TRUE(std::filesystem::exists(instance.path)) << instance.path;
      }
    }
  }
  EXPECT_FALSE(ReadDicomDir(kFolder + "/98892003/MR2/4981"));  // an image, no DICOMDIR
}

}  // namespace
}  // namespace quillon::test
