/// \file
/// CNativeColourFrameDecoder — uncompressed colour frames of 16 or 32 bits
/// a sample, as the frame decoders give theirs: pixel by pixel (a frame
/// stored plane by plane is interleaved), little endian, every bit as
/// stored. The display codecs show colour a byte a sample; through this
/// decoder such frames take the path of decoded wide colour frames (RLE,
/// JPEG 2000), which shows the top eight of the Bits Stored bits.
#pragma once

#include "pixel/FrameDecoder.h"

namespace quillon {

class CNativeColourFrameDecoder : public IFrameDecoder {
 public:
  /// `planar`: the frame is stored plane by plane (Planar Configuration 1).
  CNativeColourFrameDecoder(NativeFrameFormat declared, bool planar);

  const NativeFrameFormat& OutputFormat() const override { return m_format; }
  /// Malformed for a stored frame shorter than the format's FrameSize().
  Status Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const override;

 private:
  NativeFrameFormat m_format;
  bool m_planar;
};

}  // namespace quillon
