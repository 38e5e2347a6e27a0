// Our pixel conversions against DCMTK and GDCM: what we compress their
// tools decompress to the same pixels, what they compress we decompress to
// the same pixels, and every file we write parses without complaint.
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "dicom/ValueRepresentation.h"
#include "pixel/PixelDataConverter.h"
#include "pixel/PixelImage.h"
#include "support/DicomFiles.h"
#include "support/ImageFixtures.h"
#include "support/ImageMetrics.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

using namespace quillon;
using namespace quillon::test;

namespace {

/// Every frame of `path` as display bitmaps, one after another.
std::vector<uint8_t> Bitmaps(const std::string& path) {
  CPixelImage image;
  if (!image.OpenFile(path)) return {};
  std::vector<uint8_t> all;
  std::vector<uint8_t> frame(image.FrameSize());
  for (int32_t f = 0; f < image.NumberOfFrames(); ++f) {
    uint64_t length = 0;
    if (image.ReadFrame(f, frame.data(), frame.size(), length) != FrameStatus::Success) return {};
    all.insert(all.end(), frame.begin(), frame.end());
  }
  return all;
}

/// Peak signal-to-noise ratio over the real pixels (bitmap padding is
/// compared too, but is the same on both sides).
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  return Psnr8(a.data(), b.data(), a.size(), 1, a.size());
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int{a[i]} - int{b[i]}));
  return worst;
}

class PixelPeerInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"dcmdump", "dcmdrle", "dcmcrle", "dcmdjpeg", "dcmcjpeg"}) {
      if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    ImageRecipe rgb;
    rgb.columns = 67;  // not a multiple of 4: bitmap rows carry padding
    rgb.rows = 41;
    rgb.samples = 3;
    rgb.photometric = "RGB";
    rgb.frames = 3;
    MakeImageFile(m_rgb, rgb);
    ImageRecipe grey;
    grey.columns = 64;
    grey.rows = 48;
    grey.frames = 2;
    MakeImageFile(m_grey, grey);
  }

  /// dcmdump parses `path` with no error or warning.
  void ExpectDcmtkParses(const std::string& path) {
    const CommandResult dump = RunShell("dcmdump " + path);
    EXPECT_EQ(dump.exitCode, 0) << path;
    EXPECT_EQ(dump.err, "") << path;
  }

  TempDir m_dir{"pixel-peers"};
  std::string m_rgb = m_dir / "rgb.dcm";
  std::string m_grey = m_dir / "grey.dcm";
};

TEST_F(PixelPeerInterop, EveryModeGivesAFileDcmtkReadsAndDecodes) {
  for (const std::string& source : {m_rgb, m_grey}) {
    for (uint32_t mode = 0; mode <= 6; ++mode) {
      for (bool monochrome : {false, true}) {
        const std::string out = m_dir / ("mode" + std::to_string(mode) + (monochrome ? "m" : "") + ".dcm");
        ASSERT_EQ(ConvertPixelDataFile({}, source, out, static_cast<ConversionMode>(mode), monochrome),
                  DCT_STATUS::Success)
            << source << " mode " << mode;
        ExpectDcmtkParses(out);
        CDicomObject result;
        ASSERT_TRUE(test::LoadInto(result, out, true));
        std::string syntax;
        (void)result.GetString(tags::kTransferSyntaxUid, syntax);
        const std::string decoded = m_dir / "decoded.dcm";
        std::string tool;
        if (syntax == "1.2.840.10008.1.2.5") tool = "dcmdrle";
        if (syntax == "1.2.840.10008.1.2.4.50") tool = "dcmdjpeg";
        if (!tool.empty()) {
          const CommandResult run = RunShell(tool + " " + out + " " + decoded);
          EXPECT_EQ(run.exitCode, 0) << tool << " on mode " << mode << ": " << run.err;
          EXPECT_EQ(run.err, "") << tool << " on mode " << mode;
          ExpectDcmtkParses(decoded);
        }
      }
    }
  }
}

TEST_F(PixelPeerInterop, RleIsExactBothWays) {
  for (const std::string& source : {m_rgb, m_grey}) {
    const std::vector<uint8_t> original = Bitmaps(source);
    ASSERT_FALSE(original.empty());
    const std::string ours = m_dir / "ours-rle.dcm";
    ASSERT_EQ(ConvertPixelDataFile({}, source, ours, ConversionMode::Rle, false), DCT_STATUS::Success);
    EXPECT_EQ(Bitmaps(ours), original) << "our own decode";

    const std::string byDcmtk = m_dir / "dcmdrle.dcm";
    ASSERT_EQ(RunShell("dcmdrle " + ours + " " + byDcmtk).exitCode, 0);
    EXPECT_EQ(Bitmaps(byDcmtk), original) << "dcmdrle of ours";

    if (HaveTool("gdcmconv")) {
      const std::string byGdcm = m_dir / "gdcm-raw.dcm";
      ASSERT_EQ(RunShell("gdcmconv --raw " + ours + " " + byGdcm).exitCode, 0);
      EXPECT_EQ(Bitmaps(byGdcm), original) << "gdcmconv --raw of ours";
    }

    const std::string theirs = m_dir / "dcmcrle.dcm";
    ASSERT_EQ(RunShell("dcmcrle " + source + " " + theirs).exitCode, 0);
    EXPECT_EQ(Bitmaps(theirs), original) << "our decode of dcmcrle";
  }
}

TEST_F(PixelPeerInterop, YbrFullRleIsExactWithDcmtk) {
  const std::string ours = m_dir / "ybr-rle.dcm";
  ASSERT_EQ(ConvertPixelDataFile({}, m_rgb, ours, ConversionMode::YbrFullRle, false), DCT_STATUS::Success);
  const std::string byDcmtk = m_dir / "ybr-plain.dcm";
  ASSERT_EQ(RunShell("dcmdrle " + ours + " " + byDcmtk).exitCode, 0);
  const std::vector<uint8_t> mine = Bitmaps(ours);
  ASSERT_FALSE(mine.empty());
  EXPECT_EQ(Bitmaps(byDcmtk), mine);
  EXPECT_GE(Psnr(Bitmaps(m_rgb), mine), 40.0);  // YBR_FULL rounding only
}

TEST_F(PixelPeerInterop, DcmtkYbrFullRleWithPlanarZeroDecodes) {
  ImageRecipe ybr;
  ybr.columns = 30;
  ybr.rows = 10;
  ybr.samples = 3;
  ybr.photometric = "YBR_FULL";
  ybr.planar = 0;
  const std::string source = m_dir / "ybr.dcm";
  MakeImageFile(source, ybr);
  const std::string theirs = m_dir / "ybr-dcmcrle.dcm";
  ASSERT_EQ(RunShell("dcmcrle " + source + " " + theirs).exitCode, 0);
  const std::vector<uint8_t> expected = Bitmaps(source);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Bitmaps(theirs), expected);
}

TEST_F(PixelPeerInterop, JpegInteroperatesWithDcmtk) {
  for (const std::string& source : {m_rgb, m_grey}) {
    const std::vector<uint8_t> original = Bitmaps(source);
    const std::string ours = m_dir / "ours-jpeg.dcm";
    ASSERT_EQ(ConvertPixelDataFile({}, source, ours, ConversionMode::JpegLossy, false), DCT_STATUS::Success);
    const std::vector<uint8_t> ourDecode = Bitmaps(ours);
    ASSERT_EQ(ourDecode.size(), original.size());
    EXPECT_GE(Psnr(original, ourDecode), 35.0) << source;

    const std::string byDcmtk = m_dir / "dcmdjpeg.dcm";
    ASSERT_EQ(RunShell("dcmdjpeg " + ours + " " + byDcmtk).exitCode, 0);
    const std::vector<uint8_t> dcmtkDecode = Bitmaps(byDcmtk);
    ASSERT_EQ(dcmtkDecode.size(), original.size());
    EXPECT_LE(MaxDifference(ourDecode, dcmtkDecode), 2) << source;

    // +sr: DCMTK otherwise stretches a grey image's pixel range before coding.
    const std::string theirs = m_dir / "dcmcjpeg.dcm";
    ASSERT_EQ(RunShell("dcmcjpeg +eb +sr " + source + " " + theirs).exitCode, 0);
    const std::vector<uint8_t> ourDecodeOfTheirs = Bitmaps(theirs);
    ASSERT_EQ(ourDecodeOfTheirs.size(), original.size()) << source;
    EXPECT_GE(Psnr(original, ourDecodeOfTheirs), 35.0) << source;
    const std::string theirsDecoded = m_dir / "dcmcjpeg-dcmdjpeg.dcm";
    ASSERT_EQ(RunShell("dcmdjpeg " + theirs + " " + theirsDecoded).exitCode, 0);
    EXPECT_LE(MaxDifference(ourDecodeOfTheirs, Bitmaps(theirsDecoded)), 2) << source;
  }
}

/// The top-level element tags dcmdump prints for `path`, meta group
/// included (the delimiter it shows after encapsulated pixel data is not
/// an element).
std::vector<std::string> DcmdumpTags(const std::string& path) {
  const CommandResult dump = RunShell("dcmdump " + path);
  EXPECT_EQ(dump.exitCode, 0) << path << ": " << dump.err;
  EXPECT_EQ(dump.err, "") << path;
  std::vector<std::string> tags;
  std::istringstream lines(dump.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.size() > 11 && line[0] == '(' && line[5] == ',' && line[10] == ')' && line.rfind("(fffe,", 0) != 0) {
      tags.push_back(line.substr(0, 11));
    }
  }
  return tags;
}

// Private groups and trailing padding after the pixel data were once lost
// by every conversion (the source was read only up to the pixel data).
TEST_F(PixelPeerInterop, ElementsAfterThePixelDataSurviveConversions) {
  ImageRecipe recipe;
  recipe.columns = 13;
  recipe.rows = 7;
  recipe.samples = 3;
  recipe.photometric = "RGB";
  recipe.frames = 2;
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  const uint32_t groupLength = 0;  // refreshed by the writer
  ASSERT_TRUE(test::Succeeded(object.AddValue(0x7FE00000, vr::UL, &groupLength, 4)));
  ASSERT_TRUE(test::Succeeded(object.AddString(0x7FE10010, vr::LO, "QUILLON TEST")));
  const std::string privateBytes = "private bytes after the pixels";
  ASSERT_TRUE(test::Succeeded(object.AddValue(0x7FE11001, vr::OB, privateBytes.data(), static_cast<uint32_t>(privateBytes.size()))));
  const std::string padding(64, '\0');
  ASSERT_TRUE(test::Succeeded(object.AddValue(0xFFFCFFFC, vr::OB, padding.data(), static_cast<uint32_t>(padding.size()))));
  const std::string source = m_dir / "trailing.dcm";
  ASSERT_TRUE(test::Succeeded(SaveDicomFile(object, source)));

  // Everything but the group length of the pixel data, which the
  // conversion drops with the pixel data it described.
  std::vector<std::string> expected = DcmdumpTags(source);
  ASSERT_EQ(expected.size(), object.ElementCount());
  expected.erase(std::find(expected.begin(), expected.end(), "(7fe0,0000)"));
  ASSERT_EQ(expected.back(), "(fffc,fffc)");

  // Native to encapsulated, encapsulated to native (the source's fragments
  // are stepped over to reach the elements after them), and into implicit
  // VR: the same elements, in the same order, the trailing ones last.
  const std::string rle = m_dir / "trailing-rle.dcm";
  const std::string plain = m_dir / "trailing-plain.dcm";
  const std::string implicit = m_dir / "trailing-implicit.dcm";
  ConversionOptions toImplicit;
  toImplicit.transferSyntaxChoice = TransferSyntaxChoice::Implicit;
  ASSERT_EQ(ConvertPixelDataFile({}, source, rle, ConversionMode::Rle, false), DCT_STATUS::Success);
  ASSERT_EQ(ConvertPixelDataFile({}, rle, plain, ConversionMode::Uncompressed, false), DCT_STATUS::Success);
  ASSERT_EQ(ConvertPixelDataFile(toImplicit, plain, implicit, ConversionMode::RgbPixelInterleave, false),
            DCT_STATUS::Success);
  for (const std::string& out : {rle, plain, implicit}) {
    SCOPED_TRACE(out);
    EXPECT_EQ(DcmdumpTags(out), expected);
    // dcmdump sorts by tag; the bytes show where the elements really are:
    // the private value follows the pixel data, the padding ends the file.
    const std::string bytes = ReadBytes(out);
    const size_t privateValue = bytes.find(privateBytes);
    ASSERT_NE(privateValue, std::string::npos);
    EXPECT_GT(privateValue, bytes.size() - privateBytes.size() - padding.size() - 64);
    EXPECT_EQ(bytes.substr(bytes.size() - padding.size()), padding);
    // And the pixels came through.
    EXPECT_EQ(Bitmaps(out), Bitmaps(source));
  }
}

TEST_F(PixelPeerInterop, DciodvfyFindsNoEncodingErrors) {
  if (!HaveTool("dciodvfy")) GTEST_SKIP() << "dciodvfy is not installed";
  for (uint32_t mode : {0u, 2u, 3u, 4u}) {
    const std::string out = m_dir / ("v" + std::to_string(mode) + ".dcm");
    ASSERT_EQ(ConvertPixelDataFile({}, m_rgb, out, static_cast<ConversionMode>(mode), false), DCT_STATUS::Success);
    const CommandResult check = RunShell("dciodvfy " + out + " 2>&1");
    // Synthetic sources lack attributes their IOD wants; what must never
    // appear are complaints about the encoding itself.
    for (const char* problem : {"length", "Length", "padding", "Padding", "delimit", "Delimit", "Bad tag",
                                "Value Representation", "VR"}) {
      std::istringstream lines(check.out);
      std::string line;
      while (std::getline(lines, line)) {
        if (line.find("Error") != std::string::npos && line.find(problem) != std::string::npos) {
          ADD_FAILURE() << "mode " << mode << ": " << line;
        }
      }
    }
  }
}

}  // namespace
