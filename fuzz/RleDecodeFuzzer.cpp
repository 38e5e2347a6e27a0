/// \file
/// libFuzzer entry point for the RLE frame decoder. The first four bytes
/// choose the image: columns and rows (1 to 64 each), the photometric
/// interpretation (grey, RGB by pixel or by plane, YBR_FULL by plane, and
/// YBR_FULL by pixel, which RLE codes by plane all the same, and 16-bit grey,
/// which the decoder must refuse) and
/// whether an accepted frame is coded again. The rest is the stored frame, copied into a
/// block of exactly its size so that any read past it is caught. The bitmap
/// is exactly DisplaySize() bytes for the same reason. The bitmap of an
/// accepted frame, coded again, must decode back unchanged (up to the
/// colour transform for YBR_FULL).
#include "pixel/RlePixelCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

namespace {

using quillon::CRlePixelCodec;

struct Image {
  const char* photometric;
  uint32_t bytesPerPixel;
  uint32_t bitsAllocated;
  uint32_t planar;
};

// The decoder handles all but 16-bit grey, which it refuses.
constexpr Image kImages[] = {
    {"MONOCHROME2", 1, 8, 0}, {"RGB", 3, 8, 0},         {"RGB", 3, 8, 1},          {"YBR_FULL", 3, 8, 1},
    {"MONOCHROME1", 1, 8, 0}, {"PALETTE COLOR", 1, 8, 0}, {"MONOCHROME2", 2, 16, 0}, {"YBR_FULL", 3, 8, 0},
};

void CheckRecode(CRlePixelCodec& codec, const uint8_t* bitmap) {
  const uint64_t capacity = 2 * codec.DisplaySize() + 1024;
  auto frame = std::make_unique<uint8_t[]>(capacity);
  uint64_t length = 0;
  if (!codec.Compress(bitmap, frame.get(), capacity, length)) __builtin_trap();
  auto again = std::make_unique<uint8_t[]>(codec.DisplaySize());
  std::memcpy(again.get(), bitmap, codec.DisplaySize());
  if (!codec.Decompress(frame.get(), length, again.get())) __builtin_trap();
  // YBR_FULL goes through a lossy colour transform; the others are exact.
  const bool exact = codec.Photometric() != "YBR_FULL";
  if (exact && std::memcmp(again.get(), bitmap, codec.DisplaySize()) != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint32_t columns = 1 + data[0] % 64;
  const uint32_t rows = 1 + data[1] % 64;
  const Image& image = kImages[data[2] % std::size(kImages)];
  const bool recode = (data[3] & 1) != 0;
  CRlePixelCodec codec(image.photometric, columns, rows, image.bytesPerPixel, image.bitsAllocated,
                       image.bitsAllocated, image.planar);

  const size_t storedLength = size - 4;
  auto stored = std::make_unique<uint8_t[]>(storedLength == 0 ? 1 : storedLength);
  if (storedLength != 0) std::memcpy(stored.get(), data + 4, storedLength);
  auto bitmap = std::make_unique<uint8_t[]>(codec.DisplaySize());
  std::memset(bitmap.get(), 0, codec.DisplaySize());
  if (codec.Decompress(stored.get(), storedLength, bitmap.get()) && recode) CheckRecode(codec, bitmap.get());
  return 0;
}
