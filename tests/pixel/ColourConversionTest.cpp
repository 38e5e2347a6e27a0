// The colour tables and the colour conversions between stored frames (RGB
// or YBR_FULL, by pixel or by plane) and 24-bit bottom-up display bitmaps:
// exact table entries, the known colours, the sample layouts, the padding
// pixels of 5-column rows, and round trips.
#include "pixel/ColourTables.h"
#include "pixel/PixelCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

using namespace quillon;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kSentinel = 0x5A;

struct Rgb {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

// A 5 × 2 codec: stored rows of 15 bytes, bitmap rows of 24 bytes of which
// the last 9 are padding.
CPixelCodec FiveByTwo(const char* photometric, uint32_t planar = 0) {
  return CPixelCodec(photometric, 5, 2, 3, 8, 8, planar);
}

Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// Offset of sample `s` of pixel (row, column) in a stored colour frame.
size_t StoredOffset(const CPixelCodec& codec, size_t row, size_t column, size_t s, bool byPlane) {
  const size_t width = codec.Columns();
  if (byPlane) return s * width * codec.Rows() + row * width + column;
  return (row * width + column) * 3 + s;
}

// Offset of the blue byte of image pixel (row, column) in the bitmap.
size_t BitmapOffset(const CPixelCodec& codec, size_t row, size_t column) {
  return ((codec.Rows() - 1 - row) * codec.AlignedColumns() + column) * 3;
}

// Writes one colour into every pixel of a stored frame.
Bytes UniformStored(const CPixelCodec& codec, uint8_t s0, uint8_t s1, uint8_t s2, bool byPlane) {
  Bytes stored(codec.DisplaySize(), kSentinel);
  for (size_t row = 0; row < codec.Rows(); ++row) {
    for (size_t c = 0; c < codec.Columns(); ++c) {
      stored[StoredOffset(codec, row, c, 0, byPlane)] = s0;
      stored[StoredOffset(codec, row, c, 1, byPlane)] = s1;
      stored[StoredOffset(codec, row, c, 2, byPlane)] = s2;
    }
  }
  return stored;
}

Bytes UniformBitmap(const CPixelCodec& codec, Rgb colour) {
  Bytes bitmap(codec.DisplaySize(), kSentinel);
  for (size_t row = 0; row < codec.Rows(); ++row) {
    for (size_t c = 0; c < codec.Columns(); ++c) {
      const size_t at = BitmapOffset(codec, row, c);
      bitmap[at] = colour.blue;
      bitmap[at + 1] = colour.green;
      bitmap[at + 2] = colour.red;
    }
  }
  return bitmap;
}

void ExpectPaddingUntouched(const CPixelCodec& codec, const Bytes& bitmap) {
  const size_t stride = size_t{codec.AlignedColumns()} * 3;
  for (size_t row = 0; row < codec.Rows(); ++row) {
    for (size_t i = size_t{codec.Columns()} * 3; i < stride; ++i) {
      EXPECT_EQ(bitmap[row * stride + i], kSentinel) << "row " << row << " byte " << i;
    }
  }
}

// ---- Tables ----

// The inverse tables, (i − 128) × coefficient, at both ends and the middle.
TEST(ColourTables, InverseEntries) {
  const ColourTables& t = GetColourTables();
  EXPECT_EQ(t.redFromCr[255], 178);
  EXPECT_EQ(t.blueFromCb[255], 225);
  EXPECT_EQ(t.greenFromCb[255], -44);
  EXPECT_EQ(t.greenFromCr[255], -91);
  EXPECT_EQ(t.redFromCr[128], 0);
  EXPECT_EQ(t.greenFromCb[128], 0);
  EXPECT_EQ(t.redFromCr[0], -179);   // −128 × 1.402 = −179.456
  EXPECT_EQ(t.blueFromCb[0], -227);  // −128 × 1.772 = −226.816
  EXPECT_EQ(t.greenFromCb[0], 44);
  EXPECT_EQ(t.greenFromCr[0], 91);
}

// Forward entries are i × coefficient rounded half away from zero, plus 128
// in the Cb-from-blue and Cr-from-red tables (so white's Cb is 129, not 128).
// They may equally be formed by adding the coefficient up in single
// precision; every way gives the same tables.
TEST(ColourTables, ForwardEntriesAreRoundedProducts) {
  auto round = [](double v) { return static_cast<int>(v > 0 ? v + 0.5 : v < 0 ? v - 0.5 : 0); };
  struct Table {
    const ColourTable* table;
    float coefficient;
    int offset;
  };
  const ColourTables& t = GetColourTables();
  const Table tables[] = {
      {&t.yFromRed, 0.299f, 0},        {&t.yFromGreen, 0.587f, 0},   {&t.yFromBlue, 0.114f, 0},
      {&t.cbFromRed, -0.1687f, 0},     {&t.cbFromGreen, -0.3313f, 0}, {&t.cbFromBlue, 0.5f, 128},
      {&t.crFromRed, 0.5f, 128},       {&t.crFromGreen, -0.4187f, 0}, {&t.crFromBlue, -0.0813f, 0},
  };
  for (const Table& table : tables) {
    float sum = 0;
    for (size_t i = 0; i < 256; ++i) {
      EXPECT_EQ((*table.table)[i], round(sum) + table.offset) << table.coefficient << " entry " << i;
      EXPECT_EQ((*table.table)[i], round(static_cast<double>(i) * table.coefficient) + table.offset);
      sum += table.coefficient;
    }
  }
}

// ---- Known colours ----

TEST(ColourConversion, KnownColoursBecomeExactYbr) {
  const struct {
    const char* what;
    Rgb colour;
    uint8_t y, cb, cr;
  } cases[] = {
      {"white", {255, 255, 255}, 255, 129, 128},
      {"black", {0, 0, 0}, 0, 128, 128},
      {"pure blue saturates Cb (0 + 0 + 256); Cr = 128 - 21", {0, 0, 255}, 29, 255, 107},
  };
  for (const auto& c : cases) {
    for (bool byPlane : {false, true}) {
      CPixelCodec codec = FiveByTwo("YBR_FULL", byPlane ? 1 : 0);
      const Bytes bitmap = UniformBitmap(codec, c.colour);
      Bytes stored(codec.DisplaySize(), kSentinel);
      ASSERT_TRUE(codec.BitmapToYbr(bitmap.data(), stored.data(), byPlane));
      EXPECT_EQ(stored, UniformStored(codec, c.y, c.cb, c.cr, byPlane)) << c.what << ", by plane " << byPlane;
    }
  }
}

TEST(ColourConversion, KnownYbrBecomesExactColours) {
  const struct {
    const char* what;
    uint8_t y, cb, cr;
    Rgb colour;
  } cases[] = {
      {"black", 0, 128, 128, {0, 0, 0}},
      {"full luma with neutral chroma is white", 255, 128, 128, {255, 255, 255}},
      // red = 0 + 178, blue = 0 + 225, green = 0 − 44 − 91 = −135 → 0.
      {"saturated chroma clamps green to 0", 0, 255, 255, {178, 0, 225}},
      // red = 200 − 179 = 21; green = 200 − 44 + 91 = 247; blue = 200 + 225 → 255.
      {"bright saturated chroma clamps blue to 255", 200, 255, 0, {21, 247, 255}},
  };
  for (const auto& c : cases) {
    for (bool byPlane : {false, true}) {
      CPixelCodec codec = FiveByTwo("YBR_FULL", byPlane ? 1 : 0);
      const Bytes stored = UniformStored(codec, c.y, c.cb, c.cr, byPlane);
      Bytes bitmap(codec.DisplaySize(), kSentinel);
      ASSERT_TRUE(codec.YbrToBitmap(stored.data(), bitmap.data(), byPlane));
      EXPECT_EQ(bitmap, UniformBitmap(codec, c.colour)) << c.what << ", by plane " << byPlane;
    }
  }
}

// ---- Layouts ----

TEST(ColourConversion, RgbLandsBottomUpInBlueGreenRedOrder) {
  for (bool byPlane : {false, true}) {
    CPixelCodec codec = FiveByTwo("RGB", byPlane ? 1 : 0);
    const Bytes stored = RandomBytes(30, byPlane ? 2 : 1);
    Bytes bitmap(codec.DisplaySize(), kSentinel);
    ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
    for (size_t row = 0; row < 2; ++row) {
      for (size_t c = 0; c < 5; ++c) {
        const size_t at = BitmapOffset(codec, row, c);
        for (size_t s = 0; s < 3; ++s) {
          EXPECT_EQ(bitmap[at + 2 - s], stored[StoredOffset(codec, row, c, s, byPlane)])
              << "by plane " << byPlane << ", row " << row << ", column " << c << ", sample " << s;
        }
      }
    }
    ExpectPaddingUntouched(codec, bitmap);
  }
}

TEST(ColourConversion, DecompressAndCompressDispatchYbrByLayout) {
  for (uint32_t planar : {0u, 1u}) {
    CPixelCodec codec = FiveByTwo("YBR_FULL", planar);
    const Bytes stored = RandomBytes(30, 3);
    Bytes viaDecompress(codec.DisplaySize(), kSentinel);
    Bytes direct(codec.DisplaySize(), kSentinel);
    ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), viaDecompress.data()));
    ASSERT_TRUE(codec.YbrToBitmap(stored.data(), direct.data(), planar != 0));
    EXPECT_EQ(viaDecompress, direct);
    ExpectPaddingUntouched(codec, viaDecompress);

    Bytes viaCompress(codec.DisplaySize(), kSentinel);
    Bytes directStored(codec.DisplaySize(), kSentinel);
    uint64_t length = 0;
    ASSERT_TRUE(codec.Compress(direct.data(), viaCompress.data(), viaCompress.size(), length));
    EXPECT_EQ(length, 30u);  // stored frame size
    ASSERT_TRUE(codec.BitmapToYbr(direct.data(), directStored.data(), planar != 0));
    EXPECT_EQ(viaCompress, directStored);
  }
}

// ---- Padding and buffer bounds ----

TEST(ColourConversion, PaddingPixelsAreNotReadAndStoredFrameIsNotOverrun) {
  for (bool byPlane : {false, true}) {
    CPixelCodec codec = FiveByTwo("RGB", byPlane ? 1 : 0);
    Bytes clean = RandomBytes(48, 5);
    Bytes noisy = clean;
    for (size_t row = 0; row < 2; ++row) {
      for (size_t i = 15; i < 24; ++i) {
        clean[row * 24 + i] = 0;
        noisy[row * 24 + i] = static_cast<uint8_t>(0xFF - i);
      }
    }
    // The stored frame is exactly 30 bytes; anything past it would be caught.
    Bytes fromClean(30);
    Bytes fromNoisy(30);
    ASSERT_TRUE(codec.BitmapToRgb(clean.data(), fromClean.data(), byPlane));
    ASSERT_TRUE(codec.BitmapToRgb(noisy.data(), fromNoisy.data(), byPlane));
    EXPECT_EQ(fromClean, fromNoisy);
    ASSERT_TRUE(codec.BitmapToYbr(clean.data(), fromClean.data(), byPlane));
    ASSERT_TRUE(codec.BitmapToYbr(noisy.data(), fromNoisy.data(), byPlane));
    EXPECT_EQ(fromClean, fromNoisy);
  }
}

// ---- Round trips ----

TEST(ColourConversion, RgbRoundTripIsExact) {
  for (bool byPlane : {false, true}) {
    CPixelCodec codec("RGB", 13, 7, 3, 8, 8, byPlane ? 1 : 0);
    const size_t storedSize = 13 * 7 * 3;
    const Bytes stored = RandomBytes(storedSize, 6);
    Bytes bitmap(codec.DisplaySize(), kSentinel);
    ASSERT_TRUE(codec.Decompress(stored.data(), storedSize, bitmap.data()));
    Bytes back(codec.DisplaySize(), 0);
    uint64_t length = 0;
    ASSERT_TRUE(codec.Compress(bitmap.data(), back.data(), back.size(), length));
    EXPECT_EQ(Bytes(back.begin(), back.begin() + storedSize), stored) << "by plane " << byPlane;
    for (size_t i = storedSize; i < back.size(); ++i) EXPECT_EQ(back[i], 0) << i;
  }
}

TEST(ColourConversion, YbrRoundTripStaysClose) {
  // Every entry is rounded on its own, so a colour can come back a few
  // levels off; over all 2^24 colours the largest error is 4, and 98% are
  // within 2.
  CPixelCodec codec("YBR_FULL", 256, 256, 3, 8, 8, 0);
  Bytes bitmap(codec.DisplaySize());
  Bytes stored(codec.DisplaySize());
  Bytes back(codec.DisplaySize());
  int largest = 0;
  uint64_t withinTwo = 0;
  for (size_t red = 0; red < 256; ++red) {
    for (size_t i = 0; i < 65536; ++i) {
      bitmap[i * 3] = static_cast<uint8_t>(i);           // blue
      bitmap[i * 3 + 1] = static_cast<uint8_t>(i >> 8);  // green
      bitmap[i * 3 + 2] = static_cast<uint8_t>(red);
    }
    ASSERT_TRUE(codec.BitmapToYbr(bitmap.data(), stored.data(), false));
    ASSERT_TRUE(codec.YbrToBitmap(stored.data(), back.data(), false));
    for (size_t i = 0; i < 65536; ++i) {
      int error = 0;
      for (size_t s = 0; s < 3; ++s) error = std::max(error, std::abs(back[i * 3 + s] - bitmap[i * 3 + s]));
      largest = std::max(largest, error);
      if (error <= 2) ++withinTwo;
    }
  }
  EXPECT_EQ(largest, 4);
  EXPECT_GT(withinTwo, (uint64_t{1} << 24) * 98 / 100);
}

TEST(ColourConversion, GreysKeepNeutralChroma) {
  // 0.299 + 0.587 + 0.114 = 1 and each chroma row sums to 0, but each entry
  // is rounded on its own: a grey is off by at most one level in each sample.
  CPixelCodec codec("YBR_FULL", 256, 1, 3, 8, 8, 1);
  Bytes bitmap(codec.DisplaySize());
  for (size_t v = 0; v < 256; ++v) {
    for (size_t s = 0; s < 3; ++s) bitmap[v * 3 + s] = static_cast<uint8_t>(v);
  }
  Bytes stored(codec.DisplaySize());
  ASSERT_TRUE(codec.BitmapToYbr(bitmap.data(), stored.data(), true));
  for (size_t v = 0; v < 256; ++v) {
    EXPECT_LE(std::abs(stored[v] - static_cast<int>(v)), 1) << v;
    EXPECT_LE(std::abs(stored[256 + v] - 128), 1) << v;
    EXPECT_LE(std::abs(stored[512 + v] - 128), 1) << v;
  }
}

}  // namespace
