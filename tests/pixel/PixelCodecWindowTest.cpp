// CPixelCodec's window, which reduces grey samples to an 8-bit bitmap: the
// default window, the defining formula for every sample value, how the
// sample's bits are read (Bits Stored, High Bit, Pixel Representation), and
// windows at the limits of their types.
#include "pixel/PixelCodec.h"
#include "support/CodecBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace quillon;
using namespace quillon::test;

namespace {

Bytes Little16(const std::vector<uint16_t>& samples) {
  Bytes bytes;
  for (const uint16_t s : samples) bytes.insert(bytes.end(), {static_cast<uint8_t>(s), static_cast<uint8_t>(s >> 8)});
  return bytes;
}

// Every sample value 0 … 65535, in order or shuffled.
std::vector<uint16_t> AllSamples(bool shuffled = false) {
  std::vector<uint16_t> samples(65536);
  std::iota(samples.begin(), samples.end(), uint16_t{0});
  if (shuffled) std::shuffle(samples.begin(), samples.end(), std::mt19937(99));
  return samples;
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

TEST(PixelCodecWindow, DefaultsCoverTheStoredGreyRange) {
  const struct {
    const char* photometric;
    uint32_t bytesPerPixel, bitsStored;
    int32_t width, center;
  } cases[] = {
      {"MONOCHROME1", 1, 8, 256, 128},
      {"MONOCHROME2", 2, 12, 4096, 2048},
      {"MONOCHROME1", 2, 16, 65536, 32768},
      // Extreme bits stored stay within the signed width.
      {"MONOCHROME2", 2, 0, 1, 0},
      {"MONOCHROME2", 2, 30, 1 << 30, 1 << 29},
      {"MONOCHROME2", 2, 31, kInt32Max, kInt32Max / 2},
      {"MONOCHROME2", 2, 32, kInt32Max, kInt32Max / 2},
      {"MONOCHROME2", 2, 63, kInt32Max, kInt32Max / 2},
      {"MONOCHROME2", 2, 64, kInt32Max, kInt32Max / 2},
      {"MONOCHROME2", 2, 1000, kInt32Max, kInt32Max / 2},
      {"MONOCHROME2", 2, 0xFFFFFFFF, kInt32Max, kInt32Max / 2},
      // Colour and unknown formats have no window.
      {"RGB", 3, 8, 0, 0},
      {"YBR_FULL", 3, 8, 0, 0},
      {"PALETTE COLOR", 3, 8, 0, 0},
      {"monochrome2", 3, 8, 0, 0},
  };
  for (const auto& c : cases) {
    CPixelCodec codec(c.photometric, 4, 4, c.bytesPerPixel, c.bytesPerPixel == 2 ? 16 : 8, c.bitsStored, 0);
    int32_t width = -1;
    int32_t center = -1;
    codec.GetWindow(width, center);
    EXPECT_EQ(std::pair(width, center), std::pair(c.width, c.center)) << c.photometric << ", " << c.bitsStored;
  }
}

TEST(PixelCodecWindow, SixteenBitSamplesMakeAnEightBitBottomUpBitmap) {
  // MONOCHROME1 is not inverted; the padding pixels and the second half of
  // the nominal display size are left alone.
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

// Every 16-bit sample value once, in a shuffled order, through one codec
// frame after frame; and every 8-bit value through an 8-bit codec.
TEST(PixelCodecWindow, MatchesTheDefiningFormulaForEverySample) {
  std::vector<std::pair<int32_t, int32_t>> windows = {
      {256, 128}, {2, 100}, {3, 10},      {4, 0},      {4096, 2048}, {65536, 32768}, {400, 40}, {40, 60},
      {400, -40}, {7, -3},  {1001, 1000}, {350, 1075}, {2, 0},       {3, -1},        {3, 250},  {100000, -20000},
      {300, 40000}, {70000, 1000},
  };
  // A width of 1 or less is a threshold: black up to some sample, white from
  // there on.
  for (const int32_t width : {1, 0, -1, -100, kInt32Min}) {
    for (const int32_t center : {0, 1, 7, 100, 65535, -5}) windows.emplace_back(width, center);
  }
  std::mt19937 random(12345);
  for (int i = 0; i < 40; ++i) {
    windows.emplace_back(static_cast<int32_t>(random() % 70000) + 2, static_cast<int32_t>(random() % 140000) - 40000);
  }
  const std::vector<uint16_t> samples = AllSamples(true);
  const Bytes stored = Little16(samples);
  CPixelCodec codec("MONOCHROME2", 256, 256, 2, 16, 16, 0);
  Bytes bitmap = DisplayBuffer(codec);
  CPixelCodec narrow("MONOCHROME2", 256, 1, 1, 8, 8, 0);
  Bytes ramp(256);
  std::iota(ramp.begin(), ramp.end(), uint8_t{0});
  Bytes narrowBitmap = DisplayBuffer(narrow);
  for (const auto& [width, center] : windows) {
    SCOPED_TRACE("width " + std::to_string(width) + " centre " + std::to_string(center));
    codec.SetWindow(width, center);
    ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
    for (size_t i = 0; i < samples.size(); ++i) {
      const size_t row = 255 - i / 256;  // bottom-up
      ASSERT_EQ(bitmap[row * 256 + i % 256], ReferenceWindow(width, center, samples[i])) << samples[i];
    }
    narrow.SetWindow(width, center);
    ASSERT_TRUE(narrow.WindowToBitmap(ramp.data(), narrowBitmap.data()));
    for (int32_t x = 0; x < 256; ++x) {
      ASSERT_EQ(narrowBitmap[static_cast<size_t>(x)], ReferenceWindow(width, center, x));
    }
  }
  // Width 1 at centre 100: low = high = 99, and 99 is black (x ≤ low first).
  narrow.SetWindow(1, 100);
  ASSERT_TRUE(narrow.WindowToBitmap(ramp.data(), narrowBitmap.data()));
  EXPECT_EQ(narrowBitmap[99], 0);
  EXPECT_EQ(narrowBitmap[100], 255);
}

// Every 16-bit pattern, read with each layout, meets the window as the
// value its Bits Stored bits hold.
TEST(PixelCodecWindow, SamplesAreTheirBitsStoredSignExtendedWhenSigned) {
  const struct {
    uint32_t bitsStored, highBit;
    bool isSigned;
    int32_t width, center;
  } cases[] = {
      {12, 11, false, 4096, 2048}, {12, 11, true, 4096, 0},   {12, 15, false, 4096, 2048},
      {12, 13, true, 4096, 0},     {16, 15, true, 65536, 0},  {1, 0, true, 2, 0},
      {12, 3, false, 4096, 2048},  // a High Bit below Bits Stored − 1 counts as 11
      {16, 15, true, 300, -200},   // a window the user set
  };
  const Bytes stored = Little16(AllSamples());
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bitsStored) + " bits stored, high bit " + std::to_string(c.highBit) +
                 (c.isSigned ? ", signed" : ", unsigned"));
    CPixelCodec codec("MONOCHROME2", 65536, 1, 2, 16, c.bitsStored, 0);
    codec.SetSampleLayout(c.highBit, c.isSigned);
    EXPECT_EQ(codec.SignedSamples(), c.isSigned);
    const uint32_t shift = c.highBit + 1 >= c.bitsStored ? c.highBit + 1 - c.bitsStored : 0;
    if (c.width == 300) {
      codec.SetWindow(c.width, c.center);
    } else {
      int32_t width = 0;
      int32_t center = 0;
      codec.GetWindow(width, center);  // the default for the layout
      EXPECT_EQ(std::pair(width, center), std::pair(c.width, c.center));
    }
    Bytes bitmap(65536);
    ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
    const int32_t range = 1 << c.bitsStored;
    for (int32_t raw = 0; raw < 65536; ++raw) {
      int32_t value = (raw >> shift) & (range - 1);
      if (c.isSigned && value >= range / 2) value -= range;
      ASSERT_EQ(bitmap[static_cast<size_t>(raw)], ReferenceWindow(c.width, c.center, value)) << "raw " << raw;
    }
  }
}

TEST(PixelCodecWindow, ExtremeWindowsAreSafe) {
  CPixelCodec codec("MONOCHROME2", 65536, 1, 2, 16, 16, 0);
  const Bytes stored = Little16(AllSamples());
  Bytes out(65536);
  const int32_t extremes[] = {kInt32Min, kInt32Min + 1, -1, 0, 1, 2, kInt32Max - 1, kInt32Max};
  for (const int32_t width : extremes) {
    for (const int32_t center : extremes) {
      codec.SetWindow(width, center);
      ASSERT_TRUE(codec.WindowToBitmap(stored.data(), out.data()));
      // Whatever the window, the mapping never decreases with the sample.
      for (size_t x = 1; x < 65536; ++x) ASSERT_LE(out[x - 1], out[x]) << width << '/' << center << " x " << x;
    }
  }
  // A huge window centred on the data puts every sample near mid-grey.
  codec.SetWindow(kInt32Max, 32768);
  ASSERT_TRUE(codec.WindowToBitmap(stored.data(), out.data()));
  EXPECT_EQ(out[0], 127);
  EXPECT_EQ(out[65535], 127);
}

}  // namespace
