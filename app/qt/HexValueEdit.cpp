#include "app/qt/HexValueEdit.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTextBlock>

#include <cctype>

namespace quillon {

/// The strip left of the text where the offsets are drawn.
class COffsetArea : public QWidget {
 public:
  explicit COffsetArea(CHexValueEdit* edit) : QWidget(edit), m_edit(edit) {}
  QSize sizeHint() const override { return {m_edit->OffsetWidth(), 0}; }

 protected:
  void paintEvent(QPaintEvent* event) override { m_edit->PaintOffsets(event); }

 private:
  CHexValueEdit* m_edit;
};

CHexValueEdit::CHexValueEdit(QWidget* parent) : QPlainTextEdit(parent), m_offsetArea(new COffsetArea(this)) {
  m_offsetArea->hide();
  connect(this, &QPlainTextEdit::textChanged, this, &CHexValueEdit::Recount);
  connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
    if (!m_showOffsets) return;
    if (dy != 0) {
      m_offsetArea->scroll(0, dy);
    } else {
      m_offsetArea->update(0, rect.y(), m_offsetArea->width(), rect.height());
    }
  });
}

void CHexValueEdit::SetShowOffsets(bool show) {
  if (show == m_showOffsets) return;
  m_showOffsets = show;
  m_offsetArea->setVisible(show);
  Recount();
  UpdateMargin();
}

int CHexValueEdit::OffsetOfLine(int block) const {
  const auto line = static_cast<size_t>(block);
  return block >= 0 && line < m_digitsBefore.size() ? m_digitsBefore[line] / 2 : 0;
}

int CHexValueEdit::OffsetWidth() const {
  return m_showOffsets ? fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 10 : 0;
}

void CHexValueEdit::Recount() {
  m_digitsBefore.clear();
  if (!m_showOffsets) return;
  int digits = 0;
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    m_digitsBefore.push_back(digits);
    for (const QChar c : block.text()) digits += c.unicode() < 128 && std::isxdigit(c.toLatin1()) != 0;
  }
  m_offsetArea->update();
}

void CHexValueEdit::UpdateMargin() {
  setViewportMargins(OffsetWidth(), 0, 0, 0);
  const QRect area = contentsRect();
  m_offsetArea->setGeometry(area.left(), area.top(), OffsetWidth(), area.height());
}

void CHexValueEdit::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  UpdateMargin();
}

void CHexValueEdit::PaintOffsets(QPaintEvent* event) {
  QPainter painter(m_offsetArea);
  painter.fillRect(event->rect(), palette().color(QPalette::AlternateBase));
  painter.setPen(palette().color(QPalette::PlaceholderText));
  painter.setFont(font());
  QTextBlock block = firstVisibleBlock();
  int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
  while (block.isValid() && top <= event->rect().bottom()) {
    const int height = qRound(blockBoundingRect(block).height());
    if (block.isVisible() && top + height >= event->rect().top()) {
      painter.drawText(0, top, m_offsetArea->width() - 5, fontMetrics().height(), Qt::AlignRight,
                       QStringLiteral("%1").arg(OffsetOfLine(block.blockNumber()), 4, 16, QLatin1Char('0')));
    }
    block = block.next();
    top += height;
  }
}

}  // namespace quillon
