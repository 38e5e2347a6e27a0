// Frames of every compressed syntax we decode to native samples, from
// files no one here wrote (pydicom's), against the peer that decodes them:
// `convert --mode uncompressed` must store the very bytes the peer stores,
// with the same photometric interpretation, and the view must show frame 0.
// GDCM is the reference for JPEG 2000 and JPEG-LS; DCMTK for RLE (GDCM
// decodes 16-bit colour RLE differently from DCMTK and pydicom) and the
// 12-bit JPEG (GDCM cannot). Baseline JPEG of an RGB image whose markers
// do not say YCbCr keeps its components as coded (as GDCM and DCMTK do);
// one with a JFIF marker is converted from YCbCr (as DCMTK does; GDCM
// keeps YBR_FULL). 8-bit RLE and baseline JPEG, decoded on all cores for a
// decompression, store what the peers store too. A syntax without decoder
// is refused by name.
#include "dicom/DicomObject.h"
#include "pixel/PixelDataConverter.h"
#include "pixel/PixelImage.h"
#include "support/DicomFiles.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace quillon;
using namespace quillon::test;

namespace {

const std::string kPydicom = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";

struct PeerCase {
  const char* file;
  const char* peer;  // the command, given input and output
  const char* photometric;
};

class FrameDecoderPeerTest : public ::testing::TestWithParam<PeerCase> {};

std::vector<uint8_t> PixelValue(const CDicomObject& object) {
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  if (object.GetValue(tags::kPixelData, length, &value) != DicomStatus::Success || value == nullptr) return {};
  return {value, value + length};
}

TEST_P(FrameDecoderPeerTest, StoresWhatThePeerStores) {
  const PeerCase& c = GetParam();
  const std::string source = kPydicom + c.file + ".dcm";
  const std::string tool = std::string(c.peer).substr(0, std::string(c.peer).find(' '));
  if (!std::filesystem::exists(source) || !HaveTool(tool)) GTEST_SKIP() << "pydicom's files or " << tool << " missing";
  TempDir dir(std::string("frame-decoder-") + c.file);
  const std::string ours = dir / "ours.dcm", theirs = dir / "theirs.dcm";
  std::string error;
  ASSERT_EQ(ConvertPixelDataFile({}, source, ours, ConversionMode::Uncompressed, false, {}, &error),
            DCT_STATUS::Success)
      << error;
  const CommandResult peer = RunShell(std::string(c.peer) + " " + source + " " + theirs);
  ASSERT_EQ(peer.exitCode, 0) << peer.err;

  CDicomObject decoded, reference;
  ASSERT_TRUE(LoadInto(decoded, ours));
  ASSERT_TRUE(LoadInto(reference, theirs));
  const std::vector<uint8_t> ourPixels = PixelValue(decoded), theirPixels = PixelValue(reference);
  ASSERT_FALSE(ourPixels.empty());
  EXPECT_EQ(ourPixels.size(), theirPixels.size());
  EXPECT_TRUE(ourPixels == theirPixels) << "the decoded samples differ from " << tool << "'s";
  std::string photometric;
  (void)decoded.GetString(tags::kPhotometricInterpretation, photometric);
  EXPECT_EQ(photometric, c.photometric);

  CPixelImage image;
  ASSERT_TRUE(image.OpenFile(source)) << image.LastError();
  std::vector<uint8_t> bitmap(image.FrameSize());
  uint64_t length = 0;
  EXPECT_EQ(image.ReadFrame(image.NumberOfFrames() - 1, bitmap.data(), bitmap.size(), length), FrameStatus::Success)
      << image.LastError();
  // An 8-bit colour frame shows exactly its samples: blue-green-red rows,
  // bottom-up.
  if (image.NumberOfFrames() == 1 && image.SamplesPerPixel() == 3 && image.BitsAllocated() == 8 &&
      std::string(c.photometric) == "RGB" && theirPixels.size() == uint64_t{image.Columns()} * image.Rows() * 3) {
    uint64_t differing = 0;
    for (uint32_t y = 0; y < image.Rows(); ++y) {
      for (uint32_t x = 0; x < image.Columns(); ++x) {
        const uint8_t* shown = bitmap.data() + (uint64_t{image.Rows() - 1 - y} * image.AlignedColumns() + x) * 3;
        const uint8_t* expected = theirPixels.data() + (uint64_t{y} * image.Columns() + x) * 3;
        differing += shown[0] != expected[2] || shown[1] != expected[1] || shown[2] != expected[0];
      }
    }
    EXPECT_EQ(differing, 0u) << "pixels shown otherwise than " << tool << " decodes them";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pydicom, FrameDecoderPeerTest,
    ::testing::Values(PeerCase{"JPEG2000", "gdcmconv --raw", "MONOCHROME2"},
                      PeerCase{"693_J2KI", "gdcmconv --raw", "MONOCHROME2"},
                      PeerCase{"J2K_pixelrep_mismatch", "gdcmconv --raw", "MONOCHROME2"},
                      PeerCase{"MR_small_jp2klossless", "gdcmconv --raw", "MONOCHROME2"},
                      PeerCase{"GDCMJ2K_TextGBR", "gdcmconv --raw", "RGB"},
                      PeerCase{"SC_rgb_gdcm_KY", "gdcmconv --raw", "RGB"},
                      PeerCase{"MR_small_jpeg_ls_lossless", "gdcmconv --raw", "MONOCHROME2"},
                      PeerCase{"SC_rgb_jpeg_gdcm", "gdcmconv --raw", "RGB"},
                      PeerCase{"SC_jpeg_no_color_transform", "gdcmconv --raw", "RGB"},
                      PeerCase{"SC_jpeg_no_color_transform_2", "gdcmconv --raw", "RGB"},
                      PeerCase{"SC_rgb_jpeg_lossy_gdcm", "gdcmconv --raw", "RGB"},
                      PeerCase{"SC_rgb_jpeg_dcmtk", "dcmdjpeg", "RGB"},
                      PeerCase{"SC_rgb_small_odd_jpeg", "dcmdjpeg", "RGB"},
                      PeerCase{"SC_rgb_dcmtk_+eb+cy+s2", "dcmdjpeg", "RGB"},
                      PeerCase{"SC_rgb_rle_2frame", "dcmdrle", "RGB"},
                      PeerCase{"JPGExtended", "dcmdjpeg", "MONOCHROME2"},
                      PeerCase{"JPEG-lossy", "dcmdjpeg", "MONOCHROME2"},
                      PeerCase{"MR_small_RLE", "dcmdrle", "MONOCHROME2"},
                      PeerCase{"SC_rgb_rle_16bit_2frame", "dcmdrle", "RGB"},
                      PeerCase{"SC_rgb_rle_32bit_2frame", "dcmdrle", "RGB"},
                      PeerCase{"rtdose_rle", "dcmdrle", "MONOCHROME2"}),
    [](const auto& test) {
      std::string name = test.param.file;
      for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return name;
    });

// A syntax no decoder handles (JPEG 2000 with multi-component transforms)
// is refused with its name, by `frame` and by
// `convert`, and nothing is written.
TEST(FrameDecoderPeerTest, RefusesAnUnknownSyntaxByName) {
  const std::string source = kPydicom + "MR_small_jp2klossless.dcm";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "pydicom's files are missing";
  TempDir dir("frame-decoder-refused");
  // The same length of UID, so the meta group stays as long as it says.
  std::string bytes = ReadBytes(source);
  const size_t at = bytes.find("1.2.840.10008.1.2.4.90");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 22, "1.2.840.10008.1.2.4.93");
  const std::string video = dir / "part2.dcm";
  WriteText(video, bytes);
  const CommandResult frame = RunShell(std::string(QUILLON_CLI_PATH) + " frame " + video + " " + (dir / "f.png"));
  EXPECT_EQ(frame.exitCode, 1);
  EXPECT_NE(frame.err.find("JPEG 2000 Part 2 Multi-component (1.2.840.10008.1.2.4.93)"), std::string::npos) << frame.err;
  const CommandResult convert =
      RunShell(std::string(QUILLON_CLI_PATH) + " convert " + video + " " + (dir / "out.dcm") + " --mode uncompressed");
  EXPECT_EQ(convert.exitCode, 1);
  EXPECT_NE(convert.err.find("(1.2.840.10008.1.2.4.93) cannot be decoded"), std::string::npos) << convert.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "out.dcm"));
}

// pydicom's files whose pixel data holds no image (two bytes, no Rows):
// neither DCMTK nor GDCM shows them, and the refusal says why.
TEST(FrameDecoderPeerTest, RefusesAFileThatDescribesNoImage) {
  for (const char* name : {"meta_missing_tsyntax.dcm", "nested_priv_SQ.dcm"}) {
    if (!std::filesystem::exists(kPydicom + name)) GTEST_SKIP() << "pydicom's files are missing";
    CPixelImage image;
    EXPECT_FALSE(image.OpenFile(kPydicom + name));
    EXPECT_NE(image.LastError().find("describes no image"), std::string::npos) << name << ": " << image.LastError();
  }
}

}  // namespace
