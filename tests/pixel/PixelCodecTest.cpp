// CPixelCodec: geometry and format derived from the image attributes, the
// uncompressed Compress/Decompress dispatch, row reversal, the in-place
// flip, the work buffer, the factory, and headers whose attributes
// contradict each other (every conversion must then fail without touching
// memory outside a display-sized buffer). The window has its own file.
#include "pixel/PixelCodec.h"
#include "support/CodecBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::test;

namespace {

// Stored byte i = i + 1, so every byte is distinct within 255 bytes.
Bytes Counting(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  return bytes;
}

class ExposedWorkBuffer : public CPixelCodec {
 public:
  using CPixelCodec::CPixelCodec;
  using CPixelCodec::WorkBuffer;
};

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
  struct Case {
    std::string photometric;
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
      // Compared exactly: no case folding, trimming or stopping at a NUL.
      {"monochrome2", 1, 0, PixelFormat::Unsupported},
      {"MONOCHROME2 ", 1, 0, PixelFormat::Unsupported},
      {" RGB", 3, 0, PixelFormat::Unsupported},
      {std::string("RGB\0", 4), 3, 0, PixelFormat::Unsupported},
      {"YBR_FULL_422", 3, 0, PixelFormat::Unsupported},
      {"YBR_ICT", 3, 0, PixelFormat::Unsupported},
      {"", 1, 0, PixelFormat::Unsupported},
  };
  for (const Case& c : cases) {
    CPixelCodec codec(c.photometric, 4, 4, c.bytesPerPixel, 8 * c.bytesPerPixel, 8, c.planar);
    EXPECT_EQ(codec.Format(), c.format) << '"' << c.photometric << "\" " << c.bytesPerPixel << " bytes";
  }
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

TEST(PixelCodecCompress, RgbNeedsTheNominalCapacityAndReportsTheStoredLength) {
  CPixelCodec codec("RGB", 5, 2, 3, 8, 8, 0);
  const Bytes bitmap = Counting(48);
  Bytes out(48, kSentinel);
  uint64_t length = 12345;
  EXPECT_FALSE(codec.Compress(bitmap.data(), out.data(), 47, length));
  EXPECT_EQ(length, 12345u);

  ASSERT_TRUE(codec.Compress(bitmap.data(), out.data(), 48, length));
  EXPECT_EQ(length, 30u);  // the stored frame, not the 48-byte display frame
  // Stored row 0 is the bottom bitmap row (bytes 24 … 47), red first; stored
  // row 1, pixel 4 is bitmap row 0, pixel 4 (bytes 12 … 14).
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 3), (Bytes{27, 26, 25}));
  EXPECT_EQ(Bytes(out.begin() + 27, out.begin() + 30), (Bytes{15, 14, 13}));
  EXPECT_EQ(Bytes(out.begin() + 30, out.end()), Bytes(18, kSentinel));
}

TEST(PixelCodecCompress, GreyRowsAreReversedIntoStoredRows) {
  CPixelCodec codec("MONOCHROME2", 5, 3, 1, 8, 8, 0);
  Bytes bitmap = DisplayBuffer(codec);  // padding pixels hold the sentinel
  for (size_t row = 0; row < 3; ++row) {
    for (size_t c = 0; c < 5; ++c) bitmap[row * 8 + c] = static_cast<uint8_t>(10 * row + c);
  }
  Bytes out(codec.DisplaySize(), 0);
  uint64_t length = 0;
  ASSERT_TRUE(codec.Compress(bitmap.data(), out.data(), out.size(), length));
  Bytes expected = {20, 21, 22, 23, 24, 10, 11, 12, 13, 14, 0, 1, 2, 3, 4};
  expected.resize(out.size(), 0);
  EXPECT_EQ(out, expected);
}

TEST(PixelCodecCompress, SixteenBitGreyTakesTwoBytesPerBitmapPixel) {
  CPixelCodec codec("MONOCHROME1", 3, 2, 2, 16, 16, 0);  // bitmap rows of 4 pixels × 2 bytes
  const Bytes bitmap = Counting(16);
  Bytes out(16, 0);
  uint64_t length = 0;
  ASSERT_TRUE(codec.Compress(bitmap.data(), out.data(), out.size(), length));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 12), (Bytes{9, 10, 11, 12, 13, 14, 1, 2, 3, 4, 5, 6}));
}

TEST(PixelCodecDecompress, GreyAndPaletteRowsAreReversed) {
  for (const char* photometric : {"MONOCHROME2", "MONOCHROME1", "PALETTE COLOR"}) {
    CPixelCodec codec(photometric, 5, 3, 1, 8, 8, 0);
    const Bytes stored = Counting(15);
    Bytes bitmap = DisplayBuffer(codec);
    ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data())) << photometric;
    const uint8_t s = kSentinel;
    EXPECT_EQ(bitmap, (Bytes{11, 12, 13, 14, 15, s, s, s, 6, 7, 8, 9, 10, s, s, s, 1, 2, 3, 4, 5, s, s, s}))
        << photometric;
  }
}

TEST(PixelCodecDecompress, GreyRoundTripIsExact) {
  CPixelCodec codec("MONOCHROME2", 7, 5, 1, 8, 8, 0);
  const Bytes stored = Counting(35);
  Bytes bitmap = DisplayBuffer(codec);
  ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
  Bytes back(codec.DisplaySize(), 0);
  uint64_t length = 0;
  ASSERT_TRUE(codec.Compress(bitmap.data(), back.data(), back.size(), length));
  EXPECT_EQ(Bytes(back.begin(), back.begin() + 35), stored);
}

TEST(PixelCodecDispatch, UnsupportedFormatOrShortStoredFrameFails) {
  CPixelCodec unsupported("YBR_FULL_422", 4, 2, 3, 8, 8, 0);
  CPixelCodec rgb("RGB", 5, 2, 3, 8, 8, 0);  // needs 30 stored bytes
  for (const auto& [codec, size] : {std::pair{&unsupported, size_t{24}}, std::pair{&rgb, size_t{29}}}) {
    const Bytes stored(size, 1);
    Bytes bitmap = DisplayBuffer(*codec);
    EXPECT_FALSE(codec->Decompress(stored.data(), stored.size(), bitmap.data())) << codec->Photometric();
    EXPECT_EQ(bitmap, DisplayBuffer(*codec)) << codec->Photometric();
  }
  // Compress fails too, yet reports the length.
  const Bytes bitmap = DisplayBuffer(unsupported);
  Bytes out = DisplayBuffer(unsupported);
  uint64_t length = 0;
  EXPECT_FALSE(unsupported.Compress(bitmap.data(), out.data(), out.size(), length));
  EXPECT_EQ(length, unsupported.DisplaySize());
}

TEST(PixelCodecDecompress, NullBuffersFail) {
  CPixelCodec codec("MONOCHROME2", 4, 2, 1, 8, 8, 0);
  Bytes buffer = DisplayBuffer(codec);
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

// ---- In-place flip ----

TEST(PixelCodecFlip, RowsSwapTopToBottom) {
  const struct {
    const char* what;
    const char* photometric;
    uint32_t columns, rows, bytesPerPixel;
    bool planes;
    Bytes expected;  // from Counting(expected.size())
  } cases[] = {
      {"odd row count keeps the middle row", "MONOCHROME2", 3, 3, 1, false, {9, 10, 11, 12, 5, 6, 7, 8, 1, 2, 3, 4}},
      {"planes flag with one byte per pixel flips rows", "MONOCHROME2", 3, 2, 1, true, {5, 6, 7, 8, 1, 2, 3, 4}},
      {"single row", "RGB", 2, 1, 3, false, Counting(12)},
      {"single row of planes", "RGB", 2, 1, 3, true, Counting(12)},
  };
  for (const auto& c : cases) {
    CPixelCodec codec(c.photometric, c.columns, c.rows, c.bytesPerPixel, 8, 8, 0);
    Bytes buffer = Counting(c.expected.size());
    ASSERT_TRUE(codec.FlipInPlace(buffer.data(), c.planes)) << c.what;
    EXPECT_EQ(buffer, c.expected) << c.what;
  }
}

TEST(PixelCodecFlip, EvenRowCountAndTwiceIsIdentity) {
  CPixelCodec codec("RGB", 5, 4, 3, 8, 8, 0);  // rows of 24 bytes, padding included
  Bytes buffer = Counting(96);
  const Bytes original = buffer;
  ASSERT_TRUE(codec.FlipInPlace(buffer.data(), false));
  for (size_t row = 0; row < 4; ++row) {
    for (size_t i = 0; i < 24; ++i) EXPECT_EQ(buffer[row * 24 + i], original[(3 - row) * 24 + i]);
  }
  ASSERT_TRUE(codec.FlipInPlace(buffer.data(), false));
  EXPECT_EQ(buffer, original);
}

TEST(PixelCodecFlip, PlanesAreFlippedOneByOne) {
  CPixelCodec codec("RGB", 5, 3, 3, 8, 8, 1);  // planes of 15 bytes, rows of 5
  Bytes buffer = DisplayBuffer(codec);
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
  EXPECT_EQ(Bytes(buffer.begin() + 45, buffer.end()), Bytes(buffer.size() - 45, kSentinel));
}

TEST(PixelCodecFlip, ThreePlanesDoNotFitTwoBytesPerPixel) {
  CPixelCodec codec("MONOCHROME2", 4, 4, 2, 16, 16, 0);
  Bytes buffer = DisplayBuffer(codec);
  EXPECT_FALSE(codec.FlipInPlace(buffer.data(), true));
  EXPECT_EQ(buffer, DisplayBuffer(codec));
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

TEST(CreatePixelCodecTest, CodecOfEachKindFromAttributes) {
  const struct {
    CodecKind kind;
    const char* photometric;
    uint32_t bitsAllocated, samples;
    uint32_t bytesPerPixel;
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

TEST(PixelCodecBadGeometry, ColourWithoutThreeBytesPerPixelConvertsNothing) {
  for (uint32_t bytes : {1u, 2u, 6u}) {
    for (const char* photometric : {"RGB", "YBR_FULL"}) {
      for (uint32_t planar : {0u, 1u}) {
        SCOPED_TRACE(std::string(photometric) + ", " + std::to_string(bytes) + " bytes, planar " +
                     std::to_string(planar));
        CPixelCodec codec(photometric, 5, 3, bytes, 8, 8, planar);
        Bytes stored = DisplayBuffer(codec);
        Bytes bitmap = DisplayBuffer(codec);
        uint64_t length = 0;
        EXPECT_FALSE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
        EXPECT_FALSE(codec.Compress(bitmap.data(), stored.data(), stored.size(), length));
        for (bool byPlane : {false, true}) {
          EXPECT_FALSE(codec.RgbToBitmap(stored.data(), bitmap.data(), byPlane));
          EXPECT_FALSE(codec.BitmapToRgb(bitmap.data(), stored.data(), byPlane));
          EXPECT_FALSE(codec.YbrToBitmap(stored.data(), bitmap.data(), byPlane));
          EXPECT_FALSE(codec.BitmapToYbr(bitmap.data(), stored.data(), byPlane));
        }
        EXPECT_EQ(bitmap, DisplayBuffer(codec));
        EXPECT_EQ(stored, DisplayBuffer(codec));
      }
    }
  }
}

TEST(PixelCodecBadGeometry, WindowNeedsTwoBytesPerPixelAndSixteenBitsAllocated) {
  const struct {
    uint32_t bytesPerPixel;
    uint32_t bitsAllocated;
    bool decompresses;  // through the window, or by reversing rows byte for byte
  } cases[] = {{1, 16, true}, {2, 8, false}, {2, 0, false}, {2, 12, false}, {2, 32, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bytesPerPixel) + " bytes, " + std::to_string(c.bitsAllocated) + " bits");
    CPixelCodec codec("MONOCHROME2", 5, 3, c.bytesPerPixel, c.bitsAllocated, 8, 0);
    const Bytes stored = Counting(codec.DisplaySize());
    Bytes bitmap = DisplayBuffer(codec);
    EXPECT_FALSE(codec.WindowToBitmap(stored.data(), bitmap.data()));
    EXPECT_EQ(bitmap, DisplayBuffer(codec));
    EXPECT_EQ(codec.Decompress(stored.data(), stored.size(), bitmap.data()), c.decompresses);
    if (!c.decompresses) {
      EXPECT_EQ(bitmap, DisplayBuffer(codec));
    }
  }
}

TEST(PixelCodecBadGeometry, UnusableCodecConvertsNothing) {
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
          Bytes stored = DisplayBuffer(codec);
          Bytes bitmap = DisplayBuffer(codec);
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
