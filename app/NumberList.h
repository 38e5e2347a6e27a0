/// \file
/// NumberList — the values of a binary number VR (US, SS, UL, SL, SV, UV,
/// FL, FD) or of AT as the element dialog shows and takes them: every
/// value, separated by `\`, so an element of several values is edited
/// whole instead of being cut to its first.
#pragma once

#include "dicom/DicomTypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class CDicomElement;

/// The bytes of one value of `vr`; 0 when `vr` is no number VR nor AT.
size_t NumberSize(DicomVR vr);

/// The values of `element` as "1\2\3" (SS as its 16 bits read unsigned,
/// SL signed, AT as gggg,eeee); nothing when its VR holds no numbers or
/// its length is no whole number of values.
std::optional<std::string> FormatNumberList(const CDicomElement& element);

/// Reads `text` ("1\2\3") as values of `vr` into little-endian `bytes`;
/// false with the reason (which value, what range) otherwise.
bool ParseNumberList(DicomVR vr, std::string_view text, std::vector<uint8_t>& bytes, std::string& error);

}  // namespace quillon
