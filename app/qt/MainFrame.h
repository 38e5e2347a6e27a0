/// \file
/// CMainFrame — the editor's main window: the menus (one set while no
/// document is open, the full set while one is), the toolbar, the status
/// bar, and one sub-window per view of an open document. Files come in by
/// the Open command, the recent-file list, the command line and dropping
/// them on the window. Every command is forwarded to the editor's logic
/// (CQuillonApp, CDicomImageDoc), which also says which commands are
/// enabled; this class only draws and forwards.
#pragma once

#include "app/CommandIds.h"

#include <QMainWindow>

#include <map>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QLineEdit;
class QTimer;
class QMdiArea;
class QMenu;
class QPrinter;

namespace quillon {

class CStudyPanel;

class CChildFrame;
class CDicomDumpView;
class CDicomImageDoc;
class CPixelDataView;
class CQuillonApp;
class IUserInterface;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  /// How long typing in the filter box pauses before the rows are filtered.
  static constexpr int kFilterDelayMs = 250;

  /// A main window over `app`. `ui` answers the editor's questions (the
  /// window's own message boxes and dialogs when null; tests give a script).
  explicit CMainFrame(CQuillonApp& app, IUserInterface* ui = nullptr);
  ~CMainFrame() override;

  /// Opens `path` (or shows the document that has it open). False, after
  /// saying why, when it cannot be read.
  bool OpenFile(const QString& path);
  /// Lists the patients, studies, series and instances of `folder` in the
  /// side panel: from its DICOMDIR when it has one, else by reading every
  /// file's header on a worker thread with progress. A path to a DICOMDIR
  /// itself is read as one.
  void OpenFolder(const QString& folder);
  CStudyPanel* StudyPanel() const { return m_studyPanel; }
  /// Runs a command as its menu entry would.
  void Execute(CommandId id);
  /// The action of a command (null for commands without one).
  QAction* Action(CommandId id) const;
  QMdiArea* MdiArea() const { return m_mdiArea; }
  /// The active document window, or null.
  CChildFrame* ActiveFrame() const;
  /// The element list of the active window, or null.
  CDicomDumpView* ActiveDumpView() const;
  /// The pixel view of the active window, or null.
  CPixelDataView* ActivePixelView() const;
  IUserInterface& Ui() const { return *m_ui; }
  /// Recomputes which commands are enabled and checked.
  void UpdateActions();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void ReadSettings();
  void WriteSettings();
  /// Shows the menus that fit: with or without a document.
  void UpdateMenuBar();
  void UpdateRecentFiles();
  void UpdateWindowMenu();

  /// Opens a window on `document`: its element list.
  CChildFrame* AddDumpFrame(CDicomImageDoc& document);
  CChildFrame* AddFrame(CDicomImageDoc& document, QWidget* view, bool pixelView);
  /// Whether a window may close: the last window of a modified document
  /// asks to save it first.
  bool CanCloseFrame(CChildFrame& frame);
  /// Called once a window is gone: the document goes with its last window.
  void FrameGone(CDicomImageDoc& document);
  int FramesOf(const CDicomImageDoc& document) const;

  void RunElementCommand(CommandId id);
  void RunEditCommand(CommandId id);
  void RunFileCommand(CommandId id);
  void RunWindowCommand(CommandId id);
  void RunPixelCommand(CommandId id);
  /// Shows the pixel data of `document`: its pixel view, opened when it has
  /// none.
  void ShowPixelData(CDicomImageDoc& document);
  void Find(bool askForText, bool backwards = false);
  /// Filters the active element list by the filter box's text.
  void ApplyFilter();

  void Print(bool preview);

  CQuillonApp& m_app;
  std::unique_ptr<IUserInterface> m_ownUi;
  IUserInterface* m_ui;
  QMdiArea* m_mdiArea = nullptr;
  QLabel* m_framePane = nullptr;
  /// The pixel view's zoom ("200%").
  QLabel* m_zoomPane = nullptr;
  CStudyPanel* m_studyPanel = nullptr;
  /// Filters the rows of the active element list.
  QLineEdit* m_filterBox = nullptr;
  QTimer* m_filterTimer = nullptr;
  /// The grey window of the pixel view shown ("C 40  W 400 HU").
  QLabel* m_windowPane = nullptr;
  /// What the cursor points at in the pixel view.
  QLabel* m_cursorPane = nullptr;
  QMenu* m_windowMenu = nullptr;
  std::map<CommandId, QAction*> m_actions;
  std::vector<QMenu*> m_menusWithoutDocument;
  std::vector<QMenu*> m_menusWithDocument;
  std::vector<QAction*> m_recentActions;
  bool m_showingDocumentMenus = false;
  std::unique_ptr<QPrinter> m_printer;
  QString m_findText;
};

}  // namespace quillon
