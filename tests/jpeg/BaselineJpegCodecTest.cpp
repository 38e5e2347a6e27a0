// The baseline JPEG codec: round trips and their fidelity, the header it
// reports (quality estimated from the luminance table among it), row
// padding, row order and colour order, output that does not fit, and JPEG
// data that is damaged, unsupported or of the wrong size.
#include "jpeg/BaselineJpegCodec.h"
#include "support/ImageMetrics.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace quillon;

namespace {

using Bytes = std::vector<uint8_t>;
// Adjusts a request made by EncodeRequest or DecodeRequest.
using Change = std::function<void(JpegRequest&)>;

// A photograph-like image: smooth gradients and soft blobs with a fine
// texture and a little noise, so the coder meets every frequency band the
// way it does on real images. Rows of `width` × `channels` + `padding`
// bytes, top-down; padding bytes are `padByte`.
Bytes NaturalImage(uint32_t width, uint32_t height, uint32_t channels, uint32_t padding = 0,
                   uint8_t padByte = 0xA5, uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> noise(-3, 3);
  const size_t pitch = size_t{width} * channels + padding;
  Bytes image(pitch * height, padByte);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width;
      const double v = static_cast<double>(y) / height;
      const double texture = 10.0 * std::sin(x * 0.9) * std::sin(y * 0.7);
      const double blob = 50.0 * std::exp(-((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4)) * 8.0);
      for (uint32_t c = 0; c < channels; ++c) {
        const double level = 40.0 + 120.0 * u + 40.0 * v * (c + 1) / channels + blob * (c == 1 ? 0.5 : 1.0) +
                             texture + noise(random);
        image[y * pitch + size_t{x} * channels + c] = static_cast<uint8_t>(std::clamp(level, 0.0, 255.0));
      }
    }
  }
  return image;
}

// The rows of `image` (`rowBytes` each) in reverse order.
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
Bytes Encode(const Bytes& image, uint32_t width, uint32_t height, uint32_t channels, int32_t quality = 85,
             const Change& change = {}) {
  Bytes out(image.size() * 2 + 4096);
  JpegRequest request = EncodeRequest(image, width, height, channels, out, quality);
  if (change) change(request);
  CBaselineJpegCodec codec;
  EXPECT_EQ(codec.WriteImage(request), JpegStatus::Success) << codec.LastError();
  out.resize(request.jpegOutLength);
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

void ExpectImage(const JpegRequest& request, uint32_t width, uint32_t height, uint32_t channels,
                 JpegColourSpace colourSpace, JpegSubsampling subsampling) {
  EXPECT_EQ(request.jpegWidth, width);
  EXPECT_EQ(request.jpegHeight, height);
  EXPECT_EQ(request.jpegChannels, channels);
  EXPECT_EQ(request.jpegColourSpace, colourSpace);
  EXPECT_EQ(request.jpegSubsampling, subsampling);
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
  const int result = tjCompress2(handle, image.data(), width, 0, height, pixelFormat, &buffer, &size, subsampling,
                                 85, flags);
  EXPECT_EQ(result, 0) << tjGetErrorStr2(handle);
  Bytes jpeg(buffer, buffer + size);
  tjFree(buffer);
  tjDestroy(handle);
  return jpeg;
}

}  // namespace

// ---- Round trips and the header ----

TEST(BaselineJpegCodecRoundTrip, GreyAndColourImagesOfOddSizeAreFaithfulAtQuality85) {
  struct Size {
    uint32_t width, height, channels;
  };
  for (const Size size : {Size{97, 61, 1}, Size{133, 90, 3}}) {
    SCOPED_TRACE(size.channels);
    const Bytes image = NaturalImage(size.width, size.height, size.channels);
    const Bytes jpeg = Encode(image, size.width, size.height, size.channels);
    ASSERT_GT(jpeg.size(), 100u);
    const Bytes decoded = Decoded(jpeg, size.width, size.height, size.channels);
    const size_t rowBytes = size_t{size.width} * size.channels;
    EXPECT_GE(test::Psnr8(image.data(), decoded.data(), rowBytes, size.height, rowBytes), 35.0);
  }
}

// WriteImage and ReadHeader report the same parameters.
TEST(BaselineJpegCodecHeader, ColourIsBaselineYCbCr422AndGreyIsOneComponent) {
  const Bytes image = NaturalImage(50, 20, 3);
  Bytes colour(20000);
  JpegRequest request = EncodeRequest(image, 50, 20, 3, colour, 70);
  CBaselineJpegCodec codec;
  ASSERT_EQ(codec.WriteImage(request), JpegStatus::Success);
  ExpectImage(request, 50, 20, 3, JpegColourSpace::YCbCr, JpegSubsampling::S422);
  colour.resize(request.jpegOutLength);
  EXPECT_EQ(Bytes(colour.begin(), colour.begin() + 2), (Bytes{0xFF, 0xD8}));
  EXPECT_EQ(Bytes(colour.end() - 2, colour.end()), (Bytes{0xFF, 0xD9}));
  ASSERT_EQ(Header(colour, request), JpegStatus::Success);
  ExpectImage(request, 50, 20, 3, JpegColourSpace::YCbCr, JpegSubsampling::S422);
  EXPECT_NE(FindMarker(colour, 0xC0), std::string::npos) << "the frame header is SOF0, baseline";
  EXPECT_EQ(FindMarker(colour, 0xC2), std::string::npos);

  ASSERT_EQ(Header(Encode(NaturalImage(21, 22, 1), 21, 22, 1), request), JpegStatus::Success);
  ExpectImage(request, 21, 22, 1, JpegColourSpace::Grey, JpegSubsampling::None);
}

TEST(BaselineJpegCodecHeader, QualityIsEstimatedWithinOne) {
  for (const uint32_t channels : {1u, 3u}) {
    const Bytes image = NaturalImage(64, 48, channels);
    for (const int32_t quality : {50, 75, 85, 95}) {
      JpegRequest request;
      ASSERT_EQ(Header(Encode(image, 64, 48, channels, quality), request), JpegStatus::Success);
      EXPECT_NEAR(request.quality, quality, 1) << channels << " channels";
    }
  }
}

TEST(BaselineJpegCodecHeader, EveryIjgQualityIsRecognisedFromItsTable) {
  for (int32_t quality = 1; quality <= 100; ++quality) {
    const int32_t estimate = CBaselineJpegCodec::EstimateQuality(CBaselineJpegCodec::ScaledLuminanceTable(quality));
    // Where two qualities give the same table, either is right.
    EXPECT_EQ(CBaselineJpegCodec::ScaledLuminanceTable(estimate), CBaselineJpegCodec::ScaledLuminanceTable(quality))
        << quality;
  }
}

TEST(BaselineJpegCodecHeader, ScaledTablesFollowTheIjgScaling) {
  const auto q50 = CBaselineJpegCodec::ScaledLuminanceTable(50);
  EXPECT_EQ(q50[0], 16);
  EXPECT_EQ(q50[1], 11);
  EXPECT_EQ(q50[63], 99);
  const auto q75 = CBaselineJpegCodec::ScaledLuminanceTable(75);
  EXPECT_EQ(q75[0], 8);  // (16 × 50 + 50) / 100
  EXPECT_EQ(q75[2], 5);  // (10 × 50 + 50) / 100
  const auto q10 = CBaselineJpegCodec::ScaledLuminanceTable(10);
  EXPECT_EQ(q10[0], 80);    // scale 500
  EXPECT_EQ(q10[63], 255);  // 495, limited to 8 bits
  const auto q100 = CBaselineJpegCodec::ScaledLuminanceTable(100);
  EXPECT_TRUE(std::all_of(q100.begin(), q100.end(), [](uint16_t v) { return v == 1; }));
}

TEST(BaselineJpegCodecHeader, ForeignTableGivesTheNearestQuality) {
  std::array<uint16_t, 64> table = CBaselineJpegCodec::ScaledLuminanceTable(60);
  table[5] += 3;
  table[40] -= 2;
  EXPECT_EQ(CBaselineJpegCodec::EstimateQuality(table), 60);
  table.fill(2);
  const int32_t estimate = CBaselineJpegCodec::EstimateQuality(table);
  EXPECT_GE(estimate, 90);
  EXPECT_LE(estimate, 100);
}

// ---- Layout of the bitmap ----

TEST(BaselineJpegCodecLayout, PaddingIsNeverReadOrWritten) {
  const uint32_t width = 510;
  const uint32_t height = 7;
  const uint32_t padding = 6;  // 2 pixels of 3 bytes
  const Change padded = [&](JpegRequest& request) { request.bitmapRowPadding = padding; };
  const Bytes jpeg = Encode(NaturalImage(width, height, 3), width, height, 3);
  for (const uint8_t padByte : {uint8_t{0x00}, uint8_t{0xFF}}) {
    EXPECT_EQ(Encode(NaturalImage(width, height, 3, padding, padByte), width, height, 3, 85, padded), jpeg);
  }

  const Bytes unpadded = Decoded(jpeg, width, height, 3);
  const size_t rowBytes = width * 3;
  const size_t pitch = rowBytes + padding;
  const Bytes bitmap = Decoded(jpeg, width, height, 3, padded, pitch * height, 0x5A);
  for (uint32_t y = 0; y < height; ++y) {
    const auto row = bitmap.begin() + static_cast<std::ptrdiff_t>(y * pitch);
    EXPECT_TRUE(std::equal(row, row + rowBytes, unpadded.begin() + y * rowBytes)) << "row " << y;
    EXPECT_TRUE(std::all_of(row + rowBytes, row + pitch, [](uint8_t b) { return b == 0x5A; })) << "row " << y;
  }
}

TEST(BaselineJpegCodecLayout, BottomUpRowsAreReadAndWrittenInReverse) {
  const Bytes image = NaturalImage(33, 19, 3);
  const Bytes jpeg = Encode(image, 33, 19, 3);
  const Change bottomUp = [](JpegRequest& request) { request.bitmapBottomUp = true; };
  EXPECT_EQ(Encode(FlipRows(image, 33 * 3), 33, 19, 3, 85, bottomUp), jpeg);
  EXPECT_EQ(FlipRows(Decoded(jpeg, 33, 19, 3, bottomUp), 33 * 3), Decoded(jpeg, 33, 19, 3));
}

TEST(BaselineJpegCodecLayout, BgrOrderSwapsRedAndBlue) {
  const Bytes rgb = NaturalImage(24, 16, 3);
  const Bytes jpeg = Encode(rgb, 24, 16, 3);
  const Change bgr = [](JpegRequest& request) { request.bitmapColourOrder = JpegColourOrder::Bgr; };
  EXPECT_EQ(Encode(SwapRedAndBlue(rgb), 24, 16, 3, 85, bgr), jpeg);
  EXPECT_EQ(SwapRedAndBlue(Decoded(jpeg, 24, 16, 3, bgr)), Decoded(jpeg, 24, 16, 3));
}

TEST(BaselineJpegCodecLayout, GreyJpegDecodesIntoThreeEqualChannels) {
  const Bytes jpeg = Encode(NaturalImage(16, 8, 1), 16, 8, 1);
  Bytes tripled;
  for (const uint8_t level : Decoded(jpeg, 16, 8, 1)) tripled.insert(tripled.end(), 3, level);
  EXPECT_EQ(Decoded(jpeg, 16, 8, 3), tripled);
}

// ---- Output that does not fit ----

TEST(BaselineJpegCodecOutput, TooSmallCapacityFailsWithoutWritingPastIt) {
  for (const uint32_t channels : {1u, 3u}) {
    SCOPED_TRACE(channels);
    const Bytes image = NaturalImage(64, 64, channels);
    const Bytes jpeg = Encode(image, 64, 64, channels);
    CBaselineJpegCodec codec;
    Bytes unused;
    for (const size_t capacity : {size_t{1}, size_t{100}, jpeg.size() / 2, jpeg.size() - 1}) {
      // An exact-size heap block: the sanitizer reports a single byte past it.
      auto exact = std::make_unique<uint8_t[]>(capacity);
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

// ---- Requests the codec refuses ----

TEST(BaselineJpegCodecRequest, UnusableEncodeRequestsAreRefused) {
  const Bytes image = NaturalImage(8, 8, 3);
  Bytes out(10000);
  CBaselineJpegCodec codec;
  auto expectInvalid = [&](auto change) {
    JpegRequest request = EncodeRequest(image, 8, 8, 3, out);
    change(request);
    EXPECT_EQ(codec.WriteImage(request), JpegStatus::InvalidRequest);
    EXPECT_FALSE(codec.LastError().empty());
  };
  expectInvalid([](JpegRequest& r) { r.bitmapIn = nullptr; });
  expectInvalid([](JpegRequest& r) { r.jpegOut = nullptr; });
  expectInvalid([](JpegRequest& r) { r.bitmapChannels = 2; });  // 16-bit grey handed over as two channels
  expectInvalid([](JpegRequest& r) { r.bitmapChannels = 4; });
  expectInvalid([](JpegRequest& r) { r.bitmapColourOrder = JpegColourOrder::Grey; });
  expectInvalid([](JpegRequest& r) {
    r.bitmapChannels = 1;
    r.bitmapColourOrder = JpegColourOrder::Bgr;
  });
  expectInvalid([](JpegRequest& r) { r.quality = 0; });
  expectInvalid([](JpegRequest& r) { r.quality = 101; });
  expectInvalid([](JpegRequest& r) { r.bitmapWidth = 0; });
  expectInvalid([](JpegRequest& r) { r.bitmapHeight = 0; });
  expectInvalid([](JpegRequest& r) { r.bitmapWidth = 70000; });
  expectInvalid([](JpegRequest& r) { r.bitmapRowPadding = 0xFFFFFFFF; });
}

TEST(BaselineJpegCodecRequest, UnusableDecodeRequestsAreRefused) {
  const Bytes jpeg = Encode(NaturalImage(8, 8, 3), 8, 8, 3);
  Bytes bitmap(8 * 8 * 3);
  CBaselineJpegCodec codec;
  auto expectInvalid = [&](auto change) {
    JpegRequest request = DecodeRequest(jpeg, bitmap, 8, 8, 3);
    change(request);
    EXPECT_EQ(codec.ReadImage(request), JpegStatus::InvalidRequest);
  };
  expectInvalid([](JpegRequest& r) { r.bitmapOut = nullptr; });
  expectInvalid([](JpegRequest& r) { r.bitmapChannels = 2; });
  expectInvalid([](JpegRequest& r) { r.jpegIn = nullptr; });
}

// ---- JPEG data the codec refuses ----

TEST(BaselineJpegCodecBadInput, ImageOfAnotherSizeIsRefusedBeforeDecoding) {
  const Bytes jpeg = Encode(NaturalImage(32, 32, 3), 32, 32, 3);
  CBaselineJpegCodec codec;
  // 16 × 16 is smaller than the image: no byte may be written past it.
  for (const auto& [width, height] : {std::pair{16u, 16u}, {31u, 32u}, {32u, 33u}, {64u, 64u}}) {
    EXPECT_EQ(Decode(codec, jpeg, width, height, 3), JpegStatus::SizeMismatch) << width << " × " << height;
  }
}

TEST(BaselineJpegCodecBadInput, BitmapBelowPitchTimesHeightIsRefused) {
  const Bytes jpeg = Encode(NaturalImage(32, 32, 3), 32, 32, 3);
  auto exact = std::make_unique<uint8_t[]>(32 * 32 * 3 - 1);
  Bytes unused;
  JpegRequest request = DecodeRequest(jpeg, unused, 32, 32, 3);
  request.bitmapOut = exact.get();
  request.bitmapCapacity = 32 * 32 * 3 - 1;
  request.bitmapColourOrder = JpegColourOrder::Bgr;
  CBaselineJpegCodec codec;
  EXPECT_EQ(codec.ReadImage(request), JpegStatus::BufferTooSmall);
  request.bitmapCapacity = 32 * 32 * 3 + 31;  // claims enough, but the padding makes it too little
  request.bitmapRowPadding = 1;
  EXPECT_EQ(codec.ReadImage(request), JpegStatus::BufferTooSmall);
}

TEST(BaselineJpegCodecBadInput, EmptyAndGarbageDataFail) {
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
}

TEST(BaselineJpegCodecBadInput, EveryTruncationFails) {
  const Bytes jpeg = Encode(NaturalImage(24, 16, 3), 24, 16, 3);
  CBaselineJpegCodec codec;
  for (size_t length = 0; length < jpeg.size(); ++length) {
    const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(length));
    ASSERT_NE(Decode(codec, cut, 24, 16, 3), JpegStatus::Success) << "cut at " << length;
  }
  EXPECT_EQ(Decode(codec, jpeg, 24, 16, 3), JpegStatus::Success) << "the handle survives the failures";
}

TEST(BaselineJpegCodecBadInput, DamagedScanIsAnErrorNotAWarning) {
  const Bytes jpeg = Encode(NaturalImage(64, 64, 1), 64, 64, 1);
  const size_t scan = FindMarker(jpeg, 0xDA);
  ASSERT_NE(scan, std::string::npos);
  Bytes damaged = jpeg;
  const size_t middle = scan + (jpeg.size() - scan) / 2;
  damaged[middle] = 0xFF;  // an end-of-image marker in the middle of the scan
  damaged[middle + 1] = 0xD9;
  CBaselineJpegCodec codec;
  EXPECT_EQ(Decode(codec, damaged, 64, 64, 1), JpegStatus::CorruptData);
  EXPECT_FALSE(codec.LastError().empty());
}

TEST(BaselineJpegCodecBadInput, FourComponentAndProgressiveImagesAreUnsupported) {
  const Bytes cmyk = TurboJpeg(NaturalImage(16, 16, 4), 16, 16, TJPF_CMYK, TJSAMP_444, 0);
  CBaselineJpegCodec codec;
  EXPECT_EQ(Decode(codec, cmyk, 16, 16, 3), JpegStatus::Unsupported);
  EXPECT_NE(codec.LastError().find("4 components"), std::string::npos) << codec.LastError();
  JpegRequest request;
  EXPECT_EQ(Header(cmyk, request), JpegStatus::Unsupported);

  const Bytes progressive = TurboJpeg(NaturalImage(16, 16, 3), 16, 16, TJPF_RGB, TJSAMP_422, TJFLAG_PROGRESSIVE);
  EXPECT_EQ(Decode(codec, progressive, 16, 16, 3), JpegStatus::Unsupported);
}

TEST(BaselineJpegCodecBadInput, OtherPrecisionOrProcessIsUnsupported) {
  const Bytes jpeg = Encode(NaturalImage(16, 16, 1), 16, 16, 1);
  const size_t frame = FindMarker(jpeg, 0xC0);
  ASSERT_NE(frame, std::string::npos);
  Bytes twelveBit = jpeg;
  twelveBit[frame + 4] = 12;
  CBaselineJpegCodec codec;
  EXPECT_EQ(Decode(codec, twelveBit, 16, 16, 1), JpegStatus::Unsupported);
  Bytes lossless = jpeg;
  lossless[frame + 1] = 0xC3;
  EXPECT_EQ(Decode(codec, lossless, 16, 16, 1), JpegStatus::Unsupported);
  Bytes extended = jpeg;
  extended[frame + 1] = 0xC1;  // extended sequential Huffman codes 8-bit data the same way
  EXPECT_EQ(Decode(codec, extended, 16, 16, 1), JpegStatus::Success) << codec.LastError();
}

TEST(BaselineJpegCodecBadInput, RandomDamageNeverEscapesTheBuffers) {
  const Bytes jpeg = Encode(NaturalImage(40, 24, 3), 40, 24, 3);
  std::mt19937 random(11);
  CBaselineJpegCodec codec;
  for (int round = 0; round < 300; ++round) {
    Bytes damaged = jpeg;
    for (int flips = 0; flips < 1 + round % 5; ++flips) {
      damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
    }
    (void)Decode(codec, damaged, 40, 24, 3);  // the sanitizers watch the buffers
    ASSERT_EQ(Decode(codec, jpeg, 40, 24, 3), JpegStatus::Success) << "round " << round;
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
  EXPECT_EQ(info.frameMarker, 0xC0);
  EXPECT_EQ(info.precision, 8u);
  EXPECT_EQ(info.width, 32u);
  EXPECT_EQ(info.height, 16u);
  EXPECT_EQ(info.components, 3u);
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
  JpegFrameInfo info;
  const auto table = CBaselineJpegCodec::ScaledLuminanceTable(50);
  // A segment claiming more bytes than remain.
  EXPECT_EQ(Scan(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x10, 0x00, 0x00}, info), JpegStatus::CorruptData);
  // A length below its own two bytes.
  EXPECT_EQ(Scan(Stream({Bytes{0xFF, 0xE0, 0x00, 0x01}}), info), JpegStatus::CorruptData);
  // Table 5, and a table cut short.
  Bytes badId = TableSegment(0, table);
  badId[4] = 0x05;
  EXPECT_EQ(Scan(Stream({badId, FrameSegment(0xC0, 1)}), info), JpegStatus::CorruptData);
  Bytes shortTable = TableSegment(0, table);
  shortTable[3] = 40;
  shortTable.resize(40 + 2);
  EXPECT_EQ(Scan(Stream({shortTable, FrameSegment(0xC0, 1)}), info), JpegStatus::CorruptData);
  // A frame header whose component count disagrees with its length.
  Bytes badFrame = FrameSegment(0xC0, 3);
  badFrame[9] = 4;
  EXPECT_EQ(Scan(Stream({badFrame}), info), JpegStatus::CorruptData);
  // A scan with no frame header, two frame headers, EOI before the scan.
  EXPECT_EQ(Scan(Stream({}), info), JpegStatus::CorruptData);
  EXPECT_EQ(Scan(Stream({FrameSegment(0xC0, 1), FrameSegment(0xC0, 1)}), info), JpegStatus::CorruptData);
  EXPECT_EQ(Scan(Bytes{0xFF, 0xD8, 0xFF, 0xD9}, info), JpegStatus::CorruptData);
  // Bytes between segments that are not a marker.
  EXPECT_EQ(Scan(Stream({Bytes{0x12, 0x34}, FrameSegment(0xC0, 1)}), info), JpegStatus::CorruptData);
  // Fill bytes before a marker are allowed.
  Bytes filled = FrameSegment(0xC0, 1);
  filled.insert(filled.begin(), {0xFF, 0xFF});
  EXPECT_EQ(Scan(Stream({filled}), info), JpegStatus::Success);
}
