/// \file
/// CDicomDumpView — a document's element list on screen: one row per
/// element, item and end marker, in a fixed-pitch font under the column
/// header, as the text dump prints them. A list view with uniform rows (a
/// tree view would keep a record per row: 10 MB on a file of 250,000 rows)
/// and the header in its top margin, scrolled sideways with the rows. Double-click or Return edits the
/// row, Delete removes it, Insert inserts a new element. After each change
/// the list shows the changed element's row, or else the row that was
/// selected.
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
  /// Selects `row` and scrolls it into view.
  void SelectRow(int row);

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

 private:
  /// The width of a row: the whole list scrolls sideways as one column.
  int RowWidth() const;

  CDicomImageDoc& m_document;
  CDumpRowModel* m_model;
  QHeaderView* m_header;
};

}  // namespace quillon
