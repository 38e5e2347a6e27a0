#include "app/qt/MainFrame.h"

#include "app/QuillonApp.h"
#include "app/qt/ChildFrame.h"
#include "app/qt/DicomDumpView.h"
#include "app/qt/Icons.h"
#include "app/qt/PixelDataView.h"
#include "app/qt/QtUserInterface.h"
#include "base/SettingsStore.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QStatusBar>
#include <QToolBar>

namespace quillon {

namespace {

constexpr const char* kWindowSection = "Window";
constexpr const char* kGeometryKey = "Geometry";

/// "&Open...\tCtrl+O": the text shown, and the shortcut after the tab.
void SplitMenuText(const char* menuText, QString& text, QString& shortcut) {
  const QString full = QString::fromUtf8(menuText);
  const qsizetype tab = full.indexOf(QLatin1Char('\t'));
  text = tab < 0 ? full : full.left(tab);
  shortcut = tab < 0 ? QString() : full.mid(tab + 1);
}

}  // namespace

CMainFrame::CMainFrame(CQuillonApp& app, IUserInterface* ui) : m_app(app), m_ui(ui) {
  if (m_ui == nullptr) {
    m_ownUi = std::make_unique<CQtUserInterface>(this, &m_app.Settings(), [this](const QString& text) {
      statusBar()->showMessage(text, 8000);
    });
    m_ui = m_ownUi.get();
  }
  setWindowTitle(QStringLiteral("Quillon"));
  setWindowIcon(ApplicationIcon());
  setAcceptDrops(true);
  m_mdiArea = new QMdiArea(this);
  m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(m_mdiArea);
  connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this] {
    UpdateMenuBar();
    UpdateActions();
  });

  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  ReadSettings();
  UpdateRecentFiles();
  m_app.OnRecentFilesChanged([this] { UpdateRecentFiles(); });
  UpdateMenuBar();
  UpdateActions();
}

CMainFrame::~CMainFrame() {
  m_app.OnRecentFilesChanged({});
  // Windows go before the documents they show, without asking again.
  for (QMdiSubWindow* window : m_mdiArea->subWindowList()) delete window;
}

QAction* CMainFrame::Action(CommandId id) const {
  const auto found = m_actions.find(id);
  return found == m_actions.end() ? nullptr : found->second;
}

void CMainFrame::CreateActions() {
  // One action per command, whichever menus show it; its text is the one of
  // its first menu entry.
  for (const auto* menus : {&MenusWithDocument(), &MenusWithoutDocument()}) {
    for (const Menu& menu : *menus) {
      for (const MenuEntry& entry : menu.entries) {
        if (entry.id == CommandId::None || m_actions.count(entry.id) != 0) continue;
        QString text;
        QString shortcut;
        SplitMenuText(entry.text, text, shortcut);
        auto* action = new QAction(text, this);
        QList<QKeySequence> keys;
        if (!shortcut.isEmpty()) keys.append(QKeySequence(shortcut));
        for (const std::string& extra : ExtraShortcuts(entry.id)) keys.append(QKeySequence(QString::fromStdString(extra)));
        action->setShortcuts(keys);
        const QString prompt = QString::fromStdString(CommandPrompt(entry.id));
        action->setStatusTip(prompt.section(QLatin1Char('\n'), 0, 0));
        if (prompt.contains(QLatin1Char('\n'))) action->setToolTip(prompt.section(QLatin1Char('\n'), 1));
        const CommandId id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { Execute(id); });
        m_actions[id] = action;
      }
    }
  }
  for (const CommandId id : ToolbarCommands()) {
    if (id == CommandId::None) continue;
    QAction* action = Action(id);
    if (action == nullptr) {
      // Cut and Paste are on the toolbar only.
      action = new QAction(id == CommandId::EditCut ? QStringLiteral("Cu&t") : QStringLiteral("&Paste"), this);
      QList<QKeySequence> keys;
      for (const std::string& extra : ExtraShortcuts(id)) keys.append(QKeySequence(QString::fromStdString(extra)));
      action->setShortcuts(keys);
      const QString prompt = QString::fromStdString(CommandPrompt(id));
      action->setStatusTip(prompt.section(QLatin1Char('\n'), 0, 0));
      action->setToolTip(prompt.section(QLatin1Char('\n'), 1));
      m_actions[id] = action;
    }
    action->setIcon(CommandIcon(id));
  }
  for (const CommandId id : {CommandId::AllowReadPixelData, CommandId::ViewToolbar, CommandId::ViewStatusBar}) {
    Action(id)->setCheckable(true);
  }
  Action(CommandId::RecentFile)->setEnabled(false);
}

void CMainFrame::CreateMenus() {
  const auto build = [this](const std::vector<Menu>& layout, std::vector<QMenu*>& menus) {
    for (const Menu& definition : layout) {
      auto* menu = new QMenu(QString::fromUtf8(definition.title), this);
      for (const MenuEntry& entry : definition.entries) {
        if (entry.id == CommandId::None) {
          menu->addSeparator();
        } else {
          QAction* action = Action(entry.id);
          // The same command can be listed under another text elsewhere
          // ("Insert New" for elements and for sequences is two commands).
          menu->addAction(action);
        }
      }
      if (definition.entries.front().id == CommandId::WindowNew) {
        m_windowMenu = menu;
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateWindowMenu);
      }
      menus.push_back(menu);
    }
  };
  build(MenusWithoutDocument(), m_menusWithoutDocument);
  build(MenusWithDocument(), m_menusWithDocument);
}

void CMainFrame::CreateToolBar() {
  QToolBar* toolbar = addToolBar(QStringLiteral("Toolbar"));
  toolbar->setObjectName("toolbar");
  toolbar->setIconSize(QSize(16, 16));
  toolbar->setMovable(true);
  for (const CommandId id : ToolbarCommands()) {
    if (id == CommandId::None) {
      toolbar->addSeparator();
    } else {
      toolbar->addAction(Action(id));
    }
  }
  toolbar->addSeparator();
  m_filterBox = new QLineEdit(toolbar);
  m_filterBox->setObjectName("filterBox");
  m_filterBox->setPlaceholderText(QStringLiteral("Filter rows: text or gggg,eeee"));
  m_filterBox->setClearButtonEnabled(true);
  m_filterBox->setMaximumWidth(m_filterBox->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 32);
  toolbar->addWidget(m_filterBox);
  // Applied once typing pauses (or on Return): on a file of hundreds of
  // thousands of rows, each keystroke would otherwise filter them all.
  m_filterTimer = new QTimer(this);
  m_filterTimer->setSingleShot(true);
  m_filterTimer->setInterval(kFilterDelayMs);
  connect(m_filterTimer, &QTimer::timeout, this, &CMainFrame::ApplyFilter);
  connect(m_filterBox, &QLineEdit::textChanged, m_filterTimer, qOverload<>(&QTimer::start));
  connect(m_filterBox, &QLineEdit::returnPressed, this, &CMainFrame::ApplyFilter);
  connect(toolbar, &QToolBar::visibilityChanged, this,
          [this](bool visible) { Action(CommandId::ViewToolbar)->setChecked(visible); });
}

void CMainFrame::ApplyFilter() {
  m_filterTimer->stop();
  if (CDicomDumpView* list = ActiveDumpView()) list->SetFilter(m_filterBox->text());
}

void CMainFrame::CreateStatusBar() {
  m_cursorPane = new QLabel(this);
  m_cursorPane->setObjectName("cursorPane");
  statusBar()->addPermanentWidget(m_cursorPane);
  m_windowPane = new QLabel(this);
  m_windowPane->setObjectName("windowPane");
  statusBar()->addPermanentWidget(m_windowPane);
  // Framed, so the cursor's values, the window and the frame count read as
  // three fields, not one line ("... 56 HU C 136 W 2064 HU").
  for (QLabel* pane : {m_cursorPane, m_windowPane}) {
    pane->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    pane->setContentsMargins(4, 0, 4, 0);
  }
  m_zoomPane = new QLabel(this);
  m_zoomPane->setObjectName("zoomPane");
  m_zoomPane->setAlignment(Qt::AlignCenter);
  m_zoomPane->setMinimumWidth(m_zoomPane->fontMetrics().horizontalAdvance(QStringLiteral("0000%")) + 12);
  statusBar()->addPermanentWidget(m_zoomPane);
  m_framePane = new QLabel(this);
  m_framePane->setObjectName("framePane");
  m_framePane->setAlignment(Qt::AlignCenter);
  m_framePane->setMinimumWidth(m_framePane->fontMetrics().horizontalAdvance(QStringLiteral("000/000")) + 12);
  statusBar()->addPermanentWidget(m_framePane);
  // The message pane says "Ready" whenever nothing else is shown.
  connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& message) {
    if (message.isEmpty()) statusBar()->showMessage(QStringLiteral("Ready"));
  });
  statusBar()->showMessage(QStringLiteral("Ready"));
}

void CMainFrame::ReadSettings() {
  const std::string geometry = m_app.Settings().GetString(kWindowSection, kGeometryKey, "");
  if (geometry.empty() || !restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(geometry)))) {
    resize(1000, 700);
  }
}

void CMainFrame::WriteSettings() {
  (void)m_app.Settings().WriteString(kWindowSection, kGeometryKey, saveGeometry().toBase64().toStdString());
}

void CMainFrame::UpdateMenuBar() {
  const bool withDocument = m_mdiArea->activeSubWindow() != nullptr || !m_mdiArea->subWindowList().isEmpty();
  if (withDocument == m_showingDocumentMenus && !menuBar()->actions().isEmpty()) return;
  m_showingDocumentMenus = withDocument;
  menuBar()->clear();
  for (QMenu* menu : withDocument ? m_menusWithDocument : m_menusWithoutDocument) menuBar()->addMenu(menu);
}

void CMainFrame::UpdateRecentFiles() {
  QAction* placeholder = Action(CommandId::RecentFile);
  for (QMenu* menu : {m_menusWithoutDocument.front(), m_menusWithDocument.front()}) {
    for (QAction* old : m_recentActions) menu->removeAction(old);
  }
  qDeleteAll(m_recentActions);
  m_recentActions.clear();
  const std::vector<std::string>& entries = m_app.RecentFiles().Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    const QString path = QString::fromStdString(entries[i]);
    auto* action = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path), this);
    action->setStatusTip(QString::fromStdString(CommandPrompt(CommandId::RecentFile)));
    connect(action, &QAction::triggered, this, [this, path] { OpenFile(path); });
    m_recentActions.push_back(action);
  }
  for (QMenu* menu : {m_menusWithoutDocument.front(), m_menusWithDocument.front()}) {
    for (QAction* action : m_recentActions) menu->insertAction(placeholder, action);
  }
  // Listed files take the place of the "Recent File" entry.
  placeholder->setVisible(m_recentActions.empty());
}

void CMainFrame::UpdateWindowMenu() {
  // The windows are listed under the window commands, as in every
  // multiple-document program.
  const QList<QAction*> actions = m_windowMenu->actions();
  for (qsizetype i = 4; i < actions.size(); ++i) {
    m_windowMenu->removeAction(actions[i]);
    if (actions[i]->parent() == m_windowMenu) delete actions[i];
  }
  const QList<QMdiSubWindow*> windows = m_mdiArea->subWindowList();
  if (windows.isEmpty()) return;
  m_windowMenu->addSeparator();
  for (qsizetype i = 0; i < windows.size(); ++i) {
    QMdiSubWindow* window = windows[i];
    QString title = window->windowTitle();
    title.replace(QStringLiteral("[*]"), window->isWindowModified() ? QStringLiteral("*") : QString());
    QAction* action = m_windowMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(title));
    action->setCheckable(true);
    action->setChecked(window == m_mdiArea->activeSubWindow());
    connect(action, &QAction::triggered, this, [this, window] { m_mdiArea->setActiveSubWindow(window); });
  }
}

CChildFrame* CMainFrame::ActiveFrame() const {
  return qobject_cast<CChildFrame*>(m_mdiArea->activeSubWindow());
}

CDicomDumpView* CMainFrame::ActiveDumpView() const {
  CChildFrame* frame = ActiveFrame();
  return frame != nullptr ? qobject_cast<CDicomDumpView*>(frame->widget()) : nullptr;
}

CPixelDataView* CMainFrame::ActivePixelView() const {
  CChildFrame* frame = ActiveFrame();
  return frame != nullptr ? qobject_cast<CPixelDataView*>(frame->widget()) : nullptr;
}

void CMainFrame::UpdateActions() {
  CChildFrame* frame = ActiveFrame();
  CDicomDumpView* list = ActiveDumpView();
  CommandContext context;
  context.document = frame != nullptr ? &frame->Document() : nullptr;
  context.dumpView = list != nullptr;
  context.row = list != nullptr ? list->SelectedRow() : -1;
  for (const auto& [id, action] : m_actions) {
    if (id == CommandId::RecentFile) continue;
    action->setEnabled(m_app.IsEnabled(id, context));
  }
  // The pixel view answers for its own frames (and copies its picture).
  CPixelDataView* pixels = ActivePixelView();
  Action(CommandId::NextFrame)->setEnabled(pixels != nullptr && pixels->Viewer().CanNext());
  Action(CommandId::PrevFrame)->setEnabled(pixels != nullptr && pixels->Viewer().CanPrev());
  if (pixels != nullptr) Action(CommandId::EditCopy)->setEnabled(!pixels->Image().isNull());
  Action(CommandId::AllowReadPixelData)->setChecked(m_app.AllowReadPixelData());
  Action(CommandId::ViewStatusBar)->setChecked(statusBar()->isVisible());
  QAction* undo = Action(CommandId::EditUndo);
  QAction* redo = Action(CommandId::EditRedo);
  const std::string undoText = context.document != nullptr ? context.document->UndoText() : std::string();
  const std::string redoText = context.document != nullptr ? context.document->RedoText() : std::string();
  undo->setText(undoText.empty() ? QStringLiteral("&Undo") : QStringLiteral("&Undo %1").arg(QString::fromStdString(undoText)));
  redo->setText(redoText.empty() ? QStringLiteral("&Redo") : QStringLiteral("&Redo %1").arg(QString::fromStdString(redoText)));
  if (context.document != nullptr) {
    setWindowTitle(QStringLiteral("Quillon - %1[*]").arg(QString::fromStdString(context.document->WindowTitle())));
    setWindowModified(context.document->IsModified());
  } else {
    setWindowTitle(QStringLiteral("Quillon"));
    setWindowModified(false);
  }
  // The filter box shows the filter of the list in front.
  const QString filter = list != nullptr ? list->Filter() : QString();
  if (m_filterBox->text() != filter) {
    const QSignalBlocker quiet(m_filterBox);
    m_filterBox->setText(filter);
  }
  m_filterBox->setEnabled(list != nullptr);
  if (pixels != nullptr) {
    m_framePane->setText(QString::fromStdString(pixels->Viewer().FramePaneText()));
    m_zoomPane->setText(QStringLiteral("%1%").arg(qRound(pixels->Transform().Zoom() * 100)));
    m_windowPane->setText(QString::fromStdString(pixels->Viewer().WindowText()));
    m_cursorPane->setText(pixels->CursorText());
  } else {
    m_framePane->clear();
    m_zoomPane->clear();
    m_windowPane->clear();
    m_cursorPane->clear();
  }
  // Empty framed panes would show as stray boxes beside the element list.
  m_windowPane->setVisible(!m_windowPane->text().isEmpty());
  m_cursorPane->setVisible(pixels != nullptr);
  m_zoomPane->setVisible(pixels != nullptr);
}

bool CMainFrame::OpenFile(const QString& path) {
  CDicomImageDoc* document = m_app.OpenDocument(path.toStdString(), *m_ui);
  if (document == nullptr) return false;
  // A DICOMDIR is also listed as the tree of what it refers to.
  if (QFileInfo(path).fileName() == QStringLiteral("DICOMDIR")) OpenFolder(path);
  // A file already open is shown, not opened twice.
  for (QMdiSubWindow* window : m_mdiArea->subWindowList()) {
    auto* frame = qobject_cast<CChildFrame*>(window);
    if (frame != nullptr && &frame->Document() == document) {
      m_mdiArea->setActiveSubWindow(frame);
      return true;
    }
  }
  AddDumpFrame(*document);
  for (const std::string& warning : document->ReadWarnings()) {
    statusBar()->showMessage(QStringLiteral("%1: %2").arg(path, QString::fromStdString(warning)), 10000);
  }
  return true;
}

CChildFrame* CMainFrame::AddDumpFrame(CDicomImageDoc& document) {
  auto* view = new CDicomDumpView(document);
  CChildFrame* frame = AddFrame(document, view, false);
  connect(view, &CDicomDumpView::stateChanged, this, &CMainFrame::UpdateActions);
  connect(view, &CDicomDumpView::editRequested, this, [this, view](int row) {
    bool showPixels = false;
    view->Document().EditElement(row, *m_ui, &showPixels);
    if (showPixels) Execute(CommandId::ShowPixelData);
  });
  connect(view, &CDicomDumpView::removeRequested, this, [this] { Execute(CommandId::RemoveElement); });
  connect(view, &CDicomDumpView::insertRequested, this, [this] { Execute(CommandId::InsertElement); });
  view->setFocus();
  return frame;
}

CChildFrame* CMainFrame::AddFrame(CDicomImageDoc& document, QWidget* view, bool pixelView) {
  auto* frame = new CChildFrame(
      document, view, pixelView, [this](CChildFrame& closing) { return CanCloseFrame(closing); },
      [this](CDicomImageDoc& gone) { FrameGone(gone); });
  const QMdiSubWindow* active = m_mdiArea->activeSubWindow();
  const bool maximized = active != nullptr && active->isMaximized();
  m_mdiArea->addSubWindow(frame);
  if (maximized) {
    frame->showMaximized();
  } else {
    // Cascaded, each window a step down and right of the one before, all of
    // it inside the area so its title bar can be reached.
    constexpr int kStep = 26;
    const int place = static_cast<int>(m_mdiArea->subWindowList().size() - 1) % 6;
    const QSize area = m_mdiArea->viewport()->size();
    frame->move(place * kStep, place * kStep);
    frame->resize(std::max(420, area.width() - place * kStep - 8), std::max(300, area.height() - place * kStep - 8));
    frame->show();
  }
  m_mdiArea->setActiveSubWindow(frame);
  UpdateMenuBar();
  UpdateActions();
  return frame;
}

int CMainFrame::FramesOf(const CDicomImageDoc& document) const {
  int count = 0;
  for (QMdiSubWindow* window : m_mdiArea->subWindowList()) {
    auto* frame = qobject_cast<CChildFrame*>(window);
    if (frame != nullptr && &frame->Document() == &document) ++count;
  }
  return count;
}

bool CMainFrame::CanCloseFrame(CChildFrame& frame) {
  if (FramesOf(frame.Document()) > 1) return true;
  return m_app.QuerySaveChanges(frame.Document(), *m_ui);
}

void CMainFrame::FrameGone(CDicomImageDoc& document) {
  if (FramesOf(document) == 0) m_app.DiscardDocument(document);
  // Called from a window's destructor: let it finish before redrawing.
  QMetaObject::invokeMethod(
      this,
      [this] {
        UpdateMenuBar();
        UpdateActions();
      },
      Qt::QueuedConnection);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!m_app.QueryCloseAll(*m_ui)) {
    event->ignore();
    return;
  }
  WriteSettings();
  // Every document was saved or its changes given up: close without asking
  // again.
  for (QMdiSubWindow* window : m_mdiArea->subWindowList()) delete window;
  event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) OpenFile(url.toLocalFile());
  }
  event->acceptProposedAction();
}

}  // namespace quillon
