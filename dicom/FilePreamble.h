/// \file
/// FilePreamble — the 128 bytes before "DICM" in a media file. Most writers
/// leave them zero, but dual-format files keep a TIFF header there that
/// other programs read the image by; a file read and saved again keeps the
/// bytes it came with.
#pragma once

#include <array>
#include <cstdint>

namespace quillon {

using FilePreamble = std::array<uint8_t, 128>;

}  // namespace quillon
