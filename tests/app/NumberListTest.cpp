// Number VRs and AT in the element dialog: every value of an element shown
// and stored, separated by `\`, in each VR's range; a value out of range is
// named; an element of several values is no longer cut to its first.
#include "app/NumberList.h"

#include "app/DicomElementDlg.h"
#include "dicom/DicomObject.h"
#include "dicom/ElementMap.h"
#include "dicom/ValueRepresentation.h"
#include "support/FakeUserInterface.h"

#include <gtest/gtest.h>

namespace quillon::test {
namespace {

TEST(NumberList, ValuesRoundTripThroughTheirBytes) {
  const struct {
    DicomVR vr;
    std::string typed, shown;  // shown empty: refused
  } cases[] = {
      {vr::US, "0\\65535\\ 7", "0\\65535\\7"}, {vr::US, "65536", ""},         {vr::SS, "-1\\2", "65535\\2"},
      {vr::SS, "-32769", ""},                  {vr::UL, "4294967295", "4294967295"}, {vr::SL, "-5\\+6", "-5\\6"},
      {vr::SV, "-9000000000", "-9000000000"},  {vr::UV, "18446744073709551615", "18446744073709551615"},
      {vr::FL, "0.5\\-2", "0.5\\-2"},          {vr::FL, "1e39", ""},          {vr::FD, "0.1", "0.10000000000000001"},
      {vr::AT, "0010,0020\\7fe0,0010", "0010,0020\\7fe0,0010"},           {vr::AT, "0010", ""},
      {vr::US, "1\\\\2", ""},                  {vr::FD, "x", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(VrToString(c.vr) + " " + c.typed);
    std::vector<uint8_t> bytes;
    std::string error;
    const bool parsed = ParseNumberList(c.vr, c.typed, bytes, error);
    ASSERT_EQ(parsed, !c.shown.empty()) << error;
    if (!parsed) {
      EXPECT_NE(error.find("Value "), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(bytes.size() % NumberSize(c.vr), 0u);
    CDicomObject object;
    (void)object.AddValue(0x00091001, c.vr, bytes.data(), static_cast<uint32_t>(bytes.size()));
    const std::optional<std::string> shown = FormatNumberList(*object.Elements().Find(0x00091001));
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(*shown, c.shown);
  }
}

TEST(NumberList, TheDialogEditsEveryValueOfAnElement) {
  CDicomObject object;
  const uint8_t three[] = {1, 0, 2, 0, 3, 0};
  (void)object.AddValue(0x00280034, vr::IS, "1", 1);  // unrelated neighbour
  (void)object.AddValue(0x00181310, vr::US, three, sizeof three);  // Acquisition Matrix
  CDicomElementDlg dialog(false, {false, CCharacterSet::FromSpecificCharacterSet("ISO_IR 100"), ""});
  ASSERT_TRUE(dialog.FillFrom(*object.Elements().Find(0x00181310)));
  EXPECT_EQ(dialog.valueText, "1\\2\\3");
  dialog.valueText = "4\\5";
  CFakeUserInterface ui;
  ui.yesNo.push_back(true);  // two values where the dictionary wants four: stored when confirmed
  ASSERT_TRUE(dialog.Accept(ui)) << ui.TakeMessages();
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_NE(ui.questions[0].find("holds 2 values; the attribute takes 4"), std::string::npos);
  EXPECT_EQ(dialog.Result().bytes, (std::vector<uint8_t>{4, 0, 5, 0}));
}

}  // namespace
}  // namespace quillon::test
