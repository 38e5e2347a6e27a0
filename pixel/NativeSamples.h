/// \file
/// Helpers every frame decoder shares: the check of what an encoded frame
/// declares against the format the header gave, before anything is
/// written, and little-endian stores of one native sample.
#pragma once

#include "base/Result.h"
#include "pixel/NativeFrameFormat.h"

#include <cstdint>
#include <string>

namespace quillon {

/// Ok when an encoded frame of `width` × `height` pixels, `components`
/// components of `precision` bits fits `format` exactly (the precision may
/// be below Bits Allocated, never above); WrongKind naming the mismatch
/// otherwise. `codec` names the coding in the message ("JPEG-LS").
[[nodiscard]] inline Status CheckDecodedGeometry(const NativeFrameFormat& format, uint64_t width, uint64_t height,
                                                 uint64_t components, uint64_t precision, const char* codec) {
  if (width != format.columns || height != format.rows || components != format.samplesPerPixel) {
    return Error(ErrorCode::WrongKind,
                 std::string(codec) + " frame of " + std::to_string(width) + "x" + std::to_string(height) + " with " +
                     std::to_string(components) + " components where the image attributes say " +
                     std::to_string(format.columns) + "x" + std::to_string(format.rows) + " with " +
                     std::to_string(format.samplesPerPixel) + " samples per pixel");
  }
  if (precision == 0 || precision > format.bitsAllocated) {
    return Error(ErrorCode::WrongKind, std::string(codec) + " frame of " + std::to_string(precision) +
                                           " bits per sample where Bits Allocated is " +
                                           std::to_string(format.bitsAllocated));
  }
  return Ok();
}

/// Ok when `capacity` holds a native frame of `format`.
[[nodiscard]] inline Status CheckNativeCapacity(const NativeFrameFormat& format, const uint8_t* native,
                                                uint64_t capacity) {
  if (native == nullptr || capacity < format.FrameSize()) {
    return Error(ErrorCode::Failure, "the native frame buffer holds " + std::to_string(capacity) + " bytes of " +
                                         std::to_string(format.FrameSize()));
  }
  return Ok();
}

/// Stores the low `bytes` bytes of `value` at `at`, least significant first.
inline void StoreSample(uint8_t* at, uint32_t bytes, uint32_t value) {
  for (uint32_t b = 0; b < bytes; ++b) at[b] = static_cast<uint8_t>(value >> (8 * b));
}

}  // namespace quillon
