/// \file
/// Upsampling by repetition and libjpeg's triangle interpolation, including
/// its rounding (which alternates between the two outputs of an input so
/// that no direction is favoured) and its edges (the first and last
/// samples, and the lines above the first and below the last, repeat).
#include "jpeg/JpegUpsampler.h"

#include <algorithm>
#include <memory>
#include <new>

namespace quillon {

namespace {

/// Horizontal interpolation of `sums` (`width` ≥ 3 input values, each
/// already weighted by `scale`: 1 for a line, 4 for the vertical sums of
/// the 2x2 case) into 2 × width outputs. The rounding terms are libjpeg's:
/// for a line the right output of an input rounds up more than the left
/// one, for the 2x2 case the left one does.
void InterpolateLine(const uint32_t* sums, uint32_t width, uint32_t scale, uint32_t* out) {
  const uint32_t shift = scale == 1 ? 2 : 4;
  const uint32_t leftBias = scale == 1 ? 1 : 8;
  const uint32_t rightBias = scale == 1 ? 2 : 7;
  const uint32_t last = width - 1;
  out[0] = (sums[0] * 4 + leftBias) >> shift;
  out[1] = (sums[0] * 3 + sums[1] + rightBias) >> shift;
  for (uint32_t i = 1; i < last; ++i) {
    out[2 * i] = (sums[i] * 3 + sums[i - 1] + leftBias) >> shift;
    out[2 * i + 1] = (sums[i] * 3 + sums[i + 1] + rightBias) >> shift;
  }
  out[2 * last] = (sums[last] * 3 + sums[last - 1] + leftBias) >> shift;
  out[2 * last + 1] = (sums[last] * 4 + rightBias) >> shift;
}

}  // namespace

Status CJpegUpsampler::Upsample(const uint16_t* plane, uint32_t planeWidth, uint32_t planeHeight,
                                uint32_t horizontalFactor, uint32_t verticalFactor,
                                const JpegComponentTarget& target) {
  // libjpeg interpolates halved widths of more than two samples only, and
  // only where the width is halved.
  const bool interpolate = horizontalFactor == 2 && planeWidth > 2;
  const size_t lineLength = size_t{planeWidth} * 2;
  std::unique_ptr<uint32_t[]> sums(new (std::nothrow) uint32_t[lineLength]);
  std::unique_ptr<uint32_t[]> line(new (std::nothrow) uint32_t[lineLength]);
  if (!sums || !line) return Error(ErrorCode::OutOfMemory, "JPEG decode: no memory for a line of upsampling");

  for (uint32_t y = 0; y < target.height; ++y) {
    const uint32_t row = std::min(y / verticalFactor, planeHeight - 1);
    const uint16_t* in = plane + size_t{row} * planeWidth;
    if (interpolate) {
      if (verticalFactor == 2) {
        // The even output line leans on the input line above, the odd one
        // on the line below; at the image's edges the line itself.
        const uint32_t neighbour = (y & 1) == 0 ? (row == 0 ? 0 : row - 1) : std::min(row + 1, planeHeight - 1);
        const uint16_t* other = plane + size_t{neighbour} * planeWidth;
        for (uint32_t x = 0; x < planeWidth; ++x) sums[x] = uint32_t{in[x]} * 3 + other[x];
        InterpolateLine(sums.get(), planeWidth, 4, line.get());
      } else {
        for (uint32_t x = 0; x < planeWidth; ++x) sums[x] = in[x];
        InterpolateLine(sums.get(), planeWidth, 1, line.get());
      }
    } else {
      for (uint32_t x = 0; x < planeWidth * horizontalFactor; ++x) line[x] = in[x / horizontalFactor];
    }
    const uint32_t width = std::min<uint32_t>(target.width, planeWidth * horizontalFactor);
    for (uint32_t x = 0; x < width; ++x) target.Put(x, y, line[x]);
  }
  return Ok();
}

}  // namespace quillon
