// Conversions through the frame encoders, checked against what no one here
// wrote: DCMTK (dcmdrle, dcmdjpeg) and GDCM (gdcmconv --raw) must decode our
// RLE and lossless JPEG files of every depth to the source's samples, real
// files from pydicom among the sources. Also the header a conversion
// writes (offset table, planar configuration, lossy attributes) and the
// command line's exit codes.
#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomObject.h"
#include "pixel/PixelDataConverter.h"
#include "pixel/PixelImage.h"
#include "support/DicomFiles.h"
#include "support/EncoderSamples.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quillon {
namespace {

using Bytes = std::vector<uint8_t>;
using test::RunShell;

const std::string kPydicom = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";
const std::string kCli = QUILLON_CLI_PATH;

/// Every frame of `path` as native samples, read by our own reader.
Bytes NativeFrames(const std::string& path, NativeFrameFormat* format = nullptr) {
  CPixelImage image;
  if (!image.OpenFileForNativeFrames(path) || !image.HasNativeFrames()) return {};
  if (format != nullptr) *format = image.NativeFormat();
  Bytes all;
  Bytes frame(image.NativeFormat().FrameSize());
  for (int32_t f = 0; f < image.NumberOfFrames(); ++f) {
    uint64_t length = 0;
    if (image.ReadNativeFrame(f, frame.data(), frame.size(), length) != FrameStatus::Success) return {};
    all.insert(all.end(), frame.begin(), frame.end());
  }
  return all;
}

/// The peers that decode `mode`'s output to an uncompressed file, as
/// commands taking IN OUT; only those installed. GDCM writes no
/// multi-frame Secondary Capture, whatever its source, and puts the byte
/// planes of colour RLE wider than 8 bits in another order than DCMTK,
/// pydicom and we do (pydicom's SC_rgb_rle_16bit.dcm shows it too).
std::vector<std::string> Peers(ConversionMode mode, bool withGdcm) {
  std::vector<std::string> peers;
  const char* dcmtk = mode == ConversionMode::Rle ? "dcmdrle" : "dcmdjpeg";
  if (test::HaveTool(dcmtk)) peers.emplace_back(dcmtk);
  if (withGdcm && test::HaveTool("gdcmconv")) peers.emplace_back("gdcmconv --raw");
  return peers;
}

/// Checks that our reader and every peer decode `encoded` to `expected`
/// (compared as Bits Stored bits for lossless JPEG).
void ExpectDecodedByAll(const test::TempDir& dir, const std::string& encoded, const Bytes& expected,
                        const NativeFrameFormat& format, ConversionMode mode, bool withGdcm = true) {
  withGdcm = withGdcm && !(mode == ConversionMode::Rle && format.samplesPerPixel == 3 && format.bitsAllocated > 8);
  auto same = [&](const Bytes& decoded) {
    return mode == ConversionMode::Rle ? decoded == expected
                                       : test::MaskedToBitsStored(format, decoded) ==
                                             test::MaskedToBitsStored(format, expected);
  };
  EXPECT_TRUE(same(NativeFrames(encoded))) << "our decoder";
  for (const std::string& peer : Peers(mode, withGdcm)) {
    const std::string decoded = dir / "peer.dcm";
    const test::CommandResult run = RunShell(peer + " " + encoded + " " + decoded);
    ASSERT_EQ(run.exitCode, 0) << peer << ": " << run.err;
    EXPECT_TRUE(same(NativeFrames(decoded))) << peer;
  }
}

TEST(EncodedConversion, EveryDepthIsDecodedExactlyByUsAndByPeers) {
  test::TempDir dir("encoded-depths");
  for (const test::DepthCase& depth : test::kDepthCases) {
    for (const uint32_t samples : {1u, 3u}) {
      for (const ConversionMode mode : {ConversionMode::Rle, ConversionMode::JpegLossless}) {
        if (mode == ConversionMode::JpegLossless && depth.bitsAllocated == 32) continue;
        const NativeFrameFormat format{33, 9, samples, depth.bitsAllocated, depth.bitsStored, depth.signedSamples,
                                       samples == 3 ? "RGB" : "MONOCHROME2"};
        SCOPED_TRACE(depth.name + std::string(samples == 3 ? " RGB " : " grey ") +
                     (mode == ConversionMode::Rle ? "RLE" : "JPEG Lossless"));
        for (const int frames : {2, 1}) {  // GDCM only on one frame
          const Bytes source = test::MakeNativeImageFile(dir / "source.dcm", format, frames);
          std::string error;
          ASSERT_EQ(ConvertPixelDataFile({}, dir / "source.dcm", dir / "encoded.dcm", mode, false, {}, &error),
                    DCT_STATUS::Success) << error;
          ExpectDecodedByAll(dir, dir / "encoded.dcm", source, format, mode, frames == 1);
        }
      }
    }
  }
}

TEST(EncodedConversion, RealFilesOfEveryDepthAreDecodedExactlyByPeers) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"CT_small.dcm", "rle"},                       // 16-bit signed
      {"CT_small.dcm", "jpeg-lossless"},             //
      {"MR_small_bigendian.dcm", "jpeg-lossless"},   // big endian source
      {"MR_small_RLE.dcm", "jpeg-lossless"},         // decoded from RLE
      {"JPEG2000.dcm", "rle"},                       // decoded from JPEG 2000
      {"SC_rgb_rle_16bit.dcm", "jpeg-lossless"},
      {"SC_rgb_rle_32bit.dcm", "rle"},               // 32-bit colour, no display codec
      {"SC_rgb_rle.dcm", "jpeg-lossless"},           // 8-bit RLE read as native samples
      {"rtdose.dcm", "rle"},                         // 32-bit, 15 frames, implicit VR
      {"SC_rgb_small_odd.dcm", "jpeg-lossless"},     // 8-bit colour, 3x3
  };
  test::TempDir dir("encoded-real");
  for (const auto& [file, modeName] : cases) {
    SCOPED_TRACE(std::string(file) + " " + modeName);
    NativeFrameFormat format;
    const Bytes source = NativeFrames(kPydicom + file, &format);
    ASSERT_FALSE(source.empty());
    const test::CommandResult run =
        RunShell(kCli + " convert " + kPydicom + file + " " + (dir / "out.dcm") + " --mode " + modeName);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const ConversionMode mode = std::string(modeName) == "rle" ? ConversionMode::Rle : ConversionMode::JpegLossless;
    ExpectDecodedByAll(dir, dir / "out.dcm", source, format, mode);
    if (format.samplesPerPixel == 3) {
      EXPECT_NE(RunShell("dcmdump -q " + dir / "out.dcm").out.find("(0028,0006) US 0"), std::string::npos);
    }
  }
}

TEST(EncodedConversion, TheBasicOffsetTableLocatesEveryFrame) {
  test::TempDir dir("encoded-offsets");
  std::string error;
  ASSERT_EQ(ConvertPixelDataFile({}, kPydicom + "rtdose.dcm", dir / "rle.dcm", ConversionMode::Rle, false, {}, &error),
            DCT_STATUS::Success)
      << error;
  CDicomObject object;
  ASSERT_TRUE(test::LoadInto(object, dir / "rle.dcm"));
  CDicomElement* element = nullptr;
  ASSERT_EQ(object.GetElement(tags::kPixelData, &element), DicomStatus::Success);
  const auto* pixels = dynamic_cast<const CDicomEncapsulatedPixelData*>(element);
  ASSERT_NE(pixels, nullptr);
  ASSERT_EQ(pixels->GetItemCount(), 16u);  // the table and 15 frames
  const CDicomElement* table = pixels->GetItem(0);
  ASSERT_EQ(table->GetLength(), 60u);
  uint32_t expected = 0;
  for (size_t f = 0; f < 15; ++f) {
    const uint8_t* entry = table->GetValue() + 4 * f;
    EXPECT_EQ(uint32_t{entry[0]} | entry[1] << 8 | entry[2] << 16 | uint32_t{entry[3]} << 24, expected) << f;
    expected += 8 + pixels->GetItem(f + 1)->GetLength();
  }
}

TEST(EncodedConversion, BaselineJpegIsColourByPixelAndSaysItIsLossy) {
  test::TempDir dir("encoded-jpeg");
  ASSERT_FALSE(test::MakeImageFile(dir / "0.dcm", {.columns = 64, .rows = 48, .samples = 3, .frames = 2,
                                                   .photometric = "RGB"})
                   .empty());
  // Twice: the second step's ratio and method follow the first's.
  std::string previousUid = "1.2.826.0.1.3680043.2.1125.7.0";  // the fixture's
  std::string firstRatio;
  for (const std::string step : {"1", "2"}) {
    const std::string path = dir / (step + ".dcm");
    ASSERT_EQ(ConvertPixelDataFile({}, dir / (step == "1" ? "0.dcm" : "1.dcm"), path, ConversionMode::JpegLossy, false),
              DCT_STATUS::Success);
    CDicomObject object;
    ASSERT_TRUE(test::LoadInto(object, path));
    uint16_t planar = 9;
    EXPECT_EQ(object.GetUInt16(tags::kPlanarConfiguration, planar), DicomStatus::Success);
    EXPECT_EQ(planar, 0);
    std::string flag, ratio, method, uid, mediaUid;
    (void)object.GetString(tags::kLossyImageCompression, flag);
    (void)object.GetString(tags::kLossyImageCompressionRatio, ratio);
    (void)object.GetString(tags::kLossyImageCompressionMethod, method);
    (void)object.GetString(tags::kSopInstanceUid, uid);
    (void)object.GetString(tags::kMediaStorageSopInstanceUid, mediaUid);
    EXPECT_EQ(flag, "01");
    EXPECT_NE(uid, previousUid);
    EXPECT_EQ(uid, mediaUid);
    previousUid = uid;
    EXPECT_EQ(method, step == "1" ? "ISO_10918_1" : "ISO_10918_1\\ISO_10918_1");
    // The last ratio is this step's: 8-bit samples over the fragments.
    CDicomElement* element = nullptr;
    ASSERT_EQ(object.GetElement(tags::kPixelData, &element), DicomStatus::Success);
    const auto& pixels = dynamic_cast<const CDicomEncapsulatedPixelData&>(*element);
    uint64_t compressed = 0;
    for (size_t i = 1; i < pixels.GetItemCount(); ++i) compressed += pixels.GetItem(i)->GetLength();
    const size_t last = ratio.rfind('\\');
    EXPECT_NEAR(std::strtod(ratio.c_str() + (last == std::string::npos ? 0 : last + 1), nullptr),
                64.0 * 48 * 3 * 2 / static_cast<double>(compressed), 1e-4);
    if (step == "1") firstRatio = ratio.substr(0, ratio.find(' '));
    if (step == "2") {
      EXPECT_EQ(ratio.substr(0, ratio.find('\\')), firstRatio);
    }
  }
}

TEST(EncodedConversion, TheCommandLineTellsUsageFromFailure) {
  test::TempDir dir("encoded-cli");
  // Float samples: no lossless JPEG holds them.
  test::ImageRecipe recipe;
  recipe.bitsAllocated = 32;
  recipe.bitsStored = 32;
  CDicomObject floats;
  const Bytes values(16 * 8 * 4, 0x3F);
  test::FillImageObject(floats, recipe, values);
  (void)floats.RemoveElement(tags::kPixelData);
  (void)floats.AddValue(0x7FE00008, vr::OF, values.data(), static_cast<uint32_t>(values.size()));
  ASSERT_TRUE(SaveDicomFile(floats, dir / "float.dcm"));
  struct Case {
    std::string arguments;
    int exitCode;
    const char* message;
  };
  const std::string ct = kPydicom + "CT_small.dcm";
  const std::vector<Case> cases = {
      {dir / "float.dcm" + " --mode jpeg-lossless", 1, "floating point"},
      {kPydicom + "rtdose.dcm --mode jpeg-lossless", 1, "8 or 16 bits allocated"},
      {kPydicom + "liver_1frame.dcm --mode rle", 1, "1 bits allocated"},
      {kPydicom + "rtdose.dcm --mode jpeg-ls", 1, "32"},
      {ct + " --mode rle --near 2", 2, "--near"},
      {ct + " --mode jpeg2000 --rate 0.5", 2, "--rate"},
      {ct + " --mode jpeg-ls --near 300", 2, "--near"},
      {ct + " --mode jpeg-xl", 2, "--mode"},
  };
  for (const Case& c : cases) {
    const test::CommandResult run = RunShell(kCli + " convert " + c.arguments.substr(0, c.arguments.find(' ')) + " " +
                                             (dir / "out.dcm") + c.arguments.substr(c.arguments.find(' ')));
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << ": " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.dcm")) << c.arguments;
  }
}

}  // namespace
}  // namespace quillon
