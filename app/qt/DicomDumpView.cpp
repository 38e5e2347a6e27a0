#include "app/qt/DicomDumpView.h"

#include "app/qt/DumpRowModel.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace quillon {

namespace {

// Wide enough for a whole row with a short value; longer rows scroll.
constexpr int kRowCharacters = 150;

/// Every row is one line of the same width: the list never asks a row for
/// its size, which is what keeps a large file cheap. A narrow gutter left
/// of the text holds the fold marker of sequence and item rows (the row's
/// own text stays as the dump prints it).
class CRowDelegate : public QStyledItemDelegate {
 public:
  explicit CRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    return QSize(m_width, option.fontMetrics.height() + 2);
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem text(option);
    text.rect.adjust(m_gutter, 0, 0, 0);
    QStyledItemDelegate::paint(painter, text, index);
    const QRect gutter(option.rect.left(), option.rect.top(), m_gutter, option.rect.height());
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    if (selected) painter->fillRect(gutter, option.palette.highlight());
    const int fold = index.data(CDumpRowModel::kFoldRole).toInt();
    if (fold == 0) return;
    painter->save();
    painter->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
    painter->drawText(gutter, Qt::AlignCenter, fold == 2 ? QStringLiteral("\u25B8") : QStringLiteral("\u25BE"));
    painter->restore();
  }
  void SetWidth(int width) { m_width = width; }
  void SetGutter(int gutter) { m_gutter = gutter; }

 private:
  int m_width = 0;
  int m_gutter = 0;
};

}  // namespace

CDicomDumpView::CDicomDumpView(CDicomImageDoc& document, QWidget* parent)
    : QListView(parent),
      m_document(document),
      m_model(new CDumpRowModel(document, this)),
      m_header(new QHeaderView(Qt::Horizontal, this)) {
  setObjectName("dumpView");
  const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  setFont(font);
  m_gutter = QFontMetrics(font).horizontalAdvance(QLatin1Char('0')) + 6;
  setModel(m_model);
  auto* delegate = new CRowDelegate(this);
  delegate->SetGutter(m_gutter);
  setItemDelegate(delegate);
  // Without uniform sizes Qt would measure every row: seconds on a large
  // file. With them, only the rows on screen are ever formatted.
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setTextElideMode(Qt::ElideNone);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragEnabled(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

  m_header->setObjectName("dumpHeader");
  m_header->setFont(font);
  m_header->setModel(m_model);
  m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  m_header->setStretchLastSection(false);
  m_header->setSectionsClickable(false);
  m_header->setSectionResizeMode(QHeaderView::Fixed);

  connect(this, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) emit editRequested(m_model->Outline().RowAt(index.row()));
  });
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { emit stateChanged(); });
  m_document.AddObserver(this);
  updateGeometries();
}

CDicomDumpView::~CDicomDumpView() { m_document.RemoveObserver(this); }

int CDicomDumpView::RowWidth() const {
  return std::max(viewport()->width(), fontMetrics().horizontalAdvance(QLatin1Char('0')) * kRowCharacters +
                                           m_gutter);
}

int CDicomDumpView::SelectedRow() const {
  const QModelIndexList selected = selectionModel()->selectedRows();
  return selected.isEmpty() ? -1 : m_model->Outline().RowAt(selected.front().row());
}

void CDicomDumpView::SelectRow(int row) {
  if (!m_document.Rows().IsValid(row)) return;
  if (m_model->Outline().ShownIndexOf(row) < 0) {
    (void)m_model->ChangeOutline([row](CRowOutline& outline) {
      outline.Reveal(row);
      return true;
    });
  }
  const int shown = m_model->Outline().ShownIndexOf(row);
  if (shown < 0) return;
  const QModelIndex index = m_model->index(shown);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index);
}

bool CDicomDumpView::SetCollapsed(int row, bool collapsed) {
  const int selected = SelectedRow();
  const bool changed =
      m_model->ChangeOutline([&](CRowOutline& outline) { return outline.SetCollapsed(row, collapsed); });
  SelectRow(selected);
  return changed;
}

void CDicomDumpView::ExpandAll() {
  const int selected = SelectedRow();
  (void)m_model->ChangeOutline([](CRowOutline& outline) {
    outline.ExpandAll();
    return true;
  });
  SelectRow(selected);
}

void CDicomDumpView::SetFilter(const QString& text) {
  if (text == m_filter) return;
  m_filter = text;
  const int selected = SelectedRow();
  (void)m_model->ChangeOutline([&](CRowOutline& outline) {
    outline.SetFilter(FindQuery::Parse(text.toStdString()));
    return true;
  });
  SelectRow(selected);
  emit stateChanged();
}

void CDicomDumpView::contextMenuEvent(QContextMenuEvent* event) {
  const int row = m_model->Outline().RowAt(indexAt(event->pos()).row());
  const CRowOutline& outline = m_model->Outline();
  QMenu menu(this);
  menu.addAction(QStringLiteral("Collapse\tLeft"), this, [this, row] { (void)SetCollapsed(row, true); })
      ->setEnabled(outline.IsCollapsible(row) && !outline.IsCollapsed(row) && !outline.IsFiltering());
  menu.addAction(QStringLiteral("Expand\tRight"), this, [this, row] { (void)SetCollapsed(row, false); })
      ->setEnabled(outline.IsCollapsed(row) && !outline.IsFiltering());
  menu.addAction(QStringLiteral("Expand All"), this, &CDicomDumpView::ExpandAll);
  menu.exec(event->globalPos());
}

void CDicomDumpView::OnRowsRebuilt(const CDicomImageDoc& document, const RowFocus& focus) {
  const int previous = SelectedRow() >= 0 ? SelectedRow() : currentIndex().row();
  const int scrolledTo = horizontalScrollBar()->value();
  // The old indices point at rows that no longer exist: reset before
  // anything (a dialog's event loop) can ask the view to paint them.
  m_model->Reset();
  int row = document.Rows().RowOf(focus);
  if (row < 0) row = std::min(previous, static_cast<int>(document.Rows().Size()) - 1);
  if (row >= 0) SelectRow(row);
  horizontalScrollBar()->setValue(scrolledTo);
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
      case Qt::Key_Left:
        // On an open sequence or item: close it; else go to the one
        // holding the row, as a tree does.
        if (!m_model->Outline().IsFiltering() && !SetCollapsed(row, true)) SelectRow(m_model->Outline().ParentOf(row));
        return;
      case Qt::Key_Right:
        if (!m_model->Outline().IsFiltering()) (void)SetCollapsed(row, false);
        return;
      default: break;
    }
  }
  QListView::keyPressEvent(event);
}

void CDicomDumpView::resizeEvent(QResizeEvent* event) {
  QListView::resizeEvent(event);
  updateGeometries();
}

void CDicomDumpView::updateGeometries() {
  // The header sits in the list's top margin, over the rows.
  const int headerHeight = m_header->sizeHint().height();
  setViewportMargins(0, headerHeight, 0, 0);
  const QRect area = viewport()->geometry();
  m_header->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);
  auto* delegate = static_cast<CRowDelegate*>(itemDelegate());
  const int width = RowWidth();
  delegate->SetWidth(width);
  m_header->resizeSection(0, width);
  QListView::updateGeometries();
  m_header->setOffset(horizontalScrollBar()->value() - m_gutter);
}

void CDicomDumpView::scrollContentsBy(int dx, int dy) {
  QListView::scrollContentsBy(dx, dy);
  m_header->setOffset(horizontalScrollBar()->value() - m_gutter);
}

void CDicomDumpView::mousePressEvent(QMouseEvent* event) {
  // A click on a fold marker opens or closes its sequence or item.
  const QModelIndex index = indexAt(event->position().toPoint());
  if (index.isValid() && event->button() == Qt::LeftButton &&
      event->position().x() + horizontalOffset() < m_gutter && index.data(CDumpRowModel::kFoldRole).toInt() != 0) {
    const int row = m_model->Outline().RowAt(index.row());
    (void)SetCollapsed(row, !m_model->Outline().IsCollapsed(row));
    return;
  }
  QListView::mousePressEvent(event);
}

}  // namespace quillon
