// Byte buffers for the codec tests: a display-sized buffer filled with a
// sentinel, so a conversion that writes where it must not is seen.
#pragma once

#include "pixel/PixelCodec.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace quillon::test {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kSentinel = 0xA5;
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();

inline Bytes DisplayBuffer(const CPixelCodec& codec, uint8_t fill = kSentinel) {
  return Bytes(static_cast<size_t>(codec.DisplaySize()), fill);
}

}  // namespace quillon::test
