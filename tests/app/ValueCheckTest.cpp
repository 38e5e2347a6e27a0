// Value checks by VR: lengths, characters and formats, each VR's good and
// bad values side by side; the problems of a whole data set with the path
// to nested ones; the element dialog asks before storing a bad value.
#include "app/ValueCheck.h"

#include "app/DicomElementDlg.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "support/FakeUserInterface.h"
#include "support/StatusAssertions.h"

#include <gtest/gtest.h>

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
