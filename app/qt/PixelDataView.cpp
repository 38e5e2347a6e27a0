#include "app/qt/PixelDataView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>

#include <cmath>

namespace quillon {

CPixelDataView::CPixelDataView(CDicomImageDoc& document, QWidget* parent)
    : QAbstractScrollArea(parent), m_viewer(document) {
  setObjectName("pixelView");
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  m_viewer.onChanged = [this] {
    TakeFrame();
    emit frameChanged();
  };
  m_cine.setInterval(1000 / kCineFramesPerSecond);
  connect(&m_cine, &QTimer::timeout, this, [this] {
    const int32_t count = m_viewer.FrameCount();
    if (count > 1) ShowFrameAt((m_viewer.CurrentFrame() + 1) % count);
  });
}

bool CPixelDataView::Open(std::string& error) { return m_viewer.Open(error); }

bool CPixelDataView::Next(std::string& error) { return m_viewer.Next(error); }

bool CPixelDataView::Prev(std::string& error) { return m_viewer.Prev(error); }

void CPixelDataView::ShowFrameAt(int32_t index) {
  std::string error;
  if (index == m_viewer.CurrentFrame() || index < 0 || index >= m_viewer.FrameCount()) return;
  if (!m_viewer.ShowFrame(index, error)) {
    m_cine.stop();
    emit frameFailed(QString::fromStdString(error));
  }
}

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
  // Scroll bars only when the image does not fit the whole area: once
  // shown they narrow the view, and would otherwise stay after zooming
  // back to a size that fits.
  QSize area = maximumViewportSize();
  m_transform.SetSizes(m_image.width(), m_image.height(), area.width(), area.height());
  if (m_transform.ScrollMaxX() > 0 || m_transform.ScrollMaxY() > 0) {
    area = viewport()->size();
    m_transform.SetSizes(m_image.width(), m_image.height(), area.width(), area.height());
  }
  m_updatingScrollBars = true;
  horizontalScrollBar()->setRange(0, static_cast<int>(m_transform.ScrollMaxX()));
  verticalScrollBar()->setRange(0, static_cast<int>(m_transform.ScrollMaxY()));
  horizontalScrollBar()->setPageStep(area.width());
  verticalScrollBar()->setPageStep(area.height());
  horizontalScrollBar()->setSingleStep(std::max(1, area.width() / 20));
  verticalScrollBar()->setSingleStep(std::max(1, area.height() / 20));
  horizontalScrollBar()->setValue(static_cast<int>(m_transform.ScrollX()));
  verticalScrollBar()->setValue(static_cast<int>(m_transform.ScrollY()));
  m_updatingScrollBars = false;
}

void CPixelDataView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QRectF placed(m_transform.ImageLeft(), m_transform.ImageTop(), m_transform.ScaledWidth(),
                      m_transform.ScaledHeight());
  // Black wherever the image is not: around it when the window is larger.
  const QRegion outside = QRegion(event->rect()).subtracted(QRegion(placed.toAlignedRect()));
  for (const QRect& rect : outside) painter.fillRect(rect, Qt::black);
  if (m_image.isNull()) return;
  const double zoom = m_transform.Zoom();
  if (zoom == 1.0) {
    painter.drawImage(QPointF(placed.left(), placed.top()), m_image);
    return;
  }
  // Only the part of the image the window shows is scaled: the cost of a
  // step follows the window's size, not the image's.
  const QRectF visible = placed.intersected(QRectF(event->rect()));
  if (visible.isEmpty()) return;
  QRectF source((visible.left() - placed.left()) / zoom, (visible.top() - placed.top()) / zoom,
                visible.width() / zoom, visible.height() / zoom);
  // Whole source pixels, so each is drawn as one block (no smoothing:
  // a reader zooms in to see pixels).
  const QRect whole = source.toAlignedRect().intersected(m_image.rect());
  const QRectF target(placed.left() + whole.left() * zoom, placed.top() + whole.top() * zoom, whole.width() * zoom,
                      whole.height() * zoom);
  painter.drawImage(target, m_image, QRectF(whole));
}

void CPixelDataView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void CPixelDataView::scrollContentsBy(int, int) {
  if (!m_updatingScrollBars) m_transform.SetScroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
  viewport()->update();
}

void CPixelDataView::AfterZoom() {
  UpdateScrollBars();
  viewport()->repaint();
  emit frameChanged();
}

void CPixelDataView::ZoomToFit() {
  m_transform.ZoomToFit();
  AfterZoom();
}

void CPixelDataView::ZoomOneToOne() {
  m_transform.ZoomOneToOne();
  AfterZoom();
}

void CPixelDataView::ZoomIn() {
  m_transform.ZoomIn();
  AfterZoom();
}

void CPixelDataView::ZoomOut() {
  m_transform.ZoomOut();
  AfterZoom();
}

void CPixelDataView::ToggleCine() {
  if (m_cine.isActive()) {
    m_cine.stop();
  } else if (m_viewer.FrameCount() > 1) {
    m_cine.start();
  }
  emit frameChanged();
}

bool CPixelDataView::AskWindow() {
  if (!m_viewer.HasWindow()) return false;
  const GreyWindow& now = m_viewer.Window();
  QString unit = QString::fromStdString(m_viewer.Settings().unit);
  bool ok = false;
  const QString typed = QInputDialog::getText(
      this, QStringLiteral("Window"),
      QStringLiteral("Centre and width%1:").arg(unit.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(unit)),
      QLineEdit::Normal, QStringLiteral("%1 %2").arg(now.center).arg(now.width), &ok);
  if (!ok) return false;
  const std::optional<GreyWindow> window = ParseWindowText(typed.toStdString());
  if (!window) {
    QMessageBox::warning(this, QStringLiteral("Quillon"),
                         QStringLiteral("Enter the centre and the width as two numbers, the width at least 1 "
                                        "(for example 40 400)."));
    return false;
  }
  return m_viewer.SetWindow(*window);
}

void CPixelDataView::UpdateCursorText(const QPoint& at) {
  int64_t column = 0;
  int64_t row = 0;
  const QString text = m_transform.ImagePixelAt(at.x(), at.y(), column, row)
                           ? QString::fromStdString(m_viewer.PixelInfo(column, row))
                           : QString();
  if (text == m_cursorText) return;
  m_cursorText = text;
  emit cursorMoved(text);
}

void CPixelDataView::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  // Where a drag starts: the window moves by how far the mouse goes from here.
  (void)m_viewer.MouseMove(at.x(), at.y(), false);
  m_panFrom = at;
  QAbstractScrollArea::mousePressEvent(event);
}

void CPixelDataView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  UpdateCursorText(at);
  if ((event->buttons() & Qt::MiddleButton) != 0) {
    m_transform.PanBy(at.x() - m_panFrom.x(), at.y() - m_panFrom.y());
    m_panFrom = at;
    UpdateScrollBars();
    viewport()->update();
    return;
  }
  // Moves that arrive while a frame is being drawn are merged: only the
  // latest position counts, so the picture keeps up with the mouse.
  m_dragTo = at;
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

void CPixelDataView::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (steps == 0) return;
  if ((event->modifiers() & Qt::ControlModifier) != 0) {
    const QPointF at = event->position();
    m_transform.ZoomAt(std::pow(std::sqrt(2.0), steps), at.x(), at.y());
    AfterZoom();
    return;
  }
  if (m_viewer.FrameCount() > 1) {
    // Wheel down shows the next frame, as in every viewer.
    ShowFrameAt(std::clamp(m_viewer.CurrentFrame() - steps, 0, m_viewer.FrameCount() - 1));
    return;
  }
  QAbstractScrollArea::wheelEvent(event);
}

void CPixelDataView::keyPressEvent(QKeyEvent* event) {
  const int last = m_viewer.FrameCount() - 1;
  const int current = m_viewer.CurrentFrame();
  switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_PageDown: ShowFrameAt(current + 1); return;
    case Qt::Key_Left:
    case Qt::Key_PageUp: ShowFrameAt(current - 1); return;
    case Qt::Key_Home: ShowFrameAt(0); return;
    case Qt::Key_End: ShowFrameAt(last); return;
    case Qt::Key_Space: ToggleCine(); return;
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomIn(); return;
    case Qt::Key_Minus: ZoomOut(); return;
    case Qt::Key_F: ZoomToFit(); return;
    case Qt::Key_1: ZoomOneToOne(); return;
    case Qt::Key_R: (void)m_viewer.ResetWindow(); return;
    case Qt::Key_W: (void)AskWindow(); return;
    default: break;
  }
  QAbstractScrollArea::keyPressEvent(event);
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
  const bool grey = m_viewer.HasWindow();
  QMenu* presets = menu.addMenu(QStringLiteral("CT Window"));
  presets->setEnabled(grey && m_viewer.Settings().isCt);
  for (const WindowPreset& preset : kCtPresets) {
    const GreyWindow window = preset.window;
    presets->addAction(QStringLiteral("%1 (C %2, W %3)").arg(preset.name).arg(window.center).arg(window.width), this,
                       [this, window] { (void)m_viewer.SetWindow(window); });
  }
  menu.addAction(QStringLiteral("Window...\tW"), this, [this] { (void)AskWindow(); })->setEnabled(grey);
  menu.addAction(QStringLiteral("Reset Window\tR"), this, [this] { (void)m_viewer.ResetWindow(); })->setEnabled(grey);
  menu.addSeparator();
  menu.addAction(QStringLiteral("Zoom to Fit\tF"), this, &CPixelDataView::ZoomToFit);
  menu.addAction(QStringLiteral("Zoom 1:1\t1"), this, &CPixelDataView::ZoomOneToOne);
  menu.addAction(QStringLiteral("Zoom In\t+"), this, &CPixelDataView::ZoomIn);
  menu.addAction(QStringLiteral("Zoom Out\t-"), this, &CPixelDataView::ZoomOut);
  menu.addSeparator();
  menu.addAction(IsPlaying() ? QStringLiteral("Pause\tSpace") : QStringLiteral("Play Frames\tSpace"), this,
                 &CPixelDataView::ToggleCine)
      ->setEnabled(m_viewer.FrameCount() > 1);
  menu.addSeparator();
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
