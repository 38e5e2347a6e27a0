/// \file
/// CPixelDataView — a document's pixel data on screen, one frame at a
/// time: one screen pixel per image pixel at first, zoomed (fit, 1:1,
/// Ctrl+wheel, + and -) and panned with the scroll bars or the middle
/// button, black around the image. Dragging with the left button changes
/// the grey window; the context menu holds the CT presets, a typed window,
/// the reset, the zoom, cine and saving or copying the frame. The keys step
/// through the frames (Left/Right, PageUp/PageDown, Home/End, the wheel)
/// and Space plays them. Only the visible part of the frame is drawn,
/// scaled, so zooming and panning a large image stay quick.
#pragma once

#include "app/PixelViewer.h"
#include "app/ViewTransform.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QTimer>

namespace quillon {

class CDicomImageDoc;

class CPixelDataView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  /// Frames a second of cine.
  static constexpr int kCineFramesPerSecond = 10;

  explicit CPixelDataView(CDicomImageDoc& document, QWidget* parent = nullptr);

  CPixelViewer& Viewer() { return m_viewer; }
  const CViewTransform& Transform() const { return m_transform; }
  const QImage& Image() const { return m_image; }
  /// Sets up the frames and shows the first; false with the message to show.
  bool Open(std::string& error);
  /// Next and Previous Frame: false with the message to show.
  bool Next(std::string& error);
  bool Prev(std::string& error);
  /// Saves the frame shown as a PNG file; false with the reason.
  bool SaveFrame(const QString& path, QString& error) const;
  /// Puts the frame shown on the clipboard.
  void CopyFrame() const;

  void ZoomToFit();
  void ZoomOneToOne();
  void ZoomIn();
  void ZoomOut();
  /// Starts or stops cine (frames in a loop).
  void ToggleCine();
  bool IsPlaying() const { return m_cine.isActive(); }
  /// Asks for a window as numbers; true when one was set.
  bool AskWindow();
  /// What the cursor points at ("Row 1  Col 2  Stored 3  Value 3 HU").
  const QString& CursorText() const { return m_cursorText; }

 signals:
  /// The frame shown, the window or the zoom changed.
  void frameChanged();
  /// The text under the cursor changed.
  void cursorMoved(const QString& text);
  /// A frame could not be shown: the reason.
  void frameFailed(const QString& reason);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void TakeFrame();
  void UpdateScrollBars();
  void ApplyDrag();
  void ShowFrameAt(int32_t index);
  void UpdateCursorText(const QPoint& at);
  void AfterZoom();

  CPixelViewer m_viewer;
  CViewTransform m_transform;
  QImage m_image;
  QTimer m_cine;
  QString m_cursorText;
  QPoint m_dragTo;
  QPoint m_panFrom;
  bool m_dragPending = false;
  bool m_dragButton = false;
  bool m_updatingScrollBars = false;
};

}  // namespace quillon
