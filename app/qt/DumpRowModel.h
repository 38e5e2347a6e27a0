/// \file
/// CDumpRowModel — the rows of a document's element list as a Qt list
/// model. It keeps no text: each row's text is made when the view asks for
/// it, so only the rows on screen cost anything, however large the file.
#pragma once

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

  explicit CDumpRowModel(const CDicomImageDoc& document, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  /// The rows were rebuilt: every index is new.
  void Reset();
  /// The text of row `row`, as shown.
  QString RowText(int row) const;

 private:
  const CDicomImageDoc& m_document;
};

}  // namespace quillon
