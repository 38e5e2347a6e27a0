// CPixelImage: the image attributes it reads, frames from memory, from the
// file and from an open document, grey samples as the window shows them,
// palettes, and frames written after a header.
#include "base/MemoryStream.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomPixelData.h"
#include "dicom/ValueRepresentation.h"
#include "pixel/PixelDataConverter.h"
#include "pixel/PixelImage.h"
#include "support/DicomFiles.h"
#include "support/ImageFixtures.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;

namespace {

using Bytes = std::vector<uint8_t>;

// Frame `index` (-1: the next frame) into `bitmap`, which gets the frame size.
FrameStatus Read(CPixelImage& image, int32_t index, Bytes& bitmap, uint64_t* length = nullptr) {
  bitmap.assign(image.FrameSize(), 0);
  uint64_t ignored = 0;
  uint64_t& out = length != nullptr ? *length : ignored;
  return index < 0 ? image.ReadNextFrame(bitmap.data(), bitmap.size(), out)
                   : image.ReadFrame(index, bitmap.data(), bitmap.size(), out);
}

TEST(PixelImage, GeometryFrameCountAndGreyRamp) {
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

TEST(PixelImage, FramesFromMemoryAndFromTheFile) {
  TempDir dir("pixel-image");
  ImageRecipe recipe;
  recipe.columns = 5;
  recipe.rows = 3;
  recipe.frames = 3;
  const Bytes pixels = MakeImageFile(dir / "grey.dcm", recipe);
  ASSERT_FALSE(pixels.empty());
  CPixelImage fromFile;
  ASSERT_TRUE(fromFile.OpenFile(dir / "grey.dcm"));
  EXPECT_FALSE(fromFile.PixelElement()->IsLoaded());  // frames stay in the file
  Bytes bitmap;
  uint64_t length = 0;
  ASSERT_EQ(Read(fromFile, 2, bitmap, &length), FrameStatus::Success);
  EXPECT_EQ(length, 24u);
  // Bitmap row 0 is the last image row of frame 2.
  EXPECT_EQ(bitmap[0], pixels[2 * 15 + 2 * 5]);
  EXPECT_EQ(bitmap[2 * 8 + 4], pixels[2 * 15 + 4]);
  EXPECT_EQ(Read(fromFile, 3, bitmap), FrameStatus::OutOfRange);
  EXPECT_EQ(fromFile.ReadFrame(-1, bitmap.data(), bitmap.size(), length), FrameStatus::OutOfRange);
  ASSERT_EQ(Read(fromFile, 0, bitmap), FrameStatus::Success);
  ASSERT_EQ(Read(fromFile, -1, bitmap), FrameStatus::Success);  // the next frame
  EXPECT_EQ(bitmap[4], pixels[15 + 2 * 5 + 4]);

  CDicomObject loaded;
  ASSERT_TRUE(test::LoadInto(loaded, dir / "grey.dcm", false));
  CPixelImage fromObject;
  ASSERT_TRUE(fromObject.OpenObject(loaded));
  Bytes again;
  ASSERT_EQ(Read(fromObject, 2, again), FrameStatus::Success);
  ASSERT_EQ(Read(fromFile, 2, bitmap), FrameStatus::Success);
  EXPECT_EQ(again, bitmap);
  // With no pixel data the image makes an empty element; its frames are
  // not in memory and there is no file to read them from.
  (void)loaded.RemoveElement(tags::kPixelData);
  CPixelImage noPixels;
  ASSERT_TRUE(noPixels.OpenObject(loaded));
  EXPECT_EQ(Read(noPixels, 0, again), FrameStatus::CannotReopen);

  // Pixel data shorter than its frames announce: the last frame fails.
  CDicomObject object;
  recipe.frames = 4;
  Bytes shortPixels = MakePixelBytes(recipe);
  shortPixels.resize(shortPixels.size() - 20);
  FillImageObject(object, recipe, shortPixels);
  ASSERT_TRUE(SaveDicomFile(object, dir / "short.dcm"));
  CPixelImage image;
  ASSERT_TRUE(image.OpenFile(dir / "short.dcm"));
  EXPECT_EQ(Read(image, 0, bitmap), FrameStatus::Success);
  EXPECT_EQ(Read(image, 3, bitmap), FrameStatus::ReadWriteFailed);
}

// Signed samples were once windowed as unsigned (air at -1000 HU showed
// white), and bits above Bits Stored were shown as part of the value. Each
// one-row 16-bit image is shown the same opened from memory and from its
// file, with the default window of its samples.
TEST(PixelImage, GreySamplesAreTheirBitsStoredSignExtended) {
  TempDir dir("pixel-image-window");
  const struct {
    const char* what;
    std::vector<uint16_t> samples;
    uint16_t bitsStored, highBit, pixelRepresentation;
    Bytes shown;
  } cases[] = {
      // -2048, -1000 (air), 0 (water), 1000 (bone), 2047 in 12 bits of two's
      // complement: (255x + 127) / 4095 + 127 inside the window 4096 / 0.
      {"12-bit CT", {0x0800, 0x0C18, 0x0000, 0x03E8, 0x07FF}, 12, 11, 1, {0, 65, 127, 189, 255}},
      {"sign-extended into 16 bits", {0xF800, 0xFC18, 0x0000, 0x03E8, 0x07FF}, 12, 11, 1, {0, 65, 127, 189, 255}},
      {"16-bit signed: -32768 … 32767", {0x8000, 0xFC18, 0x0000, 0x7FFF}, 16, 15, 1, {0, 124, 127, 255}},
      // Garbage (an overlay, say) in the top 4 bits does not show.
      {"12 bits in the low bits", {100, 0xF000 | 100, 4095, 0xA000 | 4095}, 12, 11, 0, {6, 6, 255, 255}},
      {"12 bits in the high bits", {100 << 4, (100 << 4) | 0xF, 4095 << 4}, 12, 15, 0, {6, 6, 255}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ImageRecipe recipe;
    recipe.columns = static_cast<uint16_t>(c.samples.size());
    recipe.rows = 1;
    recipe.bitsAllocated = 16;
    recipe.bitsStored = c.bitsStored;
    Bytes bytes;
    for (const uint16_t s : c.samples) {
      bytes.insert(bytes.end(), {static_cast<uint8_t>(s), static_cast<uint8_t>(s >> 8)});
    }
    CDicomObject object;
    FillImageObject(object, recipe, bytes);
    (void)object.AddUInt16(tags::kHighBit, vr::US, c.highBit);
    (void)object.AddUInt16(tags::kPixelRepresentation, vr::US, c.pixelRepresentation);
    CPixelImage fromObject;
    ASSERT_TRUE(fromObject.OpenObject(object));
    int32_t width = 0;
    int32_t center = 0;
    ASSERT_TRUE(fromObject.GetWindow(width, center));
    EXPECT_EQ(width, 1 << c.bitsStored);
    EXPECT_EQ(center, c.pixelRepresentation == 1 ? 0 : 1 << (c.bitsStored - 1));
    Bytes bitmap;
    ASSERT_EQ(Read(fromObject, 0, bitmap), FrameStatus::Success);
    ASSERT_TRUE(test::Succeeded(SaveDicomFile(object, dir / "word.dcm")));
    CPixelImage fromFile;
    ASSERT_TRUE(fromFile.OpenFile(dir / "word.dcm"));
    Bytes again;
    ASSERT_EQ(Read(fromFile, 0, again), FrameStatus::Success);
    EXPECT_EQ(again, bitmap);
    EXPECT_EQ(Bytes(bitmap.begin(), bitmap.begin() + static_cast<long>(c.samples.size())), c.shown);
  }
}

// The pixel view opens the document it belongs to. Copying the document
// for that once doubled the memory of a large image and took most of a
// second; the image now reads the document's own pixel element.
TEST(PixelImage, FramesComeFromTheDocumentInMemoryOrInItsFile) {
  TempDir dir("pixel-image-document");
  ImageRecipe recipe;
  recipe.columns = 7;
  recipe.rows = 5;
  recipe.samples = 3;
  recipe.photometric = "RGB";
  recipe.frames = 4;
  ASSERT_FALSE(MakeImageFile(dir / "native.dcm", recipe).empty());
  ASSERT_EQ(ConvertPixelDataFile({}, dir / "native.dcm", dir / "rle.dcm", ConversionMode::Rle, false),
            DCT_STATUS::Success);
  for (const std::string& path : {dir / "native.dcm", dir / "rle.dcm"}) {
    std::vector<Bytes> expected(4);
    CPixelImage fromFile;
    ASSERT_TRUE(fromFile.OpenFile(path));
    for (size_t f = 0; f < 4; ++f) {
      ASSERT_EQ(Read(fromFile, static_cast<int32_t>(f), expected[f]), FrameStatus::Success);
    }
    for (const bool readPixels : {true, false}) {
      SCOPED_TRACE(path + (readPixels ? ", pixels read" : ", pixels left in the file"));
      CDicomObject document;
      ASSERT_TRUE(test::LoadInto(document, path, !readPixels));
      CDicomElement* before = nullptr;
      ASSERT_EQ(document.GetElement(tags::kPixelData, &before), DicomStatus::Success);
      const size_t elements = document.ElementCount();
      CPixelImage image;
      ASSERT_TRUE(image.OpenDocument(document, path));
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
      Bytes bitmap;
      ASSERT_EQ(Read(image, 2, bitmap), FrameStatus::Success);
      EXPECT_EQ(bitmap, expected[2]);
      ASSERT_EQ(Read(image, -1, bitmap), FrameStatus::Success);
      EXPECT_EQ(bitmap, expected[3]);
      EXPECT_EQ(Read(image, -1, bitmap), FrameStatus::ReadWriteFailed);
      ASSERT_EQ(Read(image, 0, bitmap), FrameStatus::Success);
      EXPECT_EQ(bitmap, expected[0]);
      EXPECT_EQ(Read(image, 4, bitmap), FrameStatus::OutOfRange);
      // A second image on the same document keeps its own place.
      CPixelImage other;
      ASSERT_TRUE(other.OpenDocument(document, path));
      ASSERT_EQ(Read(other, -1, bitmap), FrameStatus::Success);
      EXPECT_EQ(bitmap, expected[0]);
      ASSERT_EQ(Read(image, -1, bitmap), FrameStatus::Success);
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
  // A value two bytes short of its last frame: that frame is refused; a
  // document without pixel data opens no image.
  CDicomObject document;
  ASSERT_TRUE(test::LoadInto(document, dir / "native.dcm", false));
  CDicomElement* element = nullptr;
  ASSERT_EQ(document.GetElement(tags::kPixelData, &element), DicomStatus::Success);
  const Bytes shorter(element->GetValue(), element->GetValue() + element->GetLength() - 2);
  ASSERT_TRUE(test::Succeeded(document.AddValue(tags::kPixelData, vr::OB, shorter.data(), static_cast<uint32_t>(shorter.size()))));
  CPixelImage image;
  ASSERT_TRUE(image.OpenDocument(document));
  Bytes bitmap;
  EXPECT_EQ(Read(image, 2, bitmap), FrameStatus::Success);
  EXPECT_EQ(Read(image, 3, bitmap), FrameStatus::ReadWriteFailed);
  (void)document.RemoveElement(tags::kPixelData);
  EXPECT_FALSE(image.OpenDocument(document));
  CDicomObject empty;
  EXPECT_FALSE(image.OpenDocument(empty));
}

// The header was once written whole before the frames, so elements that
// sort after the pixel data landed in front of it. Fewer frames than
// announced rewrite the count, padded: 10 becomes "9 ", not "90".
TEST(PixelImage, WrittenFramesGetTheirCountAndTheElementsAfterThem) {
  TempDir dir("pixel-image-write");
  ImageRecipe recipe;
  recipe.columns = 5;  // an odd stored frame: the value gets a pad byte
  recipe.rows = 3;
  recipe.frames = 10;
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  (void)object.RemoveElement(tags::kPixelData);
  ASSERT_TRUE(test::Succeeded(object.AddString(0x7FE10010, vr::LO, "TRAILING")));
  const std::string padding(6, '\0');
  ASSERT_TRUE(test::Succeeded(object.AddValue(0xFFFCFFFC, vr::OB, padding.data(), 6)));
  for (const uint32_t written : {10u, 9u, 2u}) {  // all frames, and fewer than announced
    SCOPED_TRACE(written);
    CPixelImage image;
    ASSERT_TRUE(image.OpenObject(object));
    CMemoryStream out;
    ASSERT_TRUE(image.WriteHeader(out));
    const Bytes bitmap(image.FrameSize(), 9);
    for (uint32_t i = 0; i < written; ++i) ASSERT_EQ(image.WriteFrame(bitmap.data()), FrameStatus::Written);
    ASSERT_TRUE(image.FinishWrite());
    const std::string bytes(out.Data().begin(), out.Data().end());
    WriteText(dir / "out.dcm", bytes);

    const std::string tail =
        std::string("\xE1\x7F\x10\x00LO\x08\x00TRAILING\xFC\xFF\xFC\xFFOB\0\0\x06\0\0\0", 28) + padding;
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);
    CDicomObject back;
    ASSERT_TRUE(test::LoadInto(back, dir / "out.dcm", false));
    std::string text;
    ASSERT_EQ(back.GetString(tags::kNumberOfFrames, text), DicomStatus::Success);
    EXPECT_EQ(text, std::to_string(written));
    CDicomElement* pixels = nullptr;
    ASSERT_EQ(back.GetElement(tags::kPixelData, &pixels), DicomStatus::Success);
    EXPECT_EQ(pixels->GetLength(), (15u * written + 1) & ~1u);  // stored frames, padded to even
    EXPECT_EQ(back.GetString(0x7FE10010, text), DicomStatus::Success);
    EXPECT_EQ(text, "TRAILING");
    if (HaveTool("dcmdump")) {
      const CommandResult dump = RunShell("dcmdump " + (dir / "out.dcm"));
      EXPECT_EQ(dump.exitCode, 0);
      EXPECT_EQ(dump.err, "");
    }
  }
}

TEST(PixelImage, PaletteDescriptorsAndTablesAreChecked) {
  ImageRecipe recipe;
  recipe.photometric = "PALETTE COLOR";
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  const uint16_t descriptor[3] = {256, 0, 16};
  std::vector<uint16_t> red(256), green(256), blue(256, 0x8000);
  for (size_t i = 0; i < 256; ++i) {
    red[i] = static_cast<uint16_t>(i << 8);
    green[i] = static_cast<uint16_t>((255 - i) << 8);
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
