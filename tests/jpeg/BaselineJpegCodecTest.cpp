// The baseline JPEG codec: round trips and the header they report (quality
// estimated from the luminance table), the quality tables, row padding, row
// order and colour order, output that does not fit, requests it refuses,
// and JPEG data that is damaged, unsupported or of the wrong size.
#include "jpeg/BaselineJpegCodec.h"
#include "support/ImageMetrics.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace quillon;
using quillon::test::NaturalImage;

namespace {

using Bytes = std::vector<uint8_t>;
// Adjusts a request made by EncodeRequest or DecodeRequest.
using Change = std::function<void(JpegRequest&)>;

Bytes FlipRows(const Bytes& image, size_t rowBytes) {
  Bytes flipped;
  for (size_t row = image.size() / rowBytes; row-- > 0;) {
    flipped.insert(flipped.end(), image.begin() + static_cast<std::ptrdiff_t>(row * rowBytes),
                   image.begin() + static_cast<std::ptrdiff_t>((row + 1) * rowBytes));
  }
  return flipped;
}

Bytes SwapRedAndBlue(Bytes image) {
  for (size_t i = 0; i + 2 < image.size(); i += 3) std::swap(image[i], image[i + 2]);
  return image;
}

JpegRequest EncodeRequest(const Bytes& image, uint32_t width, uint32_t height, uint32_t channels, Bytes& out,
                          int32_t quality = 85) {
  JpegRequest request;
  request.bitmapIn = image.data();
  request.bitmapWidth = width;
  request.bitmapHeight = height;
  request.bitmapChannels = channels;
  request.bitmapColourOrder = channels == 1 ? JpegColourOrder::Grey : JpegColourOrder::Rgb;
  request.jpegOut = out.data();
  request.jpegOutCapacity = out.size();
  request.quality = quality;
  return request;
}

// Encodes with a fresh codec; the result is trimmed to the JPEG data.
// `done` receives the request as WriteImage left it.
Bytes Encode(const Bytes& image, uint32_t width, uint32_t height, uint32_t channels, int32_t quality = 85,
             const Change& change = {}, JpegRequest* done = nullptr) {
  Bytes out(image.size() * 2 + 4096);
  JpegRequest request = EncodeRequest(image, width, height, channels, out, quality);
  if (change) change(request);
  CBaselineJpegCodec codec;
  EXPECT_EQ(codec.WriteImage(request), JpegStatus::Success) << codec.LastError();
  out.resize(request.jpegOutLength);
  if (done != nullptr) *done = request;
  return out;
}

JpegRequest DecodeRequest(const Bytes& jpeg, Bytes& bitmap, uint32_t width, uint32_t height, uint32_t channels) {
  JpegRequest request;
  request.jpegIn = jpeg.data();
  request.jpegInLength = jpeg.size();
  request.bitmapOut = bitmap.data();
  request.bitmapCapacity = bitmap.size();
  request.bitmapWidth = width;
  request.bitmapHeight = height;
  request.bitmapChannels = channels;
  request.bitmapColourOrder = channels == 1 ? JpegColourOrder::Grey : JpegColourOrder::Rgb;
  return request;
}

// Decodes with `codec` into `*bitmap`, or a scratch bitmap when null.
JpegStatus Decode(CBaselineJpegCodec& codec, const Bytes& jpeg, uint32_t width, uint32_t height, uint32_t channels,
                  Bytes* bitmap = nullptr) {
  Bytes scratch;
  Bytes& out = bitmap != nullptr ? *bitmap : scratch;
  out.assign(size_t{width} * height * channels, 0);
  JpegRequest request = DecodeRequest(jpeg, out, width, height, channels);
  return codec.ReadImage(request);
}

// Decodes with a fresh codec into a bitmap of `capacity` bytes (0: the
// unpadded size) filled with `fill`.
Bytes Decoded(const Bytes& jpeg, uint32_t width, uint32_t height, uint32_t channels, const Change& change = {},
              size_t capacity = 0, uint8_t fill = 0) {
  Bytes bitmap(capacity != 0 ? capacity : size_t{width} * height * channels, fill);
  JpegRequest request = DecodeRequest(jpeg, bitmap, width, height, channels);
  if (change) change(request);
  CBaselineJpegCodec codec;
  EXPECT_EQ(codec.ReadImage(request), JpegStatus::Success) << codec.LastError();
  return bitmap;
}

JpegStatus Header(const Bytes& jpeg, JpegRequest& request) {
  request = JpegRequest{};
  request.jpegIn = jpeg.data();
  request.jpegInLength = jpeg.size();
  CBaselineJpegCodec codec;
  return codec.ReadHeader(request);
}

// Offset of the first `marker` segment (its 0xFF byte); npos when absent.
size_t FindMarker(const Bytes& jpeg, uint8_t marker) {
  for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
  }
  return std::string::npos;
}

// A JPEG made by TurboJPEG directly, for images our encoder never makes.
Bytes TurboJpeg(const Bytes& image, int width, int height, int pixelFormat, int subsampling, int flags) {
  tjhandle handle = tjInitCompress();
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  EXPECT_EQ(tjCompress2(handle, image.data(), width, 0, height, pixelFormat, &buffer, &size, subsampling, 85, flags),
            0)
      << tjGetErrorStr2(handle);
  Bytes jpeg(buffer, buffer + size);
  tjFree(buffer);
  tjDestroy(handle);
  return jpeg;
}

}  // namespace

// ---- Round trips, the header and the quality ----

// WriteImage and ReadHeader report the same parameters: colour is baseline
// YCbCr 4:2:2, grey one component; the quality comes back within one.
TEST(BaselineJpegCodec, RoundTripsAreFaithfulAndReportTheirHeader) {
  struct Size {
    uint32_t width, height, channels;
  };
  for (const Size size : {Size{97, 61, 1}, Size{133, 90, 3}}) {
    const Bytes image = NaturalImage(size.width, size.height, size.channels);
    for (const int32_t quality : {50, 70, 75, 85, 95}) {
      SCOPED_TRACE(std::to_string(size.channels) + " channels, quality " + std::to_string(quality));
      JpegRequest written;
      const Bytes jpeg = Encode(image, size.width, size.height, size.channels, quality, {}, &written);
      JpegRequest header;
      ASSERT_EQ(Header(jpeg, header), JpegStatus::Success);
      for (const JpegRequest* request : {&written, &header}) {
        EXPECT_EQ(request->jpegWidth, size.width);
        EXPECT_EQ(request->jpegHeight, size.height);
        EXPECT_EQ(request->jpegChannels, size.channels);
        EXPECT_EQ(request->jpegColourSpace, size.channels == 1 ? JpegColourSpace::Grey : JpegColourSpace::YCbCr);
        EXPECT_EQ(request->jpegSubsampling, size.channels == 1 ? JpegSubsampling::None : JpegSubsampling::S422);
      }
      EXPECT_NEAR(header.quality, quality, 1);
      EXPECT_EQ(Bytes(jpeg.begin(), jpeg.begin() + 2), (Bytes{0xFF, 0xD8}));
      EXPECT_EQ(Bytes(jpeg.end() - 2, jpeg.end()), (Bytes{0xFF, 0xD9}));
      EXPECT_NE(FindMarker(jpeg, 0xC0), std::string::npos) << "the frame header is SOF0, baseline";
      EXPECT_EQ(FindMarker(jpeg, 0xC2), std::string::npos);
      if (quality == 85) {
        ASSERT_GT(jpeg.size(), 100u);
        const Bytes decoded = Decoded(jpeg, size.width, size.height, size.channels);
        const size_t rowBytes = size_t{size.width} * size.channels;
        EXPECT_GE(test::Psnr8(image.data(), decoded.data(), rowBytes, size.height, rowBytes), 35.0);
      }
    }
  }
}

TEST(BaselineJpegCodec, QualityTablesFollowTheIjgScalingAndAreRecognised) {
  const auto q50 = CBaselineJpegCodec::ScaledLuminanceTable(50);
  const auto q75 = CBaselineJpegCodec::ScaledLuminanceTable(75);
  const auto q10 = CBaselineJpegCodec::ScaledLuminanceTable(10);
  const auto q100 = CBaselineJpegCodec::ScaledLuminanceTable(100);
  EXPECT_EQ(std::vector<int>({q50[0], q50[1], q50[63], q75[0], q75[2], q10[0], q10[63]}),
            std::vector<int>({16, 11, 99, 8, 5, 80, 255}));  // q10[63]: scale 500 gives 495, limited to 8 bits
  EXPECT_TRUE(std::all_of(q100.begin(), q100.end(), [](uint16_t v) { return v == 1; }));
  for (int32_t quality = 1; quality <= 100; ++quality) {
    const int32_t estimate = CBaselineJpegCodec::EstimateQuality(CBaselineJpegCodec::ScaledLuminanceTable(quality));
    // Where two qualities give the same table, either is right.
    EXPECT_EQ(CBaselineJpegCodec::ScaledLuminanceTable(estimate), CBaselineJpegCodec::ScaledLuminanceTable(quality))
        << quality;
  }
  // A foreign table gives the nearest quality.
  std::array<uint16_t, 64> table = CBaselineJpegCodec::ScaledLuminanceTable(60);
  table[5] += 3;
  table[40] -= 2;
  EXPECT_EQ(CBaselineJpegCodec::EstimateQuality(table), 60);
  table.fill(2);
  EXPECT_GE(CBaselineJpegCodec::EstimateQuality(table), 90);
  EXPECT_LE(CBaselineJpegCodec::EstimateQuality(table), 100);
}

// ---- Layout of the bitmap ----

TEST(BaselineJpegCodec, BitmapLayoutsGiveTheSameJpeg) {
  // Row padding is never read or written.
  const uint32_t padding = 6;  // 2 pixels of 3 bytes
  const Change padded = [&](JpegRequest& request) { request.bitmapRowPadding = padding; };
  const Bytes wide = Encode(NaturalImage(510, 7, 3), 510, 7, 3);
  for (const uint8_t padByte : {uint8_t{0x00}, uint8_t{0xFF}}) {
    EXPECT_EQ(Encode(NaturalImage(510, 7, 3, padding, padByte), 510, 7, 3, 85, padded), wide);
  }
  const Bytes unpadded = Decoded(wide, 510, 7, 3);
  const size_t rowBytes = 510 * 3;
  const size_t pitch = rowBytes + padding;
  const Bytes bitmap = Decoded(wide, 510, 7, 3, padded, pitch * 7, 0x5A);
  for (uint32_t y = 0; y < 7; ++y) {
    const auto row = bitmap.begin() + static_cast<std::ptrdiff_t>(y * pitch);
    EXPECT_TRUE(std::equal(row, row + rowBytes, unpadded.begin() + y * rowBytes)) << "row " << y;
    EXPECT_TRUE(std::all_of(row + rowBytes, row + pitch, [](uint8_t b) { return b == 0x5A; })) << "row " << y;
  }
  // Bottom-up rows are read and written in reverse.
  const Bytes image = NaturalImage(33, 19, 3);
  const Bytes jpeg = Encode(image, 33, 19, 3);
  const Change bottomUp = [](JpegRequest& request) { request.bitmapBottomUp = true; };
  EXPECT_EQ(Encode(FlipRows(image, 33 * 3), 33, 19, 3, 85, bottomUp), jpeg);
  EXPECT_EQ(FlipRows(Decoded(jpeg, 33, 19, 3, bottomUp), 33 * 3), Decoded(jpeg, 33, 19, 3));
  // Blue-green-red order swaps red and blue.
  const Change bgr = [](JpegRequest& request) { request.bitmapColourOrder = JpegColourOrder::Bgr; };
  EXPECT_EQ(Encode(SwapRedAndBlue(image), 33, 19, 3, 85, bgr), jpeg);
  EXPECT_EQ(SwapRedAndBlue(Decoded(jpeg, 33, 19, 3, bgr)), Decoded(jpeg, 33, 19, 3));
  // A grey JPEG decodes into three equal channels.
  const Bytes grey = Encode(NaturalImage(16, 8, 1), 16, 8, 1);
  Bytes tripled;
  for (const uint8_t level : Decoded(grey, 16, 8, 1)) tripled.insert(tripled.end(), 3, level);
  EXPECT_EQ(Decoded(grey, 16, 8, 3), tripled);
}

// ---- Output that does not fit, and requests the codec refuses ----

TEST(BaselineJpegCodec, TooSmallCapacityFailsWithoutWritingPastIt) {
  for (const uint32_t channels : {1u, 3u}) {
    SCOPED_TRACE(channels);
    const Bytes image = NaturalImage(64, 64, channels);
    const Bytes jpeg = Encode(image, 64, 64, channels);
    CBaselineJpegCodec codec;
    Bytes unused;
    for (const size_t capacity : {size_t{1}, size_t{100}, jpeg.size() / 2, jpeg.size() - 1}) {
      auto exact = std::make_unique<uint8_t[]>(capacity);  // the sanitizer reports a single byte past it
      JpegRequest request = EncodeRequest(image, 64, 64, channels, unused);
      request.jpegOut = exact.get();
      request.jpegOutCapacity = capacity;
      EXPECT_EQ(codec.WriteImage(request), JpegStatus::BufferTooSmall) << capacity;
      EXPECT_EQ(request.jpegOutLength, 0u);
      EXPECT_FALSE(codec.LastError().empty());
    }
    // Nor past a capacity below the buffer's size: guard bytes stay as they were.
    Bytes guarded(jpeg.size() + 64, 0xEE);
    JpegRequest request = EncodeRequest(image, 64, 64, channels, guarded);
    request.jpegOutCapacity = jpeg.size() - 10;
    EXPECT_EQ(codec.WriteImage(request), JpegStatus::BufferTooSmall);
    EXPECT_TRUE(std::all_of(guarded.begin() + static_cast<std::ptrdiff_t>(request.jpegOutCapacity), guarded.end(),
                            [](uint8_t b) { return b == 0xEE; }));
    // Exactly enough goes through the scratch buffer and gives the same
    // bytes as a large buffer written directly.
    Bytes exact(jpeg.size());
    request = EncodeRequest(image, 64, 64, channels, exact);
    ASSERT_EQ(codec.WriteImage(request), JpegStatus::Success) << codec.LastError();
    EXPECT_EQ(exact, jpeg);
  }
}

TEST(BaselineJpegCodec, UnusableRequestsAreRefused) {
  const Bytes image = NaturalImage(8, 8, 3);
  Bytes out(10000);
  const Bytes jpeg = Encode(image, 8, 8, 3);
  Bytes bitmap(8 * 8 * 3);
  const Change encodeChanges[] = {
      [](JpegRequest& r) { r.bitmapIn = nullptr; },
      [](JpegRequest& r) { r.jpegOut = nullptr; },
      [](JpegRequest& r) { r.bitmapChannels = 2; },  // 16-bit grey handed over as two channels
      [](JpegRequest& r) { r.bitmapChannels = 4; },
      [](JpegRequest& r) { r.bitmapColourOrder = JpegColourOrder::Grey; },
      [](JpegRequest& r) { r.bitmapChannels = 1, r.bitmapColourOrder = JpegColourOrder::Bgr; },
      [](JpegRequest& r) { r.quality = 0; },
      [](JpegRequest& r) { r.quality = 101; },
      [](JpegRequest& r) { r.bitmapWidth = 0; },
      [](JpegRequest& r) { r.bitmapHeight = 0; },
      [](JpegRequest& r) { r.bitmapWidth = 70000; },
      [](JpegRequest& r) { r.bitmapRowPadding = 0xFFFFFFFF; },
  };
  const Change decodeChanges[] = {
      [](JpegRequest& r) { r.bitmapOut = nullptr; },
      [](JpegRequest& r) { r.bitmapChannels = 2; },
      [](JpegRequest& r) { r.jpegIn = nullptr; },
  };
  CBaselineJpegCodec codec;
  for (size_t i = 0; i < std::size(encodeChanges); ++i) {
    JpegRequest request = EncodeRequest(image, 8, 8, 3, out);
    encodeChanges[i](request);
    EXPECT_EQ(codec.WriteImage(request), JpegStatus::InvalidRequest) << "encode change " << i;
    EXPECT_FALSE(codec.LastError().empty());
  }
  for (size_t i = 0; i < std::size(decodeChanges); ++i) {
    JpegRequest request = DecodeRequest(jpeg, bitmap, 8, 8, 3);
    decodeChanges[i](request);
    EXPECT_EQ(codec.ReadImage(request), JpegStatus::InvalidRequest) << "decode change " << i;
  }
}

// ---- JPEG data the codec refuses ----

TEST(BaselineJpegCodecBadInput, ImageOfAnotherSizeOrTooSmallABitmapIsRefusedBeforeDecoding) {
  const Bytes jpeg = Encode(NaturalImage(32, 32, 3), 32, 32, 3);
  CBaselineJpegCodec codec;
  // 16 × 16 is smaller than the image: no byte may be written past it.
  for (const auto& [width, height] : {std::pair{16u, 16u}, {31u, 32u}, {32u, 33u}, {64u, 64u}}) {
    EXPECT_EQ(Decode(codec, jpeg, width, height, 3), JpegStatus::SizeMismatch) << width << " × " << height;
  }
  auto exact = std::make_unique<uint8_t[]>(32 * 32 * 3 - 1);
  Bytes unused;
  JpegRequest request = DecodeRequest(jpeg, unused, 32, 32, 3);
  request.bitmapOut = exact.get();
  request.bitmapCapacity = 32 * 32 * 3 - 1;
  request.bitmapColourOrder = JpegColourOrder::Bgr;
  EXPECT_EQ(codec.ReadImage(request), JpegStatus::BufferTooSmall);
  request.bitmapCapacity = 32 * 32 * 3 + 31;  // claims enough, but the padding makes it too little
  request.bitmapRowPadding = 1;
  EXPECT_EQ(codec.ReadImage(request), JpegStatus::BufferTooSmall);
}

TEST(BaselineJpegCodecBadInput, GarbageTruncationsAndDamageFail) {
  CBaselineJpegCodec codec;
  EXPECT_EQ(Decode(codec, Bytes{}, 8, 8, 1), JpegStatus::CorruptData);
  EXPECT_EQ(Decode(codec, Bytes{0xFF, 0xD8}, 8, 8, 1), JpegStatus::CorruptData);
  EXPECT_EQ(Decode(codec, Bytes(1000, 0x00), 8, 8, 1), JpegStatus::CorruptData);
  std::mt19937 random(7);
  Bytes garbage(4096);
  for (uint8_t& b : garbage) b = static_cast<uint8_t>(random());
  EXPECT_EQ(Decode(codec, garbage, 8, 8, 1), JpegStatus::CorruptData);
  garbage[0] = 0xFF;
  garbage[1] = 0xD8;
  EXPECT_NE(Decode(codec, garbage, 8, 8, 1), JpegStatus::Success);
  JpegRequest request;
  EXPECT_EQ(Header(Bytes{}, request), JpegStatus::CorruptData);

  const Bytes jpeg = Encode(NaturalImage(24, 16, 3), 24, 16, 3);
  for (size_t length = 0; length < jpeg.size(); ++length) {
    const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(length));
    ASSERT_NE(Decode(codec, cut, 24, 16, 3), JpegStatus::Success) << "cut at " << length;
  }
  EXPECT_EQ(Decode(codec, jpeg, 24, 16, 3), JpegStatus::Success) << "the handle survives the failures";
  // Random bit flips: the sanitizers watch the buffers, and the codec
  // still decodes a good image after each.
  for (int round = 0; round < 300; ++round) {
    Bytes damaged = jpeg;
    for (int flips = 0; flips < 1 + round % 5; ++flips) {
      damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
    }
    (void)Decode(codec, damaged, 24, 16, 3);
    ASSERT_EQ(Decode(codec, jpeg, 24, 16, 3), JpegStatus::Success) << "round " << round;
  }
  // An end-of-image marker in the middle of the scan is an error, not a warning.
  const Bytes grey = Encode(NaturalImage(64, 64, 1), 64, 64, 1);
  const size_t scan = FindMarker(grey, 0xDA);
  ASSERT_NE(scan, std::string::npos);
  Bytes cut = grey;
  const size_t middle = scan + (grey.size() - scan) / 2;
  cut[middle] = 0xFF;
  cut[middle + 1] = 0xD9;
  EXPECT_EQ(Decode(codec, cut, 64, 64, 1), JpegStatus::CorruptData);
  EXPECT_FALSE(codec.LastError().empty());
}

TEST(BaselineJpegCodecBadInput, OtherComponentsProcessesAndPrecisionsAreUnsupported) {
  CBaselineJpegCodec codec;
  const Bytes cmyk = TurboJpeg(NaturalImage(16, 16, 4), 16, 16, TJPF_CMYK, TJSAMP_444, 0);
  EXPECT_EQ(Decode(codec, cmyk, 16, 16, 3), JpegStatus::Unsupported);
  EXPECT_NE(codec.LastError().find("4 components"), std::string::npos) << codec.LastError();
  JpegRequest request;
  EXPECT_EQ(Header(cmyk, request), JpegStatus::Unsupported);
  const Bytes progressive = TurboJpeg(NaturalImage(16, 16, 3), 16, 16, TJPF_RGB, TJSAMP_422, TJFLAG_PROGRESSIVE);
  EXPECT_EQ(Decode(codec, progressive, 16, 16, 3), JpegStatus::Unsupported);

  const Bytes jpeg = Encode(NaturalImage(16, 16, 1), 16, 16, 1);
  const size_t frame = FindMarker(jpeg, 0xC0);
  ASSERT_NE(frame, std::string::npos);
  const struct {
    size_t at;
    uint8_t value;
    JpegStatus expected;
  } cases[] = {
      {frame + 4, 12, JpegStatus::Unsupported},   // 12-bit samples
      {frame + 1, 0xC3, JpegStatus::Unsupported},  // lossless
      {frame + 1, 0xC1, JpegStatus::Success},      // extended sequential Huffman codes 8-bit data the same way
  };
  for (const auto& c : cases) {
    Bytes changed = jpeg;
    changed[c.at] = c.value;
    EXPECT_EQ(Decode(codec, changed, 16, 16, 1), c.expected) << int{c.value} << ": " << codec.LastError();
  }
}

// TurboJPEG keeps a decoder that failed inside a header in mid-header
// state: reused as it was, the next, valid, frame failed as well.
TEST(BaselineJpegCodecBadInput, ValidFrameAfterABadHeaderStillDecodes) {
  const Bytes jpeg = Encode(NaturalImage(40, 24, 3), 40, 24, 3);
  const size_t table = FindMarker(jpeg, 0xC4);
  ASSERT_NE(table, std::string::npos);
  Bytes bogus = jpeg;
  bogus[table + 5] = 0xFF;  // a code count no Huffman table can have
  CBaselineJpegCodec codec;
  Bytes reference;
  ASSERT_EQ(Decode(codec, jpeg, 40, 24, 3, &reference), JpegStatus::Success);
  JpegRequest request;
  request.jpegIn = bogus.data();
  request.jpegInLength = bogus.size();
  EXPECT_EQ(codec.ReadHeader(request), JpegStatus::CorruptData);
  EXPECT_EQ(Decode(codec, bogus, 40, 24, 3), JpegStatus::CorruptData);
  Bytes bitmap;
  ASSERT_EQ(Decode(codec, jpeg, 40, 24, 3, &bitmap), JpegStatus::Success) << codec.LastError();
  EXPECT_EQ(bitmap, reference);
}

// ---- The marker walk ----

namespace {

// SOI, then the given segments, then SOS.
Bytes Stream(std::initializer_list<Bytes> segments) {
  Bytes bytes{0xFF, 0xD8};
  for (const Bytes& segment : segments) bytes.insert(bytes.end(), segment.begin(), segment.end());
  const Bytes scan{0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
  bytes.insert(bytes.end(), scan.begin(), scan.end());
  return bytes;
}

Bytes FrameSegment(uint8_t marker, uint8_t components, uint8_t firstTable = 0) {
  Bytes segment{0xFF, marker, 0x00, static_cast<uint8_t>(8 + 3 * components), 8, 0x00, 0x10, 0x00, 0x20,
                components};
  for (uint8_t c = 0; c < components; ++c) {
    segment.insert(segment.end(), {static_cast<uint8_t>(c + 1), 0x11, c == 0 ? firstTable : uint8_t{1}});
  }
  return segment;
}

Bytes TableSegment(uint8_t id, const std::array<uint16_t, 64>& natural, bool sixteenBit = false) {
  static constexpr uint8_t kZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                          12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                          35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                          58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
  const size_t length = 2 + 1 + (sixteenBit ? 128 : 64);
  Bytes segment{0xFF, 0xDB, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
                static_cast<uint8_t>((sixteenBit ? 0x10 : 0x00) | id)};
  for (const uint8_t k : kZigZag) {
    if (sixteenBit) segment.push_back(static_cast<uint8_t>(natural[k] >> 8));
    segment.push_back(static_cast<uint8_t>(natural[k]));
  }
  return segment;
}

JpegStatus Scan(const Bytes& bytes, JpegFrameInfo& info) {
  std::string error;
  const JpegStatus status = CBaselineJpegCodec::ScanFrame(bytes.data(), bytes.size(), info, error);
  EXPECT_EQ(status == JpegStatus::Success, error.empty()) << error;
  return status;
}

}  // namespace

TEST(BaselineJpegCodecMarkers, FrameAndTablesAreFoundInAnyOrder) {
  const auto q30 = CBaselineJpegCodec::ScaledLuminanceTable(30);
  JpegFrameInfo info;
  // The table may follow the frame header, and the first component may use
  // a table other than 0.
  ASSERT_EQ(Scan(Stream({FrameSegment(0xC0, 3, 2), Bytes{0xFF, 0xE0, 0x00, 0x04, 'J', 'F'},
                         TableSegment(0, CBaselineJpegCodec::ScaledLuminanceTable(90)), TableSegment(2, q30)}),
                 info),
            JpegStatus::Success);
  EXPECT_EQ(std::vector<uint32_t>({info.frameMarker, info.precision, info.width, info.height, info.components}),
            std::vector<uint32_t>({0xC0, 8, 32, 16, 3}));
  ASSERT_TRUE(info.hasLuminanceTable);
  EXPECT_EQ(info.luminanceTable, q30);
  EXPECT_EQ(CBaselineJpegCodec::EstimateQuality(info.luminanceTable), 30);

  std::array<uint16_t, 64> wide = q30;
  wide[63] = 300;
  ASSERT_EQ(Scan(Stream({TableSegment(0, wide, true), FrameSegment(0xC1, 1)}), info), JpegStatus::Success);
  EXPECT_EQ(info.luminanceTable, wide);

  ASSERT_EQ(Scan(Stream({FrameSegment(0xC0, 1)}), info), JpegStatus::Success);
  EXPECT_FALSE(info.hasLuminanceTable);
}

TEST(BaselineJpegCodecMarkers, MalformedSegmentsAreCorruptData) {
  const auto table = CBaselineJpegCodec::ScaledLuminanceTable(50);
  Bytes badId = TableSegment(0, table);
  badId[4] = 0x05;
  Bytes shortTable = TableSegment(0, table);
  shortTable[3] = 40;
  shortTable.resize(40 + 2);
  Bytes badFrame = FrameSegment(0xC0, 3);
  badFrame[9] = 4;
  Bytes filled = FrameSegment(0xC0, 1);
  filled.insert(filled.begin(), {0xFF, 0xFF});
  const struct {
    const char* what;
    Bytes stream;
    JpegStatus expected;
  } cases[] = {
      {"a segment claiming more bytes than remain", {0xFF, 0xD8, 0xFF, 0xE0, 0x10, 0x00, 0x00},
       JpegStatus::CorruptData},
      {"a length below its own two bytes", Stream({Bytes{0xFF, 0xE0, 0x00, 0x01}}), JpegStatus::CorruptData},
      {"table 5", Stream({badId, FrameSegment(0xC0, 1)}), JpegStatus::CorruptData},
      {"a table cut short", Stream({shortTable, FrameSegment(0xC0, 1)}), JpegStatus::CorruptData},
      {"a component count that disagrees with the length", Stream({badFrame}), JpegStatus::CorruptData},
      {"a scan with no frame header", Stream({}), JpegStatus::CorruptData},
      {"two frame headers", Stream({FrameSegment(0xC0, 1), FrameSegment(0xC0, 1)}), JpegStatus::CorruptData},
      {"EOI before the scan", {0xFF, 0xD8, 0xFF, 0xD9}, JpegStatus::CorruptData},
      {"bytes between segments that are not a marker", Stream({Bytes{0x12, 0x34}, FrameSegment(0xC0, 1)}),
       JpegStatus::CorruptData},
      {"fill bytes before a marker are allowed", Stream({filled}), JpegStatus::Success},
  };
  for (const auto& c : cases) {
    JpegFrameInfo info;
    EXPECT_EQ(Scan(c.stream, info), c.expected) << c.what;
  }
}
