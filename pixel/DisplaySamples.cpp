#include "pixel/DisplaySamples.h"

#include "base/ByteOrder.h"

#include <algorithm>
#include <limits>

namespace quillon {

NativeFrameFormat DisplayFormatFor(const NativeFrameFormat& decoded) {
  NativeFrameFormat shown = decoded;
  if (decoded.samplesPerPixel == 3 && decoded.bitsAllocated > 8) {
    shown.bitsAllocated = shown.bitsStored = 8;
    shown.signedSamples = false;
  } else if (decoded.samplesPerPixel == 1 && decoded.bitsAllocated == 32) {
    shown.bitsAllocated = shown.bitsStored = 16;
    shown.signedSamples = false;
  }
  return shown;
}

void ReduceForDisplay(const NativeFrameFormat& decoded, const uint8_t* native, uint8_t* display) {
  const uint64_t count = decoded.SampleCount();
  const uint32_t bytes = decoded.BytesPerSample();
  const auto load = [&](uint64_t i) -> uint32_t {
    return bytes == 2 ? LoadU16(native + 2 * i, false) : LoadU32(native + 4 * i, false);
  };
  if (decoded.samplesPerPixel == 3) {
    const uint32_t shift = decoded.bitsStored > 8 ? decoded.bitsStored - 8 : 0;
    const uint32_t mask = decoded.bitsStored >= 32 ? 0xFFFFFFFFu : (1u << decoded.bitsStored) - 1;
    for (uint64_t i = 0; i < count; ++i) display[i] = static_cast<uint8_t>((load(i) & mask) >> shift);
    return;
  }
  // 32-bit grey: the frame's range over 0 … 65535.
  const auto value = [&](uint64_t i) -> int64_t {
    const uint32_t raw = load(i);
    return decoded.signedSamples ? int64_t{static_cast<int32_t>(raw)} : int64_t{raw};
  };
  int64_t low = std::numeric_limits<int64_t>::max();
  int64_t high = std::numeric_limits<int64_t>::min();
  for (uint64_t i = 0; i < count; ++i) {
    low = std::min(low, value(i));
    high = std::max(high, value(i));
  }
  const int64_t range = std::max<int64_t>(high - low, 1);
  for (uint64_t i = 0; i < count; ++i) {
    StoreU16(display + 2 * i, static_cast<uint16_t>((value(i) - low) * 65535 / range), false);
  }
}

}  // namespace quillon
