/// \file
/// CRleFrameEncoder — native frames of any whole-byte sample size (8, 16 or
/// 32 bits allocated) and 1 or 3 samples per pixel into RLE Lossless
/// (1.2.840.10008.1.2.5) frames: a 64-byte header (segment count, fifteen
/// segment offsets, little endian), then one PackBits segment per byte
/// plane — for each sample in turn its most significant byte first — each
/// padded to an even length. The mirror of CRleFrameDecoder; rows are coded
/// by CRlePixelCodec::EncodeRow, so both paths write the same bytes for an
/// 8-bit plane.
#pragma once

#include "base/Result.h"
#include "pixel/FrameEncoder.h"

#include <memory>

namespace quillon {

class CRleFrameEncoder : public IFrameEncoder {
 public:
  /// The encoder for `format`; WrongKind, saying why, when RLE cannot hold
  /// it (Bits Allocated not 8, 16 or 32, samples other than 1 or 3, more
  /// than 15 byte planes, an empty image).
  [[nodiscard]] static Result<std::unique_ptr<IFrameEncoder>> Create(const NativeFrameFormat& format);

  const EncodedImageDescription& Description() const override { return m_description; }
  /// Failure for a frame of another length than the format's FrameSize().
  [[nodiscard]] Status Encode(const uint8_t* native, uint64_t length, std::vector<uint8_t>& encoded) const override;

 private:
  explicit CRleFrameEncoder(const NativeFrameFormat& format);

  NativeFrameFormat m_format;
  EncodedImageDescription m_description;
};

}  // namespace quillon
