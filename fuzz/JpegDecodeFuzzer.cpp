/// \file
/// libFuzzer entry point for the JPEG frame decoder. The first three bytes
/// choose the image attributes the frame is checked against (columns and
/// rows 1 … 128, one or three samples); the rest is the fragment, decoded
/// into a display bitmap of exactly the display size, so the sanitizers
/// see any write past it. A frame that decodes is then compressed again
/// and must decode with the same codec: our own output failing to read
/// back is a bug even when the input was garbage.
#include "pixel/JpegPixelCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

constexpr size_t kAttributeBytes = 3;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kAttributeBytes) return 0;
  const uint32_t columns = 1u + data[0] % 128u;
  const uint32_t rows = 1u + data[1] % 128u;
  const uint32_t samples = (data[2] & 1u) != 0 ? 3u : 1u;
  quillon::CJpegPixelCodec codec(samples == 3 ? "RGB" : "MONOCHROME2", columns, rows, samples, 8, 8, 0);

  // Exactly the display size, on the heap, so one byte past it is reported.
  const auto displaySize = static_cast<size_t>(codec.DisplaySize());
  auto bitmap = std::make_unique<uint8_t[]>(displaySize);
  if (!codec.Decompress(data + kAttributeBytes, size - kAttributeBytes, bitmap.get())) return 0;

  // A grey frame in a colour image fills only part of the bitmap; the rest
  // is whatever was there, which is still a bitmap to compress.
  // Far above what any 8-bit baseline frame of this size can take, so a
  // failure here is never the buffer's.
  const size_t capacity = displaySize * 8 + 65536;
  auto frame = std::make_unique<uint8_t[]>(capacity);
  uint64_t length = 0;
  if (!codec.Compress(bitmap.get(), frame.get(), capacity, length)) {
    std::fprintf(stderr, "a decoded %ux%u bitmap does not compress: %s\n", columns, rows, codec.LastError().c_str());
    __builtin_trap();
  }
  if (!codec.Decompress(frame.get(), length, bitmap.get())) {
    std::fprintf(stderr, "our own %ux%u frame does not decode: %s\n", columns, rows, codec.LastError().c_str());
    __builtin_trap();
  }
  return 0;
}
