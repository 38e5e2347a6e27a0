/// \file
/// The scalar types every part of the library speaks in: tags, VR codes,
/// transfer modes and the status codes returned by library operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

/// A data element tag: group in the high 16 bits, element in the low 16
/// bits, so numeric order is group-then-element order.
using DicomTag = uint32_t;

/// A value representation code: the two VR letters, first letter in the low
/// byte, so the code in little-endian memory spells the VR as an explicit-VR
/// stream carries it ("SQ" is 0x5153).
using DicomVR = uint16_t;

/// An ordered list of tags (the result of the sorted-tag queries).
using TagArray = std::vector<DicomTag>;

constexpr DicomTag MakeTag(uint16_t group, uint16_t element) {
  return (static_cast<DicomTag>(group) << 16) | element;
}
constexpr uint16_t TagGroup(DicomTag tag) { return static_cast<uint16_t>(tag >> 16); }
constexpr uint16_t TagElement(DicomTag tag) { return static_cast<uint16_t>(tag & 0xFFFFu); }

constexpr DicomVR MakeVR(char first, char second) {
  return static_cast<DicomVR>(static_cast<unsigned char>(first) |
                              (static_cast<unsigned char>(second) << 8));
}

/// How the data set after the file meta group is encoded. The meta group
/// itself is always explicit VR little endian.
enum class TransferMode : uint32_t {
  ImplicitLittleEndian = 0,
  ExplicitLittleEndian = 1,  ///< also every compressed transfer syntax
  ExplicitBigEndian = 2,
};

/// The status numbers of the element and data set getters (GetString,
/// GetUInt16, GetElement, RemoveElement, ...), which callers compare
/// against. Everything else in the library says whether it failed, and why,
/// with a Status (base/Result.h), whose ErrorCode shares these numbers.
enum class DicomStatus : uint32_t {
  /// The operation failed (a wrong argument).
  Failure = 0,
  /// The operation did what was asked.
  Success = 1,
  /// Kept for its number: the reader once stopped at a skipped Pixel Data
  /// value with it; it now steps over the value and goes on.
  PixelDataStored = 2,
  /// There is no value to read (GetNumber of an element without value).
  EndOfStream = 3,
  /// The requested element is absent.
  NotPresent = 4,
  /// The element exists but is of another kind (too short, or not a
  /// sequence).
  WrongKind = 5,
};

namespace tags {
constexpr DicomTag kMediaStorageSopClassUid = 0x00020002;
constexpr DicomTag kMediaStorageSopInstanceUid = 0x00020003;
constexpr DicomTag kTransferSyntaxUid = 0x00020010;
constexpr DicomTag kSopClassUid = 0x00080016;
constexpr DicomTag kSopInstanceUid = 0x00080018;
constexpr DicomTag kImageType = 0x00080008;
// The image pixel description the pixel code reads and rewrites.
constexpr DicomTag kSamplesPerPixel = 0x00280002;
constexpr DicomTag kPhotometricInterpretation = 0x00280004;
constexpr DicomTag kPlanarConfiguration = 0x00280006;
constexpr DicomTag kNumberOfFrames = 0x00280008;
constexpr DicomTag kRows = 0x00280010;
constexpr DicomTag kColumns = 0x00280011;
constexpr DicomTag kBitsAllocated = 0x00280100;
constexpr DicomTag kBitsStored = 0x00280101;
constexpr DicomTag kHighBit = 0x00280102;
constexpr DicomTag kPixelRepresentation = 0x00280103;
constexpr DicomTag kLossyImageCompression = 0x00282110;
constexpr DicomTag kLossyImageCompressionRatio = 0x00282112;
constexpr DicomTag kLossyImageCompressionMethod = 0x00282114;
constexpr DicomTag kPixelData = 0x7FE00010;
constexpr DicomTag kItem = 0xFFFEE000;
constexpr DicomTag kItemDelimitation = 0xFFFEE00D;
constexpr DicomTag kSequenceDelimitation = 0xFFFEE0DD;
}  // namespace tags

namespace uids {
constexpr const char* kImplicitVrLittleEndian = "1.2.840.10008.1.2";
constexpr const char* kExplicitVrLittleEndian = "1.2.840.10008.1.2.1";
constexpr const char* kExplicitVrBigEndian = "1.2.840.10008.1.2.2";
/// Explicit VR little endian, the data set after the meta group deflated.
constexpr const char* kDeflatedExplicitVrLittleEndian = "1.2.840.10008.1.2.1.99";
}  // namespace uids

/// True for the syntaxes whose pixel data is a plain value of native
/// samples (the three uncompressed ones and the deflated one), false for
/// those that hold compressed fragments.
bool IsNativePixelSyntax(const std::string& transferSyntaxUid);

/// The transfer mode a transfer syntax UID selects: implicit and big endian
/// by their UIDs, explicit little endian for everything else.
TransferMode TransferModeForSyntax(const std::string& transferSyntaxUid);

}  // namespace quillon
