/// \file
/// Lookup in the built-in tag-to-name table. The rows themselves are in the
/// generated TagNameTableData.cpp.
#include "dicom/TagNameTable.h"

#include <algorithm>

namespace quillon {

std::string_view GetTagName(DicomTag tag) {
  const std::span<const TagNameEntry> rows = TagNameRows();
  // The rows are sorted by tag with the names of one tag adjacent, so the
  // lower bound is the first row of that tag: the same row a scan from the
  // top would find.
  const auto row = std::lower_bound(
      rows.begin(), rows.end(), tag,
      [](const TagNameEntry& entry, DicomTag wanted) { return entry.tag < wanted; });
  if (row == rows.end() || row->tag != tag) {
    return {};
  }
  return row->name;
}

}  // namespace quillon
