// Uncompressed colour of 16 and 32 bits a sample (pydicom's RLE images,
// decompressed by DCMTK; one with fewer Bits Stored, one stored plane by
// plane by GDCM) is shown through the top eight of its Bits Stored bits,
// never the top eight of Bits Allocated: the bits above Bits Stored are not
// the value.
#include "dicom/DicomObject.h"
#include "pixel/PixelImage.h"
#include "support/DicomFiles.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <utility>

using namespace quillon;
using namespace quillon::test;

namespace {

struct WideColourCase {
  const char* name;
  const char* rleFile;   // pydicom's, decompressed by dcmdrle
  const char* reshape;   // a command making OUT of IN
  uint32_t bitsStored;
  uint32_t planar;
};

class NativeColourDisplayTest : public ::testing::TestWithParam<WideColourCase> {};

TEST_P(NativeColourDisplayTest, ShowsTheTopBitsOfBitsStored) {
  const WideColourCase& c = GetParam();
  const std::string source = std::string("/usr/lib/python3/dist-packages/pydicom/data/test_files/") + c.rleFile;
  if (!std::filesystem::exists(source) || !HaveTool("dcmdrle") || !HaveTool("gdcmconv") || !HaveTool("dcmodify")) {
    GTEST_SKIP() << "pydicom's files, DCMTK or GDCM missing";
  }
  TempDir dir(std::string("wide-colour-") + c.name);
  const std::string native = dir / "native.dcm", shown = dir / "shown.dcm";
  ASSERT_EQ(RunShell("dcmdrle " + source + " " + native).exitCode, 0);
  std::string reshape = c.reshape;
  for (const auto& [name, path] : {std::pair{"IN", native}, std::pair{"OUT", shown}}) {
    for (size_t at; (at = reshape.find(name)) != std::string::npos;) reshape.replace(at, std::strlen(name), path);
  }
  ASSERT_EQ(RunShell(reshape).exitCode, 0) << reshape;

  CDicomObject object;
  ASSERT_TRUE(LoadInto(object, shown));
  uint32_t length = 0;
  const uint8_t* samples = nullptr;
  ASSERT_EQ(object.GetValue(tags::kPixelData, length, &samples), DicomStatus::Success);
  CPixelImage image;
  ASSERT_TRUE(image.OpenFile(shown)) << image.LastError();
  ASSERT_EQ(image.BitsStored(), c.bitsStored);
  ASSERT_EQ(image.PlanarConfiguration(), c.planar);
  std::vector<uint8_t> bitmap(image.FrameSize());
  uint64_t written = 0;
  ASSERT_EQ(image.ReadFrame(0, bitmap.data(), bitmap.size(), written), FrameStatus::Success) << image.LastError();
  const uint32_t bytes = image.BitsAllocated() / 8;
  const uint64_t pixels = uint64_t{image.Columns()} * image.Rows();
  ASSERT_GE(length, pixels * 3 * bytes);
  const uint64_t mask = (uint64_t{1} << c.bitsStored) - 1;
  uint64_t differing = 0;
  for (uint64_t p = 0; p < pixels; ++p) {
    const uint64_t x = p % image.Columns(), y = p / image.Columns();
    const uint8_t* pixel = bitmap.data() + ((image.Rows() - 1 - y) * image.AlignedColumns() + x) * 3;
    for (uint32_t s = 0; s < 3; ++s) {
      const uint64_t at = (c.planar == 1 ? s * pixels + p : p * 3 + s) * bytes;
      uint64_t value = 0;
      for (uint32_t b = 0; b < bytes; ++b) value |= uint64_t{samples[at + b]} << (8 * b);
      differing += pixel[2 - s] != ((value & mask) >> (c.bitsStored - 8));  // blue, green, red
    }
  }
  EXPECT_EQ(differing, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Pydicom, NativeColourDisplayTest,
    ::testing::Values(WideColourCase{"rgb16", "SC_rgb_rle_16bit.dcm", "cp IN OUT", 16, 0},
                      WideColourCase{"rgb16_stored12", "SC_rgb_rle_16bit.dcm",
                                     "cp IN OUT && dcmodify -nb -m '(0028,0101)=12' -m '(0028,0102)=11' OUT", 12, 0},
                      WideColourCase{"rgb16_planes", "SC_rgb_rle_16bit.dcm",
                                     "gdcmconv --raw --planar-configuration 1 IN OUT", 16, 1},
                      WideColourCase{"rgb32", "SC_rgb_rle_32bit.dcm", "cp IN OUT", 32, 0}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
