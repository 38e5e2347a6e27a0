// The editor as a whole: copies between documents, closing with unsaved
// changes, the recent files and which commands are enabled.
#include "app/QuillonApp.h"

#include "AppTestFiles.h"
#include "base/FileSettingsStore.h"

#include "support/DicomFiles.h"

#include <gtest/gtest.h>

namespace quillon::test {
namespace {

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeNestedFile(m_file); }
  std::string Value(const CDicomImageDoc& document, DicomTag tag) {
    std::string value;
    (void)document.Object().GetString(tag, value);
    return value;
  }

  TempDir m_dir{"app"};
  std::string m_file = m_dir / "nested.dcm";
  CFileSettingsStore m_settings{m_dir.Path() / "settings.ini"};
  CQuillonApp m_app{m_settings};
  CFakeUserInterface m_ui;
};

TEST_F(AppTest, CopyGoesToTheOnlyOtherDocumentOrToTheOneChosen) {
  CDicomImageDoc* source = m_app.OpenDocument(m_file, m_ui);
  ASSERT_NE(source, nullptr);
  const int nameRow = RowHolding(*source, "0010 0010");
  m_app.CopyElement(*source, nameRow, m_ui);
  EXPECT_EQ(m_ui.TakeMessages(), "Cannot find the destination object\n");

  CDicomImageDoc& first = m_app.NewDocument();
  m_app.CopyElement(*source, nameRow, m_ui);
  EXPECT_EQ(Value(first, 0x00100010), "Doe^John");
  EXPECT_TRUE(first.IsModified());

  CDicomImageDoc& second = m_app.NewDocument();
  std::vector<std::string> offered;
  m_ui.destinationDialogs.push_back([&](CSelectDestinationDlg& dialog) {
    offered = dialog.Titles();
    dialog.Select(1);
    return true;
  });
  m_app.CopyElement(*source, RowHolding(*source, "0010 0020"), m_ui);
  EXPECT_EQ(offered, (std::vector<std::string>{"DICOM1", "DICOM2"}));
  EXPECT_EQ(Value(second, 0x00100020), "ID123");
  EXPECT_FALSE(first.Object().Contains(0x00100020));
  EXPECT_EQ(m_ui.statuses.back().rfind("Copied (0010,0020) ", 0), 0u) << m_ui.statuses.back();

  // Into a document that has the element: asked first; No changes
  // nothing, Yes replaces it (one more step to undo).
  m_app.DiscardDocument(second);
  m_ui.yesNo.push_back(false);
  m_app.CopyElement(*source, nameRow, m_ui);
  m_ui.yesNo.push_back(true);
  m_app.CopyElement(*source, nameRow, m_ui);
  EXPECT_TRUE(m_ui.yesNo.empty());
  first.Undo();
  EXPECT_EQ(Value(first, 0x00100010), "Doe^John");
  first.Undo();
  EXPECT_FALSE(first.Object().Contains(0x00100010));
}

TEST_F(AppTest, CopyingTheTransferSyntaxSetsTheDestinationsEncoding) {
  // An implicit VR file's (0002,0010) copied into a new document: the
  // document is then encoded as the element says, as an insertion would.
  const std::string implicitFile = m_dir / "implicit.dcm";
  ASSERT_EQ(RunShell("dcmconv +ti " + m_file + " " + implicitFile).exitCode, 0);
  CDicomImageDoc* source = m_app.OpenDocument(implicitFile, m_ui);
  ASSERT_NE(source, nullptr);
  CDicomImageDoc& destination = m_app.NewDocument();
  m_app.CopyElement(*source, RowHolding(*source, "0002 0010"), m_ui);
  EXPECT_EQ(destination.Object().GetTransferMode(), TransferMode::ImplicitLittleEndian);
  m_app.CopyElement(*source, RowHolding(*source, "0002 0002"), m_ui);
  EXPECT_EQ(destination.Object().GetSopClassUid(), "1.2.840.10008.5.1.4.1.1.7");
}

TEST_F(AppTest, ACopyOfADocumentWithoutItsPixelDataSavesItsPixelsFromTheSourceFile) {
  m_app.ToggleAllowReadPixelData();
  CDicomImageDoc* source = m_app.OpenDocument(m_file, m_ui);
  ASSERT_NE(source, nullptr);
  CDicomImageDoc* copy = m_app.CreateCopy(*source, m_ui);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Title(), "DICOM1");
  EXPECT_EQ(Value(*copy, 0x00100010), "Doe^John");
  EXPECT_EQ(copy->Object().GetSopClassUid(), source->Object().GetSopClassUid());
  EXPECT_NE(copy->WindowTitle().find("pixel data not read"), std::string::npos);
  ASSERT_TRUE(copy->SaveTo(m_dir / "copy.dcm", m_ui)) << m_ui.TakeMessages();
  ASSERT_TRUE(source->SaveTo(m_dir / "source.dcm", m_ui)) << m_ui.TakeMessages();
  EXPECT_EQ(ReadBytes(m_dir / "copy.dcm"), ReadBytes(m_dir / "source.dcm"));
}

TEST_F(AppTest, ClosingAModifiedDocumentAsksAndCancelKeepsItOpen) {
  CDicomImageDoc* document = m_app.OpenDocument(m_file, m_ui);
  ASSERT_NE(document, nullptr);
  document->RemoveElement(RowHolding(*document, "0010 0020"), m_ui);
  m_ui.saveChoices.push_back(IUserInterface::SaveChoice::Cancel);
  EXPECT_FALSE(m_app.QueryCloseAll(m_ui));
  m_ui.saveChoices.push_back(IUserInterface::SaveChoice::Cancel);
  EXPECT_FALSE(m_app.CloseDocument(*document, m_ui));
  EXPECT_EQ(m_app.Documents().size(), 1u);
  m_ui.saveChoices.push_back(IUserInterface::SaveChoice::Save);
  EXPECT_TRUE(m_app.CloseDocument(*document, m_ui));
  EXPECT_TRUE(m_app.Documents().empty());
  CDicomObject saved;
  ASSERT_TRUE(test::LoadInto(saved, m_file, false));
  EXPECT_FALSE(saved.Contains(0x00100020));
}

TEST_F(AppTest, RecentFilesKeepTheLastFourNewestFirstAcrossRuns) {
  for (int i = 0; i < 5; ++i) {
    const std::string path = m_dir / ("file" + std::to_string(i) + ".dcm");
    std::filesystem::copy_file(m_file, path);
    CDicomImageDoc* document = m_app.OpenDocument(path, m_ui);
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(m_app.CloseDocument(*document, m_ui));
  }
  ASSERT_NE(m_app.OpenDocument(m_dir / "file2.dcm", m_ui), nullptr);
  CQuillonApp nextRun(m_settings);
  EXPECT_EQ(nextRun.RecentFiles().Entries(),
            (std::vector<std::string>{m_dir / "file2.dcm", m_dir / "file4.dcm", m_dir / "file3.dcm",
                                      m_dir / "file1.dcm"}));
  // The same file opened twice is one document.
  EXPECT_EQ(m_app.OpenDocument(m_dir / "file2.dcm", m_ui), m_app.Documents().front().get());
  // A document saved under a new name puts it first, and the window layer
  // hears of every change of the list.
  int told = 0;
  m_app.OnRecentFilesChanged([&told] { ++told; });
  m_ui.savePaths.push_back(m_dir / "renamed.dcm");
  ASSERT_TRUE(m_app.SaveDocument(*m_app.Documents().front(), CQuillonApp::SaveMode::SaveAs, m_ui));
  EXPECT_EQ(m_app.RecentFiles().Entries().front(), m_dir / "renamed.dcm");
  EXPECT_EQ(told, 1);
}

TEST_F(AppTest, CommandsAreEnabledByWhatIsSelected) {
  CDicomImageDoc* document = m_app.OpenDocument(m_file, m_ui);
  ASSERT_NE(document, nullptr);
  const auto enabled = [&](CommandId id, int row) {
    return m_app.IsEnabled(id, CommandContext{document, row, true});
  };
  const int sequenceRow = RowHolding(*document, "0008 1140");
  const int nestedRow = sequenceRow + 2;
  EXPECT_TRUE(enabled(CommandId::EditElement, RowHolding(*document, "0010 0010")));
  EXPECT_FALSE(enabled(CommandId::EditElement, nestedRow));  // no tag: only a double-click edits it
  EXPECT_TRUE(enabled(CommandId::AddItem, sequenceRow));
  EXPECT_FALSE(enabled(CommandId::AddItem, nestedRow));
  EXPECT_FALSE(enabled(CommandId::CopyElement, sequenceRow));  // no other document
  EXPECT_FALSE(enabled(CommandId::NewMetaInfo, -1));
  EXPECT_TRUE(enabled(CommandId::ShowPixelData, -1));
  EXPECT_FALSE(enabled(CommandId::DecompressPixelData, -1));
  EXPECT_FALSE(enabled(CommandId::EditUndo, -1));
  document->DeleteAll();
  EXPECT_TRUE(enabled(CommandId::NewMetaInfo, -1));
  EXPECT_FALSE(enabled(CommandId::DeleteAll, -1));
  EXPECT_TRUE(enabled(CommandId::EditUndo, -1));
  EXPECT_TRUE(m_app.IsChecked(CommandId::AllowReadPixelData));
}

}  // namespace
}  // namespace quillon::test
