// ConvertPixelDataFile: the header each conversion writes, the transfer
// syntax of an uncompressed result, and failures and cancellations, which
// leave no destination (and keep an older one) and no temporary file. What
// peers make of the files, and lossless round trips: PixelPeerInteropTest.cpp.
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

std::vector<uint8_t> PixelValue(const std::string& path) {
  CDicomObject object;
  EXPECT_TRUE(test::LoadInto(object, path));
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  EXPECT_EQ(object.GetValue(tags::kPixelData, length, &value), DicomStatus::Success);
  return value != nullptr ? std::vector<uint8_t>(value, value + length) : std::vector<uint8_t>{};
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

// JPEG of a colour image says YBR_FULL_422 by plane, lossy and derived; a
// grey image keeps its photometric interpretation and image type; RLE to
// monochrome is derived, with one sample and new instance UIDs. Every
// result has an empty offset table and one fragment per frame.
TEST_F(PixelDataConverter, EachConversionRewritesTheHeader) {
  const struct {
    ImageRecipe recipe;
    ConversionMode mode;
    bool monochrome;
    std::vector<std::string> expected;  // syntax, photometric, planar, lossy, image type, samples
  } cases[] = {
      {kRgb, ConversionMode::JpegLossy, false,
       {"1.2.840.10008.1.2.4.50", "YBR_FULL_422", "1", "01", "DERIVED\\SECONDARY", "3"}},
      {{.imageType = "DERIVED\\PRIMARY"}, ConversionMode::JpegLossy, false,
       {"1.2.840.10008.1.2.4.50", "MONOCHROME2", "(none)", "(none)", "DERIVED\\PRIMARY", "1"}},
      {kRgb, ConversionMode::Rle, true, {"1.2.840.10008.1.2.5", "MONOCHROME2", "(none)", "(none)", "DERIVED\\SECONDARY", "1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected[0] + (c.monochrome ? ", monochrome" : ""));
    const std::string out = m_dir / "out.dcm";
    ASSERT_EQ(ConvertPixelDataFile({}, Make("in.dcm", c.recipe), out, c.mode, c.monochrome), DCT_STATUS::Success);
    CDicomObject result;
    ASSERT_TRUE(test::LoadInto(result, out));
    uint16_t planar = 0;
    uint16_t samples = 0;
    const std::vector<std::string> found = {
        StringOf(result, tags::kTransferSyntaxUid),
        StringOf(result, tags::kPhotometricInterpretation),
        result.GetUInt16(tags::kPlanarConfiguration, planar) == DicomStatus::Success ? std::to_string(planar) : "(none)",
        StringOf(result, 0x00282110),
        StringOf(result, tags::kImageType),
        result.GetUInt16(tags::kSamplesPerPixel, samples) == DicomStatus::Success ? std::to_string(samples) : "(none)"};
    EXPECT_EQ(found, c.expected);
    CDicomElement* element = nullptr;
    ASSERT_EQ(result.GetElement(tags::kPixelData, &element), DicomStatus::Success);
    const auto* pixels = dynamic_cast<CDicomEncapsulatedPixelData*>(element);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(pixels->GetItemCount(), 1u + static_cast<size_t>(c.recipe.frames));
    EXPECT_EQ(pixels->GetItem(0)->GetLength(), 0u);
    const std::string uid = StringOf(result, tags::kSopInstanceUid);
    EXPECT_EQ(StringOf(result, tags::kMediaStorageSopInstanceUid), uid);
    EXPECT_EQ(uid == "1.2.826.0.1.3680043.2.1125.7.0", !c.monochrome);
  }
}

// An implicit VR source goes to RLE and back; left unchanged, the choice
// for a compressed source is explicit VR, with the very same pixel value.
TEST_F(PixelDataConverter, UnchangedChoiceOfACompressedSourceGivesExplicitAndTheSamePixels) {
  const std::string source = Make("implicit.dcm", {.transferSyntax = "1.2.840.10008.1.2"});
  ConversionOptions implicit;
  implicit.transferSyntaxChoice = TransferSyntaxChoice::Implicit;
  ASSERT_EQ(ConvertPixelDataFile(implicit, source, m_dir / "rle.dcm", ConversionMode::Rle, false),
            DCT_STATUS::Success);
  ASSERT_EQ(ConvertPixelDataFile({}, m_dir / "rle.dcm", m_dir / "plain.dcm", ConversionMode::Uncompressed, false),
            DCT_STATUS::Success);
  CDicomObject result;
  ASSERT_TRUE(test::LoadInto(result, m_dir / "plain.dcm"));
  EXPECT_EQ(StringOf(result, tags::kTransferSyntaxUid), "1.2.840.10008.1.2.1");
  EXPECT_EQ(PixelValue(m_dir / "plain.dcm"), PixelValue(source));
}

// 16-bit images are refused by every mode before anything is written; an
// unreadable source, and one announcing more frames than its pixel data
// holds (which fails midway), leave an older destination as it was and no
// temporary file.
TEST_F(PixelDataConverter, FailuresLeaveNoDestinationAndKeepAnOldOne) {
  const std::string ct = Make("ct.dcm", {.bitsAllocated = 16, .bitsStored = 12});
  for (uint32_t mode = 0; mode <= 6; ++mode) {
    EXPECT_EQ(ConvertPixelDataFile({}, ct, m_dir / "out.dcm", static_cast<ConversionMode>(mode), false),
              DCT_STATUS::HeaderFailed);
  }
  EXPECT_FALSE(std::filesystem::exists(m_dir / "out.dcm"));
  WriteText(m_dir / "junk.dcm", "not dicom");
  WriteText(m_dir / "out.dcm", "previous");
  const ImageRecipe recipe{.frames = 3};
  CDicomObject object;
  std::vector<uint8_t> pixels = MakePixelBytes(recipe);
  pixels.resize(pixels.size() / 2);
  FillImageObject(object, recipe, pixels);
  ASSERT_TRUE(test::Succeeded(SaveDicomFile(object, m_dir / "short.dcm")));
  const std::pair<const char*, DCT_STATUS> sources[] = {
      {"junk.dcm", DCT_STATUS::ReadFailed}, {"missing.dcm", DCT_STATUS::ReadFailed}, {"short.dcm", DCT_STATUS::ReadFailed}};
  for (const auto& [name, status] : sources) {
    EXPECT_EQ(ConvertPixelDataFile({}, m_dir / name, m_dir / "out.dcm", ConversionMode::Rle, false), status) << name;
  }
  EXPECT_EQ(ReadBytes(m_dir / "out.dcm"), "previous");
  EXPECT_EQ(FileCount(), 4u);  // ct, junk, out, short
}

// Progress is reported per frame. Stopped midway, or after the last frame
// (before the file is committed): no destination, no temporary file, a
// result of its own; an older file at the destination is kept.
TEST_F(PixelDataConverter, ProgressCountsFramesAndCancellingLeavesNothing) {
  ImageRecipe recipe = kRgb;
  recipe.frames = 4;
  const std::string source = Make("rgb.dcm", recipe);
  for (const int stopAt : {2, 4, 5}) {
    std::vector<int> seen;
    const auto progress = [&seen, stopAt](int32_t done, int32_t total) {
      EXPECT_EQ(total, 4);
      seen.push_back(done);
      return done < stopAt;
    };
    EXPECT_EQ(ConvertPixelDataFile({}, source, m_dir / "out.dcm", ConversionMode::Rle, false, progress),
              stopAt == 5 ? DCT_STATUS::Success : DCT_STATUS::Cancelled);
    EXPECT_EQ(seen, (stopAt == 2 ? std::vector<int>{1, 2} : std::vector<int>{1, 2, 3, 4}));
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
