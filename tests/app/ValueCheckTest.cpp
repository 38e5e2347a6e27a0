// Value checks by VR: lengths, characters and formats, each VR's good and
// bad values side by side; the problems of a whole data set with the path
// to nested ones; the element dialog asks before storing a bad value.
#include "app/ValueCheck.h"

#include "app/DicomElementDlg.h"
#include "dicom/DicomObject.h"
#include "dicom/ElementRules.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "dicom/DataDictionary.h"
#include "support/DicomFiles.h"
#include "support/FakeUserInterface.h"
#include "support/Shell.h"
#include "support/StatusAssertions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

namespace quillon::test {
namespace {

TEST(ValueCheck, EachVrKeepsItsRules) {
  const struct {
    DicomVR vr;
    std::string text;
    std::string problem;  // a part of the first problem; empty: none
  } cases[] = {
      {vr::DA, "20240229", ""},          {vr::DA, "20230229", "is no date"},
      {vr::DA, "2024-01-01", "at most 8"}, {vr::DA, "20240101\\20241301", "Value 2 \"20241301\" is no date"},
      {vr::TM, "235959.123456", ""},     {vr::TM, "0930", ""},
      {vr::TM, "2460", "is no time"},    {vr::TM, "12.5", "is no time"},
      {vr::DT, "20240101120000.5+0100", ""}, {vr::DT, "2024", ""},
      {vr::DT, "20241340", "is no date and time"},
      {vr::AS, "045Y", ""},              {vr::AS, "45Y", "is no age"},
      {vr::DS, " -1.5e3 ", ""},          {vr::DS, "1,5", "is no decimal"},
      {vr::DS, "12345678901234567", "17 characters long, at most 16"},
      {vr::IS, "-2147483648", ""},       {vr::IS, "2147483648x", "is no whole number"},
      {vr::IS, "3.0", "is no whole number"},
      {vr::UI, "1.2.840.10008.1.2.1", ""}, {vr::UI, "1.02.3", "is no UID"},
      {vr::UI, "1..2", "is no UID"},     {vr::UI, std::string(65, '1'), "at most 64"},
      {vr::CS, "ORIGINAL\\PRIMARY", ""},   {vr::CS, "original", "upper case"},
      {vr::SH, "short", ""},             {vr::SH, "seventeen letters", "at most 16"},
      {vr::LO, "a\tb", "control character (code 9)"}, {vr::LT, "line\r\nbreak", ""},
      {vr::LT, "back\\slash is text here", ""}, {vr::ST, std::string(1025, 'x'), "at most 1024"},
      {vr::PN, "Doe^John", ""},          {vr::US, "not text at all", ""},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> problems = CheckTextValue(c.vr, c.text);
    SCOPED_TRACE(VrToString(c.vr) + " " + c.text.substr(0, 30));
    if (c.problem.empty()) {
      EXPECT_TRUE(problems.empty()) << problems.front();
    } else {
      ASSERT_FALSE(problems.empty());
      EXPECT_NE(problems.front().find(c.problem), std::string::npos) << problems.front();
    }
  }
}

// The count of values against the dictionary's VM: text by its
// backslashes, binary numbers by their size.
TEST(ValueCheck, TheCountOfValuesKeepsToTheDictionary) {
  const std::string threeWords("\1\0\2\0\3\0", 6);
  const std::tuple<DicomTag, DicomVR, std::string, const char*> cases[] = {
      {0x00280030, vr::DS, "0.5\\0.5", ""},  {0x00280030, vr::DS, "0.5", "holds 1 value; the attribute takes 2"},
      {0x00100010, vr::PN, "", ""},            {0x00080008, vr::CS, "ORIGINAL", "takes 2-n"},
      {0x30060050, vr::DS, "1\\2\\3\\4", "takes 3-3n"}, {0x00181600, vr::CS, "A\\B\\C", ""},  // 1-3
      {0x00181310, vr::US, threeWords, "holds 3 values; the attribute takes 4"},
      {0x00091001, vr::US, threeWords, ""},    {0x7FE00010, vr::OW, threeWords, ""},  // no VM; one value
      {0x00286102, vr::US, threeWords + threeWords, ""},                              // 2-2n
  };
  for (const auto& [tag, code, value, problem] : cases) {
    const std::string said = CheckMultiplicity(tag, code, value);
    EXPECT_EQ(said.empty(), *problem == '\0') << said;
    EXPECT_NE(said.find(problem), std::string::npos) << said;
  }
}

// dicom3tools' dciodvfy judges the counts too: on real files, some given
// wrong counts by DCMTK's dcmodify, it finds the attributes we list.
TEST(ValueCheck, CountsAgreeWithDciodvfyOnRealFiles) {
  if (!HaveTool("dciodvfy") || !HaveTool("dcmodify")) GTEST_SKIP() << "dicom3tools or DCMTK missing";
  TempDir dir("vm-peer");
  const std::pair<const char*, const char*> cases[] = {
      {"CT_small.dcm", ""}, {"MR_small.dcm", ""},
      {"CT_small.dcm", "-m '(0028,0030)=0.5\\0.5\\0.5' -m '(0010,0010)=A\\B' -m '(0018,0050)=1\\2'"},
      {"MR_small.dcm", "-m '(0020,0037)=1\\0\\0\\0\\1' -m '(0008,0008)=ORIGINAL'"}};
  size_t found = 0;
  for (const auto& [file, changes] : cases) {
    const std::string path = dir / "changed.dcm";
    std::filesystem::copy_file(std::string("/usr/lib/python3/dist-packages/pydicom/data/test_files/") + file, path,
                               std::filesystem::copy_options::overwrite_existing);
    if (*changes != '\0') {
      ASSERT_EQ(RunShell("dcmodify -nb " + std::string(changes) + " " + path).exitCode, 0);
    }
    const CommandResult verified = RunShell("dciodvfy " + path);
    std::set<std::string> peer, ours;
    std::istringstream lines(verified.out + verified.err);
    for (std::string line; std::getline(lines, line);) {
      const size_t at = line.find("Required by Dictionary) Element=<");
      if (at != std::string::npos) peer.insert(line.substr(at + 33, line.find('>', at) - at - 33));
    }
    CDicomObject object;
    ASSERT_TRUE(LoadInto(object, path, true));
    for (const std::string& line : CheckDataSet(object)) {
      if (line.find("value multiplicity") == std::string::npos) continue;
      const auto tag = static_cast<DicomTag>(std::stoul(line.substr(1, 4) + line.substr(6, 4), nullptr, 16));
      ours.insert(std::string(FindDictionaryTexts(tag)->keyword));
    }
    EXPECT_EQ(ours, peer) << file << " " << changes;
    found += peer.size();
  }
  EXPECT_EQ(found, 5u);  // each attribute changed, as dciodvfy reports it
}

TEST(ValueCheck, ADataSetListsItsProblemsWithTheirPlace) {
  CDicomObject object;
  (void)object.AddString(0x00080020, vr::DA, "20240230");
  (void)object.AddString(0x00100010, vr::PN, "Fine^Name");
  auto item = std::make_unique<CSequenceItem>();
  (void)item->AddString(0x00081150, vr::UI, "1.2.3.");
  auto sequence = std::make_unique<CDicomSequence>(0x00081140);
  sequence->SetVR(vr::SQ);
  sequence->AppendItem(std::make_unique<CSequenceItem>());
  sequence->AppendItem(std::move(item));
  ASSERT_TRUE(Succeeded(object.AddSequence(std::move(sequence))));
  const std::vector<std::string> lines = CheckDataSet(object);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("(0008,0020) ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("\"20240230\" is no date"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1].rfind("(0008,1140) ", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find(" item 2 > (0008,1150) "), std::string::npos) << lines[1];
}

TEST(ValueCheck, TheDialogStoresABadValueOnlyWhenTheUserSaysSo) {
  CFakeUserInterface ui;
  for (const bool store : {false, true}) {
    CDicomElementDlg dialog(true, {false, CCharacterSet::FromSpecificCharacterSet("ISO_IR 100"), ""});
    dialog.groupText = "0008";
    dialog.elementText = "0020";
    dialog.SetVR(vr::DA);
    dialog.valueText = "2024-01-01";
    ui.yesNo.push_back(store);
    EXPECT_EQ(dialog.Accept(ui), store);
    EXPECT_TRUE(ui.yesNo.empty());
  }
  EXPECT_EQ(ui.TakeMessages(), "");
}

}  // namespace
}  // namespace quillon::test
