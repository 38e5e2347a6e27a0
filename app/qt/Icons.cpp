#include "app/qt/Icons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

namespace quillon {

namespace {

constexpr int kSize = 32;  // drawn large, scaled down by the toolbar

/// Paints one picture on a transparent square of kSize pixels.
template <typename Draw>
QIcon Drawn(Draw draw) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  draw(painter);
  painter.end();
  return QIcon(pixmap);
}

const QColor kInk(0x30, 0x3A, 0x48);
const QColor kPaper(0xFA, 0xFA, 0xF7);
const QColor kAccent(0x2B, 0x6C, 0xB0);

void Page(QPainter& p, QRectF r) {
  p.setPen(QPen(kInk, 2));
  p.setBrush(kPaper);
  QPainterPath path;
  path.moveTo(r.left(), r.top());
  path.lineTo(r.right() - 6, r.top());
  path.lineTo(r.right(), r.top() + 6);
  path.lineTo(r.right(), r.bottom());
  path.lineTo(r.left(), r.bottom());
  path.closeSubpath();
  p.drawPath(path);
}

}  // namespace

QIcon ApplicationIcon() {
  return Drawn([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(1, 1, kSize - 2, kSize - 2), 6, 6);
    // A quill over a ruled page: the editor of what a file holds.
    p.setPen(QPen(QColor(255, 255, 255, 140), 1.5));
    for (int y = 10; y <= 24; y += 5) p.drawLine(QPointF(6, y), QPointF(19, y));
    QPainterPath quill;
    quill.moveTo(26, 4);
    quill.cubicTo(16, 8, 12, 18, 11, 27);
    quill.cubicTo(15, 20, 22, 15, 26, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(quill);
  });
}

QIcon CommandIcon(CommandId id) {
  QStyle* style = QApplication::style();
  switch (id) {
    case CommandId::FileNew: return style->standardIcon(QStyle::SP_FileIcon);
    case CommandId::FileOpen: return style->standardIcon(QStyle::SP_DialogOpenButton);
    case CommandId::FileSave: return style->standardIcon(QStyle::SP_DialogSaveButton);
    case CommandId::PrevFrame: return style->standardIcon(QStyle::SP_ArrowBack);
    case CommandId::NextFrame: return style->standardIcon(QStyle::SP_ArrowForward);
    case CommandId::AppAbout: return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    case CommandId::EditCopy:
      return Drawn([](QPainter& p) {
        Page(p, QRectF(4, 3, 16, 20));
        Page(p, QRectF(12, 9, 16, 20));
      });
    case CommandId::EditCut:
      return Drawn([](QPainter& p) {
        p.setPen(QPen(kInk, 2.5));
        p.drawLine(QPointF(9, 4), QPointF(21, 21));
        p.drawLine(QPointF(23, 4), QPointF(11, 21));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(9, 25), 4, 4);
        p.drawEllipse(QPointF(23, 25), 4, 4);
      });
    case CommandId::EditPaste:
      return Drawn([](QPainter& p) {
        p.setPen(QPen(kInk, 2));
        p.setBrush(QColor(0xC8, 0x9B, 0x5A));
        p.drawRoundedRect(QRectF(4, 5, 20, 24), 2, 2);
        p.setBrush(kInk);
        p.drawRect(QRectF(10, 2, 8, 5));
        Page(p, QRectF(13, 12, 15, 18));
      });
    case CommandId::FilePrint:
      return Drawn([](QPainter& p) {
        Page(p, QRectF(9, 3, 14, 10));
        p.setPen(QPen(kInk, 2));
        p.setBrush(QColor(0xB8, 0xC0, 0xCC));
        p.drawRoundedRect(QRectF(3, 12, 26, 12), 2, 2);
        p.setBrush(kPaper);
        p.drawRect(QRectF(9, 20, 14, 9));
      });
    default: return {};
  }
}

}  // namespace quillon
