// The lossless JPEG decoder: value for value against DCMTK on images that
// dcmcjpeg compressed (every predictor, a point transform, 8 to 16 bits, grey
// and colour) and on pydicom's file; exact round trips of what no peer here
// writes (2- to 16-bit precision, restart intervals, a scan per component);
// and damaged or unsupported data refused with the right code and place.
#include "jpeg/LosslessJpegDecoder.h"
#include "jpeg/JpegPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace quillon;
using namespace quillon::test;

namespace {

struct PeerCase {
  const char* name;
  uint32_t bits, components;
  const char* options;  // dcmcjpeg's
};

class LosslessPeerTest : public ::testing::TestWithParam<PeerCase> {};

TEST_P(LosslessPeerTest, DecodesAsDcmdjpeg) {
  if (!HaveDcmtk()) GTEST_SKIP() << "DCMTK is not installed";
  const PeerCase& c = GetParam();
  TempDir dir(std::string("lossless-") + c.name);
  const TestImage image = NoiseImage(37, 29, c.components, c.bits, c.bits * 7 + c.components);
  const std::string compressed = dir / "compressed.dcm";
  RunPeer("dcmcjpeg " + std::string(c.options) + " " + WriteSource(dir, "source", image) + " " + compressed);
  const std::vector<uint16_t> reference = DcmtkSamples(dir, compressed, image.samples.size());
  ExpectDecodes<CLosslessJpegDecoder>(FirstFragment(dir, compressed), reference, c.components, c.bits);
  if (std::string(c.options).find("+pt") == std::string::npos) {
    EXPECT_EQ(reference, image.samples);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Dcmcjpeg, LosslessPeerTest,
    ::testing::Values(PeerCase{"sv1_16bit", 16, 1, "+e1"}, PeerCase{"sv1_rgb8", 8, 3, "+e1"},
                      PeerCase{"sv2_12bit", 12, 1, "+el +sv 2"}, PeerCase{"sv3_8bit", 8, 1, "+el +sv 3"},
                      PeerCase{"sv4_rgb16", 16, 3, "+el +sv 4"}, PeerCase{"sv5_12bit", 12, 1, "+el +sv 5"},
                      PeerCase{"sv6_16bit", 16, 1, "+el +sv 6"}, PeerCase{"sv7_rgb8", 8, 3, "+el +sv 7"},
                      PeerCase{"sv6_point_transform_3", 12, 1, "+el +sv 6 +pt 3"},
                      PeerCase{"sv1_point_transform_2_rgb", 8, 3, "+e1 +pt 2"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(LosslessJpegDecoderTest, DecodesPydicomsFileAsDcmdjpeg) {
  const std::string path = "/usr/lib/python3/dist-packages/pydicom/data/test_files/SC_rgb_jpeg_gdcm.dcm";
  if (!HaveDcmtk() || !std::filesystem::exists(path)) GTEST_SKIP() << "DCMTK or pydicom's files are missing";
  TempDir dir("lossless-pydicom");
  ExpectDecodes<CLosslessJpegDecoder>(FirstFragment(dir, path), DcmtkSamples(dir, path, 100 * 100 * 3), 3, 8);
}

struct StreamCase {
  uint32_t bits, components;
  LosslessOptions options;
};

class LosslessStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(LosslessStreamTest, GivesTheImageBack) {
  const StreamCase& c = GetParam();
  const TestImage image = NoiseImage(23, 17, c.components, c.bits, c.bits + 31 * c.options.predictor);
  std::vector<uint16_t> expected = image.samples;
  for (uint16_t& sample : expected) sample = static_cast<uint16_t>(sample >> c.options.pointTransform << c.options.pointTransform);
  ExpectDecodes<CLosslessJpegDecoder>(LosslessStream(image, c.options), expected, c.components, c.bits);
}

INSTANTIATE_TEST_SUITE_P(
    Written, LosslessStreamTest,
    ::testing::Values(StreamCase{2, 1, {1, 0, 0, true}}, StreamCase{3, 3, {2, 0, 4, true}},
                      StreamCase{5, 3, {4, 1, 3, false}}, StreamCase{8, 4, {5, 0, 1, true}},
                      StreamCase{8, 3, {6, 0, 5, false}}, StreamCase{11, 1, {7, 2, 1, true}},
                      StreamCase{13, 2, {3, 0, 2, true}}, StreamCase{16, 1, {5, 0, 4, true}},
                      StreamCase{16, 3, {2, 0, 0, false}}, StreamCase{16, 1, {7, 15, 16, true}},
                      StreamCase{14, 1, {6, 13, 9, false}}));

// Differences of ±32768 take the 16-bit category, which has no extra bits.
TEST(LosslessJpegDecoderTest, DecodesTheSixteenBitCategory) {
  TestImage image{8, 3, 1, 16, {}};
  for (uint32_t i = 0; i < 24; ++i) image.samples.push_back(i % 3 == 0 ? 0 : i % 3 == 1 ? 32768 : 65535);
  for (uint32_t predictor = 1; predictor <= 7; ++predictor) {
    ExpectDecodes<CLosslessJpegDecoder>(LosslessStream(image, {predictor, 0, 0, true}), image.samples, 1, 16);
  }
}

// Every prefix of a stream either fails or (missing only the end marker)
// gives the whole image; none crashes or reads past the data.
TEST(LosslessJpegDecoderTest, EveryTruncationFailsCleanly) {
  const TestImage image = NoiseImage(9, 7, 3, 12, 5);
  const Bytes full = LosslessStream(image, {4, 0, 2, false});
  for (size_t length = 0; length < full.size(); ++length) {
    auto decoded = Decode<CLosslessJpegDecoder>(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length)));
    if (decoded) {
      EXPECT_GE(length, full.size() - 2);
      EXPECT_EQ(*decoded, image.samples);
    } else {
      EXPECT_EQ(decoded.GetError().Code(), ErrorCode::Malformed) << length << ": " << decoded.Message();
    }
  }
}

// Offset of the first `marker` segment after `from`.
size_t Find(const Bytes& jpeg, uint8_t marker, size_t from = 0) {
  for (size_t i = from; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
  }
  return jpeg.size();
}

struct DamageCase {
  const char* name;
  std::function<void(Bytes&)> damage;
  ErrorCode code;
  const char* message;
};

class LosslessDamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(LosslessDamageTest, IsRefused) {
  const TestImage image = NoiseImage(16, 8, 3, 8, 3);
  Bytes jpeg = LosslessStream(image, {1, 0, 2, false});
  GetParam().damage(jpeg);
  auto decoded = Decode<CLosslessJpegDecoder>(jpeg);
  ASSERT_FALSE(decoded);
  EXPECT_EQ(decoded.GetError().Code(), GetParam().code) << decoded.Message();
  EXPECT_NE(decoded.Message().find(GetParam().message), std::string::npos) << decoded.Message();
}

const auto kSof = [](Bytes& j) -> uint8_t* { return &j[Find(j, 0xC3)]; };
const auto kSos = [](Bytes& j) -> uint8_t* { return &j[Find(j, 0xDA)]; };

INSTANTIATE_TEST_SUITE_P(
    Cases, LosslessDamageTest,
    ::testing::Values(
        DamageCase{"no_start", [](Bytes& j) { j[1] = 0xD9; }, ErrorCode::Malformed, "no start-of-image"},
        DamageCase{"segment_past_end", [](Bytes& j) { j.resize(Find(j, 0xC4) + 10); }, ErrorCode::Malformed, "claims"},
        DamageCase{"baseline_frame", [](Bytes& j) { kSof(j)[1] = 0xC0; }, ErrorCode::WrongKind, "not lossless"},
        DamageCase{"precision_1", [](Bytes& j) { kSof(j)[4] = 1; }, ErrorCode::Malformed, "2 to 16"},
        DamageCase{"five_components", [](Bytes& j) { kSof(j)[9] = 5; }, ErrorCode::Malformed, "for 5 components"},
        DamageCase{"height_from_dnl", [](Bytes& j) { kSof(j)[5] = kSof(j)[6] = 0; }, ErrorCode::WrongKind, "DNL"},
        DamageCase{"subsampled", [](Bytes& j) { kSof(j)[14] = 0x21; }, ErrorCode::WrongKind, "sampling factors"},
        DamageCase{"predictor_0", [](Bytes& j) { kSos(j)[7] = 0; }, ErrorCode::Malformed, "predictor 0"},
        DamageCase{"point_transform_8", [](Bytes& j) { kSos(j)[9] = 8; }, ErrorCode::Malformed, "point transform of 8"},
        DamageCase{"undefined_table", [](Bytes& j) { kSos(j)[6] = 0x30; }, ErrorCode::Malformed, "not defined"},
        DamageCase{"unknown_component", [](Bytes& j) { kSos(j)[5] = 9; }, ErrorCode::Malformed, "does not have"},
        DamageCase{"component_twice", [](Bytes& j) { j[Find(j, 0xDA, Find(j, 0xDA) + 2) + 5] = 3; },
                   ErrorCode::Malformed, "a second time"},
        DamageCase{"no_prefix_code", [](Bytes& j) { j[Find(j, 0xC4) + 5] = 3, j[Find(j, 0xC4) + 9] = 14; }, ErrorCode::Malformed, "no prefix code"},
        DamageCase{"wrong_restart", [](Bytes& j) { j[Find(j, 0xD0) + 1] = 0xD3; }, ErrorCode::Malformed,
                   "restart marker RST0 expected at offset"},
        DamageCase{"invalid_code", [](Bytes& j) { std::fill_n(&j[Find(j, 0xDA) + 10], 4, 0xFE); },
                   ErrorCode::Malformed, "a code that no Huffman table"},
        DamageCase{"coded_data_short", [](Bytes& j) { j.erase(j.begin() + static_cast<std::ptrdiff_t>(Find(j, 0xDA) + 12), j.begin() + static_cast<std::ptrdiff_t>(Find(j, 0xD0))); },
                   ErrorCode::Malformed, "ends at offset"},
        DamageCase{"partial_line_interval", [](Bytes& j) { j[Find(j, 0xDD) + 5] = 7; }, ErrorCode::WrongKind,
                   "no whole number"},
        DamageCase{"missing_scan", [](Bytes& j) { j.resize(Find(j, 0xDA, Find(j, 0xDA) + 2)); },
                   ErrorCode::Malformed, "before every component"},
        DamageCase{"stray_restart", [](Bytes& j) { j.insert(j.begin() + 2, {0xFF, 0xD0}); }, ErrorCode::Malformed,
                   "outside a scan"}),
    [](const auto& test) { return std::string(test.param.name); });

struct BufferCase {
  const char* name;
  uint32_t bits;
  bool bytes;
  int64_t spare;  // samples beyond the image, negative for too few
  const char* message;
};

class LosslessBufferTest : public ::testing::TestWithParam<BufferCase> {};

// A buffer that cannot take the image is refused before anything is written.
TEST_P(LosslessBufferTest, IsRefusedUntouched) {
  const BufferCase& c = GetParam();
  const Bytes jpeg = LosslessStream(NoiseImage(6, 5, 1, c.bits, 1), {});
  std::vector<uint16_t> words(static_cast<size_t>(30 + c.spare), 0xABCD);
  std::vector<uint8_t> bytes(words.size(), 0xAB);
  JpegSampleBuffer buffer{.capacity = words.size()};
  if (c.bytes) buffer.bytes = bytes.data(); else buffer.words = words.data();
  const Status status = CLosslessJpegDecoder::Decode(jpeg.data(), jpeg.size(), buffer);
  ASSERT_FALSE(status);
  EXPECT_EQ(status.GetError().Code(), ErrorCode::Failure);
  EXPECT_NE(status.Message().find(c.message), std::string::npos) << status.Message();
  EXPECT_EQ(std::count(words.begin(), words.end(), 0xABCD) + std::count(bytes.begin(), bytes.end(), 0xAB),
            static_cast<std::ptrdiff_t>(2 * words.size()));
}

INSTANTIATE_TEST_SUITE_P(Cases, LosslessBufferTest,
                         ::testing::Values(BufferCase{"one_sample_short", 8, false, -1, "does not fit"},
                                           BufferCase{"bytes_for_12_bits", 12, true, 0, "8-bit sample buffer"}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
