#include "dicom/DicomElement.h"

#include "dicom/ValueRepresentation.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace quillon {

CDicomElement::CDicomElement(DicomTag tag, DicomVR vr, const void* source, uint32_t length)
    : m_vr(vr), m_length(length), m_tag(tag) {
  if (source == nullptr || length < 1) return;
  if (length == kUndefinedLength) {
    m_length = 0;  // an odd maximum cannot be padded to even
    return;
  }
  const uint32_t evenLength = length + (length & 1u);
  if (!m_value.Allocate(evenLength)) {
    m_length = 0;
    return;
  }
  uint8_t* value = m_value.Data();
  std::memcpy(value, source, length);
  if (evenLength != length) value[length] = GetVrProperties(vr).padByte;
  m_length = evenLength;
}

CDicomElement::~CDicomElement() = default;

namespace {

/// True when `value` holds the item delimitation (FFFE,E00D) with a zero
/// length in either byte order: a reader looking for the end of an
/// undefined-length value would stop there.
bool HoldsItemDelimitation(const uint8_t* value, uint32_t length) {
  static constexpr uint8_t kLittle[8] = {0xFE, 0xFF, 0x0D, 0xE0, 0, 0, 0, 0};
  static constexpr uint8_t kBig[8] = {0xFF, 0xFE, 0xE0, 0x0D, 0, 0, 0, 0};
  if (value == nullptr || length < 8) return false;
  const uint8_t* end = value + length;
  return std::search(value, end, std::begin(kLittle), std::end(kLittle)) != end ||
         std::search(value, end, std::begin(kBig), std::end(kBig)) != end;
}

}  // namespace

bool CDicomElement::KeepsUndefinedLength(TransferMode mode) const {
  if (!m_undefinedLength || m_length == 0 || !m_value.HasValue()) return false;
  // In explicit VR an undefined-length UN is a sequence of unknown type;
  // plain bytes framed that way would be read as items.
  if (mode != TransferMode::ImplicitLittleEndian && (m_vr == vr::UN || !IsKnownVR(m_vr))) return false;
  return !HoldsItemDelimitation(m_value.Data(), m_length);
}

CDicomElement::Framing CDicomElement::FramingFor(TransferMode mode) const {
  if (TagGroup(m_tag) == 0x0002) mode = TransferMode::ExplicitLittleEndian;
  // Only the item and delimitation tags have the bare 8-byte header; any
  // other (FFFE,xxxx) tag is an ordinary element, as the reader takes it.
  const bool itemTag =
      m_tag == tags::kItem || m_tag == tags::kItemDelimitation || m_tag == tags::kSequenceDelimitation;
  const bool undefinedLength = m_undefinedLength && KeepsUndefinedLength(mode);
  if (mode == TransferMode::ImplicitLittleEndian || itemTag) return {8, false, undefinedLength};
  // VR 0, and any code that is no DICOM VR, goes out as UN: an explicit VR
  // stream must carry a real VR for readers to frame the element.
  if (!IsKnownVR(m_vr)) return {12, true, undefinedLength};
  if (HasLongExplicitHeader(m_vr)) return {12, false, undefinedLength && m_vr != vr::UT};
  if (m_length > 0xFFFF) return {12, true, false};
  return {8, false, false};
}

uint64_t CDicomElement::EncodedSize(TransferMode mode) const {
  const Framing framing = FramingFor(mode);
  return uint64_t{framing.headerSize} + m_length + (framing.undefinedLength ? 8u : 0u);
}

void CDicomElement::CopyHeaderFrom(const CDicomElement& source) {
  m_vr = source.m_vr;
  m_length = source.m_length;
  m_tag = source.m_tag;
  m_undefinedLength = source.m_undefinedLength;
}

bool CDicomElement::CopyFrom(const CDicomElement& source) {
  if (&source == this) return true;
  m_value.Reset();
  CopyHeaderFrom(source);
  if (source.m_vr == vr::SQ) return false;
  if (!source.m_value.HasValue() || source.m_length == 0) return true;
  if (!m_value.Allocate(source.m_length)) {
    m_length = 0;
    return false;
  }
  std::memcpy(m_value.Data(), source.m_value.Data(), source.m_length);
  return true;
}

std::unique_ptr<CDicomElement> CDicomElement::Clone() const {
  auto copy = std::make_unique<CDicomElement>();
  if (!copy->CopyFrom(*this)) return nullptr;
  return copy;
}

void CDicomElement::SetValue(std::unique_ptr<uint8_t[]> value, uint32_t length) {
  m_value.Adopt(std::move(value));
  m_length = m_value.HasValue() ? length : 0;
}

void CDicomElement::ClearValue() {
  m_value.Reset();
  m_length = 0;
}

std::string_view CDicomElement::GetTextView() const {
  if (!m_value.HasValue() || m_length == 0) return {};
  std::string_view text(reinterpret_cast<const char*>(m_value.Data()), m_length);
  // Text stops at a NUL: UI values are padded with one, and nothing after
  // it is part of the string.
  text = text.substr(0, text.find('\0'));
  if (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

DicomStatus CDicomElement::GetString(std::string& out) const {
  out.assign(GetTextView());
  return DicomStatus::Success;
}

DicomStatus CDicomElement::GetUInt16(uint16_t& out) const {
  out = 0;
  const uint8_t* value = m_value.Data();
  if (value == nullptr || m_length < 2) return DicomStatus::WrongKind;
  out = static_cast<uint16_t>(value[0] | (value[1] << 8));
  return DicomStatus::Success;
}

DicomStatus CDicomElement::GetUInt32(uint32_t& out) const {
  out = 0;
  const uint8_t* value = m_value.Data();
  if (value == nullptr || m_length < 4) return DicomStatus::WrongKind;
  out = uint32_t{value[0]} | (uint32_t{value[1]} << 8) | (uint32_t{value[2]} << 16) |
        (uint32_t{value[3]} << 24);
  return DicomStatus::Success;
}

DicomStatus CDicomElement::GetNumber(uint32_t& out) const {
  out = 0;
  if (!m_value.HasValue() || m_length == 0) return DicomStatus::EndOfStream;
  std::string text(reinterpret_cast<const char*>(m_value.Data()), m_length);
  if (!text.empty() && text.back() == ' ') text.pop_back();
  // strtol instead of atol: same digits accepted, but out-of-range text
  // saturates instead of being undefined.
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  out = static_cast<uint32_t>(value);
  return DicomStatus::Success;
}

DicomStatus CDicomElement::SetUInt32(uint32_t value) {
  uint8_t* bytes = m_value.Data();
  if (m_length != 4 || bytes == nullptr) return DicomStatus::Failure;
  for (unsigned i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return DicomStatus::Success;
}

}  // namespace quillon
