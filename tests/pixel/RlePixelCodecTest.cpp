// RLE codec: the row encoder byte for byte, the frame layout, round trips
// through the bitmap for grey, RGB and YBR_FULL, output capacity, and
// damaged frames, which must fail without reading or writing out of bounds
// (every frame here sits in a heap block of exactly its size, so the
// sanitizers see any overrun). DCMTK and GDCM read our frames and we read
// theirs: PixelPeerInteropTest.cpp.
#include "pixel/RlePixelCodec.h"
#include "support/CodecBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr int kLast = CRlePixelCodec::kNoNextRow;
constexpr uint8_t kPaddingFill = 0xCD;

// Rows and segments are read from exact blocks, so the sanitizer catches a
// read past their end.
Bytes EncodeRow(const Bytes& row, int nextRowFirst = kLast) {
  const Exact exact(row);
  Bytes out(row.size() * 2 + 2, 0xEE);
  out.resize(CRlePixelCodec::EncodeRow(exact.data.get(), static_cast<uint32_t>(row.size()), nextRowFirst, out.data(),
                                       out.size()));
  return out;
}

bool DecodeSegment(const Bytes& segment, Bytes& plane) {
  const Exact exact(segment);
  return CRlePixelCodec::DecodeSegment(exact.data.get(), exact.size, plane.data(), plane.size());
}

// `count` bytes, no two neighbours equal.
Bytes Distinct(size_t count) {
  Bytes row(count);
  for (size_t i = 0; i < count; ++i) row[i] = static_cast<uint8_t>(i % 251);
  return row;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A frame header: segment count and up to fifteen offsets.
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

// A bitmap with runs of every length, literal stretches and noise; the
// padding pixels hold kPaddingFill.
Bytes TestBitmap(const CPixelCodec& codec, uint32_t seed) {
  Bytes bitmap(codec.DisplaySize(), kPaddingFill);
  std::mt19937 random(seed);
  const uint64_t stride = uint64_t{codec.AlignedColumns()} * codec.BytesPerPixel();
  uint8_t value = 0;
  uint32_t runLeft = 0;
  for (uint32_t r = 0; r < codec.Rows(); ++r) {
    for (uint64_t i = 0; i < uint64_t{codec.Columns()} * codec.BytesPerPixel(); ++i) {
      if (runLeft == 0) {
        value = static_cast<uint8_t>(random());
        runLeft = random() % 3 == 0 ? 1 + static_cast<uint32_t>(random() % 300) : 1;
      }
      --runLeft;
      bitmap[r * stride + i] = value;
    }
  }
  return bitmap;
}

Bytes Compress(CPixelCodec& codec, const Bytes& bitmap) {
  Bytes out(2 * codec.DisplaySize() + 1024);
  uint64_t length = 0;
  EXPECT_TRUE(codec.Compress(bitmap.data(), out.data(), out.size(), length));
  out.resize(length);
  return out;
}

// Decompresses a frame held in a block of exactly its size.
bool Decompress(CPixelCodec& codec, const Bytes& frame, Bytes& bitmap) {
  const Exact stored(frame);
  const Exact target(Bytes(codec.DisplaySize(), kPaddingFill));
  const bool ok = codec.Decompress(stored.data.get(), stored.size, target.data.get());
  bitmap = target.Copy();
  return ok;
}

// ---- Row encoder and segment decoder ----

TEST(RleRowEncoder, KnownRowsGiveExactRuns) {
  const Bytes d128 = Distinct(128);  // 0 … 127
  const Bytes d129 = Distinct(129);  // 0 … 128
  const struct {
    const char* what;
    Bytes row;
    int nextRowFirst;
    Bytes expected;
  } cases[] = {
      {"empty row", {}, kLast, {}},
      {"four equal bytes", {7, 7, 7, 7}, kLast, {253, 7}},
      {"equal pair inside different bytes", {'a', 'b', 'b', 'd'}, kLast, {0, 'a', 255, 'b', 0, 'd'}},
      // Repeat and literal runs hold at most 128 bytes.
      {"2 copies", Bytes(2, 9), kLast, {255, 9}},
      {"128 copies", Bytes(128, 9), kLast, {129, 9}},
      {"129 copies", Bytes(129, 9), kLast, {129, 9, 0, 9}},
      {"200 copies", Bytes(200, 9), kLast, {129, 9, 185, 9}},
      {"128 literals", d128, kLast, Concat({{127}, d128})},
      {"129 literals", d129, kLast, Concat({{127}, d128, {0, 128}})},
      {"130 literals", Distinct(130), kLast, Concat({{127}, d128, {1, 128, 129}})},
      // A literal run ends where an equal pair starts.
      {"pair at the end", {1, 2, 3, 3, 3}, kLast, {1, 1, 2, 254, 3}},
      {"pair at the start", {1, 1, 2, 3}, kLast, {255, 1, 1, 2, 3}},
      {"two different bytes", {5, 6}, kLast, {1, 5, 6}},
      {"single byte", {42}, kLast, {0, 42}},
      {"single byte equal to the next row's first", {42}, 42, {0, 42}},
      // A last byte equal to the next row's first ends the literal run, so
      // the two can join one repeat run.
      {"last row", {'a', 'b', 'c'}, kLast, {2, 'a', 'b', 'c'}},
      {"next row starts differently", {'a', 'b', 'c'}, 'x', {2, 'a', 'b', 'c'}},
      {"next row starts with the last byte", {'a', 'b', 'c'}, 'c', {1, 'a', 'b', 0, 'c'}},
      {"two bytes, next row starts with the last", {'a', 'c'}, 'c', {0, 'a', 0, 'c'}},
      {"a repeat run never looks past its row", {'a', 'b', 'b'}, 'b', {0, 'a', 255, 'b'}},
      {"a full-length literal run ends before the last byte", d128, 127,
       Concat({{126}, Bytes(d128.begin(), d128.end() - 1), {0, 127}})},
      {"a run started on the last byte does not look ahead", d129, 128, Concat({{127}, d128, {0, 128}})},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeRow(c.row, c.nextRowFirst), c.expected) << c.what;
}

TEST(RleRowEncoder, RandomRowsDecodeBackWithinTheWorstCase) {
  std::mt19937 random(20261206);
  for (int trial = 0; trial < 5000; ++trial) {
    const size_t width = 1 + random() % 400;
    Bytes row;
    while (row.size() < width) {
      // Alternate runs of equal bytes (lengths 1 to 20, so runs end at every
      // offset within a word) with a narrow alphabet that makes chance pairs.
      const size_t run = 1 + random() % 20;
      const auto value = static_cast<uint8_t>(random() % (trial % 2 ? 4 : 256));
      for (size_t k = 0; k < run && row.size() < width; ++k) {
        row.push_back(trial % 3 == 0 ? static_cast<uint8_t>(random() % (1 + static_cast<uint32_t>(trial) % 4)) : value);
      }
    }
    const int next = trial % 4 == 0 ? kLast : static_cast<int>(random() % 4);
    const Bytes code = EncodeRow(row, next);
    // At worst a one-byte literal before every repeat pair: 4 bytes for 3,
    // plus a one-byte literal at each end.
    EXPECT_LE(code.size(), 4 * row.size() / 3 + 3) << trial;
    Bytes decoded(row.size());
    ASSERT_TRUE(DecodeSegment(code, decoded));
    ASSERT_EQ(decoded, row) << trial;
  }
}

TEST(RleRowEncoder, NeverWritesPastItsCapacity) {
  const Bytes row = Concat({Distinct(131), Bytes(200, 3), {1, 2}});
  const Bytes expected = EncodeRow(row);
  for (uint64_t capacity = 0; capacity <= expected.size(); ++capacity) {
    Bytes out(expected.size() + 8, 0xEE);
    const uint64_t length =
        CRlePixelCodec::EncodeRow(row.data(), static_cast<uint32_t>(row.size()), kLast, out.data(), capacity);
    EXPECT_EQ(length, capacity == expected.size() ? expected.size() : 0u) << capacity;
    for (uint64_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << capacity << " " << i;
  }
}

// Literal, repeat and no-op (128) runs; runs longer than the plane stop
// when it is full; a segment ending before the plane is full fails.
TEST(RleSegmentDecoder, FillsThePlaneExactly) {
  const struct {
    Bytes segment;
    size_t planeSize;
    Bytes expected;  // empty: fails
  } cases[] = {
      {{2, 'a', 'b', 'c', 128, 253, 'z', 0, 'q'}, 8, {'a', 'b', 'c', 'z', 'z', 'z', 'z', 'q'}},
      {{4, 'a', 'b', 'c'}, 3, {'a', 'b', 'c'}},  // declares 5 bytes, 3 are needed and present
      {{129, 'r'}, 3, {'r', 'r', 'r'}},
      {{}, 4, {}},
      {{0, 'a'}, 4, {}},
      {{2, 'a', 'b'}, 4, {}},
      {{254}, 4, {}},
      {{128, 128}, 4, {}},
      {{255, 1}, 4, {}},
  };
  for (const auto& c : cases) {
    Bytes plane(c.planeSize);
    EXPECT_EQ(DecodeSegment(c.segment, plane), !c.expected.empty()) << testing::PrintToString(c.segment);
    if (!c.expected.empty()) {
      EXPECT_EQ(plane, c.expected);
    }
  }
}

// ---- Frames ----

TEST(RlePixelCodecCompress, TinyImagesGiveExactFrames) {
  // Bitmaps are bottom-up, blue-green-red, rows padded to 4 pixels.
  const uint8_t p = kPaddingFill;
  const Bytes grey = Header(1, {64});
  const Bytes colour = Header(3, {64, 66, 68});
  const struct {
    const char* what;
    const char* photometric;
    uint32_t columns, rows, samples, planar;
    Bytes bitmap;
    Bytes expected;
  } cases[] = {
      {"grey 1 x 1 is 66 bytes", "MONOCHROME2", 1, 1, 1, 0, {77, p, p, p}, Concat({grey, {0, 77}})},
      {"an odd segment gets a zero pad", "MONOCHROME2", 2, 1, 1, 0, {5, 6, p, p}, Concat({grey, {1, 5, 6, 0}})},
      {"three different bytes are one even segment", "MONOCHROME2", 3, 1, 1, 0, {'a', 'b', 'c', p},
       Concat({grey, {2, 'a', 'b', 'c'}})},
      // Image rows 9, 7, 5, 5 from the top.
      {"a single column codes every row as one literal", "MONOCHROME2", 1, 4, 1, 0,
       {5, 0, 0, 0, 5, 0, 0, 0, 7, 0, 0, 0, 9, 0, 0, 0}, Concat({grey, {0, 9, 0, 7, 0, 5, 0, 5}})},
      // Image rows a b c / c d e.
      {"a literal run stops before a last byte equal to the next row's first", "MONOCHROME2", 3, 2, 1, 0,
       {'c', 'd', 'e', 0, 'a', 'b', 'c', 0}, Concat({grey, {1, 'a', 'b', 0, 'c', 2, 'c', 'd', 'e', 0}})},
      {"RGB segments are red, green, blue", "RGB", 1, 1, 3, 0, {1, 2, 3, p, p, p, 0, 0, 0, 0, 0, 0},
       Concat({colour, {0, 3, 0, 2, 0, 1}})},
      {"YBR_FULL by plane segments are Y, Cb, Cr", "YBR_FULL", 1, 1, 3, 1,
       {255, 255, 255, p, p, p, p, p, p, p, p, p}, Concat({colour, {0, 255, 0, 129, 0, 128}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CRlePixelCodec codec(c.photometric, c.columns, c.rows, c.samples, 8, 8, c.planar);
    ASSERT_EQ(c.bitmap.size(), codec.DisplaySize());
    EXPECT_EQ(Compress(codec, c.bitmap), c.expected);
  }
}

// Widths around the 128-byte run limit, one codec serving frame after
// frame; the padding pixels are left alone. Colour frames have three
// segments at rising even offsets.
TEST(RlePixelCodecRoundTrip, GreyAndRgbAreExact) {
  for (const char* photometric : {"MONOCHROME2", "RGB"}) {
    const uint32_t samples = photometric[0] == 'R' ? 3 : 1;
    for (const uint32_t planar : {0u, 1u}) {
      for (const uint32_t columns : {1u, 2u, 3u, 4u, 5u, 8u, 37u, 127u, 128u, 129u, 300u}) {
        for (const uint32_t rows : {1u, 2u, 7u}) {
          CRlePixelCodec codec(photometric, columns, rows, samples, 8, 8, planar);
          for (uint32_t frame = 0; frame < 2; ++frame) {
            SCOPED_TRACE(std::string(photometric) + " " + std::to_string(columns) + "x" + std::to_string(rows) +
                         " planar " + std::to_string(planar) + " frame " + std::to_string(frame));
            const Bytes bitmap = TestBitmap(codec, 1000 * frame + columns * 31 + rows + planar);
            const Bytes stored = Compress(codec, bitmap);
            Bytes decoded;
            ASSERT_TRUE(Decompress(codec, stored, decoded));
            ASSERT_EQ(decoded, bitmap);
            EXPECT_EQ(stored.size() % 2, 0u);
            EXPECT_EQ(U32At(stored, 0), samples);
            EXPECT_EQ(U32At(stored, 4), 64u);
            for (size_t slot = 1; slot < 15; ++slot) {
              const uint32_t offset = U32At(stored, 4 + 4 * slot);
              if (slot < samples) {
                EXPECT_GT(offset, U32At(stored, 4 * slot));
                EXPECT_EQ(offset % 2, 0u);
              } else {
                EXPECT_EQ(offset, 0u);
              }
            }
          }
        }
      }
    }
  }
}

// A 1 × 1 frame (70 bytes) needs more than twice its display size (12).
TEST(RlePixelCodecCompress, NeverWritesPastTheCapacityAndRefusesUnusableInput) {
  for (const auto& [columns, rows] : {std::pair{1u, 1u}, std::pair{3u, 2u}, std::pair{130u, 3u}}) {
    CRlePixelCodec codec("RGB", columns, rows, 3, 8, 8, 0);
    const Bytes bitmap = TestBitmap(codec, columns);
    const Bytes expected = Compress(codec, bitmap);
    for (uint64_t capacity = 0; capacity <= expected.size(); ++capacity) {
      Bytes out(expected.size() + 8, 0xEE);
      uint64_t length = 12345;
      const bool ok = codec.Compress(bitmap.data(), out.data(), capacity, length);
      EXPECT_EQ(ok, capacity == expected.size()) << columns << "x" << rows << " capacity " << capacity;
      EXPECT_EQ(length, ok ? expected.size() : 12345u);
      for (uint64_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << capacity << " " << i;
    }
  }
  uint8_t out[256] = {};
  uint64_t length = 0;
  const Bytes bitmap(64, 0);
  CRlePixelCodec grey("MONOCHROME2", 4, 4, 1, 8, 8, 0);
  EXPECT_FALSE(grey.Compress(nullptr, out, sizeof out, length));
  EXPECT_FALSE(grey.Compress(bitmap.data(), nullptr, sizeof out, length));
  EXPECT_FALSE(CRlePixelCodec("MONOCHROME2", 0, 4, 1, 8, 8, 0).Compress(bitmap.data(), out, sizeof out, length));
  CRlePixelCodec word("MONOCHROME2", 4, 4, 2, 16, 12, 0);  // 16-bit samples are not coded
  EXPECT_FALSE(word.Compress(bitmap.data(), out, sizeof out, length));
}

// ---- Damaged frames ----

class RlePixelCodecBadInput : public ::testing::Test {
 protected:
  // A good 4 × 3 grey frame and a good 4 × 3 RGB frame to damage.
  CRlePixelCodec m_grey{"MONOCHROME2", 4, 3, 1, 8, 8, 0};
  CRlePixelCodec m_colour{"RGB", 4, 3, 3, 8, 8, 0};
  Bytes m_greyFrame = Compress(m_grey, TestBitmap(m_grey, 5));
  Bytes m_colourFrame = Compress(m_colour, TestBitmap(m_colour, 6));

  static Bytes WithHeader(const Bytes& frame, const Bytes& header) {
    return Concat({header, Bytes(frame.begin() + 64, frame.end())});
  }
  static bool Fails(CRlePixelCodec& codec, const Bytes& frame) {
    Bytes bitmap;
    return !Decompress(codec, frame, bitmap);
  }
};

TEST_F(RlePixelCodecBadInput, DamagedFramesFail) {
  const auto greyWith = [this](const Bytes& header) { return WithHeader(m_greyFrame, header); };
  const auto colourWith = [this](const Bytes& header) { return WithHeader(m_colourFrame, header); };
  // The undamaged frames decode, and so do hand-made segments that just fill their planes.
  EXPECT_FALSE(Fails(m_grey, m_greyFrame));
  EXPECT_FALSE(Fails(m_colour, m_colourFrame));
  EXPECT_FALSE(Fails(m_colour, Concat({Header(3, {64, 66, 68}), {245, 1}, {245, 2}, {245, 3}})));
  for (size_t length = 0; length < 64; ++length) {
    EXPECT_TRUE(Fails(m_grey, Bytes(m_greyFrame.begin(), m_greyFrame.begin() + static_cast<long>(length)))) << length;
  }
  const uint32_t second = U32At(m_colourFrame, 8);
  const uint32_t third = U32At(m_colourFrame, 12);
  const auto greySize = static_cast<uint32_t>(m_greyFrame.size());
  Bytes fifteen = Header(15, {64, 66, 68, 70, 72, 74, 76, 78, 80, 82, 84, 86, 88, 90, 92});
  for (int s = 0; s < 15; ++s) fifteen.insert(fifteen.end(), {129, 1});
  const struct {
    const char* what;
    CRlePixelCodec* codec;
    Bytes frame;
  } cases[] = {
      // The segment count must match the sample planes.
      {"grey, no segments", &m_grey, greyWith(Header(0, {64}))},
      {"grey, two segments", &m_grey, greyWith(Header(2, {64, 66}))},
      {"grey, sixteen segments", &m_grey, greyWith(Header(16, {64}))},
      {"grey, 2^32 - 1 segments", &m_grey, greyWith(Header(0xFFFFFFFF, {64}))},
      {"colour, one segment", &m_colour, colourWith(Header(1, {64}))},
      {"colour, two segments", &m_colour, colourWith(Header(2, {64, second}))},
      {"colour, four segments", &m_colour, colourWith(Header(4, {64, second, third, 80}))},
      {"grey, fifteen segments (the header's limit)", &m_grey, fifteen},
      {"colour, fifteen segments (the header's limit)", &m_colour, fifteen},
      {"offset at the end", &m_grey, greyWith(Header(1, {greySize}))},
      {"offset past the end", &m_grey, greyWith(Header(1, {greySize + 1}))},
      {"offset 2^31 - 1", &m_grey, greyWith(Header(1, {0x7FFFFFFF}))},
      {"offset 2^32 - 1", &m_grey, greyWith(Header(1, {0xFFFFFFFF}))},
      {"colour, last offset at the end", &m_colour,
       colourWith(Header(3, {64, second, static_cast<uint32_t>(m_colourFrame.size())}))},
      {"offset 0, inside the header", &m_grey, greyWith(Header(1, {0}))},
      {"offset 4, inside the header", &m_grey, greyWith(Header(1, {4}))},
      {"offset 63, inside the header", &m_grey, greyWith(Header(1, {63}))},
      {"offsets going back", &m_colour, colourWith(Header(3, {64, third, second}))},
      {"first offset past the second", &m_colour, colourWith(Header(3, {second, 64, third}))},
      {"first two offsets equal", &m_colour, colourWith(Header(3, {64, 64, third}))},
      {"last two offsets equal", &m_colour, colourWith(Header(3, {64, second, second}))},
      // 12 pixels needed, 4 given; the rest of the frame is the next segment's.
      {"segment ending before its plane is full", &m_colour,
       Concat({Header(3, {64, 68, 70}), {253, 1, 0, 0}, {245, 2}, {245, 3}})},
      {"frame ending before the plane is full", &m_grey, Concat({Header(1, {64}), {250, 1}})},
      {"frame cut short", &m_grey, Bytes(m_greyFrame.begin(), m_greyFrame.end() - 3)},
      {"literal run past the stored length", &m_grey, Concat({Header(1, {64}), {127, 1, 2, 3}})},
      {"repeat run whose value is missing", &m_grey, Concat({Header(1, {64}), {247, 1, 200}})},
      {"no-op runs only", &m_grey, Concat({Header(1, {64}), {128, 128, 128}})},
  };
  for (const auto& damaged : cases) EXPECT_TRUE(Fails(*damaged.codec, damaged.frame)) << damaged.what;
}

TEST_F(RlePixelCodecBadInput, FormatsWithoutPlanesToDecodeFail) {
  CRlePixelCodec word("MONOCHROME2", 4, 3, 2, 16, 16, 0);
  EXPECT_TRUE(Fails(word, m_greyFrame));
  EXPECT_TRUE(Fails(word, Concat({Header(2, {64, 66}), {245, 1}, {245, 2}})));
  CRlePixelCodec odd("YBR_FULL_422", 4, 3, 3, 8, 8, 0);
  EXPECT_TRUE(Fails(odd, m_colourFrame));
  Bytes bitmap(m_grey.DisplaySize());
  EXPECT_FALSE(m_grey.Decompress(nullptr, 100, bitmap.data()));
  EXPECT_FALSE(m_grey.Decompress(m_greyFrame.data(), m_greyFrame.size(), nullptr));
}

// Random frames, most with a plausible header so the segment data gets
// decoded: the sanitizers watch the exact blocks, and a frame too short
// for its header always fails.
TEST_F(RlePixelCodecBadInput, GarbageNeverOverruns) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 3000; ++trial) {
    CRlePixelCodec& codec = trial % 2 ? m_colour : m_grey;
    Bytes frame(random() % 160);
    for (uint8_t& b : frame) b = static_cast<uint8_t>(random());
    if (frame.size() >= 64 && trial % 3 != 0) {
      const Bytes header = Header(trial % 2 ? 3 : 1, {64, 64 + static_cast<uint32_t>(random() % 40),
                                                      64 + static_cast<uint32_t>(random() % 90)});
      std::copy(header.begin(), header.end(), frame.begin());
    }
    const bool failed = Fails(codec, frame);
    if (frame.size() < 64) {
      EXPECT_TRUE(failed) << trial;
    }
  }
}

}  // namespace
