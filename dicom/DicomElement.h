/// \file
/// CDicomElement — DATA ELEMENT: "a unit of information as defined by a
/// single entry in the data dictionary". Holds the tag, the VR, the value
/// length and the value bytes exactly as they are written to a stream, in
/// little-endian order whatever stream they came from. Base class of the
/// sequence and pixel data elements.
#pragma once

#include "dicom/DicomTypes.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quillon {

class CDicomElement {
 public:
  /// The length field value that marks an undefined length in a stream.
  static constexpr uint32_t kUndefinedLength = 0xFFFFFFFF;

  CDicomElement() = default;
  /// Builds an element holding a copy of `source`. With a null source or a
  /// length of 0 no value is made (the length is kept as given). An odd
  /// length is padded to even with the VR's pad byte (NUL for UI, OB and OW,
  /// a space otherwise). A length that cannot be held or allocated (0xFFFFFFFF,
  /// out of memory) leaves the element without value and with length 0.
  CDicomElement(DicomTag tag, DicomVR vr, const void* source, uint32_t length);
  CDicomElement(const CDicomElement&) = delete;
  CDicomElement& operator=(const CDicomElement&) = delete;
  virtual ~CDicomElement();

  /// Bytes the element occupies in a stream of `mode`: header plus value,
  /// plus the 8-byte item delimitation after an undefined-length value.
  /// Group 0002 is always sized as explicit VR little endian.
  virtual uint64_t EncodedSize(TransferMode mode) const;
  /// Replaces this element's contents with a copy of `source`'s. A sequence
  /// cannot be copied this way: tag, VR and length are taken, no value, and
  /// the result is false.
  [[nodiscard]] virtual bool CopyFrom(const CDicomElement& source);
  /// A new element of the same class with the same contents, or null.
  virtual std::unique_ptr<CDicomElement> Clone() const;

  DicomTag GetTag() const { return m_tag; }
  DicomVR GetVR() const { return m_vr; }
  uint32_t GetLength() const { return m_length; }
  const uint8_t* GetValue() const { return m_value.get(); }
  uint8_t* GetValue() { return m_value.get(); }
  bool HasValue() const { return m_value != nullptr; }
  bool IsUndefinedLength() const { return m_undefinedLength; }

  void SetTag(DicomTag tag) { m_tag = tag; }
  void SetVR(DicomVR vr) { m_vr = vr; }
  void SetUndefinedLength(bool undefinedLength) { m_undefinedLength = undefinedLength; }
  /// Sets the length field without touching the value (for elements whose
  /// value stays in the stream, such as deferred pixel data).
  void SetValueLength(uint32_t length) { m_length = length; }
  /// Takes ownership of `value`, `length` bytes long (null for none).
  void SetValue(std::unique_ptr<uint8_t[]> value, uint32_t length);
  /// Releases the value and sets the length to 0.
  void ClearValue();

  /// The value as text: up to the first NUL, one trailing space dropped,
  /// then trailing white space removed. No value gives "" and still Success.
  DicomStatus GetString(std::string& out) const;
  /// The first two bytes, little endian; WrongKind when shorter or absent.
  DicomStatus GetUInt16(uint16_t& out) const;
  /// The first four bytes, little endian; WrongKind when shorter or absent.
  DicomStatus GetUInt32(uint32_t& out) const;
  /// The decimal text value (as `atol` reads it) after dropping one trailing
  /// space; EndOfStream when there is no value.
  DicomStatus GetNumber(uint32_t& out) const;
  /// Overwrites a 4-byte value (used to refresh group lengths); Failure,
  /// changing nothing, when the value is not exactly 4 bytes.
  DicomStatus SetUInt32(uint32_t value);

 protected:
  /// Copies the header fields (tag, VR, length, undefined-length flag).
  void CopyHeaderFrom(const CDicomElement& source);

 private:
  bool m_undefinedLength = false;
  DicomVR m_vr = 0;
  uint32_t m_length = 0;
  DicomTag m_tag = 0;
  std::unique_ptr<uint8_t[]> m_value;
};

/// Size of an element header in a stream of `mode` for an element of `vr`
/// in group `group` (group 0002 is always explicit VR little endian).
uint32_t ElementHeaderSize(DicomTag tag, DicomVR vr, TransferMode mode);

}  // namespace quillon
