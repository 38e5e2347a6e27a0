// Pixel data in the containers and native formats archives hold: files no
// one here wrote (pydicom's test files) shown as DCMTK's dcm2pnm shows them,
// frames spread over several fragments found as the offset tables or end
// markers say, and the faults once met on the way kept fixed.
#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomObject.h"
#include "dicom/ValueRepresentation.h"
#include "pixel/PixelDataConverter.h"
#include "pixel/PixelImage.h"
#include "support/DicomFiles.h"
#include "support/ImageFixtures.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

using namespace quillon;
using namespace quillon::test;

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kPydicomFiles = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";
const std::string kCli = QUILLON_CLI_PATH;

struct Frame {
  bool read = false;
  Bytes samples;  ///< top-down rows, red-green-blue or grey
  std::string error;
};

// Frame `index` of `path` as the library shows it, turned from the bottom-up
// blue-green-red bitmap into top-down red-green-blue rows like a PNM.
Frame ShowFrame(const std::string& path, int32_t index) {
  Frame frame;
  CPixelImage image;
  if (!image.OpenFile(path)) {
    frame.error = "cannot open: " + image.OpenError();
    return frame;
  }
  Bytes bitmap(image.FrameSize());
  uint64_t length = 0;
  const FrameStatus status = image.ReadFrame(index, bitmap.data(), bitmap.size(), length);
  if (status != FrameStatus::Success) {
    frame.error = "frame status " + std::to_string(static_cast<int>(status));
    return frame;
  }
  const size_t samples = image.SamplesPerPixel() == 3 ? 3 : 1;
  const size_t stride = size_t{image.AlignedColumns()} * samples;
  for (size_t row = image.Rows(); row-- > 0;) {
    const uint8_t* line = bitmap.data() + row * stride;
    for (size_t c = 0; c < image.Columns(); ++c) {
      for (size_t s = 0; s < samples; ++s) frame.samples.push_back(line[c * samples + (samples == 3 ? 2 - s : s)]);
    }
  }
  frame.read = true;
  return frame;
}

// Every frame of `path`, one after another: read from the file, or, with
// `asDocument`, from the value of an open document held in memory.
Bytes AllFrames(const std::string& path, bool asDocument = false) {
  CDicomObject document;
  CPixelImage image;
  if (asDocument ? !LoadInto(document, path) || !image.OpenDocument(document) : !image.OpenFile(path)) return {};
  Bytes all;
  Bytes bitmap(image.FrameSize());
  for (int32_t f = 0; f < image.NumberOfFrames(); ++f) {
    uint64_t length = 0;
    if (image.ReadFrame(f, bitmap.data(), bitmap.size(), length) != FrameStatus::Success) return {};
    all.insert(all.end(), bitmap.begin(), bitmap.end());
  }
  return all;
}

// The samples of a binary PGM or PPM.
Bytes PnmSamples(const std::string& path) {
  std::istringstream in(ReadBytes(path));
  std::string magic;
  int width = 0;
  int height = 0;
  int maximum = 0;
  in >> magic >> width >> height >> maximum;
  in.get();
  std::string rest((std::istreambuf_iterator<char>(in)), {});
  return Bytes(rest.begin(), rest.end());
}

int MaxDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

}  // namespace

// Native formats and the deflated syntax, frame for frame against dcm2pnm
// (+Wm: the frame's own range, as we show 1- and 32-bit samples). The
// 32-bit rounding of the two differs by one step at most.
TEST(PixelContainers, PydicomFilesShowAsDcmtkShowsThem) {
  if (!HaveTool("dcm2pnm")) GTEST_SKIP() << "dcm2pnm is not installed";
  const TempDir dir("pydicom-frames");
  const struct {
    const char* file;
    int32_t frame;
    const char* options;
    int tolerance;
  } cases[] = {
      {"image_dfl.dcm", 0, "", 0},                     // deflated
      {"liver_1frame.dcm", 0, "+Wm", 0},               // 1 bit allocated
      {"liver_expb_1frame.dcm", 0, "+Wm", 0},          // the same, big endian
      {"rtdose_1frame.dcm", 0, "+Wm", 1},              // 32-bit unsigned, implicit VR
      {"rtdose.dcm", 7, "+Wm", 1},                     // 15 frames
      {"rtdose_expb.dcm", 14, "+Wm", 1},               // big endian
      {"SC_ybr_full_422_uncompressed.dcm", 0, "", 2},  // two pixels share their chroma
      {"ExplVR_BigEnd.dcm", 0, "", 0},                 // RGB by plane
  };
  for (const auto& c : cases) {
    const std::string path = kPydicomFiles + c.file;
    if (!std::filesystem::exists(path)) continue;
    const std::string reference = dir / (std::string(c.file) + ".pnm");
    const CommandResult peer = RunShell("dcm2pnm " + std::string(c.options) + " +F " + std::to_string(c.frame + 1) +
                                        " " + path + " " + reference);
    ASSERT_EQ(peer.exitCode, 0) << c.file << ": " << peer.err;
    const Frame ours = ShowFrame(path, c.frame);
    ASSERT_TRUE(ours.read) << c.file << ": " << ours.error;
    EXPECT_LE(MaxDifference(ours.samples, PnmSamples(reference)), c.tolerance) << c.file;
  }
}

// dcmcjpeg and dcmcrle split frames into fragments of 1 KB; with the Basic
// Offset Table, without it (JPEG: found by the end markers), or with an
// Extended Offset Table made from the basic one, the frames are those of
// the same encoder's one-fragment-per-frame output. RLE fragments without
// any table cannot be grouped: refused.
TEST(PixelContainers, FramesSpreadOverFragmentsAreFound) {
  for (const char* tool : {"dcmcjpeg", "dcmcrle"}) {
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  }
  const TempDir dir("fragments");
  const std::string source = dir / "source.dcm";
  ASSERT_FALSE(MakeImageFile(source, {.columns = 120, .rows = 90, .samples = 3, .frames = 3, .photometric = "RGB"})
                   .empty());
  const auto make = [&](const std::string& command, const std::string& name) {
    const CommandResult made = RunShell(command + " " + source + " " + dir / name);
    EXPECT_EQ(made.exitCode, 0) << command << ": " << made.err;
    return dir / name;
  };
  const Bytes jpeg = AllFrames(make("dcmcjpeg +eb +ff", "jpeg.dcm"));
  const Bytes rle = AllFrames(make("dcmcrle +ff", "rle.dcm"));
  ASSERT_FALSE(jpeg.empty());
  ASSERT_FALSE(rle.empty());
  EXPECT_EQ(AllFrames(make("dcmcjpeg +eb +fs 1 +ot", "jpeg-bot.dcm")), jpeg);
  EXPECT_EQ(AllFrames(make("dcmcjpeg +eb +fs 1 -ot", "jpeg-markers.dcm")), jpeg);
  const std::string rleBasic = make("dcmcrle +fs 1 +ot", "rle-bot.dcm");
  EXPECT_EQ(AllFrames(rleBasic), rle);
  EXPECT_EQ(AllFrames(rleBasic, true), rle);
  const std::string rleBare = make("dcmcrle +fs 1 -ot", "rle-bare.dcm");
  EXPECT_TRUE(AllFrames(rleBare).empty());

  // The basic table's 32-bit offsets as an extended table's 64-bit ones,
  // put into the file without a basic table.
  CDicomObject withTable;
  ASSERT_TRUE(LoadInto(withTable, rleBasic));
  CDicomElement* pixels = nullptr;
  ASSERT_EQ(withTable.GetElement(tags::kPixelData, &pixels), DicomStatus::Success);
  const auto* items = dynamic_cast<const CDicomEncapsulatedPixelData*>(pixels);
  ASSERT_NE(items, nullptr);
  const CDicomElement* basic = items->GetItem(0);
  ASSERT_EQ(basic->GetLength(), 12u);
  Bytes extended;
  for (uint32_t at = 0; at < basic->GetLength(); at += 4) {
    extended.insert(extended.end(), basic->GetValue() + at, basic->GetValue() + at + 4);
    extended.insert(extended.end(), 4, 0);
  }
  CDicomObject bare;
  ASSERT_TRUE(LoadInto(bare, rleBare));
  ASSERT_TRUE(Succeeded(bare.AddValue(0x7FE00001, MakeVR('O', 'V'), extended.data(), 24)));
  ASSERT_TRUE(Succeeded(SaveDicomFile(bare, dir / "rle-extended.dcm")));
  EXPECT_EQ(AllFrames(dir / "rle-extended.dcm"), rle);
}

// A file that declares far more pixels than it holds is refused before a
// frame buffer is sized from the declaration; it once made `frame` take
// 3.1 GB and `convert` 4.2 GB. Both commands say why.
TEST(PixelContainers, DeclaredSizeBeyondTheValueIsRefusedBeforeAllocating) {
  const TempDir dir("declared-size");
  const std::string path = dir / "huge.dcm";
  const ImageRecipe recipe{.columns = 256, .rows = 256, .frames = 1};
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  ASSERT_TRUE(Succeeded(object.AddUInt16(tags::kRows, vr::US, 32768)));
  ASSERT_TRUE(Succeeded(object.AddUInt16(tags::kColumns, vr::US, 32768)));
  ASSERT_TRUE(Succeeded(object.AddString(tags::kNumberOfFrames, vr::IS, "4")));
  ASSERT_TRUE(Succeeded(SaveDicomFile(object, path)));
  CPixelImage image;
  EXPECT_FALSE(image.OpenFile(path));
  EXPECT_NE(image.OpenError().find("declares 4 frames of 1073741824 bytes"), std::string::npos) << image.OpenError();
  for (const std::string& command : {" frame " + path + " " + dir / "f.png", " convert " + path + " " + dir / "c.dcm" + " --mode rle"}) {
    const CommandResult run = RunShell(kCli + command);
    EXPECT_EQ(run.exitCode, 1) << command;
    EXPECT_NE(run.err.find("holds 65536 bytes"), std::string::npos) << command << ": " << run.err;
  }
}

// RLE output DCMTK could not decode: samples of 12 bits allocated (refused
// now), and no Samples per Pixel (now written).
TEST(PixelContainers, RleConversionWritesOnlyWhatPeersDecode) {
  const TempDir dir("rle-faults");
  const std::string twelve = dir / "twelve.dcm";
  CDicomObject packed;
  FillImageObject(packed, {.columns = 16, .rows = 8, .bitsAllocated = 12, .bitsStored = 12},
                  std::vector<uint8_t>(16 * 8 * 12 / 8, 0x5A));
  ASSERT_TRUE(Succeeded(SaveDicomFile(packed, twelve)));
  const CommandResult refused = RunShell(kCli + " convert " + twelve + " " + dir / "no.dcm" + " --mode rle");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("whole bytes per sample"), std::string::npos) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "no.dcm"));

  const ImageRecipe recipe{.columns = 16, .rows = 8};
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  ASSERT_EQ(object.RemoveElement(tags::kSamplesPerPixel), DicomStatus::Success);
  ASSERT_TRUE(Succeeded(SaveDicomFile(object, dir / "nosamples.dcm")));
  const std::string rle = dir / "rle.dcm";
  ASSERT_EQ(RunShell(kCli + " convert " + dir / "nosamples.dcm" + " " + rle + " --mode rle").exitCode, 0);
  CDicomObject converted;
  ASSERT_TRUE(LoadInto(converted, rle));
  uint16_t samples = 0;
  EXPECT_EQ(converted.GetUInt16(tags::kSamplesPerPixel, samples), DicomStatus::Success);
  EXPECT_EQ(samples, 1);
  if (!HaveTool("dcmdrle")) GTEST_SKIP() << "dcmdrle is not installed";
  const CommandResult decoded = RunShell("dcmdrle " + rle + " " + dir / "decoded.dcm");
  EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
}

// A compressed syntax over an implicit VR data set: read with a warning,
// frames as before, and saved in explicit VR as the syntax says.
TEST(PixelContainers, ImplicitDataSetUnderCompressedSyntaxIsRead) {
  const TempDir dir("implicit-compressed");
  const std::string source = dir / "source.dcm";
  ASSERT_FALSE(MakeImageFile(source, {.columns = 20, .rows = 10, .frames = 2}).empty());
  const std::string rle = dir / "rle.dcm";
  ASSERT_EQ(ConvertPixelDataFile({}, source, rle, ConversionMode::Rle, false), DCT_STATUS::Success);
  CDicomObject object;
  ASSERT_TRUE(LoadInto(object, rle));
  object.SetTransferMode(TransferMode::ImplicitLittleEndian);  // the syntax stays RLE
  const std::string implicitPath = dir / "implicit.dcm";
  const std::vector<uint8_t> bytes = WriteToBytes(object);
  ASSERT_FALSE(bytes.empty());
  WriteText(implicitPath, std::string(bytes.begin(), bytes.end()));

  const ReadResult read = ReadFromBytes(bytes);
  ASSERT_TRUE(Succeeded(read.status));
  EXPECT_NE(read.AllWarnings().find("the data set is in implicit VR little endian"), std::string::npos)
      << read.AllWarnings();
  EXPECT_EQ(read.object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
  EXPECT_EQ(AllFrames(implicitPath), AllFrames(rle));
  CDicomObject original;
  ASSERT_TRUE(LoadInto(original, rle));
  EXPECT_EQ(WriteToBytes(read.object), WriteToBytes(original));
}
