// ConvertPixelDataFile: the header each conversion writes, lossless round
// trips, and failures and cancellations, which leave no destination (and
// keep an older one) and no temporary file. What peers make of the files:
// PixelPeerInteropTest.cpp.
#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "pixel/PixelDataConverter.h"
#include "pixel/PixelImage.h"
#include "support/DicomFiles.h"
#include "support/ImageFixtures.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace quillon;
using namespace quillon::test;

namespace {

std::string StringOf(const CDicomObject& object, DicomTag tag) {
  std::string value;
  (void)object.GetString(tag, value);
  return value;
}

class PixelDataConverter : public ::testing::Test {
 protected:
  std::string Make(const std::string& name, const ImageRecipe& recipe) {
    EXPECT_FALSE(MakeImageFile(m_dir / name, recipe).empty());
    return m_dir / name;
  }
  static ImageRecipe Rgb(int frames = 2) {
    ImageRecipe recipe;
    recipe.columns = 21;
    recipe.rows = 9;
    recipe.samples = 3;
    recipe.photometric = "RGB";
    recipe.frames = frames;
    return recipe;
  }
  size_t FileCount() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}));
  }
  TempDir m_dir{"converter"};
};

// JPEG of a colour image says YBR_FULL_422 by plane, lossy and derived;
// a grey image keeps its photometric interpretation and image type; RLE to
// monochrome is derived, with one sample and new instance UIDs.
TEST_F(PixelDataConverter, EachConversionRewritesTheHeader) {
  ImageRecipe grey;
  grey.imageType = "DERIVED\\PRIMARY";
  const struct {
    const char* name;
    ImageRecipe recipe;
    ConversionMode mode;
    bool monochrome;
    const char* syntax;
    const char* photometric;
    int planar;  // -1: none
    const char* lossy;
    const char* imageType;
  } cases[] = {
      {"rgb-jpeg", Rgb(), ConversionMode::JpegLossy, false, "1.2.840.10008.1.2.4.50", "YBR_FULL_422", 1, "01",
       "DERIVED\\SECONDARY"},
      {"grey-jpeg", grey, ConversionMode::JpegLossy, false, "1.2.840.10008.1.2.4.50", "MONOCHROME2", -1, "",
       "DERIVED\\PRIMARY"},
      {"rgb-mono-rle", Rgb(), ConversionMode::Rle, true, "1.2.840.10008.1.2.5", "MONOCHROME2", -1, "",
       "DERIVED\\SECONDARY"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = m_dir / (std::string(c.name) + "-out.dcm");
    ASSERT_EQ(ConvertPixelDataFile({}, Make(std::string(c.name) + ".dcm", c.recipe), out, c.mode, c.monochrome),
              DCT_STATUS::Success);
    CDicomObject result;
    ASSERT_TRUE(test::LoadInto(result, out, false));
    EXPECT_EQ(StringOf(result, tags::kTransferSyntaxUid), c.syntax);
    EXPECT_EQ(StringOf(result, 0x00280004), c.photometric);
    uint16_t planar = 9;
    EXPECT_EQ(result.GetUInt16(0x00280006, planar) == DicomStatus::Success, c.planar >= 0);
    if (c.planar >= 0) {
      EXPECT_EQ(planar, c.planar);
    }
    EXPECT_EQ(result.Contains(0x00282110), *c.lossy != '\0');
    EXPECT_EQ(StringOf(result, 0x00282110), c.lossy);
    EXPECT_EQ(StringOf(result, 0x00080008), c.imageType);
    uint16_t samples = 0;
    EXPECT_EQ(result.GetUInt16(0x00280002, samples), DicomStatus::Success);
    EXPECT_EQ(samples, c.recipe.samples == 3 && !c.monochrome ? 3 : 1);
    CDicomElement* element = nullptr;
    ASSERT_EQ(result.GetElement(tags::kPixelData, &element), DicomStatus::Success);
    auto* pixels = dynamic_cast<CDicomEncapsulatedPixelData*>(element);
    ASSERT_NE(pixels, nullptr);
    // An empty offset table and one fragment per frame.
    ASSERT_EQ(pixels->GetItemCount(), 1u + static_cast<size_t>(c.recipe.frames));
    EXPECT_EQ(pixels->GetItem(0)->GetLength(), 0u);
    const std::string uid = StringOf(result, tags::kSopInstanceUid);
    EXPECT_EQ(StringOf(result, tags::kMediaStorageSopInstanceUid), uid);
    if (c.monochrome) {
      EXPECT_NE(uid, "1.2.826.0.1.3680043.2.1125.7.0");
    }
    CPixelImage image;
    ASSERT_TRUE(image.OpenFile(out));
    std::vector<uint8_t> bitmap(image.FrameSize());
    uint64_t length = 0;
    EXPECT_EQ(image.ReadFrame(c.recipe.frames - 1, bitmap.data(), bitmap.size(), length), FrameStatus::Success);
  }
}

TEST_F(PixelDataConverter, UnchangedChoiceOfACompressedSourceGivesExplicitAndTheSamePixels) {
  ImageRecipe recipe;
  recipe.transferSyntax = "1.2.840.10008.1.2";
  const std::string source = Make("implicit.dcm", recipe);
  ConversionOptions implicit;
  implicit.transferSyntaxChoice = TransferSyntaxChoice::Implicit;
  ASSERT_EQ(ConvertPixelDataFile(implicit, source, m_dir / "rle.dcm", ConversionMode::Rle, false),
            DCT_STATUS::Success);
  ASSERT_EQ(ConvertPixelDataFile({}, m_dir / "rle.dcm", m_dir / "plain.dcm", ConversionMode::Uncompressed, false),
            DCT_STATUS::Success);
  CDicomObject result;
  ASSERT_TRUE(test::LoadInto(result, m_dir / "plain.dcm", false));
  EXPECT_EQ(StringOf(result, tags::kTransferSyntaxUid), "1.2.840.10008.1.2.1");
  CDicomObject original;
  ASSERT_TRUE(test::LoadInto(original, source, false));
  uint32_t lengthA = 0;
  uint32_t lengthB = 0;
  const uint8_t* a = nullptr;
  const uint8_t* b = nullptr;
  ASSERT_EQ(original.GetValue(tags::kPixelData, lengthA, &a), DicomStatus::Success);
  ASSERT_EQ(result.GetValue(tags::kPixelData, lengthB, &b), DicomStatus::Success);
  ASSERT_EQ(lengthA, lengthB);
  EXPECT_EQ(std::memcmp(a, b, lengthA), 0);
}

TEST_F(PixelDataConverter, FailuresLeaveNoDestinationAndKeepAnOldOne) {
  // Sixteen-bit images are refused by every mode, before anything is written.
  ImageRecipe word;
  word.bitsAllocated = 16;
  word.bitsStored = 12;
  const std::string ct = Make("ct.dcm", word);
  const std::string before = ReadBytes(ct);
  for (uint32_t mode = 0; mode <= 6; ++mode) {
    EXPECT_EQ(ConvertPixelDataFile({}, ct, m_dir / "out.dcm", static_cast<ConversionMode>(mode), false),
              DCT_STATUS::HeaderFailed);
  }
  EXPECT_FALSE(std::filesystem::exists(m_dir / "out.dcm"));
  EXPECT_EQ(ReadBytes(ct), before);
  WriteText(m_dir / "junk.dcm", "not dicom");
  WriteText(m_dir / "out.dcm", "previous");
  EXPECT_NE(ConvertPixelDataFile({}, m_dir / "junk.dcm", m_dir / "out.dcm", ConversionMode::Rle, false),
            DCT_STATUS::Success);
  EXPECT_NE(ConvertPixelDataFile({}, m_dir / "missing.dcm", m_dir / "out.dcm", ConversionMode::Rle, false),
            DCT_STATUS::Success);
  // Announces more frames than its pixel data holds: fails midway.
  ImageRecipe recipe;
  recipe.frames = 3;
  CDicomObject object;
  std::vector<uint8_t> pixels = MakePixelBytes(recipe);
  pixels.resize(pixels.size() / 2);
  FillImageObject(object, recipe, pixels);
  ASSERT_TRUE(SaveDicomFile(object, m_dir / "short.dcm"));
  EXPECT_EQ(ConvertPixelDataFile({}, m_dir / "short.dcm", m_dir / "out.dcm", ConversionMode::Rle, false),
            DCT_STATUS::ReadFailed);
  EXPECT_EQ(ReadBytes(m_dir / "out.dcm"), "previous");
  EXPECT_EQ(FileCount(), 4u);  // ct, junk, out, short: no temporary file left
}

// Progress is reported per frame. Stopped midway, and stopped after the
// last frame (before the file is committed): no destination, no temporary
// file, a result of its own; an older file at the destination is kept.
TEST_F(PixelDataConverter, ProgressCountsFramesAndCancellingLeavesNothing) {
  const std::string source = Make("rgb.dcm", Rgb(4));
  for (const int stopAt : {2, 4, 5}) {
    std::vector<int> seen;
    const auto progress = [&seen, stopAt](int32_t done, int32_t total) {
      EXPECT_EQ(total, 4);
      seen.push_back(done);
      return done < stopAt;
    };
    const auto mode = stopAt == 5 ? ConversionMode::RgbPlanar : ConversionMode::Rle;
    EXPECT_EQ(ConvertPixelDataFile({}, source, m_dir / "out.dcm", mode, false, progress),
              stopAt == 5 ? DCT_STATUS::Success : DCT_STATUS::Cancelled);
    EXPECT_EQ(seen, (stopAt == 2 ? std::vector<int>{1, 2} : std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(std::filesystem::exists(m_dir / "out.dcm"), stopAt == 5);
    EXPECT_EQ(FileCount(), stopAt == 5 ? 2u : 1u);
  }
  WriteText(m_dir / "out.dcm", "previous");
  EXPECT_EQ(ConvertPixelDataFile({}, source, m_dir / "out.dcm", ConversionMode::Rle, false,
                                 [](int32_t, int32_t) { return false; }),
            DCT_STATUS::Cancelled);
  EXPECT_EQ(ReadBytes(m_dir / "out.dcm"), "previous");
  EXPECT_EQ(FileCount(), 2u);
  const std::string cancelled = DescribeConversionStatus(DCT_STATUS::Cancelled);
  EXPECT_NE(cancelled.find("cancelled"), std::string::npos);
  for (uint32_t other = 0; other < static_cast<uint32_t>(DCT_STATUS::Cancelled); ++other) {
    EXPECT_NE(DescribeConversionStatus(static_cast<DCT_STATUS>(other)), cancelled);
  }
}

}  // namespace
