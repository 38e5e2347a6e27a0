/// \file
/// CreatePixelCodec — the one place that knows every codec class, so the
/// base class's own file stays free of the JPEG and RLE code.
#include "pixel/JpegPixelCodec.h"
#include "pixel/PixelCodec.h"
#include "pixel/RlePixelCodec.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

namespace quillon {

std::unique_ptr<CPixelCodec> CreatePixelCodec(CodecKind kind, const std::string& photometric, uint32_t columns,
                                              uint32_t rows, uint32_t bitsAllocated, uint32_t bitsStored,
                                              uint32_t samplesPerPixel, uint32_t planar, int32_t quality) {
  // In 64 bits: both factors come from the file. An absurd value only has to
  // stay absurd, so IsUsable below refuses it.
  // Packed 1-bit grey samples are shown a byte per pixel.
  const bool packedBits = kind == CodecKind::Native && bitsAllocated == 1 && samplesPerPixel == 1;
  const uint64_t bytes = packedBits ? 1 : uint64_t{bitsAllocated} * samplesPerPixel / 8;
  const auto bytesPerPixel = static_cast<uint32_t>(std::min<uint64_t>(bytes, std::numeric_limits<uint32_t>::max()));

  std::unique_ptr<CPixelCodec> codec;
  switch (kind) {
    case CodecKind::Native:
      codec = std::make_unique<CPixelCodec>(photometric, columns, rows, bytesPerPixel, bitsAllocated, bitsStored,
                                            planar);
      break;
    case CodecKind::Jpeg:
      // JPEG frames are always colour-by-pixel: the planar flag does not apply.
      codec = std::make_unique<CJpegPixelCodec>(photometric, columns, rows, bytesPerPixel, bitsAllocated,
                                                bitsStored, quality);
      break;
    case CodecKind::Rle:
      codec = std::make_unique<CRlePixelCodec>(photometric, columns, rows, bytesPerPixel, bitsAllocated,
                                               bitsStored, planar);
      break;
  }
  if (!codec || !codec->IsUsable()) return nullptr;
  return codec;
}

}  // namespace quillon
