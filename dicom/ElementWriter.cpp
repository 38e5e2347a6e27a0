/// \file
/// Writing one element: header in the stream's encoding, the value (swapped
/// into a copy for big endian), and the delimitation after an
/// undefined-length value.
#include "base/ByteOrder.h"
#include "dicom/DicomElement.h"
#include "base/Stream.h"
#include "dicom/ValueRepresentation.h"

#include <cstring>
#include <vector>

namespace quillon {

void CDicomElement::WriteHeader(CStream& stream, TransferMode mode, uint32_t lengthField) const {
  if (TagGroup(m_tag) == 0x0002) mode = TransferMode::ExplicitLittleEndian;
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  const Framing framing = FramingFor(mode);
  uint8_t header[12] = {};
  StoreU16(header, TagGroup(m_tag), bigEndian);
  StoreU16(header + 2, TagElement(m_tag), bigEndian);
  const bool itemTag =
      m_tag == tags::kItem || m_tag == tags::kItemDelimitation || m_tag == tags::kSequenceDelimitation;
  if (framing.headerSize == 8 && (mode == TransferMode::ImplicitLittleEndian || itemTag)) {
    StoreU32(header + 4, lengthField, bigEndian);
  } else {
    const DicomVR code = framing.writeAsUN ? vr::UN : m_vr;
    header[4] = static_cast<uint8_t>(code & 0xFF);
    header[5] = static_cast<uint8_t>(code >> 8);
    if (framing.headerSize == 12) {
      StoreU32(header + 8, lengthField, bigEndian);
    } else {
      StoreU16(header + 6, static_cast<uint16_t>(lengthField), bigEndian);
    }
  }
  stream.Write(header, framing.headerSize);
}

bool CDicomElement::WriteElement(CStream& stream, TransferMode mode) const {
  const uint8_t* value = m_value.Data();
  if (m_length != 0 && value == nullptr) return false;
  if (TagGroup(m_tag) == 0x0002) mode = TransferMode::ExplicitLittleEndian;
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  const Framing framing = FramingFor(mode);
  WriteHeader(stream, mode, framing.undefinedLength ? kUndefinedLength : m_length);
  if (m_length != 0) {
    // A value written as UN is read back as UN, which is not swapped, so
    // it must not be swapped on the way out either.
    if (bigEndian && !framing.writeAsUN && GetVrProperties(m_vr).swapUnit != 0) {
      std::vector<uint8_t> swapped(value, value + m_length);
      SwapValueBytes(m_vr, swapped.data(), swapped.size());
      stream.Write(swapped.data(), swapped.size());
    } else {
      stream.Write(value, m_length);
    }
  }
  if (framing.undefinedLength) {
    uint8_t delimiter[8] = {};
    StoreU16(delimiter, 0xFFFE, bigEndian);
    StoreU16(delimiter + 2, 0xE00D, bigEndian);
    stream.Write(delimiter, sizeof delimiter);
  }
  return !stream.HasFailed();
}

}  // namespace quillon
