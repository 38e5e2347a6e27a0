/// \file
/// Lookup in the built-in tag-to-name table. The rows themselves are in the
/// generated TagNameTableData.cpp.
#include "dicom/TagNameTable.h"

#include "dicom/DataDictionary.h"

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

std::string_view GetElementName(DicomTag tag, ElementNameBuffer& buffer) {
  std::string_view name = GetTagName(tag);
  if (!name.empty()) return name;
  const uint16_t group = TagGroup(tag);
  const uint16_t element = TagElement(tag);
  const auto first = static_cast<uint16_t>(group & 0xFF00);
  if ((first == 0x5000 || first == 0x6000) && (group & 1) == 0) {
    name = GetTagName(MakeTag(first, element));
    if (!name.empty()) return name;
  }
  const bool privateGroup = (group & 1) != 0 && group > 0x0008;
  if (element == 0x0000) {
    if (privateGroup) return "private_group_length ";
    // Named as the table names the group lengths it lists: "group_length_0008 ".
    static constexpr char kDigits[] = "0123456789abcdef";
    constexpr std::string_view kPrefix = "group_length_";
    std::copy(kPrefix.begin(), kPrefix.end(), buffer.begin());
    for (size_t i = 0; i < 4; ++i) buffer[kPrefix.size() + i] = kDigits[(group >> (12 - 4 * i)) & 0xF];
    buffer[kPrefix.size() + 4] = ' ';
    return {buffer.data(), kPrefix.size() + 5};
  }
  if (privateGroup && element >= 0x0010 && element <= 0x00FF) return "private_creator ";
  const DictionaryTexts* texts = FindDictionaryTexts(tag);
  return texts != nullptr ? texts->name : std::string_view{};
}

}  // namespace quillon
