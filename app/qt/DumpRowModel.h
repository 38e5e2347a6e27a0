/// \file
/// CDumpRowModel — the rows of a document's element list as a Qt list
/// model. It keeps no text: each row's text is made when the view asks for
/// it, so only the rows on screen cost anything, however large the file.
/// Its rows are the ones the outline shows (collapsed sequences and items,
/// a filter): model row numbers map to the document's through Outline().
/// A collapsed row has a shaded background.
#pragma once

#include "app/RowOutline.h"

#include <QAbstractListModel>

namespace quillon {

class CDicomImageDoc;

class CDumpRowModel : public QAbstractListModel {
  Q_OBJECT

 public:
  /// The header of the list: where the columns of each row begin.
  static const QString kHeader;
  /// Rows longer than this (a long comment, a long list of values) are cut
  /// with an ellipsis: the full value is in the edit dialog.
  static constexpr qsizetype kMaxShownLength = 2000;
  /// What the fold marker of a row shows: 0 none (no sequence or item, or
  /// a filter is on), 1 an open sequence or item, 2 a collapsed one.
  static constexpr int kFoldRole = Qt::UserRole + 1;

  explicit CDumpRowModel(const CDicomImageDoc& document, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  /// The rows were rebuilt: every index is new.
  void Reset();
  /// The text of document row `row`, as shown.
  QString RowText(int row) const;

  const CRowOutline& Outline() const { return m_outline; }
  /// Changes what is shown (collapse, expand, filter) through `change`,
  /// which returns whether anything changed; the view's indices are reset
  /// when it did.
  template <typename Change>
  bool ChangeOutline(Change&& change) {
    beginResetModel();
    const bool changed = change(m_outline);
    endResetModel();
    return changed;
  }

 private:
  const CDicomImageDoc& m_document;
  CRowOutline m_outline;
};

}  // namespace quillon
