#include "app/qt/ChildFrame.h"

#include "app/qt/Icons.h"

#include <QCloseEvent>

namespace quillon {

CChildFrame::CChildFrame(CDicomImageDoc& document, QWidget* view, bool pixelView, CloseQuery canClose,
                         GoneHandler gone, QWidget* parent)
    : QMdiSubWindow(parent),
      m_document(document),
      m_pixelView(pixelView),
      m_canClose(std::move(canClose)),
      m_gone(std::move(gone)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWidget(view);
  setWindowIcon(ApplicationIcon());
  m_document.AddObserver(this);
  UpdateTitle();
}

CChildFrame::~CChildFrame() {
  m_document.RemoveObserver(this);
  // The view observes the document too: it goes before anyone may discard
  // the document.
  delete widget();
  if (m_gone) m_gone(m_document);
}

void CChildFrame::CloseWithoutAsking() {
  m_canClose = nullptr;
  close();
}

void CChildFrame::OnStateChanged(const CDicomImageDoc&) { UpdateTitle(); }

void CChildFrame::UpdateTitle() {
  QString title = QString::fromStdString(m_document.WindowTitle());
  if (m_pixelView) title += QStringLiteral(" [Pixel Data]");
  setWindowTitle(title + QStringLiteral("[*]"));
  setWindowModified(m_document.IsModified());
}

void CChildFrame::closeEvent(QCloseEvent* event) {
  if (m_canClose && !m_canClose(*this)) {
    event->ignore();
    return;
  }
  QMdiSubWindow::closeEvent(event);
}

}  // namespace quillon
