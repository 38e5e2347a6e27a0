#include "base/MemoryStream.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "dicom/ValueRepresentation.h"
#include "dicom/DicomPixelData.h"
#include "pixel/PixelCodec.h"
#include "pixel/PixelDataConverter.h"
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

/// A one-row 16-bit MONOCHROME2 image holding `samples` as stored.
void FillWordImage(CDicomObject& object, const std::vector<uint16_t>& samples, uint16_t bitsStored,
                   uint16_t highBit, uint16_t pixelRepresentation) {
  ImageRecipe recipe;
  recipe.columns = static_cast<uint16_t>(samples.size());
  recipe.rows = 1;
  recipe.bitsAllocated = 16;
  recipe.bitsStored = bitsStored;
  std::vector<uint8_t> bytes;
  for (const uint16_t sample : samples) {
    bytes.push_back(static_cast<uint8_t>(sample));
    bytes.push_back(static_cast<uint8_t>(sample >> 8));
  }
  FillImageObject(object, recipe, bytes);
  (void)object.AddUInt16(tags::kHighBit, vr::US, highBit);
  (void)object.AddUInt16(tags::kPixelRepresentation, vr::US, pixelRepresentation);
}

/// The bitmap of frame 0, one byte per image pixel, opened both ways the
/// viewer and the command-line tool open images.
std::vector<uint8_t> Displayed(CDicomObject& object, const TempDir& dir) {
  CPixelImage fromObject;
  EXPECT_TRUE(fromObject.OpenObject(object));
  std::vector<uint8_t> bitmap(fromObject.FrameSize());
  uint64_t length = 0;
  EXPECT_EQ(fromObject.ReadFrame(0, bitmap.data(), bitmap.size(), length), FrameStatus::Success);
  std::string error;
  EXPECT_TRUE(SaveDicomFile(object, dir / "word.dcm", error)) << error;
  CPixelImage fromFile;
  EXPECT_TRUE(fromFile.OpenFile(dir / "word.dcm"));
  std::vector<uint8_t> again(fromFile.FrameSize());
  EXPECT_EQ(fromFile.ReadFrame(0, again.data(), again.size(), length), FrameStatus::Success);
  EXPECT_EQ(again, bitmap);
  bitmap.resize(fromObject.Columns());
  return bitmap;
}

// Signed samples were once windowed as unsigned (air at -1000 HU showed
// white) and bits above Bits Stored were shown as part of the value.
TEST(PixelImageWindow, SignedCtSamplesAreSignExtendedAndWindowedAroundZero) {
  TempDir dir("pixel-image-signed");
  // A 12-bit CT: -2048, -1000 (air), 0 (water), 1000 (bone), 2047 as
  // stored, in 12 bits of two's complement.
  CDicomObject object;
  FillWordImage(object, {0x0800, 0x0C18, 0x0000, 0x03E8, 0x07FF}, 12, 11, 1);
  CPixelImage image;
  ASSERT_TRUE(image.OpenObject(object));
  int32_t width = 0;
  int32_t center = 0;
  ASSERT_TRUE(image.GetWindow(width, center));
  EXPECT_EQ(width, 4096);
  EXPECT_EQ(center, 0);
  // With width 4096 and centre 0: (255x + 127) / 4095 + 127 inside the window.
  EXPECT_EQ(Displayed(object, dir), (std::vector<uint8_t>{0, 65, 127, 189, 255}));

  // The same values sign-extended into all 16 bits (as most CT files store
  // them) show the same.
  FillWordImage(object, {0xF800, 0xFC18, 0x0000, 0x03E8, 0x07FF}, 12, 11, 1);
  EXPECT_EQ(Displayed(object, dir), (std::vector<uint8_t>{0, 65, 127, 189, 255}));
  // Full 16-bit signed samples: the window spans -32768 … 32767.
  FillWordImage(object, {0x8000, 0xFC18, 0x0000, 0x7FFF}, 16, 15, 1);
  EXPECT_EQ(Displayed(object, dir), (std::vector<uint8_t>{0, 124, 127, 255}));
}

TEST(PixelImageWindow, BitsOutsideBitsStoredDoNotShow) {
  TempDir dir("pixel-image-masked");
  // 12 bits stored in the low bits, garbage (an overlay, say) in the top 4.
  CDicomObject object;
  FillWordImage(object, {100, 0xF000 | 100, 4095, 0xA000 | 4095}, 12, 11, 0);
  std::vector<uint8_t> shown = Displayed(object, dir);
  EXPECT_EQ(shown[0], shown[1]);
  EXPECT_EQ(shown[2], 255);
  EXPECT_EQ(shown[3], 255);
  EXPECT_LT(shown[0], 10);
  // 12 bits stored in the high bits (High Bit 15): the value is shifted down.
  FillWordImage(object, {100 << 4, (100 << 4) | 0xF, 4095 << 4}, 12, 15, 0);
  EXPECT_EQ(Displayed(object, dir), (std::vector<uint8_t>{shown[0], shown[0], 255}));
}

// The pixel view opens the document it belongs to. Copying the document
// for that once doubled the memory of a large image and took most of a
// second; the image now reads the document's own pixel element.
class PixelImageOnDocument : public ::testing::Test {
 protected:
  void SetUp() override {
    ImageRecipe recipe;
    recipe.columns = 7;
    recipe.rows = 5;
    recipe.samples = 3;
    recipe.photometric = "RGB";
    recipe.frames = 4;
    ASSERT_FALSE(MakeImageFile(m_native, recipe).empty());
    ASSERT_EQ(ConvertPixelDataFile({}, m_native, m_rle, ConversionMode::Rle, false), DCT_STATUS::Success);
  }

  /// Every frame of `path` as OpenFile delivers them.
  static std::vector<std::vector<uint8_t>> FramesOfFile(const std::string& path) {
    CPixelImage image;
    EXPECT_TRUE(image.OpenFile(path));
    std::vector<std::vector<uint8_t>> frames;
    for (int32_t f = 0; f < image.NumberOfFrames(); ++f) {
      std::vector<uint8_t> bitmap(image.FrameSize());
      uint64_t length = 0;
      EXPECT_EQ(image.ReadFrame(f, bitmap.data(), bitmap.size(), length), FrameStatus::Success);
      frames.push_back(bitmap);
    }
    return frames;
  }

  TempDir m_dir{"pixel-image-document"};
  std::string m_native = m_dir / "native.dcm";
  std::string m_rle = m_dir / "rle.dcm";
};

TEST_F(PixelImageOnDocument, FramesComeFromTheDocumentInMemoryOrInItsFile) {
  for (const std::string& path : {m_native, m_rle}) {
    const std::vector<std::vector<uint8_t>> expected = FramesOfFile(path);
    ASSERT_EQ(expected.size(), 4u);
    for (const bool readPixels : {true, false}) {
      SCOPED_TRACE(path + (readPixels ? ", pixels read" : ", pixels left in the file"));
      CDicomObject document;
      ASSERT_TRUE(document.LoadFile(path, !readPixels)) << document.GetLastReadError();
      CDicomElement* before = nullptr;
      ASSERT_EQ(document.GetElement(tags::kPixelData, &before), DicomStatus::Success);
      const size_t elements = document.ElementCount();

      CPixelImage image;
      ASSERT_TRUE(image.OpenDocument(document));
      // Only the meta group and the image description were copied; the
      // pixel value is not in the image, in memory or as an element.
      for (const auto& entry : image.Object()->Elements().Sorted()) {
        EXPECT_TRUE(TagGroup(entry.tag) == 0x0002 || TagGroup(entry.tag) == 0x0028) << std::hex << entry.tag;
      }
      EXPECT_EQ(image.PixelElement() != nullptr, !readPixels);  // an element without value, to find the file's frames
      if (image.PixelElement() != nullptr) {
        EXPECT_FALSE(image.PixelElement()->HasValue());
      }
      EXPECT_EQ(image.NumberOfFrames(), 4);
      ASSERT_NE(image.GetBitmapInfo(), nullptr);

      std::vector<uint8_t> bitmap(image.FrameSize());
      uint64_t length = 0;
      ASSERT_EQ(image.ReadFrame(2, bitmap.data(), bitmap.size(), length), FrameStatus::Success);
      EXPECT_EQ(bitmap, expected[2]);
      ASSERT_EQ(image.ReadNextFrame(bitmap.data(), bitmap.size(), length), FrameStatus::Success);
      EXPECT_EQ(bitmap, expected[3]);
      EXPECT_EQ(image.ReadNextFrame(bitmap.data(), bitmap.size(), length), FrameStatus::ReadWriteFailed);
      ASSERT_EQ(image.ReadFrame(0, bitmap.data(), bitmap.size(), length), FrameStatus::Success);
      EXPECT_EQ(bitmap, expected[0]);
      EXPECT_EQ(image.ReadFrame(4, bitmap.data(), bitmap.size(), length), FrameStatus::OutOfRange);

      // A second image on the same document keeps its own place.
      CPixelImage other;
      ASSERT_TRUE(other.OpenDocument(document));
      ASSERT_EQ(other.ReadNextFrame(bitmap.data(), bitmap.size(), length), FrameStatus::Success);
      EXPECT_EQ(bitmap, expected[0]);
      ASSERT_EQ(image.ReadNextFrame(bitmap.data(), bitmap.size(), length), FrameStatus::Success);
      EXPECT_EQ(bitmap, expected[1]);

      // The document is left as it was.
      image.Close();
      other.Close();
      CDicomElement* after = nullptr;
      ASSERT_EQ(document.GetElement(tags::kPixelData, &after), DicomStatus::Success);
      EXPECT_EQ(after, before);
      EXPECT_EQ(document.ElementCount(), elements);
    }
  }
}

TEST_F(PixelImageOnDocument, ShortValuesAndDocumentsWithoutPixelsFailCleanly) {
  CDicomObject document;
  ASSERT_TRUE(document.LoadFile(m_native, false));
  // A value two bytes short of its last frame: that frame is refused.
  CDicomElement* element = nullptr;
  ASSERT_EQ(document.GetElement(tags::kPixelData, &element), DicomStatus::Success);
  const std::vector<uint8_t> shorter(element->GetValue(), element->GetValue() + element->GetLength() - 2);
  ASSERT_EQ(document.AddValue(tags::kPixelData, vr::OB, shorter.data(), static_cast<uint32_t>(shorter.size())),
            DicomStatus::Success);
  CPixelImage image;
  ASSERT_TRUE(image.OpenDocument(document));
  std::vector<uint8_t> bitmap(image.FrameSize());
  uint64_t length = 0;
  EXPECT_EQ(image.ReadFrame(2, bitmap.data(), bitmap.size(), length), FrameStatus::Success);
  EXPECT_EQ(image.ReadFrame(3, bitmap.data(), bitmap.size(), length), FrameStatus::ReadWriteFailed);

  (void)document.RemoveElement(tags::kPixelData);
  EXPECT_FALSE(image.OpenDocument(document));
  CDicomObject empty;
  EXPECT_FALSE(image.OpenDocument(empty));
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
  CMemoryStream out;
  ASSERT_TRUE(image.WriteHeader(out));
  std::vector<uint8_t> bitmap(image.FrameSize(), 7);
  for (int i = 0; i < 9; ++i) ASSERT_EQ(image.WriteFrame(bitmap.data()), FrameStatus::Written);
  ASSERT_TRUE(image.FinishWrite());
  WriteText(dir / "out.dcm", std::string(out.Data().begin(), out.Data().end()));

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

// The header was once written whole before the frames, so elements that
// sort after the pixel data landed in front of it.
TEST(PixelImageWrite, ElementsAfterThePixelDataFollowTheFrames) {
  TempDir dir("pixel-image-trailing");
  ImageRecipe recipe;
  recipe.columns = 5;  // an odd stored frame: the value gets a pad byte
  recipe.rows = 3;
  recipe.frames = 3;
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  (void)object.RemoveElement(tags::kPixelData);
  ASSERT_EQ(object.AddString(0x7FE10010, vr::LO, "TRAILING"), DicomStatus::Success);
  const std::string padding(6, '\0');
  ASSERT_EQ(object.AddValue(0xFFFCFFFC, vr::OB, padding.data(), 6), DicomStatus::Success);
  for (const uint32_t written : {3u, 2u}) {  // all frames, and fewer than announced
    SCOPED_TRACE(written);
    CPixelImage image;
    ASSERT_TRUE(image.OpenObject(object));
    CMemoryStream out;
    ASSERT_TRUE(image.WriteHeader(out));
    std::vector<uint8_t> bitmap(image.FrameSize(), 9);
    for (uint32_t i = 0; i < written; ++i) ASSERT_EQ(image.WriteFrame(bitmap.data()), FrameStatus::Written);
    ASSERT_TRUE(image.FinishWrite());
    WriteText(dir / "out.dcm", std::string(out.Data().begin(), out.Data().end()));

    const std::string bytes = ReadBytes(dir / "out.dcm");
    const std::string tail =
        std::string("\xE1\x7F\x10\x00LO\x08\x00TRAILING\xFC\xFF\xFC\xFFOB\0\0\x06\0\0\0", 28) + padding;
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);
    CDicomObject back;
    ASSERT_TRUE(back.LoadFile(dir / "out.dcm", false)) << back.GetLastReadError();
    CDicomElement* pixels = nullptr;
    ASSERT_EQ(back.GetElement(tags::kPixelData, &pixels), DicomStatus::Success);
    EXPECT_EQ(pixels->GetLength(), (15u * written + 1) & ~1u);  // padded to even
    std::string text;
    EXPECT_EQ(back.GetString(0x7FE10010, text), DicomStatus::Success);
    EXPECT_EQ(text, "TRAILING");
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
