/// \file
/// CPixelDataView — a document's pixel data on screen, one frame at a time,
/// one screen pixel per image pixel, black around the image when the window
/// is larger. The frame is drawn once into an image and only copied when
/// the window paints. Dragging with the left button changes the grey
/// window; the context menu saves the frame as PNG or copies it.
#pragma once

#include "app/PixelViewer.h"

#include <QAbstractScrollArea>
#include <QImage>

namespace quillon {

class CDicomImageDoc;

class CPixelDataView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit CPixelDataView(CDicomImageDoc& document, QWidget* parent = nullptr);

  CPixelViewer& Viewer() { return m_viewer; }
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

 signals:
  /// The frame shown or the window changed.
  void frameChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void TakeFrame();
  void UpdateScrollBars();
  void ApplyDrag();

  CPixelViewer m_viewer;
  QImage m_image;
  QPoint m_dragTo;
  bool m_dragPending = false;
  bool m_dragButton = false;
};

}  // namespace quillon
