// The frame encoders: lossless JPEG codes every difference category so that
// our decoder gives the samples back, and the registry refuses what a syntax
// cannot hold. Round trips of every depth, through our decoders and the
// peers': EncodedConversionTest.cpp.
#include "jpeg/LosslessJpegDecoder.h"
#include "jpeg/LosslessJpegEncoder.h"
#include "pixel/FrameEncoderRegistry.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(FrameEncoder, LosslessJpegCodesEveryDifferenceCategory) {
  // 0 and 32768 side by side give the difference 32768 (category 16, no
  // extra bits); 65535 after 0 wraps to −1; a constant image has only
  // category 0. Widths of 1 leave every line's first sample predicted from
  // above.
  const std::vector<std::vector<uint16_t>> images = {
      {0, 32768, 0, 65535, 1, 32769, 65535, 0}, {7, 7, 7, 7, 7, 7, 7, 7}, {3, 0, 2, 1, 3, 3, 0, 0}};
  for (const auto& samples : images) {
    for (const uint32_t width : {8u, 4u, 1u}) {
      const uint32_t precision = samples[0] == 3 ? 2 : 16;
      std::vector<uint8_t> jpeg;
      ASSERT_TRUE(CLosslessJpegEncoder::Encode(
          {.samples = samples.data(), .width = width, .height = 8 / width, .components = 1, .precision = precision},
          jpeg));
      std::vector<uint16_t> decoded(samples.size());
      ASSERT_TRUE(CLosslessJpegDecoder::Decode(jpeg.data(), jpeg.size(), {.words = decoded.data(), .capacity = 8}));
      EXPECT_EQ(decoded, samples) << "width " << width << ", precision " << precision;
    }
  }
}

TEST(FrameEncoder, RefusesWhatTheSyntaxCannotHold) {
  struct Case {
    ConversionMode mode;
    NativeFrameFormat format;
    FrameEncoderOptions options;
    const char* message;
  };
  const std::vector<Case> cases = {
      {ConversionMode::JpegLossless, {4, 4, 1, 32, 32, false, "MONOCHROME2"}, {}, "8 or 16 bits allocated"},
      {ConversionMode::JpegLossless, {4, 4, 4, 8, 8, false, "CMYK"}, {}, "1 or 3 samples"},
      {ConversionMode::Rle, {4, 4, 1, 12, 12, false, "MONOCHROME2"}, {}, "8, 16 or 32 bits"},
      {ConversionMode::Rle, {0, 4, 1, 8, 8, false, "MONOCHROME2"}, {}, "empty image"},
      {ConversionMode::JpegLs, {4, 4, 1, 8, 8, false, "MONOCHROME2"}, {.nearLossless = 256}, "outside 0 to 255"},
      {ConversionMode::Jpeg2000, {4, 4, 1, 8, 8, false, "MONOCHROME2"}, {.compressionRatio = 0.5}, "above 1"},
      {ConversionMode::JpegLossy, {4, 4, 1, 8, 8, false, "MONOCHROME2"}, {}, "no encoder of native frames"},
  };
  for (const Case& c : cases) {
    auto encoder = CreateFrameEncoder(c.mode, c.format, c.options);
    ASSERT_FALSE(encoder);
    EXPECT_EQ(encoder.GetError().Code(), ErrorCode::WrongKind);
    EXPECT_NE(encoder.Message().find(c.message), std::string::npos) << encoder.Message();
  }
  // A frame of another size than the format's is refused, not read past.
  auto rle = CreateFrameEncoder(ConversionMode::Rle, {4, 4, 1, 16, 16, false, "MONOCHROME2"});
  ASSERT_TRUE(rle);
  std::vector<uint8_t> encoded;
  const std::vector<uint8_t> shortFrame(31);
  EXPECT_FALSE((*rle)->Encode(shortFrame.data(), shortFrame.size(), encoded));
}

}  // namespace
}  // namespace quillon
