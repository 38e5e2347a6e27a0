// ComparePixelFiles: pixels are matched whatever their encoding, the
// differences are counted and named in the messages users see, and progress
// can stop it without leaving its temporary copy behind.
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

using namespace quillon;
using namespace quillon::test;
namespace fs = std::filesystem;

namespace {

class PixelComparatorTest : public ::testing::Test {
 protected:
  // An image file of `recipe`, holding `pixels` when given.
  std::string Make(const std::string& name, const ImageRecipe& recipe, const std::vector<uint8_t>& pixels = {},
                   bool withoutSamples = false) {
    CDicomObject object;
    FillImageObject(object, recipe, pixels.empty() ? MakePixelBytes(recipe) : pixels);
    if (withoutSamples) (void)object.AddUInt16(tags::kSamplesPerPixel, vr::US, 0);
    EXPECT_TRUE(test::Succeeded(SaveDicomFile(object, m_dir / name)));
    return m_dir / name;
  }
  std::string Convert(const std::string& source, const std::string& name, ConversionMode mode) {
    EXPECT_EQ(ConvertPixelDataFile({}, source, m_dir / name, mode, false), DCT_STATUS::Success);
    return m_dir / name;
  }
  static inline const ImageRecipe kRgb{.samples = 3, .frames = 2, .photometric = "RGB"};
  TempDir m_dir{"compare"};
  // Temporary copies go to a folder of this test's own, so that tests
  // running beside it cannot disturb the count.
  std::string m_temp = m_dir / "tmp";
  struct RestoreTemp {
    bool had = std::getenv("TMPDIR") != nullptr;
    std::string saved = had ? std::getenv("TMPDIR") : "";
    ~RestoreTemp() { had ? (void)::setenv("TMPDIR", saved.c_str(), 1) : (void)::unsetenv("TMPDIR"); }
  } m_restoreTemp;
  size_t TemporaryCopies() const { return static_cast<size_t>(std::distance(fs::directory_iterator(m_temp), {})); }
  void SetUp() override {
    fs::create_directories(m_temp);
    ::setenv("TMPDIR", m_temp.c_str(), 1);
  }
};

// The RLE copy decompresses colour-by-plane, the source is colour-by-pixel:
// pixels are matched, not stored positions. One changed colour sample is
// one pixel in either layout: 16² over 16 x 8 pixels x 3 samples x 2
// frames. Attributes that differ are named; images without samples are an
// error, not a division by zero.
TEST_F(PixelComparatorTest, PixelsAreMatchedWhateverTheirEncoding) {
  const std::string identical = "RMS = 0.00000 (0 different pixel(s))\nThe two images are 100.00000% identical.";
  const std::string rgb = Make("rgb.dcm", kRgb);
  const std::string rle = Convert(rgb, "rle.dcm", ConversionMode::Rle);
  const std::string planar = Convert(rgb, "planar.dcm", ConversionMode::RgbPlanar);
  std::vector<uint8_t> changed = MakePixelBytes(kRgb);
  changed[5 * 3 + 1] = static_cast<uint8_t>(changed[5 * 3 + 1] ^ 0x10);  // green of pixel 5, by 16
  const std::string other = Make("rgb-changed.dcm", kRgb, changed);
  const std::string grey = Make("grey.dcm", {.frames = 3});
  std::vector<uint8_t> shifted = MakePixelBytes({.frames = 3});
  for (uint8_t& v : shifted) v = static_cast<uint8_t>(v == 255 ? 254 : v + 1);
  const std::string empty = Make("empty.dcm", {}, {}, true);
  WriteText(m_dir / "junk.dcm", "junk");
  const struct {
    std::string a, b;
    std::string message;      // empty: not checked
    int64_t differentPixels;  // -1: not compared
    double rms;
    int64_t largest;
  } cases[] = {
      {rgb, rle, identical, 0, 0, 0},
      {planar, rgb, identical, 0, 0, 0},
      {Convert(grey, "grey-rle.dcm", ConversionMode::Rle), grey, identical, 0, 0, 0},
      {grey, Make("shifted.dcm", {.frames = 3}, shifted),
       "RMS = 1.00000 (384 different pixel(s))\nThe two images are 99.60938% identical.", 384, 1, 1},
      {rgb, other, "", 1, std::sqrt(256.0 / 768.0), 16},
      {Convert(other, "changed-planar.dcm", ConversionMode::RgbPlanar), rle, "", 1, std::sqrt(256.0 / 768.0), 16},
      {Make("one.dcm", {}), Make("nocount.dcm", {.writeNumberOfFrames = false}), "", 0, 0, 0},
      {grey, Make("wide.dcm", {.columns = 20, .frames = 3}), "The size of the two images is different", -1, 0, 0},
      {grey, Make("frames.dcm", {.frames = 2}), "The number of frames is different", -1, 0, 0},
      {rgb, grey, "The number of samples per pixel is different", -1, 0, 0},
      {grey, m_dir / "junk.dcm", "Error Reading File", -1, 0, 0},
      {empty, empty, "Failed to read image header", -1, 0, 0},
  };
  for (const auto& c : cases) {
    const PixelComparison result = ComparePixelFiles(c.a, c.b);
    SCOPED_TRACE(c.a + " " + c.b + ": " + result.message);
    EXPECT_EQ(result.compared, c.differentPixels >= 0);
    if (!c.message.empty()) {
      EXPECT_EQ(result.message, c.message);
    }
    if (result.compared) {
      EXPECT_EQ(result.differentPixels, c.differentPixels);
      EXPECT_NEAR(result.rms, c.rms, 1e-12);
      EXPECT_EQ(result.largestDifference, c.largest);
    }
  }
  EXPECT_TRUE(fs::is_empty(m_temp));  // the temporary copies of the RLE files are gone
}

// Against an RLE copy, three frames are decompressed, then three compared,
// each a step. Stopped while decompressing, or while comparing: no result,
// and the temporary copy is gone.
TEST_F(PixelComparatorTest, ProgressCountsEveryStepAndCanCancel) {
  const std::string a = Make("a.dcm", {.frames = 3});
  const std::string rle = Convert(a, "rle.dcm", ConversionMode::Rle);
  const std::vector<int64_t> steps = {1, 2, 3, 4, 5, 6};
  for (const int64_t stopAt : {2, 5, 7}) {
    SCOPED_TRACE(stopAt);
    size_t during = 0;
    std::vector<int64_t> seen;
    const PixelComparison result = ComparePixelFiles(a, rle, [&](int64_t done, int64_t total) {
      EXPECT_EQ(total, 6);
      if (done == 1) during = TemporaryCopies();
      seen.push_back(done);
      return done < stopAt;
    });
    EXPECT_EQ(result.compared, stopAt == 7) << result.message;
    EXPECT_EQ(result.cancelled, stopAt != 7);
    if (stopAt != 7) {
      EXPECT_EQ(result.message, kComparisonCancelled);
    }
    EXPECT_EQ(seen, std::vector<int64_t>(steps.begin(), steps.begin() + std::min<int64_t>(stopAt, 6)));
    EXPECT_EQ(during, 1u);
    EXPECT_TRUE(fs::is_empty(m_temp));
  }
}

}  // namespace
