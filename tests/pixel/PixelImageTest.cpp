#include "dicom/DicomObject.h"
#include "dicom/ValueRepresentation.h"
#include "dicom/DicomPixelData.h"
#include "pixel/PixelCodec.h"
#include "pixel/PixelImage.h"
#include "support/ImageFixtures.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;

namespace {

TEST(PixelImageSetup, GeometryAndFrameCount) {
  ImageRecipe recipe;
  recipe.columns = 10;
  recipe.rows = 10;
  recipe.writeNumberOfFrames = false;
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  CPixelImage image;
  ASSERT_TRUE(image.OpenObject(object));
  EXPECT_EQ(image.AlignedColumns(), 12u);
  EXPECT_EQ(image.FrameSize(), 120u);
  EXPECT_EQ(image.StoredFrameSize(), 100u);
  EXPECT_EQ(image.NumberOfFrames(), 1);
  ASSERT_NE(image.GetBitmapInfo(), nullptr);
  EXPECT_EQ(image.GetBitmapInfo()->palette[4 * 200], 200);  // grey ramp

  for (const char* frames : {"0", "-4", "junk"}) {
    (void)object.AddString(tags::kNumberOfFrames, vr::IS, frames);
    ASSERT_TRUE(image.OpenObject(object));
    EXPECT_EQ(image.NumberOfFrames(), 1) << frames;
  }
  (void)object.RemoveElement(0x00280002);  // no Samples per Pixel: one sample
  ASSERT_TRUE(image.OpenObject(object));
  EXPECT_EQ(image.SamplesPerPixel(), 1u);

  (void)object.AddString(0x00280004, vr::CS, "MONOCHROME1");
  ASSERT_TRUE(image.OpenObject(object));
  EXPECT_EQ(image.GetBitmapInfo()->palette[4 * 200], 55);  // inverted ramp
}

TEST(PixelImageRead, FramesFromMemoryAndFromTheFile) {
  TempDir dir("pixel-image");
  ImageRecipe recipe;
  recipe.columns = 5;
  recipe.rows = 3;
  recipe.frames = 3;
  const std::vector<uint8_t> pixels = MakeImageFile(dir / "grey.dcm", recipe);
  ASSERT_FALSE(pixels.empty());

  CPixelImage fromFile;
  ASSERT_TRUE(fromFile.OpenFile(dir / "grey.dcm"));
  EXPECT_FALSE(fromFile.PixelElement()->IsLoaded());  // frames stay in the file
  std::vector<uint8_t> bitmap(fromFile.FrameSize());
  uint64_t length = 0;
  ASSERT_EQ(fromFile.ReadFrame(2, bitmap.data(), bitmap.size(), length), FrameStatus::Success);
  EXPECT_EQ(length, 24u);
  // Bitmap row 0 is the last image row of frame 2.
  EXPECT_EQ(bitmap[0], pixels[2 * 15 + 2 * 5]);
  EXPECT_EQ(bitmap[2 * 8 + 4], pixels[2 * 15 + 4]);
  EXPECT_EQ(fromFile.ReadFrame(3, bitmap.data(), bitmap.size(), length), FrameStatus::OutOfRange);
  EXPECT_EQ(fromFile.ReadFrame(-1, bitmap.data(), bitmap.size(), length), FrameStatus::OutOfRange);
  ASSERT_EQ(fromFile.ReadFrame(0, bitmap.data(), bitmap.size(), length), FrameStatus::Success);
  ASSERT_EQ(fromFile.ReadNextFrame(bitmap.data(), bitmap.size(), length), FrameStatus::Success);
  EXPECT_EQ(bitmap[4], pixels[15 + 2 * 5 + 4]);

  CDicomObject loaded;
  ASSERT_TRUE(loaded.LoadFile(dir / "grey.dcm", false));
  CPixelImage fromObject;
  ASSERT_TRUE(fromObject.OpenObject(loaded));
  std::vector<uint8_t> again(fromObject.FrameSize());
  ASSERT_EQ(fromObject.ReadFrame(2, again.data(), again.size(), length), FrameStatus::Success);
  ASSERT_EQ(fromFile.ReadFrame(2, bitmap.data(), bitmap.size(), length), FrameStatus::Success);
  EXPECT_EQ(again, bitmap);

  (void)loaded.RemoveElement(tags::kPixelData);
  loaded.SetSourcePath("");
  CPixelImage noPixels;
  ASSERT_TRUE(noPixels.OpenObject(loaded));
  // With no pixel data the image makes an empty element; its frames are
  // not in memory and there is no file to read them from.
  EXPECT_EQ(noPixels.ReadFrame(0, again.data(), again.size(), length), FrameStatus::CannotReopen);
}

TEST(PixelImageRead, TruncatedPixelDataFailsCleanly) {
  TempDir dir("pixel-image-short");
  ImageRecipe recipe;
  recipe.frames = 4;
  CDicomObject object;
  std::vector<uint8_t> pixels = MakePixelBytes(recipe);
  pixels.resize(pixels.size() - 200);  // shorter than its frames announce
  FillImageObject(object, recipe, pixels);
  std::string error;
  ASSERT_TRUE(SaveDicomFile(object, dir / "short.dcm", error));
  CPixelImage image;
  ASSERT_TRUE(image.OpenFile(dir / "short.dcm"));
  std::vector<uint8_t> bitmap(image.FrameSize());
  uint64_t length = 0;
  EXPECT_EQ(image.ReadFrame(0, bitmap.data(), bitmap.size(), length), FrameStatus::Success);
  EXPECT_EQ(image.ReadFrame(3, bitmap.data(), bitmap.size(), length), FrameStatus::ReadWriteFailed);
}

TEST(PixelImageWrite, FewerFramesThanAnnouncedRewriteTheCountPadded) {
  TempDir dir("pixel-image-write");
  ImageRecipe recipe;
  recipe.columns = 6;  // stored rows of 6, bitmap rows of 8
  recipe.rows = 4;
  recipe.frames = 10;
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  (void)object.RemoveElement(tags::kPixelData);
  CPixelImage image;
  ASSERT_TRUE(image.OpenObject(object));
  ASSERT_TRUE(image.WriteHeader(dir / "out.dcm"));
  std::vector<uint8_t> bitmap(image.FrameSize(), 7);
  for (int i = 0; i < 9; ++i) ASSERT_EQ(image.WriteFrame(bitmap.data()), FrameStatus::Written);
  ASSERT_TRUE(image.FinishWrite());

  CDicomObject back;
  ASSERT_TRUE(back.LoadFile(dir / "out.dcm", false)) << back.GetLastReadError();
  std::string frames;
  ASSERT_EQ(back.GetString(tags::kNumberOfFrames, frames), DicomStatus::Success);
  EXPECT_EQ(frames, "9");  // "9 " on disk, not "90"
  CDicomElement* pixels = nullptr;
  ASSERT_EQ(back.GetElement(tags::kPixelData, &pixels), DicomStatus::Success);
  EXPECT_EQ(pixels->GetLength(), 9u * 24);  // stored frames, and only those written
  if (HaveTool("dcmdump")) {
    const CommandResult dump = RunShell("dcmdump " + (dir / "out.dcm"));
    EXPECT_EQ(dump.exitCode, 0);
    EXPECT_EQ(dump.err, "");
  }
}

TEST(PixelImagePalette, DescriptorsAndTablesAreChecked) {
  ImageRecipe recipe;
  recipe.photometric = "PALETTE COLOR";
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  const uint16_t descriptor[3] = {256, 0, 16};
  std::vector<uint16_t> red(256), green(256), blue(256);
  for (size_t i = 0; i < 256; ++i) {
    red[i] = static_cast<uint16_t>(i << 8);
    green[i] = static_cast<uint16_t>((255 - i) << 8);
    blue[i] = 0x8000;
  }
  for (DicomTag tag : {0x00281101u, 0x00281102u, 0x00281103u}) (void)object.AddValue(tag, vr::US, descriptor, 6);
  (void)object.AddValue(0x00281201, vr::OW, red.data(), 512);
  (void)object.AddValue(0x00281202, vr::OW, green.data(), 512);
  (void)object.AddValue(0x00281203, vr::OW, blue.data(), 512);
  CPixelImage image;
  ASSERT_TRUE(image.OpenObject(object));
  const BitmapInfo* info = image.GetBitmapInfo();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->palette[4 * 10 + 2], 10);   // red: high byte of 16-bit entries
  EXPECT_EQ(info->palette[4 * 10 + 1], 245);  // green
  EXPECT_EQ(info->palette[4 * 10 + 0], 128);  // blue

  (void)object.AddValue(0x00281203, vr::OW, blue.data(), 510);  // one entry short
  ASSERT_TRUE(image.OpenObject(object));
  EXPECT_EQ(image.GetBitmapInfo(), nullptr);
}

}  // namespace
