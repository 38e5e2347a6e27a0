// RLE frames of 8, 16 and 32 bits allocated, 1 and 3 samples, decoded to
// native samples: byte planes most significant first, runs and literals,
// and damaged frames refused with their code before or while decoding.
#include "pixel/FrameDecoderRegistry.h"

#include <gtest/gtest.h>

#include <functional>

using namespace quillon;

namespace {

using Bytes = std::vector<uint8_t>;

// A frame for `native` (little endian, by pixel): each byte plane a segment
// of alternating literal and replicate runs, so both kinds are decoded.
Bytes Encode(const NativeFrameFormat& format, const Bytes& native) {
  const uint32_t bytes = format.BytesPerSample(), samples = format.samplesPerPixel;
  const uint64_t pixels = format.PixelCount();
  std::vector<Bytes> segments;
  for (uint32_t s = 0; s < samples; ++s) {
    for (uint32_t b = bytes; b-- > 0;) {
      Bytes plane;
      for (uint64_t p = 0; p < pixels; ++p) plane.push_back(native[(p * samples + s) * bytes + b]);
      Bytes segment;
      for (size_t i = 0; i < plane.size();) {
        size_t run = 1;
        while (i + run < plane.size() && plane[i + run] == plane[i] && run < 128) ++run;
        if (run > 1) {
          segment.insert(segment.end(), {static_cast<uint8_t>(1 - static_cast<int>(run)), plane[i]});
        } else {
          segment.insert(segment.end(), {0, plane[i]});
        }
        i += run;
      }
      if (segment.size() % 2 != 0) segment.push_back(0x80);  // a no-op pad
      segments.push_back(segment);
    }
  }
  Bytes frame(64, 0);
  frame[0] = static_cast<uint8_t>(segments.size());
  for (size_t i = 0; i < segments.size(); ++i) {
    const auto offset = static_cast<uint32_t>(frame.size());
    for (int k = 0; k < 4; ++k) frame[4 + 4 * i + static_cast<size_t>(k)] = static_cast<uint8_t>(offset >> (8 * k));
    frame.insert(frame.end(), segments[i].begin(), segments[i].end());
  }
  return frame;
}

NativeFrameFormat Format(uint32_t bits, uint32_t samples) {
  return {5, 3, samples, bits, bits, false, samples == 3 ? "RGB" : "MONOCHROME2"};
}

Bytes Pattern(const NativeFrameFormat& format) {
  Bytes native(format.FrameSize());
  for (size_t i = 0; i < native.size(); ++i) native[i] = static_cast<uint8_t>(i / 3 % 4 == 0 ? 7 : i * 37 + 1);
  return native;
}

struct DepthCase {
  uint32_t bits, samples;
};

class RleDepthTest : public ::testing::TestWithParam<DepthCase> {};

TEST_P(RleDepthTest, DecodesEveryBytePlane) {
  const NativeFrameFormat format = Format(GetParam().bits, GetParam().samples);
  const Bytes native = Pattern(format);
  const Bytes frame = Encode(format, native);
  auto decoder = CreateFrameDecoder("1.2.840.10008.1.2.5", format);
  ASSERT_TRUE(decoder) << decoder.Message();
  Bytes decoded(format.FrameSize());
  const Status status = (*decoder)->Decode(frame.data(), frame.size(), decoded.data(), decoded.size());
  ASSERT_TRUE(status) << status.Message();
  EXPECT_EQ(decoded, native);
}

INSTANTIATE_TEST_SUITE_P(Depths, RleDepthTest,
                         ::testing::Values(DepthCase{8, 1}, DepthCase{8, 3}, DepthCase{16, 1}, DepthCase{16, 3},
                                           DepthCase{32, 1}, DepthCase{32, 3}));

struct DamageCase {
  const char* name;
  std::function<void(Bytes&)> damage;
  ErrorCode code;
  const char* message;
};

class RleDamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(RleDamageTest, IsRefused) {
  const NativeFrameFormat format = Format(16, 3);
  Bytes frame = Encode(format, Pattern(format));
  GetParam().damage(frame);
  auto decoder = CreateFrameDecoder("1.2.840.10008.1.2.5", format);
  ASSERT_TRUE(decoder);
  Bytes decoded(format.FrameSize());
  const Status status = (*decoder)->Decode(frame.data(), frame.size(), decoded.data(), decoded.size());
  ASSERT_FALSE(status);
  EXPECT_EQ(status.GetError().Code(), GetParam().code) << status.Message();
  EXPECT_NE(status.Message().find(GetParam().message), std::string::npos) << status.Message();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RleDamageTest,
    ::testing::Values(DamageCase{"no_header", [](Bytes& f) { f.resize(40); }, ErrorCode::Malformed, "no 64-byte header"},
                      DamageCase{"segments_of_8_bits", [](Bytes& f) { f[0] = 3; }, ErrorCode::WrongKind,
                                 "3 segments where the image needs 6"},
                      DamageCase{"offset_in_header", [](Bytes& f) { f[8] = 10, f[9] = 0; }, ErrorCode::Malformed,
                                 "segment 1 lies at bytes 64 to 10"},
                      DamageCase{"offset_past_end", [](Bytes& f) { f[24] = 0xFF, f[25] = 0xFF; },
                                 ErrorCode::Malformed, "to 65535 of a frame of"},
                      DamageCase{"last_segment_short", [](Bytes& f) { f.resize(f.size() - 4); },
                                 ErrorCode::Malformed, "segment 6 ends before its 15 bytes"}),
    [](const auto& test) { return std::string(test.param.name); });

// Formats no native frame has are refused before any decoder is made, and
// a syntax without decoder by its name.
TEST(RleFrameDecoderTest, RefusesWhatItCannotDecode) {
  NativeFrameFormat twelve = Format(16, 1);
  twelve.bitsAllocated = 12;
  EXPECT_EQ(CreateFrameDecoder("1.2.840.10008.1.2.5", twelve).GetError().Code(), ErrorCode::WrongKind);
  auto video = CreateFrameDecoder("1.2.840.10008.1.2.4.102", Format(8, 3));
  ASSERT_FALSE(video);
  EXPECT_NE(video.Message().find("MPEG-4 AVC/H.264 (1.2.840.10008.1.2.4.102) cannot be decoded"), std::string::npos)
      << video.Message();
  // A buffer one byte short is refused before anything is written.
  const NativeFrameFormat format = Format(32, 3);
  const Bytes frame = Encode(format, Pattern(format));
  Bytes decoded(format.FrameSize() - 1, 0xAB);
  auto decoder = CreateFrameDecoder("1.2.840.10008.1.2.5", format);
  ASSERT_TRUE(decoder);
  EXPECT_EQ((*decoder)->Decode(frame.data(), frame.size(), decoded.data(), decoded.size()).GetError().Code(),
            ErrorCode::Failure);
  EXPECT_EQ(std::count(decoded.begin(), decoded.end(), 0xAB), static_cast<std::ptrdiff_t>(decoded.size()));
}

}  // namespace
