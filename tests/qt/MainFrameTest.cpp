// The main window, headless: its menus and their enabling, opening files
// (also ones that cannot be read, and by dropping them), the element list's
// rows against the command-line dump, editing by double-click, the
// question before closing a modified document, and printing to PDF.
#include "app/qt/MainFrame.h"

#include "app/AppTestFiles.h"
#include "app/QuillonApp.h"
#include "app/qt/ChildFrame.h"
#include "app/qt/DicomDumpView.h"
#include "app/qt/DumpPrinter.h"
#include "app/qt/DumpRowModel.h"
#include "app/qt/StudyPanel.h"
#include "app/StudyTree.h"
#include "app/RowFinder.h"
#include "base/FileSettingsStore.h"

#include <QAction>
#include <QMdiArea>
#include <QMenuBar>
#include <QMimeData>
#include <QLineEdit>
#include <QPrinter>
#include <QTreeWidget>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <sstream>

namespace quillon::test {
namespace {

/// The texts of a menu bar's menus and entries ("-" for a separator),
/// without the recent files.
std::vector<std::string> MenuTexts(const QMenuBar& bar) {
  std::vector<std::string> texts;
  for (QAction* menuAction : bar.actions()) {
    texts.push_back("[" + menuAction->text().toStdString() + "]");
    for (QAction* action : menuAction->menu()->actions()) {
      if (!action->isVisible()) continue;
      texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    }
  }
  return texts;
}

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeNestedFile(m_file); }
  CDicomDumpView* View() { return m_window.ActiveDumpView(); }

  TempDir m_dir{"mainframe"};
  std::string m_file = m_dir / "nested.dcm";
  CFileSettingsStore m_settings{m_dir.Path() / "settings.ini"};
  CQuillonApp m_app{m_settings};
  CFakeUserInterface m_ui;
  CMainFrame m_window{m_app, &m_ui};
};

TEST_F(MainFrameTest, MenusWithAndWithoutADocument) {
  const std::vector<std::string> without = MenuTexts(*m_window.menuBar());
  EXPECT_EQ(without, (std::vector<std::string>{"[&File]", "&New", "&Open...", "Open &Folder...", "-", "Allow Read Pixel Data", "-",
                                               "P&rint Setup...", "-", "Recent File", "-", "E&xit", "[&View]",
                                               "&Toolbar", "&Status Bar", "[Tools]", "De-identify Folder...", "[&Help]",
                                               "&About Quillon..."}));
  EXPECT_EQ(m_window.Action(CommandId::FileOpen)->shortcut(), QKeySequence("Ctrl+O"));
  EXPECT_TRUE(m_window.Action(CommandId::AllowReadPixelData)->isChecked());

  ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(m_file)));
  const std::vector<std::string> with = MenuTexts(*m_window.menuBar());
  const std::vector<std::string> titles = [&] {
    std::vector<std::string> only;
    for (const std::string& text : with) {
      if (text.front() == '[') only.push_back(text);
    }
    return only;
  }();
  EXPECT_EQ(titles, (std::vector<std::string>{"[&File]", "[&Edit]", "[Object]", "[Element]", "[Sequence]", "[&View]",
                                              "[Tools]", "[&Window]", "[&Help]"}));
  // The Object and Element menus, entry for entry.
  const auto object = std::find(with.begin(), with.end(), "[Object]");
  EXPECT_EQ(std::vector<std::string>(object, object + 14),
            (std::vector<std::string>{"[Object]", "New MetaInfo", "-", "Create Copy", "Delete All", "-",
                                      "Convert Text to UTF-8", "-", "Show Pixel Data", "[Element]", "Edit Data",
                                      "Remove ", "Insert New", "Copy"}));
  // The recent file took the place of "Recent File".
  EXPECT_NE(std::find(with.begin(), with.end(), "&1 " + m_file), with.end());
}

TEST_F(MainFrameTest, EnablingFollowsTheSelectedRow) {
  ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(m_file)));
  ASSERT_NE(View(), nullptr);
  View()->SelectRow(RowHolding(View()->Document(), "0010 0010"));
  EXPECT_TRUE(m_window.Action(CommandId::EditElement)->isEnabled());
  EXPECT_FALSE(m_window.Action(CommandId::AddItem)->isEnabled());
  EXPECT_FALSE(m_window.Action(CommandId::NewMetaInfo)->isEnabled());
  EXPECT_FALSE(m_window.Action(CommandId::EditUndo)->isEnabled());
  View()->SelectRow(RowHolding(View()->Document(), "0008 1140"));
  EXPECT_TRUE(m_window.Action(CommandId::AddItem)->isEnabled());
  m_window.Execute(CommandId::AddItem);
  EXPECT_TRUE(m_window.Action(CommandId::EditUndo)->isEnabled());
  EXPECT_EQ(m_window.Action(CommandId::EditUndo)->text(), "&Undo Add Item");
  EXPECT_TRUE(m_window.ActiveFrame()->isWindowModified());
  EXPECT_EQ(m_window.ActiveFrame()->windowTitle(), "nested.dcm[*]");
  m_window.Execute(CommandId::EditUndo);
  EXPECT_FALSE(m_window.ActiveFrame()->isWindowModified());
  // Edit Data on the pixel data row opens its bytes, not the image.
  View()->SelectRow(RowHolding(View()->Document(), "7fe0 0010"));
  m_ui.elementDialogs.push_back([](CDicomElementDlg& dialog) {
    EXPECT_EQ(dialog.valueText.substr(0, 11), "01 00 02 00");  // OW 0001\0002...
    return false;
  });
  m_window.Execute(CommandId::EditElement);
  EXPECT_EQ(m_ui.elementDialogsShown, 1);
  EXPECT_EQ(m_window.ActivePixelView(), nullptr);
}

TEST_F(MainFrameTest, TheListShowsTheLinesOfTheCommandLineDump) {
  ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(m_file)));
  const CDumpRowModel& model = View()->Model();
  EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(),
            " Tag           Length      Description                            VR      Value");
  const CommandResult dump = RunShell(std::string(QUILLON_CLI_PATH) + " dump " + m_file);
  std::istringstream lines(dump.out);
  std::string line;
  int row = 0;
  while (std::getline(lines, line)) {
    ASSERT_LT(row, model.rowCount());
    EXPECT_EQ(model.data(model.index(row)).toString().toStdString(), line);
    ++row;
  }
  EXPECT_EQ(row, model.rowCount());
}

TEST_F(MainFrameTest, AFileThatCannotBeReadSaysWhyAndTheOthersStillOpen) {
  // As the command line hands them over: a missing file between two good ones.
  const std::string copy = m_dir / "copy.dcm";
  std::filesystem::copy_file(m_file, copy);
  for (const std::string& path : {m_file, m_dir / "missing.dcm", copy}) m_window.OpenFile(QString::fromStdString(path));
  EXPECT_EQ(m_window.MdiArea()->subWindowList().size(), 2);
  ASSERT_EQ(m_ui.messages.size(), 1u);
  EXPECT_EQ(m_ui.messages.front().rfind("Error Reading File", 0), 0u);
}

TEST_F(MainFrameTest, DroppedFilesAreOpened) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(m_file))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&m_window, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&m_window, &drop);
  EXPECT_EQ(m_ui.TakeMessages(), "");
  ASSERT_EQ(m_window.MdiArea()->subWindowList().size(), 1);
  EXPECT_EQ(m_window.ActiveFrame()->Document().Path(), m_file);
}

TEST_F(MainFrameTest, DoubleClickEditsTheRowAndTheListShowsTheChange) {
  m_window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
  ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(m_file)));
  QApplication::processEvents();
  const int row = RowHolding(View()->Document(), "0010 0010");
  View()->SelectRow(row);
  const QRect cell = View()->visualRect(View()->Model().index(row));
  m_ui.elementDialogs.push_back([](CDicomElementDlg& dialog) {
    dialog.valueText = "Roe^Jane";
    return true;
  });
  // A double-click as the window system delivers it: press, release, press,
  // double-click, release.
  QTest::mouseClick(View()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  QTest::mouseDClick(View()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  EXPECT_EQ(m_ui.elementDialogsShown, 1);
  EXPECT_NE(View()->Model().RowText(View()->SelectedRow()).indexOf("\"Roe^Jane\""), -1);
}

TEST_F(MainFrameTest, ClosingAModifiedDocumentAsksFirst) {
  ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(m_file)));
  View()->SelectRow(RowHolding(View()->Document(), "0010 0020"));
  m_window.Execute(CommandId::RemoveElement);
  m_ui.saveChoices.push_back(IUserInterface::SaveChoice::Cancel);
  m_window.Execute(CommandId::FileClose);
  EXPECT_EQ(m_window.MdiArea()->subWindowList().size(), 1);
  m_ui.saveChoices.push_back(IUserInterface::SaveChoice::Discard);
  m_window.Execute(CommandId::FileClose);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
  EXPECT_TRUE(m_window.MdiArea()->subWindowList().isEmpty());
  EXPECT_TRUE(m_app.Documents().empty());
  EXPECT_EQ(MenuTexts(*m_window.menuBar()).size(), 19u);  // back to the menus without a document
}

TEST_F(MainFrameTest, FindGoesToTheNextRowHoldingATagOrText) {
  ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(m_file)));
  const FindQuery nested = FindQuery::Parse("0008,1150");
  const int first = FindNextRow(View()->Document().Rows(), -1, nested);
  const int second = FindNextRow(View()->Document().Rows(), first, nested);
  EXPECT_GT(second, first);  // both inside items of (0008,1140)
  EXPECT_EQ(FindNextRow(View()->Document().Rows(), second, nested), first);  // and round again
  EXPECT_EQ(FindNextRow(View()->Document().Rows(), -1, FindQuery::Parse("doe^JOHN")),
            RowHolding(View()->Document(), "0010 0010"));
}

TEST_F(MainFrameTest, TheListCollapsesWithTheKeysAndFiltersFromTheBox) {
  ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(m_file)));
  CDicomDumpView* view = View();
  const int all = view->Model().rowCount();
  const int sequence = RowHolding(view->Document(), "0008 1140");
  const int inside = FindNextRow(view->Document().Rows(), sequence, FindQuery::Parse("0008,1150"));
  view->SelectRow(sequence);
  QTest::keyClick(view, Qt::Key_Left);
  EXPECT_TRUE(view->Model().Outline().IsCollapsed(sequence));
  EXPECT_LT(view->Model().rowCount(), all);
  EXPECT_EQ(view->SelectedRow(), sequence);
  QTest::keyClick(view, Qt::Key_Right);
  EXPECT_EQ(view->Model().rowCount(), all);
  // A row inside a collapsed sequence is opened when it is selected (a
  // found row); Left on it goes to its item.
  view->SetCollapsed(sequence, true);
  view->SelectRow(inside);
  EXPECT_EQ(view->SelectedRow(), inside);
  QTest::keyClick(view, Qt::Key_Left);
  EXPECT_EQ(view->Document().Rows().At(static_cast<size_t>(view->SelectedRow())).kind, DumpRowKind::Item);

  auto* box = m_window.findChild<QLineEdit*>("filterBox");
  box->setText("0008,1150");
  EXPECT_EQ(view->Model().rowCount(), all);  // not while typing: once it pauses
  QTest::qWait(CMainFrame::kFilterDelayMs * 2);
  EXPECT_GT(view->Model().rowCount(), 0);
  EXPECT_LT(view->Model().rowCount(), all / 2);
  EXPECT_EQ(view->Filter(), "0008,1150");
  box->clear();
  emit box->returnPressed();  // at once
  EXPECT_EQ(view->Model().rowCount(), all);
}

TEST_F(MainFrameTest, AFolderIsListedInThePanelAndAnInstanceOpensFromIt) {
  const std::string folder = "/usr/lib/python3/dist-packages/pydicom/data/test_files/dicomdirtests";
  // With a DICOMDIR, the tree comes from its records.
  m_window.OpenFolder(QString::fromStdString(folder));
  ASSERT_NE(m_window.StudyPanel(), nullptr);
  QTreeWidget* tree = m_window.StudyPanel()->Tree();
  const Result<CStudyTree> expected = ReadDicomDir(folder + "/DICOMDIR");
  ASSERT_TRUE(expected);
  ASSERT_EQ(tree->topLevelItemCount(), static_cast<int>(expected->Patients().size()));
  QTreeWidgetItem* instance = tree->topLevelItem(0);
  while (instance->childCount() > 0) instance = instance->child(0);
  const QString path = instance->data(0, Qt::UserRole).toString();
  ASSERT_FALSE(path.isEmpty());
  emit tree->itemDoubleClicked(instance, 0);
  ASSERT_NE(View(), nullptr);
  EXPECT_EQ(View()->Document().Path(), path.toStdString());
  // Without one, the folder is scanned (with progress).
  m_window.OpenFolder(QString::fromStdString(folder + "/98892003"));
  ASSERT_FALSE(m_ui.progressLabels.empty());
  EXPECT_EQ(m_ui.progressLabels.back(), "Scanning " + folder + "/98892003");
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_GT(tree->topLevelItem(0)->childCount(), 0);
}

TEST_F(MainFrameTest, PrintingWritesEveryRowToPdfPages) {
  ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(m_file)));
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const std::string pdf = m_dir / "rows.pdf";
  printer.setOutputFileName(QString::fromStdString(pdf));
  EXPECT_EQ(PrintDumpRows(View()->Document(), printer), 1);
  const std::string bytes = ReadBytes(pdf);
  EXPECT_EQ(bytes.rfind("%PDF", 0), 0u);
  if (HaveTool("pdftotext")) {
    const CommandResult text = RunShell("pdftotext -layout " + pdf + " -");
    EXPECT_NE(text.out.find("patient_name"), std::string::npos);
  }
}

}  // namespace
}  // namespace quillon::test
