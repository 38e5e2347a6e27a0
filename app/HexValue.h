/// \file
/// HexValue — the bytes of a binary value (OB, OW, OF, UN, ...) as the
/// element dialog shows them: two hexadecimal digits a byte, separated by
/// spaces, sixteen bytes a line; and back from what the user typed, which
/// may be laid out any way (any white space, either case).
#pragma once

#include "dicom/DicomTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

/// "0a 1b ..." in lines of 16 bytes, no line break after the last.
std::string FormatHexBytes(const uint8_t* bytes, size_t size);

/// The bytes `text` spells; white space anywhere between digits of
/// different bytes is ignored. Nullopt with the reason in `error` for a
/// character that is no hexadecimal digit (named with its place) and an odd
/// count of digits.
std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text, std::string& error);

/// The number of bytes every value of `vr` is a whole multiple of: 2 for
/// OW, 4 for OF and OL, 8 for OD and OV, 1 for the byte VRs.
unsigned BinaryUnitOf(DicomVR vr);

/// Empty when `size` bytes can be a value of `vr`; otherwise why not.
std::string CheckBinaryLength(DicomVR vr, uint64_t size);

/// True for the VRs the dialog edits as bytes: OB, OW, OF, OD, OL, OV, UN
/// and no VR.
bool IsBinaryVR(DicomVR vr);

}  // namespace quillon
