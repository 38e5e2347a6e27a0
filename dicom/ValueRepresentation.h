/// \file
/// The one table of value representation properties: how each VR is framed
/// in explicit-VR streams, padded to even length and byte-swapped for big
/// endian, and whether it holds character data. Everything that needs to
/// know one of these asks here instead of switching on VR codes.
#pragma once

#include "dicom/DicomTypes.h"

#include <cstdint>
#include <string>

namespace quillon {

namespace vr {
constexpr DicomVR kUnknown = 0;         ///< opaque bytes; written as UN
constexpr DicomVR kUnresolved = 0xFFFF;  ///< depends on the SOP class
constexpr DicomVR AE = MakeVR('A', 'E');
constexpr DicomVR AS = MakeVR('A', 'S');
constexpr DicomVR AT = MakeVR('A', 'T');
constexpr DicomVR CS = MakeVR('C', 'S');
constexpr DicomVR DA = MakeVR('D', 'A');
constexpr DicomVR DS = MakeVR('D', 'S');
constexpr DicomVR DT = MakeVR('D', 'T');
constexpr DicomVR FD = MakeVR('F', 'D');
constexpr DicomVR FL = MakeVR('F', 'L');
constexpr DicomVR IS = MakeVR('I', 'S');
constexpr DicomVR LO = MakeVR('L', 'O');
constexpr DicomVR LT = MakeVR('L', 'T');
constexpr DicomVR OB = MakeVR('O', 'B');
constexpr DicomVR OD = MakeVR('O', 'D');
constexpr DicomVR OF = MakeVR('O', 'F');
constexpr DicomVR OL = MakeVR('O', 'L');
constexpr DicomVR OV = MakeVR('O', 'V');
constexpr DicomVR OW = MakeVR('O', 'W');
constexpr DicomVR PN = MakeVR('P', 'N');
constexpr DicomVR SH = MakeVR('S', 'H');
constexpr DicomVR SL = MakeVR('S', 'L');
constexpr DicomVR SQ = MakeVR('S', 'Q');
constexpr DicomVR SS = MakeVR('S', 'S');
constexpr DicomVR ST = MakeVR('S', 'T');
constexpr DicomVR SV = MakeVR('S', 'V');
constexpr DicomVR TM = MakeVR('T', 'M');
constexpr DicomVR UC = MakeVR('U', 'C');
constexpr DicomVR UI = MakeVR('U', 'I');
constexpr DicomVR UL = MakeVR('U', 'L');
constexpr DicomVR UN = MakeVR('U', 'N');
constexpr DicomVR UR = MakeVR('U', 'R');
constexpr DicomVR US = MakeVR('U', 'S');
constexpr DicomVR UT = MakeVR('U', 'T');
constexpr DicomVR UV = MakeVR('U', 'V');
}  // namespace vr

/// Properties of one VR.
struct VrProperties {
  DicomVR code;
  /// Explicit-VR header of 12 bytes with a 32-bit length (else 8 bytes with
  /// a 16-bit length).
  bool longExplicitHeader;
  /// Byte appended to a value of odd length.
  uint8_t padByte;
  /// Unit of the big-endian byte swap in bytes; 0 when the bytes are kept.
  /// AT swaps in 2-byte units: it is a group and an element number.
  uint8_t swapUnit;
  /// One of the character-string VRs edited and exported as text.
  bool isText;
};

/// The properties of `vr`. VR 0 (unknown) is framed like UN; a code the
/// table does not know gets the short header, a space pad and no swap.
const VrProperties& GetVrProperties(DicomVR vr);

/// True for exactly the character-string VRs AE, AS, CS, DA, DS, DT, IS, LO,
/// LT, PN, SH, ST, TM, UC, UI, UR and UT.
bool IsTextVR(DicomVR vr);

/// True for the codes of the VRs in the table (the DICOM VRs); false for
/// VR 0, 0xFFFF and any other pair of bytes.
bool IsKnownVR(DicomVR vr);

/// True when an explicit-VR stream frames `vr` with the 12-byte header.
inline bool HasLongExplicitHeader(DicomVR vr) { return GetVrProperties(vr).longExplicitHeader; }

/// The two letters of `vr` ("??" for VR 0).
std::string VrToString(DicomVR vr);

/// Swaps each `unit`-byte group of `data` in place (unit 2, 4 or 8); a
/// trailing part shorter than one unit stays as it is. Other units do
/// nothing.
void SwapBytesInUnits(uint8_t* data, uint64_t length, unsigned unit);

/// Swaps a value between little- and big-endian order in the units its VR
/// calls for. Returns false, leaving the bytes as they are, for VRs that are
/// not swapped.
bool SwapValueBytes(DicomVR vr, uint8_t* data, uint64_t length);

}  // namespace quillon
