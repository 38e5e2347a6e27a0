// Our JPEG-LS and JPEG 2000 codestreams as the peers read them: frames of
// pydicom's images (taken out by DCMTK, so no Quillon code reads them),
// encoded by us, wrapped byte by byte in a DICOM file and decoded by
// dcmdjpls (DCMTK) and gdcmconv --raw (GDCM) must give back the source
// values, exactly when lossless and within N when near-lossless.
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

const std::string kPydicom = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";

struct PeerCase {
  const char* name;
  const char* file;
  const char* decompress;  ///< the DCMTK tool that makes the source native, or ""
  NativeFrameFormat format;
  bool jpegLs;
  int32_t nearLossless;
  const char* peer;  ///< given input and output
};

/// Sample `i` as a reader takes it: Bits Stored bits, signed or not.
int32_t ValueAt(const std::string& frame, const NativeFrameFormat& format, uint64_t i) {
  const uint32_t bytes = format.BytesPerSample();
  uint32_t raw = static_cast<uint8_t>(frame[i * bytes]);
  if (bytes == 2) raw |= uint32_t{static_cast<uint8_t>(frame[i * bytes + 1])} << 8;
  raw &= (1u << format.bitsStored) - 1;
  const uint32_t sign = format.signedSamples ? 1u << (format.bitsStored - 1) : 0;
  return static_cast<int32_t>(raw ^ sign) - static_cast<int32_t>(sign);
}

/// The value of the Pixel Data element of `path`, written out by dcmdump.
std::string PixelValue(const TempDir& dir, const std::string& path, const std::string& name) {
  const std::string out = dir / ("raw-" + name);
  const CommandResult dumped =
      RunShell("mkdir -p " + out + " && dcmdump -q +W " + out + " " + path + " >/dev/null");
  EXPECT_EQ(dumped.exitCode, 0) << dumped.err;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    if (entry.path().string().ends_with(".0.raw")) return ReadBytes(entry.path().string());
  }
  return {};
}

class FrameEncoderPeerTest : public ::testing::TestWithParam<PeerCase> {};

TEST_P(FrameEncoderPeerTest, PeerDecodesTheSourceValues) {
  const PeerCase& c = GetParam();
  const std::string source = kPydicom + c.file;
  const std::string tool = std::string(c.peer).substr(0, std::string(c.peer).find(' '));
  if (!std::filesystem::exists(source) || !HaveTool(tool) || !HaveTool("dcmdump") ||
      (*c.decompress != '\0' && !HaveTool(c.decompress))) {
    GTEST_SKIP() << "pydicom's files, DCMTK or " << tool << " missing";
  }
  TempDir dir(std::string("frame-encoder-peer-") + c.name);
  std::string native = source;
  if (*c.decompress != '\0') {
    native = dir / "native.dcm";
    const CommandResult made = RunShell(std::string(c.decompress) + " " + source + " " + native);
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
  const std::string pixels = PixelValue(dir, native, "source");
  const NativeFrameFormat& format = c.format;
  ASSERT_GE(pixels.size(), format.FrameSize());
  const std::string frame = pixels.substr(0, format.FrameSize());

  auto encoder = c.jpegLs ? CreateJpegLsFrameEncoder(format, c.nearLossless) : CreateJpeg2000FrameEncoder(format, 0);
  ASSERT_TRUE(encoder) << encoder.Message();
  EncapsulatedImage image{(*encoder)->Description().transferSyntax,
                          (*encoder)->Description().photometric,
                          format.columns,
                          format.rows,
                          format.samplesPerPixel,
                          format.bitsAllocated,
                          format.bitsStored,
                          format.signedSamples,
                          {{}}};
  const Status done = (*encoder)->Encode(reinterpret_cast<const uint8_t*>(frame.data()), frame.size(), image.frames[0]);
  ASSERT_TRUE(done) << done.Message();
  const std::string encoded = dir / "encoded.dcm", decoded = dir / "decoded.dcm";
  WriteEncapsulatedFile(encoded, image);
  const CommandResult peer = RunShell(std::string(c.peer) + " " + encoded + " " + decoded);
  ASSERT_EQ(peer.exitCode, 0) << c.peer << ": " << peer.err;

  const std::string back = PixelValue(dir, decoded, "decoded");
  ASSERT_EQ(back.size(), frame.size()) << c.peer << " gave another size";
  int32_t worst = 0;
  for (uint64_t i = 0; i < format.SampleCount(); ++i) {
    worst = std::max(worst, std::abs(ValueAt(frame, format, i) - ValueAt(back, format, i)));
  }
  EXPECT_LE(worst, c.nearLossless) << c.peer << " decodes our " << c.name << " to other values";
}

constexpr NativeFrameFormat kCt{128, 128, 1, 16, 16, true, "MONOCHROME2"};
// CT_small's samples taken as 12 bits stored: the bits above are dropped
// and the rest read as signed 12-bit values.
constexpr NativeFrameFormat kCt12{128, 128, 1, 16, 12, true, "MONOCHROME2"};
constexpr NativeFrameFormat kMr{64, 64, 1, 16, 16, true, "MONOCHROME2"};
constexpr NativeFrameFormat kRgb{100, 100, 3, 8, 8, false, "RGB"};
constexpr NativeFrameFormat kRgb16{100, 100, 3, 16, 16, false, "RGB"};

INSTANTIATE_TEST_SUITE_P(
    Pydicom, FrameEncoderPeerTest,
    ::testing::Values(PeerCase{"jls-ct-dcmtk", "CT_small.dcm", "", kCt, true, 0, "dcmdjpls"},
                      PeerCase{"jls-ct12-dcmtk", "CT_small.dcm", "", kCt12, true, 0, "dcmdjpls"},
                      PeerCase{"jls-mr-near-dcmtk", "MR_small.dcm", "", kMr, true, 3, "dcmdjpls"},
                      PeerCase{"jls-rgb-dcmtk", "SC_rgb_rle.dcm", "dcmdrle", kRgb, true, 0, "dcmdjpls"},
                      PeerCase{"jls-rgb16-near-dcmtk", "SC_rgb_rle_16bit.dcm", "dcmdrle", kRgb16, true, 4, "dcmdjpls"},
                      PeerCase{"jls-ct-gdcm", "CT_small.dcm", "", kCt, true, 0, "gdcmconv --raw"},
                      PeerCase{"jls-rgb-gdcm", "SC_rgb_rle.dcm", "dcmdrle", kRgb, true, 0, "gdcmconv --raw"},
                      PeerCase{"j2k-ct-gdcm", "CT_small.dcm", "", kCt, false, 0, "gdcmconv --raw"},
                      PeerCase{"j2k-ct12-gdcm", "CT_small.dcm", "", kCt12, false, 0, "gdcmconv --raw"},
                      PeerCase{"j2k-mr-gdcm", "MR_small.dcm", "", kMr, false, 0, "gdcmconv --raw"},
                      PeerCase{"j2k-rgb-gdcm", "SC_rgb_rle.dcm", "dcmdrle", kRgb, false, 0, "gdcmconv --raw"},
                      PeerCase{"j2k-rgb16-gdcm", "SC_rgb_rle_16bit.dcm", "dcmdrle", kRgb16, false, 0,
                               "gdcmconv --raw"}),
    [](const ::testing::TestParamInfo<PeerCase>& info) {
      std::string name = info.param.name;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

}  // namespace
