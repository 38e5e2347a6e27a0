// Our JPEG-LS and JPEG 2000 codestreams as the peers read them: the first
// frame of pydicom's images (taken out by DCMTK, so no Quillon code reads
// them), encoded by us, wrapped byte by byte and decoded by dcmdjpls
// (DCMTK) or gdcmconv --raw (GDCM) gives back the source values, exactly
// when lossless and within N when near-lossless.
#include "pixel/Jpeg2000FrameEncoder.h"
#include "pixel/JpegLsFrameEncoder.h"
#include "support/EncapsulatedFile.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace quillon;
using namespace quillon::test;

namespace {

struct PeerCase {
  const char* name;
  const char* file;  ///< in pydicom's test files, made native by dcmdrle when RLE
  NativeFrameFormat format;
  bool jpegLs;
  int32_t nearLossless;
  const char* peer;  ///< given input and output
};

/// The Pixel Data value of `path`, written out by dcmdump.
std::string PixelValue(const TempDir& dir, const std::string& path) {
  const std::string out = dir / "raw";
  const CommandResult dumped = RunShell("rm -rf " + out + " && mkdir " + out + " && dcmdump -q +W " + out + " " + path);
  EXPECT_EQ(dumped.exitCode, 0) << dumped.err;
  return ReadBytes(out + "/" + std::filesystem::path(path).filename().string() + ".0.raw");
}

class FrameEncoderPeerTest : public ::testing::TestWithParam<PeerCase> {};

TEST_P(FrameEncoderPeerTest, PeerDecodesTheSourceValues) {
  const PeerCase& c = GetParam();
  const NativeFrameFormat& f = c.format;
  std::string source = std::string("/usr/lib/python3/dist-packages/pydicom/data/test_files/") + c.file;
  const std::string tool = std::string(c.peer).substr(0, std::string(c.peer).find(' '));
  if (!std::filesystem::exists(source) || !HaveTool(tool) || !HaveTool("dcmdrle")) GTEST_SKIP() << "no peer";
  TempDir dir(std::string("frame-encoder-peer-") + c.name);
  if (source.find("_rle") != std::string::npos) {
    ASSERT_EQ(RunShell("dcmdrle " + source + " " + dir / "native.dcm").exitCode, 0);
    source = dir / "native.dcm";
  }
  const std::string frame = PixelValue(dir, source).substr(0, f.FrameSize());
  ASSERT_EQ(frame.size(), f.FrameSize());

  auto encoder = c.jpegLs ? CreateJpegLsFrameEncoder(f, c.nearLossless) : CreateJpeg2000FrameEncoder(f, 0);
  ASSERT_TRUE(encoder) << encoder.Message();
  const EncodedImageDescription& d = (*encoder)->Description();
  EncapsulatedImage image{d.transferSyntax, d.photometric, f.columns, f.rows, f.samplesPerPixel,
                          f.bitsAllocated, f.bitsStored, f.signedSamples, {{}}};
  const auto* native = reinterpret_cast<const uint8_t*>(frame.data());
  const Status done = (*encoder)->Encode(native, frame.size(), image.frames[0]);
  ASSERT_TRUE(done) << done.Message();
  WriteEncapsulatedFile(dir / "encoded.dcm", image);
  const CommandResult peer = RunShell(std::string(c.peer) + " " + dir / "encoded.dcm " + dir / "decoded.dcm");
  ASSERT_EQ(peer.exitCode, 0) << c.peer << ": " << peer.err;

  const std::string back = PixelValue(dir, dir / "decoded.dcm");
  ASSERT_EQ(back.size(), frame.size()) << c.peer << " gave another size";
  int32_t worst = 0;
  for (uint64_t i = 0; i < f.SampleCount(); ++i) {
    const auto* decoded = reinterpret_cast<const uint8_t*>(back.data());
    worst = std::max(worst, std::abs(SampleValue(native, f.bitsAllocated, f.bitsStored, f.signedSamples, i) -
                                     SampleValue(decoded, f.bitsAllocated, f.bitsStored, f.signedSamples, i)));
  }
  EXPECT_LE(worst, c.nearLossless) << c.peer << " decodes our " << c.name << " to other values";
}

constexpr NativeFrameFormat kCt{128, 128, 1, 16, 16, true, "MONOCHROME2"};
// CT_small taken as 12 bits stored: the bits above are dropped, the rest
// read as signed 12-bit values.
constexpr NativeFrameFormat kCt12{128, 128, 1, 16, 12, true, "MONOCHROME2"};
constexpr NativeFrameFormat kMr{64, 64, 1, 16, 16, true, "MONOCHROME2"};
constexpr NativeFrameFormat kRgb{100, 100, 3, 8, 8, false, "RGB"};
constexpr NativeFrameFormat kRgb16{100, 100, 3, 16, 16, false, "RGB"};

INSTANTIATE_TEST_SUITE_P(
    Pydicom, FrameEncoderPeerTest,
    ::testing::Values(PeerCase{"jls_ct_dcmtk", "CT_small.dcm", kCt, true, 0, "dcmdjpls"},
                      PeerCase{"jls_ct12_dcmtk", "CT_small.dcm", kCt12, true, 0, "dcmdjpls"},
                      PeerCase{"jls_mr_near_dcmtk", "MR_small.dcm", kMr, true, 3, "dcmdjpls"},
                      PeerCase{"jls_rgb_dcmtk", "SC_rgb_rle.dcm", kRgb, true, 0, "dcmdjpls"},
                      PeerCase{"jls_rgb16_near_dcmtk", "SC_rgb_rle_16bit.dcm", kRgb16, true, 4, "dcmdjpls"},
                      PeerCase{"jls_ct_gdcm", "CT_small.dcm", kCt, true, 0, "gdcmconv --raw"},
                      PeerCase{"jls_rgb_gdcm", "SC_rgb_rle.dcm", kRgb, true, 0, "gdcmconv --raw"},
                      PeerCase{"j2k_ct_gdcm", "CT_small.dcm", kCt, false, 0, "gdcmconv --raw"},
                      PeerCase{"j2k_ct12_gdcm", "CT_small.dcm", kCt12, false, 0, "gdcmconv --raw"},
                      PeerCase{"j2k_mr_gdcm", "MR_small.dcm", kMr, false, 0, "gdcmconv --raw"},
                      PeerCase{"j2k_rgb_gdcm", "SC_rgb_rle.dcm", kRgb, false, 0, "gdcmconv --raw"},
                      PeerCase{"j2k_rgb16_gdcm", "SC_rgb_rle_16bit.dcm", kRgb16, false, 0, "gdcmconv --raw"}),
    [](const ::testing::TestParamInfo<PeerCase>& param) { return std::string(param.param.name); });

}  // namespace
