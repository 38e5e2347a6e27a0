// "deidentify" and "modify" on real files: pydicom's test files (and a file
// that pydicom makes to reference one of them) de-identified, then read by
// pydicom (tests/data/check_deidentified.py says what it checks) and by
// dcmdump; the run repeated with one UID map gives the same bytes; modify's
// tag paths, refusals and exit codes.
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using namespace quillon::test;

namespace {

const std::string kCli = QUILLON_CLI_PATH;
const std::string kSource = QUILLON_SOURCE_DIR;
const std::string kPydicomFiles = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";
const std::string kPython = "/usr/bin/python3";

std::string Files(const std::filesystem::path& folder) {
  std::string list;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) list += " " + entry.path().string();
  }
  return list;
}

struct CliDeidentify : ::testing::Test {
  void SetUp() override {
    if (!std::filesystem::exists(kPydicomFiles + "CT_small.dcm") || !std::filesystem::exists(kPython)) {
      GTEST_SKIP() << "pydicom and its test files";
    }
    std::filesystem::create_directories(m_dir / "in/sr");
    std::filesystem::create_directories(m_dir / "in/rt");
    for (const char* name : {"CT_small.dcm", "MR_small.dcm", "JPEG-lossy.dcm", "SC_rgb_small_odd.dcm",
                             "nested_priv_SQ.dcm", "waveform_ecg.dcm", "MR_small_bigendian.dcm"}) {
      std::filesystem::copy_file(kPydicomFiles + name, m_dir / (std::string("in/") + name));
    }
    for (const char* name : {"test-SR.dcm", "reportsi.dcm"}) {
      std::filesystem::copy_file(kPydicomFiles + name, m_dir / (std::string("in/sr/") + name));
    }
    for (const char* name : {"rtplan.dcm", "rtdose.dcm", "rtstruct.dcm"}) {  // rtstruct has no preamble
      std::filesystem::copy_file(kPydicomFiles + name, m_dir / (std::string("in/rt/") + name));
    }
    // Another file that references the CT image, made by pydicom.
    const CommandResult made = RunShell(
        kPython + " -c \"import pydicom; from pydicom.dataset import Dataset; ct = pydicom.dcmread('" +
        (m_dir / "in/CT_small.dcm") + "'); ref = pydicom.dcmread('" + (m_dir / "in/MR_small.dcm") +
        "'); item = Dataset(); item.ReferencedSOPClassUID = ct.SOPClassUID; "
        "item.ReferencedSOPInstanceUID = ct.SOPInstanceUID; ref.ReferencedImageSequence = [item]; "
        "ref.SOPInstanceUID = ref.SOPInstanceUID + '.1'; ref.file_meta.MediaStorageSOPInstanceUID = "
        "ref.SOPInstanceUID; ref.save_as('" + (m_dir / "in/rt/ref.dcm") + "')\"");
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
  std::string Check(const std::string& output) const {
    const CommandResult r = RunShell(kPython + " " + kSource + "/tests/data/check_deidentified.py " + kSource +
                                     "/data/deidentification-profile.csv " + (m_dir / "in") + " " + output);
    return r.out + r.err;
  }
  TempDir m_dir{"cli-deidentify"};
};

TEST_F(CliDeidentify, PydicomFindsNothingTheProfileRemovesAndReferencesStillResolve) {
  const CommandResult r = RunShell(kCli + " deidentify " + (m_dir / "in") + " --output " + (m_dir / "out") +
                                   " --uid-map " + (m_dir / "run.map") + " --jobs 3");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("12 of 13 files written, 1 skipped (not DICOM), 0 failed"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("SC_rgb_small_odd.dcm: a secondary capture image"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(m_dir / "in/rt/rtstruct.dcm"), std::string::npos) << r.out;
  EXPECT_EQ(Check(m_dir / "out").rfind("OK 12 ", 0), 0u) << Check(m_dir / "out");
  const CommandResult reference = RunShell(
      kPython + " -c \"import pydicom; a = pydicom.dcmread('" + (m_dir / "out/rt/ref.dcm") +
      "'); b = pydicom.dcmread('" + (m_dir / "out/CT_small.dcm") +
      "'); print(a.ReferencedImageSequence[0].ReferencedSOPInstanceUID == b.SOPInstanceUID, "
      "a.StudyInstanceUID == b.StudyInstanceUID)\"");
  EXPECT_EQ(reference.out, "True False\n") << reference.err;
  if (HaveTool("dcmdump")) {
    const CommandResult dumped = RunShell("dcmdump -q" + Files(m_dir / "out") + " >/dev/null");
    EXPECT_EQ(dumped.exitCode, 0) << dumped.err;
    EXPECT_EQ(dumped.err, "");
  }
  // No error the original did not have. Not for the reports: the basic
  // profile replaces their content by one empty item (D), which their
  // templates do not accept; that is the price of not keeping their text.
  if (HaveTool("dciodvfy")) {
    for (const char* name : {"CT_small.dcm", "MR_small.dcm", "waveform_ecg.dcm", "rt/rtplan.dcm", "rt/rtdose.dcm"}) {
      const std::string errors = "dciodvfy %s 2>&1 | grep '^Error' | sort -u";
      const std::string added = "comm -13 <(" + errors + ") <(" + errors + ")";
      char command[1024];
      std::snprintf(command, sizeof command, added.c_str(), (m_dir / ("in/" + std::string(name))).c_str(),
                    (m_dir / ("out/" + std::string(name))).c_str());
      const CommandResult compared = RunShell(std::string("bash -c \"") + command + "\"");
      EXPECT_EQ(compared.out, "") << name;
    }
  }
  // The same map again: the same bytes, file for file (also when nothing is
  // flushed at the end).
  const CommandResult again = RunShell(kCli + " deidentify " + (m_dir / "in") + " -o " + (m_dir / "again") +
                                       " --uid-map " + (m_dir / "run.map") + " --jobs 1 --no-sync");
  ASSERT_EQ(again.exitCode, 0) << again.err;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir / "out")) {
    if (!entry.is_regular_file()) continue;
    const std::string twin = m_dir / ("again/" + std::filesystem::relative(entry.path(), m_dir / "out").string());
    EXPECT_EQ(ReadBytes(entry.path()), ReadBytes(twin)) << entry.path();
  }
  EXPECT_NE(ReadBytes(m_dir / "run.map").find("\nuid 1.3.6.1.4.1.5962.1.1.1.1.1.20040119072730.12322 "),
            std::string::npos);
}

TEST_F(CliDeidentify, OptionsInPlaceAndRefusals) {
  const std::string ct = m_dir / "in/CT_small.dcm";
  const std::string original = ReadBytes(ct);
  struct Case {
    std::string arguments;
    int exitCode;
    const char* says;
  };
  const Case cases[] = {
      {ct, 2, "no output folder"},
      {ct + " -o " + (m_dir / "in"), 2, "would replace the original"},
      {ct + " -o x --in-place", 2, "excludes"},
      {ct + " -o x --retain-full-dates --retain-modified-dates", 2, "not both"},
      {(m_dir / "missing.dcm") + " -o " + (m_dir / "o"), 1, "missing.dcm: "},
      {ct + " -o " + (m_dir / "o") + " --uid-map " + (m_dir / "in/rt/rtplan.dcm"), 1, "holds no key line"},
  };
  for (const Case& c : cases) {
    const CommandResult r = RunShell(kCli + " deidentify " + c.arguments);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments << "\n" << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.arguments << "\n" << r.err;
  }
  EXPECT_EQ(ReadBytes(ct), original);
  const CommandResult kept = RunShell(kCli + " deidentify " + ct + " --in-place --retain-uids --retain-full-dates "
                                      "--keep-private");
  ASSERT_EQ(kept.exitCode, 0) << kept.err;
  const CommandResult fields = RunShell(
      kPython + " -c \"import pydicom; d = pydicom.dcmread('" + ct + "'); print(d.SOPInstanceUID, d.StudyDate, "
      "d.PatientName == '', sorted(i.CodeValue for i in d.DeidentificationMethodCodeSequence), "
      "d.LongitudinalTemporalInformationModified, any(e.tag.is_private for e in d))\"");
  EXPECT_EQ(fields.out,
            "1.3.6.1.4.1.5962.1.1.1.1.1.20040119072730.12322 20040119 True ['113100', '113106', '113110'] "
            "UNMODIFIED True\n")
      << fields.err;
}

TEST_F(CliDeidentify, ModifyEditsAtTagPathsAndRefusesBadValues) {
  const std::string ref = m_dir / "in/rt/ref.dcm";
  const CommandResult r = RunShell(kCli + " modify " + ref + " " + (m_dir / "in/CT_small.dcm") + " " +
                                   (m_dir / "in/MR_small.dcm") + " -o " +
                                   (m_dir / "mod") + " --set \"(0010,0010)=Miller^Anna\"" +
                                   " --set \"(0008,1140)[0].(0008,1150)=1.2.3\"" +
                                   " --set \"(0008,1140)[*].(0008,1160)=7\" --replace \"(0010,1000)=none\"" +
                                   " --erase \"(0010,0030)\" --erase-all \"(0008,0020)\" --erase-private --new-uids");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("3 of 3 files written"), std::string::npos) << r.out;
  const CommandResult fields = RunShell(
      kPython + " -c \"import pydicom; a = pydicom.dcmread('" + (m_dir / "mod/ref.dcm") +
      "'); b = pydicom.dcmread('" + (m_dir / "mod/CT_small.dcm") +
      "'); c = pydicom.dcmread('" + (m_dir / "mod/MR_small.dcm") +
      "'); i = a.ReferencedImageSequence[0]; print(a.PatientName, i.ReferencedSOPClassUID, i.ReferencedFrameNumber, "
      "'PatientBirthDate' in a, 'StudyDate' in a, 'OtherPatientIDs' in a, any(e.tag.is_private for e in b), "
      "a.StudyInstanceUID == c.StudyInstanceUID, a.StudyInstanceUID == b.StudyInstanceUID, "
      "a.SOPInstanceUID == a.file_meta.MediaStorageSOPInstanceUID, b.SOPInstanceUID.startswith('1.3.6.1.4.1.5962'))\"");
  // ref.dcm and MR_small.dcm share a study, CT_small.dcm is another one.
  EXPECT_EQ(fields.out, "Miller^Anna 1.2.3 7 False False False False True False True False\n") << fields.err;

  struct Case {
    std::string edit;
    int exitCode;
    std::string says;
  };
  const Case cases[] = {
      {"--set \"(0010,0030)=May 1st\"", 1, ref + ": (0010,0030): \"May 1st\" is no valid DA value"},
      {"--set \"(0010,0010)=\xE5\xB1\xB1\"", 1, ref + ": (0010,0010): "},
      // No (0008,0005): the default repertoire holds ASCII only.
      {"--set \"(0010,0010)=M\xC3\xBCller\"", 1, ref + ": (0010,0010): The character '\xC3\xBC'"},
      {"--set \"(0008,1140)[0](0008,1150)=1\"", 2, "is no item"},
      {"--erase-all \"(0010,001)\"", 2, "is not a tag"},
      {"--set \"(0010,0010)\"", 2, "gives no value"},
      {"", 2, "no edit given"},
  };
  for (const Case& c : cases) {
    const CommandResult refused = RunShell(kCli + " modify " + ref + " -o " + (m_dir / "bad") + " " + c.edit);
    EXPECT_EQ(refused.exitCode, c.exitCode) << c.edit << "\n" << refused.err;
    EXPECT_NE(refused.err.find(c.says), std::string::npos) << c.edit << "\n" << refused.err;
  }
  EXPECT_FALSE(std::filesystem::exists(m_dir / "bad/ref.dcm"));
}

}  // namespace
