/// \file
/// The built-in tag-to-name table: a fixed list of element names compiled
/// into the library. The element dump prints these names in its Description
/// column. The XML export does not use this table; it has its own run-time
/// dictionary (see XmlDictionary.h).
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "dicom/DicomTypes.h"

namespace quillon {

/// One row of the built-in table. Names are lower-case words joined by
/// underscores and, except in group 003A, end in exactly one space; that
/// space is part of the name because the dump prints the name as it stands.
struct TagNameEntry {
  DicomTag tag;
  std::string_view name;
};

/// All rows of the built-in table, in ascending tag order. A tag known under
/// several names has one row per name, the rows standing next to each other.
/// The repeating groups appear once, under groups 5000 and 6000, and match
/// only those groups.
std::span<const TagNameEntry> TagNameRows();

/// The name of the first row whose tag equals \p tag exactly (so a tag with
/// several names always yields the first), trailing space included; an
/// empty view when no row matches. Runs in logarithmic time: it is called
/// for every line of a dump.
std::string_view GetTagName(DicomTag tag);

/// Room for the names GetElementName makes up rather than looks up.
using ElementNameBuffer = std::array<char, 24>;

/// The name the dump and the element list show for \p tag, trailing space
/// included: the built-in name when the table has one (for a repeating
/// group 50xx or 60xx, the name of its row under 5000 or 6000), else
/// "group_length_gggg " for a group length (kept in \p buffer, which must
/// outlive the view), "private_group_length " and "private_creator " for
/// those of a private group (private creators are elements 0010 to 00FF),
/// else the data dictionary's name in the same style; an empty view for a
/// tag no one names.
std::string_view GetElementName(DicomTag tag, ElementNameBuffer& buffer);

}  // namespace quillon
