// The element dialog's check on OK: what it refuses (and why), and the
// bytes it produces for each kind of VR.
#include "app/DicomElementDlg.h"

#include "app/AddSequenceDlg.h"
#include "app/TagInput.h"
#include "support/FakeUserInterface.h"

#include <gtest/gtest.h>

namespace quillon::test {
namespace {

struct Case {
  const char* group;
  const char* element;
  const char* vr;
  const char* value;
  const char* length;
  bool insideItem;
  std::vector<uint8_t> bytes;  ///< empty: refused
};

TEST(ElementDialog, AcceptsWhatCanBeStoredAndRefusesTheRest) {
  const std::vector<Case> cases = {
      {"8", "16", "UI", "1.2", "0", false, {'1', '.', '2'}},
      {"0028", "0010", "US", "65535", "0", false, {0xFF, 0xFF}},
      {"0028", "0010", "US", "65536", "0", false, {}},
      {"0028", "0010", "US", "12abc", "0", false, {}},
      {"0028", "0106", "SS", "-2", "0", false, {0xFE, 0xFF}},
      {"0028", "0106", "SS", "65534", "0", false, {0xFE, 0xFF}},  // as the dialog shows SS
      {"0018", "9219", "UL", "4294967295", "0", false, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"0018", "9219", "UL", "-1", "0", false, {}},
      {"0020", "9165", "AT", "0010,0020", "0", false, {0x10, 0x00, 0x20, 0x00}},
      {"0018", "0088", "FL", "1.5", "0", false, {0x00, 0x00, 0xC0, 0x3F}},
      {"0018", "0088", "FL", "1.5 mm", "0", false, {}},
      {"0009", "1001", "OB", "ab", "4", false, {'a', 'b', 0, 0}},
      {"0009", "1001", "OB", "abc", "2", false, {}},
      {"0009", "1001", "OB", "", "67108865", false, {}},
      {"12345", "0010", "LO", "x", "0", false, {}},  // never cut to 2345
      {"", "0010", "LO", "x", "0", false, {}},
      {"0", "0", "LO", "x", "0", false, {}},
      {"fffe", "e000", "UN", "", "0", false, {}},
      {"0002", "0013", "SH", "X", "0", true, {}},
      {"0002", "0013", "SH", "X", "0", false, {'X'}},
  };
  for (const Case& c : cases) {
    CFakeUserInterface ui;
    CDicomElementDlg dialog(true, {c.insideItem, TextCharset::Latin1, ""});
    ASSERT_TRUE(TypeElement(c.group, c.element, c.vr, c.value, c.length)(dialog));
    const bool accepted = dialog.Accept(ui);
    const std::string what = std::string(c.group) + "," + c.element + " " + c.vr + " '" + c.value + "'";
    EXPECT_EQ(accepted, !c.bytes.empty()) << what;
    EXPECT_EQ(ui.messages.size(), accepted ? 0u : 1u) << what;  // a refusal always says why
    if (accepted) {
      EXPECT_EQ(dialog.Result().bytes, c.bytes) << what;
    }
  }
}

TEST(ElementDialog, TextIsStoredInTheDataSetsCharacterSet) {
  CFakeUserInterface ui;
  CDicomElementDlg latin1(true, {false, TextCharset::Latin1, ""});
  ASSERT_TRUE(TypeElement("0010", "0010", "PN", "M\xC3\xBCller")(latin1));
  ASSERT_TRUE(latin1.Accept(ui));
  EXPECT_EQ(latin1.Result().bytes, (std::vector<uint8_t>{'M', 0xFC, 'l', 'l', 'e', 'r'}));

  CDicomElementDlg euro(true, {false, TextCharset::Latin1, ""});
  ASSERT_TRUE(TypeElement("0010", "0010", "PN", "\xE2\x82\xAC")(euro));
  EXPECT_FALSE(euro.Accept(ui));
  EXPECT_NE(ui.TakeMessages().find("ISO_IR 192"), std::string::npos);
}

TEST(ElementDialog, LookupVrAndTheLengthField) {
  CDicomElementDlg dialog(true, {false, TextCharset::Latin1, ""});
  dialog.groupText = "7fe0";
  dialog.elementText = "10";
  dialog.LookupVR();
  EXPECT_EQ(dialog.SelectedVrIndex(), 1);  // OB
  EXPECT_TRUE(dialog.IsLengthEditable());
  dialog.SelectVrIndex(15);  // LO
  EXPECT_FALSE(dialog.IsLengthEditable());
  // A context-dependent tag resolves in the data set's SOP class.
  CDicomElementDlg report(true, {false, TextCharset::Latin1, "1.2.840.10008.5.1.4.1.1.88.3"});
  report.groupText = "0040";
  report.elementText = "a124";
  report.LookupVR();
  EXPECT_EQ(report.SelectedVrIndex(), -1);  // SQ is not offered
}

TEST(SequenceDialog, RefusesPixelDataAndMetaElementsInItems) {
  for (const auto& [group, element, insideItem] :
       std::vector<std::tuple<const char*, const char*, bool>>{{"7fe0", "0010", false}, {"0002", "0001", true}}) {
    CFakeUserInterface ui;
    CAddSequenceDlg dialog(insideItem, "");
    dialog.groupText = group;
    dialog.elementText = element;
    EXPECT_FALSE(dialog.Accept(ui));
    EXPECT_EQ(ui.messages.size(), 1u);
  }
}

}  // namespace
}  // namespace quillon::test
