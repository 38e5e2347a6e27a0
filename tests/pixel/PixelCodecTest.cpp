// CPixelCodec: geometry and format derived from the image attributes, the
// default window, the uncompressed Compress/Decompress dispatch, row
// reversal, the window, the in-place flip, the work buffer, the factory, and
// headers whose attributes contradict each other (every conversion must then
// fail without touching memory outside a display-sized buffer).
#include "pixel/PixelCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace quillon;

namespace {

constexpr uint8_t kSentinel = 0xA5;
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();

std::vector<uint8_t> DisplayBuffer(const CPixelCodec& codec, uint8_t fill = kSentinel) {
  return std::vector<uint8_t>(static_cast<size_t>(codec.DisplaySize()), fill);
}

// Stored byte i = i + 1, so every byte is distinct within 255 bytes.
std::vector<uint8_t> Counting(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  return bytes;
}

std::vector<uint8_t> Little16(const std::vector<uint16_t>& samples) {
  std::vector<uint8_t> bytes;
  for (uint16_t s : samples) {
    bytes.push_back(static_cast<uint8_t>(s));
    bytes.push_back(static_cast<uint8_t>(s >> 8));
  }
  return bytes;
}

// The window exactly as defined, in 32-bit integers after double bounds;
// only used with windows for which no 32-bit value overflows.
uint8_t ReferenceWindow(int32_t width, int32_t center, int32_t x) {
  const double w = width;
  const double c = center;
  const auto low = static_cast<int32_t>(c - 0.5 - (w - 1) / 2);
  const auto high = static_cast<int32_t>(c - 0.5 + (w - 1) / 2);
  if (x <= low) return 0;
  if (x >= high) return 255;
  // Only reached for widths of 2 and more, where the divisor fits.
  const auto offset = static_cast<int32_t>((c - 0.5) * 255);
  const auto divisor = static_cast<int32_t>(w - 1);
  return static_cast<uint8_t>((255 * x - offset) / divisor + 127);
}

// A one-row 16-bit grey codec holding every sample value 0 … 65535, so one
// Decompress shows the whole window.
class AllSamples16 {
 public:
  AllSamples16() : codec("MONOCHROME2", 65536, 1, 2, 16, 16, 0) {
    for (uint32_t x = 0; x < 65536; ++x) {
      stored[2 * x] = static_cast<uint8_t>(x);
      stored[2 * x + 1] = static_cast<uint8_t>(x >> 8);
    }
  }
  const std::vector<uint8_t>& Apply(int32_t width, int32_t center) {
    codec.SetWindow(width, center);
    EXPECT_TRUE(codec.WindowToBitmap(stored.data(), bitmap.data()));
    return bitmap;
  }

  CPixelCodec codec;
  std::vector<uint8_t> stored = std::vector<uint8_t>(2 * 65536);
  std::vector<uint8_t> bitmap = std::vector<uint8_t>(65536);
};

class ExposedWorkBuffer : public CPixelCodec {
 public:
  using CPixelCodec::CPixelCodec;
  using CPixelCodec::WorkBuffer;
};

// ---- Construction ----

TEST(PixelCodecGeometry, FiveColumnsAlignToEight) {
  CPixelCodec codec("RGB", 5, 2, 3, 8, 8, 0);
  EXPECT_EQ(codec.Columns(), 5u);
  EXPECT_EQ(codec.AlignedColumns(), 8u);
  EXPECT_EQ(codec.Rows(), 2u);
  EXPECT_EQ(codec.BytesPerPixel(), 3u);
  EXPECT_EQ(codec.DisplaySize(), 48u);
  EXPECT_EQ(codec.Format(), PixelFormat::RgbByPixel);
  EXPECT_EQ(codec.GetBitmapOrder(), BitmapOrder::BgrBottomUp);
  EXPECT_EQ(codec.Photometric(), "RGB");
  EXPECT_FALSE(codec.IsCompressed());
  EXPECT_FALSE(codec.IsLossy());
  EXPECT_TRUE(codec.IsUsable());
}

TEST(PixelCodecGeometry, AlignedColumnsRoundUpToFour) {
  const uint32_t cases[][2] = {{1, 4}, {3, 4}, {4, 4}, {5, 8}, {8, 8}, {9, 12}, {511, 512}, {512, 512}};
  for (const auto& c : cases) {
    CPixelCodec codec("MONOCHROME2", c[0], 1, 1, 8, 8, 0);
    EXPECT_EQ(codec.AlignedColumns(), c[1]) << c[0] << " columns";
    EXPECT_EQ(codec.DisplaySize(), c[1]);
  }
}

TEST(PixelCodecGeometry, SixteenBitGreyDisplaySizeIsNominal) {
  CPixelCodec codec("MONOCHROME2", 5, 3, 2, 16, 12, 0);
  EXPECT_EQ(codec.DisplaySize(), 8u * 3u * 2u);
}

TEST(PixelCodecGeometry, FormatFollowsPhotometricPlanarAndBytesPerPixel) {
  struct Case {
    const char* photometric;
    uint32_t bytesPerPixel;
    uint32_t planar;
    PixelFormat format;
  };
  const Case cases[] = {
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
      {"monochrome2", 1, 0, PixelFormat::Unsupported},
      {"MONOCHROME2 ", 1, 0, PixelFormat::Unsupported},
      {" RGB", 3, 0, PixelFormat::Unsupported},
      {"YBR_FULL_422", 3, 0, PixelFormat::Unsupported},
      {"YBR_ICT", 3, 0, PixelFormat::Unsupported},
      {"", 1, 0, PixelFormat::Unsupported},
  };
  for (const Case& c : cases) {
    CPixelCodec codec(c.photometric, 4, 4, c.bytesPerPixel, 8 * c.bytesPerPixel, 8, c.planar);
    EXPECT_EQ(codec.Format(), c.format) << '"' << c.photometric << "\" " << c.bytesPerPixel << " bytes";
  }
}

TEST(PixelCodecGeometry, PhotometricWithEmbeddedNulIsNotRecognised) {
  CPixelCodec codec(std::string("RGB\0", 4), 4, 4, 3, 8, 8, 0);
  EXPECT_EQ(codec.Format(), PixelFormat::Unsupported);
}

TEST(PixelCodecWindowDefaults, SixteenBitGreyCoversTheStoredRange) {
  CPixelCodec codec("MONOCHROME2", 4, 4, 2, 16, 12, 0);
  EXPECT_EQ(codec.Format(), PixelFormat::Monochrome2Word);
  int32_t width = 0;
  int32_t center = 0;
  codec.GetWindow(width, center);
  EXPECT_EQ(width, 4096);
  EXPECT_EQ(center, 2048);

  CPixelCodec full("MONOCHROME1", 4, 4, 2, 16, 16, 0);
  full.GetWindow(width, center);
  EXPECT_EQ(width, 65536);
  EXPECT_EQ(center, 32768);
}

TEST(PixelCodecWindowDefaults, EightBitGreyAndOtherFormats) {
  int32_t width = -1;
  int32_t center = -1;
  CPixelCodec grey("MONOCHROME1", 4, 4, 1, 8, 8, 0);
  grey.GetWindow(width, center);
  EXPECT_EQ(width, 256);
  EXPECT_EQ(center, 128);
  for (const char* photometric : {"RGB", "YBR_FULL", "PALETTE COLOR", "monochrome2"}) {
    CPixelCodec other(photometric, 4, 4, 3, 8, 8, 0);
    other.GetWindow(width, center);
    EXPECT_EQ(width, 0) << photometric;
    EXPECT_EQ(center, 0) << photometric;
  }
}

TEST(PixelCodecWindowDefaults, ExtremeBitsStoredStayWithinTheSignedWidth) {
  int32_t width = 0;
  int32_t center = 0;
  CPixelCodec none("MONOCHROME2", 4, 4, 2, 16, 0, 0);
  none.GetWindow(width, center);
  EXPECT_EQ(width, 1);
  EXPECT_EQ(center, 0);

  CPixelCodec thirty("MONOCHROME2", 4, 4, 2, 16, 30, 0);
  thirty.GetWindow(width, center);
  EXPECT_EQ(width, 1 << 30);
  EXPECT_EQ(center, 1 << 29);

  for (uint32_t bits : {31u, 32u, 63u, 64u, 1000u, 0xFFFFFFFFu}) {
    CPixelCodec huge("MONOCHROME2", 4, 4, 2, 16, bits, 0);
    huge.GetWindow(width, center);
    EXPECT_EQ(width, kInt32Max) << bits;
    EXPECT_EQ(center, kInt32Max / 2) << bits;
  }
}

TEST(PixelCodecWindowDefaults, SetWindowIsReadBack) {
  CPixelCodec codec("MONOCHROME2", 4, 4, 2, 16, 12, 0);
  codec.SetWindow(400, -1000);
  int32_t width = 0;
  int32_t center = 0;
  codec.GetWindow(width, center);
  EXPECT_EQ(width, 400);
  EXPECT_EQ(center, -1000);
}

TEST(PixelCodecUsable, RefusesEmptyOversizedAndOddPixelSizes) {
  EXPECT_FALSE(CPixelCodec("RGB", 0, 4, 3, 8, 8, 0).IsUsable());
  EXPECT_FALSE(CPixelCodec("RGB", 4, 0, 3, 8, 8, 0).IsUsable());
  EXPECT_FALSE(CPixelCodec("MONOCHROME2", 4, 4, 0, 1, 1, 0).IsUsable());
  EXPECT_TRUE(CPixelCodec("RGB", 4, 4, 6, 16, 16, 0).IsUsable());
  EXPECT_FALSE(CPixelCodec("RGB", 4, 4, 7, 8, 8, 0).IsUsable());
  EXPECT_FALSE(CPixelCodec("RGB", 65536, 65536, 3, 8, 8, 0).IsUsable());

  // Exactly the limit is accepted, one row more is not.
  const auto limitRows = static_cast<uint32_t>(CPixelCodec::kMaxDisplaySize / 1024);
  EXPECT_TRUE(CPixelCodec("MONOCHROME2", 1024, limitRows, 1, 8, 8, 0).IsUsable());
  EXPECT_FALSE(CPixelCodec("MONOCHROME2", 1024, limitRows + 1, 1, 8, 8, 0).IsUsable());
}

TEST(PixelCodecUsable, ColumnsNearTheTopDoNotWrapTheDisplaySize) {
  for (uint32_t columns : {0xFFFFFFFDu, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    CPixelCodec codec("MONOCHROME2", columns, 1, 1, 8, 8, 0);
    EXPECT_GE(codec.DisplaySize(), uint64_t{1} << 32) << columns;
    EXPECT_FALSE(codec.IsUsable()) << columns;
  }
  CPixelCodec huge("RGB", 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 8, 8, 0);
  EXPECT_EQ(huge.DisplaySize(), std::numeric_limits<uint64_t>::max());
  EXPECT_FALSE(huge.IsUsable());
}

// ---- Compress / Decompress dispatch ----

TEST(PixelCodecCompress, RgbNeedsTheNominalCapacityAndReportsIt) {
  CPixelCodec codec("RGB", 5, 2, 3, 8, 8, 0);
  std::vector<uint8_t> bitmap = DisplayBuffer(codec, 0);
  for (size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = static_cast<uint8_t>(i);

  std::vector<uint8_t> out(48, kSentinel);
  uint64_t length = 12345;
  EXPECT_FALSE(codec.Compress(bitmap.data(), out.data(), 47, length));
  EXPECT_EQ(length, 12345u);

  ASSERT_TRUE(codec.Compress(bitmap.data(), out.data(), 48, length));
  EXPECT_EQ(length, 30u);  // the stored frame, not the 48-byte display frame
  // Stored row 0 comes from the bottom bitmap row (bytes 24 … 47), red first.
  EXPECT_EQ(out[0], 26);
  EXPECT_EQ(out[1], 25);
  EXPECT_EQ(out[2], 24);
  // Stored row 1, pixel 4 from bitmap row 0, pixel 4 (bytes 12 … 14).
  EXPECT_EQ(out[27], 14);
  EXPECT_EQ(out[28], 13);
  EXPECT_EQ(out[29], 12);
  for (size_t i = 30; i < out.size(); ++i) EXPECT_EQ(out[i], kSentinel) << i;
}

TEST(PixelCodecCompress, UnsupportedFormatReportsLengthButFails) {
  CPixelCodec codec("YBR_FULL_422", 4, 2, 3, 8, 8, 0);
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);
  std::vector<uint8_t> out = DisplayBuffer(codec);
  uint64_t length = 0;
  EXPECT_FALSE(codec.Compress(bitmap.data(), out.data(), out.size(), length));
  EXPECT_EQ(length, codec.DisplaySize());
}

TEST(PixelCodecCompress, GreyRowsAreReversedIntoStoredRows) {
  CPixelCodec codec("MONOCHROME2", 5, 3, 1, 8, 8, 0);
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);  // padding pixels hold the sentinel
  for (size_t row = 0; row < 3; ++row) {
    for (size_t c = 0; c < 5; ++c) bitmap[row * 8 + c] = static_cast<uint8_t>(10 * row + c);
  }
  std::vector<uint8_t> out(codec.DisplaySize(), 0);
  uint64_t length = 0;
  ASSERT_TRUE(codec.Compress(bitmap.data(), out.data(), out.size(), length));
  const std::vector<uint8_t> expected = {20, 21, 22, 23, 24, 10, 11, 12, 13, 14, 0, 1, 2, 3, 4};
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 15), expected);
  for (size_t i = 15; i < out.size(); ++i) EXPECT_EQ(out[i], 0) << i;
}

TEST(PixelCodecCompress, SixteenBitGreyTakesTwoBytesPerBitmapPixel) {
  CPixelCodec codec("MONOCHROME1", 3, 2, 2, 16, 16, 0);
  ASSERT_EQ(codec.DisplaySize(), 16u);  // rows of 4 pixels × 2 bytes
  std::vector<uint8_t> bitmap = Counting(16);
  std::vector<uint8_t> out(16, 0);
  uint64_t length = 0;
  ASSERT_TRUE(codec.Compress(bitmap.data(), out.data(), out.size(), length));
  const std::vector<uint8_t> expected = {9, 10, 11, 12, 13, 14, 1, 2, 3, 4, 5, 6};
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 12), expected);
}

TEST(PixelCodecDecompress, GreyAndPaletteRowsAreReversed) {
  for (const char* photometric : {"MONOCHROME2", "MONOCHROME1", "PALETTE COLOR"}) {
    CPixelCodec codec(photometric, 5, 3, 1, 8, 8, 0);
    const std::vector<uint8_t> stored = Counting(15);
    std::vector<uint8_t> bitmap = DisplayBuffer(codec);
    ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data())) << photometric;
    for (size_t row = 0; row < 3; ++row) {
      for (size_t c = 0; c < 8; ++c) {
        const uint8_t expected = c < 5 ? static_cast<uint8_t>((2 - row) * 5 + c + 1) : kSentinel;
        EXPECT_EQ(bitmap[row * 8 + c], expected) << photometric << " row " << row << " column " << c;
      }
    }
  }
}

TEST(PixelCodecDecompress, GreyRoundTripIsExact) {
  CPixelCodec codec("MONOCHROME2", 7, 5, 1, 8, 8, 0);
  const std::vector<uint8_t> stored = Counting(35);
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);
  ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
  std::vector<uint8_t> back(codec.DisplaySize(), 0);
  uint64_t length = 0;
  ASSERT_TRUE(codec.Compress(bitmap.data(), back.data(), back.size(), length));
  EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + 35), stored);
}

TEST(PixelCodecDecompress, UnsupportedFormatsYieldNoBitmap) {
  CPixelCodec codec("monochrome2", 4, 2, 1, 8, 8, 0);
  const std::vector<uint8_t> stored(8, 1);
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);
  EXPECT_FALSE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
  for (uint8_t b : bitmap) EXPECT_EQ(b, kSentinel);
}

TEST(PixelCodecDecompress, ShortStoredFrameIsRefused) {
  CPixelCodec codec("RGB", 5, 2, 3, 8, 8, 0);
  const std::vector<uint8_t> stored(29, 1);
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);
  EXPECT_FALSE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
  for (uint8_t b : bitmap) EXPECT_EQ(b, kSentinel);
}

TEST(PixelCodecDecompress, NullBuffersFail) {
  CPixelCodec codec("MONOCHROME2", 4, 2, 1, 8, 8, 0);
  std::vector<uint8_t> buffer = DisplayBuffer(codec);
  uint64_t length = 0;
  EXPECT_FALSE(codec.Decompress(nullptr, 8, buffer.data()));
  EXPECT_FALSE(codec.Decompress(buffer.data(), 8, nullptr));
  EXPECT_FALSE(codec.Compress(nullptr, buffer.data(), buffer.size(), length));
  EXPECT_FALSE(codec.Compress(buffer.data(), nullptr, buffer.size(), length));
  EXPECT_FALSE(codec.ReverseRows(nullptr, buffer.data()));
  EXPECT_FALSE(codec.ReverseRows(buffer.data(), nullptr));
  EXPECT_FALSE(codec.WindowToBitmap(nullptr, buffer.data()));
  EXPECT_FALSE(codec.FlipInPlace(nullptr, false));
}

// ---- Window ----

TEST(PixelCodecWindow, EightBitWindowOnSixteenBitSamples) {
  CPixelCodec codec("MONOCHROME2", 8, 1, 2, 16, 16, 0);
  codec.SetWindow(256, 128);
  const std::vector<uint8_t> stored = Little16({0, 1, 128, 254, 255, 256, 4096, 65535});
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);
  ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
  const std::vector<uint8_t> expected = {0, 1, 127, 253, 255, 255, 255, 255};
  EXPECT_EQ(std::vector<uint8_t>(bitmap.begin(), bitmap.begin() + 8), expected);
  // The 8-bit bitmap uses only the first half of the nominal display size.
  for (size_t i = 8; i < bitmap.size(); ++i) EXPECT_EQ(bitmap[i], kSentinel) << i;
}

TEST(PixelCodecWindow, WidthOneOrLessIsAThreshold) {
  AllSamples16 all;
  for (int32_t width : {1, 0, -1, -100, kInt32Min}) {
    for (int32_t center : {0, 1, 100, 65535, -5}) {
      const std::vector<uint8_t>& out = all.Apply(width, center);
      // Black up to some sample, white from there on: nothing in between.
      for (size_t x = 0; x < 65536; ++x) {
        ASSERT_TRUE(out[x] == 0 || out[x] == 255) << width << '/' << center << " x " << x;
        if (x > 0) {
          ASSERT_LE(out[x - 1], out[x]) << width << '/' << center << " x " << x;
        }
      }
      for (int32_t x : {0, 1, 99, 100, 101, 65534, 65535}) {
        EXPECT_EQ(out[static_cast<size_t>(x)], ReferenceWindow(width, center, x))
            << width << '/' << center << " x " << x;
      }
    }
  }
  // Width 1 at centre 100: low = high = 99, and 99 is black (x ≤ low first).
  const std::vector<uint8_t>& out = all.Apply(1, 100);
  EXPECT_EQ(out[99], 0);
  EXPECT_EQ(out[100], 255);
}

TEST(PixelCodecWindow, MatchesTheDefiningFormulaForEverySample) {
  AllSamples16 all;
  std::vector<std::pair<int32_t, int32_t>> windows = {
      {256, 128}, {2, 100}, {3, 10},      {4, 0},      {4096, 2048}, {65536, 32768}, {400, 40},
      {400, -40}, {7, -3},  {1001, 1000}, {350, 1075}, {2, 0},       {3, -1},        {100000, -20000},
  };
  std::mt19937 random(12345);
  for (int i = 0; i < 40; ++i) {
    windows.emplace_back(static_cast<int32_t>(random() % 70000) + 2,
                         static_cast<int32_t>(random() % 140000) - 40000);
  }
  for (const auto& [width, center] : windows) {
    const std::vector<uint8_t>& out = all.Apply(width, center);
    for (int32_t x = 0; x < 65536; ++x) {
      ASSERT_EQ(out[static_cast<size_t>(x)], ReferenceWindow(width, center, x))
          << "width " << width << " centre " << center << " x " << x;
    }
  }
}

TEST(PixelCodecWindow, SamplesInAnyOrderMeetTheSameWindow) {
  // Every sample value once, in a shuffled order, two frames in a row.
  CPixelCodec codec("MONOCHROME2", 256, 256, 2, 16, 16, 0);
  std::vector<uint16_t> samples(65536);
  for (size_t x = 0; x < samples.size(); ++x) samples[x] = static_cast<uint16_t>(x);
  std::shuffle(samples.begin(), samples.end(), std::mt19937(99));
  const std::vector<uint8_t> stored = Little16(samples);
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);
  for (const auto& [width, center] : {std::pair{300, 40000}, std::pair{70000, 1000}}) {
    codec.SetWindow(width, center);
    ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
    for (size_t i = 0; i < samples.size(); ++i) {
      const size_t row = 255 - i / 256;  // bottom-up
      ASSERT_EQ(bitmap[row * 256 + i % 256], ReferenceWindow(width, center, samples[i])) << samples[i];
    }
  }
}

TEST(PixelCodecWindow, EightBitSamplesWithAnEightBitCodec) {
  CPixelCodec codec("MONOCHROME2", 256, 1, 1, 8, 8, 0);
  std::vector<uint8_t> stored(256);
  for (size_t x = 0; x < 256; ++x) stored[x] = static_cast<uint8_t>(x);
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);
  for (const auto& [width, center] : {std::pair{256, 128}, std::pair{40, 60}, std::pair{1, 7}, std::pair{3, 250}}) {
    codec.SetWindow(width, center);
    ASSERT_TRUE(codec.WindowToBitmap(stored.data(), bitmap.data()));
    for (int32_t x = 0; x < 256; ++x) {
      ASSERT_EQ(bitmap[static_cast<size_t>(x)], ReferenceWindow(width, center, x)) << width << '/' << center;
    }
  }
}

TEST(PixelCodecWindow, MonochromeOneIsNotInverted) {
  CPixelCodec codec("MONOCHROME1", 4, 2, 2, 16, 16, 0);
  codec.SetWindow(256, 128);
  const std::vector<uint8_t> stored = Little16({0, 128, 255, 1000, 1, 2, 3, 4});
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);
  ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
  // Stored row 0 lands in bitmap row 1 (bottom-up, 4 bytes per row).
  const std::vector<uint8_t> expected = {1, 2, 3, 4, 0, 127, 255, 255};
  EXPECT_EQ(std::vector<uint8_t>(bitmap.begin(), bitmap.begin() + 8), expected);
}

TEST(PixelCodecWindow, PaddingPixelsAreLeftAlone) {
  CPixelCodec codec("MONOCHROME2", 5, 2, 2, 16, 12, 0);
  const std::vector<uint8_t> stored = Little16({0, 4095, 2048, 1, 4000, 100, 200, 300, 400, 500});
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);
  ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
  for (size_t row = 0; row < 2; ++row) {
    for (size_t c = 5; c < 8; ++c) EXPECT_EQ(bitmap[row * 8 + c], kSentinel);
  }
}

TEST(PixelCodecWindow, ExtremeWindowsAreSafe) {
  AllSamples16 all;
  const int32_t extremes[] = {kInt32Min, kInt32Min + 1, -1, 0, 1, 2, kInt32Max - 1, kInt32Max};
  for (int32_t width : extremes) {
    for (int32_t center : extremes) {
      const std::vector<uint8_t>& out = all.Apply(width, center);
      // Whatever the window, the mapping never decreases with the sample.
      for (size_t x = 1; x < 65536; ++x) ASSERT_LE(out[x - 1], out[x]) << width << '/' << center << " x " << x;
    }
  }
  // A huge window centred on the data puts every sample near mid-grey.
  const std::vector<uint8_t>& wide = all.Apply(kInt32Max, 32768);
  EXPECT_EQ(wide[0], 127);
  EXPECT_EQ(wide[65535], 127);
}

// ---- In-place flip ----

TEST(PixelCodecFlip, OddRowCountKeepsTheMiddleRow) {
  CPixelCodec codec("MONOCHROME2", 3, 3, 1, 8, 8, 0);  // rows of 4 bytes
  std::vector<uint8_t> buffer = Counting(12);
  ASSERT_TRUE(codec.FlipInPlace(buffer.data(), false));
  const std::vector<uint8_t> expected = {9, 10, 11, 12, 5, 6, 7, 8, 1, 2, 3, 4};
  EXPECT_EQ(buffer, expected);
}

TEST(PixelCodecFlip, EvenRowCountAndTwiceIsIdentity) {
  CPixelCodec codec("RGB", 5, 4, 3, 8, 8, 0);  // rows of 24 bytes, padding included
  std::vector<uint8_t> buffer = Counting(96);
  const std::vector<uint8_t> original = buffer;
  ASSERT_TRUE(codec.FlipInPlace(buffer.data(), false));
  for (size_t row = 0; row < 4; ++row) {
    for (size_t i = 0; i < 24; ++i) EXPECT_EQ(buffer[row * 24 + i], original[(3 - row) * 24 + i]);
  }
  ASSERT_TRUE(codec.FlipInPlace(buffer.data(), false));
  EXPECT_EQ(buffer, original);
}

TEST(PixelCodecFlip, SingleRowIsUnchanged) {
  CPixelCodec codec("RGB", 2, 1, 3, 8, 8, 0);
  std::vector<uint8_t> buffer = Counting(12);
  const std::vector<uint8_t> original = buffer;
  ASSERT_TRUE(codec.FlipInPlace(buffer.data(), true));
  ASSERT_TRUE(codec.FlipInPlace(buffer.data(), false));
  EXPECT_EQ(buffer, original);
}

TEST(PixelCodecFlip, PlanesAreFlippedOneByOne) {
  CPixelCodec codec("RGB", 5, 3, 3, 8, 8, 1);  // planes of 15 bytes, rows of 5
  std::vector<uint8_t> buffer = DisplayBuffer(codec);
  for (size_t i = 0; i < 45; ++i) buffer[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(codec.FlipInPlace(buffer.data(), true));
  for (size_t plane = 0; plane < 3; ++plane) {
    for (size_t row = 0; row < 3; ++row) {
      for (size_t c = 0; c < 5; ++c) {
        EXPECT_EQ(buffer[plane * 15 + row * 5 + c], plane * 15 + (2 - row) * 5 + c)
            << "plane " << plane << " row " << row << " column " << c;
      }
    }
  }
  for (size_t i = 45; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kSentinel) << i;
}

TEST(PixelCodecFlip, PlanesFlagWithOneBytePerPixelFlipsBitmapRows) {
  CPixelCodec codec("MONOCHROME2", 3, 2, 1, 8, 8, 0);
  std::vector<uint8_t> buffer = Counting(8);
  ASSERT_TRUE(codec.FlipInPlace(buffer.data(), true));
  const std::vector<uint8_t> expected = {5, 6, 7, 8, 1, 2, 3, 4};
  EXPECT_EQ(buffer, expected);
}

TEST(PixelCodecFlip, ThreePlanesDoNotFitTwoBytesPerPixel) {
  CPixelCodec codec("MONOCHROME2", 4, 4, 2, 16, 16, 0);
  std::vector<uint8_t> buffer = DisplayBuffer(codec);
  EXPECT_FALSE(codec.FlipInPlace(buffer.data(), true));
  for (uint8_t b : buffer) EXPECT_EQ(b, kSentinel);
  EXPECT_TRUE(codec.FlipInPlace(buffer.data(), false));
}

// ---- Work buffer ----

TEST(PixelCodecWorkBuffer, AllocatedOnceWithTheDisplaySize) {
  ExposedWorkBuffer codec("RGB", 5, 2, 3, 8, 8, 0);
  uint8_t* first = codec.WorkBuffer();
  ASSERT_NE(first, nullptr);
  for (size_t i = 0; i < codec.DisplaySize(); ++i) ASSERT_EQ(first[i], 0) << i;
  first[47] = 1;  // the whole display size is writable
  EXPECT_EQ(codec.WorkBuffer(), first);
}

TEST(PixelCodecWorkBuffer, NoneForAnUnusableCodec) {
  ExposedWorkBuffer empty("RGB", 0, 2, 3, 8, 8, 0);
  EXPECT_EQ(empty.WorkBuffer(), nullptr);
  ExposedWorkBuffer huge("RGB", 100000, 100000, 3, 8, 8, 0);
  EXPECT_EQ(huge.WorkBuffer(), nullptr);
}

// ---- Factory ----

TEST(CreatePixelCodecTest, NativeCodecFromAttributes) {
  auto codec = CreatePixelCodec(CodecKind::Native, "MONOCHROME2", 5, 3, 16, 12, 1, 0, 0);
  ASSERT_NE(codec, nullptr);
  EXPECT_EQ(codec->BytesPerPixel(), 2u);
  EXPECT_EQ(codec->Format(), PixelFormat::Monochrome2Word);
  EXPECT_EQ(codec->DisplaySize(), 48u);
  EXPECT_FALSE(codec->IsCompressed());
  EXPECT_FALSE(codec->IsLossy());

  auto colour = CreatePixelCodec(CodecKind::Native, "RGB", 5, 2, 8, 8, 3, 1, 0);
  ASSERT_NE(colour, nullptr);
  EXPECT_EQ(colour->BytesPerPixel(), 3u);
  EXPECT_EQ(colour->Format(), PixelFormat::RgbByPlane);
}

TEST(CreatePixelCodecTest, CompressedKinds) {
  auto rle = CreatePixelCodec(CodecKind::Rle, "RGB", 5, 2, 8, 8, 3, 1, 0);
  ASSERT_NE(rle, nullptr);
  EXPECT_TRUE(rle->IsCompressed());
  EXPECT_FALSE(rle->IsLossy());
  EXPECT_EQ(rle->Format(), PixelFormat::RgbByPlane);  // the RLE codec keeps the planar flag

  auto jpeg = CreatePixelCodec(CodecKind::Jpeg, "RGB", 5, 2, 8, 8, 3, 1, 90);
  ASSERT_NE(jpeg, nullptr);
  EXPECT_TRUE(jpeg->IsCompressed());
  EXPECT_TRUE(jpeg->IsLossy());
  EXPECT_EQ(jpeg->Format(), PixelFormat::RgbByPixel);  // JPEG frames are never by plane
}

TEST(CreatePixelCodecTest, NoCodecForUnknownKindsOrUnusableAttributes) {
  EXPECT_EQ(CreatePixelCodec(static_cast<CodecKind>(3), "RGB", 4, 4, 8, 8, 3, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(static_cast<CodecKind>(-1), "RGB", 4, 4, 8, 8, 3, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(CodecKind::Native, "RGB", 0, 4, 8, 8, 3, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(CodecKind::Native, "RGB", 4, 0, 8, 8, 3, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(CodecKind::Native, "MONOCHROME2", 4, 4, 1, 1, 1, 0, 0), nullptr);  // 0 bytes
  EXPECT_EQ(CreatePixelCodec(CodecKind::Native, "RGB", 4, 4, 32, 32, 3, 0, 0), nullptr);        // 12 bytes
  EXPECT_EQ(CreatePixelCodec(CodecKind::Native, "RGB", 4, 4, 0xFFFFFFFF, 8, 0xFFFFFFFF, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(CodecKind::Rle, "RGB", 70000, 70000, 8, 8, 3, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(CodecKind::Jpeg, "RGB", 0, 0, 8, 8, 3, 0, 0), nullptr);
  // An unknown photometric interpretation still makes a codec; it just
  // cannot convert.
  auto unsupported = CreatePixelCodec(CodecKind::Native, "YBR_FULL_422", 4, 4, 8, 8, 3, 0, 0);
  ASSERT_NE(unsupported, nullptr);
  EXPECT_EQ(unsupported->Format(), PixelFormat::Unsupported);
}

// ---- Attributes that contradict each other ----

TEST(PixelCodecBadGeometry, ColourWithOneBytePerPixelConvertsNothing) {
  for (const char* photometric : {"RGB", "YBR_FULL"}) {
    for (uint32_t planar : {0u, 1u}) {
      CPixelCodec codec(photometric, 5, 3, 1, 8, 8, planar);
      std::vector<uint8_t> stored = DisplayBuffer(codec);
      std::vector<uint8_t> bitmap = DisplayBuffer(codec);
      uint64_t length = 0;
      EXPECT_FALSE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
      EXPECT_FALSE(codec.Compress(bitmap.data(), stored.data(), stored.size(), length));
      for (bool byPlane : {false, true}) {
        EXPECT_FALSE(codec.RgbToBitmap(stored.data(), bitmap.data(), byPlane));
        EXPECT_FALSE(codec.BitmapToRgb(bitmap.data(), stored.data(), byPlane));
        EXPECT_FALSE(codec.YbrToBitmap(stored.data(), bitmap.data(), byPlane));
        EXPECT_FALSE(codec.BitmapToYbr(bitmap.data(), stored.data(), byPlane));
      }
      for (uint8_t b : bitmap) EXPECT_EQ(b, kSentinel);
      for (uint8_t b : stored) EXPECT_EQ(b, kSentinel);
    }
  }
}

TEST(PixelCodecBadGeometry, ColourWithTwoOrSixBytesPerPixelConvertsNothing) {
  for (uint32_t bytes : {2u, 6u}) {
    CPixelCodec codec("RGB", 5, 3, bytes, 8 * bytes / 3, 8, 0);
    std::vector<uint8_t> stored = DisplayBuffer(codec);
    std::vector<uint8_t> bitmap = DisplayBuffer(codec);
    EXPECT_FALSE(codec.Decompress(stored.data(), stored.size(), bitmap.data())) << bytes;
    EXPECT_FALSE(codec.RgbToBitmap(stored.data(), bitmap.data(), true)) << bytes;
    EXPECT_FALSE(codec.YbrToBitmap(stored.data(), bitmap.data(), false)) << bytes;
  }
}

TEST(PixelCodecBadGeometry, SixteenBitsAllocatedWithOneBytePerPixel) {
  // Format 6 (one byte per pixel): the frame is reversed byte for byte, and
  // the window, which would read two bytes per pixel, refuses.
  CPixelCodec codec("MONOCHROME2", 5, 3, 1, 16, 12, 0);
  EXPECT_EQ(codec.Format(), PixelFormat::Monochrome2Byte);
  const std::vector<uint8_t> stored = Counting(15);
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);
  EXPECT_FALSE(codec.WindowToBitmap(stored.data(), bitmap.data()));
  for (uint8_t b : bitmap) EXPECT_EQ(b, kSentinel);
  EXPECT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
}

TEST(PixelCodecBadGeometry, EightBitsAllocatedWithTwoBytesPerPixel) {
  CPixelCodec codec("MONOCHROME2", 5, 3, 2, 8, 8, 0);
  EXPECT_EQ(codec.Format(), PixelFormat::Monochrome2Word);
  std::vector<uint8_t> stored = DisplayBuffer(codec);
  std::vector<uint8_t> bitmap = DisplayBuffer(codec);
  EXPECT_FALSE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
  EXPECT_FALSE(codec.WindowToBitmap(stored.data(), bitmap.data()));
  for (uint8_t b : bitmap) EXPECT_EQ(b, kSentinel);
}

TEST(PixelCodecBadGeometry, OtherBitsAllocatedHaveNoWindow) {
  for (uint32_t bits : {0u, 12u, 32u}) {
    CPixelCodec codec("MONOCHROME2", 4, 2, 2, bits, bits, 0);
    std::vector<uint8_t> stored = DisplayBuffer(codec);
    std::vector<uint8_t> bitmap = DisplayBuffer(codec);
    EXPECT_FALSE(codec.Decompress(stored.data(), stored.size(), bitmap.data())) << bits;
  }
}

TEST(PixelCodecBadGeometry, UnusableCodecConvertsNothing) {
  // Columns that wrap the 32-bit aligned width must not reach the loops.
  CPixelCodec wrapped("RGB", 0xFFFFFFFFu, 1, 3, 8, 8, 0);
  CPixelCodec empty("MONOCHROME2", 0, 4, 1, 8, 8, 0);
  std::vector<uint8_t> buffer(64, kSentinel);
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
  for (uint8_t b : buffer) EXPECT_EQ(b, kSentinel);
}

TEST(PixelCodecBadGeometry, ExactDisplaySizedBuffersForEveryFormat) {
  // Every format and pixel size the codec accepts, with buffers of exactly
  // DisplaySize() bytes: the sanitizer reports any access past them.
  const char* photometrics[] = {"RGB", "YBR_FULL", "MONOCHROME1", "MONOCHROME2", "PALETTE COLOR", "other"};
  for (const char* photometric : photometrics) {
    for (uint32_t bytes = 1; bytes <= 6; ++bytes) {
      for (uint32_t bits : {8u, 16u}) {
        for (uint32_t planar : {0u, 1u}) {
          CPixelCodec codec(photometric, 5, 3, bytes, bits, bits, planar);
          std::vector<uint8_t> stored = DisplayBuffer(codec);
          std::vector<uint8_t> bitmap = DisplayBuffer(codec);
          uint64_t length = 0;
          (void)codec.Decompress(stored.data(), stored.size(), bitmap.data());
          (void)codec.Compress(bitmap.data(), stored.data(), stored.size(), length);
          (void)codec.FlipInPlace(bitmap.data(), true);
          (void)codec.FlipInPlace(bitmap.data(), false);
          (void)codec.ReverseRows(stored.data(), bitmap.data());
          (void)codec.WindowToBitmap(stored.data(), bitmap.data());
          for (bool byPlane : {false, true}) {
            (void)codec.RgbToBitmap(stored.data(), bitmap.data(), byPlane);
            (void)codec.BitmapToRgb(bitmap.data(), stored.data(), byPlane);
            (void)codec.YbrToBitmap(stored.data(), bitmap.data(), byPlane);
            (void)codec.BitmapToYbr(bitmap.data(), stored.data(), byPlane);
          }
        }
      }
    }
  }
}

}  // namespace
