// Byte buffers for the codec tests: a display-sized buffer filled with a
// sentinel, so a conversion that writes where it must not is seen, and
// frames and bitmaps in heap blocks of exactly their size, so the
// sanitizers see a byte read or written past them.
#pragma once

#include "pixel/PixelCodec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace quillon::test {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kSentinel = 0xA5;
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();

inline Bytes DisplayBuffer(const CPixelCodec& codec, uint8_t fill = kSentinel) {
  return Bytes(static_cast<size_t>(codec.DisplaySize()), fill);
}

struct Exact {
  explicit Exact(const Bytes& bytes) : size(bytes.size()), data(std::make_unique<uint8_t[]>(bytes.size())) {
    if (size != 0) std::memcpy(data.get(), bytes.data(), size);
  }
  Bytes Copy() const { return Bytes(data.get(), data.get() + size); }
  uint64_t size;
  std::unique_ptr<uint8_t[]> data;
};

/// The frame `codec` makes of `bitmap`, given room enough.
inline Bytes CompressFrame(CPixelCodec& codec, const Bytes& bitmap) {
  Bytes out(2 * codec.DisplaySize() + 4096);
  uint64_t length = 0;
  EXPECT_TRUE(codec.Compress(bitmap.data(), out.data(), out.size(), length));
  out.resize(length);
  return out;
}

/// Decompresses `frame` from an exact block into an exact display-sized
/// block filled with the sentinel, which `bitmap` then holds.
inline bool DecompressFrame(CPixelCodec& codec, const Bytes& frame, Bytes& bitmap) {
  const Exact stored(frame);
  const Exact target(DisplayBuffer(codec));
  const bool ok = codec.Decompress(stored.data.get(), stored.size, target.data.get());
  bitmap = target.Copy();
  return ok;
}

}  // namespace quillon::test
