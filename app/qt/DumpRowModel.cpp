#include "app/qt/DumpRowModel.h"

#include "app/DicomImageDoc.h"
#include "app/DumpRowList.h"
#include "app/ValueCheck.h"

#include <QColor>

namespace quillon {

const QString CDumpRowModel::kHeader =
    QStringLiteral(" Tag           Length      Description                            VR      Value");

CDumpRowModel::CDumpRowModel(const CDicomImageDoc& document, QObject* parent)
    : QAbstractListModel(parent), m_document(document) {
  m_outline.Rebuild(m_document.Rows());
}

int CDumpRowModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_outline.VisibleCount();
}

QString CDumpRowModel::RowText(int row) const {
  if (row < 0 || static_cast<size_t>(row) >= m_document.Rows().Size()) return {};
  const std::string text = m_document.Rows().DisplayText(static_cast<size_t>(row));
  QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (shown.size() > kMaxShownLength) shown = shown.left(kMaxShownLength) + QChar(0x2026);
  return shown;
}

QVariant CDumpRowModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const int row = m_outline.RowAt(index.row());
  if (role == Qt::DisplayRole) return RowText(row);
  if (role == kFoldRole) {
    if (m_outline.IsFiltering() || !m_outline.IsCollapsible(row)) return 0;
    return m_outline.IsCollapsed(row) ? 2 : 1;
  }
  // A value that breaks its VR's rules shows in red, with the reason.
  if (role == Qt::ForegroundRole || role == Qt::ToolTipRole) {
    const CDicomElement* element = m_document.Rows().ElementAt(static_cast<size_t>(row));
    const std::vector<std::string> problems = element != nullptr ? CheckElement(*element) : std::vector<std::string>{};
    if (!problems.empty()) {
      if (role == Qt::ForegroundRole) return QColor(0xB0, 0x00, 0x20);
      return QString::fromStdString(problems.front());
    }
  }
  if (m_outline.IsCollapsed(row)) {
    if (role == Qt::BackgroundRole) return QColor(0xE4, 0xE8, 0xF0);
    if (role == Qt::ToolTipRole) return QStringLiteral("Collapsed: Right arrow expands");
  }
  return {};
}

QVariant CDumpRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole) return kHeader;
  return {};
}

void CDumpRowModel::Reset() {
  beginResetModel();
  m_outline.Rebuild(m_document.Rows());
  endResetModel();
}

}  // namespace quillon
