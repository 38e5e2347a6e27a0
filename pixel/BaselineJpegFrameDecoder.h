/// \file
/// CBaselineJpegFrameDecoder — frames of JPEG Baseline (1.2.840.10008.1.2.4.50)
/// into native samples, for decompressing a whole file on all cores: the
/// display path decodes one frame at a time into a display bitmap, which
/// holds a decompression to one core.
///
/// Its samples are the display path's, byte for byte (the same baseline
/// codec, the same colour conversion): grey frames as coded, colour frames
/// as RGB, with the components of an RGB image taken as red, green and blue
/// unless the frame's markers say YCbCr. Only 8-bit unsigned images of one
/// or three samples are its to decode.
#pragma once

#include "pixel/FrameDecoder.h"

namespace quillon {

class CBaselineJpegFrameDecoder : public IFrameDecoder {
 public:
  explicit CBaselineJpegFrameDecoder(NativeFrameFormat declared);

  /// True for the images this decoder gives the display path's samples for.
  static bool Decodes(const NativeFrameFormat& format);

  const NativeFrameFormat& OutputFormat() const override { return m_format; }
  /// Thread-safe: each call has a codec of its own.
  Status Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const override;

 private:
  NativeFrameFormat m_format;
  bool m_componentsDeclaredRgb;
};

}  // namespace quillon
