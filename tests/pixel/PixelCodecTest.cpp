// CPixelCodec: geometry and format derived from the image attributes, where
// each sample of a stored frame lands in the bottom-up display bitmap and
// back, the colour conversions (known colours, round trips), the in-place
// flip, the factory, and headers whose attributes contradict each other
// (every conversion must then fail without touching memory outside a
// display-sized buffer). The window has its own file.
#include "pixel/PixelCodec.h"
#include "support/CodecBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::test;

namespace {

Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

bool IsColour(const CPixelCodec& codec) { return codec.Photometric() == "RGB" || codec.Photometric() == "YBR_FULL"; }

uint64_t StoredSize(const CPixelCodec& codec) {
  return uint64_t{codec.Columns()} * codec.Rows() * codec.BytesPerPixel();
}

// The bitmap a stored frame of a native format shows as: the rows bottom-up
// and padded to four pixels, colour samples blue-green-red, whether stored
// by pixel or by plane. The padding holds the sentinel.
Bytes ExpectedBitmap(const CPixelCodec& codec, const Bytes& stored, bool byPlane, uint8_t padding = kSentinel) {
  Bytes bitmap = DisplayBuffer(codec, padding);
  const size_t columns = codec.Columns();
  const size_t rows = codec.Rows();
  const size_t bytes = codec.BytesPerPixel();
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < columns; ++c) {
      for (size_t s = 0; s < bytes; ++s) {
        const size_t from = byPlane ? s * columns * rows + r * columns + c : (r * columns + c) * bytes + s;
        const size_t to = ((rows - 1 - r) * codec.AlignedColumns() + c) * bytes + (IsColour(codec) ? 2 - s : s);
        bitmap[to] = stored[from];
      }
    }
  }
  return bitmap;
}

// Ten pixels of one colour, stored by pixel or by plane.
Bytes Uniform(uint8_t s0, uint8_t s1, uint8_t s2, bool byPlane) {
  Bytes stored(30);
  for (size_t i = 0; i < stored.size(); ++i) {
    const size_t s = byPlane ? i / 10 : i % 3;
    stored[i] = s == 0 ? s0 : s == 1 ? s1 : s2;
  }
  return stored;
}

// ---- Construction ----

TEST(PixelCodecGeometry, RowsAlignToFourPixels) {
  const uint32_t cases[][2] = {{1, 4}, {3, 4}, {4, 4}, {5, 8}, {8, 8}, {9, 12}, {511, 512}, {512, 512}};
  for (const auto& c : cases) {
    CPixelCodec codec("MONOCHROME2", c[0], 1, 1, 8, 8, 0);
    EXPECT_EQ(codec.AlignedColumns(), c[1]) << c[0] << " columns";
    EXPECT_EQ(codec.DisplaySize(), c[1]);
  }
  // Aligned columns × rows × bytes per pixel, for 16-bit grey too although
  // its bitmap has one byte per pixel.
  EXPECT_EQ(CPixelCodec("RGB", 5, 2, 3, 8, 8, 0).DisplaySize(), 8u * 2 * 3);
  EXPECT_EQ(CPixelCodec("MONOCHROME2", 5, 3, 2, 16, 12, 0).DisplaySize(), 8u * 3 * 2);
}

TEST(PixelCodecGeometry, FormatFollowsPhotometricPlanarAndBytesPerPixel) {
  const struct {
    std::string photometric;
    uint32_t bytesPerPixel, planar;
    PixelFormat format;
  } cases[] = {
      {"RGB", 3, 0, PixelFormat::RgbByPixel},
      {"RGB", 3, 1, PixelFormat::RgbByPlane},
      {"RGB", 3, 2, PixelFormat::RgbByPlane},  // any non-zero flag is by plane
      {"YBR_FULL", 3, 0, PixelFormat::YbrFullByPixel},
      {"YBR_FULL", 3, 1, PixelFormat::YbrFullByPlane},
      {"MONOCHROME2", 1, 0, PixelFormat::Monochrome2Byte},
      {"MONOCHROME1", 1, 0, PixelFormat::Monochrome1Byte},
      {"MONOCHROME2", 2, 0, PixelFormat::Monochrome2Word},
      {"MONOCHROME1", 2, 0, PixelFormat::Monochrome1Word},
      {"MONOCHROME2", 1, 1, PixelFormat::Monochrome2Byte},  // planar means nothing for grey
      {"PALETTE COLOR", 1, 0, PixelFormat::PaletteColor},
      {"PALETTE COLOR", 2, 0, PixelFormat::PaletteColor},
      // Compared exactly: no case folding, trimming or stopping at a NUL.
      {"monochrome2", 1, 0, PixelFormat::Unsupported},
      {"MONOCHROME2 ", 1, 0, PixelFormat::Unsupported},
      {" RGB", 3, 0, PixelFormat::Unsupported},
      {std::string("RGB\0", 4), 3, 0, PixelFormat::Unsupported},
      {"YBR_FULL_422", 3, 0, PixelFormat::Unsupported},
      {"YBR_ICT", 3, 0, PixelFormat::Unsupported},
      {"", 1, 0, PixelFormat::Unsupported},
  };
  for (const auto& c : cases) {
    CPixelCodec codec(c.photometric, 4, 4, c.bytesPerPixel, 8 * c.bytesPerPixel, 8, c.planar);
    EXPECT_EQ(codec.Format(), c.format) << '"' << c.photometric << "\" " << c.bytesPerPixel << " bytes";
  }
}

class ExposedWorkBuffer : public CPixelCodec {
 public:
  using CPixelCodec::CPixelCodec;
  using CPixelCodec::WorkBuffer;
};

// Attributes come from untrusted files: an empty, oversized or odd frame is
// refused before anything is allocated, and sizes near the top of 32 bits
// do not wrap the display size.
TEST(PixelCodecUsable, RefusesEmptyOversizedAndOddPixelSizes) {
  const auto limitRows = static_cast<uint32_t>(CPixelCodec::kMaxDisplaySize / 1024);
  const struct {
    const char* photometric;
    uint32_t columns, rows, bytesPerPixel;
    bool usable;
  } cases[] = {
      {"RGB", 0, 4, 3, false},
      {"RGB", 4, 0, 3, false},
      {"MONOCHROME2", 4, 4, 0, false},
      {"RGB", 4, 4, 6, true},
      {"RGB", 4, 4, 7, false},
      {"RGB", 65536, 65536, 3, false},
      {"RGB", 100000, 100000, 3, false},
      {"MONOCHROME2", 1024, limitRows, 1, true},  // exactly the limit
      {"MONOCHROME2", 1024, limitRows + 1, 1, false},
      {"MONOCHROME2", 0xFFFFFFFD, 1, 1, false},
      {"MONOCHROME2", 0xFFFFFFFE, 1, 1, false},
      {"MONOCHROME2", 0xFFFFFFFF, 1, 1, false},
      {"RGB", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, false},
  };
  for (const auto& c : cases) {
    ExposedWorkBuffer codec(c.photometric, c.columns, c.rows, c.bytesPerPixel, 8, 8, 0);
    EXPECT_EQ(codec.IsUsable(), c.usable) << c.columns << " x " << c.rows << " x " << c.bytesPerPixel;
    if (c.columns > 0xFFFFFFF0u) {
      EXPECT_GE(codec.DisplaySize(), uint64_t{1} << 32) << c.columns;
    }
    if (!c.usable) {
      EXPECT_EQ(codec.WorkBuffer(), nullptr);
    }
  }
  EXPECT_EQ(CPixelCodec("RGB", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 8, 8, 0).DisplaySize(),
            std::numeric_limits<uint64_t>::max());
  ExposedWorkBuffer small("RGB", 5, 2, 3, 8, 8, 0);
  uint8_t* first = small.WorkBuffer();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(std::all_of(first, first + small.DisplaySize(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(small.WorkBuffer(), first);
}

// ---- Stored frames and bitmaps ----

// Decompress puts every stored sample where ExpectedBitmap says, leaving the
// padding alone; Compress gives the stored frame back byte for byte whatever
// the padding holds, reports its length and writes nothing past it. YBR_FULL goes through the colour
// conversion of its layout, and 16-bit grey (shown through the window) is
// only compressed, two bytes per bitmap pixel.
TEST(PixelCodecLayout, StoredSamplesLandInTheBitmapAndComeBack) {
  const struct {
    const char* photometric;
    uint32_t columns, rows, bytesPerPixel, planar;
  } cases[] = {
      {"MONOCHROME2", 5, 3, 1, 0}, {"MONOCHROME2", 7, 5, 1, 0}, {"MONOCHROME1", 5, 3, 1, 0},
      {"PALETTE COLOR", 5, 3, 1, 0}, {"MONOCHROME1", 3, 2, 2, 0}, {"RGB", 5, 2, 3, 0},
      {"RGB", 5, 2, 3, 1}, {"RGB", 13, 7, 3, 0}, {"RGB", 13, 7, 3, 1},
      {"YBR_FULL", 5, 2, 3, 0}, {"YBR_FULL", 5, 2, 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.photometric) + " " + std::to_string(c.columns) + "x" + std::to_string(c.rows) +
                 " planar " + std::to_string(c.planar));
    CPixelCodec codec(c.photometric, c.columns, c.rows, c.bytesPerPixel, 8 * c.bytesPerPixel, 8, c.planar);
    const Bytes stored = RandomBytes(StoredSize(codec), c.columns + c.planar);
    Bytes expected = ExpectedBitmap(codec, stored, c.planar != 0);
    const bool ybr = codec.Photometric() == "YBR_FULL";
    if (ybr) {
      expected = DisplayBuffer(codec);
      ASSERT_TRUE(codec.YbrToBitmap(stored.data(), expected.data(), c.planar != 0));
    }
    if (c.bytesPerPixel != 2) {
      Bytes bitmap = DisplayBuffer(codec);
      ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
      EXPECT_EQ(bitmap, expected);
    }
    Bytes back = stored;
    if (ybr) {
      ASSERT_TRUE(codec.BitmapToYbr(expected.data(), back.data(), c.planar != 0));
    }
    Bytes noisy = ExpectedBitmap(codec, stored, c.planar != 0, 0x3C);
    if (ybr) {
      ASSERT_TRUE(codec.YbrToBitmap(stored.data(), noisy.data(), c.planar != 0));
    }
    for (const Bytes* bitmap : {&expected, &noisy}) {
      Bytes out = DisplayBuffer(codec);
      uint64_t length = 12345;
      EXPECT_FALSE(codec.Compress(bitmap->data(), out.data(), out.size() - 1, length));
      EXPECT_EQ(length, 12345u);
      ASSERT_TRUE(codec.Compress(bitmap->data(), out.data(), out.size(), length));
      EXPECT_EQ(length, stored.size());  // the stored frame, not the display frame
      EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(length)), back);
      EXPECT_EQ(Bytes(out.begin() + static_cast<long>(length), out.end()), Bytes(out.size() - length, kSentinel));
    }
  }
}

TEST(PixelCodecColour, KnownColoursConvertExactly) {
  const struct {
    const char* what;
    bool toYbr;
    uint8_t red, green, blue, y, cb, cr;
  } cases[] = {
      {"white (Cb 129: each table entry is rounded on its own)", true, 255, 255, 255, 255, 129, 128},
      {"black", true, 0, 0, 0, 0, 128, 128},
      {"pure blue saturates Cb (0 + 0 + 256); Cr = 128 - 21", true, 0, 0, 255, 29, 255, 107},
      {"black from YBR", false, 0, 0, 0, 0, 128, 128},
      {"full luma with neutral chroma is white", false, 255, 255, 255, 255, 128, 128},
      // red = 0 + 178, blue = 0 + 225, green = 0 − 44 − 91 = −135 → 0.
      {"saturated chroma clamps green to 0", false, 178, 0, 225, 0, 255, 255},
      // red = 200 − 179 = 21; green = 200 − 44 + 91 = 247; blue = 200 + 225 → 255.
      {"bright saturated chroma clamps blue to 255", false, 21, 247, 255, 200, 255, 0},
  };
  for (const auto& c : cases) {
    for (const bool byPlane : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (byPlane ? ", by plane" : ", by pixel"));
      CPixelCodec codec("YBR_FULL", 5, 2, 3, 8, 8, byPlane ? 1 : 0);
      Bytes ybr = Uniform(c.y, c.cb, c.cr, byPlane);
      const Bytes bitmap = ExpectedBitmap(codec, Uniform(c.red, c.green, c.blue, false), false);
      Bytes out = DisplayBuffer(codec);
      if (c.toYbr) {
        ASSERT_TRUE(codec.BitmapToYbr(bitmap.data(), out.data(), byPlane));
        ybr.resize(out.size(), kSentinel);
        EXPECT_EQ(out, ybr);
      } else {
        ASSERT_TRUE(codec.YbrToBitmap(ybr.data(), out.data(), byPlane));
        EXPECT_EQ(out, bitmap);
      }
    }
  }
}

// Every table entry is rounded on its own, so a colour can come back a few
// levels off: over all 2^24 colours the largest error is 4, and 98% are
// within 2. A grey keeps neutral chroma within one level (0.299 + 0.587 +
// 0.114 = 1 and each chroma row sums to 0).
TEST(PixelCodecColour, YbrRoundTripStaysClose) {
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
      if (i == 257 * red) {  // blue = green = red: a grey, in stored row 255 - red (bottom-up)
        const size_t at = ((255 - red) * 256 + red) * 3;
        EXPECT_LE(std::abs(stored[at] - static_cast<int>(red)), 1) << red;
        EXPECT_LE(std::abs(stored[at + 1] - 128), 1) << red;
        EXPECT_LE(std::abs(stored[at + 2] - 128), 1) << red;
      }
    }
  }
  EXPECT_EQ(largest, 4);
  EXPECT_GT(withinTwo, (uint64_t{1} << 24) * 98 / 100);
}

// ---- In-place flip ----

// Rows of AlignedColumns × BytesPerPixel bytes swap top to bottom (a middle
// row stays); with `planes` and three bytes per pixel, each plane of
// Columns × Rows bytes flips on its own and the rest of the buffer is left
// alone. Flipping twice gives the buffer back.
TEST(PixelCodecFlip, RowsOrPlanesSwapTopToBottom) {
  const struct {
    const char* photometric;
    uint32_t columns, rows, bytesPerPixel;
    bool planes;
  } cases[] = {
      {"MONOCHROME2", 3, 3, 1, false}, {"MONOCHROME2", 3, 2, 1, true}, {"RGB", 2, 1, 3, false},
      {"RGB", 2, 1, 3, true},          {"RGB", 5, 4, 3, false},        {"RGB", 5, 3, 3, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.photometric) + " " + std::to_string(c.columns) + "x" + std::to_string(c.rows) +
                 (c.planes ? " planes" : ""));
    CPixelCodec codec(c.photometric, c.columns, c.rows, c.bytesPerPixel, 8, 8, 0);
    const Bytes original = RandomBytes(codec.DisplaySize(), c.rows);
    const bool byPlane = c.planes && c.bytesPerPixel > 1;
    const size_t rowBytes = byPlane ? c.columns : size_t{codec.AlignedColumns()} * c.bytesPerPixel;
    const size_t blockBytes = rowBytes * c.rows;
    Bytes expected = original;
    for (size_t block = 0; block < (byPlane ? 3 : 1); ++block) {
      for (size_t row = 0; row < c.rows; ++row) {
        std::copy_n(original.begin() + static_cast<long>(block * blockBytes + (c.rows - 1 - row) * rowBytes),
                    rowBytes, expected.begin() + static_cast<long>(block * blockBytes + row * rowBytes));
      }
    }
    Bytes buffer = original;
    ASSERT_TRUE(codec.FlipInPlace(buffer.data(), c.planes));
    EXPECT_EQ(buffer, expected);
    ASSERT_TRUE(codec.FlipInPlace(buffer.data(), c.planes));
    EXPECT_EQ(buffer, original);
  }
  // Three planes do not fit two bytes per pixel.
  CPixelCodec word("MONOCHROME2", 4, 4, 2, 16, 16, 0);
  Bytes buffer = DisplayBuffer(word);
  EXPECT_FALSE(word.FlipInPlace(buffer.data(), true));
  EXPECT_EQ(buffer, DisplayBuffer(word));
  EXPECT_TRUE(word.FlipInPlace(buffer.data(), false));
}

// ---- Factory ----

TEST(CreatePixelCodecTest, CodecOfEachKindFromAttributes) {
  const struct {
    CodecKind kind;
    const char* photometric;
    uint32_t bitsAllocated, samples, bytesPerPixel;
    PixelFormat format;
    bool compressed, lossy;
  } cases[] = {
      {CodecKind::Native, "MONOCHROME2", 16, 1, 2, PixelFormat::Monochrome2Word, false, false},
      {CodecKind::Native, "RGB", 8, 3, 3, PixelFormat::RgbByPlane, false, false},
      {CodecKind::Rle, "RGB", 8, 3, 3, PixelFormat::RgbByPlane, true, false},  // RLE keeps the planar flag
      {CodecKind::Jpeg, "RGB", 8, 3, 3, PixelFormat::RgbByPixel, true, true},  // JPEG frames are never by plane
  };
  for (const auto& c : cases) {
    auto codec = CreatePixelCodec(c.kind, c.photometric, 5, 3, c.bitsAllocated, c.bitsAllocated, c.samples, 1, 90);
    ASSERT_NE(codec, nullptr) << static_cast<int>(c.kind) << ' ' << c.photometric;
    EXPECT_EQ(codec->BytesPerPixel(), c.bytesPerPixel);
    EXPECT_EQ(codec->Format(), c.format);
    EXPECT_EQ(codec->IsCompressed(), c.compressed);
    EXPECT_EQ(codec->IsLossy(), c.lossy);
  }
  // No codec for unknown kinds or attributes no codec can hold; an unknown
  // photometric interpretation still makes one, which just cannot convert.
  EXPECT_EQ(CreatePixelCodec(static_cast<CodecKind>(3), "RGB", 4, 4, 8, 8, 3, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(static_cast<CodecKind>(-1), "RGB", 4, 4, 8, 8, 3, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(CodecKind::Native, "RGB", 0, 4, 8, 8, 3, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(CodecKind::Native, "RGB", 4, 0, 8, 8, 3, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(CodecKind::Native, "MONOCHROME2", 4, 4, 1, 1, 1, 0, 0), nullptr);  // 0 bytes
  EXPECT_EQ(CreatePixelCodec(CodecKind::Native, "RGB", 4, 4, 32, 32, 3, 0, 0), nullptr);        // 12 bytes
  EXPECT_EQ(CreatePixelCodec(CodecKind::Native, "RGB", 4, 4, 0xFFFFFFFF, 8, 0xFFFFFFFF, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(CodecKind::Rle, "RGB", 70000, 70000, 8, 8, 3, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(CodecKind::Jpeg, "RGB", 0, 0, 8, 8, 3, 0, 0), nullptr);
  auto unsupported = CreatePixelCodec(CodecKind::Native, "YBR_FULL_422", 4, 4, 8, 8, 3, 0, 0);
  ASSERT_NE(unsupported, nullptr);
  EXPECT_EQ(unsupported->Format(), PixelFormat::Unsupported);
}

// ---- Attributes that contradict each other ----

// Every format and pixel size, with buffers of exactly DisplaySize() bytes
// (the sanitizer reports any access past them): colour needs three bytes
// per pixel, the window two bytes of 16 bits or one of 8, an unknown format
// converts nothing, and a conversion that fails leaves both buffers alone.
TEST(PixelCodecBadGeometry, OnlyConversionsThatFitTheFormatRun) {
  for (const char* photometric : {"RGB", "YBR_FULL", "MONOCHROME1", "MONOCHROME2", "PALETTE COLOR", "other"}) {
    for (uint32_t bytes = 1; bytes <= 6; ++bytes) {
      for (const uint32_t bits : {0u, 8u, 12u, 16u, 32u}) {
        for (const uint32_t planar : {0u, 1u}) {
          SCOPED_TRACE(std::string(photometric) + ", " + std::to_string(bytes) + " bytes, " + std::to_string(bits) +
                       " bits, planar " + std::to_string(planar));
          CPixelCodec codec(photometric, 5, 3, bytes, bits, 8, planar);
          const std::string p = photometric;
          const bool colour = IsColour(codec);
          const bool window = (bits == 16 && bytes == 2) || (bits == 8 && bytes == 1);
          const bool grey = p == "MONOCHROME1" || p == "MONOCHROME2";
          const bool decompresses = colour ? bytes == 3 : grey ? bytes == 1 || window : p == "PALETTE COLOR";
          const bool compresses = colour ? bytes == 3 : p != "other";
          const Bytes input = RandomBytes(codec.DisplaySize(), bytes * bits);
          Bytes out = DisplayBuffer(codec);
          uint64_t length = 0;
          EXPECT_EQ(codec.Decompress(input.data(), input.size(), out.data()), decompresses);
          if (!decompresses) {
            EXPECT_EQ(out, DisplayBuffer(codec));
          }
          out = DisplayBuffer(codec);
          EXPECT_EQ(codec.Compress(input.data(), out.data(), out.size(), length), compresses);
          EXPECT_EQ(length, StoredSize(codec));
          if (!compresses) {
            EXPECT_EQ(out, DisplayBuffer(codec));
          }
          out = DisplayBuffer(codec);
          EXPECT_EQ(codec.WindowToBitmap(input.data(), out.data()), window);
          if (!window) {
            EXPECT_EQ(out, DisplayBuffer(codec));
          }
          for (const bool byPlane : {false, true}) {
            Bytes a = DisplayBuffer(codec);
            Bytes b = DisplayBuffer(codec);
            EXPECT_EQ(codec.RgbToBitmap(input.data(), a.data(), byPlane), bytes == 3);
            EXPECT_EQ(codec.BitmapToRgb(input.data(), a.data(), byPlane), bytes == 3);
            EXPECT_EQ(codec.YbrToBitmap(input.data(), b.data(), byPlane), bytes == 3);
            EXPECT_EQ(codec.BitmapToYbr(input.data(), b.data(), byPlane), bytes == 3);
            if (bytes != 3) {
              EXPECT_EQ(a, DisplayBuffer(codec));
            }
            if (bytes != 3) {
              EXPECT_EQ(b, DisplayBuffer(codec));
            }
            EXPECT_EQ(codec.FlipInPlace(a.data(), byPlane), !byPlane || bytes == 1 || bytes >= 3);
          }
          EXPECT_TRUE(codec.ReverseRows(input.data(), out.data()));
        }
      }
    }
  }
}

TEST(PixelCodecBadGeometry, ShortUnusableOrMissingBuffersConvertNothing) {
  // A stored frame one byte short of 5 × 2 RGB.
  CPixelCodec rgb("RGB", 5, 2, 3, 8, 8, 0);
  const Bytes shortFrame(29, 1);
  Bytes bitmap = DisplayBuffer(rgb);
  EXPECT_FALSE(rgb.Decompress(shortFrame.data(), shortFrame.size(), bitmap.data()));
  EXPECT_EQ(bitmap, DisplayBuffer(rgb));
  // Columns that wrap the 32-bit aligned width must not reach the loops.
  CPixelCodec wrapped("RGB", 0xFFFFFFFFu, 1, 3, 8, 8, 0);
  CPixelCodec empty("MONOCHROME2", 0, 4, 1, 8, 8, 0);
  Bytes buffer(64, kSentinel);
  uint64_t length = 0;
  for (CPixelCodec* codec : {&wrapped, &empty}) {
    EXPECT_FALSE(codec->Decompress(buffer.data(), buffer.size(), buffer.data()));
    EXPECT_FALSE(codec->Compress(buffer.data(), buffer.data(), std::numeric_limits<uint64_t>::max(), length));
    EXPECT_FALSE(codec->RgbToBitmap(buffer.data(), buffer.data(), false));
    EXPECT_FALSE(codec->BitmapToYbr(buffer.data(), buffer.data(), true));
    EXPECT_FALSE(codec->ReverseRows(buffer.data(), buffer.data()));
    EXPECT_FALSE(codec->WindowToBitmap(buffer.data(), buffer.data()));
    EXPECT_FALSE(codec->FlipInPlace(buffer.data(), false));
  }
  EXPECT_EQ(buffer, Bytes(64, kSentinel));
  CPixelCodec grey("MONOCHROME2", 4, 2, 1, 8, 8, 0);
  buffer = DisplayBuffer(grey);
  EXPECT_FALSE(grey.Decompress(nullptr, 8, buffer.data()));
  EXPECT_FALSE(grey.Decompress(buffer.data(), 8, nullptr));
  EXPECT_FALSE(grey.Compress(nullptr, buffer.data(), buffer.size(), length));
  EXPECT_FALSE(grey.Compress(buffer.data(), nullptr, buffer.size(), length));
  EXPECT_FALSE(grey.ReverseRows(nullptr, buffer.data()));
  EXPECT_FALSE(grey.ReverseRows(buffer.data(), nullptr));
  EXPECT_FALSE(grey.WindowToBitmap(nullptr, buffer.data()));
  EXPECT_FALSE(grey.FlipInPlace(nullptr, false));
}

}  // namespace
