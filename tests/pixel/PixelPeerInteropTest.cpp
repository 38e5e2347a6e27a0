// Our pixel conversions against DCMTK and GDCM: every file we write parses
// without complaint, what we compress their tools decompress to the pixels
// we decompress (RLE exactly, JPEG within 2 levels), and what they compress
// we decompress to the pixels they do.
#include "dicom/DicomElement.h"
#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "dicom/ValueRepresentation.h"
#include "pixel/JpegPixelCodec.h"
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

using Bytes = std::vector<uint8_t>;

/// Every frame of `path` as display bitmaps, one after another; `quality`
/// gets the JPEG codec's estimate of the frames' quality.
Bytes Bitmaps(const std::string& path, int32_t* quality = nullptr) {
  CPixelImage image;
  if (!image.OpenFile(path)) return {};
  Bytes all;
  Bytes frame(image.FrameSize());
  for (int32_t f = 0; f < image.NumberOfFrames(); ++f) {
    uint64_t length = 0;
    if (image.ReadFrame(f, frame.data(), frame.size(), length) != FrameStatus::Success) return {};
    all.insert(all.end(), frame.begin(), frame.end());
  }
  const auto* jpeg = dynamic_cast<const CJpegPixelCodec*>(image.Codec());
  if (quality != nullptr) *quality = jpeg != nullptr ? jpeg->Quality() : -1;
  return all;
}

double Psnr(const Bytes& a, const Bytes& b) { return Psnr8(a.data(), b.data(), a.size(), 1, a.size()); }

int MaxDifference(const Bytes& a, const Bytes& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int{a[i]} - int{b[i]}));
  return worst;
}

class PixelPeerInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"dcmdump", "dcmdrle", "dcmcrle", "dcmdjpeg", "dcmcjpeg", "img2dcm"}) {
      if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    m_gdcm = HaveTool("gdcmconv");
    ImageRecipe rgb;
    rgb.columns = 67;  // not a multiple of 4: bitmap rows carry padding
    rgb.rows = 41;
    rgb.samples = 3;
    rgb.photometric = "RGB";
    rgb.frames = 3;
    ImageRecipe grey;
    grey.columns = 64;
    grey.rows = 48;
    grey.frames = 2;
    ImageRecipe wide;  // rows longer than a 128-byte run
    wide.columns = 301;
    wide.rows = 40;
    ImageRecipe ybr = rgb;  // YBR_FULL by pixel, which RLE files hold by plane
    ybr.columns = 30;
    ybr.rows = 10;
    ybr.photometric = "YBR_FULL";
    for (const auto& [path, recipe] : {std::pair{m_rgb, rgb}, {m_grey, grey}, {m_wide, wide}, {m_ybr, ybr}}) {
      ASSERT_FALSE(MakeImageFile(path, recipe).empty());
    }
  }

  /// Runs `command`, which must succeed without a word on standard error.
  static void Run(const std::string& command) {
    const CommandResult result = RunShell(command);
    EXPECT_EQ(result.exitCode, 0) << command << ": " << result.err;
    EXPECT_EQ(result.err, "") << command;
  }

  TempDir m_dir{"pixel-peers"};
  std::string m_rgb = m_dir / "rgb.dcm";
  std::string m_grey = m_dir / "grey.dcm";
  std::string m_wide = m_dir / "wide.dcm";
  std::string m_ybr = m_dir / "ybr.dcm";
  bool m_gdcm = false;  ///< GDCM's tools are installed
};

// Every mode, in colour and monochrome: DCMTK parses the file, and the
// peers decompress what we compressed to what we decompress it to. What we
// decompress is the source: exactly, or close where YBR_FULL rounds or
// JPEG loses. Our bare JPEG frame, wrapped by img2dcm, decodes the same.
TEST_F(PixelPeerInterop, EveryModeGivesAFilePeersReadAndDecodeAsWeDo) {
  for (const std::string& source : {m_rgb, m_grey, m_wide}) {
    const Bytes original = Bitmaps(source);
    ASSERT_FALSE(original.empty());
    for (uint32_t mode = 0; mode <= 6; ++mode) {
      for (const bool monochrome : {false, true}) {
        SCOPED_TRACE(source + ", mode " + std::to_string(mode) + (monochrome ? ", monochrome" : ""));
        const auto conversion = static_cast<ConversionMode>(mode);
        const std::string out = m_dir / "out.dcm";
        ASSERT_EQ(ConvertPixelDataFile({}, source, out, conversion, monochrome), DCT_STATUS::Success);
        Run("dcmdump " + out + " >/dev/null");
        int32_t quality = 0;
        const Bytes ours = Bitmaps(out, &quality);
        ASSERT_FALSE(ours.empty());
        if (!monochrome) {
          ASSERT_EQ(ours.size(), original.size());
          if (conversion == ConversionMode::JpegLossy) {
            EXPECT_GE(Psnr(original, ours), 35.0);
          } else if (conversion == ConversionMode::YbrFull || conversion == ConversionMode::YbrFullRle) {
            EXPECT_GE(Psnr(original, ours), 40.0);
          } else {
            EXPECT_EQ(ours, original);
          }
        }
        CDicomObject result;
        ASSERT_TRUE(test::LoadInto(result, out, false));
        std::string syntax;
        (void)result.GetString(tags::kTransferSyntaxUid, syntax);
        std::vector<std::string> decoders;
        // gdcmconv cannot write YBR_FULL RLE out uncompressed, DCMTK's own neither.
        if (syntax == "1.2.840.10008.1.2.5") decoders = {"dcmdrle"};
        if (conversion == ConversionMode::Rle && m_gdcm) decoders.push_back("gdcmconv --raw");
        if (syntax == "1.2.840.10008.1.2.4.50") {
          decoders = {"dcmdjpeg"};
          EXPECT_EQ(quality, 85);
          CDicomElement* element = nullptr;
          ASSERT_EQ(result.GetElement(tags::kPixelData, &element), DicomStatus::Success);
          const auto* fragments = dynamic_cast<const CDicomEncapsulatedPixelData*>(element);
          ASSERT_TRUE(fragments != nullptr && fragments->GetItemCount() > 1);
          const CDicomElement* frame = fragments->GetItem(1);
          WriteText(m_dir / "frame.jpg", std::string(frame->GetValue(), frame->GetValue() + frame->GetLength()));
          Run("img2dcm -i JPEG " + (m_dir / "frame.jpg") + " " + (m_dir / "wrapped.dcm"));
          Run("dcmdjpeg " + (m_dir / "wrapped.dcm") + " " + (m_dir / "wrapped-plain.dcm"));
          const Bytes wrapped = Bitmaps(m_dir / "wrapped-plain.dcm");
          ASSERT_TRUE(!wrapped.empty() && ours.size() % wrapped.size() == 0);  // img2dcm kept size and samples
          EXPECT_LE(MaxDifference(wrapped, Bytes(ours.begin(), ours.begin() + static_cast<long>(wrapped.size()))), 2);
        }
        for (const std::string& decoder : decoders) {
          SCOPED_TRACE(decoder);
          const std::string decoded = m_dir / "decoded.dcm";
          Run(decoder + " " + out + " " + decoded);
          Run("dcmdump " + decoded + " >/dev/null");
          const Bytes theirs = Bitmaps(decoded);
          ASSERT_EQ(theirs.size(), ours.size());
          EXPECT_LE(MaxDifference(theirs, ours), decoder == "dcmdjpeg" ? 2 : 0);
        }
      }
    }
  }
}

// What DCMTK and GDCM compress we decompress as they do: RLE exactly to the
// source (YBR_FULL by pixel too), JPEG within 2 levels of dcmdjpeg, with the
// quality it was made at.
TEST_F(PixelPeerInterop, PeerCompressedFilesDecodeAsThePeersDecodeThem) {
  const struct {
    std::string source;
    const char* compress;
  } cases[] = {
      {m_rgb, "dcmcrle"},         {m_grey, "dcmcrle"},         {m_wide, "dcmcrle"},
      {m_ybr, "dcmcrle"},         {m_rgb, "gdcmconv --rle"},   {m_grey, "gdcmconv --rle"},
      {m_wide, "gdcmconv --rle"}, {m_rgb, "dcmcjpeg +eb +sr +q 85"}, {m_grey, "dcmcjpeg +eb +sr +q 85"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source + ", " + c.compress);
    if (!m_gdcm && std::string(c.compress).rfind("gdcm", 0) == 0) continue;
    const std::string theirs = m_dir / "theirs.dcm";
    // +sr: dcmcjpeg otherwise stretches a grey image's pixel range before coding.
    ASSERT_EQ(RunShell(std::string(c.compress) + " " + c.source + " " + theirs).exitCode, 0);
    const Bytes original = Bitmaps(c.source);
    int32_t quality = 0;
    const Bytes ours = Bitmaps(theirs, &quality);
    if (std::string(c.compress).rfind("dcmcjpeg", 0) != 0) {
      EXPECT_EQ(ours, original);
      continue;
    }
    ASSERT_EQ(ours.size(), original.size());
    EXPECT_GE(Psnr(original, ours), 35.0);
    EXPECT_EQ(quality, 85);
    Run("dcmdjpeg " + theirs + " " + (m_dir / "theirs-plain.dcm"));
    const Bytes decoded = Bitmaps(m_dir / "theirs-plain.dcm");
    ASSERT_EQ(decoded.size(), ours.size());
    EXPECT_LE(MaxDifference(ours, decoded), 2);
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
    EXPECT_EQ(Bitmaps(out), Bitmaps(source));
  }
}

TEST_F(PixelPeerInterop, DciodvfyFindsNoEncodingErrors) {
  if (!HaveTool("dciodvfy")) GTEST_SKIP() << "dciodvfy is not installed";
  for (const uint32_t mode : {0u, 2u, 3u, 4u}) {
    const std::string out = m_dir / ("v" + std::to_string(mode) + ".dcm");
    ASSERT_EQ(ConvertPixelDataFile({}, m_rgb, out, static_cast<ConversionMode>(mode), false), DCT_STATUS::Success);
    // Synthetic sources lack attributes their IOD wants; what must never
    // appear are complaints about the encoding itself.
    std::istringstream lines(RunShell("dciodvfy " + out + " 2>&1").out);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.find("Error") == std::string::npos) continue;
      for (const char* problem : {"length", "Length", "padding", "Padding", "delimit", "Delimit", "Bad tag",
                                  "Value Representation", "VR"}) {
        if (line.find(problem) != std::string::npos) ADD_FAILURE() << "mode " << mode << ": " << line;
      }
    }
  }
}

}  // namespace
