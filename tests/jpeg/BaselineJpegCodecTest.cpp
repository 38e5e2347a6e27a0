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
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace quillon;

namespace {

using Bytes = std::vector<uint8_t>;

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

// Peak signal-to-noise ratio over the pixels of two images of the same
// layout, padding excluded.
double Psnr(const Bytes& a, const Bytes& b, uint32_t width, uint32_t height, uint32_t channels,
            uint32_t padding = 0) {
  const size_t rowBytes = size_t{width} * channels;
  return test::Psnr8(a.data(), b.data(), rowBytes, height, rowBytes + padding);
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
Bytes Encode(const Bytes& image, uint32_t width, uint32_t height, uint32_t channels, int32_t quality = 85) {
  Bytes out(image.size() * 2 + 4096);
  JpegRequest request = EncodeRequest(image, width, height, channels, out, quality);
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

JpegStatus Decode(CBaselineJpegCodec& codec, const Bytes& jpeg, uint32_t width, uint32_t height, uint32_t channels,
                  Bytes& bitmap) {
  bitmap.assign(size_t{width} * height * channels, 0);
  JpegRequest request = DecodeRequest(jpeg, bitmap, width, height, channels);
  return codec.ReadImage(request);
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

TEST(BaselineJpegCodecRoundTrip, GreyImageOfOddSizeIsFaithfulAtQuality85) {
  const Bytes image = NaturalImage(97, 61, 1);
  const Bytes jpeg = Encode(image, 97, 61, 1);
  ASSERT_GT(jpeg.size(), 100u);
  CBaselineJpegCodec codec;
  Bytes decoded;
  ASSERT_EQ(Decode(codec, jpeg, 97, 61, 1, decoded), JpegStatus::Success) << codec.LastError();
  EXPECT_GE(Psnr(image, decoded, 97, 61, 1), 35.0);
}

TEST(BaselineJpegCodecRoundTrip, ColourImageIsFaithfulAtQuality85) {
  const Bytes image = NaturalImage(133, 90, 3);
  const Bytes jpeg = Encode(image, 133, 90, 3);
  CBaselineJpegCodec codec;
  Bytes decoded;
  ASSERT_EQ(Decode(codec, jpeg, 133, 90, 3, decoded), JpegStatus::Success) << codec.LastError();
  EXPECT_GE(Psnr(image, decoded, 133, 90, 3), 35.0);
}

TEST(BaselineJpegCodecRoundTrip, WriteReportsTheImageParameters) {
  const Bytes image = NaturalImage(40, 30, 3);
  Bytes out(20000);
  JpegRequest request = EncodeRequest(image, 40, 30, 3, out, 70);
  CBaselineJpegCodec codec;
  ASSERT_EQ(codec.WriteImage(request), JpegStatus::Success);
  EXPECT_EQ(request.jpegWidth, 40u);
  EXPECT_EQ(request.jpegHeight, 30u);
  EXPECT_EQ(request.jpegChannels, 3u);
  EXPECT_EQ(request.jpegColourSpace, JpegColourSpace::YCbCr);
  EXPECT_EQ(request.jpegSubsampling, JpegSubsampling::S422);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0xD8);
  EXPECT_EQ(out[request.jpegOutLength - 2], 0xFF);
  EXPECT_EQ(out[request.jpegOutLength - 1], 0xD9);
}

TEST(BaselineJpegCodecHeader, ColourIsBaselineYCbCr422AndGreyIsOneComponent) {
  JpegRequest request;
  const Bytes colour = Encode(NaturalImage(50, 20, 3), 50, 20, 3);
  ASSERT_EQ(Header(colour, request), JpegStatus::Success);
  EXPECT_EQ(request.jpegWidth, 50u);
  EXPECT_EQ(request.jpegHeight, 20u);
  EXPECT_EQ(request.jpegChannels, 3u);
  EXPECT_EQ(request.jpegColourSpace, JpegColourSpace::YCbCr);
  EXPECT_EQ(request.jpegSubsampling, JpegSubsampling::S422);
  EXPECT_NE(FindMarker(colour, 0xC0), std::string::npos) << "the frame header is SOF0, baseline";
  EXPECT_EQ(FindMarker(colour, 0xC2), std::string::npos);

  const Bytes grey = Encode(NaturalImage(21, 22, 1), 21, 22, 1);
  ASSERT_EQ(Header(grey, request), JpegStatus::Success);
  EXPECT_EQ(request.jpegWidth, 21u);
  EXPECT_EQ(request.jpegHeight, 22u);
  EXPECT_EQ(request.jpegChannels, 1u);
  EXPECT_EQ(request.jpegColourSpace, JpegColourSpace::Grey);
  EXPECT_EQ(request.jpegSubsampling, JpegSubsampling::None);
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
  EXPECT_EQ(q75[0], 8);    // (16 × 50 + 50) / 100
  EXPECT_EQ(q75[2], 5);    // (10 × 50 + 50) / 100
  const auto q10 = CBaselineJpegCodec::ScaledLuminanceTable(10);
  EXPECT_EQ(q10[0], 80);   // scale 500
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
  const Bytes plain = NaturalImage(width, height, 3);
  const Bytes paddedA = NaturalImage(width, height, 3, padding, 0x00);
  const Bytes paddedB = NaturalImage(width, height, 3, padding, 0xFF);

  CBaselineJpegCodec codec;
  auto encode = [&](const Bytes& image, uint32_t pad) {
    Bytes out(200000);
    JpegRequest request = EncodeRequest(image, width, height, 3, out);
    request.bitmapRowPadding = pad;
    EXPECT_EQ(codec.WriteImage(request), JpegStatus::Success) << codec.LastError();
    out.resize(request.jpegOutLength);
    return out;
  };
  const Bytes jpeg = encode(plain, 0);
  EXPECT_EQ(encode(paddedA, padding), jpeg);
  EXPECT_EQ(encode(paddedB, padding), jpeg);

  Bytes unpadded;
  ASSERT_EQ(Decode(codec, jpeg, width, height, 3, unpadded), JpegStatus::Success);
  const size_t pitch = width * 3 + padding;
  Bytes padded(pitch * height, 0x5A);
  JpegRequest request = DecodeRequest(jpeg, padded, width, height, 3);
  request.bitmapRowPadding = padding;
  ASSERT_EQ(codec.ReadImage(request), JpegStatus::Success) << codec.LastError();
  for (uint32_t y = 0; y < height; ++y) {
    EXPECT_TRUE(std::equal(unpadded.begin() + y * width * 3, unpadded.begin() + (y + 1) * width * 3,
                           padded.begin() + static_cast<std::ptrdiff_t>(y * pitch)))
        << "row " << y;
    for (size_t i = width * 3; i < pitch; ++i) ASSERT_EQ(padded[y * pitch + i], 0x5A) << "row " << y;
  }
}

TEST(BaselineJpegCodecLayout, BottomUpRowsAreReadAndWrittenInReverse) {
  const uint32_t width = 33;
  const uint32_t height = 19;
  const Bytes image = NaturalImage(width, height, 3);
  Bytes reversed(image.size());
  for (uint32_t y = 0; y < height; ++y) {
    std::copy_n(image.begin() + y * width * 3, width * 3, reversed.begin() + (height - 1 - y) * width * 3);
  }
  const Bytes jpeg = Encode(image, width, height, 3);
  Bytes out(20000);
  JpegRequest request = EncodeRequest(reversed, width, height, 3, out);
  request.bitmapBottomUp = true;
  CBaselineJpegCodec codec;
  ASSERT_EQ(codec.WriteImage(request), JpegStatus::Success);
  out.resize(request.jpegOutLength);
  EXPECT_EQ(out, jpeg);

  Bytes topDown;
  ASSERT_EQ(Decode(codec, jpeg, width, height, 3, topDown), JpegStatus::Success);
  Bytes bottomUp(topDown.size());
  JpegRequest decode = DecodeRequest(jpeg, bottomUp, width, height, 3);
  decode.bitmapBottomUp = true;
  ASSERT_EQ(codec.ReadImage(decode), JpegStatus::Success);
  for (uint32_t y = 0; y < height; ++y) {
    EXPECT_TRUE(std::equal(topDown.begin() + y * width * 3, topDown.begin() + (y + 1) * width * 3,
                           bottomUp.begin() + (height - 1 - y) * width * 3));
  }
}

TEST(BaselineJpegCodecLayout, BgrOrderSwapsRedAndBlue) {
  const uint32_t width = 24;
  const uint32_t height = 16;
  const Bytes rgb = NaturalImage(width, height, 3);
  Bytes bgr = rgb;
  for (size_t i = 0; i < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);
  const Bytes jpeg = Encode(rgb, width, height, 3);

  CBaselineJpegCodec codec;
  Bytes out(20000);
  JpegRequest request = EncodeRequest(bgr, width, height, 3, out);
  request.bitmapColourOrder = JpegColourOrder::Bgr;
  ASSERT_EQ(codec.WriteImage(request), JpegStatus::Success);
  out.resize(request.jpegOutLength);
  EXPECT_EQ(out, jpeg);

  Bytes decodedRgb;
  ASSERT_EQ(Decode(codec, jpeg, width, height, 3, decodedRgb), JpegStatus::Success);
  Bytes decodedBgr(decodedRgb.size());
  JpegRequest decode = DecodeRequest(jpeg, decodedBgr, width, height, 3);
  decode.bitmapColourOrder = JpegColourOrder::Bgr;
  ASSERT_EQ(codec.ReadImage(decode), JpegStatus::Success);
  for (size_t i = 0; i < decodedRgb.size(); i += 3) {
    ASSERT_EQ(decodedBgr[i], decodedRgb[i + 2]);
    ASSERT_EQ(decodedBgr[i + 1], decodedRgb[i + 1]);
    ASSERT_EQ(decodedBgr[i + 2], decodedRgb[i]);
  }
}

TEST(BaselineJpegCodecLayout, GreyJpegDecodesIntoThreeEqualChannels) {
  const Bytes image = NaturalImage(16, 8, 1);
  const Bytes jpeg = Encode(image, 16, 8, 1);
  CBaselineJpegCodec codec;
  Bytes grey;
  Bytes colour;
  ASSERT_EQ(Decode(codec, jpeg, 16, 8, 1, grey), JpegStatus::Success);
  ASSERT_EQ(Decode(codec, jpeg, 16, 8, 3, colour), JpegStatus::Success);
  for (size_t i = 0; i < grey.size(); ++i) {
    ASSERT_EQ(colour[3 * i], grey[i]);
    ASSERT_EQ(colour[3 * i + 1], grey[i]);
    ASSERT_EQ(colour[3 * i + 2], grey[i]);
  }
}

// ---- Output that does not fit ----

TEST(BaselineJpegCodecOutput, TooSmallCapacityFailsWithoutWritingPastIt) {
  const uint32_t width = 64;
  const uint32_t height = 64;
  const Bytes image = NaturalImage(width, height, 3);
  const Bytes jpeg = Encode(image, width, height, 3);
  CBaselineJpegCodec codec;
  for (const size_t capacity : {size_t{1}, size_t{100}, jpeg.size() / 2, jpeg.size() - 1}) {
    // An exact-size heap block: the sanitizer reports a single byte past it.
    auto exact = std::make_unique<uint8_t[]>(capacity);
    Bytes unused;
    JpegRequest request = EncodeRequest(image, width, height, 3, unused);
    request.jpegOut = exact.get();
    request.jpegOutCapacity = capacity;
    EXPECT_EQ(codec.WriteImage(request), JpegStatus::BufferTooSmall) << capacity;
    EXPECT_EQ(request.jpegOutLength, 0u);
    EXPECT_FALSE(codec.LastError().empty());
  }
  // Exactly enough goes through the scratch buffer and gives the same bytes
  // as a large buffer written directly.
  Bytes exact(jpeg.size());
  JpegRequest request = EncodeRequest(image, width, height, 3, exact);
  ASSERT_EQ(codec.WriteImage(request), JpegStatus::Success) << codec.LastError();
  EXPECT_EQ(exact, jpeg);
}

TEST(BaselineJpegCodecOutput, GuardBytesAfterTheCapacityStayUntouched) {
  const Bytes image = NaturalImage(48, 40, 1);
  const Bytes jpeg = Encode(image, 48, 40, 1);
  Bytes out(jpeg.size() + 64, 0xEE);
  JpegRequest request = EncodeRequest(image, 48, 40, 1, out);
  request.jpegOutCapacity = jpeg.size() - 10;
  CBaselineJpegCodec codec;
  EXPECT_EQ(codec.WriteImage(request), JpegStatus::BufferTooSmall);
  EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(request.jpegOutCapacity), out.end(),
                          [](uint8_t b) { return b == 0xEE; }));
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
  JpegRequest request = DecodeRequest(jpeg, bitmap, 8, 8, 3);
  request.bitmapOut = nullptr;
  EXPECT_EQ(codec.ReadImage(request), JpegStatus::InvalidRequest);
  request = DecodeRequest(jpeg, bitmap, 8, 8, 3);
  request.bitmapChannels = 2;
  EXPECT_EQ(codec.ReadImage(request), JpegStatus::InvalidRequest);
  request = DecodeRequest(jpeg, bitmap, 8, 8, 3);
  request.jpegIn = nullptr;
  EXPECT_EQ(codec.ReadImage(request), JpegStatus::InvalidRequest);
}

// ---- JPEG data the codec refuses ----

TEST(BaselineJpegCodecBadInput, ImageOfAnotherSizeIsRefusedBeforeDecoding) {
  const Bytes jpeg = Encode(NaturalImage(32, 32, 3), 32, 32, 3);
  CBaselineJpegCodec codec;
  Bytes bitmap;
  EXPECT_EQ(Decode(codec, jpeg, 16, 16, 3, bitmap), JpegStatus::SizeMismatch);  // larger than the bitmap
  EXPECT_EQ(Decode(codec, jpeg, 31, 32, 3, bitmap), JpegStatus::SizeMismatch);
  EXPECT_EQ(Decode(codec, jpeg, 32, 33, 3, bitmap), JpegStatus::SizeMismatch);
  EXPECT_EQ(Decode(codec, jpeg, 64, 64, 3, bitmap), JpegStatus::SizeMismatch);
}

TEST(BaselineJpegCodecBadInput, BitmapBelowPitchTimesHeightIsRefused) {
  const Bytes jpeg = Encode(NaturalImage(32, 32, 3), 32, 32, 3);
  auto exact = std::make_unique<uint8_t[]>(32 * 32 * 3 - 1);
  JpegRequest request;
  request.jpegIn = jpeg.data();
  request.jpegInLength = jpeg.size();
  request.bitmapOut = exact.get();
  request.bitmapCapacity = 32 * 32 * 3 - 1;
  request.bitmapWidth = 32;
  request.bitmapHeight = 32;
  request.bitmapChannels = 3;
  request.bitmapColourOrder = JpegColourOrder::Bgr;
  CBaselineJpegCodec codec;
  EXPECT_EQ(codec.ReadImage(request), JpegStatus::BufferTooSmall);
  request.bitmapCapacity = 32 * 32 * 3 + 31;  // claims enough, but the padding makes it too little
  request.bitmapRowPadding = 1;
  EXPECT_EQ(codec.ReadImage(request), JpegStatus::BufferTooSmall);
}

TEST(BaselineJpegCodecBadInput, EmptyAndGarbageDataFail) {
  CBaselineJpegCodec codec;
  Bytes bitmap;
  EXPECT_EQ(Decode(codec, Bytes{}, 8, 8, 1, bitmap), JpegStatus::CorruptData);
  EXPECT_EQ(Decode(codec, Bytes{0xFF, 0xD8}, 8, 8, 1, bitmap), JpegStatus::CorruptData);
  EXPECT_EQ(Decode(codec, Bytes(1000, 0x00), 8, 8, 1, bitmap), JpegStatus::CorruptData);
  std::mt19937 random(7);
  Bytes garbage(4096);
  for (uint8_t& b : garbage) b = static_cast<uint8_t>(random());
  EXPECT_EQ(Decode(codec, garbage, 8, 8, 1, bitmap), JpegStatus::CorruptData);
  garbage[0] = 0xFF;
  garbage[1] = 0xD8;
  EXPECT_NE(Decode(codec, garbage, 8, 8, 1, bitmap), JpegStatus::Success);
  JpegRequest request;
  EXPECT_EQ(Header(Bytes{}, request), JpegStatus::CorruptData);
}

TEST(BaselineJpegCodecBadInput, EveryTruncationFails) {
  const Bytes jpeg = Encode(NaturalImage(24, 16, 3), 24, 16, 3);
  CBaselineJpegCodec codec;
  Bytes bitmap;
  for (size_t length = 0; length < jpeg.size(); ++length) {
    const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(length));
    ASSERT_NE(Decode(codec, cut, 24, 16, 3, bitmap), JpegStatus::Success) << "cut at " << length;
  }
  EXPECT_EQ(Decode(codec, jpeg, 24, 16, 3, bitmap), JpegStatus::Success) << "the handle survives the failures";
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
  Bytes bitmap;
  EXPECT_EQ(Decode(codec, damaged, 64, 64, 1, bitmap), JpegStatus::CorruptData);
  EXPECT_FALSE(codec.LastError().empty());
}

TEST(BaselineJpegCodecBadInput, FourComponentImageIsUnsupported) {
  const Bytes cmyk = NaturalImage(16, 16, 4);
  const Bytes jpeg = TurboJpeg(cmyk, 16, 16, TJPF_CMYK, TJSAMP_444, 0);
  CBaselineJpegCodec codec;
  Bytes bitmap;
  EXPECT_EQ(Decode(codec, jpeg, 16, 16, 3, bitmap), JpegStatus::Unsupported);
  EXPECT_NE(codec.LastError().find("4 components"), std::string::npos) << codec.LastError();
  JpegRequest request;
  EXPECT_EQ(Header(jpeg, request), JpegStatus::Unsupported);
}

TEST(BaselineJpegCodecBadInput, ProgressiveImageIsUnsupported) {
  const Bytes image = NaturalImage(16, 16, 3);
  const Bytes jpeg = TurboJpeg(image, 16, 16, TJPF_RGB, TJSAMP_422, TJFLAG_PROGRESSIVE);
  CBaselineJpegCodec codec;
  Bytes bitmap;
  EXPECT_EQ(Decode(codec, jpeg, 16, 16, 3, bitmap), JpegStatus::Unsupported);
}

TEST(BaselineJpegCodecBadInput, OtherPrecisionOrProcessIsUnsupported) {
  const Bytes jpeg = Encode(NaturalImage(16, 16, 1), 16, 16, 1);
  const size_t frame = FindMarker(jpeg, 0xC0);
  ASSERT_NE(frame, std::string::npos);
  Bytes twelveBit = jpeg;
  twelveBit[frame + 4] = 12;
  CBaselineJpegCodec codec;
  Bytes bitmap;
  EXPECT_EQ(Decode(codec, twelveBit, 16, 16, 1, bitmap), JpegStatus::Unsupported);
  Bytes lossless = jpeg;
  lossless[frame + 1] = 0xC3;
  EXPECT_EQ(Decode(codec, lossless, 16, 16, 1, bitmap), JpegStatus::Unsupported);
  Bytes extended = jpeg;
  extended[frame + 1] = 0xC1;  // extended sequential Huffman codes 8-bit data the same way
  EXPECT_EQ(Decode(codec, extended, 16, 16, 1, bitmap), JpegStatus::Success) << codec.LastError();
}

TEST(BaselineJpegCodecBadInput, RandomDamageNeverEscapesTheBuffers) {
  const Bytes jpeg = Encode(NaturalImage(40, 24, 3), 40, 24, 3);
  std::mt19937 random(11);
  CBaselineJpegCodec codec;
  Bytes bitmap;
  for (int round = 0; round < 300; ++round) {
    Bytes damaged = jpeg;
    for (int flips = 0; flips < 1 + round % 5; ++flips) {
      damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
    }
    (void)Decode(codec, damaged, 40, 24, 3, bitmap);  // the sanitizers watch the buffers
    ASSERT_EQ(Decode(codec, jpeg, 40, 24, 3, bitmap), JpegStatus::Success) << "round " << round;
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
  ASSERT_EQ(Decode(codec, jpeg, 40, 24, 3, reference), JpegStatus::Success);
  JpegRequest request;
  request.jpegIn = bogus.data();
  request.jpegInLength = bogus.size();
  EXPECT_EQ(codec.ReadHeader(request), JpegStatus::CorruptData);
  Bytes bitmap;
  EXPECT_EQ(Decode(codec, bogus, 40, 24, 3, bitmap), JpegStatus::CorruptData);
  ASSERT_EQ(Decode(codec, jpeg, 40, 24, 3, bitmap), JpegStatus::Success) << codec.LastError();
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
