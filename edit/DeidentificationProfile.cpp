#include "edit/DeidentificationProfile.h"

#include <algorithm>

namespace quillon {

const ProfileRow* FindProfileRow(DicomTag tag) {
  const std::span<const ProfileRow> rows = ProfileRows();
  const auto found =
      std::lower_bound(rows.begin(), rows.end(), tag, [](const ProfileRow& row, DicomTag t) { return row.tag < t; });
  if (found != rows.end() && found->tag == tag) return &*found;
  // An odd group is private even where a repeating group's digits would
  // match it (6001 is no overlay).
  if ((TagGroup(tag) & 1u) != 0) return &PrivateAttributesRow();
  for (const ProfileRow& row : ProfilePatternRows()) {
    if ((tag & row.mask) == row.tag) return &row;
  }
  return nullptr;
}

}  // namespace quillon
