/// \file
/// CDicomDumpView — a document's element list on screen: one row per
/// element, item and end marker, in a fixed-pitch font under the column
/// header, as the text dump prints them. A list view with uniform rows (a
/// tree view would keep a record per row: 10 MB on a file of 250,000 rows)
/// and the header in its top margin, scrolled sideways with the rows. Double-click or Return edits the
/// row, Delete removes it, Insert inserts a new element. After each change
/// the list shows the changed element's row, or else the row that was
/// selected. Left collapses a sequence or item (or goes to the one holding
/// the row), Right expands it; rows are numbered as in the document
/// whatever is collapsed or filtered.
#pragma once

#include "app/DicomImageDoc.h"

#include <QListView>

class QHeaderView;

namespace quillon {

class CDumpRowModel;

class CDicomDumpView : public QListView, public IDocumentObserver {
  Q_OBJECT

 public:
  explicit CDicomDumpView(CDicomImageDoc& document, QWidget* parent = nullptr);
  ~CDicomDumpView() override;

  CDicomImageDoc& Document() const { return m_document; }
  CDumpRowModel& Model() const { return *m_model; }
  /// The selected row, or -1.
  int SelectedRow() const;
  /// Selects document row `row` and scrolls it into view, expanding the
  /// sequences and items that hold it; nothing when the filter hides it.
  void SelectRow(int row);
  /// Collapses or expands the sequence or item of `row`.
  bool SetCollapsed(int row, bool collapsed);
  void ExpandAll();
  /// Shows only the rows matching `text` (a text or a tag) and their
  /// parents; empty shows all.
  void SetFilter(const QString& text);
  const QString& Filter() const { return m_filter; }

  void OnRowsRebuilt(const CDicomImageDoc& document, const RowFocus& focus) override;
  void OnStateChanged(const CDicomImageDoc& document) override;

 signals:
  void editRequested(int row);
  void removeRequested(int row);
  void insertRequested(int row);
  /// The selection or the document changed: commands may change state.
  void stateChanged();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void updateGeometries() override;
  void scrollContentsBy(int dx, int dy) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  /// The width of a row: the whole list scrolls sideways as one column.
  int RowWidth() const;

  CDicomImageDoc& m_document;
  CDumpRowModel* m_model;
  QHeaderView* m_header;
  QString m_filter;
  /// The width left of the rows' text for the fold markers.
  int m_gutter = 0;
};

}  // namespace quillon
