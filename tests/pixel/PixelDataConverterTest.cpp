#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomEncapsulatedPixelData.h"
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
    const std::string path = m_dir / name;
    EXPECT_FALSE(MakeImageFile(path, recipe).empty());
    return path;
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

TEST_F(PixelDataConverter, SixteenBitImagesAreRefusedAndNothingIsWritten) {
  ImageRecipe recipe;
  recipe.bitsAllocated = 16;
  recipe.bitsStored = 12;
  const std::string source = Make("ct.dcm", recipe);
  const std::string before = ReadBytes(source);
  for (uint32_t mode = 0; mode <= 6; ++mode) {
    EXPECT_EQ(ConvertPixelDataFile({}, source, m_dir / "out.dcm", static_cast<ConversionMode>(mode), false),
              DCT_STATUS::HeaderFailed);
  }
  EXPECT_FALSE(std::filesystem::exists(m_dir / "out.dcm"));
  EXPECT_EQ(FileCount(), 1u);
  EXPECT_EQ(ReadBytes(source), before);
}

TEST_F(PixelDataConverter, JpegOfAColourImageRewritesTheHeader) {
  const std::string source = Make("rgb.dcm", Rgb());
  ASSERT_EQ(ConvertPixelDataFile({}, source, m_dir / "jpeg.dcm", ConversionMode::JpegLossy, false),
            DCT_STATUS::Success);
  CDicomObject result;
  ASSERT_TRUE(test::LoadInto(result, m_dir / "jpeg.dcm", false));
  EXPECT_EQ(StringOf(result, tags::kTransferSyntaxUid), "1.2.840.10008.1.2.4.50");
  EXPECT_EQ(StringOf(result, 0x00280004), "YBR_FULL_422");
  uint16_t planar = 9;
  EXPECT_EQ(result.GetUInt16(0x00280006, planar), DicomStatus::Success);
  EXPECT_EQ(planar, 1);
  EXPECT_EQ(StringOf(result, 0x00282110), "01");
  EXPECT_EQ(StringOf(result, 0x00080008), "DERIVED\\SECONDARY");
  CDicomElement* element = nullptr;
  ASSERT_EQ(result.GetElement(tags::kPixelData, &element), DicomStatus::Success);
  auto* pixels = dynamic_cast<CDicomEncapsulatedPixelData*>(element);
  ASSERT_NE(pixels, nullptr);
  ASSERT_EQ(pixels->GetItemCount(), 3u);  // empty offset table and one fragment per frame
  EXPECT_EQ(pixels->GetItem(0)->GetLength(), 0u);
}

TEST_F(PixelDataConverter, GreyImagesOnlyChangeTheTransferSyntax) {
  ImageRecipe recipe;
  recipe.imageType = "DERIVED\\PRIMARY";
  const std::string source = Make("grey.dcm", recipe);
  ASSERT_EQ(ConvertPixelDataFile({}, source, m_dir / "jpeg.dcm", ConversionMode::JpegLossy, false),
            DCT_STATUS::Success);
  CDicomObject result;
  ASSERT_TRUE(test::LoadInto(result, m_dir / "jpeg.dcm", false));
  EXPECT_EQ(StringOf(result, tags::kTransferSyntaxUid), "1.2.840.10008.1.2.4.50");
  EXPECT_EQ(StringOf(result, 0x00280004), "MONOCHROME2");
  EXPECT_FALSE(result.Contains(0x00282110));
  EXPECT_EQ(StringOf(result, 0x00080008), "DERIVED\\PRIMARY");
}

TEST_F(PixelDataConverter, MonochromeRleGetsNewInstanceUids) {
  const std::string source = Make("rgb.dcm", Rgb());
  ASSERT_EQ(ConvertPixelDataFile({}, source, m_dir / "mono.dcm", ConversionMode::Rle, true), DCT_STATUS::Success);
  CDicomObject result;
  ASSERT_TRUE(test::LoadInto(result, m_dir / "mono.dcm", false));
  EXPECT_EQ(StringOf(result, 0x00280004), "MONOCHROME2");
  uint16_t samples = 0;
  EXPECT_EQ(result.GetUInt16(0x00280002, samples), DicomStatus::Success);
  EXPECT_EQ(samples, 1);
  EXPECT_FALSE(result.Contains(0x00280006));
  const std::string uid = StringOf(result, tags::kSopInstanceUid);
  EXPECT_EQ(StringOf(result, tags::kMediaStorageSopInstanceUid), uid);
  EXPECT_NE(uid, "1.2.826.0.1.3680043.2.1125.7.0");
  CPixelImage image;
  ASSERT_TRUE(image.OpenFile(m_dir / "mono.dcm"));
  std::vector<uint8_t> bitmap(image.FrameSize());
  uint64_t length = 0;
  EXPECT_EQ(image.ReadFrame(1, bitmap.data(), bitmap.size(), length), FrameStatus::Success);
}

TEST_F(PixelDataConverter, UnchangedChoiceOfACompressedSourceGivesExplicit) {
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
  // Lossless both ways: the pixels are those of the source.
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
  EXPECT_EQ(FileCount(), 3u);  // junk, out, short: no temporary file left
}

TEST_F(PixelDataConverter, ProgressIsReportedPerFrame) {
  const std::string source = Make("rgb.dcm", Rgb(4));
  std::vector<int> seen;
  ASSERT_EQ(ConvertPixelDataFile({}, source, m_dir / "out.dcm", ConversionMode::RgbPlanar, false,
                                 [&seen](int32_t done, int32_t total) {
                                   EXPECT_EQ(total, 4);
                                   seen.push_back(done);
                                   return true;
                                 }),
            DCT_STATUS::Success);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(PixelDataConverter, CancelledConversionLeavesNothingAndSaysSo) {
  const std::string source = Make("rgb.dcm", Rgb(4));
  // Stopped midway, and stopped after the last frame (before the file is
  // committed): no destination, no temporary file, a result of its own.
  for (const int stopAt : {2, 4}) {
    std::vector<int> seen;
    const auto stop = [&seen, stopAt](int32_t done, int32_t /*total*/) {
      seen.push_back(done);
      return done < stopAt;
    };
    EXPECT_EQ(ConvertPixelDataFile({}, source, m_dir / "out.dcm", ConversionMode::Rle, false, stop),
              DCT_STATUS::Cancelled);
    EXPECT_EQ(seen.back(), stopAt);  // no frame converted after the answer
    EXPECT_FALSE(std::filesystem::exists(m_dir / "out.dcm"));
    EXPECT_EQ(FileCount(), 1u);
  }
  // An older file at the destination is kept.
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
