// CPixelCodec: geometry from the image attributes, where a stored frame's
// samples land in the display bitmap and back, the colour tables, the grey
// window, and attributes that contradict each other.
#include "pixel/PixelCodec.h"
#include "support/CodecBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <utility>

using namespace quillon;
using namespace quillon::test;

namespace {

Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

uint64_t StoredSize(const CPixelCodec& codec) {
  return uint64_t{codec.Columns()} * codec.Rows() * codec.BytesPerPixel();
}

// The bitmap a stored frame shows as: rows bottom-up and padded to four
// pixels (the padding holds the sentinel), colour samples blue-green-red,
// whether stored by pixel or by plane.
Bytes ExpectedBitmap(const CPixelCodec& codec, const Bytes& stored, bool byPlane) {
  Bytes bitmap = DisplayBuffer(codec);
  const size_t columns = codec.Columns();
  const size_t rows = codec.Rows();
  const size_t bytes = codec.BytesPerPixel();
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < columns; ++c) {
      for (size_t s = 0; s < bytes; ++s) {
        const size_t from = byPlane ? s * columns * rows + r * columns + c : (r * columns + c) * bytes + s;
        bitmap[((rows - 1 - r) * codec.AlignedColumns() + c) * bytes + (bytes == 3 ? 2 - s : s)] = stored[from];
      }
    }
  }
  return bitmap;
}

Bytes Little16(const std::vector<uint16_t>& samples) {
  Bytes bytes;
  for (const uint16_t s : samples) bytes.insert(bytes.end(), {static_cast<uint8_t>(s), static_cast<uint8_t>(s >> 8)});
  return bytes;
}

// The window as defined: black up to the lower bound, white from the upper
// bound on, a line between them; bounds in double, the rest in 64 bits.
uint8_t ReferenceWindow(int32_t width, int32_t center, int64_t x) {
  const double w = width;
  const double c = center - 0.5;
  if (x <= static_cast<int64_t>(c - (w - 1) / 2)) return 0;
  if (x >= static_cast<int64_t>(c + (w - 1) / 2)) return 255;
  const int64_t line = (255 * x - static_cast<int64_t>(c * 255)) / static_cast<int64_t>(w - 1) + 127;
  return static_cast<uint8_t>(std::clamp<int64_t>(line, 0, 255));
}

// Attributes come from untrusted files: an empty, oversized or odd frame is
// refused (no codec is made for it), and sizes near the top of 32 bits
// do not wrap the display size (aligned columns × rows × bytes per pixel).
// Nor is one made for an unknown kind.
TEST(PixelCodecGeometry, RowsAlignAndOversizedFramesAreRefused) {
  const auto limitRows = static_cast<uint32_t>(CPixelCodec::kMaxDisplaySize / 1024);
  const struct {
    uint32_t columns, rows, bytesPerPixel;
    uint64_t displaySize;
    bool usable;
  } cases[] = {
      {1, 1, 1, 4, true},          {5, 2, 3, 48, true},    {511, 3, 2, 3072, true}, {0, 4, 3, 0, false},
      {4, 0, 3, 0, false},         {4, 4, 0, 0, false},    {4, 4, 6, 96, true},     {4, 4, 7, 112, false},
      {65536, 65536, 3, uint64_t{3} << 32, false},         {1024, limitRows, 1, CPixelCodec::kMaxDisplaySize, true},
      {1024, limitRows + 1, 1, CPixelCodec::kMaxDisplaySize + 1024, false},
      {0xFFFFFFFD, 1, 1, uint64_t{1} << 32, false},        {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, UINT64_MAX, false},
  };
  for (const auto& c : cases) {
    const CPixelCodec codec("RGB", c.columns, c.rows, c.bytesPerPixel, 8, 8, 0);
    EXPECT_EQ(std::pair(codec.DisplaySize(), codec.IsUsable()), std::pair(c.displaySize, c.usable))
        << c.columns << " x " << c.rows << " x " << c.bytesPerPixel;
    EXPECT_EQ(CreatePixelCodec(CodecKind::Rle, "RGB", c.columns, c.rows, 8, 8, c.bytesPerPixel, 0, 0) != nullptr,
              c.usable);
  }
  EXPECT_EQ(CreatePixelCodec(CodecKind::Native, "RGB", 4, 4, 0xFFFFFFFF, 8, 0xFFFFFFFF, 0, 0), nullptr);
  EXPECT_EQ(CreatePixelCodec(static_cast<CodecKind>(3), "RGB", 4, 4, 8, 8, 3, 0, 0), nullptr);
  // RLE keeps the planar flag, JPEG frames are never by plane and lossy.
  const auto native = CreatePixelCodec(CodecKind::Native, "RGB", 5, 3, 8, 8, 3, 1, 90);
  const auto rle = CreatePixelCodec(CodecKind::Rle, "RGB", 5, 3, 8, 8, 3, 1, 90);
  const auto jpeg = CreatePixelCodec(CodecKind::Jpeg, "RGB", 5, 3, 8, 8, 3, 1, 90);
  ASSERT_TRUE(native != nullptr && rle != nullptr && jpeg != nullptr);
  EXPECT_EQ(std::tuple(rle->Format(), rle->IsLossy(), jpeg->Format(), jpeg->IsLossy()),
            std::tuple(PixelFormat::RgbByPlane, false, PixelFormat::RgbByPixel, true));
  EXPECT_TRUE(rle->IsCompressed() && jpeg->IsCompressed() && !native->IsCompressed() && !native->IsLossy());
}

// Decompress puts every stored sample where ExpectedBitmap says, leaving the
// padding alone; Compress gives the stored frame back, reports its length
// and writes nothing past it. YBR_FULL goes through the colour conversion of
// its layout, and 16-bit grey (shown through the window) is only compressed,
// two bytes per bitmap pixel. Any non-zero planar flag is by plane, and
// means nothing for grey.
TEST(PixelCodecLayout, StoredSamplesLandInTheBitmapAndComeBack) {
  const struct {
    const char* photometric;
    uint32_t columns, rows, bytesPerPixel, planar;
  } cases[] = {
      {"MONOCHROME2", 7, 5, 1, 1}, {"MONOCHROME1", 5, 3, 1, 0}, {"PALETTE COLOR", 5, 3, 1, 0},
      {"MONOCHROME1", 3, 2, 2, 0}, {"RGB", 13, 7, 3, 0},        {"RGB", 13, 7, 3, 2},
      {"YBR_FULL", 5, 2, 3, 0},    {"YBR_FULL", 5, 2, 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.photometric) + " " + std::to_string(c.columns) + " planar " + std::to_string(c.planar));
    CPixelCodec codec(c.photometric, c.columns, c.rows, c.bytesPerPixel, 8 * c.bytesPerPixel, 8, c.planar);
    const bool ybr = codec.Photometric() == "YBR_FULL";
    const Bytes stored = RandomBytes(StoredSize(codec), c.columns + c.planar);
    const bool byPlane = c.planar != 0 && c.bytesPerPixel == 3;
    Bytes expected = ExpectedBitmap(codec, stored, byPlane);
    Bytes back = stored;
    if (ybr) {
      ASSERT_TRUE(codec.YbrToBitmap(stored.data(), expected.data(), byPlane));
      ASSERT_TRUE(codec.BitmapToYbr(expected.data(), back.data(), byPlane));
    }
    if (c.bytesPerPixel != 2) {
      Bytes bitmap = DisplayBuffer(codec);
      ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
      EXPECT_EQ(bitmap, expected);
    }
    Bytes out = DisplayBuffer(codec);
    uint64_t length = 12345;
    EXPECT_FALSE(codec.Compress(expected.data(), out.data(), out.size() - 1, length));
    EXPECT_EQ(length, 12345u);
    ASSERT_TRUE(codec.Compress(expected.data(), out.data(), out.size(), length));
    ASSERT_EQ(length, stored.size());  // the stored frame, not the display frame
    back.resize(out.size(), kSentinel);
    EXPECT_EQ(out, back);
  }
}

// Every table entry is rounded on its own (white has Cb 129), and sums out
// of range clamp (pure blue saturates Cb; YBR (0, 255, 255) gives green
// −44 − 91 and (200, 255, 0) blue 200 + 225). The peer cross-checks hold
// YBR_FULL round trips of a natural image close to the source.
TEST(PixelCodecColour, YbrConversionsAreExact) {
  CPixelCodec codec("YBR_FULL", 1, 1, 3, 8, 8, 0);
  for (const auto& [toYbr, bgr, ybr] : {std::tuple{true, Bytes{255, 255, 255}, Bytes{255, 129, 128}},
                                        {true, Bytes{255, 0, 0}, Bytes{29, 255, 107}},
                                        {false, Bytes{225, 0, 178}, Bytes{0, 255, 255}},
                                        {false, Bytes{255, 247, 21}, Bytes{200, 255, 0}}}) {
    Bytes out(3);
    ASSERT_TRUE(toYbr ? codec.BitmapToYbr(bgr.data(), out.data(), false)
                      : codec.YbrToBitmap(ybr.data(), out.data(), false));
    EXPECT_EQ(out, toYbr ? ybr : bgr);
  }
}

// Every format and pixel size, with buffers of exactly DisplaySize() bytes
// (the sanitizer reports any access past them): colour needs three bytes
// per pixel, the window two bytes of 16 bits or one of 8, an unknown format
// (the photometric interpretation is compared exactly: no case folding,
// trimming or stopping at a NUL) converts nothing, and a conversion that
// fails leaves the buffers alone.
// Stored frames that are short, columns that wrap the 32-bit aligned width
// and missing buffers never reach the loops.
TEST(PixelCodecBadGeometry, OnlyConversionsThatFitTheFormatRun) {
  const std::string photometrics[] = {"RGB",         "YBR_FULL",     "MONOCHROME1", "MONOCHROME2", "PALETTE COLOR",
                                     "YBR_FULL_422", "monochrome2", "MONOCHROME2 ", std::string("RGB\0", 4)};
  for (const std::string& p : photometrics) {
    for (uint32_t bytes = 1; bytes <= 6; ++bytes) {
      for (const uint32_t bits : {0u, 8u, 12u, 16u, 32u}) {
        for (const uint32_t planar : {0u, 1u}) {
          SCOPED_TRACE(p + ", " + std::to_string(bytes) + " bytes, " + std::to_string(bits) + " bits, planar " +
                       std::to_string(planar));
          CPixelCodec codec(p, 5, 3, bytes, bits, 8, planar);
          const bool colour = p == "RGB" || p == "YBR_FULL";
          const bool window = (bits == 16 && bytes == 2) || (bits == 8 && bytes == 1);
          const bool grey = p == "MONOCHROME1" || p == "MONOCHROME2";
          // 32-bit grey samples are shown (over the frame's range) but not coded.
          const bool wide = grey && bits == 32 && bytes == 4;
          const bool decompresses = colour ? bytes == 3 : grey ? bytes == 1 || window || wide : p == "PALETTE COLOR";
          const bool compresses = colour ? bytes == 3 : (grey && bits != 32) || p == "PALETTE COLOR";
          const Bytes input = RandomBytes(codec.DisplaySize(), bytes * bits);
          const auto untouchedUnless = [&](bool ok, const Bytes& out) { return ok || out == DisplayBuffer(codec); };
          Bytes out = DisplayBuffer(codec);
          uint64_t length = 0;
          EXPECT_EQ(codec.Decompress(input.data(), input.size(), out.data()), decompresses);
          EXPECT_TRUE(untouchedUnless(decompresses, out));
          out = DisplayBuffer(codec);
          EXPECT_EQ(codec.Compress(input.data(), out.data(), out.size(), length), compresses);
          EXPECT_EQ(length, StoredSize(codec));
          EXPECT_TRUE(untouchedUnless(compresses, out));
          out = DisplayBuffer(codec);
          EXPECT_EQ(codec.WindowToBitmap(input.data(), out.data()), window);
          EXPECT_TRUE(untouchedUnless(window, out));
          EXPECT_EQ(codec.FlipInPlace(out.data(), true), bytes != 2);  // three planes fit from three bytes on
          EXPECT_TRUE(codec.ReverseRows(input.data(), out.data()));
          EXPECT_FALSE(codec.Decompress(input.data(), StoredSize(codec) - 1, out.data()));
          EXPECT_FALSE(codec.Decompress(nullptr, input.size(), out.data()) ||
                       codec.Compress(input.data(), nullptr, out.size(), length) ||
                       codec.ReverseRows(input.data(), nullptr) || codec.FlipInPlace(nullptr, false));
        }
      }
    }
  }
  CPixelCodec wrapped("RGB", 0xFFFFFFFFu, 1, 3, 8, 8, 0);
  Bytes buffer(64, kSentinel);
  uint64_t length = 0;
  uint8_t* b = buffer.data();
  EXPECT_FALSE(wrapped.Decompress(b, 64, b) || wrapped.Compress(b, b, UINT64_MAX, length) ||
               wrapped.RgbToBitmap(b, b, false) || wrapped.BitmapToYbr(b, b, true) || wrapped.ReverseRows(b, b) ||
               wrapped.WindowToBitmap(b, b) || wrapped.FlipInPlace(b, false));
  EXPECT_EQ(buffer, Bytes(64, kSentinel));
}

// The default window of a grey image is the whole range Bits Stored can
// hold, within the signed width; palette colour has none. MONOCHROME1 is
// not inverted, and the padding pixels and the second half of the nominal
// display size are left alone.
TEST(PixelCodecWindow, DefaultsCoverTheStoredGreyRangeAndSamplesBecomeOneByte) {
  for (const auto& [photometric, bytes, bitsStored, window] :
       {std::tuple{"MONOCHROME1", 1u, 8u, std::pair{256, 128}}, {"MONOCHROME2", 2u, 0u, std::pair{1, 0}},
        {"MONOCHROME2", 2u, 30u, std::pair{1 << 30, 1 << 29}}, {"PALETTE COLOR", 1u, 8u, std::pair{0, 0}},
        {"MONOCHROME2", 2u, 31u, std::pair{kInt32Max, kInt32Max / 2}},
        {"MONOCHROME1", 2u, 0xFFFFFFFFu, std::pair{kInt32Max, kInt32Max / 2}}}) {
    CPixelCodec codec(photometric, 4, 4, bytes, bytes * 8, bitsStored, 0);
    std::pair<int32_t, int32_t> found;
    codec.GetWindow(found.first, found.second);
    EXPECT_EQ(found, window) << photometric << ", " << bitsStored;
  }
  CPixelCodec codec("MONOCHROME1", 5, 2, 2, 16, 16, 0);
  codec.SetWindow(256, 128);
  const Bytes stored = Little16({0, 1, 128, 254, 255, 256, 4096, 65535, 1000, 2});
  Bytes bitmap = DisplayBuffer(codec);
  ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
  const uint8_t s = kSentinel;
  Bytes expected = {255, 255, 255, 255, 2, s, s, s, 0, 1, 127, 253, 255, s, s, s};
  expected.resize(bitmap.size(), s);
  EXPECT_EQ(bitmap, expected);
}

// Every 16-bit pattern, shuffled, read with each sample layout and shown
// through each window, meets the window as the value its Bits Stored bits
// hold (sign-extended when signed; a High Bit that does not fit counts as
// Bits Stored − 1), and so does every 8-bit value. A width of 1 or less is
// a threshold; windows at the limits of their type do not overflow.
TEST(PixelCodecWindow, SamplesMeetTheDefiningFormula) {
  std::vector<std::pair<int32_t, int32_t>> windows = {
      {0, 0},  // the layout's default
      {256, 128}, {2, 100}, {3, 10}, {400, -40}, {7, -3}, {350, 1075}, {100000, -20000}, {70000, 1000},
      {1, 100},   {0, 7},   {-1, 0}, {kInt32Max, 32768},
  };
  std::mt19937 random(12345);
  for (int i = 0; i < 10; ++i) {
    windows.emplace_back(static_cast<int32_t>(random() % 70000) + 2, static_cast<int32_t>(random() % 140000) - 40000);
  }
  for (const int32_t width : {kInt32Min, -1, 2, kInt32Max - 1}) {
    for (const int32_t center : {kInt32Min, -1, kInt32Max}) windows.emplace_back(width, center);
  }
  const struct {
    uint32_t bitsStored, highBit;
    bool isSigned;
    int32_t defaultWidth, defaultCenter;
  } layouts[] = {{16, 15, false, 65536, 32768}, {12, 11, true, 4096, 0}, {12, 15, false, 4096, 2048},
                 {12, 3, false, 4096, 2048},    {1, 0, true, 2, 0}};
  std::vector<uint16_t> samples(65536);
  std::iota(samples.begin(), samples.end(), uint16_t{0});
  std::shuffle(samples.begin(), samples.end(), std::mt19937(99));
  const Bytes stored = Little16(samples);
  Bytes bitmap(65536);
  CPixelCodec narrow("MONOCHROME2", 256, 1, 1, 8, 8, 0);
  Bytes ramp(256);
  std::iota(ramp.begin(), ramp.end(), uint8_t{0});
  for (const auto& l : layouts) {
    CPixelCodec codec("MONOCHROME2", 256, 256, 2, 16, l.bitsStored, 0);
    codec.SetSampleLayout(l.highBit, l.isSigned);
    EXPECT_EQ(codec.SignedSamples(), l.isSigned);
    const uint32_t shift = l.highBit + 1 >= l.bitsStored ? l.highBit + 1 - l.bitsStored : 0;
    const int32_t range = 1 << l.bitsStored;
    for (auto [width, center] : windows) {
      SCOPED_TRACE(std::to_string(l.bitsStored) + " bits, high bit " + std::to_string(l.highBit) + ", width " +
                   std::to_string(width) + ", centre " + std::to_string(center));
      if (width == 0 && center == 0) {
        codec.GetWindow(width, center);
        EXPECT_EQ(std::pair(width, center), std::pair(l.defaultWidth, l.defaultCenter));
      } else {
        codec.SetWindow(width, center);
      }
      ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
      for (size_t i = 0; i < samples.size(); ++i) {
        int32_t value = (samples[i] >> shift) & (range - 1);
        if (l.isSigned && value >= range / 2) value -= range;
        ASSERT_EQ(bitmap[(255 - i / 256) * 256 + i % 256], ReferenceWindow(width, center, value)) << samples[i];
      }
      narrow.SetWindow(width, center);
      ASSERT_TRUE(narrow.WindowToBitmap(ramp.data(), bitmap.data()));
      for (int32_t x = 0; x < 256; ++x) ASSERT_EQ(bitmap[static_cast<size_t>(x)], ReferenceWindow(width, center, x));
    }
  }
}

}  // namespace
