/// \file
/// CJpegLsFrameDecoder — frames of JPEG-LS lossless and near-lossless
/// (1.2.840.10008.1.2.4.80 and .81) through CharLS, into native samples.
/// CharLS gives the components plane by plane when the stream codes them
/// so; they are interleaved here, as native frames are colour by pixel.
#pragma once

#include "pixel/FrameDecoder.h"

namespace quillon {

class CJpegLsFrameDecoder : public IFrameDecoder {
 public:
  explicit CJpegLsFrameDecoder(NativeFrameFormat declared) : m_format(std::move(declared)) {}

  const NativeFrameFormat& OutputFormat() const override { return m_format; }
  /// CharLS's own message for damaged data, as Malformed.
  Status Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const override;

 private:
  NativeFrameFormat m_format;
};

}  // namespace quillon
