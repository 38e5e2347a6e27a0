/// \file
/// CRleFrameDecoder — frames of RLE Lossless (1.2.840.10008.1.2.5) of any
/// whole-byte sample size (8, 16 or 32 bits allocated) and 1 or 3 samples
/// per pixel, into native samples. A frame is a 64-byte header (segment
/// count, fifteen segment offsets, little endian) and one PackBits segment
/// per byte plane: for each sample in turn, its most significant byte
/// first. (CRlePixelCodec keeps the 8-bit display path; this is the path to
/// native samples of every depth.)
#pragma once

#include "pixel/FrameDecoder.h"

namespace quillon {

class CRleFrameDecoder : public IFrameDecoder {
 public:
  explicit CRleFrameDecoder(NativeFrameFormat declared) : m_format(std::move(declared)) {}

  const NativeFrameFormat& OutputFormat() const override { return m_format; }
  /// Malformed for a header whose segment count is not samples × bytes
  /// per sample, offsets outside the frame or out of order, or a segment
  /// that decodes to fewer bytes than its plane (bytes beyond the plane, an
  /// encoder's padding, are ignored).
  Status Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const override;

 private:
  NativeFrameFormat m_format;
};

}  // namespace quillon
