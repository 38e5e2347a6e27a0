// The editor's text in the character sets of pydicom's files, checked by
// reading what we save with pydicom (Debian's python3-pydicom): names typed
// in the dialog, a dialog closed on an unchanged value, a new Specific
// Character Set, the conversion to UTF-8 and its undo, and elements copied
// between documents of different sets.
#include "app/DicomImageDoc.h"

#include "AppTestFiles.h"
#include "dicom/DicomElement.h"
#include "dicom/DicomFile.h"

#include <gtest/gtest.h>

namespace quillon::test {
namespace {

const std::string kCharsetFiles = "/usr/lib/python3/dist-packages/pydicom/data/charset_files/";
const std::string kPatientNameRow = "0010 0010";

class DocumentCharsetTest : public ::testing::Test {
 protected:
  void Open(CDicomImageDoc& document, const std::string& file) {
    ASSERT_TRUE(document.Open(kCharsetFiles + file, m_ui)) << m_ui.TakeMessages();
  }
  std::string Saved(CDicomImageDoc& document, const std::string& name) {
    const std::string path = m_dir / name;
    EXPECT_TRUE(document.SaveTo(path, m_ui)) << m_ui.TakeMessages();
    return path;
  }
  /// Patient's Name of the file at `path` as pydicom reads it.
  static std::string PydicomName(const std::string& path) {
    const CommandResult result =
        RunShell("/usr/bin/python3 " QUILLON_SOURCE_DIR "/tests/support/pydicom_text_values.py --name " + path);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::string name = result.out;
    while (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
  }
  static std::string Stored(const CDicomImageDoc& document, DicomTag tag) {
    const CDicomElement* element = document.Object().Elements().Find(tag);
    return element == nullptr ? "(absent)" : std::string(element->GetTextView());
  }
  /// Opens the dialog on `row`, lets `change` change what it shows, and
  /// presses OK.
  void Edit(CDicomImageDoc& document, const std::string& row,
            const std::function<void(CDicomElementDlg&)>& change) {
    m_ui.elementDialogs.push_back([change](CDicomElementDlg& dialog) {
      change(dialog);
      return true;
    });
    document.EditElement(RowHolding(document, row), m_ui);
  }

  TempDir m_dir{"document-charset"};
  CFakeUserInterface m_ui;
};

// Names typed in the dialog are stored in the file's own set, with the
// escape sequences it needs, and pydicom reads back what was typed. A
// dialog closed on the value it showed changes no byte.
TEST_F(DocumentCharsetTest, NamesTypedInTheDialogReadInPydicomAsTyped) {
  const struct {
    const char* file;
    const char* typed;
  } cases[] = {
      {"chrH31.dcm",
       "Yamada^Jirou=\xE5\xB1\xB1\xE7\x94\xB0^\xE6\xAC\xA1\xE9\x83\x8E=\xE3\x82\x84\xE3\x81\xBE\xE3\x81\xA0^"
       "\xE3\x81\x98\xE3\x82\x8D\xE3\x81\x86"},  // ISO 2022 IR 87
      {"chrI2.dcm",
       "Hong^Gilsun=\xE6\xB4\xAA^\xE5\x90\x89\xE9\xA0\x86=\xED\x99\x8D^\xEA\xB8\xB8\xEC\x88\x9C"},  // IR 149
      {"chrX2.dcm", "Wang^XiaoHong=\xE7\x8E\x8B^\xE5\xB0\x8F\xE7\xBA\xA2"},                         // GB18030
      {"chrRuss.dcm",
       "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2^\xD0\x9F\xD1\x91\xD1\x82\xD1\x80"},  // ISO_IR 144
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    CDicomImageDoc document(true);
    Open(document, c.file);
    const std::string before = Stored(document, 0x00100010);
    std::string shown;
    Edit(document, kPatientNameRow, [&shown](CDicomElementDlg& dialog) { shown = dialog.valueText; });
    EXPECT_EQ(Stored(document, 0x00100010), before);
    std::string name = shown;
    while (!name.empty() && name.back() == '=') name.pop_back();  // pydicom drops empty trailing groups
    EXPECT_EQ(name, PydicomName(kCharsetFiles + c.file));

    Edit(document, kPatientNameRow, [&c](CDicomElementDlg& dialog) { dialog.valueText = c.typed; });
    EXPECT_EQ(PydicomName(Saved(document, "edited.dcm")), c.typed);
    EXPECT_TRUE(m_ui.messages.empty() && m_ui.questions.empty()) << m_ui.TakeMessages();
  }
}

// A new (0008,0005) re-encodes the text it labels, or is refused when the
// text does not fit; the conversion to UTF-8 is one change that undo takes
// back to the original bytes.
TEST_F(DocumentCharsetTest, ANewCharacterSetConvertsTheTextItLabels) {
  CDicomImageDoc document(true);
  Open(document, "chrGreek.dcm");
  const std::string original = ReadBytes(Saved(document, "original.dcm"));
  const std::string greekName = PydicomName(kCharsetFiles + "chrGreek.dcm");

  Edit(document, "0008 0005", [](CDicomElementDlg& dialog) { dialog.valueText = "ISO_IR 100"; });
  EXPECT_NE(m_ui.TakeMessages().find("cannot be stored in ISO_IR 100"), std::string::npos);
  EXPECT_FALSE(document.IsModified());

  Edit(document, "0008 0005", [](CDicomElementDlg& dialog) { dialog.valueText = "ISO_IR 192"; });
  EXPECT_EQ(PydicomName(Saved(document, "utf8.dcm")), greekName);
  EXPECT_EQ(Stored(document, 0x00080005), "ISO_IR 192");

  Edit(document, "0008 0005", [](CDicomElementDlg& dialog) { dialog.valueText = "ISO_IR 126"; });
  document.ConvertTextToUtf8(m_ui);
  EXPECT_EQ(PydicomName(Saved(document, "converted.dcm")), greekName);
  document.Undo();
  EXPECT_EQ(Stored(document, 0x00080005), "ISO_IR 126");
  document.Undo();
  document.Undo();
  EXPECT_EQ(ReadBytes(Saved(document, "undone.dcm")), original);
  EXPECT_TRUE(m_ui.messages.empty()) << m_ui.TakeMessages();
}

// Copying an element between documents copies its text, not its bytes:
// "äö" from a UTF-8 document arrives in a Latin-1 one as Latin-1, and a
// character the destination cannot hold is refused. Copying (0008,0005)
// itself converts the destination's text.
TEST_F(DocumentCharsetTest, CopiesBetweenDocumentsBringTheirTextNotTheirBytes) {
  CDicomImageDoc latin1(true);
  CDicomImageDoc utf8(true);
  Open(latin1, "chrGerm.dcm");
  Open(utf8, "chrX1.dcm");
  Edit(utf8, kPatientNameRow, [](CDicomElementDlg& dialog) { dialog.valueText = "\xC3\xA4\xC3\xB6^\xC3\x85sa"; });
  m_ui.yesNo = {true, true, true};  // replace the destination's element, each time asked
  ASSERT_TRUE(latin1.ReceiveElement(0x00100010, utf8, m_ui)) << m_ui.TakeMessages();
  EXPECT_EQ(Stored(latin1, 0x00100010), "\xE4\xF6^\xC5sa");
  EXPECT_EQ(PydicomName(Saved(latin1, "copied.dcm")), "\xC3\xA4\xC3\xB6^\xC3\x85sa");

  Edit(utf8, kPatientNameRow, [](CDicomElementDlg& dialog) { dialog.valueText = "\xE7\x8E\x8B"; });
  EXPECT_FALSE(latin1.ReceiveElement(0x00100010, utf8, m_ui));
  EXPECT_NE(m_ui.TakeMessages().find("U+738B"), std::string::npos);
  EXPECT_EQ(Stored(latin1, 0x00100010), "\xE4\xF6^\xC5sa");

  ASSERT_TRUE(latin1.ReceiveElement(0x00080005, utf8, m_ui)) << m_ui.TakeMessages();
  EXPECT_EQ(Stored(latin1, 0x00080005), "ISO_IR 192");
  EXPECT_EQ(Stored(latin1, 0x00100010), "\xC3\xA4\xC3\xB6^\xC3\x85sa");
}

// A data set that declares no set holds ASCII only: typing more offers to
// declare ISO_IR 192, and the answer decides.
TEST_F(DocumentCharsetTest, TextBeyondAsciiOffersToDeclareUtf8) {
  for (const bool declare : {false, true}) {
    CDicomImageDoc document(true);
    const std::string file = m_dir / "nested.dcm";
    MakeNestedFile(file);
    ASSERT_TRUE(document.Open(file, m_ui));
    m_ui.yesNo.push_back(declare);
    Edit(document, kPatientNameRow, [](CDicomElementDlg& dialog) { dialog.valueText = "M\xC3\xBCller"; });
    ASSERT_EQ(m_ui.questions.size(), 1u);
    EXPECT_NE(m_ui.questions[0].find("declares no Specific Character Set"), std::string::npos);
    m_ui.questions.clear();
    EXPECT_EQ(Stored(document, 0x00080005), declare ? "ISO_IR 192" : "(absent)");
    EXPECT_EQ(Stored(document, 0x00100010), declare ? "M\xC3\xBCller" : "Doe^John");
    if (declare) {
      EXPECT_EQ(PydicomName(Saved(document, "declared.dcm")), "M\xC3\xBCller");
    }
  }
}

// A German name read without its (0008,0005) is shown as Latin-1, and the
// user is told that this is a guess; with the declaration nothing is said.
TEST_F(DocumentCharsetTest, UndeclaredBytesBeyondAsciiAreReportedOnOpening) {
  CDicomFile file;
  ASSERT_TRUE(file.Load(kCharsetFiles + "chrGerm.dcm"));
  (void)file.DataSet().RemoveElement(0x00080005);
  const std::string undeclared = m_dir / "undeclared.dcm";
  ASSERT_TRUE(file.Save(undeclared));
  const auto warnsOfLatin1 = [](const CDicomImageDoc& document) {
    return std::any_of(document.ReadWarnings().begin(), document.ReadWarnings().end(),
                       [](const std::string& warning) { return warning.find("shown as Latin-1") != std::string::npos; });
  };
  CDicomImageDoc declared(true);
  Open(declared, "chrGerm.dcm");
  EXPECT_FALSE(warnsOfLatin1(declared));
  CDicomImageDoc guessed(true);
  ASSERT_TRUE(guessed.Open(undeclared, m_ui)) << m_ui.TakeMessages();
  EXPECT_TRUE(warnsOfLatin1(guessed));
}

}  // namespace
}  // namespace quillon::test
