/// \file
/// CLosslessJpegFrameEncoder — native frames into JPEG Lossless,
/// First-Order Prediction (1.2.840.10008.1.2.4.70) through our own
/// CLosslessJpegEncoder: 8 or 16 bits allocated, 1 or 3 samples, colour as
/// it is (no colour transform, so the photometric interpretation stays).
/// Samples are coded as their Bits Stored bits: the bit pattern of a signed
/// sample, as the file stores it below its sign extension, which is what
/// every lossless JPEG decoder gives back.
#pragma once

#include "base/Result.h"
#include "pixel/FrameEncoder.h"

#include <memory>

namespace quillon {

class CLosslessJpegFrameEncoder : public IFrameEncoder {
 public:
  /// The encoder for `format`; WrongKind, saying why, when lossless JPEG
  /// cannot hold it (Bits Allocated other than 8 or 16, Bits Stored above
  /// 16 or Bits Allocated, samples other than 1 or 3, an empty image or one
  /// wider or taller than 65535).
  [[nodiscard]] static Result<std::unique_ptr<IFrameEncoder>> Create(const NativeFrameFormat& format);

  const EncodedImageDescription& Description() const override { return m_description; }
  [[nodiscard]] Status Encode(const uint8_t* native, uint64_t length, std::vector<uint8_t>& encoded) const override;

 private:
  explicit CLosslessJpegFrameEncoder(const NativeFrameFormat& format);

  NativeFrameFormat m_format;
  EncodedImageDescription m_description;
};

}  // namespace quillon
