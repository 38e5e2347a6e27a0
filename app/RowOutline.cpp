#include "app/RowOutline.h"

#include "app/DumpRowList.h"

#include <algorithm>

namespace quillon {

void CRowOutline::Rebuild(const DumpRowList& rows) {
  m_rows = &rows;
  const auto count = static_cast<int32_t>(rows.Size());
  m_close.resize(static_cast<size_t>(count));
  m_parent.resize(static_cast<size_t>(count));
  // Each sequence and item row is closed by the next end marker at its
  // level; a list cut short (never made by the row list) closes at its end.
  std::vector<int32_t> open;
  for (int32_t row = 0; row < count; ++row) {
    m_close[static_cast<size_t>(row)] = row;
    const DumpRowKind kind = rows.At(static_cast<size_t>(row)).kind;
    if (kind == DumpRowKind::EndMarker && !open.empty()) {
      m_close[static_cast<size_t>(open.back())] = row;
      open.pop_back();
    }
    m_parent[static_cast<size_t>(row)] = open.empty() ? -1 : open.back();
    if (kind == DumpRowKind::Sequence || kind == DumpRowKind::Item) open.push_back(row);
  }
  for (const int32_t row : open) m_close[static_cast<size_t>(row)] = count - 1;
  // Forget what is no longer in the data set.
  std::unordered_set<const void*> present;
  for (int32_t row = 0; row < count; ++row) {
    if (IsCollapsible(row) && m_collapsed.count(KeyOf(row)) != 0) present.insert(KeyOf(row));
  }
  m_collapsed.swap(present);
  SetFilter(m_query);
}

const void* CRowOutline::KeyOf(int row) const {
  const DumpRow& shown = m_rows->At(static_cast<size_t>(row));
  return shown.kind == DumpRowKind::Item ? static_cast<const void*>(shown.item)
                                         : static_cast<const void*>(shown.element);
}

bool CRowOutline::IsCollapsible(int row) const {
  if (m_rows == nullptr || !m_rows->IsValid(row)) return false;
  const DumpRowKind kind = m_rows->At(static_cast<size_t>(row)).kind;
  return kind == DumpRowKind::Sequence || kind == DumpRowKind::Item;
}

bool CRowOutline::IsCollapsed(int row) const { return IsCollapsible(row) && m_collapsed.count(KeyOf(row)) != 0; }

bool CRowOutline::SetCollapsed(int row, bool collapsed) {
  if (!IsCollapsible(row) || IsCollapsed(row) == collapsed) return false;
  if (collapsed) {
    m_collapsed.insert(KeyOf(row));
  } else {
    m_collapsed.erase(KeyOf(row));
  }
  Recompute();
  return true;
}

void CRowOutline::ExpandAll() {
  m_collapsed.clear();
  Recompute();
}

int CRowOutline::ParentOf(int row) const {
  return m_rows != nullptr && m_rows->IsValid(row) ? m_parent[static_cast<size_t>(row)] : -1;
}

void CRowOutline::Reveal(int row) {
  bool changed = false;
  for (int parent = ParentOf(row); parent >= 0; parent = ParentOf(parent)) {
    changed |= m_collapsed.erase(KeyOf(parent)) != 0;
  }
  if (changed) Recompute();
}

void CRowOutline::SetFilter(const FindQuery& query) {
  m_query = query;
  m_filtering = query.tag.has_value() || !query.text.empty();
  m_matched.clear();
  if (m_filtering && m_rows != nullptr) {
    const auto count = static_cast<int32_t>(m_rows->Size());
    m_matched.assign(static_cast<size_t>(count), 0);
    for (int32_t row = 0; row < count; ++row) {
      if (!RowMatches(*m_rows, static_cast<size_t>(row), query)) continue;
      m_matched[static_cast<size_t>(row)] = 1;
      // Its parents, up to the first already shown (whose own are too).
      for (int parent = m_parent[static_cast<size_t>(row)]; parent >= 0 && m_matched[static_cast<size_t>(parent)] == 0;
           parent = m_parent[static_cast<size_t>(parent)]) {
        m_matched[static_cast<size_t>(parent)] = 1;
      }
    }
  }
  Recompute();
}

void CRowOutline::Recompute() {
  m_visible.clear();
  if (m_rows == nullptr) return;
  const auto count = static_cast<int32_t>(m_rows->Size());
  for (int32_t row = 0; row < count; ++row) {
    if (m_filtering) {
      // A filter shows every match in its place: nothing is collapsed.
      if (m_matched[static_cast<size_t>(row)] != 0) m_visible.push_back(row);
      continue;
    }
    m_visible.push_back(row);
    if (!m_collapsed.empty() && IsCollapsed(row)) row = m_close[static_cast<size_t>(row)];
  }
}

int CRowOutline::RowAt(int shownIndex) const {
  return shownIndex >= 0 && shownIndex < VisibleCount() ? m_visible[static_cast<size_t>(shownIndex)] : -1;
}

int CRowOutline::ShownIndexOf(int row) const {
  const auto found = std::lower_bound(m_visible.begin(), m_visible.end(), row);
  return found != m_visible.end() && *found == row ? static_cast<int>(found - m_visible.begin()) : -1;
}

}  // namespace quillon
