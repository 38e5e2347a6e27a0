/// \file
/// CRowOutline — which rows of a document's element list are on screen:
/// all of them at first; fewer when the user collapses a sequence or an
/// item (its rows down to its end marker hide behind its own row), or
/// types a filter (only the rows that match a text or a tag, with the
/// sequences and items that hold them, so each match is seen in its
/// place). The window layer lists the shown rows and maps its row numbers
/// back to the document's through this class.
///
/// A collapsed sequence or item stays collapsed when the rows are rebuilt
/// after an edit, as long as it is still in the data set.
#pragma once

#include "app/RowFinder.h"

#include <cstdint>
#include <unordered_set>
#include <vector>

namespace quillon {

class DumpRowList;

class CRowOutline {
 public:
  /// Follows `rows` after they were (re)built. `rows` must outlive the
  /// outline or be passed again after the next rebuild.
  void Rebuild(const DumpRowList& rows);

  /// Sequence and item rows can be collapsed.
  bool IsCollapsible(int row) const;
  bool IsCollapsed(int row) const;
  /// Collapses or expands the sequence or item of `row`; false when `row`
  /// is no sequence or item row or already is so.
  bool SetCollapsed(int row, bool collapsed);
  void ExpandAll();
  /// Expands every collapsed sequence and item that holds `row`, so the
  /// row can be shown (a found row, a changed one).
  void Reveal(int row);
  /// The sequence or item row that holds `row`, or -1 at the top level.
  int ParentOf(int row) const;

  /// Shows only the rows matching `query` and their parents; an empty
  /// query shows every row again.
  void SetFilter(const FindQuery& query);
  bool IsFiltering() const { return m_filtering; }

  /// The rows shown, in order: row numbers of the document's list.
  int VisibleCount() const { return static_cast<int>(m_visible.size()); }
  int RowAt(int shownIndex) const;
  /// Where `row` is shown, or -1 when it is hidden.
  int ShownIndexOf(int row) const;

 private:
  void Recompute();
  const void* KeyOf(int row) const;

  const DumpRowList* m_rows = nullptr;
  /// For a sequence or item row, the row of its end marker; else the row itself.
  std::vector<int32_t> m_close;
  std::vector<int32_t> m_parent;
  std::unordered_set<const void*> m_collapsed;
  bool m_filtering = false;
  FindQuery m_query;
  /// While filtering: 1 for each row shown.
  std::vector<uint8_t> m_matched;
  std::vector<int32_t> m_visible;
};

}  // namespace quillon
