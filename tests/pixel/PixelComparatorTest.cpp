// ComparePixelFiles: pixels are matched whatever their encoding, the
// differences are counted and named, and progress can stop it without
// leaving its temporary copy behind.
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "pixel/PixelComparator.h"
#include "pixel/PixelDataConverter.h"
#include "support/DicomFiles.h"
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

constexpr const char* kIdentical = "RMS = 0.00000 (0 different pixel(s))\nThe two images are 100.00000% identical.";

std::set<std::string> PixCmpFiles() {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("PixCmp", 0) == 0) names.insert(name);
  }
  return names;
}

class PixelComparatorTest : public ::testing::Test {
 protected:
  // An image file of `recipe`, holding `pixels` when given.
  std::string Make(const std::string& name, const ImageRecipe& recipe, const std::vector<uint8_t>& pixels = {}) {
    CDicomObject object;
    FillImageObject(object, recipe, pixels.empty() ? MakePixelBytes(recipe) : pixels);
    EXPECT_TRUE(test::Succeeded(SaveDicomFile(object, m_dir / name)));
    return m_dir / name;
  }
  std::string Convert(const std::string& source, const std::string& name, ConversionMode mode) {
    EXPECT_EQ(ConvertPixelDataFile({}, source, m_dir / name, mode, false), DCT_STATUS::Success);
    return m_dir / name;
  }
  static ImageRecipe Rgb(int frames = 1) {
    ImageRecipe recipe;
    recipe.samples = 3;
    recipe.photometric = "RGB";
    recipe.frames = frames;
    return recipe;
  }
  TempDir m_dir{"compare"};
};

// The RLE copy decompresses colour-by-plane, the source is colour-by-pixel:
// pixels are matched, not stored positions; the one temporary copy of a
// compressed file is gone again afterwards.
TEST_F(PixelComparatorTest, TheSameImageInAnyEncodingIsIdentical) {
  const std::string rgb = Make("a.dcm", Rgb(2));
  const std::string rle = Convert(rgb, "rle.dcm", ConversionMode::Rle);
  const std::string planar = Convert(rgb, "planar.dcm", ConversionMode::RgbPlanar);
  ImageRecipe grey;
  grey.frames = 3;
  const std::string greyFile = Make("grey.dcm", grey);
  const std::string greyRle = Convert(greyFile, "grey-rle.dcm", ConversionMode::Rle);
  const std::set<std::string> before = PixCmpFiles();
  for (const auto& [a, b] : {std::pair{rgb, rgb}, {rgb, rle}, {planar, rgb}, {planar, rle}, {greyRle, greyFile}}) {
    const PixelComparison result = ComparePixelFiles(a, b);
    ASSERT_TRUE(result.compared) << result.message;
    EXPECT_EQ(result.message, kIdentical) << a << " " << b;
    EXPECT_EQ(result.rms, 0.0);
  }
  EXPECT_EQ(PixCmpFiles(), before);
}

TEST_F(PixelComparatorTest, DifferencesAreMeasured) {
  ImageRecipe recipe;
  std::vector<uint8_t> shifted = MakePixelBytes(recipe);
  for (uint8_t& v : shifted) v = static_cast<uint8_t>(v == 255 ? 254 : v + 1);
  const PixelComparison result = ComparePixelFiles(Make("a.dcm", recipe), Make("b.dcm", recipe, shifted));
  ASSERT_TRUE(result.compared) << result.message;
  EXPECT_EQ(result.message, "RMS = 1.00000 (128 different pixel(s))\nThe two images are 99.60938% identical.");

  // One changed colour sample is one pixel in either layout: 16 * 16 over
  // 16 x 8 pixels x 3 samples, RMS = sqrt(256 / 384).
  std::vector<uint8_t> changed = MakePixelBytes(Rgb());
  changed[5 * 3 + 1] = static_cast<uint8_t>(changed[5 * 3 + 1] ^ 0x10);  // green of pixel 5, by 16
  const std::string rgb = Make("rgb.dcm", Rgb());
  const std::string other = Make("rgb-changed.dcm", Rgb(), changed);
  for (const std::string& b : {other, Convert(other, "rgb-planar.dcm", ConversionMode::RgbPlanar)}) {
    const PixelComparison colour = ComparePixelFiles(rgb, b);
    ASSERT_TRUE(colour.compared) << colour.message;
    EXPECT_EQ(colour.differentPixels, 1);
    EXPECT_NEAR(colour.rms, std::sqrt(256.0 / 384.0), 1e-12);
  }
}

TEST_F(PixelComparatorTest, AttributeDifferencesAreNamed) {
  ImageRecipe recipe;
  const std::string a = Make("a.dcm", recipe);
  ImageRecipe wider = recipe;
  wider.columns = 20;
  ImageRecipe frames = recipe;
  frames.frames = 2;
  ImageRecipe noCount = recipe;
  noCount.writeNumberOfFrames = false;
  WriteText(m_dir / "junk.dcm", "junk");
  EXPECT_EQ(ComparePixelFiles(a, Make("wide.dcm", wider)).message, "The size of the two images is different");
  EXPECT_EQ(ComparePixelFiles(a, Make("frames.dcm", frames)).message, "The number of frames is different");
  EXPECT_TRUE(ComparePixelFiles(a, Make("nocount.dcm", noCount)).compared);
  EXPECT_EQ(ComparePixelFiles(a, Make("rgb.dcm", Rgb())).message, "The number of samples per pixel is different");
  EXPECT_EQ(ComparePixelFiles(a, m_dir / "junk.dcm").message, "Error Reading File");
  // Images without samples are an error, not a division by zero.
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  (void)object.AddUInt16(0x00280002, vr::US, 0);
  ASSERT_TRUE(SaveDicomFile(object, m_dir / "empty.dcm"));
  const PixelComparison result = ComparePixelFiles(m_dir / "empty.dcm", m_dir / "empty.dcm");
  EXPECT_FALSE(result.compared);
  EXPECT_FALSE(result.message.empty());
  EXPECT_EQ(result.message.find("nan"), std::string::npos);
}

TEST_F(PixelComparatorTest, ProgressCountsEveryStepAndCanCancel) {
  ImageRecipe recipe;
  recipe.frames = 3;
  const std::string a = Make("a.dcm", recipe);
  const std::string rle = Convert(a, "rle.dcm", ConversionMode::Rle);
  // Against an RLE copy: three frames decompressed, then three compared.
  for (const auto& [b, total] : {std::pair{rle, int64_t{6}}, {a, int64_t{3}}}) {
    std::vector<int64_t> seen;
    const PixelComparison result = ComparePixelFiles(a, b, [&seen, total = total](int64_t done, int64_t all) {
      EXPECT_EQ(all, total);
      seen.push_back(done);
      return true;
    });
    ASSERT_TRUE(result.compared) << result.message;
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(seen.size(), static_cast<size_t>(total));
    for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], static_cast<int64_t>(i + 1));
  }

  // Stopped while decompressing, and while comparing: no result, and the
  // temporary copy is gone. Temporary files go to a folder of this test's
  // own, so that tests running beside it cannot disturb the count.
  const char* oldTemp = std::getenv("TMPDIR");
  struct RestoreTemp {
    bool had;
    std::string saved;
    ~RestoreTemp() { had ? (void)::setenv("TMPDIR", saved.c_str(), 1) : (void)::unsetenv("TMPDIR"); }
  } restore{oldTemp != nullptr, oldTemp != nullptr ? oldTemp : ""};
  fs::create_directories(m_dir / "tmp");
  ::setenv("TMPDIR", (m_dir / "tmp").c_str(), 1);
  for (const int64_t stopAt : {2, 5}) {
    SCOPED_TRACE(stopAt);
    const std::set<std::string> before = PixCmpFiles();
    std::set<std::string> during;
    int64_t last = 0;
    const PixelComparison result = ComparePixelFiles(a, rle, [&](int64_t done, int64_t /*total*/) {
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

}  // namespace
