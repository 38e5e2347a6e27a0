// The element dialog's check on OK: what it refuses (and why), and the
// bytes it produces for each kind of VR.
#include "app/DicomElementDlg.h"

#include "app/AddSequenceDlg.h"
#include "app/TagInput.h"
#include "dicom/DicomElement.h"
#include "dicom/ValueRepresentation.h"
#include "support/FakeUserInterface.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

namespace quillon::test {
namespace {

const CCharacterSet kLatin1 = CCharacterSet::FromSpecificCharacterSet("ISO_IR 100");

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
      // Binary values are typed as hexadecimal bytes, zero-filled to the length.
      {"0009", "1001", "OB", "aB 0c", "4", false, {0xAB, 0x0C, 0, 0}},
      {"0009", "1001", "OB", "61 62 63", "2", false, {}},
      {"0009", "1001", "OB", "abc", "2", false, {}},
      {"0009", "1001", "OB", "zz", "1", false, {}},
      {"0009", "1001", "OW", "01 02 03", "3", false, {}},
      {"0009", "1001", "OD", "00 00 00 00 00 00 f0 3f", "8", false, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
      {"0009", "1001", "OV", "00 00 00 00", "4", false, {}},
      {"0009", "1001", "OB", "", "67108865", false, {}},
      {"12345", "0010", "LO", "x", "0", false, {}},  // never cut to 2345
      {"", "0010", "LO", "x", "0", false, {}},
      {"0", "0", "LO", "x", "0", false, {}},
      {"fffe", "e000", "UN", "", "0", false, {}},
      {"0002", "0013", "SH", "X", "0", true, {}},
      {"0002", "0013", "SH", "X", "0", false, {'X'}},
      // The VRs added since the list was first made.
      {"0009", "1001", "SV", "-2", "0", false, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"0009", "1001", "UV", "-2", "0", false, {}},
      {"0009", "1001", "OL", "ab", "4", false, {0xAB, 0, 0, 0}},
      {"0009", "1001", "UR", "http://a", "0", false, {'h', 't', 't', 'p', ':', '/', '/', 'a'}},
      {"0009", "1001", "UR", "http://\xC3\xA9", "0", false, {}},  // a URI is ASCII, whatever the set
  };
  for (const Case& c : cases) {
    CFakeUserInterface ui;
    CDicomElementDlg dialog(true, {c.insideItem, kLatin1, ""});
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
  CDicomElementDlg latin1(true, {false, kLatin1, ""});
  ASSERT_TRUE(TypeElement("0010", "0010", "PN", "M\xC3\xBCller")(latin1));
  ASSERT_TRUE(latin1.Accept(ui));
  EXPECT_EQ(latin1.Result().bytes, (std::vector<uint8_t>{'M', 0xFC, 'l', 'l', 'e', 'r'}));

  // A character the set lacks offers to move the data set to UTF-8.
  for (const bool convert : {false, true}) {
    CDicomElementDlg euro(true, {false, kLatin1, ""});
    ASSERT_TRUE(TypeElement("0010", "0010", "PN", "\xE2\x82\xAC")(euro));
    ui.yesNo = {convert};
    EXPECT_EQ(euro.Accept(ui), convert);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_NE(ui.questions.back().find("ISO_IR 192"), std::string::npos);
    ui.questions.clear();
    EXPECT_EQ(euro.Result().convertToUtf8, convert);
    if (convert) {
      EXPECT_EQ(euro.Result().bytes, (std::vector<uint8_t>{0xE2, 0x82, 0xAC}));
    }
  }
  EXPECT_TRUE(ui.messages.empty());
}

// A value shown and left as it was keeps its bytes, even those that do not
// decode in the set (shown as "\xFF") and would not encode back.
TEST(ElementDialog, AnUnchangedValueKeepsItsBytes) {
  const CCharacterSet greek = CCharacterSet::FromSpecificCharacterSet("ISO_IR 126");
  const std::string stored = "\xC4\xE9\xFF^x";  // 0xFF is no letter of ISO 8859-7
  CDicomElement element(0x00100010, vr::PN, stored.data(), static_cast<uint32_t>(stored.size()));
  for (const bool change : {false, true}) {
    CFakeUserInterface ui;
    CDicomElementDlg dialog(false, {false, greek, ""});
    ASSERT_TRUE(dialog.FillFrom(element));
    EXPECT_EQ(dialog.valueText, "\xCE\x94\xCE\xB9\\xFF^x");
    if (change) dialog.valueText += "y";
    // Typed, the backslash makes two names of one: the count is asked about.
    if (change) ui.yesNo.push_back(true);
    EXPECT_TRUE(dialog.Accept(ui));
    const std::string bytes(dialog.Result().bytes.begin(), dialog.Result().bytes.end());
    EXPECT_EQ(bytes, change ? "\xC4\xE9\\xFF^xy" : stored);  // typed text is text
  }
}

TEST(ElementDialog, LookupVrAndTheLengthField) {
  CDicomElementDlg dialog(true, {false, kLatin1, ""});
  dialog.groupText = "7fe0";
  dialog.elementText = "10";
  dialog.LookupVR();
  EXPECT_EQ(dialog.SelectedVrIndex(), 1);  // OB
  EXPECT_TRUE(dialog.IsLengthEditable());
  dialog.SelectVrIndex(15);  // LO
  EXPECT_FALSE(dialog.IsLengthEditable());
  // A context-dependent tag resolves in the data set's SOP class.
  CDicomElementDlg report(true, {false, kLatin1, "1.2.840.10008.5.1.4.1.1.88.3"});
  report.groupText = "0040";
  report.elementText = "a124";
  report.LookupVR();
  EXPECT_EQ(report.SelectedVrIndex(), 30);  // SQ is offered, and refused on OK
}

// Words show as the file holds them: swapped in a big endian data set (not
// in group 0002, little endian everywhere), stored back in the model's order.
TEST(ElementDialog, BinaryValuesShowAsTheFileHoldsThem) {
  const uint8_t model[] = {0x01, 0x02, 0x03, 0x04};
  const std::tuple<DicomTag, DicomVR, bool, const char*> cases[] = {
      {0x00091001, vr::OW, false, "01 02 03 04"}, {0x00091001, vr::OW, true, "02 01 04 03"},
      {0x00091001, vr::OF, true, "04 03 02 01"},  {0x00020001, vr::OW, true, "01 02 03 04"}};
  for (const auto& [tag, code, bigEndian, shown] : cases) {
    CDicomElement element(tag, code, model, sizeof model);
    CDicomElementDlg dialog(false, {false, kLatin1, "", bigEndian});
    ASSERT_TRUE(dialog.FillFrom(element));
    EXPECT_EQ(dialog.valueText, shown);
    CFakeUserInterface ui;
    ASSERT_TRUE(dialog.Accept(ui)) << ui.TakeMessages();
    EXPECT_EQ(dialog.Result().bytes, std::vector<uint8_t>(model, model + 4));
  }
}

// Past 64 KiB a value is held, not shown; Import and Export carry any size
// in the file's byte order, keeping to the VR's word size.
TEST(ElementDialog, ImportAndExportCarryValuesOfAnySize) {
  TempDir dir("element-dialog");
  std::string big(CDicomElementDlg::kMaxHexLength + 2, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteText(dir / "big.raw", big);
  WriteText(dir / "odd.raw", "abc");
  const std::tuple<const char*, const char*, bool, const char*> cases[] = {
      {"big.raw", "OW", false, nullptr},         {"big.raw", "OW", true, nullptr},
      {"odd.raw", "OB", true, nullptr},          {"odd.raw", "OW", false, "multiple of 2"},
      {"odd.raw", "LO", false, "binary VR"},     {"missing.raw", "OB", false, "Cannot read"}};
  for (const auto& [name, code, bigEndian, refusal] : cases) {
    SCOPED_TRACE(std::string(name) + " " + code);
    CFakeUserInterface ui;
    CDicomElementDlg dialog(true, {false, kLatin1, "", bigEndian});
    ASSERT_TRUE(TypeElement("0009", "1001", code, "")(dialog));
    const std::string file = ReadBytes(dir / name);
    ASSERT_EQ(dialog.ImportValue(dir / name, ui), refusal == nullptr);
    if (refusal != nullptr) {
      EXPECT_NE(ui.TakeMessages().find(refusal), std::string::npos);
      continue;
    }
    EXPECT_EQ(dialog.IsValueHeld(), file.size() > CDicomElementDlg::kMaxHexLength);
    ASSERT_TRUE(dialog.ExportValue(dir / "out.raw", ui)) << ui.TakeMessages();
    EXPECT_EQ(ReadBytes(dir / "out.raw"), file);
    ASSERT_TRUE(dialog.Accept(ui)) << ui.TakeMessages();
    std::vector<uint8_t> expected(file.begin(), file.end());
    if (bigEndian) (void)SwapValueBytes(MakeVR(code[0], code[1]), expected.data(), expected.size());
    EXPECT_EQ(dialog.Result().bytes, expected);
    dialog.SelectVrIndex(15);  // LO: held bytes mean nothing as text
    EXPECT_FALSE(dialog.IsValueHeld());
  }
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
