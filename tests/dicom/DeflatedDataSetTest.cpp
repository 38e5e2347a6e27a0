// The deflated transfer syntax: our files read in DCMTK and pydicom, theirs
// read here as the same data set, and damaged compressed streams refused
// with a reason and no unbounded allocation.
#include "base/MemoryStream.h"
#include "dicom/DicomObject.h"
#include "support/DicomFiles.h"
#include "support/ImageFixtures.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr const char* kDeflated = "1.2.840.10008.1.2.1.99";
const std::string kPydicomFiles = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";
const std::string kCli = QUILLON_CLI_PATH;

// Large enough that deflate gains on the sample pattern.
const ImageRecipe kRecipe{.columns = 201, .rows = 100, .frames = 2, .transferSyntax = kDeflated};

std::vector<uint8_t> DeflatedImageBytes() {
  const ImageRecipe recipe = kRecipe;
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  return WriteToBytes(object);
}

// The dump without its meta group and file path: the data set as read.
std::string DataSetDump(const std::string& path) {
  const CommandResult dump = RunShell(kCli + " dump " + path + " | grep -v '^0002 '");
  EXPECT_EQ(dump.exitCode, 0) << path << ": " << dump.err;
  return dump.out;
}

}  // namespace

TEST(DeflatedDataSet, WritesCompressedAndReadsBackTheSameElements) {
  const std::vector<uint8_t> bytes = DeflatedImageBytes();
  ASSERT_FALSE(bytes.empty());
  ReadResult read = ReadFromBytes(bytes);
  ASSERT_TRUE(Succeeded(read.status));
  EXPECT_EQ(read.AllWarnings(), "");
  const std::vector<uint8_t> pixels = MakePixelBytes(kRecipe);
  // Written again, the same bytes: every element came back as it was.
  EXPECT_EQ(WriteToBytes(read.object), bytes);
  // The pattern repeats enough that deflating must have shrunk the file.
  EXPECT_LT(bytes.size(), pixels.size());
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  ASSERT_EQ(read.object.GetValue(tags::kPixelData, length, &value), DicomStatus::Success);
  EXPECT_EQ(std::vector<uint8_t>(value, value + length), pixels);
}

TEST(DeflatedDataSet, DamagedStreamsAreRefusedWithTheReason) {
  const std::vector<uint8_t> good = DeflatedImageBytes();
  const size_t dataSetStart = 132 + 12 + [&] {
    const ReadResult read = ReadFromBytes(good);
    uint32_t groupLength = 0;
    const uint8_t* value = nullptr;
    (void)read.object.GetValue(0x00020000, groupLength, &value);
    return static_cast<size_t>(value[0] | (value[1] << 8));
  }();
  const struct {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    uint64_t maxInflated;
    const char* reason;
  } cases[] = {
      {"cut", [](std::vector<uint8_t>& b) { b.resize(b.size() - 40); }, 1 << 20, "ends before its compressed stream"},
      // 0xFF as the first block header: block type 3, which does not exist.
      {"bad block", [&](std::vector<uint8_t>& b) { b[dataSetStart] = 0xFF; }, 1 << 20, "damaged"},
      {"over the bound", [](std::vector<uint8_t>&) {}, 1000, "inflates to more than 1000 bytes"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    CMemoryStream stream(bytes);
    CDicomObject object;
    const Status read = CDicomFileReader(stream, {.maxInflatedSize = c.maxInflated}).ReadFile(object);
    ASSERT_FALSE(read) << c.name;
    EXPECT_EQ(read.GetError().Code(), ErrorCode::Malformed) << c.name;
    EXPECT_NE(read.Message().find(c.reason), std::string::npos) << c.name << ": " << read.Message();
  }
}

// Ours read by DCMTK and pydicom, with the pixel values we wrote; pydicom's
// deflated file read here as DCMTK reads it once inflated.
TEST(DeflatedDataSet, PeersReadOursAndWeReadTheirs) {
  for (const char* tool : {"dcmdump", "dcmconv", "/usr/bin/python3"}) {
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  }
  const TempDir dir("deflated-peers");
  const std::vector<uint8_t> bytes = DeflatedImageBytes();
  const std::string ours = dir / "ours.dcm";
  WriteText(ours, std::string(bytes.begin(), bytes.end()));
  const CommandResult dcmdump = RunShell("dcmdump +L " + ours);
  EXPECT_EQ(dcmdump.exitCode, 0) << dcmdump.err;
  EXPECT_EQ(dcmdump.err, "");
  EXPECT_NE(dcmdump.out.find("(0028,0011) US 201"), std::string::npos) << dcmdump.out;
  const std::vector<uint8_t> pixels = MakePixelBytes(kRecipe);
  const CommandResult pydicom = RunShell(
      "/usr/bin/python3 -c 'import sys, pydicom; d = pydicom.dcmread(sys.argv[1]); "
      "sys.stdout.buffer.write(d.PixelData)' " + ours);
  EXPECT_EQ(pydicom.exitCode, 0) << pydicom.err;
  EXPECT_EQ(pydicom.out, std::string(pixels.begin(), pixels.end()));

  const std::string theirs = kPydicomFiles + "image_dfl.dcm";
  if (!std::filesystem::exists(theirs)) GTEST_SKIP() << theirs << " is missing";
  const std::string inflated = dir / "inflated.dcm";
  ASSERT_EQ(RunShell("dcmconv +te " + theirs + " " + inflated).exitCode, 0);
  EXPECT_EQ(DataSetDump(theirs), DataSetDump(inflated));
  // Rewritten, it stays deflated, and DCMTK reads the same data set.
  const std::string rewritten = dir / "rewritten.dcm";
  ASSERT_EQ(RunShell(kCli + " rewrite " + theirs + " " + rewritten).exitCode, 0);
  const CommandResult again = RunShell("dcmdump +L " + rewritten + " | grep -v '^(0002,'");
  const CommandResult original = RunShell("dcmdump +L " + theirs + " | grep -v '^(0002,'");
  EXPECT_EQ(again.out, original.out);
  EXPECT_NE(RunShell("dcmdump " + rewritten).out.find("=DeflatedLittleEndianExplicit"), std::string::npos);
}

TEST(DeflatedDataSet, ConvertDeflatesNativePixelDataAndRefusesCompressed) {
  const TempDir dir("deflate-convert");
  const ImageRecipe recipe{.columns = 20, .rows = 10, .bitsAllocated = 16, .bitsStored = 12,
                           .transferSyntax = "1.2.840.10008.1.2"};
  const std::vector<uint8_t> pixels = MakeImageFile(dir / "in.dcm", recipe);
  ASSERT_EQ(RunShell(kCli + " convert " + dir / "in.dcm" + " " + dir / "out.dcm" + " --mode deflate").exitCode, 0);
  CDicomObject object;
  ASSERT_TRUE(LoadInto(object, dir / "out.dcm"));
  std::string syntax;
  (void)object.GetString(tags::kTransferSyntaxUid, syntax);
  EXPECT_EQ(syntax, kDeflated);
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  ASSERT_EQ(object.GetValue(tags::kPixelData, length, &value), DicomStatus::Success);
  EXPECT_EQ(std::vector<uint8_t>(value, value + length), pixels);

  const std::string rle = kPydicomFiles + "SC_rgb_rle.dcm";
  if (!std::filesystem::exists(rle)) GTEST_SKIP() << rle << " is missing";
  const CommandResult refused = RunShell(kCli + " convert " + rle + " " + dir / "no.dcm" + " --mode deflate");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("decompress it first"), std::string::npos) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "no.dcm"));
}
