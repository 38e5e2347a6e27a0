// The sequential DCT decoder at 8 and 12 bits: value for value against
// DCMTK on images dcmcjpeg compressed (grey and colour, 4:2:2 and 4:4:4),
// on pydicom's 12-bit files, and on streams written here that dcmcjpeg
// does not write (restart intervals, a scan per component, 4:2:0, 4:4:0,
// images too narrow to interpolate), wrapped by img2dcm; and damaged or
// unsupported data refused with the right code and place. The samples are
// expected to be equal, not just close: the decoder does libjpeg's
// arithmetic, which DCMTK uses.
#include "jpeg/ExtendedJpegDecoder.h"
#include "jpeg/JpegPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace quillon;
using namespace quillon::test;

namespace {

const std::string kPydicom = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";

struct PeerCase {
  const char* name;
  uint32_t bits, components;
  const char* options;  // dcmcjpeg's
};

class ExtendedPeerTest : public ::testing::TestWithParam<PeerCase> {};

TEST_P(ExtendedPeerTest, DecodesAsDcmdjpeg) {
  if (!HaveDcmtk()) GTEST_SKIP() << "DCMTK is not installed";
  const PeerCase& c = GetParam();
  TempDir dir(std::string("extended-") + c.name);
  const TestImage image = NoiseImage(37, 29, c.components, c.bits, c.bits + c.components);
  const std::string compressed = dir / "compressed.dcm";
  RunPeer("dcmcjpeg " + std::string(c.options) + " " + WriteSource(dir, "source", image) + " " + compressed);
  ExpectDecodes<CExtendedJpegDecoder>(FirstFragment(dir, compressed),
                                      DcmtkSamples(dir, compressed, image.samples.size()), c.components, c.bits);
}

INSTANTIATE_TEST_SUITE_P(Dcmcjpeg, ExtendedPeerTest,
                         ::testing::Values(PeerCase{"grey12", 12, 1, "+ee"}, PeerCase{"rgb12_422", 12, 3, "+ee"},
                                           PeerCase{"rgb12_444_q60", 12, 3, "+ee +s4 +q 60"},
                                           PeerCase{"grey8", 8, 1, "+ee"}, PeerCase{"rgb8_422", 8, 3, "+ee +n2"},
                                           PeerCase{"rgb8_baseline", 8, 3, "+eb +s4"}),
                         [](const auto& test) { return std::string(test.param.name); });

class ExtendedPydicomTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ExtendedPydicomTest, DecodesAsDcmdjpeg) {
  const std::string path = kPydicom + GetParam();
  if (!HaveDcmtk() || !std::filesystem::exists(path)) GTEST_SKIP() << "DCMTK or pydicom's files are missing";
  TempDir dir("extended-pydicom");
  ExpectDecodes<CExtendedJpegDecoder>(FirstFragment(dir, path), DcmtkSamples(dir, path, 256 * 1024), 1, 12);
}

// JPGExtended.dcm's scan says it codes coefficients 0 to 0, which libjpeg
// (and DCMTK) take as a full sequential scan; so do we.
INSTANTIATE_TEST_SUITE_P(Files, ExtendedPydicomTest, ::testing::Values("JPEG-lossy.dcm", "JPGExtended.dcm"));

struct StreamCase {
  const char* name;
  DctOptions options;
};

class ExtendedStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(ExtendedStreamTest, DecodesAsDcmdjpeg) {
  if (!HaveDcmtk()) GTEST_SKIP() << "DCMTK is not installed";
  const DctOptions& o = GetParam().options;
  TempDir dir(std::string("extended-stream-") + GetParam().name);
  const Bytes jpeg = DctStream(o);
  const uint32_t components = static_cast<uint32_t>(o.sampling.size());
  ExpectDecodes<CExtendedJpegDecoder>(
      jpeg, DcmtkSamples(dir, WrapJpeg(dir, "wrapped", jpeg), size_t{o.width} * o.height * components), components,
      o.precision);
}

INSTANTIATE_TEST_SUITE_P(
    Written, ExtendedStreamTest,
    ::testing::Values(StreamCase{"s420_restart3", {35, 21, 8, {0x22, 0x11, 0x11}, 3, true, 1}},
                      StreamCase{"s440_per_component", {30, 27, 12, {0x12, 0x11, 0x11}, 0, false, 2}},
                      StreamCase{"grey12_restart1", {17, 9, 12, {0x11}, 1, true, 3}},
                      StreamCase{"s422_per_component_restart2", {41, 16, 8, {0x21, 0x11, 0x11}, 2, false, 4}},
                      StreamCase{"grey_2x2_blocks", {19, 23, 12, {0x22}, 0, true, 5}},
                      StreamCase{"s420_too_narrow", {3, 13, 8, {0x22, 0x11, 0x11}, 5, true, 6}},
                      StreamCase{"s420_12bit_odd", {33, 31, 12, {0x22, 0x11, 0x11}, 0, true, 7}}),
    [](const auto& test) { return std::string(test.param.name); });

// Every prefix of a stream either fails or (missing only the end marker)
// gives the whole image; none crashes or reads past the data.
TEST(ExtendedJpegDecoderTest, EveryTruncationFailsCleanly) {
  const Bytes full = DctStream({20, 12, 12, {0x21, 0x11, 0x11}, 2, false, 9});
  auto whole = Decode<CExtendedJpegDecoder>(full);
  ASSERT_TRUE(whole) << whole.Message();
  for (size_t length = 0; length < full.size(); ++length) {
    auto decoded = Decode<CExtendedJpegDecoder>(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length)));
    if (decoded) {
      EXPECT_GE(length, full.size() - 2);
      EXPECT_EQ(*decoded, *whole);
    } else {
      EXPECT_EQ(decoded.GetError().Code(), ErrorCode::Malformed) << length << ": " << decoded.Message();
    }
  }
}

size_t Find(const Bytes& jpeg, uint8_t marker) {
  for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
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

class ExtendedDamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(ExtendedDamageTest, IsRefused) {
  Bytes jpeg = DctStream({16, 16, 12, {0x11, 0x11}, 0, true, 11});
  GetParam().damage(jpeg);
  auto decoded = Decode<CExtendedJpegDecoder>(jpeg);
  ASSERT_FALSE(decoded);
  EXPECT_EQ(decoded.GetError().Code(), GetParam().code) << decoded.Message();
  EXPECT_NE(decoded.Message().find(GetParam().message), std::string::npos) << decoded.Message();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtendedDamageTest,
    ::testing::Values(
        DamageCase{"progressive", [](Bytes& j) { j[Find(j, 0xC1) + 1] = 0xC2; }, ErrorCode::WrongKind, "progressive"},
        DamageCase{"lossless", [](Bytes& j) { j[Find(j, 0xC1) + 1] = 0xC3; }, ErrorCode::WrongKind, "lossless"},
        DamageCase{"arithmetic", [](Bytes& j) { j[Find(j, 0xC1) + 1] = 0xC9; }, ErrorCode::WrongKind, "arithmetic"},
        DamageCase{"precision_16", [](Bytes& j) { j[Find(j, 0xC1) + 4] = 16; }, ErrorCode::WrongKind, "8 or 12"},
        DamageCase{"sampling_3", [](Bytes& j) { j[Find(j, 0xC1) + 11] = 0x31; }, ErrorCode::WrongKind, "at most 2x2"},
        DamageCase{"quant_table_3", [](Bytes& j) { j[Find(j, 0xC1) + 15] = 3; }, ErrorCode::Malformed,
                   "quantisation table 3"},
        DamageCase{"quant_segment_short", [](Bytes& j) { j[Find(j, 0xDB) + 3] = 40; }, ErrorCode::Malformed,
                   "ends inside a table"},
        DamageCase{"dc_category_16", [](Bytes& j) { j[Find(j, 0xC4) + 21 + 15] = 16; }, ErrorCode::Malformed,
                   "category above 15"},
        DamageCase{"invalid_code", [](Bytes& j) { std::fill_n(&j[Find(j, 0xDA) + 14], 3, 0xF7); }, ErrorCode::Malformed,
                   "damaged coded data"},
        DamageCase{"coded_data_short", [](Bytes& j) { j.resize(Find(j, 0xDA) + 30); }, ErrorCode::Malformed,
                   "ends at offset"}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
