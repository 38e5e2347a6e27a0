#include "app/qt/PixelDataView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

namespace quillon {

CPixelDataView::CPixelDataView(CDicomImageDoc& document, QWidget* parent)
    : QAbstractScrollArea(parent), m_viewer(document) {
  setObjectName("pixelView");
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  m_viewer.onChanged = [this] {
    TakeFrame();
    emit frameChanged();
  };
}

bool CPixelDataView::Open(std::string& error) { return m_viewer.Open(error); }

bool CPixelDataView::Next(std::string& error) { return m_viewer.Next(error); }

bool CPixelDataView::Prev(std::string& error) { return m_viewer.Prev(error); }

void CPixelDataView::TakeFrame() {
  const auto width = static_cast<int>(m_viewer.Width());
  const auto height = static_cast<int>(m_viewer.Height());
  if (m_viewer.Pixels().empty() || width == 0 || height == 0) {
    m_image = QImage();
  } else {
    // A copy the image owns: the viewer's rows are replaced by the next frame.
    m_image = QImage(m_viewer.Pixels().data(), width, height, width * 3, QImage::Format_RGB888).copy();
  }
  UpdateScrollBars();
  // Painted now, not at the next idle moment: a drag or a held key asks
  // for the next frame only after this one is on screen.
  viewport()->repaint();
}

void CPixelDataView::UpdateScrollBars() {
  const QSize area = viewport()->size();
  horizontalScrollBar()->setRange(0, std::max(0, m_image.width() - area.width()));
  verticalScrollBar()->setRange(0, std::max(0, m_image.height() - area.height()));
  horizontalScrollBar()->setPageStep(area.width());
  verticalScrollBar()->setPageStep(area.height());
}

void CPixelDataView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QPoint origin(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
  const QRect image(origin, m_image.size());
  // Black wherever the image is not: around it when the window is larger.
  const QRegion outside = QRegion(event->rect()).subtracted(QRegion(image));
  for (const QRect& rect : outside) painter.fillRect(rect, Qt::black);
  if (!m_image.isNull()) painter.drawImage(origin, m_image);
}

void CPixelDataView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void CPixelDataView::scrollContentsBy(int, int) { viewport()->update(); }

void CPixelDataView::mousePressEvent(QMouseEvent* event) {
  // Where a drag starts: the window moves by how far the mouse goes from here.
  (void)m_viewer.MouseMove(event->position().toPoint().x(), event->position().toPoint().y(), false);
  QAbstractScrollArea::mousePressEvent(event);
}

void CPixelDataView::mouseMoveEvent(QMouseEvent* event) {
  // Moves that arrive while a frame is being drawn are merged: only the
  // latest position counts, so the picture keeps up with the mouse.
  m_dragTo = event->position().toPoint();
  m_dragButton = (event->buttons() & Qt::LeftButton) != 0;
  if (!m_dragButton) {
    (void)m_viewer.MouseMove(m_dragTo.x(), m_dragTo.y(), false);
    return;
  }
  if (!m_dragPending) {
    m_dragPending = true;
    QTimer::singleShot(0, this, &CPixelDataView::ApplyDrag);
  }
}

void CPixelDataView::ApplyDrag() {
  m_dragPending = false;
  (void)m_viewer.MouseMove(m_dragTo.x(), m_dragTo.y(), m_dragButton);
}

bool CPixelDataView::SaveFrame(const QString& path, QString& error) const {
  if (m_image.isNull()) {
    error = QStringLiteral("There is no frame to save.");
    return false;
  }
  if (!m_image.save(path, "PNG")) {
    error = QStringLiteral("Cannot write %1").arg(path);
    return false;
  }
  return true;
}

void CPixelDataView::CopyFrame() const {
  if (!m_image.isNull()) QApplication::clipboard()->setImage(m_image);
}

void CPixelDataView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* save = menu.addAction(QStringLiteral("Save Frame As PNG..."));
  QAction* copy = menu.addAction(QStringLiteral("Copy Frame"));
  save->setEnabled(!m_image.isNull());
  copy->setEnabled(!m_image.isNull());
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == copy) CopyFrame();
  if (chosen != save) return;
  const QString suggested = QString::fromStdString(m_viewer.Document().Title())
                                .section(QLatin1Char('.'), 0, 0) +
                            QStringLiteral("_frame%1.png").arg(m_viewer.CurrentFrame() + 1);
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Frame As PNG"), suggested,
                                                    QStringLiteral("PNG images (*.png)"));
  QString error;
  if (!path.isEmpty() && !SaveFrame(path, error)) QMessageBox::warning(this, QStringLiteral("Quillon"), error);
}

}  // namespace quillon
