/// \file
/// Tag paths: where in a data set an edit applies, down through sequence
/// items. "(0010,0010)" is an element of the data set;
/// "(0008,1140)[0].(0008,1150)" the element in the first item of a
/// sequence; "(0008,1140)[*].(0008,1155)" the element in every item.
/// Tags are written "(gggg,eeee)", "gggg,eeee" or "ggggeeee" in
/// hexadecimal; items are counted from 0.
#pragma once

#include "base/Result.h"
#include "dicom/DicomTypes.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct TagPathStep {
  enum class Items {
    None,  ///< the element itself
    One,   ///< the item `index` of the sequence
    All,   ///< every item of the sequence
  };
  DicomTag tag = 0;
  Items items = Items::None;
  std::size_t index = 0;
};

struct TagPath {
  /// Every step but the last names a sequence and its items.
  std::vector<TagPathStep> steps;
  /// The path as given, for messages.
  std::string text;

  const TagPathStep& Last() const { return steps.back(); }
  /// True when the path ends at an item ("(0008,1140)[0]") rather than at
  /// an element.
  bool EndsAtItem() const { return Last().items != TagPathStep::Items::None; }
};

/// Reads a tag path; refused, saying what is wrong where, for anything
/// else (a step that is no tag, a sequence step without an item, an index
/// that is no number).
Result<TagPath> ParseTagPath(std::string_view text);

/// Reads one tag in any of the three forms.
Result<DicomTag> ParseTag(std::string_view text);

}  // namespace quillon
