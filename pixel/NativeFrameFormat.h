/// \file
/// NativeFrameFormat — what one uncompressed frame looks like: the image
/// attributes an Explicit VR Little Endian file would carry for it. A frame
/// decoder is built for the format the header declares and reports the
/// format of what it produces (the same, except for a photometric
/// interpretation the decoding changes, such as YBR_RCT becoming RGB).
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

struct NativeFrameFormat {
  uint32_t columns = 0;
  uint32_t rows = 0;
  uint32_t samplesPerPixel = 1;
  uint32_t bitsAllocated = 8;
  uint32_t bitsStored = 8;
  bool signedSamples = false;
  std::string photometric;

  uint32_t BytesPerSample() const { return bitsAllocated / 8; }
  uint64_t PixelCount() const { return uint64_t{columns} * rows; }
  uint64_t SampleCount() const { return PixelCount() * samplesPerPixel; }
  /// Bytes of one native frame, samples pixel by pixel (Planar
  /// Configuration 0), little endian.
  uint64_t FrameSize() const { return SampleCount() * BytesPerSample(); }
};

}  // namespace quillon
