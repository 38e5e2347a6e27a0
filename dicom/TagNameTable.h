/// \file
/// The built-in tag-to-name table: a fixed list of element names compiled
/// into the library. The element dump prints these names in its Description
/// column. The XML export does not use this table; it has its own run-time
/// dictionary (see XmlDictionary.h).
#pragma once

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

}  // namespace quillon
