#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "pixel/PixelComparator.h"
#include "pixel/PixelDataConverter.h"
#include "support/ImageFixtures.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>

using namespace quillon;
using namespace quillon::test;
namespace fs = std::filesystem;

namespace {

std::set<std::string> PixCmpFiles() {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("PixCmp", 0) == 0) names.insert(name);
  }
  return names;
}

// An image file holding exactly the given samples.
bool SaveImage(const fs::path& path, const ImageRecipe& recipe, const std::vector<uint8_t>& pixels) {
  CDicomObject object;
  FillImageObject(object, recipe, pixels);
  return static_cast<bool>(SaveDicomFile(object, path));
}

class PixelComparatorTest : public ::testing::Test {
 protected:
  TempDir m_dir{"compare"};
};

TEST_F(PixelComparatorTest, IdenticalImagesAndTheirRleCopy) {
  ImageRecipe recipe;
  recipe.samples = 3;
  recipe.photometric = "RGB";
  recipe.frames = 2;
  MakeImageFile(m_dir / "a.dcm", recipe);
  PixelComparison same = ComparePixelFiles(m_dir / "a.dcm", m_dir / "a.dcm");
  ASSERT_TRUE(same.compared) << same.message;
  EXPECT_EQ(same.message, "RMS = 0.00000 (0 different pixel(s))\nThe two images are 100.00000% identical.");

  ASSERT_EQ(ConvertPixelDataFile({}, m_dir / "a.dcm", m_dir / "rle.dcm", ConversionMode::Rle, false),
            DCT_STATUS::Success);
  const std::set<std::string> before = PixCmpFiles();
  // The RLE copy decompresses colour-by-plane, the source is colour-by-pixel:
  // pixels are matched, not stored positions.
  PixelComparison rle = ComparePixelFiles(m_dir / "a.dcm", m_dir / "rle.dcm");
  ASSERT_TRUE(rle.compared) << rle.message;
  EXPECT_EQ(rle.message, "RMS = 0.00000 (0 different pixel(s))\nThe two images are 100.00000% identical.");
  EXPECT_EQ(PixCmpFiles(), before);  // the one temporary copy is gone again
  ASSERT_EQ(ConvertPixelDataFile({}, m_dir / "a.dcm", m_dir / "planar.dcm", ConversionMode::RgbPlanar, false),
            DCT_STATUS::Success);
  EXPECT_EQ(ComparePixelFiles(m_dir / "planar.dcm", m_dir / "a.dcm").rms, 0.0);
  EXPECT_EQ(ComparePixelFiles(m_dir / "planar.dcm", m_dir / "rle.dcm").rms, 0.0);

  ImageRecipe grey;
  grey.frames = 3;
  MakeImageFile(m_dir / "grey.dcm", grey);
  ASSERT_EQ(ConvertPixelDataFile({}, m_dir / "grey.dcm", m_dir / "grey-rle.dcm", ConversionMode::Rle, false),
            DCT_STATUS::Success);
  const PixelComparison greyResult = ComparePixelFiles(m_dir / "grey-rle.dcm", m_dir / "grey.dcm");
  ASSERT_TRUE(greyResult.compared) << greyResult.message;
  EXPECT_EQ(greyResult.rms, 0.0);
  EXPECT_EQ(PixCmpFiles(), before);
}

TEST_F(PixelComparatorTest, DifferenceOfOneInEverySample) {
  ImageRecipe recipe;
  const std::vector<uint8_t> pixels = MakePixelBytes(recipe);
  std::vector<uint8_t> shifted = pixels;
  for (uint8_t& v : shifted) v = static_cast<uint8_t>(v == 255 ? 254 : v + 1);
  ASSERT_TRUE(SaveImage(m_dir / "a.dcm", recipe, pixels));
  ASSERT_TRUE(SaveImage(m_dir / "b.dcm", recipe, shifted));
  const PixelComparison result = ComparePixelFiles(m_dir / "a.dcm", m_dir / "b.dcm");
  ASSERT_TRUE(result.compared) << result.message;
  EXPECT_EQ(result.message, "RMS = 1.00000 (128 different pixel(s))\nThe two images are 99.60938% identical.");
}

TEST_F(PixelComparatorTest, OneChangedColourSampleIsOnePixelInEitherLayout) {
  ImageRecipe recipe;
  recipe.samples = 3;
  recipe.photometric = "RGB";
  const std::vector<uint8_t> pixels = MakePixelBytes(recipe);
  std::vector<uint8_t> changed = pixels;
  changed[5 * 3 + 1] = static_cast<uint8_t>(changed[5 * 3 + 1] ^ 0x10);  // green of pixel 5, by 16
  ASSERT_TRUE(SaveImage(m_dir / "a.dcm", recipe, pixels));
  ASSERT_TRUE(SaveImage(m_dir / "b.dcm", recipe, changed));
  ASSERT_EQ(ConvertPixelDataFile({}, m_dir / "b.dcm", m_dir / "b-planar.dcm", ConversionMode::RgbPlanar, false),
            DCT_STATUS::Success);
  // 16 * 16 over 16 x 8 pixels x 3 samples: RMS = sqrt(256 / 384).
  for (const char* other : {"b.dcm", "b-planar.dcm"}) {
    SCOPED_TRACE(other);
    const PixelComparison result = ComparePixelFiles(m_dir / "a.dcm", m_dir / other);
    ASSERT_TRUE(result.compared) << result.message;
    EXPECT_EQ(result.differentPixels, 1);
    EXPECT_NEAR(result.rms, std::sqrt(256.0 / 384.0), 1e-12);
  }
}

TEST_F(PixelComparatorTest, AttributeDifferencesAreNamed) {
  ImageRecipe recipe;
  MakeImageFile(m_dir / "a.dcm", recipe);
  ImageRecipe wider = recipe;
  wider.columns = 20;
  MakeImageFile(m_dir / "wide.dcm", wider);
  EXPECT_EQ(ComparePixelFiles(m_dir / "a.dcm", m_dir / "wide.dcm").message, "The size of the two images is different");
  ImageRecipe frames = recipe;
  frames.frames = 2;
  MakeImageFile(m_dir / "frames.dcm", frames);
  EXPECT_EQ(ComparePixelFiles(m_dir / "a.dcm", m_dir / "frames.dcm").message, "The number of frames is different");
  ImageRecipe noCount = recipe;
  noCount.writeNumberOfFrames = false;
  MakeImageFile(m_dir / "nocount.dcm", noCount);
  EXPECT_TRUE(ComparePixelFiles(m_dir / "a.dcm", m_dir / "nocount.dcm").compared);
  ImageRecipe colour = recipe;
  colour.samples = 3;
  colour.photometric = "RGB";
  MakeImageFile(m_dir / "rgb.dcm", colour);
  EXPECT_EQ(ComparePixelFiles(m_dir / "a.dcm", m_dir / "rgb.dcm").message,
            "The number of samples per pixel is different");
  WriteText(m_dir / "junk.dcm", "junk");
  EXPECT_EQ(ComparePixelFiles(m_dir / "a.dcm", m_dir / "junk.dcm").message, "Error Reading File");
}

TEST_F(PixelComparatorTest, ProgressCountsEveryStepAndCanCancel) {
  ImageRecipe recipe;
  recipe.frames = 3;
  MakeImageFile(m_dir / "a.dcm", recipe);
  ASSERT_EQ(ConvertPixelDataFile({}, m_dir / "a.dcm", m_dir / "rle.dcm", ConversionMode::Rle, false),
            DCT_STATUS::Success);
  // Against an RLE copy: three frames decompressed, then three compared.
  std::vector<int64_t> seen;
  PixelComparison result = ComparePixelFiles(m_dir / "a.dcm", m_dir / "rle.dcm", [&seen](int64_t done, int64_t total) {
    EXPECT_EQ(total, 6);
    seen.push_back(done);
    return true;
  });
  ASSERT_TRUE(result.compared) << result.message;
  EXPECT_FALSE(result.cancelled);
  EXPECT_EQ(seen, (std::vector<int64_t>{1, 2, 3, 4, 5, 6}));
  seen.clear();
  result = ComparePixelFiles(m_dir / "a.dcm", m_dir / "a.dcm", [&seen](int64_t done, int64_t total) {
    EXPECT_EQ(total, 3);
    seen.push_back(done);
    return true;
  });
  EXPECT_EQ(seen, (std::vector<int64_t>{1, 2, 3}));

  // Stopped while decompressing, and while comparing: no result, and the
  // temporary copy is gone. Temporary files go to a folder of this test's
  // own, so that tests running beside it cannot disturb the count.
  const char* oldTemp = std::getenv("TMPDIR");
  const std::string savedTemp = oldTemp != nullptr ? oldTemp : "";
  fs::create_directories(m_dir / "tmp");
  ::setenv("TMPDIR", (m_dir / "tmp").c_str(), 1);
  struct RestoreTemp {
    const char* old;
    std::string saved;
    ~RestoreTemp() {
      if (old != nullptr) {
        ::setenv("TMPDIR", saved.c_str(), 1);
      } else {
        ::unsetenv("TMPDIR");
      }
    }
  } restore{oldTemp, savedTemp};
  for (const int64_t stopAt : {2, 5}) {
    SCOPED_TRACE(stopAt);
    const std::set<std::string> before = PixCmpFiles();
    std::set<std::string> during;
    int64_t last = 0;
    result = ComparePixelFiles(m_dir / "a.dcm", m_dir / "rle.dcm", [&](int64_t done, int64_t /*total*/) {
      if (done == 1) during = PixCmpFiles();
      last = done;
      return done < stopAt;
    });
    EXPECT_FALSE(result.compared);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.message, kComparisonCancelled);
    EXPECT_EQ(last, stopAt);
    int made = 0;
    for (const std::string& name : during) {
      if (before.count(name) != 0) continue;
      ++made;
      EXPECT_FALSE(fs::exists(fs::temp_directory_path() / name)) << name;
    }
    EXPECT_EQ(made, 1);
  }
  EXPECT_TRUE(fs::is_empty(m_dir / "tmp"));
}

TEST_F(PixelComparatorTest, ImagesWithoutSamplesAreAnErrorNotADivisionByZero) {
  ImageRecipe recipe;
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  (void)object.AddUInt16(0x00280002, vr::US, 0);
  ASSERT_TRUE(SaveDicomFile(object, m_dir / "empty.dcm"));
  const PixelComparison result = ComparePixelFiles(m_dir / "empty.dcm", m_dir / "empty.dcm");
  EXPECT_FALSE(result.compared);
  EXPECT_FALSE(result.message.empty());
  EXPECT_EQ(result.message.find("nan"), std::string::npos);
}

}  // namespace
