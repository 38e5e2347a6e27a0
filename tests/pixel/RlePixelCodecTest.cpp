// RLE codec: the row encoder byte for byte, the frame layout, round trips
// through the bitmap for grey, RGB and YBR_FULL, output capacity, and
// damaged frames, which must fail without reading or writing out of bounds
// (every frame here sits in a heap block of exactly its size, so the
// sanitizers see any overrun). Frames made by DCMTK and GDCM must decode to
// the bitmap of their uncompressed source, and theirs must read ours.
#include "pixel/RlePixelCodec.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomEncapsulatedPixelData.h"
#include "support/DicomFiles.h"
#include "support/Shell.h"

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

using Bytes = std::vector<uint8_t>;

constexpr int kLast = CRlePixelCodec::kNoNextRow;
constexpr uint8_t kPaddingFill = 0xCD;

// A copy in a heap block of exactly its size.
struct Exact {
  explicit Exact(const Bytes& bytes) : size(bytes.size()), data(std::make_unique<uint8_t[]>(bytes.size())) {
    if (size != 0) std::memcpy(data.get(), bytes.data(), size);
  }
  uint64_t size;
  std::unique_ptr<uint8_t[]> data;
};

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

Bytes Repeated(size_t count, uint8_t value) { return Bytes(count, value); }

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
  Bytes header(CRlePixelCodec::kHeaderSize, 0);
  auto put = [&header](size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) header[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put(0, segments);
  size_t slot = 0;
  for (const uint32_t offset : offsets) put(4 + 4 * slot++, offset);
  return header;
}

uint32_t U32At(const Bytes& bytes, size_t at) {
  return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
         uint32_t{bytes[at + 3]} << 24;
}

std::unique_ptr<CRlePixelCodec> Grey(uint32_t columns, uint32_t rows) {
  return std::make_unique<CRlePixelCodec>("MONOCHROME2", columns, rows, 1, 8, 8, 0);
}

std::unique_ptr<CRlePixelCodec> Colour(const std::string& photometric, uint32_t columns, uint32_t rows,
                                       uint32_t planar) {
  return std::make_unique<CRlePixelCodec>(photometric, columns, rows, 3, 8, 8, planar);
}

// A bitmap with runs of every length, literal stretches and noise; the
// padding pixels hold kPaddingFill.
Bytes TestBitmap(const CPixelCodec& codec, uint32_t seed) {
  Bytes bitmap(codec.DisplaySize(), kPaddingFill);
  std::mt19937 random(seed);
  const uint64_t stride = uint64_t{codec.AlignedColumns()} * codec.BytesPerPixel();
  const uint64_t used = uint64_t{codec.Columns()} * codec.BytesPerPixel();
  uint8_t value = 0;
  uint32_t runLeft = 0;
  for (uint32_t r = 0; r < codec.Rows(); ++r) {
    for (uint64_t i = 0; i < used; ++i) {
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
  bitmap.assign(codec.DisplaySize(), kPaddingFill);
  const Exact target(bitmap);
  const bool ok = codec.Decompress(stored.data.get(), stored.size, target.data.get());
  std::memcpy(bitmap.data(), target.data.get(), bitmap.size());
  return ok;
}

Bytes RoundTrip(CPixelCodec& codec, const Bytes& bitmap) {
  Bytes decoded;
  EXPECT_TRUE(Decompress(codec, Compress(codec, bitmap), decoded));
  return decoded;
}

bool DecompressFails(CPixelCodec& codec, const Bytes& frame) {
  Bytes bitmap;
  return !Decompress(codec, frame, bitmap);
}

// ---- Row encoder ----

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
      {"2 copies", Repeated(2, 9), kLast, {255, 9}},
      {"128 copies", Repeated(128, 9), kLast, {129, 9}},
      {"129 copies", Repeated(129, 9), kLast, {129, 9, 0, 9}},
      {"200 copies", Repeated(200, 9), kLast, {129, 9, 185, 9}},
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

// The row rule spelled out one byte at a time: the encoder scans words, and
// must give exactly these runs for any row, run lengths around the word
// size included.
Bytes ReferenceEncodeRow(const Bytes& row, int nextRowFirst) {
  Bytes out;
  const size_t width = row.size();
  size_t i = 0;
  while (i < width) {
    const size_t end = i + std::min<size_t>(width - i, 128);
    size_t j = i + 1;
    if (j < width && row[j] == row[i]) {
      while (j < end && row[j] == row[i]) ++j;
      out.push_back(static_cast<uint8_t>(257 - (j - i)));
      out.push_back(row[i]);
    } else {
      while (j < std::min(end, width - 1) && row[j] != row[j + 1]) ++j;
      if (j == width - 1 && j < end && row[j] != nextRowFirst) ++j;
      out.push_back(static_cast<uint8_t>(j - i - 1));
      out.insert(out.end(), row.begin() + static_cast<std::ptrdiff_t>(i), row.begin() + static_cast<std::ptrdiff_t>(j));
    }
    i = j;
  }
  return out;
}

TEST(RleRowEncoder, MatchesTheByteRuleOnMixedRows) {
  std::mt19937 random(20261206);
  for (int trial = 0; trial < 3000; ++trial) {
    const size_t width = 1 + random() % 300;
    Bytes row;
    while (row.size() < width) {
      // Alternate runs of equal bytes (lengths 1 to 20, so runs end at every
      // offset within a word) with a narrow alphabet that makes chance pairs.
      const size_t run = 1 + random() % 20;
      const auto value = static_cast<uint8_t>(random() % (trial % 2 ? 4 : 256));
      for (size_t k = 0; k < run && row.size() < width; ++k) {
        row.push_back(trial % 3 == 0 ? static_cast<uint8_t>(random() % 3) : value);
      }
    }
    const int next = trial % 4 == 0 ? kLast : static_cast<int>(random() % 4);
    ASSERT_EQ(EncodeRow(row, next), ReferenceEncodeRow(row, next)) << "trial " << trial << ", width " << width;
  }
}

TEST(RleRowEncoder, NeverWritesPastItsCapacity) {
  const Bytes row = Concat({Distinct(131), Repeated(200, 3), {1, 2}});
  const Bytes expected = EncodeRow(row);
  for (uint64_t capacity = 0; capacity <= expected.size(); ++capacity) {
    Bytes out(expected.size() + 8, 0xEE);
    const uint64_t length =
        CRlePixelCodec::EncodeRow(row.data(), static_cast<uint32_t>(row.size()), kLast, out.data(), capacity);
    EXPECT_EQ(length, capacity == expected.size() ? expected.size() : 0u) << capacity;
    for (uint64_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << capacity << " " << i;
  }
}

TEST(RleRowEncoder, RandomRowsDecodeBackAndStayWithinTheWorstCase) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 2000; ++trial) {
    Bytes row(1 + random() % 400);
    const uint32_t alphabet = 1 + random() % 4;
    for (uint8_t& b : row) b = static_cast<uint8_t>(random() % alphabet);
    const int next = random() % 2 ? static_cast<int>(random() % alphabet) : kLast;
    const Bytes code = EncodeRow(row, next);
    // At worst a one-byte literal before every repeat pair: 4 bytes for 3,
    // plus a one-byte literal at each end.
    EXPECT_LE(code.size(), 4 * row.size() / 3 + 3) << trial;
    Bytes decoded(row.size());
    ASSERT_TRUE(DecodeSegment(code, decoded));
    ASSERT_EQ(decoded, row) << trial;
  }
}

// ---- Segment decoder ----

TEST(RleSegmentDecoder, DecodesLiteralRepeatAndNoOp) {
  Bytes plane(8);
  ASSERT_TRUE(DecodeSegment({2, 'a', 'b', 'c', 128, 253, 'z', 0, 'q'}, plane));
  EXPECT_EQ(plane, (Bytes{'a', 'b', 'c', 'z', 'z', 'z', 'z', 'q'}));
}

TEST(RleSegmentDecoder, RunsLongerThanThePlaneStopWhenItIsFull) {
  Bytes plane(3);
  EXPECT_TRUE(DecodeSegment({4, 'a', 'b', 'c'}, plane));  // declares 5 bytes, 3 are needed and present
  EXPECT_EQ(plane, (Bytes{'a', 'b', 'c'}));
  EXPECT_TRUE(DecodeSegment({129, 'r'}, plane));
  EXPECT_EQ(plane, (Bytes{'r', 'r', 'r'}));
}

TEST(RleSegmentDecoder, SegmentEndingBeforeThePlaneIsFullFails) {
  Bytes plane(4);
  for (const Bytes& segment :
       {Bytes{}, Bytes{0, 'a'}, Bytes{2, 'a', 'b'}, Bytes{254}, Bytes{128, 128}, Bytes{255, 1}}) {
    EXPECT_FALSE(DecodeSegment(segment, plane)) << testing::PrintToString(segment);
  }
}

// ---- Frame layout ----

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

TEST(RlePixelCodecCompress, SegmentOffsetsFollowTheEvenLengths) {
  auto codec = Colour("RGB", 37, 11, 1);
  const Bytes frame = Compress(*codec, TestBitmap(*codec, 3));
  ASSERT_GE(frame.size(), 64u);
  EXPECT_EQ(U32At(frame, 0), 3u);
  EXPECT_EQ(U32At(frame, 4), 64u);
  EXPECT_LT(U32At(frame, 4), U32At(frame, 8));
  EXPECT_LT(U32At(frame, 8), U32At(frame, 12));
  for (size_t slot = 3; slot < 15; ++slot) EXPECT_EQ(U32At(frame, 4 + 4 * slot), 0u);
  for (size_t at : {4u, 8u, 12u}) EXPECT_EQ(U32At(frame, at) % 2, 0u);
  EXPECT_EQ(frame.size() % 2, 0u);
}

// A 1 × 1 frame (70 bytes) needs more than twice its display size (12).
TEST(RlePixelCodecCompress, NeverWritesPastTheCapacity) {
  for (const auto& [columns, rows] : {std::pair{1u, 1u}, std::pair{3u, 2u}, std::pair{130u, 3u}}) {
    auto codec = Colour("RGB", columns, rows, 0);
    const Bytes bitmap = TestBitmap(*codec, columns);
    const Bytes expected = Compress(*codec, bitmap);
    for (uint64_t capacity = 0; capacity <= expected.size(); ++capacity) {
      Bytes out(expected.size() + 8, 0xEE);
      uint64_t length = 12345;
      const bool ok = codec->Compress(bitmap.data(), out.data(), capacity, length);
      EXPECT_EQ(ok, capacity == expected.size()) << columns << "x" << rows << " capacity " << capacity;
      EXPECT_EQ(length, ok ? expected.size() : 12345u);
      for (uint64_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << capacity << " " << i;
    }
  }
}

TEST(RlePixelCodecCompress, UnusableInputFails) {
  uint8_t out[256] = {};
  uint64_t length = 0;
  const Bytes bitmap(64, 0);
  EXPECT_FALSE(Grey(4, 4)->Compress(nullptr, out, sizeof out, length));
  EXPECT_FALSE(Grey(4, 4)->Compress(bitmap.data(), nullptr, sizeof out, length));
  EXPECT_FALSE(Grey(0, 4)->Compress(bitmap.data(), out, sizeof out, length));
  CRlePixelCodec word("MONOCHROME2", 4, 4, 2, 16, 12, 0);  // 16-bit samples are not coded
  EXPECT_FALSE(word.Compress(bitmap.data(), out, sizeof out, length));
}

// ---- Round trips ----

// Widths around the 128-byte run limit; the padding pixels are left alone.
TEST(RlePixelCodecRoundTrip, GreyIsExact) {
  for (const uint32_t columns : {1u, 2u, 3u, 4u, 5u, 127u, 128u, 129u, 300u}) {
    for (const uint32_t rows : {1u, 2u, 7u}) {
      auto codec = Grey(columns, rows);
      const Bytes bitmap = TestBitmap(*codec, columns * 31 + rows);
      EXPECT_EQ(RoundTrip(*codec, bitmap), bitmap) << columns << "x" << rows;
    }
  }
}

// One codec serves frame after frame.
TEST(RlePixelCodecRoundTrip, RgbByPixelAndByPlaneAreExact) {
  for (const uint32_t planar : {0u, 1u}) {
    for (const uint32_t columns : {1u, 3u, 8u, 129u}) {
      auto codec = Colour("RGB", columns, 5, planar);
      for (uint32_t frame = 0; frame < 3; ++frame) {
        const Bytes bitmap = TestBitmap(*codec, 1000 * frame + columns + planar);
        EXPECT_EQ(RoundTrip(*codec, bitmap), bitmap) << columns << " planar " << planar << " frame " << frame;
      }
    }
  }
}

TEST(RlePixelCodecRoundTrip, YbrFullByPlaneMatchesTheNativeConversion) {
  auto codec = Colour("YBR_FULL", 21, 9, 1);
  CPixelCodec native("YBR_FULL", 21, 9, 3, 8, 8, 1);
  const Bytes bitmap = TestBitmap(*codec, 99);
  Bytes stored(native.DisplaySize());
  uint64_t storedLength = 0;
  ASSERT_TRUE(native.Compress(bitmap.data(), stored.data(), stored.size(), storedLength));
  Bytes expected(native.DisplaySize(), kPaddingFill);
  ASSERT_TRUE(native.Decompress(stored.data(), storedLength, expected.data()));

  const Bytes decoded = RoundTrip(*codec, bitmap);
  EXPECT_EQ(decoded, expected);
  // The colour transform loses a little; nothing more.
  for (size_t i = 0; i < bitmap.size(); ++i) EXPECT_NEAR(decoded[i], bitmap[i], 3) << i;
}

// ---- Damaged frames ----

class RlePixelCodecBadInput : public ::testing::Test {
 protected:
  // A good 4 × 3 grey frame and a good 4 × 3 RGB frame to damage.
  std::unique_ptr<CRlePixelCodec> m_grey = Grey(4, 3);
  std::unique_ptr<CRlePixelCodec> m_colour = Colour("RGB", 4, 3, 0);
  Bytes m_greyFrame = Compress(*m_grey, TestBitmap(*m_grey, 5));
  Bytes m_colourFrame = Compress(*m_colour, TestBitmap(*m_colour, 6));

  static Bytes WithHeader(const Bytes& frame, const Bytes& header) {
    return Concat({header, Bytes(frame.begin() + 64, frame.end())});
  }
};

TEST_F(RlePixelCodecBadInput, TheUndamagedFramesDecode) {
  Bytes bitmap;
  EXPECT_TRUE(Decompress(*m_grey, m_greyFrame, bitmap));
  EXPECT_TRUE(Decompress(*m_colour, m_colourFrame, bitmap));
  // Hand-made segments that just fill their planes.
  EXPECT_TRUE(Decompress(*m_colour, Concat({Header(3, {64, 66, 68}), {245, 1}, {245, 2}, {245, 3}}), bitmap));
}

TEST_F(RlePixelCodecBadInput, TruncatedHeaderFails) {
  for (size_t length = 0; length < 64; ++length) {
    EXPECT_TRUE(DecompressFails(*m_grey, Bytes(m_greyFrame.begin(), m_greyFrame.begin() + static_cast<long>(length))))
        << length;
  }
}

TEST_F(RlePixelCodecBadInput, DamagedFramesFail) {
  const auto greyWith = [this](const Bytes& header) { return WithHeader(m_greyFrame, header); };
  const auto colourWith = [this](const Bytes& header) { return WithHeader(m_colourFrame, header); };
  const uint32_t second = U32At(m_colourFrame, 8);
  const uint32_t third = U32At(m_colourFrame, 12);
  const auto greySize = static_cast<uint32_t>(m_greyFrame.size());
  Bytes fifteen = Header(15, {64, 66, 68, 70, 72, 74, 76, 78, 80, 82, 84, 86, 88, 90, 92});
  for (int s = 0; s < 15; ++s) fifteen.insert(fifteen.end(), {129, 1});
  CRlePixelCodec* grey = m_grey.get();
  CRlePixelCodec* colour = m_colour.get();
  const struct {
    const char* what;
    CRlePixelCodec* codec;
    Bytes frame;
  } cases[] = {
      // The segment count must match the sample planes.
      {"grey, no segments", grey, greyWith(Header(0, {64}))},
      {"grey, two segments", grey, greyWith(Header(2, {64, 66}))},
      {"grey, sixteen segments", grey, greyWith(Header(16, {64}))},
      {"grey, 2^32 - 1 segments", grey, greyWith(Header(0xFFFFFFFF, {64}))},
      {"colour, one segment", colour, colourWith(Header(1, {64}))},
      {"colour, two segments", colour, colourWith(Header(2, {64, second}))},
      {"colour, four segments", colour, colourWith(Header(4, {64, second, third, 80}))},
      {"grey, fifteen segments (the header's limit)", grey, fifteen},
      {"colour, fifteen segments (the header's limit)", colour, fifteen},
      {"offset at the end", grey, greyWith(Header(1, {greySize}))},
      {"offset past the end", grey, greyWith(Header(1, {greySize + 1}))},
      {"offset 2^31 - 1", grey, greyWith(Header(1, {0x7FFFFFFF}))},
      {"offset 2^32 - 1", grey, greyWith(Header(1, {0xFFFFFFFF}))},
      {"colour, last offset at the end", colour,
       colourWith(Header(3, {64, second, static_cast<uint32_t>(m_colourFrame.size())}))},
      {"offset 0, inside the header", grey, greyWith(Header(1, {0}))},
      {"offset 4, inside the header", grey, greyWith(Header(1, {4}))},
      {"offset 63, inside the header", grey, greyWith(Header(1, {63}))},
      {"offsets going back", colour, colourWith(Header(3, {64, third, second}))},
      {"first offset past the second", colour, colourWith(Header(3, {second, 64, third}))},
      {"first two offsets equal", colour, colourWith(Header(3, {64, 64, third}))},
      {"last two offsets equal", colour, colourWith(Header(3, {64, second, second}))},
      // 12 pixels needed, 4 given; the rest of the frame is the next segment's.
      {"segment ending before its plane is full", colour,
       Concat({Header(3, {64, 68, 70}), {253, 1, 0, 0}, {245, 2}, {245, 3}})},
      {"frame ending before the plane is full", grey, Concat({Header(1, {64}), {250, 1}})},
      {"frame cut short", grey, Bytes(m_greyFrame.begin(), m_greyFrame.end() - 3)},
      {"literal run past the stored length", grey, Concat({Header(1, {64}), {127, 1, 2, 3}})},
      {"repeat run whose value is missing", grey, Concat({Header(1, {64}), {247, 1, 200}})},
      {"no-op runs only", grey, Concat({Header(1, {64}), {128, 128, 128}})},
  };
  for (const auto& damaged : cases) EXPECT_TRUE(DecompressFails(*damaged.codec, damaged.frame)) << damaged.what;
}

TEST_F(RlePixelCodecBadInput, FormatsWithoutPlanesToDecodeFail) {
  CRlePixelCodec word("MONOCHROME2", 4, 3, 2, 16, 16, 0);
  EXPECT_TRUE(DecompressFails(word, m_greyFrame));
  EXPECT_TRUE(DecompressFails(word, Concat({Header(2, {64, 66}), {245, 1}, {245, 2}})));
  CRlePixelCodec odd("YBR_FULL_422", 4, 3, 3, 8, 8, 0);
  EXPECT_TRUE(DecompressFails(odd, m_colourFrame));
  Bytes bitmap(m_grey->DisplaySize());
  EXPECT_FALSE(m_grey->Decompress(nullptr, 100, bitmap.data()));
  EXPECT_FALSE(m_grey->Decompress(m_greyFrame.data(), m_greyFrame.size(), nullptr));
}

TEST_F(RlePixelCodecBadInput, GarbageNeverOverruns) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 3000; ++trial) {
    CRlePixelCodec& codec = trial % 2 ? *m_colour : *m_grey;
    Bytes frame(random() % 160);
    for (uint8_t& b : frame) b = static_cast<uint8_t>(random());
    if (frame.size() >= 64 && trial % 3 != 0) {
      // A plausible header, so the segment data gets decoded.
      const uint32_t segments = trial % 2 ? 3 : 1;
      Bytes header = Header(segments, {64, 64 + static_cast<uint32_t>(random() % 40),
                                       64 + static_cast<uint32_t>(random() % 90)});
      std::copy(header.begin(), header.end(), frame.begin());
    }
    Bytes bitmap;
    (void)Decompress(codec, frame, bitmap);
  }
}

// ---- Peers ----

struct PeerImage {
  const char* photometric;
  uint32_t columns;
  uint32_t rows;
  uint32_t samples;
};

class RlePeer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("dump2dcm") || !HaveTool("dcmcrle") || !HaveTool("dcmdrle")) {
      GTEST_SKIP() << "DCMTK tools are not installed";
    }
  }

  static constexpr PeerImage kImages[] = {
      {"MONOCHROME2", 13, 8, 1}, {"MONOCHROME2", 301, 40, 1}, {"RGB", 13, 8, 3}, {"RGB", 150, 20, 3}};

  static std::string Name(const PeerImage& image) {
    return std::string(image.photometric) + "-" + std::to_string(image.columns) + "x" + std::to_string(image.rows);
  }

  // Stored pixels (colour by pixel) with runs and noise.
  static Bytes Pixels(const PeerImage& image) {
    CPixelCodec flat("MONOCHROME2", image.columns * image.samples, image.rows, 1, 8, 8, 0);
    Bytes pixels(flat.DisplaySize());
    uint64_t length = 0;
    EXPECT_TRUE(flat.Compress(TestBitmap(flat, image.columns).data(), pixels.data(), pixels.size(), length));
    pixels.resize(length);
    return pixels;
  }

  // The display bitmap the native codec makes of the stored pixels.
  static Bytes NativeBitmap(const PeerImage& image, const Bytes& pixels, uint32_t planar) {
    CPixelCodec native(image.photometric, image.columns, image.rows, image.samples, 8, 8, planar);
    Bytes bitmap(native.DisplaySize(), kPaddingFill);
    EXPECT_TRUE(native.Decompress(pixels.data(), pixels.size(), bitmap.data()));
    return bitmap;
  }

  // An uncompressed DCMTK file holding `pixels`.
  std::string MakeSource(const PeerImage& image, const Bytes& pixels) {
    const std::string raw = m_dir / (Name(image) + ".raw");
    const std::string dump = m_dir / (Name(image) + ".txt");
    const std::string file = m_dir / (Name(image) + ".dcm");
    WriteText(raw, std::string(pixels.begin(), pixels.end()));
    std::string text = "(0008,0016) UI =SecondaryCaptureImageStorage\n(0008,0018) UI [1.2.3.4.5]\n";
    text += "(0028,0002) US " + std::to_string(image.samples) + "\n";
    text += "(0028,0004) CS [" + std::string(image.photometric) + "]\n";
    if (image.samples == 3) text += "(0028,0006) US 0\n";
    text += "(0028,0010) US " + std::to_string(image.rows) + "\n";
    text += "(0028,0011) US " + std::to_string(image.columns) + "\n";
    text += "(0028,0100) US 8\n(0028,0101) US 8\n(0028,0102) US 7\n(0028,0103) US 0\n";
    text += "(7fe0,0010) OB =" + raw + "\n";
    WriteText(dump, text);
    EXPECT_EQ(RunShell("dump2dcm " + dump + " " + file).exitCode, 0);
    return file;
  }

  // Frame 0 of a file, through our reader: the first fragment of an RLE
  // file, the whole value of a native one. `planar` gets the planar flag.
  static Bytes ReadFrame(const std::string& path, uint16_t* planar = nullptr) {
    CDicomObject object;
    EXPECT_TRUE(test::LoadInto(object, path, false));
    if (planar != nullptr) (void)object.GetUInt16(0x00280006, *planar);
    CDicomElement* element = nullptr;
    if (object.GetElement(tags::kPixelData, &element) != DicomStatus::Success) return {};
    const CDicomElement* frame = element;
    if (const auto* fragments = dynamic_cast<const CDicomEncapsulatedPixelData*>(element)) {
      frame = fragments->GetItemCount() < 2 ? nullptr : fragments->GetItem(1);
    }
    if (frame == nullptr || !frame->HasValue()) return {};
    return Bytes(frame->GetValue(), frame->GetValue() + frame->GetLength());
  }

  // `file` with its one frame `theirs` replaced by `ours`.
  static std::string Splice(std::string file, const Bytes& theirs, const Bytes& ours) {
    const size_t at = file.find(std::string(theirs.begin(), theirs.end()));
    if (theirs.empty() || at == std::string::npos || at < 8) return {};
    std::string item;
    for (int i = 0; i < 4; ++i) item.push_back(static_cast<char>(ours.size() >> (8 * i)));
    item.append(ours.begin(), ours.end());
    return file.replace(at - 4, 4 + theirs.size(), item);
  }

  // The peer's `compress` command makes an RLE file of each image: its frame
  // must decode to the native bitmap. Our frame of the same bitmap, put in
  // that file in place of theirs, must come back as the same bitmap through
  // the peer's `decompress` command, without a warning.
  void CrossCheck(const std::string& compress, const std::string& decompress) {
    for (const PeerImage& image : kImages) {
      SCOPED_TRACE(Name(image));
      const Bytes pixels = Pixels(image);
      const std::string rle = m_dir / (Name(image) + "-rle.dcm");
      ASSERT_EQ(RunShell(compress + " " + MakeSource(image, pixels) + " " + rle).exitCode, 0);
      const Bytes theirs = ReadFrame(rle);
      ASSERT_FALSE(theirs.empty());
      CRlePixelCodec codec(image.photometric, image.columns, image.rows, image.samples, 8, 8, 0);
      const Bytes bitmap = NativeBitmap(image, pixels, 0);
      Bytes decoded;
      ASSERT_TRUE(Decompress(codec, theirs, decoded));
      EXPECT_EQ(decoded, bitmap);

      const std::string spliced = Splice(ReadBytes(rle), theirs, Compress(codec, bitmap));
      ASSERT_FALSE(spliced.empty());
      const std::string ours = m_dir / (Name(image) + "-ours.dcm");
      const std::string back = m_dir / (Name(image) + "-back.dcm");
      WriteText(ours, spliced);
      const CommandResult result = RunShell(decompress + " " + ours + " " + back);
      ASSERT_EQ(result.exitCode, 0) << result.err;
      EXPECT_EQ(result.err, "");
      uint16_t planar = 0;
      const Bytes native = ReadFrame(back, &planar);
      EXPECT_EQ(NativeBitmap(image, native, planar), bitmap);
    }
  }

  TempDir m_dir{"rle-peer"};
};

TEST_F(RlePeer, DcmtkFramesDecodeAndDcmdrleReadsOurs) { CrossCheck("dcmcrle", "dcmdrle"); }

TEST_F(RlePeer, GdcmFramesDecodeAndGdcmReadsOurs) {
  if (!HaveTool("gdcmconv")) GTEST_SKIP() << "GDCM tools are not installed";
  CrossCheck("gdcmconv --rle", "gdcmconv --raw");
}

}  // namespace
