/// \file
/// Turning a value typed as text (UTF-8; several values separated by '\')
/// into the bytes an element of a given VR stores, checked against what
/// the VR allows: the characters, the length of each value, dates, times
/// and numbers that must be what they claim. Text goes into the data
/// set's character set; a character the set cannot hold is refused, never
/// replaced. A bad value is an error that says what is wrong with it, so
/// that a batch edit never writes what a reader would choke on.
#pragma once

#include "base/Result.h"
#include "dicom/CharacterSet.h"
#include "dicom/DicomTypes.h"

#include <string>
#include <string_view>

namespace quillon {

/// The value bytes (little endian for binary VRs; not yet padded to even
/// length) for `text` as a value of VR `vr`, text encoded in `charset`.
/// Refused for VRs whose values are not written as text (OB, OW, OD, OF,
/// OL, OV, UN, SQ) and for any value the VR does not allow.
Result<std::string> EncodeValue(std::string_view text, DicomVR vr, const CCharacterSet& charset);

}  // namespace quillon
