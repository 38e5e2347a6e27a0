/// \file
/// Finding a row of the element list: the next row whose text holds a
/// string (any case), or the next element with a tag typed as "gggg,eeee"
/// — in nested items too.
#pragma once

#include "dicom/DicomTypes.h"

#include <optional>
#include <string>

namespace quillon {

class DumpRowList;

/// What to look for, read from what the user typed: "0010,0010" or
/// "(0010,0010)" is a tag, anything else a text.
struct FindQuery {
  std::string text;              ///< lower-case, for the text search
  std::optional<DicomTag> tag;   ///< set when the query is a tag
  static FindQuery Parse(const std::string& typed);
};

/// The first row after `start` (wrapping round past the end, `start`
/// itself last) that matches `query`; -1 when none does. `start` -1 begins
/// at the first row.
int FindNextRow(const DumpRowList& rows, int start, const FindQuery& query);
/// The same backwards: the first row before `start` (wrapping round past
/// the first row) that matches; -1 when none does. `start` -1 begins at
/// the last row.
int FindPreviousRow(const DumpRowList& rows, int start, const FindQuery& query);
/// Whether row `index` matches `query` (its text holds the text, or its
/// element has the tag).
bool RowMatches(const DumpRowList& rows, size_t index, const FindQuery& query);

}  // namespace quillon
