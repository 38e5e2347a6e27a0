// Tools > De-identify... on the open document (one change that Undo takes
// back whole) and on a folder (progress, Cancel, the summary), driven
// through the scripted user interface; and the dialog's refusals.
#include "app/DeidentifyCommands.h"

#include "AppTestFiles.h"
#include "app/DicomImageDoc.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quillon::test {
namespace {

class DeidentifyCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeNestedFile(m_file); }
  std::string Value(const CDicomObject& object, DicomTag tag) {
    std::string value;
    return object.GetString(tag, value) == DicomStatus::Success ? value : "-";
  }

  TempDir m_dir{"deidentify-commands"};
  std::string m_file = m_dir / "nested.dcm";
  CFakeUserInterface m_ui;
};

TEST_F(DeidentifyCommandsTest, DocumentIsOneChangeThatUndoTakesBack) {
  CDicomImageDoc document{true};
  ASSERT_TRUE(document.Open(m_file, m_ui));
  ASSERT_TRUE(document.SaveTo(m_dir / "before.dcm", m_ui)) << m_ui.TakeMessages();
  // Cancel changes nothing.
  m_ui.deidentifyDialogs.push_back([](CDeidentifyDlg&) { return false; });
  DeidentifyDocument(document, m_ui);
  EXPECT_FALSE(document.IsModified());

  m_ui.deidentifyDialogs.push_back([](CDeidentifyDlg& dialog) {
    EXPECT_EQ(dialog.GetScope(), CDeidentifyDlg::Scope::Document);
    dialog.options.Set(ProfileOption::RetainPatientCharacteristics);
    return true;
  });
  DeidentifyDocument(document, m_ui);
  // The file is a secondary capture without Burned In Annotation.
  const std::string said = m_ui.TakeMessages();
  EXPECT_NE(said.find("may still show who the patient is (a secondary capture"), std::string::npos) << said;
  EXPECT_EQ(Value(document.Object(), 0x00100010), "");
  EXPECT_EQ(Value(document.Object(), 0x00120062), "YES");
  EXPECT_NE(Value(document.Object(), 0x00120063).find("Retain Patient Characteristics"), std::string::npos);
  EXPECT_TRUE(document.IsModified());
  EXPECT_EQ(document.UndoText(), "De-identify");
  document.Undo();
  EXPECT_FALSE(document.IsModified());
  ASSERT_TRUE(document.SaveTo(m_dir / "after.dcm", m_ui)) << m_ui.TakeMessages();
  EXPECT_EQ(ReadBytes(m_dir / "after.dcm"), ReadBytes(m_dir / "before.dcm"));
}

TEST_F(DeidentifyCommandsTest, DialogRefusesWhatCannotBeDoneAndStaysOpen) {
  std::filesystem::create_directories(m_dir / "in");
  struct Case {
    CDeidentifyDlg::Scope scope;
    std::string input;
    std::string output;
    bool contradicting;
    const char* says;  ///< null: accepted
  };
  using S = CDeidentifyDlg::Scope;
  const Case cases[] = {
      {S::Document, "", "", false, nullptr},
      {S::Document, "", "", true, "not both"},
      {S::Folder, m_dir / "in", m_dir / "out", false, nullptr},
      {S::Folder, m_dir / "missing", m_dir / "out", false, "Choose the folder whose files"},
      {S::Folder, m_dir / "in", "", false, "Choose the folder the de-identified files go to"},
      {S::Folder, m_dir / "in", m_dir / "in/", false, "cannot go to the folder they are read from"},
  };
  for (const Case& c : cases) {
    CDeidentifyDlg dialog(c.scope);
    dialog.inputFolder = c.input;
    dialog.outputFolder = c.output;
    if (c.contradicting) {
      dialog.options.Set(ProfileOption::RetainLongitudinalFullDates);
      dialog.options.Set(ProfileOption::RetainLongitudinalModifiedDates);
    }
    EXPECT_EQ(dialog.Accept(m_ui), c.says == nullptr) << c.input << " " << c.output;
    const std::string messages = m_ui.TakeMessages();
    if (c.says != nullptr) {
      EXPECT_NE(messages.find(c.says), std::string::npos) << messages;
    }
  }
}

TEST_F(DeidentifyCommandsTest, FolderWritesAMirroredTreeWithProgressAndASummary) {
  std::filesystem::create_directories(m_dir / "in/sub");
  std::filesystem::copy_file(m_file, m_dir / "in/a.dcm");
  std::filesystem::copy_file(m_file, m_dir / "in/sub/b.dcm");
  WriteText(m_dir / "in/readme.txt", "not DICOM");
  const auto choose = [this](const std::string& output) {
    m_ui.deidentifyDialogs.push_back([this, output](CDeidentifyDlg& dialog) {
      EXPECT_EQ(dialog.GetScope(), CDeidentifyDlg::Scope::Folder);
      dialog.inputFolder = m_dir / "in";
      dialog.outputFolder = output;
      dialog.uidMapPath = m_dir / "run.map";
      return true;
    });
  };
  choose(m_dir / "out");
  DeidentifyFolder(m_ui);
  ASSERT_EQ(m_ui.progressLabels.size(), 1u);
  EXPECT_EQ(m_ui.lastTotal, 3);
  const std::string summary = m_ui.TakeMessages();
  EXPECT_EQ(summary.rfind("2 of 3 files written, 1 skipped (not DICOM), 0 failed.", 0), 0u) << summary;
  CDicomImageDoc result{true};
  ASSERT_TRUE(result.Open(m_dir / "out/sub/b.dcm", m_ui)) << m_ui.TakeMessages();
  EXPECT_EQ(Value(result.Object(), 0x00120062), "YES");
  EXPECT_NE(ReadBytes(m_dir / "run.map").find("\nkey "), std::string::npos);

  // Cancel after the first file: the rest is not started and says so.
  m_ui.cancelAfterReports = 1;
  choose(m_dir / "cancelled");
  DeidentifyFolder(m_ui);
  const std::string stopped = m_ui.TakeMessages();
  EXPECT_NE(stopped.find("stopped before the end"), std::string::npos) << stopped;
}

}  // namespace
}  // namespace quillon::test
