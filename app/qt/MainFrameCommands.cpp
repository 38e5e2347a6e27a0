/// \file
/// The commands of the main window: each menu entry, toolbar button and
/// key forwarded to the document or the editor, and the few that are the
/// window's own (printing, finding, arranging windows).
#include "app/qt/MainFrame.h"

#include "app/DeidentifyCommands.h"
#include "app/QuillonApp.h"
#include "app/DumpRowList.h"
#include "app/RowFinder.h"
#include "app/UserInterface.h"
#include "app/qt/AboutDlg.h"
#include "app/qt/ChildFrame.h"
#include "app/qt/DicomDumpView.h"
#include "app/qt/DumpPrinter.h"
#include "app/qt/DumpRowModel.h"
#include "app/PixelCommands.h"
#include "app/qt/PixelDataView.h"
#include "app/qt/StudyPanel.h"
#include "app/StudyTree.h"

#include <filesystem>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolBar>

namespace quillon {

void CMainFrame::Execute(CommandId id) {
  // The state a command runs in is the state its menu entry showed: a key
  // must not run a command that is disabled.
  if (QAction* action = Action(id); action != nullptr && id != CommandId::RecentFile) {
    UpdateActions();
    if (!action->isEnabled()) return;
  }
  switch (id) {
    case CommandId::FileNew:
    case CommandId::FileOpen:
    case CommandId::OpenFolder:
    case CommandId::FileClose:
    case CommandId::FileSave:
    case CommandId::FileSaveAs:
    case CommandId::FilePrint:
    case CommandId::FilePrintPreview:
    case CommandId::FilePrintSetup:
    case CommandId::XmlExport:
    case CommandId::AppExit: RunFileCommand(id); break;
    case CommandId::EditUndo:
    case CommandId::EditRedo:
    case CommandId::EditCopy:
    case CommandId::EditFind:
    case CommandId::EditFindNext:
    case CommandId::EditFindPrevious: RunEditCommand(id); break;
    case CommandId::EditElement:
    case CommandId::RemoveElement:
    case CommandId::InsertElement:
    case CommandId::CopyElement:
    case CommandId::InsertSequence:
    case CommandId::AddItem:
    case CommandId::NewMetaInfo:
    case CommandId::CreateCopy:
    case CommandId::ConvertTextToUtf8:
    case CommandId::DeleteAll: RunElementCommand(id); break;
    case CommandId::WindowNew:
    case CommandId::WindowCascade:
    case CommandId::WindowTile:
    case CommandId::WindowArrange: RunWindowCommand(id); break;
    case CommandId::ShowPixelData:
    case CommandId::NextFrame:
    case CommandId::PrevFrame:
    case CommandId::CompressPixelData:
    case CommandId::DecompressPixelData:
    case CommandId::ComparePixelData: RunPixelCommand(id); break;
    case CommandId::DeidentifyDocument:
      if (CChildFrame* frame = ActiveFrame()) DeidentifyDocument(frame->Document(), *m_ui);
      break;
    case CommandId::DeidentifyFolder: DeidentifyFolder(*m_ui); break;
    case CommandId::CheckValues:
      if (CChildFrame* frame = ActiveFrame()) frame->Document().CheckValues(*m_ui);
      break;
    case CommandId::AllowReadPixelData: m_app.ToggleAllowReadPixelData(); break;
    case CommandId::ViewToolbar:
      for (QToolBar* toolbar : findChildren<QToolBar*>()) toolbar->setVisible(!toolbar->isVisible());
      break;
    case CommandId::ViewStatusBar: statusBar()->setVisible(!statusBar()->isVisible()); break;
    case CommandId::AppAbout: {
      CAboutDlg about(this);
      about.exec();
      break;
    }
    default: break;
  }
  UpdateActions();
}

void CMainFrame::RunFileCommand(CommandId id) {
  CChildFrame* frame = ActiveFrame();
  CDicomImageDoc* document = frame != nullptr ? &frame->Document() : nullptr;
  switch (id) {
    case CommandId::FileNew: AddDumpFrame(m_app.NewDocument()); break;
    case CommandId::FileOpen:
      if (const std::optional<std::string> path = m_ui->AskOpenPath("Open", m_app.OpenDialogFolder())) OpenFile(QString::fromStdString(*path));
      break;
    case CommandId::OpenFolder:
      if (const std::optional<std::string> folder = m_ui->AskFolderPath("Open Folder", m_app.OpenDialogFolder())) {
        OpenFolder(QString::fromStdString(*folder));
      }
      break;
    case CommandId::FileClose: {
      if (document == nullptr || !CanCloseFrame(*frame)) break;
      // Every window of the document goes; the question was asked once.
      for (QMdiSubWindow* window : m_mdiArea->subWindowList()) {
        auto* other = qobject_cast<CChildFrame*>(window);
        if (other != nullptr && &other->Document() == document) other->CloseWithoutAsking();
      }
      break;
    }
    case CommandId::FileSave:
    case CommandId::FileSaveAs:
      if (document == nullptr) break;
      if (m_app.SaveDocument(*document,
                             id == CommandId::FileSave ? CQuillonApp::SaveMode::Save : CQuillonApp::SaveMode::SaveAs,
                             *m_ui)) {
        statusBar()->showMessage(QStringLiteral("Saved %1").arg(QString::fromStdString(document->Path())), 5000);
      }
      break;
    case CommandId::XmlExport:
      if (document != nullptr) document->ExportXml(*m_ui);
      break;
    case CommandId::FilePrint:
    case CommandId::FilePrintPreview: Print(id == CommandId::FilePrintPreview); break;
    case CommandId::FilePrintSetup: {
      if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
      QPageSetupDialog setup(m_printer.get(), this);
      setup.exec();
      break;
    }
    case CommandId::AppExit: close(); break;
    default: break;
  }
}

void CMainFrame::RunEditCommand(CommandId id) {
  CChildFrame* frame = ActiveFrame();
  CDumpRowModel* model = ActiveDumpView() != nullptr ? &ActiveDumpView()->Model() : nullptr;
  switch (id) {
    case CommandId::EditUndo:
      if (frame != nullptr) frame->Document().Undo();
      break;
    case CommandId::EditRedo:
      if (frame != nullptr) frame->Document().Redo();
      break;
    case CommandId::EditCopy:
      if (model != nullptr) QApplication::clipboard()->setText(model->RowText(ActiveDumpView()->SelectedRow()));
      if (CPixelDataView* pixels = ActivePixelView()) pixels->CopyFrame();
      break;
    case CommandId::EditFind: Find(true); break;
    case CommandId::EditFindNext: Find(m_findText.isEmpty()); break;
    case CommandId::EditFindPrevious: Find(m_findText.isEmpty(), true); break;
    default: break;
  }
}

void CMainFrame::RunElementCommand(CommandId id) {
  CChildFrame* frame = ActiveFrame();
  if (frame == nullptr) return;
  CDicomImageDoc& document = frame->Document();
  CDicomDumpView* list = ActiveDumpView();
  const int row = list != nullptr ? list->SelectedRow() : -1;
  switch (id) {
    // From the menu, pixel data opens in the element dialog (its bytes,
    // Import and Export); double-click and Return show the image.
    case CommandId::EditElement: document.EditElement(row, *m_ui); break;
    case CommandId::RemoveElement: document.RemoveElement(row, *m_ui); break;
    case CommandId::InsertElement: document.InsertElement(row, *m_ui); break;
    case CommandId::CopyElement: m_app.CopyElement(document, row, *m_ui); break;
    case CommandId::InsertSequence: document.InsertSequence(row, *m_ui); break;
    case CommandId::AddItem: document.AddItem(row); break;
    case CommandId::NewMetaInfo: document.NewMetaInformation(); break;
    case CommandId::DeleteAll: document.DeleteAll(); break;
    case CommandId::ConvertTextToUtf8: document.ConvertTextToUtf8(*m_ui); break;
    case CommandId::CreateCopy:
      if (CDicomImageDoc* copy = m_app.CreateCopy(document, *m_ui)) AddDumpFrame(*copy);
      break;
    default: break;
  }
}

void CMainFrame::RunPixelCommand(CommandId id) {
  CChildFrame* frame = ActiveFrame();
  if (frame == nullptr) return;
  CDicomImageDoc& document = frame->Document();
  CPixelDataView* pixels = ActivePixelView();
  std::string error;
  switch (id) {
    case CommandId::ShowPixelData: ShowPixelData(document); break;
    case CommandId::NextFrame:
      if (pixels != nullptr && !pixels->Next(error)) m_ui->ShowMessage(error);
      break;
    case CommandId::PrevFrame:
      if (pixels != nullptr && !pixels->Prev(error)) m_ui->ShowMessage(error);
      break;
    case CommandId::CompressPixelData: CompressPixelData(m_app, document, *m_ui); break;
    case CommandId::DecompressPixelData: DecompressPixelData(m_app, document, *m_ui); break;
    case CommandId::ComparePixelData: quillon::ComparePixelData(document, *m_ui); break;
    default: break;
  }
}

void CMainFrame::ShowPixelData(CDicomImageDoc& document) {
  for (QMdiSubWindow* window : m_mdiArea->subWindowList()) {
    auto* frame = qobject_cast<CChildFrame*>(window);
    if (frame != nullptr && &frame->Document() == &document && frame->IsPixelView()) {
      m_mdiArea->setActiveSubWindow(frame);
      return;
    }
  }
  auto view = std::make_unique<CPixelDataView>(document);
  std::string error;
  if (!view->Open(error)) {
    m_ui->ShowMessage(error);
    return;
  }
  CPixelDataView* shown = view.release();
  connect(shown, &CPixelDataView::frameChanged, this, &CMainFrame::UpdateActions);
  connect(shown, &CPixelDataView::cursorMoved, m_cursorPane, &QLabel::setText);
  connect(shown, &CPixelDataView::frameFailed, this,
          [this](const QString& reason) { m_ui->ShowMessage(reason.toStdString()); });
  CChildFrame* frame = AddFrame(document, shown, true);
  if (!frame->isMaximized()) {
    // As large as the image, as far as the main window allows: no black
    // band around a small image, scroll bars for a large one.
    const QSize decoration = frame->size() - shown->size() + QSize(2, 2) * shown->frameWidth();
    frame->resize((shown->Image().size() + decoration)
                      .boundedTo(m_mdiArea->viewport()->size() - QSize(frame->x(), frame->y()))
                      .expandedTo(QSize(frame->fontMetrics().horizontalAdvance(frame->windowTitle()) + 110, 150)));
  }
  shown->setFocus();
  // A header that disagrees with its pixel data is said at once, not only
  // when a frame fails.
  const std::string& warning = shown->Viewer().HeaderWarning();
  if (!warning.empty()) statusBar()->showMessage(QString::fromStdString(warning), 15000);
}

void CMainFrame::RunWindowCommand(CommandId id) {
  switch (id) {
    case CommandId::WindowNew:
      if (CChildFrame* frame = ActiveFrame()) AddDumpFrame(frame->Document());
      break;
    case CommandId::WindowCascade: m_mdiArea->cascadeSubWindows(); break;
    case CommandId::WindowTile: m_mdiArea->tileSubWindows(); break;
    case CommandId::WindowArrange: {
      // Minimised windows in a row along the bottom edge.
      int x = 0;
      for (QMdiSubWindow* window : m_mdiArea->subWindowList()) {
        if (!window->isMinimized()) continue;
        window->move(x, m_mdiArea->viewport()->height() - window->height());
        x += window->width();
      }
      break;
    }
    default: break;
  }
}

void CMainFrame::Find(bool askForText, bool backwards) {
  CDicomDumpView* list = ActiveDumpView();
  if (list == nullptr) return;
  if (askForText) {
    bool ok = false;
    const QString text = QInputDialog::getText(this, QStringLiteral("Find"),
                                               QStringLiteral("Find a text, or a tag as gggg,eeee:"),
                                               QLineEdit::Normal, m_findText, &ok);
    if (!ok || text.isEmpty()) return;
    m_findText = text;
  }
  const int start = list->SelectedRow();
  const FindQuery query = FindQuery::Parse(m_findText.toStdString());
  const DumpRowList& rows = list->Document().Rows();
  const int row = backwards ? FindPreviousRow(rows, start, query) : FindNextRow(rows, start, query);
  if (row < 0) {
    statusBar()->showMessage(QStringLiteral("Not found: %1").arg(m_findText), 5000);
    QApplication::beep();
    return;
  }
  // Past the last row (or the first, backwards) the search goes round:
  // say so, or the user takes an earlier row for a new one.
  const bool wrapped = start >= 0 && (backwards ? row >= start : row <= start);
  if (wrapped) {
    statusBar()->showMessage(backwards ? QStringLiteral("Passed the first row: continued from the end")
                                       : QStringLiteral("Passed the last row: continued from the start"),
                             5000);
  }
  // A row the filter hides is found all the same: the filter goes.
  if (list->Model().Outline().ShownIndexOf(row) < 0 && list->Model().Outline().IsFiltering()) {
    {
      const QSignalBlocker quiet(m_filterBox);
      m_filterBox->clear();
    }
    ApplyFilter();
  }
  list->SelectRow(row);
}

void CMainFrame::OpenFolder(const QString& folder) {
  const std::filesystem::path chosen = folder.toStdString();
  const std::filesystem::path dicomDir =
      chosen.filename() == "DICOMDIR" ? chosen : chosen / "DICOMDIR";
  CStudyTree tree;
  std::error_code error;
  if (std::filesystem::is_regular_file(dicomDir, error)) {
    Result<CStudyTree> read = ReadDicomDir(dicomDir.string());
    if (!read) {
      m_ui->ShowMessage("Cannot read the DICOMDIR\n\n" + dicomDir.string() + "\n" + read.Message());
      return;
    }
    tree = std::move(*read);
  } else {
    // Headers only, on a worker thread: the window keeps painting and
    // Cancel stops the scan with what it found so far.
    m_ui->RunWithProgress("Scanning " + chosen.string(),
                          [&](const ProgressReport& report) { tree = ScanFolder(chosen.string(), report); });
  }
  if (m_studyPanel == nullptr) {
    m_studyPanel = new CStudyPanel(this);
    addDockWidget(Qt::LeftDockWidgetArea, m_studyPanel);
    connect(m_studyPanel, &CStudyPanel::openRequested, this, [this](const QString& path) { (void)OpenFile(path); });
  }
  m_studyPanel->SetTree(tree, QString::fromStdString(std::filesystem::is_regular_file(dicomDir, error)
                                                         ? dicomDir.string()
                                                         : chosen.string()));
  statusBar()->showMessage(QStringLiteral("%1 instance(s) in %2 patient(s)%3")
                               .arg(tree.InstanceCount())
                               .arg(tree.Patients().size())
                               .arg(tree.skipped.empty() ? QString()
                                                         : QStringLiteral("; %1 file(s) are no DICOM").arg(tree.skipped.size())),
                           10000);
}

void CMainFrame::Print(bool preview) {
  CDicomDumpView* list = ActiveDumpView();
  if (list == nullptr) return;
  if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  m_printer->setDocName(QString::fromStdString(list->Document().Title()));
  const CDicomImageDoc& document = list->Document();
  if (preview) {
    QPrintPreviewDialog dialog(m_printer.get(), this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [&document](QPrinter* printer) { PrintDumpRows(document, *printer); });
    dialog.exec();
    return;
  }
  QPrintDialog dialog(m_printer.get(), this);
  if (dialog.exec() == QDialog::Accepted) PrintDumpRows(document, *m_printer);
}

}  // namespace quillon
