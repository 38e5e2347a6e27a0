/// \file
/// Moving text from one character set to another: when a data set's
/// Specific Character Set (0008,0005) changes, every text value it holds
/// must be encoded anew, or the new label would make the old bytes read as
/// other letters; and an element copied between data sets of different
/// sets must bring its text, not its bytes. Items that declare a set of
/// their own keep it, and their text, as it is.
#pragma once

#include "base/Result.h"
#include "dicom/CharacterSet.h"
#include "dicom/DicomTypes.h"

#include <string>
#include <vector>

namespace quillon {

class CDicomElement;
class CDicomObject;

/// One text value to store anew: the element `tag` of `container` gets
/// `bytes`.
struct TextRewrite {
  CDicomObject* container = nullptr;
  DicomTag tag = 0;
  std::string bytes;
};

/// The text values of `object`, and of its items that declare no set of
/// their own, that change when their text moves from `from` to `to`
/// (values of plain ASCII are the same in every set and are left out).
/// Nothing is changed: the caller stores the rewrites, so they can be
/// undone. Refused, naming the element and the reason, when a value holds
/// bytes that do not read in `from` or a character `to` cannot hold.
Result<std::vector<TextRewrite>> PlanTextConversion(CDicomObject& object, const CCharacterSet& from,
                                                    const CCharacterSet& to);

/// Encodes the text of `element` anew, in place: its own value, or for a
/// sequence the text of its items that declare no set of their own. For an
/// element that belongs to no data set yet (a copy on its way to another
/// document). Refused, changing nothing, as PlanTextConversion.
Status ConvertElementText(CDicomElement& element, const CCharacterSet& from, const CCharacterSet& to);

}  // namespace quillon
