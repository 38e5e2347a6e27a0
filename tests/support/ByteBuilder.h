// Builds DICOM byte streams by hand, so tests can make exactly the broken
// or unusual input they need: headers, items and delimiters one at a time.
#pragma once

#include "dicom/DicomTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::test {

class ByteBuilder {
 public:
  explicit ByteBuilder(bool bigEndian = false) : m_bigEndian(bigEndian) {}

  ByteBuilder& U16(uint16_t v) {
    if (m_bigEndian) {
      Byte(v >> 8).Byte(v);
    } else {
      Byte(v).Byte(v >> 8);
    }
    return *this;
  }
  ByteBuilder& U32(uint32_t v) {
    if (m_bigEndian) return U16(static_cast<uint16_t>(v >> 16)).U16(static_cast<uint16_t>(v));
    return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16));
  }
  ByteBuilder& Byte(unsigned v) {
    bytes.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  ByteBuilder& Raw(const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    return *this;
  }
  ByteBuilder& Tag(DicomTag tag) { return U16(TagGroup(tag)).U16(TagElement(tag)); }

  /// Explicit VR element header: 12 bytes for OB, OW, OF, SQ, UN, UT, UC, UR
  /// and the like, 8 bytes otherwise.
  ByteBuilder& ExplicitHeader(DicomTag tag, const std::string& vr, uint32_t length) {
    Tag(tag).Raw(vr);
    static const std::string kLong = " OB OW OF OD OL OV SQ SV UC UN UR UT UV ";
    if (kLong.find(" " + vr + " ") != std::string::npos) return U16(0).U32(length);
    return U16(static_cast<uint16_t>(length));
  }
  ByteBuilder& Explicit(DicomTag tag, const std::string& vr, const std::string& value) {
    return ExplicitHeader(tag, vr, static_cast<uint32_t>(value.size())).Raw(value);
  }
  ByteBuilder& ImplicitHeader(DicomTag tag, uint32_t length) { return Tag(tag).U32(length); }
  ByteBuilder& Implicit(DicomTag tag, const std::string& value) {
    return ImplicitHeader(tag, static_cast<uint32_t>(value.size())).Raw(value);
  }
  ByteBuilder& Item(uint32_t length = 0xFFFFFFFF) { return Tag(tags::kItem).U32(length); }
  ByteBuilder& ItemEnd() { return Tag(tags::kItemDelimitation).U32(0); }
  ByteBuilder& SequenceEnd() { return Tag(tags::kSequenceDelimitation).U32(0); }

  /// Preamble, "DICM" and a meta group naming `transferSyntax` (always
  /// explicit VR little endian, whatever this builder's byte order).
  ByteBuilder& Meta(const std::string& transferSyntax,
                    const std::string& sopClass = "1.2.840.10008.5.1.4.1.1.7") {
    const bool big = m_bigEndian;
    m_bigEndian = false;
    bytes.insert(bytes.end(), 128, 0);
    Raw("DICM");
    std::string syntax = transferSyntax;
    if (syntax.size() % 2) syntax.push_back('\0');
    std::string sop = sopClass;
    if (sop.size() % 2) sop.push_back('\0');
    const auto groupLength = static_cast<uint32_t>(14 + 8 + sop.size() + 8 + syntax.size());
    Explicit(0x00020000, "UL", std::string(reinterpret_cast<const char*>(&groupLength), 4));
    Explicit(0x00020001, "OB", std::string("\0\1", 2));
    Explicit(0x00020002, "UI", sop);
    Explicit(0x00020010, "UI", syntax);
    m_bigEndian = big;
    return *this;
  }

  size_t Size() const { return bytes.size(); }
  std::vector<uint8_t> bytes;

 private:
  bool m_bigEndian;
};

}  // namespace quillon::test
