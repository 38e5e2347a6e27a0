/// \file
/// What the data model accepts. The one place that decides whether an
/// element may be stored in a top-level data set or in a sequence item, so
/// that every object the library holds can be saved and read back as it is.
/// AddValue, AddElement and AddSequence refuse what these rules refuse, the
/// writer refuses to put out what it could not read back, and the editor
/// asks the same questions to tell the user, in its dialogs, why an element
/// cannot be inserted — before any element is built.
///
/// Each check answers with success, or with a Refused error whose message
/// gives the reason in words a user can read.
#pragma once

#include "base/Result.h"
#include "dicom/DicomTypes.h"

#include <cstdint>
#include <string>

namespace quillon {

class CDicomElement;

/// Where an element is to be stored: the data set of a file, or an item of
/// a sequence (at any depth).
enum class ElementPlace { DataSet, Item };

/// Whether an element with these properties may be stored at `place`, and
/// if not, why. `length` and `hasValue` describe the value bytes: a
/// length above 0 needs a value. VR SQ stands for a sequence, which holds
/// items and no value bytes (pass length 0 and no value); VR 0 is an
/// unknown VR, stored as is and written as UN in explicit VR.
///
/// Refused: the item and delimitation tags (FFFE,E000), (FFFE,E00D),
/// (FFFE,E0DD); file meta information (group 0002) inside an item, or as a
/// sequence; a length without value bytes; (0000,0000) without a value (in
/// implicit VR that is eight zero bytes, which the reader takes for
/// padding); a value too long for a length field; a VR that is not a DICOM
/// VR (0xFFFF, the unresolved VR, included); a value longer than the 16-bit
/// length field an explicit-VR file gives its VR; a sequence under the
/// Pixel Data tag.
Status CheckElementRules(DicomTag tag, DicomVR vr, uint64_t length, bool hasValue, ElementPlace place);

/// The part of CheckElementRules without which a written file cannot be
/// read at all; the writer checks every element against it before it
/// writes a byte. The rest (VR codes, the 16-bit limit) the writer can
/// work around: it writes such values as UN, which reads back with all its
/// bytes but another VR, so elements read from a file that break them can
/// still be saved.
Status CheckElementWriteRules(DicomTag tag, DicomVR vr, uint64_t length, bool hasValue, ElementPlace place);

/// CheckElementRules for an element already built: a sequence is checked
/// with every element of every item, down to the deepest nesting the reader
/// accepts; an element of VR SQ that is not a sequence is refused, and so
/// is Pixel Data whose value was left in the file it was read from.
Status CheckElementRules(const CDicomElement& element, ElementPlace place);

/// CheckElementWriteRules for an element already built, sequences with
/// their items and nested sequences (nesting deeper than the reader accepts
/// is refused too).
Status CheckElementWriteRules(const CDicomElement& element, ElementPlace place);

/// "(GGGG,EEEE)" in upper-case hex, as messages name tags.
std::string FormatTag(DicomTag tag);

}  // namespace quillon
