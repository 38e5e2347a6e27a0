// Our JPEG-LS and JPEG 2000 encoders through our decoders: lossless frames
// of every sample layout come back with the very values (signed ones as a
// reader takes them with Pixel Representation 1), near-lossless ones within
// N, lossy JPEG 2000 ones close at about the size asked for; formats the
// syntaxes cannot hold are refused by name.
#include "pixel/FrameDecoderRegistry.h"
#include "pixel/Jpeg2000FrameEncoder.h"
#include "pixel/JpegLsFrameEncoder.h"
#include "support/EncapsulatedFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace quillon;

namespace {

Result<std::unique_ptr<IFrameEncoder>> MakeEncoder(bool jpegLs, const NativeFrameFormat& format, double setting) {
  return jpegLs ? CreateJpegLsFrameEncoder(format, static_cast<int32_t>(setting))
                : CreateJpeg2000FrameEncoder(format, setting);
}

NativeFrameFormat Format(uint32_t samples, uint32_t allocated, uint32_t stored, bool isSigned, uint32_t columns = 67,
                         uint32_t rows = 45) {
  return {columns, rows, samples, allocated, stored, isSigned, samples == 3 ? "RGB" : "MONOCHROME2"};
}

/// A frame like an image (shading, edges, noise) over the whole range of
/// its values, both extremes present unless `margin` keeps the values that
/// far inside. Signed samples are stored sign-extended; unsigned ones with
/// an overlay bit above Bits Stored, which the encoders must drop.
std::vector<uint8_t> MakeFrame(const NativeFrameFormat& f, int64_t margin = 0) {
  const int64_t low = (f.signedSamples ? -(int64_t{1} << (f.bitsStored - 1)) : 0) + margin;
  const int64_t high = low - 2 * margin + (int64_t{1} << f.bitsStored) - 1;
  std::vector<uint8_t> frame(f.FrameSize());
  uint32_t state = 12345;
  for (uint64_t i = 0; i < f.SampleCount(); ++i) {
    const uint64_t pixel = i / f.samplesPerPixel, x = pixel % f.columns, y = pixel / f.columns;
    state = state * 1103515245u + 12345u;
    const double shade = 0.5 + 0.4 * std::sin(0.11 * double(x) + 0.07 * double(y) + double(i % f.samplesPerPixel)) +
                         ((x / 8 + y / 8) % 2 == 0 ? 0.05 : -0.05) + (double((state >> 16) % 101) - 50) / 5000.0;
    const int64_t shaded = std::clamp<int64_t>(low + std::llround(shade * double(high - low)), low, high);
    const int64_t value = pixel == 0 ? low : pixel == 1 ? high : shaded;
    const uint32_t overlay = !f.signedSamples && f.bitsStored < f.bitsAllocated ? 1u << f.bitsStored : 0;
    const uint32_t stored = static_cast<uint32_t>(value) | overlay;
    frame[i * f.BytesPerSample()] = static_cast<uint8_t>(stored);
    if (f.bitsAllocated == 16) frame[i * 2 + 1] = static_cast<uint8_t>(stored >> 8);
  }
  return frame;
}

/// `frame` through the encoder and our decoder of the syntax it names;
/// the largest difference of values, and the RMS one through `rms`.
int32_t RoundTripError(bool jpegLs, const NativeFrameFormat& f, double setting, const std::vector<uint8_t>& frame,
                       double* rms = nullptr, uint64_t* size = nullptr) {
  auto encoder = MakeEncoder(jpegLs, f, setting);
  EXPECT_TRUE(encoder) << encoder.Message();
  if (!encoder) return -1;
  std::vector<uint8_t> encoded;
  const Status done = (*encoder)->Encode(frame.data(), frame.size(), encoded);
  EXPECT_TRUE(done) << done.Message();
  if (size != nullptr) *size = encoded.size();
  // Stored as DCMTK stores an odd stream: padded by a byte of any value.
  if (encoded.size() % 2 == 1) encoded.push_back(0x9A);
  const EncodedImageDescription& d = (*encoder)->Description();
  const bool lossless = setting == 0, colour = f.samplesPerPixel == 3;
  const char* syntax = jpegLs ? (lossless ? ".80" : ".81") : (lossless ? ".90" : ".91");
  const std::string photometric = jpegLs || !colour ? f.photometric : lossless ? "YBR_RCT" : "YBR_ICT";
  EXPECT_EQ(d.transferSyntax + d.photometric + d.lossyMethod,
            "1.2.840.10008.1.2.4" + (syntax + photometric) +
                (lossless ? "" : jpegLs ? "ISO_14495_1" : "ISO_15444_1"));
  EXPECT_EQ(d.lossy, setting != 0);
  NativeFrameFormat declared = f;
  declared.photometric = d.photometric;
  auto decoder = CreateFrameDecoder((*encoder)->Description().transferSyntax, declared);
  EXPECT_TRUE(decoder && (*decoder)->OutputFormat().photometric == f.photometric);
  if (!decoder) return -1;
  std::vector<uint8_t> decoded(f.FrameSize());
  const Status back = (*decoder)->Decode(encoded.data(), encoded.size(), decoded.data(), decoded.size());
  EXPECT_TRUE(back) << back.Message();
  int32_t worst = 0;
  double squares = 0;
  for (uint64_t i = 0; i < f.SampleCount(); ++i) {
    const auto value = [&f, i](const std::vector<uint8_t>& of) {
      return test::SampleValue(of.data(), f.bitsAllocated, f.bitsStored, f.signedSamples, i);
    };
    const int32_t error = std::abs(value(frame) - value(decoded));
    worst = std::max(worst, error);
    squares += double(error) * error;
  }
  if (rms != nullptr) *rms = std::sqrt(squares / double(f.SampleCount()));
  return worst;
}

struct Layout {
  uint32_t samples, allocated, stored;
  bool isSigned;
  uint32_t columns, rows;
};

constexpr Layout kLayouts[] = {
    {1, 8, 8, false, 67, 45},   {3, 8, 8, false, 67, 45},    {1, 16, 12, false, 67, 45}, {3, 16, 12, false, 67, 45},
    {1, 16, 12, true, 67, 45},  {3, 16, 12, true, 67, 45},   {1, 16, 16, false, 67, 45}, {3, 16, 16, false, 67, 45},
    {1, 16, 16, true, 67, 45},  {3, 16, 16, true, 67, 45},   {1, 8, 6, false, 67, 45},   {1, 16, 9, true, 67, 45},
    {1, 16, 16, true, 1, 1},    {1, 16, 16, true, 1, 300},   {3, 8, 8, false, 3, 2},     {1, 8, 8, false, 640, 3},
};

class FrameEncoderRoundTripTest : public ::testing::TestWithParam<std::tuple<bool, Layout>> {};

TEST_P(FrameEncoderRoundTripTest, LosslessExactNearLosslessWithinNLossyClose) {
  const auto [jpegLs, l] = GetParam();
  const NativeFrameFormat f = Format(l.samples, l.allocated, l.stored, l.isSigned, l.columns, l.rows);
  EXPECT_EQ(RoundTripError(jpegLs, f, 0, MakeFrame(f)), 0);
  if (std::min(f.columns, f.rows) < 16) return;  // too thin for lossy coding to keep close
  if (jpegLs) {
    const int32_t near = l.stored >= 8 ? 3 : 1;
    const int32_t worst = RoundTripError(jpegLs, f, near, MakeFrame(f, near));
    EXPECT_LE(worst, near);
    EXPECT_GT(worst, 0) << "near-lossless coding gave back every value";
    return;
  }
  // The rate is kept (to the headers' few hundred bytes) and the error is
  // a small part of the range.
  double rms = 0;
  uint64_t size = 0;
  EXPECT_GT(RoundTripError(jpegLs, f, 8, MakeFrame(f), &rms, &size), 0) << "lossy coding gave back every value";
  EXPECT_LE(double(size), double(f.FrameSize()) / 8 + 400);
  EXPECT_GE(double(size), double(f.FrameSize()) / 8 / 2);
  EXPECT_LT(rms, 0.03 * std::ldexp(1.0, int(f.bitsStored)));
}

INSTANTIATE_TEST_SUITE_P(Layouts, FrameEncoderRoundTripTest,
                         ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(kLayouts)));

TEST(FrameEncoderTest, RefusesWhatTheSyntaxCannotHold) {
  NativeFrameFormat palette = Format(1, 8, 8, false), subsampled = Format(3, 8, 8, false);
  palette.photometric = "PALETTE COLOR";
  subsampled.photometric = "YBR_FULL_422";
  const struct {
    bool jpegLs;
    NativeFrameFormat format;
    double setting;
    const char* says;
  } cases[] = {
      {true, Format(1, 16, 1, false), 0, "2 to 16 bits stored"},   {true, Format(1, 32, 20, false), 0, "8 or 16 bits"},
      {true, Format(2, 8, 8, false), 0, "1 or 3 samples"},         {true, palette, 2, "near-lossless"},
      {true, subsampled, 0, "YBR_FULL_422"},                       {true, Format(1, 8, 8, false), 128, "0 to 127"},
      {true, Format(1, 8, 8, false), -1, "0 to 127"},              {true, Format(1, 8, 8, false, 70000, 1), 0, "65535"},
      {false, Format(1, 32, 24, false), 0, "8 or 16 bits"},        {false, Format(1, 8, 9, false), 0, "no more than"},
      {false, palette, 10, "lossy"},                               {false, subsampled, 0, "YBR_FULL_422"},
      {false, Format(1, 8, 8, false), 0.5, "ratio above 1"},       {false, Format(1, 8, 8, false), NAN, "above 1"},
  };
  for (const auto& c : cases) {
    auto encoder = MakeEncoder(c.jpegLs, c.format, c.setting);
    ASSERT_FALSE(encoder) << c.says;
    EXPECT_EQ(encoder.GetError().Code(), ErrorCode::WrongKind);
    EXPECT_NE(encoder.Message().find(c.says), std::string::npos) << encoder.Message();
  }
}

TEST(FrameEncoderTest, RefusesShortFramesAndSignedNearLosslessAtTheSeam) {
  const NativeFrameFormat f = Format(1, 16, 12, true);
  const std::vector<uint8_t> frame = MakeFrame(f);  // reaches both ends of the range
  std::vector<uint8_t> encoded;
  for (const bool jpegLs : {true, false}) {
    EXPECT_FALSE((*MakeEncoder(jpegLs, f, 0))->Encode(frame.data(), frame.size() - 1, encoded));
  }
  const Status done = (*CreateJpegLsFrameEncoder(f, 2))->Encode(frame.data(), frame.size(), encoded);
  EXPECT_NE(done.Message().find("sign flipped"), std::string::npos) << done.Message();
}

}  // namespace
