// The baseline JPEG codec: round trips and the header they report, the
// quality tables, output that does not fit, requests it refuses, the marker
// walk, and JPEG data that is damaged, unsupported or of another size.
#include "jpeg/BaselineJpegCodec.h"
#include "support/ImageMetrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <tuple>

using namespace quillon;
using quillon::test::NaturalImage;

namespace {

using Bytes = std::vector<uint8_t>;
// Adjusts a request made by Request.
using Change = std::function<void(JpegRequest&)>;

// A request for `width` × `height` × `channels` that reads `in` (a bitmap to
// encode or JPEG data to decode) and writes `out`.
JpegRequest Request(const Bytes& in, Bytes& out, uint32_t width, uint32_t height, uint32_t channels) {
  JpegRequest request;
  request.bitmapIn = request.jpegIn = in.data();
  request.jpegInLength = in.size();
  request.bitmapOut = request.jpegOut = out.data();
  request.bitmapCapacity = request.jpegOutCapacity = out.size();
  request.bitmapWidth = width;
  request.bitmapHeight = height;
  request.bitmapChannels = channels;
  request.bitmapColourOrder = channels == 1 ? JpegColourOrder::Grey : JpegColourOrder::Rgb;
  request.quality = 85;
  return request;
}

// Encodes with a fresh codec; the result is trimmed to the JPEG data, and
// `done` gets the request as WriteImage left it.
Bytes Encode(const Bytes& image, uint32_t width, uint32_t height, uint32_t channels, const Change& change = {},
             JpegRequest* done = nullptr) {
  Bytes out(image.size() * 2 + 4096);
  JpegRequest request = Request(image, out, width, height, channels);
  if (change) change(request);
  CBaselineJpegCodec codec;
  EXPECT_EQ(codec.WriteImage(request), JpegStatus::Success) << codec.LastError();
  out.resize(request.jpegOutLength);
  if (done != nullptr) *done = request;
  return out;
}

// Decodes with `codec` into a heap block of exactly the image's size.
JpegStatus Decode(CBaselineJpegCodec& codec, const Bytes& jpeg, Bytes* bitmap = nullptr, uint32_t width = 16,
                  uint32_t height = 16, uint32_t channels = 3) {
  Bytes unused;
  const size_t size = size_t{width} * height * channels;
  auto exact = std::make_unique<uint8_t[]>(size);
  JpegRequest request = Request(jpeg, unused, width, height, channels);
  request.bitmapOut = exact.get();
  request.bitmapCapacity = size;
  const JpegStatus status = codec.ReadImage(request);
  if (bitmap != nullptr) bitmap->assign(exact.get(), exact.get() + size);
  return status;
}

// Offset of the first `marker` segment (its 0xFF byte); the size when absent.
size_t FindMarker(const Bytes& jpeg, uint8_t marker) {
  const uint8_t bytes[] = {0xFF, marker};
  return static_cast<size_t>(std::search(jpeg.begin(), jpeg.end(), bytes, bytes + 2) - jpeg.begin());
}

Bytes Changed(Bytes bytes, size_t at, std::initializer_list<uint8_t> values) {
  std::copy(values.begin(), values.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}

// SOI, the given segments, then SOS.
Bytes Stream(std::initializer_list<Bytes> segments) {
  Bytes bytes{0xFF, 0xD8};
  for (const Bytes& segment : segments) bytes.insert(bytes.end(), segment.begin(), segment.end());
  bytes.insert(bytes.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  return bytes;
}

Bytes FrameSegment(uint8_t marker, uint8_t components, uint8_t firstTable = 0) {
  Bytes segment{0xFF, marker, 0x00, static_cast<uint8_t>(8 + 3 * components), 8, 0x00, 0x10, 0x00, 0x20, components};
  for (uint8_t c = 0; c < components; ++c) {
    segment.insert(segment.end(), {static_cast<uint8_t>(c + 1), 0x11, c == 0 ? firstTable : uint8_t{1}});
  }
  return segment;
}

// A quantisation table segment whose 64 entries all hold `value`.
Bytes TableSegment(uint8_t id, uint16_t value, bool sixteenBit = false) {
  Bytes segment{0xFF, 0xDB, 0x00, static_cast<uint8_t>(sixteenBit ? 131 : 67),
                static_cast<uint8_t>((sixteenBit ? 0x10 : 0x00) | id)};
  for (int k = 0; k < 64; ++k) {
    if (sixteenBit) segment.push_back(static_cast<uint8_t>(value >> 8));
    segment.push_back(static_cast<uint8_t>(value));
  }
  return segment;
}

}  // namespace

// WriteImage and ReadHeader report the same parameters: colour is baseline
// YCbCr 4:2:2, grey one component; the quality comes back within one (its
// table exactly). Every quality is recognised from its scaled table (where
// two qualities give the same table, either is right), and a foreign table
// gives the nearest quality.
TEST(BaselineJpegCodec, RoundTripsAreFaithfulAndReportTheirHeader) {
  for (int32_t quality = 1; quality <= 100; ++quality) {
    const int32_t estimate = CBaselineJpegCodec::EstimateQuality(CBaselineJpegCodec::ScaledLuminanceTable(quality));
    EXPECT_EQ(CBaselineJpegCodec::ScaledLuminanceTable(estimate), CBaselineJpegCodec::ScaledLuminanceTable(quality));
  }
  std::array<uint16_t, 64> table = CBaselineJpegCodec::ScaledLuminanceTable(60);
  table[5] += 3;
  table[40] -= 2;
  EXPECT_EQ(CBaselineJpegCodec::EstimateQuality(table), 60);
  for (const uint32_t channels : {1u, 3u}) {
    const uint32_t width = 97 + 36 * (channels / 3);
    const Bytes image = NaturalImage(width, 61, channels);
    for (const int32_t quality : {50, 85, 95}) {
      SCOPED_TRACE(std::to_string(channels) + " channels, quality " + std::to_string(quality));
      JpegRequest written;
      const Bytes jpeg = Encode(image, width, 61, channels, [=](JpegRequest& r) { r.quality = quality; }, &written);
      Bytes unused;
      JpegRequest header = Request(jpeg, unused, 0, 0, 0);
      CBaselineJpegCodec codec;
      ASSERT_EQ(codec.ReadHeader(header), JpegStatus::Success) << codec.LastError();
      for (const JpegRequest* r : {&written, &header}) {
        EXPECT_EQ(std::tuple(r->jpegWidth, r->jpegHeight, r->jpegChannels, r->jpegColourSpace, r->jpegSubsampling),
                  std::tuple(width, 61u, channels, channels == 1 ? JpegColourSpace::Grey : JpegColourSpace::YCbCr,
                             channels == 1 ? JpegSubsampling::None : JpegSubsampling::S422));
      }
      EXPECT_NEAR(header.quality, quality, 1);
      JpegFrameInfo info;
      std::string error;
      ASSERT_EQ(CBaselineJpegCodec::ScanFrame(jpeg.data(), jpeg.size(), info, error), JpegStatus::Success) << error;
      EXPECT_EQ(info.luminanceTable, CBaselineJpegCodec::ScaledLuminanceTable(quality));  // out of zig-zag order
      EXPECT_LT(FindMarker(jpeg, 0xC0), jpeg.size()) << "the frame header is SOF0, baseline";
      Bytes decoded;
      ASSERT_EQ(Decode(codec, jpeg, &decoded, width, 61, channels), JpegStatus::Success) << codec.LastError();
      if (quality >= 85) {
        EXPECT_GE(test::Psnr8(image.data(), decoded.data(), image.size(), 1, image.size()), 35.0);
      }
    }
  }
}

// Nothing is written past a capacity too small for the data (guard bytes
// follow it); exactly enough goes through the scratch buffer and gives the
// bytes a large buffer gets.
TEST(BaselineJpegCodec, TooSmallCapacityFailsWithoutWritingPastIt) {
  const Bytes image = NaturalImage(64, 64, 3);
  const Bytes jpeg = Encode(image, 64, 64, 3);
  CBaselineJpegCodec codec;
  for (const size_t capacity : {size_t{1}, jpeg.size() - 1, jpeg.size()}) {
    Bytes guarded(jpeg.size() + 64, 0xEE);
    JpegRequest request = Request(image, guarded, 64, 64, 3);
    request.jpegOutCapacity = capacity;
    const bool fits = capacity == jpeg.size();
    EXPECT_EQ(codec.WriteImage(request), fits ? JpegStatus::Success : JpegStatus::BufferTooSmall) << capacity;
    EXPECT_EQ(request.jpegOutLength, fits ? jpeg.size() : 0u);
    EXPECT_EQ(codec.LastError().empty(), fits);
    EXPECT_EQ(Bytes(guarded.begin(), guarded.begin() + static_cast<std::ptrdiff_t>(request.jpegOutLength)),
              Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(request.jpegOutLength)));
    EXPECT_TRUE(std::all_of(guarded.begin() + static_cast<std::ptrdiff_t>(capacity), guarded.end(),
                            [](uint8_t b) { return b == 0xEE; }));
  }
}

// A missing buffer, a zero or oversized dimension or pitch, a channel count
// or colour order that do not fit, a quality outside 1 … 100, and a bitmap
// too small for the image (its padding included) are refused with a reason.
TEST(BaselineJpegCodec, UnusableRequestsAreRefused) {
  using enum JpegStatus;
  const Bytes image = NaturalImage(8, 8, 3);
  const Bytes jpeg = Encode(image, 8, 8, 3);
  const struct {
    bool encode;
    Change change;
    JpegStatus status;
  } cases[] = {
      {true, [](JpegRequest& r) { r.bitmapIn = nullptr; }, InvalidRequest},
      {true, [](JpegRequest& r) { r.bitmapChannels = 2; }, InvalidRequest},  // 16-bit grey as two channels
      {true, [](JpegRequest& r) { r.bitmapChannels = 1, r.bitmapColourOrder = JpegColourOrder::Bgr; }, InvalidRequest},
      {true, [](JpegRequest& r) { r.quality = 101; }, InvalidRequest},
      {true, [](JpegRequest& r) { r.bitmapWidth = 70000; }, InvalidRequest},
      {true, [](JpegRequest& r) { r.bitmapRowPadding = 0xFFFFFFFF; }, InvalidRequest},
      {false, [](JpegRequest& r) { r.bitmapOut = nullptr; }, InvalidRequest},
      {false, [](JpegRequest& r) { r.bitmapChannels = 2; }, InvalidRequest},
      {false, [](JpegRequest& r) { r.jpegIn = nullptr; }, InvalidRequest},
      {false, [](JpegRequest& r) { r.bitmapCapacity -= 1; }, BufferTooSmall},
      {false, [](JpegRequest& r) { r.bitmapCapacity += 7, r.bitmapRowPadding = 1; }, BufferTooSmall},
  };
  CBaselineJpegCodec codec;
  for (size_t i = 0; i < std::size(cases); ++i) {
    Bytes out(cases[i].encode ? 10000 : 8 * 8 * 3);
    JpegRequest request = Request(cases[i].encode ? image : jpeg, out, 8, 8, 3);
    cases[i].change(request);
    EXPECT_EQ(cases[i].encode ? codec.WriteImage(request) : codec.ReadImage(request), cases[i].status) << i;
    EXPECT_FALSE(codec.LastError().empty()) << i;
  }
}

// The marker walk steps over fill bytes and other segments, finds the
// first component's table wherever it stands, in 8 or 16 bits, and says
// when there is none.
TEST(BaselineJpegCodec, MarkerWalkFindsFrameAndTablesInAnyOrder) {
  const Bytes filled = {0xFF, 0xFF, 0xFF, 0xC1, 0x00, 0x0B, 8, 0x00, 0x10, 0x00, 0x20, 1, 1, 0x11, 2};
  for (const bool withTables : {true, false}) {
    const Bytes stream = withTables ? Stream({filled, {0xFF, 0xE0, 0x00, 0x04, 'J', 'F'}, TableSegment(0, 9),
                                              TableSegment(2, 300, true)})
                                    : Stream({filled});
    JpegFrameInfo info;
    std::string error;
    ASSERT_EQ(CBaselineJpegCodec::ScanFrame(stream.data(), stream.size(), info, error), JpegStatus::Success) << error;
    EXPECT_EQ(std::vector<uint32_t>({info.frameMarker, info.precision, info.width, info.height, info.components}),
              std::vector<uint32_t>({0xC1, 8, 32, 16, 1}));
    std::array<uint16_t, 64> expected{};
    expected.fill(withTables ? 300 : 0);
    EXPECT_EQ(info.hasLuminanceTable, withTables);
    EXPECT_EQ(info.luminanceTable, expected);
  }
}

// Data read from a file: each kind of damage fails with its status and a
// reason, and the codec decodes a good image after every failure (TurboJPEG
// once kept a decoder that failed inside a header in mid-header state, and
// the next, valid, frame failed as well). Every truncation fails.
TEST(BaselineJpegCodecBadInput, DamagedUnsupportedOrForeignDataFails) {
  const Bytes good = Encode(NaturalImage(16, 16, 3), 16, 16, 3);
  const size_t frame = FindMarker(good, 0xC0);
  const size_t huffman = FindMarker(good, 0xC4);
  const size_t scan = FindMarker(good, 0xDA);
  ASSERT_TRUE(frame < good.size() && huffman < good.size() && scan < good.size());
  Bytes shortTable = TableSegment(0, 50);
  shortTable.resize(42);
  const struct {
    const char* what;
    Bytes data;
    JpegStatus expected;
  } cases[] = {
      {"no data", {}, JpegStatus::CorruptData},
      {"a start-of-image marker alone", {0xFF, 0xD8}, JpegStatus::CorruptData},
      {"an end-of-image marker inside the scan", Changed(good, scan + (good.size() - scan) / 2, {0xFF, 0xD9}),
       JpegStatus::CorruptData},
      {"a code count no Huffman table can have", Changed(good, huffman + 5, {0xFF}), JpegStatus::CorruptData},
      {"a segment claiming more bytes than remain", {0xFF, 0xD8, 0xFF, 0xE0, 0x10, 0x00, 0x00},
       JpegStatus::CorruptData},
      {"quantisation table 5", Stream({TableSegment(5, 50), FrameSegment(0xC0, 1)}), JpegStatus::CorruptData},
      {"a table cut short", Stream({Changed(shortTable, 3, {40}), FrameSegment(0xC0, 1)}), JpegStatus::CorruptData},
      {"more components than the frame header holds", Stream({Changed(FrameSegment(0xC0, 3), 9, {4})}),
       JpegStatus::CorruptData},
      {"a scan with no frame header", Stream({}), JpegStatus::CorruptData},
      {"two frame headers", Stream({FrameSegment(0xC0, 1), FrameSegment(0xC0, 1)}), JpegStatus::CorruptData},
      {"a first component with table 4", Stream({FrameSegment(0xC0, 1, 4)}), JpegStatus::CorruptData},
      {"end of image before the scan", {0xFF, 0xD8, 0xFF, 0xD9}, JpegStatus::CorruptData},
      {"bytes between segments that are no marker", Stream({{0x12, 0x34}, FrameSegment(0xC0, 1)}),
       JpegStatus::CorruptData},
      {"four components", Stream({FrameSegment(0xC0, 4)}), JpegStatus::Unsupported},
      {"12-bit samples", Changed(good, frame + 4, {12}), JpegStatus::Unsupported},
      {"progressive", Changed(good, frame + 1, {0xC2}), JpegStatus::Unsupported},
      {"no height", Changed(good, frame + 5, {0, 0}), JpegStatus::Unsupported},
      {"another size", Encode(NaturalImage(16, 17, 3), 16, 17, 3), JpegStatus::SizeMismatch},
      {"extended sequential Huffman codes 8-bit data the same way", Changed(good, frame + 1, {0xC1}),
       JpegStatus::Success},
  };
  CBaselineJpegCodec codec;
  Bytes reference;
  ASSERT_EQ(Decode(codec, good, &reference), JpegStatus::Success) << codec.LastError();
  const auto stillDecodes = [&] {
    Bytes again;
    return Decode(codec, good, &again) == JpegStatus::Success && again == reference;
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Decode(codec, c.data), c.expected) << c.what << ": " << codec.LastError();
    EXPECT_EQ(codec.LastError().empty(), c.expected == JpegStatus::Success) << c.what;
    ASSERT_TRUE(stillDecodes()) << "after " << c.what;
  }
  for (size_t length = 0; length < good.size(); ++length) {
    ASSERT_NE(Decode(codec, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length))),
              JpegStatus::Success)
        << "cut at " << length;
  }
}
