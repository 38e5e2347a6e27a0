// RLE codec: the row encoder byte for byte, the frame layout, round trips
// through the bitmap for grey, RGB and YBR_FULL, output capacity, and
// damaged frames, which must fail without reading or writing out of bounds
// (every frame here sits in a heap block of exactly its size, so the
// sanitizers see any overrun). Frames made by DCMTK and GDCM must decode to
// the bitmap of their uncompressed source, and theirs must read ours.
#include "pixel/RlePixelCodec.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "pixel/DicomEncapsulatedPixelData.h"
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

Bytes EncodeRow(const Bytes& row, int nextRowFirst = kLast) {
  Bytes out(row.size() * 2 + 2, 0xEE);
  const uint64_t length = CRlePixelCodec::EncodeRow(row.data(), static_cast<uint32_t>(row.size()), nextRowFirst,
                                                    out.data(), out.size());
  out.resize(length);
  return out;
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

// A copy in a heap block of exactly its size.
struct Exact {
  explicit Exact(const Bytes& bytes) : size(bytes.size()), data(std::make_unique<uint8_t[]>(bytes.size())) {
    if (size != 0) std::memcpy(data.get(), bytes.data(), size);
  }
  uint64_t size;
  std::unique_ptr<uint8_t[]> data;
};

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

// Only the pixels, not the padding, carry the image.
bool SamePixels(const CPixelCodec& codec, const Bytes& a, const Bytes& b) {
  const uint64_t stride = uint64_t{codec.AlignedColumns()} * codec.BytesPerPixel();
  const uint64_t used = uint64_t{codec.Columns()} * codec.BytesPerPixel();
  for (uint32_t r = 0; r < codec.Rows(); ++r) {
    if (std::memcmp(a.data() + r * stride, b.data() + r * stride, used) != 0) return false;
  }
  return true;
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

bool DecompressFails(CPixelCodec& codec, const Bytes& frame) {
  Bytes bitmap;
  return !Decompress(codec, frame, bitmap);
}

// ---- Row encoder ----

TEST(RleRowEncoder, FourEqualBytesAreOneRepeatRun) { EXPECT_EQ(EncodeRow({7, 7, 7, 7}), (Bytes{253, 7})); }

TEST(RleRowEncoder, EqualPairInsideDifferentBytesBecomesARepeatRun) {
  EXPECT_EQ(EncodeRow({'a', 'b', 'b', 'd'}), (Bytes{0, 'a', 255, 'b', 0, 'd'}));
}

TEST(RleRowEncoder, RepeatRunsHoldAtMost128Copies) {
  EXPECT_EQ(EncodeRow(Repeated(200, 9)), (Bytes{129, 9, 185, 9}));
  EXPECT_EQ(EncodeRow(Repeated(128, 9)), (Bytes{129, 9}));
  EXPECT_EQ(EncodeRow(Repeated(129, 9)), (Bytes{129, 9, 0, 9}));
  EXPECT_EQ(EncodeRow(Repeated(2, 9)), (Bytes{255, 9}));
}

TEST(RleRowEncoder, LiteralRunsHoldAtMost128Bytes) {
  const Bytes row = Distinct(130);
  const Bytes expected = Concat({{127}, Bytes(row.begin(), row.begin() + 128), {1, row[128], row[129]}});
  EXPECT_EQ(EncodeRow(row), expected);
  EXPECT_EQ(EncodeRow(Distinct(128)), Concat({{127}, Distinct(128)}));
  EXPECT_EQ(EncodeRow(Distinct(129)), Concat({{127}, Distinct(128), {0, 128}}));
}

TEST(RleRowEncoder, LiteralRunEndsWhereAnEqualPairStarts) {
  EXPECT_EQ(EncodeRow({1, 2, 3, 3, 3}), (Bytes{1, 1, 2, 254, 3}));
  EXPECT_EQ(EncodeRow({1, 1, 2, 3}), (Bytes{255, 1, 1, 2, 3}));
  EXPECT_EQ(EncodeRow({5, 6}), (Bytes{1, 5, 6}));
}

TEST(RleRowEncoder, SingleByteRowIsOneLiteral) {
  EXPECT_EQ(EncodeRow({42}), (Bytes{0, 42}));
  EXPECT_EQ(EncodeRow({42}, 42), (Bytes{0, 42}));
}

TEST(RleRowEncoder, LastByteEqualToTheNextRowsFirstEndsTheLiteralRun) {
  EXPECT_EQ(EncodeRow({'a', 'b', 'c'}), (Bytes{2, 'a', 'b', 'c'}));
  EXPECT_EQ(EncodeRow({'a', 'b', 'c'}, 'x'), (Bytes{2, 'a', 'b', 'c'}));
  EXPECT_EQ(EncodeRow({'a', 'b', 'c'}, 'c'), (Bytes{1, 'a', 'b', 0, 'c'}));
  EXPECT_EQ(EncodeRow({'a', 'c'}, 'c'), (Bytes{0, 'a', 0, 'c'}));
  // A repeat run never looks past its row.
  EXPECT_EQ(EncodeRow({'a', 'b', 'b'}, 'b'), (Bytes{0, 'a', 255, 'b'}));
  // A literal run reaching the last byte with room left ends before it.
  const Bytes row = Distinct(128);
  EXPECT_EQ(EncodeRow(row, row.back()), Concat({{126}, Bytes(row.begin(), row.end() - 1), {0, row.back()}}));
  // A run started on the last byte does not look ahead.
  const Bytes longer = Distinct(129);
  EXPECT_EQ(EncodeRow(longer, longer.back()), EncodeRow(longer));
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
    const Exact exact(row);  // an over-read past the row trips the sanitizer
    Bytes out(width * 2 + 2);
    const uint64_t length = CRlePixelCodec::EncodeRow(exact.data.get(), static_cast<uint32_t>(width), next,
                                                      out.data(), out.size());
    out.resize(length);
    ASSERT_EQ(out, ReferenceEncodeRow(row, next)) << "trial " << trial << ", width " << width;
  }
}

TEST(RleRowEncoder, EmptyRowWritesNothing) {
  uint8_t out[4] = {};
  EXPECT_EQ(CRlePixelCodec::EncodeRow(out, 0, kLast, out, sizeof out), 0u);
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
    ASSERT_TRUE(CRlePixelCodec::DecodeSegment(code.data(), code.size(), decoded.data(), decoded.size()));
    ASSERT_EQ(decoded, row) << trial;
  }
}

// ---- Segment decoder ----

TEST(RleSegmentDecoder, DecodesLiteralRepeatAndNoOp) {
  const Bytes segment = {2, 'a', 'b', 'c', 128, 253, 'z', 0, 'q'};
  Bytes plane(8);
  ASSERT_TRUE(CRlePixelCodec::DecodeSegment(segment.data(), segment.size(), plane.data(), plane.size()));
  EXPECT_EQ(plane, (Bytes{'a', 'b', 'c', 'z', 'z', 'z', 'z', 'q'}));
}

TEST(RleSegmentDecoder, RunsLongerThanThePlaneStopWhenItIsFull) {
  Bytes plane(3);
  const Exact literal(Bytes{4, 'a', 'b', 'c'});  // declares 5 bytes, 3 are needed and present
  EXPECT_TRUE(CRlePixelCodec::DecodeSegment(literal.data.get(), literal.size, plane.data(), plane.size()));
  EXPECT_EQ(plane, (Bytes{'a', 'b', 'c'}));
  const Exact repeat(Bytes{129, 'r'});
  EXPECT_TRUE(CRlePixelCodec::DecodeSegment(repeat.data.get(), repeat.size, plane.data(), plane.size()));
  EXPECT_EQ(plane, (Bytes{'r', 'r', 'r'}));
}

TEST(RleSegmentDecoder, SegmentEndingBeforeThePlaneIsFullFails) {
  Bytes plane(4);
  for (const Bytes& segment : {Bytes{}, Bytes{0, 'a'}, Bytes{2, 'a', 'b'}, Bytes{254}, Bytes{128, 128}, Bytes{255, 1}}) {
    const Exact exact(segment);
    EXPECT_FALSE(CRlePixelCodec::DecodeSegment(exact.data.get(), exact.size, plane.data(), plane.size()));
  }
}

// ---- Frame layout ----

TEST(RlePixelCodecCompress, GreyOneByOneIsSixtySixBytes) {
  auto codec = Grey(1, 1);
  Bytes bitmap(codec->DisplaySize(), kPaddingFill);
  bitmap[0] = 77;
  EXPECT_EQ(Compress(*codec, bitmap), Concat({Header(1, {64}), {0, 77}}));
}

TEST(RlePixelCodecCompress, OddSegmentGetsAZeroPad) {
  auto codec = Grey(2, 1);
  const Bytes bitmap = {5, 6, kPaddingFill, kPaddingFill};
  const Bytes frame = Compress(*codec, bitmap);
  EXPECT_EQ(frame, Concat({Header(1, {64}), {1, 5, 6, 0}}));
  EXPECT_EQ(frame.size(), 68u);
}

TEST(RlePixelCodecCompress, ThreeDifferentBytesInOneRowAreOneEvenSegment) {
  auto codec = Grey(3, 1);
  const Bytes bitmap = {'a', 'b', 'c', kPaddingFill};
  EXPECT_EQ(Compress(*codec, bitmap), Concat({Header(1, {64}), {2, 'a', 'b', 'c'}}));
}

TEST(RlePixelCodecCompress, SingleColumnCodesEveryRowAsOneLiteral) {
  auto codec = Grey(1, 4);
  // Bottom-up bitmap: image rows 9, 7, 5, 5 from the top.
  const Bytes bitmap = {5, 0, 0, 0, 5, 0, 0, 0, 7, 0, 0, 0, 9, 0, 0, 0};
  EXPECT_EQ(Compress(*codec, bitmap), Concat({Header(1, {64}), {0, 9, 0, 7, 0, 5, 0, 5}}));
}

TEST(RlePixelCodecCompress, LiteralRunStopsBeforeALastByteEqualToTheNextRowsFirst) {
  auto codec = Grey(3, 2);
  // Image rows a b c / c d e; bitmap rows are bottom-up with one padding byte.
  const Bytes bitmap = {'c', 'd', 'e', 0, 'a', 'b', 'c', 0};
  EXPECT_EQ(Compress(*codec, bitmap), Concat({Header(1, {64}), {1, 'a', 'b', 0, 'c', 2, 'c', 'd', 'e', 0}}));
}

TEST(RlePixelCodecCompress, RgbSegmentsAreRedGreenBlue) {
  auto codec = Colour("RGB", 1, 1, 0);
  const Bytes bitmap = {1, 2, 3, kPaddingFill, kPaddingFill, kPaddingFill, 0, 0, 0, 0, 0, 0};  // blue, green, red
  EXPECT_EQ(Compress(*codec, bitmap), Concat({Header(3, {64, 66, 68}), {0, 3, 0, 2, 0, 1}}));
}

TEST(RlePixelCodecCompress, YbrFullByPlaneSegmentsAreYCbCr) {
  auto codec = Colour("YBR_FULL", 1, 1, 1);
  Bytes bitmap(codec->DisplaySize(), kPaddingFill);
  bitmap[0] = bitmap[1] = bitmap[2] = 255;
  EXPECT_EQ(Compress(*codec, bitmap), Concat({Header(3, {64, 66, 68}), {0, 255, 0, 129, 0, 128}}));
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

TEST(RlePixelCodecCompress, TinyImageNeedsMoreThanTwiceItsDisplaySize) {
  auto codec = Grey(1, 1);
  const Bytes bitmap(codec->DisplaySize(), 1);
  Bytes out(2 * codec->DisplaySize());
  uint64_t length = 0;
  EXPECT_FALSE(codec->Compress(bitmap.data(), out.data(), out.size(), length));
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

TEST(RlePixelCodec, IsLosslessAndCompressed) {
  auto codec = Grey(2, 2);
  EXPECT_TRUE(codec->IsCompressed());
  EXPECT_FALSE(codec->IsLossy());
}

// ---- Round trips ----

TEST(RlePixelCodecRoundTrip, GreyIsExact) {
  for (const uint32_t columns : {1u, 2u, 3u, 4u, 5u, 127u, 128u, 129u, 300u}) {
    for (const uint32_t rows : {1u, 2u, 7u}) {
      auto codec = Grey(columns, rows);
      const Bytes bitmap = TestBitmap(*codec, columns * 31 + rows);
      Bytes decoded;
      ASSERT_TRUE(Decompress(*codec, Compress(*codec, bitmap), decoded)) << columns << "x" << rows;
      EXPECT_TRUE(SamePixels(*codec, decoded, bitmap)) << columns << "x" << rows;
    }
  }
}

TEST(RlePixelCodecRoundTrip, RgbByPixelAndByPlaneAreExact) {
  for (const uint32_t planar : {0u, 1u}) {
    for (const uint32_t columns : {1u, 3u, 8u, 129u}) {
      auto codec = Colour("RGB", columns, 5, planar);
      const Bytes bitmap = TestBitmap(*codec, columns + planar);
      Bytes decoded;
      ASSERT_TRUE(Decompress(*codec, Compress(*codec, bitmap), decoded)) << columns;
      EXPECT_TRUE(SamePixels(*codec, decoded, bitmap)) << columns << " planar " << planar;
      // The padding pixels are left alone.
      EXPECT_EQ(decoded, bitmap) << columns << " planar " << planar;
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

  Bytes decoded;
  ASSERT_TRUE(Decompress(*codec, Compress(*codec, bitmap), decoded));
  EXPECT_EQ(decoded, expected);
  // The colour transform loses a little; nothing more.
  for (size_t i = 0; i < bitmap.size(); ++i) EXPECT_NEAR(decoded[i], bitmap[i], 3) << i;
}

TEST(RlePixelCodecRoundTrip, OneCodecServesManyFrames) {
  auto codec = Colour("RGB", 17, 6, 0);
  for (uint32_t frame = 0; frame < 4; ++frame) {
    const Bytes bitmap = TestBitmap(*codec, 1000 + frame);
    Bytes decoded;
    ASSERT_TRUE(Decompress(*codec, Compress(*codec, bitmap), decoded));
    EXPECT_EQ(decoded, bitmap) << frame;
  }
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
}

TEST_F(RlePixelCodecBadInput, TruncatedHeaderFails) {
  for (size_t length = 0; length < 64; ++length) {
    EXPECT_TRUE(DecompressFails(*m_grey, Bytes(m_greyFrame.begin(), m_greyFrame.begin() + static_cast<long>(length))))
        << length;
  }
}

TEST_F(RlePixelCodecBadInput, SegmentCountMustMatchTheSamplePlanes) {
  EXPECT_TRUE(DecompressFails(*m_grey, WithHeader(m_greyFrame, Header(0, {64}))));
  EXPECT_TRUE(DecompressFails(*m_grey, WithHeader(m_greyFrame, Header(2, {64, 66}))));
  EXPECT_TRUE(DecompressFails(*m_grey, WithHeader(m_greyFrame, Header(16, {64}))));
  EXPECT_TRUE(DecompressFails(*m_grey, WithHeader(m_greyFrame, Header(0xFFFFFFFF, {64}))));
  // Colour needs all three planes.
  EXPECT_TRUE(DecompressFails(*m_colour, WithHeader(m_colourFrame, Header(1, {64}))));
  EXPECT_TRUE(DecompressFails(*m_colour, WithHeader(m_colourFrame, Header(2, {64, U32At(m_colourFrame, 8)}))));
  EXPECT_TRUE(DecompressFails(*m_colour, WithHeader(m_colourFrame, Header(4, {64, U32At(m_colourFrame, 8),
                                                                             U32At(m_colourFrame, 12), 80}))));
}

TEST_F(RlePixelCodecBadInput, FifteenSegmentsFitTheHeaderButNotThisImage) {
  Bytes frame = Header(15, {64, 66, 68, 70, 72, 74, 76, 78, 80, 82, 84, 86, 88, 90, 92});
  for (int s = 0; s < 15; ++s) frame.insert(frame.end(), {129, 1});
  EXPECT_TRUE(DecompressFails(*m_grey, frame));
  EXPECT_TRUE(DecompressFails(*m_colour, frame));
}

TEST_F(RlePixelCodecBadInput, OffsetsPastTheEndFail) {
  const auto size = static_cast<uint32_t>(m_greyFrame.size());
  for (const uint32_t offset : {size, size + 1, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    EXPECT_TRUE(DecompressFails(*m_grey, WithHeader(m_greyFrame, Header(1, {offset})))) << offset;
  }
  const auto colourSize = static_cast<uint32_t>(m_colourFrame.size());
  EXPECT_TRUE(DecompressFails(
      *m_colour, WithHeader(m_colourFrame, Header(3, {64, U32At(m_colourFrame, 8), colourSize}))));
}

TEST_F(RlePixelCodecBadInput, OffsetsInsideTheHeaderFail) {
  for (const uint32_t offset : {0u, 4u, 63u}) {
    EXPECT_TRUE(DecompressFails(*m_grey, WithHeader(m_greyFrame, Header(1, {offset})))) << offset;
  }
}

TEST_F(RlePixelCodecBadInput, OffsetsGoingBackOrOverlappingFail) {
  const uint32_t second = U32At(m_colourFrame, 8);
  const uint32_t third = U32At(m_colourFrame, 12);
  EXPECT_TRUE(DecompressFails(*m_colour, WithHeader(m_colourFrame, Header(3, {64, third, second}))));
  EXPECT_TRUE(DecompressFails(*m_colour, WithHeader(m_colourFrame, Header(3, {second, 64, third}))));
  EXPECT_TRUE(DecompressFails(*m_colour, WithHeader(m_colourFrame, Header(3, {64, 64, third}))));
  EXPECT_TRUE(DecompressFails(*m_colour, WithHeader(m_colourFrame, Header(3, {64, second, second}))));
}

TEST_F(RlePixelCodecBadInput, SegmentEndingBeforeItsPlaneIsFullFails) {
  // 12 pixels needed, 4 given; the rest of the frame is the next segment's.
  const Bytes frame = Concat({Header(3, {64, 68, 70}), {253, 1, 0, 0}, {245, 2}, {245, 3}});
  EXPECT_TRUE(DecompressFails(*m_colour, frame));
  // The same segments with the first one whole decode.
  const Bytes good = Concat({Header(3, {64, 66, 68}), {245, 1}, {245, 2}, {245, 3}});
  Bytes bitmap;
  EXPECT_TRUE(Decompress(*m_colour, good, bitmap));
  // Grey: the frame ends first.
  EXPECT_TRUE(DecompressFails(*m_grey, Concat({Header(1, {64}), {250, 1}})));
  EXPECT_TRUE(DecompressFails(*m_grey, Bytes(m_greyFrame.begin(), m_greyFrame.end() - 3)));
}

TEST_F(RlePixelCodecBadInput, RunsPastTheStoredLengthFail) {
  EXPECT_TRUE(DecompressFails(*m_grey, Concat({Header(1, {64}), {127, 1, 2, 3}})));
  EXPECT_TRUE(DecompressFails(*m_grey, Concat({Header(1, {64}), {247, 1, 200}})));
  EXPECT_TRUE(DecompressFails(*m_grey, Concat({Header(1, {64}), {128, 128, 128}})));
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
    const Bytes bitmap = TestBitmap(flat, image.columns);
    Bytes pixels;
    const uint64_t stride = flat.AlignedColumns();
    for (uint32_t r = 0; r < image.rows; ++r) {
      pixels.insert(pixels.end(), bitmap.begin() + static_cast<long>(r * stride),
                    bitmap.begin() + static_cast<long>(r * stride + flat.Columns()));
    }
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

  // Frame 0 of an RLE file, through our reader.
  static Bytes ReadFrame(const std::string& path) {
    CDicomObject object;
    EXPECT_TRUE(object.LoadFile(path, false)) << object.GetLastReadError();
    CDicomElement* element = nullptr;
    if (object.GetElement(tags::kPixelData, &element) != DicomStatus::Success) return {};
    const auto* pixelData = dynamic_cast<const CDicomEncapsulatedPixelData*>(element);
    if (pixelData == nullptr || pixelData->GetItemCount() < 2 || !pixelData->GetItem(1)->HasValue()) return {};
    const CDicomElement* item = pixelData->GetItem(1);
    return Bytes(item->GetValue(), item->GetValue() + item->GetLength());
  }

  // The display bitmap of a native file, through our reader.
  static Bytes ReadNativeBitmap(const PeerImage& image, const std::string& path) {
    CDicomObject object;
    EXPECT_TRUE(object.LoadFile(path, false)) << object.GetLastReadError();
    uint16_t planar = 0;
    (void)object.GetUInt16(0x00280006, planar);
    uint32_t length = 0;
    const uint8_t* value = nullptr;
    if (object.GetValue(tags::kPixelData, length, &value) != DicomStatus::Success || value == nullptr) return {};
    return NativeBitmap(image, Bytes(value, value + length), planar);
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

  std::unique_ptr<CRlePixelCodec> Codec(const PeerImage& image) {
    return std::make_unique<CRlePixelCodec>(image.photometric, image.columns, image.rows, image.samples, 8, 8, 0);
  }

  TempDir m_dir{"rle-peer"};
};

TEST_F(RlePeer, DcmcrleFramesDecodeToTheNativeBitmap) {
  for (const PeerImage& image : kImages) {
    const Bytes pixels = Pixels(image);
    const std::string rle = m_dir / (Name(image) + "-rle.dcm");
    ASSERT_EQ(RunShell("dcmcrle " + MakeSource(image, pixels) + " " + rle).exitCode, 0) << Name(image);
    const Bytes frame = ReadFrame(rle);
    ASSERT_FALSE(frame.empty()) << Name(image);
    auto codec = Codec(image);
    Bytes decoded;
    ASSERT_TRUE(Decompress(*codec, frame, decoded)) << Name(image);
    EXPECT_EQ(decoded, NativeBitmap(image, pixels, 0)) << Name(image);
  }
}

TEST_F(RlePeer, DcmdrleReadsOurFrames) {
  for (const PeerImage& image : kImages) {
    const Bytes pixels = Pixels(image);
    const std::string rle = m_dir / (Name(image) + "-rle.dcm");
    ASSERT_EQ(RunShell("dcmcrle " + MakeSource(image, pixels) + " " + rle).exitCode, 0) << Name(image);
    const Bytes theirs = ReadFrame(rle);
    auto codec = Codec(image);
    const Bytes bitmap = NativeBitmap(image, pixels, 0);
    const Bytes ours = Compress(*codec, bitmap);
    Bytes fromTheirs;
    Bytes fromOurs;
    ASSERT_TRUE(Decompress(*codec, theirs, fromTheirs)) << Name(image);
    ASSERT_TRUE(Decompress(*codec, ours, fromOurs)) << Name(image);
    EXPECT_EQ(fromOurs, fromTheirs) << Name(image);

    const std::string spliced = Splice(ReadBytes(rle), theirs, ours);
    ASSERT_FALSE(spliced.empty()) << Name(image);
    const std::string oursFile = m_dir / (Name(image) + "-ours.dcm");
    const std::string back = m_dir / (Name(image) + "-back.dcm");
    WriteText(oursFile, spliced);
    const CommandResult result = RunShell("dcmdrle " + oursFile + " " + back);
    ASSERT_EQ(result.exitCode, 0) << Name(image) << ": " << result.err;
    EXPECT_EQ(result.err, "") << Name(image);
    EXPECT_EQ(ReadNativeBitmap(image, back), bitmap) << Name(image);
  }
}

TEST_F(RlePeer, GdcmFramesDecodeAndGdcmReadsOurs) {
  if (!HaveTool("gdcmconv")) GTEST_SKIP() << "GDCM tools are not installed";
  for (const PeerImage& image : kImages) {
    const Bytes pixels = Pixels(image);
    const std::string rle = m_dir / (Name(image) + "-gdcm.dcm");
    ASSERT_EQ(RunShell("gdcmconv --rle " + MakeSource(image, pixels) + " " + rle).exitCode, 0) << Name(image);
    const Bytes theirs = ReadFrame(rle);
    auto codec = Codec(image);
    const Bytes bitmap = NativeBitmap(image, pixels, 0);
    Bytes decoded;
    ASSERT_TRUE(Decompress(*codec, theirs, decoded)) << Name(image);
    EXPECT_EQ(decoded, bitmap) << Name(image);

    const std::string oursFile = m_dir / (Name(image) + "-gdcm-ours.dcm");
    const std::string back = m_dir / (Name(image) + "-gdcm-back.dcm");
    WriteText(oursFile, Splice(ReadBytes(rle), theirs, Compress(*codec, bitmap)));
    ASSERT_EQ(RunShell("gdcmconv --raw " + oursFile + " " + back).exitCode, 0) << Name(image);
    EXPECT_EQ(ReadNativeBitmap(image, back), bitmap) << Name(image);
  }
}

}  // namespace
