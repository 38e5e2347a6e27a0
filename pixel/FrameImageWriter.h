/// \file
/// Saving one display bitmap as an image file a person can open: BMP (the
/// bitmap's own layout) or PNG (true colour, written with stored deflate
/// blocks so no compression library is needed).
#pragma once

#include "base/Result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

struct BitmapInfo;

/// The display bitmap `bitmap` (bottom-up rows of `alignedColumns` pixels
/// of info.bitCount bits, 8-bit pixels through info's palette) as top-down
/// rows of red, green and blue bytes, info.width pixels a row: what a screen
/// or an image file shows.
std::vector<uint8_t> BitmapToRgbRows(const BitmapInfo& info, uint32_t alignedColumns, const uint8_t* bitmap);

/// Writes `bitmap` (bottom-up rows of `alignedColumns` pixels of
/// info.bitCount bits, 8-bit pixels through info's palette) to `path`, as
/// PNG when the path ends in ".png" (any case), else as BMP. The file is
/// written through a temporary file.
Status WriteFrameImage(const std::string& path, const BitmapInfo& info, uint32_t alignedColumns,
                       const uint8_t* bitmap);

}  // namespace quillon
