/// \file
/// Saving one display bitmap as an image file a person can open: BMP (the
/// bitmap's own layout) or PNG (true colour, written with stored deflate
/// blocks so no compression library is needed).
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

struct BitmapInfo;

/// Writes `bitmap` (bottom-up rows of `alignedColumns` pixels of
/// info.bitCount bits, 8-bit pixels through info's palette) to `path`, as
/// PNG when the path ends in ".png" (any case), else as BMP. The file is
/// written through a temporary file. False with the reason in `error`.
bool WriteFrameImage(const std::string& path, const BitmapInfo& info, uint32_t alignedColumns,
                     const uint8_t* bitmap, std::string& error);

}  // namespace quillon
