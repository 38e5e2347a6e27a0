#include "app/qt/DicomDumpView.h"

#include "app/qt/DumpRowModel.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>

namespace quillon {

namespace {
// Wide enough for a whole row with a short value; longer rows scroll.
constexpr int kColumnCharacters = 150;
}  // namespace

CDicomDumpView::CDicomDumpView(CDicomImageDoc& document, QWidget* parent)
    : QTreeView(parent), m_document(document), m_model(new CDumpRowModel(document, this)) {
  setObjectName("dumpView");
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  setFont(font);
  header()->setFont(font);
  setModel(m_model);
  // Without uniform heights Qt would measure every row: seconds on a large
  // file. With them, only the rows on screen are ever formatted.
  setUniformRowHeights(true);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setTextElideMode(Qt::ElideNone);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragEnabled(false);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  FitColumn();

  connect(this, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) emit editRequested(index.row());
  });
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { emit stateChanged(); });
  m_document.AddObserver(this);
}

CDicomDumpView::~CDicomDumpView() { m_document.RemoveObserver(this); }

int CDicomDumpView::SelectedRow() const {
  const QModelIndexList selected = selectionModel()->selectedRows();
  return selected.isEmpty() ? -1 : selected.front().row();
}

void CDicomDumpView::SelectRow(int row) {
  if (row < 0 || row >= m_model->rowCount()) return;
  const QModelIndex index = m_model->index(row);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index);
}

void CDicomDumpView::OnRowsRebuilt(const CDicomImageDoc& document, const void* focus) {
  const int previous = SelectedRow() >= 0 ? SelectedRow() : currentIndex().row();
  // The old indices point at rows that no longer exist: reset before
  // anything (a dialog's event loop) can ask the view to paint them.
  m_model->Reset();
  int row = document.Rows().RowOf(focus);
  if (row < 0) row = std::min(previous, m_model->rowCount() - 1);
  if (row >= 0) SelectRow(row);
  emit stateChanged();
}

void CDicomDumpView::OnStateChanged(const CDicomImageDoc&) { emit stateChanged(); }

void CDicomDumpView::keyPressEvent(QKeyEvent* event) {
  const int row = SelectedRow();
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (row >= 0) emit editRequested(row);
        return;
      case Qt::Key_Delete:
        if (row >= 0) emit removeRequested(row);
        return;
      case Qt::Key_Insert: emit insertRequested(row); return;
      default: break;
    }
  }
  QTreeView::keyPressEvent(event);
}

void CDicomDumpView::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  FitColumn();
}

void CDicomDumpView::FitColumn() {
  const int text = fontMetrics().horizontalAdvance(QLatin1Char('0')) * kColumnCharacters;
  header()->resizeSection(0, std::max(viewport()->width(), text));
}

}  // namespace quillon
