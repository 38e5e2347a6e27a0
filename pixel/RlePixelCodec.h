/// \file
/// CRlePixelCodec — one frame of the RLE Lossless transfer syntax
/// (1.2.840.10008.1.2.5, DICOM PS3.5 Annex G) to and from a display bitmap.
/// A frame is a 64-byte header (segment count, then fifteen 32-bit segment
/// offsets, little endian) followed by one PackBits-coded segment per 8-bit
/// sample plane, each padded to an even length. 16-bit samples are neither
/// produced nor accepted.
///
/// The frame read from a file is untrusted: the decoder checks the header
/// against the image geometry and never reads past the stored length or
/// writes past a sample plane.
#pragma once

#include "pixel/PixelCodec.h"

#include <cstdint>
#include <string>

namespace quillon {

class CRlePixelCodec : public CPixelCodec {
 public:
  /// Size of the frame header: the segment count and fifteen offsets.
  static constexpr uint32_t kHeaderSize = 64;
  /// Most segments the header has room for.
  static constexpr uint32_t kMaxSegments = 15;
  /// EncodeRow's `nextRowFirst` for the last row of a plane.
  static constexpr int kNoNextRow = -1;

  CRlePixelCodec(std::string photometric, uint32_t columns, uint32_t rows, uint32_t bytesPerPixel,
                 uint32_t bitsAllocated, uint32_t bitsStored, uint32_t planar);
  ~CRlePixelCodec() override;

  /// Display bitmap → RLE frame in `out`, its length in `outLength`. The
  /// bitmap is laid out as sample planes in the work buffer first: one
  /// byte per pixel by row reversal, YBR_FULL colour-by-plane as Y, Cb, Cr
  /// planes, any other format as red, green, blue planes (which needs three
  /// bytes per pixel). False, with nothing written past `outCapacity` and
  /// `outLength` unchanged, when the bitmap cannot be laid out, the work
  /// buffer cannot be had, or the frame does not fit in `outCapacity` (a
  /// tiny image can need more than twice its display size: a 1 × 1 grey
  /// frame takes 66 bytes).
  [[nodiscard]] bool Compress(const uint8_t* bitmap, uint8_t* out, uint64_t outCapacity,
                              uint64_t& outLength) override;
  /// RLE frame of `storedLength` bytes → display bitmap of DisplaySize()
  /// bytes. False for a frame shorter than its header; a segment count
  /// other than the planes the bitmap is made of (1 for one byte per pixel,
  /// 3 for RGB and YBR_FULL colour-by-plane; other formats, 16-bit grey
  /// among them, are not decoded); a first offset inside the header;
  /// offsets that do not increase or reach past the frame; or a segment
  /// whose data, which ends at the next segment's offset (the last at the
  /// end of the frame), runs out before its plane is full. Data left in a
  /// segment once its plane is full (the pad byte, say) is ignored.
  [[nodiscard]] bool Decompress(const uint8_t* stored, uint64_t storedLength, uint8_t* bitmap) override;
  bool IsCompressed() const override { return true; }

  /// PackBits-codes one row of `width` bytes into `out` and returns the
  /// number of bytes written; 0 when `width` is 0 or the code does not fit
  /// in `capacity`. Runs never span rows, but a literal run is ended before
  /// the row's last byte when that byte equals `nextRowFirst`, the first
  /// byte of the plane's next row (kNoNextRow for a plane's last row), so
  /// the pair can start a repeat run there. Either choice is a valid
  /// encoding of the row; this one keeps the coded bytes of a frame fixed,
  /// which the tests and any stored frame compare byte for byte.
  static uint64_t EncodeRow(const uint8_t* row, uint32_t width, int nextRowFirst, uint8_t* out,
                            uint64_t capacity);
  /// Decodes one segment of `length` bytes into a plane of `planeSize`
  /// bytes. True once the plane is full; false when the segment's data
  /// runs out first. Never reads past `length` or writes past `planeSize`.
  static bool DecodeSegment(const uint8_t* segment, uint64_t length, uint8_t* plane, uint64_t planeSize);

 private:
  /// The number of sample planes a decoded frame must hold for this
  /// codec's format, or 0 when the format cannot be decoded.
  bool IsYbrFull() const;
  uint32_t DecodablePlanes() const;
};

}  // namespace quillon
