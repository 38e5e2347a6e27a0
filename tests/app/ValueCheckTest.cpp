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

// The number of values against the dictionary's VM: text counted by its
// backslashes, binary numbers by their size.
TEST(ValueCheck, TheCountOfValuesKeepsToTheDictionary) {
  const auto words = [](std::initializer_list<uint16_t> values) {
    std::string bytes;
    for (const uint16_t v : values) bytes += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    return bytes;
  };
  const struct {
    DicomTag tag;
    DicomVR vr;
    std::string value;
    const char* problem;  // part of it; empty: none
  } cases[] = {
      {0x00280030, vr::DS, "0.5\\0.5", ""},                     // Pixel Spacing, 2
      {0x00280030, vr::DS, "0.5", "holds 1 value; the attribute takes 2"},
      {0x00100010, vr::PN, "Doe^John\\Roe^Jane", "holds 2 values; the attribute takes 1"},
      {0x00100010, vr::PN, "", ""},                               // empty: nothing said
      {0x00080008, vr::CS, "ORIGINAL\\PRIMARY\\AXIAL", ""},      // Image Type, 2-n
      {0x00080008, vr::CS, "ORIGINAL", "takes 2-n"},
      {0x30060050, vr::DS, "1\\2\\3\\4\\5\\6", ""},             // Contour Data, 3-3n
      {0x30060050, vr::DS, "1\\2\\3\\4", "holds 4 values"},
      {0x00181600, vr::CS, "RECTANGULAR\\CIRCULAR\\POLYGONAL", ""},  // Shutter Shape, 1-3
      {0x00181600, vr::CS, "A\\B\\C\\D", "takes 1-3"},
      {0x00181310, vr::US, words({0, 256, 256, 0}), ""},          // Acquisition Matrix, 4
      {0x00181310, vr::US, words({0, 256, 256}), "holds 3 values; the attribute takes 4"},
      {0x00286102, vr::US, words({1, 2, 3}), "takes 2-2n"},      // Applicable Frame Range
      {0x00091001, vr::US, words({1, 2, 3}), ""},                // private: no VM known
      {0x00280006, vr::US, words({0}), ""},
      {0x7FE00010, vr::OW, words({1, 2, 3}), ""},                // one value, whatever its size
      {0x00081140, vr::LT, "a\\b", ""},                          // LT: a backslash is text
  };
  for (const auto& c : cases) {
    const std::string problem = CheckMultiplicity(c.tag, c.vr, c.value);
    SCOPED_TRACE(FormatTag(c.tag) + " " + VrToString(c.vr));
    if (c.problem[0] == '\0') {
      EXPECT_EQ(problem, "");
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
  }
  // An element and a whole data set report it as they report the others.
  CDicomObject object;
  (void)object.AddString(0x00280030, vr::DS, "0.5");
  ASSERT_EQ(CheckDataSet(object).size(), 1u);
  EXPECT_NE(CheckDataSet(object)[0].find("value multiplicity"), std::string::npos);
}

// dicom3tools' dciodvfy judges the counts too: on real files, some given
// wrong counts by DCMTK's dcmodify, every attribute it finds with a count
// the dictionary does not allow is one we list.
TEST(ValueCheck, CountsAgreeWithDciodvfyOnRealFiles) {
  if (!HaveTool("dciodvfy") || !HaveTool("dcmodify")) GTEST_SKIP() << "dicom3tools or DCMTK missing";
  const std::string data = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";
  TempDir dir("vm-peer");
  const struct {
    const char* file;
    const char* changes;  // dcmodify arguments
    size_t wrong;         // attributes with a wrong count
  } cases[] = {
      {"CT_small.dcm", "", 0},
      {"MR_small.dcm", "", 0},
      {"CT_small.dcm", "-m '(0028,0030)=0.5\\0.5\\0.5' -m '(0010,0010)=A\\B' -m '(0018,0050)=1\\2'", 3},
      {"MR_small.dcm", "-m '(0020,0037)=1\\0\\0\\0\\1' -m '(0008,0008)=ORIGINAL'", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.changes);
    const std::string path = dir / "changed.dcm";
    std::filesystem::copy_file(data + c.file, path, std::filesystem::copy_options::overwrite_existing);
    if (*c.changes != '\0') ASSERT_EQ(RunShell("dcmodify -nb " + std::string(c.changes) + " " + path).exitCode, 0);
    std::set<std::string> peer;
    const CommandResult verified = RunShell("dciodvfy " + path);
    std::istringstream lines(verified.out + verified.err);
    for (std::string line; std::getline(lines, line);) {
      const size_t at = line.find("Required by Dictionary) Element=<");
      if (at != std::string::npos) peer.insert(line.substr(at + 33, line.find('>', at) - at - 33));
    }
    CDicomObject object;
    ASSERT_TRUE(LoadInto(object, path, true));
    std::set<std::string> ours;
    for (const std::string& line : CheckDataSet(object)) {
      if (line.find("value multiplicity") == std::string::npos) continue;
      const DicomTag tag = MakeTag(static_cast<uint16_t>(std::stoul(line.substr(1, 4), nullptr, 16)),
                                   static_cast<uint16_t>(std::stoul(line.substr(6, 4), nullptr, 16)));
      ours.insert(std::string(FindDictionaryTexts(tag)->keyword));
    }
    EXPECT_EQ(peer.size(), c.wrong);
    EXPECT_EQ(ours, peer);
  }
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
  const struct {
    const char* element;
    DicomVR vr;
    const char* value;
    const char* asked;
  } cases[] = {{"0020", vr::DA, "2024-01-01", "is no date"}, {"0030", vr::DS, "0.5", "value multiplicity"}};
  for (const auto& c : cases) {
    for (const bool store : {false, true}) {
      CDicomElementDlg dialog(true, {false, CCharacterSet::FromSpecificCharacterSet("ISO_IR 100"), ""});
      dialog.groupText = c.vr == vr::DA ? "0008" : "0028";
      dialog.elementText = c.element;
      dialog.SetVR(c.vr);
      dialog.valueText = c.value;
      ui.yesNo.push_back(store);
      EXPECT_EQ(dialog.Accept(ui), store);
      EXPECT_TRUE(ui.yesNo.empty());
      ASSERT_FALSE(ui.questions.empty());
      EXPECT_NE(ui.questions.back().find(c.asked), std::string::npos) << ui.questions.back();
    }
  }
  EXPECT_EQ(ui.TakeMessages(), "");
}

}  // namespace
}  // namespace quillon::test
