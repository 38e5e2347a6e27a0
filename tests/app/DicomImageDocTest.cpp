// The document's commands on a real file, driven through the scripted user
// interface: edit, insert (also into an item), remove (also items), new
// meta information, delete all, the refusals, saving, and undo/redo back
// to byte-identical files.
#include "app/DicomImageDoc.h"

#include "AppTestFiles.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace quillon::test {
namespace {

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeNestedFile(m_file);
    ASSERT_TRUE(m_document.Open(m_file, m_ui));
  }
  std::string Saved(const std::string& name) {
    const std::string path = m_dir / name;
    EXPECT_TRUE(m_document.SaveTo(path, m_ui)) << m_ui.TakeMessages();
    return ReadBytes(path);
  }
  std::string Value(const CDicomObject& object, DicomTag tag) {
    std::string value;
    (void)object.GetString(tag, value);
    return value;
  }
  CDicomSequence& Outer() {
    CDicomSequence* sequence = nullptr;
    EXPECT_EQ(m_document.Object().GetSequence(0x00081140, &sequence), DicomStatus::Success);
    return *sequence;
  }

  TempDir m_dir{"document"};
  std::string m_file = m_dir / "nested.dcm";
  CFakeUserInterface m_ui;
  CDicomImageDoc m_document{true};
};

TEST_F(DocumentTest, EditChangesTheValueAndMarksTheDocumentModified) {
  const int row = RowHolding(m_document, "0010 0010");
  ASSERT_TRUE(m_document.CanEditElement(row));
  std::string shownValue;
  m_ui.elementDialogs.push_back([&](CDicomElementDlg& dialog) {
    shownValue = dialog.valueText;
    EXPECT_FALSE(dialog.IsInsertMode());
    dialog.valueText = "Roe^Jane";
    return true;
  });
  m_document.EditElement(row, m_ui);
  EXPECT_EQ(shownValue, "Doe^John");
  EXPECT_EQ(Value(m_document.Object(), 0x00100010), "Roe^Jane");
  EXPECT_TRUE(m_document.IsModified());
  EXPECT_TRUE(m_ui.messages.empty()) << m_ui.TakeMessages();
}

TEST_F(DocumentTest, EditRefusesSequencesAndHandsPixelDataToThePixelView) {
  m_document.EditElement(RowHolding(m_document, "0008 1140"), m_ui);
  EXPECT_EQ(m_ui.TakeMessages(), "Use Items for Editing\n");
  bool showPixels = false;
  m_document.EditElement(RowHolding(m_document, "7fe0 0010"), m_ui, &showPixels);
  EXPECT_TRUE(showPixels);
  EXPECT_EQ(m_ui.elementDialogsShown, 0);
}

// A binary value is edited as hexadecimal bytes; Undo brings the old back.
TEST_F(DocumentTest, ABinaryValueIsEditedAsHexadecimalAndUndone) {
  m_ui.elementDialogs.push_back([](CDicomElementDlg& dialog) {
    EXPECT_EQ(dialog.valueText, "41 42 43 44");
    dialog.valueText = "41 42\n43 44 45 46";
    dialog.lengthText = "6";
    return true;
  });
  m_document.EditElement(RowHolding(m_document, "0009 1001"), m_ui);
  EXPECT_EQ(Value(m_document.Object(), 0x00091001), "ABCDEF");
  m_document.Undo();
  EXPECT_EQ(Value(m_document.Object(), 0x00091001), "ABCD");
  EXPECT_FALSE(m_document.IsModified());
}

// Real files: compressed or unread pixel data is not opened as bytes, and
// the status bar says why.
TEST(DocumentPixelData, CompressedOrUnreadPixelDataSaysWhyItIsNotEdited) {
  for (const auto& [file, readPixels, reason] : {std::tuple{"CT_small.dcm", false, "was not read"},
                                                 std::tuple{"JPEG2000.dcm", true, "compressed"}}) {
    CFakeUserInterface ui;
    CDicomImageDoc document(readPixels);
    ASSERT_TRUE(document.Open(std::string("/usr/lib/python3/dist-packages/pydicom/data/test_files/") + file, ui));
    document.EditElement(RowHolding(document, "7fe0 0010"), ui);
    EXPECT_EQ(ui.elementDialogsShown, 0);
    EXPECT_NE(ui.statuses.back().find(reason), std::string::npos) << ui.statuses.back();
  }
}

TEST_F(DocumentTest, InsertOnAnItemRowGoesIntoThatItem) {
  const int itemRow = RowHolding(m_document, "**** Item") ;
  ASSERT_GE(itemRow, 0);
  m_ui.elementDialogs.push_back(TypeElement("10", "20", "LO", "NESTED"));
  m_document.InsertElement(itemRow, m_ui);
  EXPECT_EQ(Value(*Outer().GetItem(0), 0x00100020), "NESTED");
  EXPECT_EQ(Value(m_document.Object(), 0x00100020), "ID123");  // the top level keeps its own
}

TEST_F(DocumentTest, InsertAsksBeforeReplacingAndNoKeepsTheElement) {
  const int row = RowHolding(m_document, "0010 0020");
  m_ui.elementDialogs.push_back(TypeElement("0010", "0020", "LO", "OTHER"));
  m_ui.yesNo.push_back(false);
  m_document.InsertElement(row, m_ui);
  EXPECT_EQ(Value(m_document.Object(), 0x00100020), "ID123");
  m_ui.elementDialogs.push_back(TypeElement("0010", "0020", "LO", "OTHER"));
  m_ui.yesNo.push_back(true);
  m_document.InsertElement(row, m_ui);
  EXPECT_EQ(Value(m_document.Object(), 0x00100020), "OTHER");
}

TEST_F(DocumentTest, RawValuesArePaddedToTheDeclaredLengthAndShortLengthsAreRefused) {
  m_ui.elementDialogs.push_back(TypeElement("0009", "1002", "OB", "61 62 63", "6"));
  m_document.InsertElement(0, m_ui);
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  ASSERT_EQ(m_document.Object().GetValue(0x00091002, length, &value), DicomStatus::Success);
  ASSERT_EQ(length, 6u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(value), 6), std::string("abc\0\0\0", 6));

  // A declared length below the typed bytes would store a length with no
  // value: the dialog refuses it and stays open.
  m_ui.elementDialogs.push_back(TypeElement("0009", "1003", "OB", "616263", "2"));
  m_document.InsertElement(0, m_ui);
  EXPECT_NE(m_ui.TakeMessages().find("shorter than the 3 bytes"), std::string::npos);
  EXPECT_FALSE(m_document.Object().Contains(0x00091003));
}

TEST_F(DocumentTest, RemovingAnItemKeepsTheOthersInOrder) {
  CDicomSequence& outer = Outer();
  CSequenceItem* second = outer.GetItem(1);
  m_document.RemoveElement(m_document.Rows().RowOf(outer.GetItem(0)), m_ui);
  ASSERT_EQ(Outer().GetItemCount(), 1u);
  EXPECT_EQ(Outer().GetItem(0), second);
  m_document.Undo();
  ASSERT_EQ(Outer().GetItemCount(), 2u);
  EXPECT_EQ(Outer().GetItem(1), second);
}

TEST_F(DocumentTest, AfterAChangeTheRowsShowTheLengthsASaveWouldWrite) {
  // Written by DCMTK with defined lengths, (0008,1140) says 150 bytes; an
  // item more, and its row must say what the file would hold.
  CDicomImageDoc& document = m_document;
  const int row = RowHolding(document, "0008 1140");
  ASSERT_NE(document.Rows().RawText(static_cast<size_t>(row)).find("     150 |"), std::string::npos);
  document.AddItem(row);
  // Shown before the save, as the user sees it.
  const std::string line = document.Rows().RawText(static_cast<size_t>(RowHolding(document, "0008 1140")));
  const std::string saved = m_dir / "saved.dcm";
  ASSERT_TRUE(document.SaveTo(saved, m_ui));
  const std::string dump = RunShell(std::string(QUILLON_CLI_PATH) + " dump " + saved).out;
  EXPECT_NE(dump.find(line), std::string::npos) << line;
  EXPECT_EQ(line.find("     150 |"), std::string::npos) << line;
}

TEST_F(DocumentTest, SequencesAndItemsAreAddedEmpty) {
  m_ui.sequenceDialogs.push_back([](CAddSequenceDlg& dialog) {
    dialog.groupText = "0008";
    dialog.elementText = "1115";
    return true;
  });
  m_document.InsertSequence(RowHolding(m_document, "0010 0010"), m_ui);
  CDicomSequence* added = nullptr;
  ASSERT_EQ(m_document.Object().GetSequence(0x00081115, &added), DicomStatus::Success);
  EXPECT_EQ(added->GetItemCount(), 0u);
  m_document.AddItem(m_document.Rows().RowOf(added));
  EXPECT_EQ(added->GetItemCount(), 1u);

  // A tag the dictionary does not call a sequence is asked about first.
  m_ui.sequenceDialogs.push_back([](CAddSequenceDlg& dialog) {
    dialog.groupText = "0010";
    dialog.elementText = "0030";
    return true;
  });
  m_ui.okCancel.push_back(false);
  m_document.InsertSequence(0, m_ui);
  EXPECT_FALSE(m_document.Object().Contains(0x00100030));
}

TEST_F(DocumentTest, NewMetaInformationOnlyOnAnEmptyDataSet) {
  m_document.NewMetaInformation();
  EXPECT_EQ(Value(m_document.Object(), 0x00020013), "OFFIS_DCMTK_367");  // not empty: nothing happens
  m_document.DeleteAll();
  ASSERT_TRUE(m_document.IsEmpty());
  m_document.NewMetaInformation();
  EXPECT_EQ(Value(m_document.Object(), tags::kMediaStorageSopClassUid), "1.2.840.10008.5.1.4.1.1.6.1");
  EXPECT_EQ(Value(m_document.Object(), tags::kTransferSyntaxUid), "1.2.840.10008.1.2.1");
  EXPECT_EQ(Value(m_document.Object(), 0x00020013), "Velt10");
  EXPECT_EQ(Value(m_document.Object(), 0x00020016), "OSTRICA_AE");
  EXPECT_EQ(Value(m_document.Object(), tags::kMediaStorageSopInstanceUid),
            Value(m_document.Object(), tags::kSopInstanceUid));
  EXPECT_EQ(m_document.Object().GetSopClassUid(), "1.2.840.10008.5.1.4.1.1.6.1");
}

TEST_F(DocumentTest, ChangingTheTransferSyntaxUnderItsPixelDataIsRefusedBeforeAnythingChanges) {
  // Native pixel data under a compressed syntax would be saved as a lie.
  // The change is judged on the data set as it would be: the data set is
  // never changed and changed back, so no view is told to rebuild.
  struct RebuildCounter : IDocumentObserver {
    void OnRowsRebuilt(const CDicomImageDoc&, const RowFocus&) override { ++rebuilds; }
    void OnStateChanged(const CDicomImageDoc&) override {}
    int rebuilds = 0;
  } counter;
  m_document.AddObserver(&counter);
  const int row = RowHolding(m_document, "0002 0010");
  m_ui.elementDialogs.push_back([](CDicomElementDlg& dialog) {
    dialog.valueText = "1.2.840.10008.1.2.5";
    return true;
  });
  m_document.EditElement(row, m_ui);
  EXPECT_NE(m_ui.TakeMessages().find("the transfer syntax (0002,0010) would be \"1.2.840.10008.1.2.5\""),
            std::string::npos);
  EXPECT_EQ(Value(m_document.Object(), tags::kTransferSyntaxUid), "1.2.840.10008.1.2.1");
  EXPECT_FALSE(m_document.IsModified());
  EXPECT_EQ(counter.rebuilds, 0);
  m_document.RemoveObserver(&counter);

  // Between uncompressed syntaxes it is fine, and the encoding follows.
  m_ui.elementDialogs.push_back([](CDicomElementDlg& dialog) {
    dialog.valueText = "1.2.840.10008.1.2";
    return true;
  });
  m_document.EditElement(row, m_ui);
  EXPECT_EQ(m_document.Object().GetTransferMode(), TransferMode::ImplicitLittleEndian);
}

TEST_F(DocumentTest, UndoAndRedoRestoreByteIdenticalFiles) {
  const std::string original = Saved("original.dcm");
  m_ui.elementDialogs.push_back(TypeElement("0010", "0010", "PN", "Changed^Name"));
  m_ui.yesNo.push_back(true);
  m_document.InsertElement(0, m_ui);
  m_ui.elementDialogs.push_back(TypeElement("0028", "0030", "DS", "0.5\\0.5"));
  m_document.InsertElement(RowHolding(m_document, "**** Item"), m_ui);
  m_document.RemoveElement(RowHolding(m_document, "0009 1001"), m_ui);
  m_document.RemoveElement(m_document.Rows().RowOf(Outer().GetItem(0)), m_ui);
  m_document.AddItem(RowHolding(m_document, "0008 1140"));
  m_document.DeleteAll();
  m_document.NewMetaInformation();
  const std::string edited = Saved("edited.dcm");
  ASSERT_FALSE(m_document.IsModified());

  while (m_document.CanUndo()) m_document.Undo();
  EXPECT_TRUE(m_document.IsModified());  // the saved state is the edited one now
  EXPECT_EQ(Saved("undone.dcm"), original);
  while (m_document.CanRedo()) m_document.Redo();
  EXPECT_EQ(Saved("redone.dcm"), edited);
  EXPECT_EQ(m_document.Object().GetTransferMode(), TransferMode::ExplicitLittleEndian);
}

TEST_F(DocumentTest, TheModifiedMarkerFollowsUndoBackToTheSavedState) {
  m_document.RemoveElement(RowHolding(m_document, "0010 0020"), m_ui);
  EXPECT_TRUE(m_document.IsModified());
  m_document.Undo();
  EXPECT_FALSE(m_document.IsModified());
  m_document.Redo();
  EXPECT_TRUE(m_document.IsModified());
}

// Save As to a name the system cannot look up once ended the program and
// lost the edits with it.
TEST_F(DocumentTest, AFailedSaveKeepsTheOldFileAndTheDocumentModified) {
  const std::string before = ReadBytes(m_file);
  m_document.RemoveElement(RowHolding(m_document, "0010 0020"), m_ui);
  std::filesystem::create_symlink("loop", m_dir / "loop");
  for (const std::string& path : {m_dir / "no-such-folder/x.dcm", m_dir / std::string(300, 'a'), m_dir / "loop/x.dcm"}) {
    SCOPED_TRACE(path);
    m_ui.savePaths.push_back(path);
    EXPECT_FALSE(m_document.SaveAs(m_ui));
    EXPECT_EQ(m_ui.TakeMessages().rfind("Error Saving File", 0), 0u);
    EXPECT_TRUE(m_document.IsModified());
  }
  EXPECT_EQ(ReadBytes(m_file), before);
}

TEST_F(DocumentTest, XmlExportAsksWhereAndBeforeReplacing) {
  // A working folder without a dictionary of its own.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(m_dir.Path());
  const std::string target = m_dir / "nested.xml";
  m_ui.exportPaths.push_back(target);
  m_document.ExportXml(m_ui);
  EXPECT_EQ(m_ui.lastChooserStart, target);  // beside the document, named after it
  EXPECT_NE(ReadBytes(target).find("<patient_name>Doe^John</patient_name>"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(m_dir / "dicomXml.xml"));

  // An existing file is replaced only when the user says so.
  WriteText(target, "older");
  m_ui.exportPaths.push_back(target);
  m_ui.yesNo.push_back(false);
  m_document.ExportXml(m_ui);
  EXPECT_EQ(ReadBytes(target), "older");
  m_ui.exportPaths.push_back("");  // Cancel
  m_document.ExportXml(m_ui);

  // A dictionary of the working folder wins; a broken one says why.
  WriteText(m_dir / "Dicom2XmlDict.txt", "weird:name (00100010)\n");
  m_ui.exportPaths.push_back(target);
  m_ui.yesNo.push_back(true);
  m_document.ExportXml(m_ui);
  std::filesystem::current_path(previous);
  EXPECT_EQ(m_ui.TakeMessages(), "The XML export failed: Unable to create XML node\n");
}

TEST(Document, AFileThatCannotBeReadOpensNoDocument) {
  TempDir dir("document-bad");
  const std::string file = dir / "bad.dcm";
  WriteText(file, std::string(128, '\0') + "DICM" + std::string("\x02\x00\x10\x00" "UI\x02\x00" "1\0", 10) +
                      std::string("\xFE\xFF\x0D\xE0\0\0\0\0", 8));
  CFakeUserInterface ui;
  CDicomImageDoc document(true);
  EXPECT_FALSE(document.Open(file, ui));
  const std::string message = ui.TakeMessages();
  EXPECT_EQ(message.rfind("Error Reading File", 0), 0u);
  EXPECT_NE(message.find("(FFFE,E00D)"), std::string::npos) << message;  // the reader's reason
}

/// Whether DCMTK and pydicom both read `path` without an error.
void ExpectPeersRead(const std::string& path) {
  const std::string quoted = "\"" + path + "\"";
  EXPECT_EQ(RunShell("dcmdump -q " + quoted + " >/dev/null").exitCode, 0) << path;
  EXPECT_EQ(RunShell("/usr/bin/python3 -c 'import pydicom,sys; pydicom.dcmread(sys.argv[1])' " + quoted).exitCode, 0)
      << path;
}

// A save never writes what other programs cannot read: an empty data set
// is refused, a meta group without its transfer syntax (or none at all, as
// a bare data set has) is completed from the data set, and the user is
// told.
TEST(Document, SavesCompleteTheMetaInformationAndRefuseAnEmptyDataSet) {
  TempDir dir("document-meta");
  const std::string nested = dir / "nested.dcm";
  MakeNestedFile(nested);
  struct Case {
    std::string name;
    std::string source;
    std::function<void(CDicomImageDoc&, CFakeUserInterface&)> change;
    std::string said;  // in the message; empty: the save is refused
  };
  const std::vector<Case> cases = {
      {"delete all", nested, [](CDicomImageDoc& d, CFakeUserInterface&) { d.DeleteAll(); }, ""},
      {"no transfer syntax", nested,
       [](CDicomImageDoc& d, CFakeUserInterface& ui) { d.RemoveElement(RowHolding(d, "0002 0010"), ui); },
       "(0002,0010) Transfer Syntax UID: 1.2.840.10008.1.2.1"},
      {"bare data set", kPydicomFiles + "rtstruct.dcm", [](CDicomImageDoc&, CFakeUserInterface&) {},
       "(0002,0002) Media Storage SOP Class UID: 1.2.840.10008.5.1.4.1.1.481.3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFakeUserInterface ui;
    CDicomImageDoc document(true);
    ASSERT_TRUE(document.Open(c.source, ui));
    c.change(document, ui);
    const std::string saved = dir / (c.name + ".dcm");
    EXPECT_EQ(document.SaveTo(saved, ui), !c.said.empty());
    const std::string message = ui.TakeMessages();
    if (c.said.empty()) {
      EXPECT_NE(message.find("the data set is empty"), std::string::npos) << message;
      EXPECT_FALSE(std::filesystem::exists(saved));
      continue;
    }
    EXPECT_NE(message.find(c.said), std::string::npos) << message;
    EXPECT_FALSE(document.IsModified());
    ExpectPeersRead(saved);
    document.Undo();  // the completion is a change like any other
    EXPECT_TRUE(document.IsModified());
  }
}

TEST(Document, TheFilePreambleIsKept) {
  TempDir dir("document-preamble");
  const std::string source = kPydicomFiles + "CT_small.dcm";  // a TIFF header in its preamble
  CFakeUserInterface ui;
  CDicomImageDoc document(true);
  ASSERT_TRUE(document.Open(source, ui));
  const std::string saved = dir / "ct.dcm";
  ASSERT_TRUE(document.SaveTo(saved, ui)) << ui.TakeMessages();
  EXPECT_EQ(ReadBytes(saved).substr(0, 128), ReadBytes(source).substr(0, 128));
}

// Opened without its pixel data, a document still saves: the value is
// copied from the file it stayed in, and the result is the file a document
// with its pixel data saves, byte for byte; the title says what is missing.
TEST(Document, WithoutItsPixelDataADocumentSavesTheSameBytes) {
  TempDir dir("document-nopixels");
  for (const std::string& source : {dir / "nested.dcm", kPydicomFiles + "JPEG2000.dcm"}) {
    SCOPED_TRACE(source);
    if (source == dir / "nested.dcm") MakeNestedFile(source);
    CFakeUserInterface ui;
    CDicomImageDoc full(true);
    CDicomImageDoc lean(false);
    ASSERT_TRUE(full.Open(source, ui));
    ASSERT_TRUE(lean.Open(source, ui));
    EXPECT_NE(lean.WindowTitle().find("(pixel data not read)"), std::string::npos);
    ASSERT_TRUE(full.SaveTo(dir / "full.dcm", ui)) << ui.TakeMessages();
    ASSERT_TRUE(lean.SaveTo(dir / "lean.dcm", ui)) << ui.TakeMessages();
    EXPECT_EQ(ReadBytes(dir / "lean.dcm"), ReadBytes(dir / "full.dcm"));
    // Now read from its new file, it saves over that file too.
    EXPECT_EQ(lean.PixelSourcePath(), dir / "lean.dcm");
    ASSERT_TRUE(lean.Save(ui)) << ui.TakeMessages();
    EXPECT_EQ(ReadBytes(dir / "lean.dcm"), ReadBytes(dir / "full.dcm"));
  }
}

// A file cut short opens read-only with what is there, and says how much
// is missing; Save is refused, Save As elsewhere writes what was read.
TEST(Document, AFileCutShortOpensReadOnly) {
  TempDir dir("document-cut");
  const std::string file = dir / "cut.dcm";
  MakeNestedFile(file);
  const std::string whole = ReadBytes(file);
  WriteText(file, whole.substr(0, whole.size() - 10));
  CFakeUserInterface ui;
  CDicomImageDoc document(true);
  ASSERT_TRUE(document.Open(file, ui));
  EXPECT_TRUE(document.IsReadOnly());
  EXPECT_NE(ui.TakeMessages().find("at least 10 bytes are missing"), std::string::npos);
  EXPECT_GE(RowHolding(document, "0010 0010"), 0);
  EXPECT_FALSE(document.Save(ui));
  EXPECT_NE(ui.TakeMessages().find("read-only"), std::string::npos);
  EXPECT_EQ(ReadBytes(file), whole.substr(0, whole.size() - 10));
  // The pixel data it lacks is removed; the rest saves and reads back.
  document.RemoveElement(RowHolding(document, "7fe0 0010"), ui);
  ui.savePaths.push_back(dir / "rest.dcm");
  ASSERT_TRUE(document.SaveAs(ui)) << ui.TakeMessages();
  ExpectPeersRead(dir / "rest.dcm");
}

}  // namespace
}  // namespace quillon::test
