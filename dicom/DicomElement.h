/// \file
/// CDicomElement — DATA ELEMENT: "a unit of information as defined by a
/// single entry in the data dictionary". Holds the tag, the VR, the value
/// length and the value bytes exactly as they are written to a stream, in
/// little-endian order whatever stream they came from. Base class of the
/// sequence and pixel data elements.
#pragma once

#include "dicom/DicomTypes.h"
#include "dicom/ValueBuffer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quillon {

class CStream;

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

  /// Writes the header and the value in `mode` (group 0002 always explicit
  /// VR little endian), swapping a copy of the value for big endian, and for
  /// an undefined length the item delimitation after it. False for a length
  /// without value, and when the stream fails (its State() says why).
  [[nodiscard]] virtual bool WriteElement(CStream& stream, TransferMode mode) const;
  /// Reads the value that follows a header just read with ReadHeader. An
  /// undefined length is resolved by FindValueEnd and the delimitation is
  /// stepped over. False (leaving no value) for VR SQ, a length beyond the
  /// end of the stream, or a short read; values are swapped to little
  /// endian in mode 2. Tag 0 is a tag like any other: (0000,0000) is the
  /// command group length.
  [[nodiscard]] virtual bool ReadValue(CStream& stream, TransferMode mode);
  /// Appends the element's dump line at indentation `level` (units of four
  /// spaces). Always Success.
  virtual DicomStatus DumpText(std::string& out, int level) const;

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
  const uint8_t* GetValue() const { return m_value.Data(); }
  uint8_t* GetValue() { return m_value.Data(); }
  bool HasValue() const { return m_value.HasValue(); }
  bool IsUndefinedLength() const { return m_undefinedLength; }

  void SetTag(DicomTag tag) { m_tag = tag; }
  void SetVR(DicomVR vr) { m_vr = vr; }
  void SetUndefinedLength(bool undefinedLength) { m_undefinedLength = undefinedLength; }
  /// Sets the length field without touching the value (for elements whose
  /// value stays in the stream, such as deferred pixel data).
  virtual void SetValueLength(uint32_t length) { m_length = length; }
  /// Takes ownership of `value`, `length` bytes long (null for none).
  void SetValue(std::unique_ptr<uint8_t[]> value, uint32_t length);
  /// Releases the value and sets the length to 0.
  void ClearValue();
  /// Hands the value buffer to the caller (the length is kept, so the
  /// caller knows how many bytes it got; the element is left without value).
  std::unique_ptr<uint8_t[]> ReleaseValue() { return m_value.Release(m_length); }

  /// The value as text: up to the first NUL, one trailing space dropped,
  /// then trailing white space removed. No value gives "" and still Success.
  DicomStatus GetString(std::string& out) const;
  /// The same text as GetString, viewed in the value buffer (valid while
  /// the value is); empty when there is no value.
  std::string_view GetTextView() const;
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

  /// Reads one element header in `mode`: tag, VR (from the stream, or in
  /// implicit VR from the dictionary, judged by ImplicitVrFromValue; a VR
  /// that depends on the SOP class stays 0xFFFF) and length. Item and
  /// delimitation tags always have an 8-byte header and VR 0. In explicit
  /// VR the two VR bytes are kept as they stand; any code without a 12-byte
  /// header reads a 16-bit length. False when the header cannot be read in
  /// full.
  [[nodiscard]] bool ReadHeader(CStream& stream, TransferMode mode);
  /// The VR an implicit-VR element is read with, from the dictionary's VR
  /// and a look at the first bytes of the value (the stream position is
  /// left where it was): a dictionary sequence whose value does not start
  /// with an item or sequence delimitation is plain bytes (VR 0); an element
  /// of unknown VR with a value, or any element of undefined length other
  /// than Pixel Data, whose value starts with one is a sequence (SQ).
  static DicomVR ImplicitVrFromValue(CStream& stream, DicomTag tag, DicomVR dictionaryVr, uint32_t length);
  /// Writes a header for this element with `lengthField` as its length.
  void WriteHeader(CStream& stream, TransferMode mode, uint32_t lengthField) const;
  /// Bytes from the stream position to the first item delimitation
  /// (FFFE,E00D) with a zero length, leaving the position unchanged; 0 when
  /// there is none.
  static uint64_t FindValueEnd(CStream& stream, TransferMode mode);

  /// How the element is framed in a stream of one mode.
  struct Framing {
    uint32_t headerSize;   ///< 8 or 12
    bool writeAsUN;        ///< explicit VR: the VR field says "UN"
    bool undefinedLength;  ///< length field 0xFFFFFFFF and a delimiter after the value
  };
  /// The framing in `mode`: group 0002 is always explicit VR little endian;
  /// VR 0 (and any code that is no DICOM VR) is written as UN. In explicit
  /// VR a value too long for a 16-bit length field is written as UN with a
  /// 32-bit length, and VRs that cannot carry an undefined length (UT and
  /// the short-header VRs) are written with their defined length, so the
  /// output is always a file other toolkits can parse. An undefined length
  /// is also given up where it would not read back (KeepsUndefinedLength).
  Framing FramingFor(TransferMode mode) const;
  /// True when the undefined-length flag can be written in `mode` and read
  /// back as it is: not for an empty value (a reader finds no value before
  /// the delimitation), a value holding the item delimitation itself, or
  /// what is written as UN in explicit VR (where undefined length means a
  /// sequence).
  bool KeepsUndefinedLength(TransferMode mode) const;

 protected:
  /// Copies the header fields (tag, VR, length, undefined-length flag).
  void CopyHeaderFrom(const CDicomElement& source);

 private:
  // Ordered so that the element packs into 40 bytes: with its short value
  // inline, one 48-byte allocator chunk per element.
  DicomVR m_vr = 0;
  bool m_undefinedLength = false;
  CValueBuffer m_value;
  uint32_t m_length = 0;
  DicomTag m_tag = 0;
};

static_assert(sizeof(CDicomElement) <= 40, "an element outgrows its allocator chunk");

}  // namespace quillon
