// RLE codec: the runs the row coder writes (a saved frame is made of them),
// one exact frame, the round trip, output capacity, and damaged frames.
// Peers read our frames and we theirs: PixelPeerInteropTest.cpp.
#include "pixel/RlePixelCodec.h"
#include "support/CodecBytes.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr int kLast = CRlePixelCodec::kNoNextRow;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes EncodeRow(const Bytes& row, int nextRowFirst = kLast) {
  const Exact exact(row);
  Bytes out(row.size() * 2 + 2);
  out.resize(CRlePixelCodec::EncodeRow(exact.data.get(), static_cast<uint32_t>(row.size()), nextRowFirst, out.data(),
                                       out.size()));
  return out;
}

// A frame header: the segment count and up to fifteen offsets.
Bytes Header(uint32_t segments, std::initializer_list<uint32_t> offsets) {
  std::vector<uint32_t> words{segments};
  words.insert(words.end(), offsets);
  Bytes header(CRlePixelCodec::kHeaderSize, 0);
  for (size_t w = 0; w < words.size(); ++w) {
    for (size_t i = 0; i < 4; ++i) header[4 * w + i] = static_cast<uint8_t>(words[w] >> (8 * i));
  }
  return header;
}

uint32_t U32At(const Bytes& bytes, size_t at) {
  return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
         uint32_t{bytes[at + 3]} << 24;
}

// Runs of every length up to 300 and noise, over all byte values or (odd
// seeds) over four, which makes chance pairs; the padding pixels hold the
// sentinel.
Bytes TestBitmap(const CPixelCodec& codec, uint32_t seed) {
  Bytes bitmap = DisplayBuffer(codec);
  std::mt19937 random(seed);
  const size_t rowBytes = size_t{codec.Columns()} * codec.BytesPerPixel();
  for (size_t i = 0; i < bitmap.size();) {
    const auto value = static_cast<uint8_t>(random() % (seed % 2 ? 4 : 256));
    for (size_t run = random() % 3 == 0 ? 1 + random() % 300 : 1; run > 0 && i < bitmap.size(); --run, ++i) {
      if (i % (size_t{codec.AlignedColumns()} * codec.BytesPerPixel()) < rowBytes) bitmap[i] = value;
    }
  }
  return bitmap;
}

// Runs hold at most 128 bytes; a literal run ends where an equal pair
// starts, and before a last byte equal to the next row's first, so the two
// can join one repeat run there.
TEST(RleRowEncoder, KnownRowsGiveExactRuns) {
  Bytes d130(130);  // no two neighbours equal
  std::iota(d130.begin(), d130.end(), uint8_t{0});
  const Bytes d128(d130.begin(), d130.begin() + 128);
  const struct {
    Bytes row;
    int nextRowFirst;
    Bytes expected;
  } cases[] = {
      {Bytes(129, 9), kLast, {129, 9, 0, 9}},
      {d130, kLast, Concat({{127}, d128, {1, 128, 129}})},
      {{1, 2, 3, 3, 3}, kLast, {1, 1, 2, 254, 3}},
      {{'a', 'b', 'b'}, 'b', {0, 'a', 255, 'b'}},
      {d128, 127, Concat({{126}, Bytes(d128.begin(), d128.end() - 1), {0, 127}})},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeRow(c.row, c.nextRowFirst), c.expected) << testing::PrintToString(c.row);
}

// Image rows "abc" and "cde": the header, one segment whose first literal
// run stops before the "c" the next row starts with, and a zero pad.
TEST(RlePixelCodec, FrameLayout) {
  CRlePixelCodec codec("MONOCHROME2", 3, 2, 1, 8, 8, 0);
  EXPECT_EQ(CompressFrame(codec, {'c', 'd', 'e', 0, 'a', 'b', 'c', 0}),
            Concat({Header(1, {64}), {1, 'a', 'b', 0, 'c', 2, 'c', 'd', 'e', 0}}));
}

// Widths around the 128-byte run limit, one codec serving frame after frame;
// the padding pixels are left alone. Segments start at rising even offsets,
// and a row takes at most a one-byte literal before every repeat pair and
// one at each end.
TEST(RlePixelCodec, RoundTripIsExact) {
  for (const char* photometric : {"MONOCHROME2", "RGB"}) {
    const uint32_t samples = photometric[0] == 'R' ? 3 : 1;
    for (const uint32_t columns : {1u, 3u, 4u, 5u, 37u, 127u, 128u, 129u, 300u}) {
      for (const uint32_t rows : {1u, 7u}) {
        CRlePixelCodec codec(photometric, columns, rows, samples, 8, 8, columns % 2);
        for (uint32_t seed = columns * 31 + rows; seed < columns * 31 + rows + 4; ++seed) {
          SCOPED_TRACE(std::string(photometric) + " " + std::to_string(columns) + "x" + std::to_string(rows));
          const Bytes bitmap = TestBitmap(codec, seed);
          const Bytes stored = CompressFrame(codec, bitmap);
          Bytes decoded;
          ASSERT_TRUE(DecompressFrame(codec, stored, decoded));
          ASSERT_EQ(decoded, bitmap);
          EXPECT_EQ(stored.size() % 2, 0u);
          EXPECT_LE(stored.size(), 64 + samples * (rows * (4 * columns / 3 + 3) + 1));
          EXPECT_EQ(U32At(stored, 0), samples);
          EXPECT_EQ(U32At(stored, 4), 64u);
          for (uint32_t slot = 1; slot < CRlePixelCodec::kMaxSegments; ++slot) {
            const uint32_t offset = U32At(stored, 4 + 4 * slot);
            EXPECT_TRUE(slot < samples ? offset > U32At(stored, 4 * slot) && offset % 2 == 0 : offset == 0) << slot;
          }
        }
      }
    }
  }
}

// A 1 x 1 frame (70 bytes) needs more than twice its display size (12).
// Nothing is written past the capacity; a missing buffer, an unusable
// geometry and 16-bit samples are refused.
TEST(RlePixelCodec, CompressNeverWritesPastItsCapacity) {
  for (const auto& [columns, rows] : {std::pair{1u, 1u}, std::pair{130u, 3u}}) {
    CRlePixelCodec codec("RGB", columns, rows, 3, 8, 8, 0);
    const Bytes bitmap = TestBitmap(codec, columns);
    const Bytes expected = CompressFrame(codec, bitmap);
    for (uint64_t capacity = 0; capacity <= expected.size(); ++capacity) {
      Bytes out(expected.size() + 8, 0xEE);
      uint64_t length = 12345;
      const bool ok = codec.Compress(bitmap.data(), out.data(), capacity, length);
      EXPECT_EQ(ok, capacity == expected.size()) << columns << " columns, capacity " << capacity;
      EXPECT_EQ(length, ok ? expected.size() : 12345u);
      for (uint64_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << capacity << " " << i;
    }
  }
  uint8_t out[256] = {};
  uint64_t length = 0;
  const Bytes bitmap(64, 0);
  CRlePixelCodec grey("MONOCHROME2", 4, 4, 1, 8, 8, 0);
  EXPECT_FALSE(grey.Compress(nullptr, out, sizeof out, length) || grey.Compress(bitmap.data(), nullptr, 256, length));
  EXPECT_FALSE(CRlePixelCodec("MONOCHROME2", 0, 4, 1, 8, 8, 0).Compress(bitmap.data(), out, sizeof out, length));
  EXPECT_FALSE(CRlePixelCodec("MONOCHROME2", 4, 4, 2, 16, 12, 0).Compress(bitmap.data(), out, sizeof out, length));
}

// Frames read from files: a header that disagrees with the image or with
// itself, segments that run out before their plane is full, and formats
// without planes to decode fail, leaving the bitmap alone (the sanitizers
// watch the exact blocks). Segments may hold more than their plane needs (a
// literal run cut short, a pad byte).
TEST(RlePixelCodec, DamagedFramesFail) {
  CRlePixelCodec grey("MONOCHROME2", 4, 3, 1, 8, 8, 0);
  CRlePixelCodec colour("RGB", 4, 3, 3, 8, 8, 0);
  CRlePixelCodec word("MONOCHROME2", 4, 3, 2, 16, 16, 0);
  CRlePixelCodec ybr422("YBR_FULL_422", 4, 3, 3, 8, 8, 0);
  const Bytes greyFrame = CompressFrame(grey, TestBitmap(grey, 5));
  const Bytes colourFrame = CompressFrame(colour, TestBitmap(colour, 6));
  const Bytes greyData(greyFrame.begin() + 64, greyFrame.end());
  const Bytes colourData(colourFrame.begin() + 64, colourFrame.end());
  const uint32_t second = U32At(colourFrame, 8);
  const uint32_t third = U32At(colourFrame, 12);
  const struct {
    const char* what;
    CRlePixelCodec& codec;
    Bytes frame;
    bool decodes;
  } cases[] = {
      {"grey as made", grey, greyFrame, true},
      {"colour as made", colour, colourFrame, true},
      {"runs that just fill their planes", colour, Concat({Header(3, {64, 66, 68}), {245, 1}, {245, 2}, {245, 3}}),
       true},
      {"a cut literal run", grey, Concat({Header(1, {64}), {246, 1}, {4, 'a', 'b'}}), true},
      {"a no-op, a long repeat run and a pad byte", grey, Concat({Header(1, {64}), {128, 129, 7, 0}}), true},
      {"header cut short", grey, Bytes(greyFrame.begin(), greyFrame.begin() + 63), false},
      {"no segments", grey, Concat({Header(0, {64}), greyData}), false},
      {"two segments for grey", grey, Concat({Header(2, {64, 66}), greyData}), false},
      {"sixteen segments", grey, Concat({Header(16, {64}), greyData}), false},
      {"offset at the end", grey, Concat({Header(1, {static_cast<uint32_t>(greyFrame.size())}), greyData}), false},
      {"offset inside the header", grey, Concat({Header(1, {63}), greyData}), false},
      {"offsets going back", colour, Concat({Header(3, {64, third, second}), colourData}), false},
      {"a segment ending before its plane is full", colour,
       Concat({Header(3, {64, 68, 70}), {253, 1, 0, 0}, {245, 2}, {245, 3}}), false},
      {"a literal run past the end", grey, Concat({Header(1, {64}), {127, 1, 2, 3}}), false},
      {"a repeat run without its value", grey, Concat({Header(1, {64}), {247, 1, 200}}), false},
      {"no-op runs only", grey, Concat({Header(1, {64}), {128, 128, 128}}), false},
      {"16-bit samples", word, Concat({Header(2, {64, 66}), {245, 1}, {245, 2}}), false},
      {"YBR_FULL_422", ybr422, colourFrame, false},
  };
  for (const auto& c : cases) {
    Bytes bitmap;
    EXPECT_EQ(DecompressFrame(c.codec, c.frame, bitmap), c.decodes) << c.what;
    EXPECT_TRUE(c.decodes || bitmap == DisplayBuffer(c.codec)) << c.what << ": the bitmap was written";
  }
  Bytes bitmap(grey.DisplaySize());
  EXPECT_FALSE(grey.Decompress(nullptr, 100, bitmap.data()));
  EXPECT_FALSE(grey.Decompress(greyFrame.data(), greyFrame.size(), nullptr));
}

}  // namespace
