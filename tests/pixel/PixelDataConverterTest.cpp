// ConvertPixelDataFile: the header each conversion writes, and failures and
// cancellations. What peers make of the files: PixelPeerInteropTest.cpp.
#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomObject.h"
#include "pixel/PixelDataConverter.h"
#include "support/DicomFiles.h"
#include "support/ImageFixtures.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace quillon;
using namespace quillon::test;

namespace {

std::string StringOf(const CDicomObject& object, DicomTag tag) {
  std::string value = "(none)";
  if (object.Contains(tag)) (void)object.GetString(tag, value);
  return value;
}

class PixelDataConverter : public ::testing::Test {
 protected:
  std::string Make(const std::string& name, const ImageRecipe& recipe) {
    EXPECT_FALSE(MakeImageFile(m_dir / name, recipe).empty());
    return m_dir / name;
  }
  size_t FileCount() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}));
  }
  static inline const ImageRecipe kRgb{.columns = 21, .rows = 9, .samples = 3, .frames = 2, .photometric = "RGB"};
  TempDir m_dir{"converter"};
};

// JPEG of a colour image says YBR_FULL_422 by pixel (JPEG frames are), lossy
// and derived, with new instance UIDs; a grey image keeps its photometric
// interpretation and a derived image type, and is lossy too; RLE to
// monochrome is derived, with one sample and new instance UIDs. Every
// compressed result has an empty offset table and one fragment per frame.
// Decompressed with the choice left unchanged, a compressed source (the
// RLE result before) gives explicit VR.
TEST_F(PixelDataConverter, EachConversionRewritesTheHeader) {
  const struct {
    ImageRecipe recipe;  // no columns: the result before is the source
    ConversionMode mode;
    bool monochrome;
    std::vector<std::string> expected;  // syntax, photometric, planar, lossy, image type, samples
  } cases[] = {
      {kRgb, ConversionMode::JpegLossy, false,
       {"1.2.840.10008.1.2.4.50", "YBR_FULL_422", "0", "01", "DERIVED\\SECONDARY", "3"}},
      {{.imageType = "DERIVED\\PRIMARY"}, ConversionMode::JpegLossy, false,
       {"1.2.840.10008.1.2.4.50", "MONOCHROME2", "(none)", "01", "DERIVED\\PRIMARY", "1"}},
      {kRgb, ConversionMode::Rle, true,
       {"1.2.840.10008.1.2.5", "MONOCHROME2", "(none)", "(none)", "DERIVED\\SECONDARY", "1"}},
      {{.columns = 0}, ConversionMode::Uncompressed, false,
       {"1.2.840.10008.1.2.1", "MONOCHROME2", "(none)", "(none)", "DERIVED\\SECONDARY", "1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected[0] + (c.monochrome ? ", monochrome" : ""));
    if (c.recipe.columns == 0) {
      std::filesystem::rename(m_dir / "out.dcm", m_dir / "in.dcm");
    } else {
      ASSERT_FALSE(MakeImageFile(m_dir / "in.dcm", c.recipe).empty());
    }
    ASSERT_EQ(ConvertPixelDataFile({}, m_dir / "in.dcm", m_dir / "out.dcm", c.mode, c.monochrome), DCT_STATUS::Success);
    CDicomObject result;
    ASSERT_TRUE(test::LoadInto(result, m_dir / "out.dcm"));
    uint16_t planar = 0;
    uint16_t samples = 0;
    const std::vector<std::string> found = {
        StringOf(result, tags::kTransferSyntaxUid), StringOf(result, tags::kPhotometricInterpretation),
        result.GetUInt16(0x00280006, planar) == DicomStatus::Success ? std::to_string(planar) : "(none)",
        StringOf(result, 0x00282110), StringOf(result, tags::kImageType),
        result.GetUInt16(tags::kSamplesPerPixel, samples) == DicomStatus::Success ? std::to_string(samples) : "(none)"};
    EXPECT_EQ(found, c.expected);
    const std::string uid = StringOf(result, tags::kSopInstanceUid);
    EXPECT_EQ(StringOf(result, tags::kMediaStorageSopInstanceUid), uid);
    EXPECT_EQ(uid == "1.2.826.0.1.3680043.2.1125.7.0",
              !c.monochrome && c.recipe.columns != 0 && c.mode != ConversionMode::JpegLossy);
    if (c.recipe.columns == 0) continue;
    CDicomElement* element = nullptr;
    ASSERT_EQ(result.GetElement(tags::kPixelData, &element), DicomStatus::Success);
    const auto* pixels = dynamic_cast<CDicomEncapsulatedPixelData*>(element);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(pixels->GetItemCount(), 1u + static_cast<size_t>(c.recipe.frames));
    EXPECT_EQ(pixels->GetItem(0)->GetLength(), 0u);
  }
}

// 16-bit images are refused by every 8-bit mode before anything is written
// (RLE codes them from native samples: EncodedConversionTest.cpp). An
// unreadable source, one announcing more frames than its pixel data holds
// (which fails midway), and a conversion stopped by its progress callback,
// midway or after the last frame (before the file is committed), leave an
// older destination as it was and no temporary file. Progress is reported
// per frame.
TEST_F(PixelDataConverter, FailuresAndCancellationsLeaveNoDestination) {
  const std::string ct = Make("ct.dcm", {.bitsAllocated = 16, .bitsStored = 12});
  for (uint32_t mode = 0; mode <= 6; ++mode) {
    if (static_cast<ConversionMode>(mode) == ConversionMode::Rle) continue;
    EXPECT_EQ(ConvertPixelDataFile({}, ct, m_dir / "out.dcm", static_cast<ConversionMode>(mode), false),
              DCT_STATUS::HeaderFailed);
  }
  EXPECT_FALSE(std::filesystem::exists(m_dir / "out.dcm"));
  ImageRecipe recipe = kRgb;
  recipe.frames = 4;
  std::vector<uint8_t> pixels = MakePixelBytes(recipe);
  pixels.resize(pixels.size() / 2);
  CDicomObject object;
  FillImageObject(object, recipe, pixels);
  ASSERT_TRUE(test::Succeeded(SaveDicomFile(object, m_dir / "short.dcm")));
  Make("rgb.dcm", recipe);
  WriteText(m_dir / "junk.dcm", "not dicom");
  WriteText(m_dir / "out.dcm", "previous");
  const struct {
    const char* source;
    int stopAt;
    DCT_STATUS status;
    std::vector<int> progress;
  } cases[] = {
      {"junk.dcm", 9, DCT_STATUS::ReadFailed, {}},
      {"missing.dcm", 9, DCT_STATUS::ReadFailed, {}},
      {"short.dcm", 9, DCT_STATUS::ReadFailed, {1, 2}},
      {"rgb.dcm", 2, DCT_STATUS::Cancelled, {1, 2}},
      {"rgb.dcm", 4, DCT_STATUS::Cancelled, {1, 2, 3, 4}},
  };
  for (const auto& c : cases) {
    std::vector<int> seen;
    const auto progress = [&seen, &c](int32_t done, int32_t total) {
      EXPECT_EQ(total, 4);
      seen.push_back(done);
      return done < c.stopAt;
    };
    EXPECT_EQ(ConvertPixelDataFile({}, m_dir / c.source, m_dir / "out.dcm", ConversionMode::Rle, false, progress),
              c.status) << c.source << " " << c.stopAt;
    EXPECT_EQ(seen, c.progress);
    EXPECT_EQ(ReadBytes(m_dir / "out.dcm"), "previous");
    EXPECT_EQ(FileCount(), 5u);  // ct, short, rgb, junk, out
  }
  const std::string cancelled = DescribeConversionStatus(DCT_STATUS::Cancelled);
  EXPECT_NE(cancelled.find("cancelled"), std::string::npos);
  for (uint32_t other = 0; other < static_cast<uint32_t>(DCT_STATUS::Cancelled); ++other) {
    EXPECT_NE(DescribeConversionStatus(static_cast<DCT_STATUS>(other)), cancelled);
  }
}

}  // namespace
