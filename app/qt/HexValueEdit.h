/// \file
/// CHexValueEdit — the element dialog's value field. For a binary value it
/// shows, left of each line, the offset of the line's first byte, counted
/// over the hexadecimal digits typed so far (lines need not hold sixteen
/// bytes once edited); for text it is a plain text field.
#pragma once

#include <QPlainTextEdit>

#include <vector>

namespace quillon {

class CHexValueEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit CHexValueEdit(QWidget* parent = nullptr);

  /// Shows the offsets (binary values) or not (text).
  void SetShowOffsets(bool show);
  bool ShowsOffsets() const { return m_showOffsets; }
  /// The offset in bytes of the first byte on line `block`.
  int OffsetOfLine(int block) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class COffsetArea;
  void Recount();
  void UpdateMargin();
  void PaintOffsets(QPaintEvent* event);
  int OffsetWidth() const;

  QWidget* m_offsetArea;
  bool m_showOffsets = false;
  /// Hexadecimal digits before each line.
  std::vector<int> m_digitsBefore;
};

}  // namespace quillon
