// Our JPEG-LS and JPEG 2000 encoders through our decoders: lossless frames
// of every sample layout come back with the very values (a signed sample as
// a reader takes it with Pixel Representation 1), near-lossless ones within
// N, lossy JPEG 2000 ones close at about the size asked for; formats the
// syntaxes cannot hold are refused by name.
#include "pixel/FrameDecoderRegistry.h"
#include "pixel/Jpeg2000FrameEncoder.h"
#include "pixel/JpegLsFrameEncoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace quillon;

namespace {

enum class Codec { JpegLs, Jpeg2000 };

Result<std::unique_ptr<IFrameEncoder>> MakeEncoder(Codec codec, const NativeFrameFormat& format, double setting) {
  return codec == Codec::JpegLs ? CreateJpegLsFrameEncoder(format, static_cast<int32_t>(setting))
                                : CreateJpeg2000FrameEncoder(format, setting);
}

/// The value a reader takes from sample `i` of a native frame: its Bits
/// Stored bits, sign-extended when signed.
int32_t ValueAt(const std::vector<uint8_t>& frame, const NativeFrameFormat& format, uint64_t i) {
  const uint32_t bytes = format.BytesPerSample();
  uint32_t raw = frame[i * bytes];
  if (bytes == 2) raw |= uint32_t{frame[i * bytes + 1]} << 8;
  raw &= (1u << format.bitsStored) - 1;
  const uint32_t sign = format.signedSamples ? 1u << (format.bitsStored - 1) : 0;
  return static_cast<int32_t>(raw ^ sign) - static_cast<int32_t>(sign);
}

/// A frame like an image (smooth shading, edges, noise) spanning the whole
/// range of its values, with both extremes present unless `margin` keeps
/// the values that far inside them. Signed samples are stored
/// sign-extended over Bits Allocated, with the bits above Bits Stored of
/// unsigned ones set (overlay bits the encoders must drop).
std::vector<uint8_t> MakeFrame(const NativeFrameFormat& format, int32_t margin = 0) {
  const int64_t low = (format.signedSamples ? -(int64_t{1} << (format.bitsStored - 1)) : 0) + margin;
  const int64_t high = low - 2 * margin + (int64_t{1} << format.bitsStored) - 1;
  std::vector<uint8_t> frame(format.FrameSize());
  uint32_t state = 12345;
  for (uint64_t i = 0; i < format.SampleCount(); ++i) {
    const uint64_t pixel = i / format.samplesPerPixel, x = pixel % format.columns, y = pixel / format.columns;
    state = state * 1103515245u + 12345u;
    const double shade = 0.5 + 0.4 * std::sin(0.11 * double(x) + 0.07 * double(y) + double(i % format.samplesPerPixel));
    const double edge = (x / 8 + y / 8) % 2 == 0 ? 0.05 : -0.05;
    const double noise = (double((state >> 16) % 101) - 50) / 5000.0;
    int64_t value = low + std::llround((shade + edge + noise) * double(high - low));
    if (pixel == 0) value = low;
    if (pixel == 1) value = high;
    value = std::clamp(value, low, high);
    uint32_t stored = static_cast<uint32_t>(value);
    if (!format.signedSamples && format.bitsStored < format.bitsAllocated) stored |= 1u << format.bitsStored;
    frame[i * format.BytesPerSample()] = static_cast<uint8_t>(stored);
    if (format.bitsAllocated == 16) frame[i * 2 + 1] = static_cast<uint8_t>(stored >> 8);
  }
  return frame;
}

NativeFrameFormat Format(uint32_t samples, uint32_t allocated, uint32_t stored, bool isSigned,
                         uint32_t columns = 67, uint32_t rows = 45) {
  return {columns, rows, samples, allocated, stored, isSigned, samples == 3 ? "RGB" : "MONOCHROME2"};
}

/// `frame` encoded with `setting` and decoded back by our decoder of the
/// syntax the encoder names.
std::vector<uint8_t> RoundTrip(Codec codec, const NativeFrameFormat& format, double setting,
                               const std::vector<uint8_t>& frame, uint64_t* encodedSize = nullptr) {
  auto encoder = MakeEncoder(codec, format, setting);
  EXPECT_TRUE(encoder) << encoder.Message();
  if (!encoder) return {};
  std::vector<uint8_t> encoded;
  const Status done = (*encoder)->Encode(frame.data(), frame.size(), encoded);
  EXPECT_TRUE(done) << done.Message();
  if (encodedSize != nullptr) *encodedSize = encoded.size();
  NativeFrameFormat declared = format;
  declared.photometric = (*encoder)->Description().photometric;
  auto decoder = CreateFrameDecoder((*encoder)->Description().transferSyntax, declared);
  EXPECT_TRUE(decoder) << decoder.Message();
  if (!decoder) return {};
  EXPECT_EQ((*decoder)->OutputFormat().photometric, format.photometric);
  std::vector<uint8_t> decoded(format.FrameSize());
  const Status back = (*decoder)->Decode(encoded.data(), encoded.size(), decoded.data(), decoded.size());
  EXPECT_TRUE(back) << back.Message();
  return decoded;
}

/// The largest difference between the values of two frames.
int32_t LargestError(const NativeFrameFormat& format, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int32_t worst = 0;
  for (uint64_t i = 0; i < format.SampleCount(); ++i) {
    worst = std::max(worst, std::abs(ValueAt(a, format, i) - ValueAt(b, format, i)));
  }
  return worst;
}

struct LayoutCase {
  uint32_t samples, allocated, stored;
  bool isSigned;
};

constexpr LayoutCase kLayouts[] = {
    {1, 8, 8, false},  {3, 8, 8, false},   {1, 16, 12, false}, {3, 16, 12, false}, {1, 16, 12, true},
    {3, 16, 12, true}, {1, 16, 16, false}, {3, 16, 16, false}, {1, 16, 16, true},  {3, 16, 16, true},
    {1, 8, 6, false},  {1, 16, 9, true},
};

class FrameEncoderRoundTripTest : public ::testing::TestWithParam<std::tuple<Codec, LayoutCase>> {};

TEST_P(FrameEncoderRoundTripTest, LosslessGivesBackEveryValue) {
  const auto [codec, layout] = GetParam();
  const NativeFrameFormat format = Format(layout.samples, layout.allocated, layout.stored, layout.isSigned);
  const std::vector<uint8_t> frame = MakeFrame(format);
  const std::vector<uint8_t> decoded = RoundTrip(codec, format, 0, frame);
  ASSERT_EQ(decoded.size(), frame.size());
  EXPECT_EQ(LargestError(format, frame, decoded), 0);
}

TEST_P(FrameEncoderRoundTripTest, NearLosslessAndLossyStayClose) {
  const auto [codec, layout] = GetParam();
  const NativeFrameFormat format = Format(layout.samples, layout.allocated, layout.stored, layout.isSigned);
  if (codec == Codec::JpegLs) {
    const int32_t near = layout.stored >= 8 ? 3 : 1;
    const std::vector<uint8_t> frame = MakeFrame(format, near);
    const std::vector<uint8_t> decoded = RoundTrip(codec, format, near, frame);
    ASSERT_EQ(decoded.size(), frame.size());
    const int32_t worst = LargestError(format, frame, decoded);
    EXPECT_LE(worst, near);
    EXPECT_GT(worst, 0) << "near-lossless coding gave back every value";
    return;
  }
  constexpr double kRatio = 8;
  const std::vector<uint8_t> frame = MakeFrame(format);
  uint64_t size = 0;
  const std::vector<uint8_t> decoded = RoundTrip(codec, format, kRatio, frame, &size);
  ASSERT_EQ(decoded.size(), frame.size());
  // The rate is kept (to the headers' few hundred bytes), and the error is
  // a few percent of the range at most, on average far less.
  EXPECT_LE(double(size), double(format.SampleCount()) * format.bitsStored / 8 / kRatio + 400);
  double squares = 0;
  for (uint64_t i = 0; i < format.SampleCount(); ++i) {
    squares += std::pow(ValueAt(frame, format, i) - ValueAt(decoded, format, i), 2);
  }
  const double range = std::ldexp(1.0, int(format.bitsStored));
  EXPECT_LT(std::sqrt(squares / double(format.SampleCount())), 0.03 * range);
  EXPECT_GT(LargestError(format, frame, decoded), 0) << "lossy coding gave back every value";
}

INSTANTIATE_TEST_SUITE_P(Layouts, FrameEncoderRoundTripTest,
                         ::testing::Combine(::testing::Values(Codec::JpegLs, Codec::Jpeg2000),
                                            ::testing::ValuesIn(kLayouts)));

TEST(FrameEncoderTest, SmallAndOddSizedImagesRoundTrip) {
  for (const Codec codec : {Codec::JpegLs, Codec::Jpeg2000}) {
    for (const auto& [columns, rows] : {std::pair{1u, 1u}, {1u, 300u}, {3u, 2u}, {640u, 3u}}) {
      const NativeFrameFormat format = Format(1, 16, 16, true, columns, rows);
      const std::vector<uint8_t> frame = MakeFrame(format);
      EXPECT_EQ(LargestError(format, frame, RoundTrip(codec, format, 0, frame)), 0)
          << columns << "x" << rows << (codec == Codec::JpegLs ? " JPEG-LS" : " JPEG 2000");
    }
  }
}

TEST(FrameEncoderTest, DescriptionsNameSyntaxAndColour) {
  struct Case {
    Codec codec;
    uint32_t samples;
    double setting;
    const char* syntax;
    const char* photometric;
    const char* method;
  };
  for (const Case& c : {Case{Codec::JpegLs, 1, 0, "1.2.840.10008.1.2.4.80", "MONOCHROME2", ""},
                        Case{Codec::JpegLs, 3, 2, "1.2.840.10008.1.2.4.81", "RGB", "ISO_14495_1"},
                        Case{Codec::Jpeg2000, 3, 0, "1.2.840.10008.1.2.4.90", "YBR_RCT", ""},
                        Case{Codec::Jpeg2000, 3, 10, "1.2.840.10008.1.2.4.91", "YBR_ICT", "ISO_15444_1"},
                        Case{Codec::Jpeg2000, 1, 5, "1.2.840.10008.1.2.4.91", "MONOCHROME2", "ISO_15444_1"}}) {
    auto encoder = MakeEncoder(c.codec, Format(c.samples, 8, 8, false), c.setting);
    ASSERT_TRUE(encoder) << encoder.Message();
    const EncodedImageDescription& d = (*encoder)->Description();
    EXPECT_EQ(d.transferSyntax, c.syntax);
    EXPECT_EQ(d.photometric, c.photometric);
    EXPECT_EQ(d.lossy, c.setting != 0);
    EXPECT_EQ(d.lossyMethod, c.method);
  }
}

TEST(FrameEncoderTest, RefusesWhatTheSyntaxCannotHold) {
  struct Case {
    Codec codec;
    NativeFrameFormat format;
    double setting;
    const char* says;
  };
  NativeFrameFormat palette = Format(1, 8, 8, false);
  palette.photometric = "PALETTE COLOR";
  NativeFrameFormat subsampled = Format(3, 8, 8, false);
  subsampled.photometric = "YBR_FULL_422";
  const Case cases[] = {
      {Codec::JpegLs, Format(1, 16, 1, false), 0, "2 to 16 bits stored"},
      {Codec::JpegLs, Format(1, 32, 20, false), 0, "8 or 16 bits allocated"},
      {Codec::JpegLs, Format(2, 8, 8, false), 0, "1 or 3 samples"},
      {Codec::JpegLs, palette, 2, "near-lossless"},
      {Codec::JpegLs, subsampled, 0, "YBR_FULL_422"},
      {Codec::JpegLs, Format(1, 8, 8, false), 128, "allow 0 to 127"},
      {Codec::JpegLs, Format(1, 8, 8, false), -1, "allow 0 to 127"},
      {Codec::JpegLs, Format(1, 8, 8, false, 70000, 1), 0, "65535"},
      {Codec::Jpeg2000, Format(1, 32, 24, false), 0, "8 or 16 bits allocated"},
      {Codec::Jpeg2000, Format(1, 8, 9, false), 0, "no more than are allocated"},
      {Codec::Jpeg2000, palette, 10, "lossy"},
      {Codec::Jpeg2000, subsampled, 0, "YBR_FULL_422"},
      {Codec::Jpeg2000, Format(1, 8, 8, false), 0.5, "ratio above 1"},
      {Codec::Jpeg2000, Format(1, 8, 8, false), NAN, "ratio above 1"},
  };
  for (const Case& c : cases) {
    auto encoder = MakeEncoder(c.codec, c.format, c.setting);
    ASSERT_FALSE(encoder) << c.says;
    EXPECT_EQ(encoder.GetError().Code(), ErrorCode::WrongKind);
    EXPECT_NE(encoder.Message().find(c.says), std::string::npos) << encoder.Message();
  }
}

TEST(FrameEncoderTest, RefusesShortFramesAndSignedNearLosslessAtTheSeam) {
  const NativeFrameFormat format = Format(1, 16, 12, true);
  for (const Codec codec : {Codec::JpegLs, Codec::Jpeg2000}) {
    auto encoder = MakeEncoder(codec, format, 0);
    ASSERT_TRUE(encoder);
    const std::vector<uint8_t> frame = MakeFrame(format);
    std::vector<uint8_t> encoded;
    EXPECT_FALSE((*encoder)->Encode(frame.data(), frame.size() - 1, encoded));
  }
  // The full range reaches within 2 of the largest value: refused at N = 2.
  auto encoder = CreateJpegLsFrameEncoder(format, 2);
  ASSERT_TRUE(encoder);
  const std::vector<uint8_t> frame = MakeFrame(format);
  std::vector<uint8_t> encoded;
  const Status done = (*encoder)->Encode(frame.data(), frame.size(), encoded);
  ASSERT_FALSE(done);
  EXPECT_NE(done.Message().find("sign flipped"), std::string::npos) << done.Message();
}

}  // namespace
