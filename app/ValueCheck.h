/// \file
/// ValueCheck — whether a text value keeps to the rules of its VR: the
/// maximum length of each value, the characters it may hold (no control
/// characters; CS upper case, digits, space and underscore; UI digits and
/// dots), the formats of DA, TM, DT, AS, DS, IS and UI, and the number
/// of values the data dictionary gives the attribute (its VM). The editor
/// asks before storing a value that breaks them, marks such values in the
/// list, and lists every one of a document on request. A value that breaks
/// a rule is still a value: files in the wild carry them, and a user may
/// have to keep one.
#pragma once

#include "dicom/DicomTypes.h"

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class CDicomElement;
class CDicomObject;

/// What is wrong with `text` (the whole value, several values separated by
/// `\`) as a value of `vr`, one sentence per problem; empty when nothing
/// is, and for VRs that hold no text.
std::vector<std::string> CheckTextValue(DicomVR vr, std::string_view text);

/// What is wrong with the number of values in `value` (the stored bytes of
/// a `vr` value of `tag`: text values separated by `\`, or binary numbers
/// of their VR's size) against the dictionary's value multiplicity ("1",
/// "1-n", "2-2n", "1-3", ...); empty when it fits, for an empty value, for
/// tags the dictionary lacks, and for VRs that hold one value whatever
/// their length (OB, OW, LT, UT, ...).
std::string CheckMultiplicity(DicomTag tag, DicomVR vr, std::string_view value);

/// CheckTextValue and CheckMultiplicity together: every problem of a value
/// about to be stored as `tag`.
std::vector<std::string> CheckValue(DicomTag tag, DicomVR vr, std::string_view value);

/// The problems of `element`'s value (CheckValue of its bytes).
std::vector<std::string> CheckElement(const CDicomElement& element);

/// Every problem in `object`, items of sequences included, one line each:
/// "(0008,0020) study date: ...", nested elements after their sequence
/// and item ("(0008,1140) item 2 > (0008,1150) ...").
std::vector<std::string> CheckDataSet(const CDicomObject& object);

}  // namespace quillon
