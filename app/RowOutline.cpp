#include "app/RowOutline.h"

#include "app/DumpRowList.h"
#include "dicom/DumpText.h"

#include <algorithm>

namespace quillon {

namespace {

/// Matches rows against a text without making their display text: the
/// row's line is formatted into one reused buffer and searched in its
/// stored bytes, lower-cased in place. For a text of plain ASCII without
/// control characters this finds exactly what the display text would
/// (decoding a character set and showing control characters change only
/// other bytes) at a fraction of the cost; other texts and tags go through
/// RowMatches.
class CFastRowMatcher {
 public:
  CFastRowMatcher(const DumpRowList& rows, const FindQuery& query) : m_rows(rows), m_query(query) {
    m_fast = !query.tag.has_value();
    for (const char c : query.text) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte >= 0x7F) m_fast = false;
    }
  }

  bool Matches(size_t index) {
    if (!m_fast) return RowMatches(m_rows, index, m_query);
    m_line.clear();
    const DumpRow& row = m_rows.At(index);
    switch (row.kind) {
      case DumpRowKind::Element:
      case DumpRowKind::Sequence:
      case DumpRowKind::PixelData: AppendElementLine(m_line, *row.element, row.level); break;
      case DumpRowKind::Item: AppendItemLine(m_line, *row.item, row.level); break;
      case DumpRowKind::EndMarker:
        if (row.endsSequence) {
          AppendEndSequenceLine(m_line, row.level);
        } else {
          AppendEndItemLine(m_line, row.level);
        }
        break;
    }
    for (char& c : m_line) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return m_line.find(m_query.text) != std::string::npos;
  }

 private:
  const DumpRowList& m_rows;
  const FindQuery& m_query;
  bool m_fast = false;
  std::string m_line;
};

}  // namespace

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
    CFastRowMatcher matcher(*m_rows, m_query);
    for (int32_t row = 0; row < count; ++row) {
      if (!matcher.Matches(static_cast<size_t>(row))) continue;
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
