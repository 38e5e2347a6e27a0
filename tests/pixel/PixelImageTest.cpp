// CPixelImage: the image attributes it reads, frames from memory, from the
// file and from an open document, grey samples as the window shows them,
// palettes, and frames written after a header.
#include "base/MemoryStream.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomPixelData.h"
#include "dicom/ValueRepresentation.h"
#include "pixel/PixelDataConverter.h"
#include "pixel/PixelImage.h"
#include "support/DicomFiles.h"
#include "support/ImageFixtures.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace quillon;
using namespace quillon::test;

namespace {

using Bytes = std::vector<uint8_t>;

// Frame `index` (-1: the next frame) into `bitmap`, which gets the frame size.
FrameStatus Read(CPixelImage& image, int32_t index, Bytes& bitmap) {
  bitmap.assign(image.FrameSize(), 0);
  uint64_t length = 0;
  const FrameStatus status = index == -1 ? image.ReadNextFrame(bitmap.data(), bitmap.size(), length)
                                         : image.ReadFrame(index, bitmap.data(), bitmap.size(), length);
  EXPECT_EQ(length, status == FrameStatus::Success ? bitmap.size() : 0u);
  return status;
}

TEST(PixelImage, AttributesFrameCountAndPalettes) {
  const ImageRecipe recipe{.columns = 10, .rows = 10, .writeNumberOfFrames = false};
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  CPixelImage image;
  ASSERT_TRUE(image.OpenObject(object));
  EXPECT_EQ(std::tuple(image.FrameSize(), image.StoredFrameSize(), image.NumberOfFrames()), std::tuple(120u, 100u, 1));
  ASSERT_NE(image.GetBitmapInfo(), nullptr);
  EXPECT_EQ(image.GetBitmapInfo()->palette[4 * 200], 200);  // grey ramp
  for (const char* frames : {"0", "-4", "junk"}) {
    (void)object.AddString(tags::kNumberOfFrames, vr::IS, frames);
    ASSERT_TRUE(image.OpenObject(object));
    EXPECT_EQ(image.NumberOfFrames(), 1) << frames;
  }
  (void)object.RemoveElement(tags::kSamplesPerPixel);
  (void)object.AddString(tags::kPhotometricInterpretation, vr::CS, "MONOCHROME1");
  ASSERT_TRUE(image.OpenObject(object));
  EXPECT_EQ(image.SamplesPerPixel(), 1u);  // no Samples per Pixel: one sample
  EXPECT_EQ(image.GetBitmapInfo()->palette[4 * 200], 55);  // inverted ramp
  // A palette's 16-bit entries give their high byte; a table one entry
  // short of its descriptor leaves the image without bitmap header.
  (void)object.AddString(tags::kPhotometricInterpretation, vr::CS, "PALETTE COLOR");
  const uint16_t descriptor[3] = {256, 0, 16};
  std::vector<uint16_t> tables(768, 0x8000);  // red rising, green falling, blue half
  for (size_t i = 0; i < 256; ++i) {
    tables[i] = static_cast<uint16_t>(i << 8);
    tables[256 + i] = static_cast<uint16_t>((255 - i) << 8);
  }
  for (DicomTag t = 0; t < 3; ++t) {
    (void)object.AddValue(0x00281101 + t, vr::US, descriptor, 6);
    (void)object.AddValue(0x00281201 + t, vr::OW, tables.data() + 256 * t, 512);
  }
  ASSERT_TRUE(image.OpenObject(object));
  ASSERT_NE(image.GetBitmapInfo(), nullptr);
  const uint8_t* entry = &image.GetBitmapInfo()->palette[4 * 10];
  EXPECT_EQ(Bytes(entry, entry + 3), (Bytes{128, 245, 10}));  // blue, green, red
  (void)object.AddValue(0x00281203, vr::OW, tables.data(), 510);
  ASSERT_TRUE(image.OpenObject(object));
  EXPECT_EQ(image.GetBitmapInfo(), nullptr);
}

// Signed samples were once windowed as unsigned (air at -1000 HU showed
// white), and bits above Bits Stored were shown as part of the value. Each
// one-row 16-bit image is shown with the default window of its samples.
TEST(PixelImage, GreySamplesAreTheirBitsStoredSignExtended) {
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
    const ImageRecipe recipe{.columns = static_cast<uint16_t>(c.samples.size()), .rows = 1, .bitsAllocated = 16,
                             .bitsStored = c.bitsStored};
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
    EXPECT_EQ(Bytes(bitmap.begin(), bitmap.begin() + static_cast<long>(c.samples.size())), c.shown);
  }
}

// Every way of opening an image reads the same frames, native or RLE: from
// the file on demand, from a data set in memory, and from an open document
// whose pixel value is in memory or left in its file. (The pixel view opens
// the document it belongs to: copying it for that once doubled the memory of
// a large image and took most of a second.) Each image keeps its own place
// for the next frame and refuses frames past the last; a document is left
// as it was, and only its meta group and image description are copied.
TEST(PixelImage, FramesFromTheFileFromMemoryOrFromAnOpenDocument) {
  TempDir dir("pixel-image");
  const ImageRecipe recipe{.columns = 7, .rows = 5, .samples = 3, .frames = 4, .photometric = "RGB"};
  const Bytes pixels = MakeImageFile(dir / "native.dcm", recipe);
  ASSERT_EQ(ConvertPixelDataFile({}, dir / "native.dcm", dir / "rle.dcm", ConversionMode::Rle, false),
            DCT_STATUS::Success);
  for (const std::string& path : {dir / "native.dcm", dir / "rle.dcm"}) {
    std::vector<Bytes> frames(4);
    CPixelImage reference;
    ASSERT_TRUE(reference.OpenFile(path));
    for (int32_t f = 0; f < 4; ++f) ASSERT_EQ(Read(reference, f, frames[static_cast<size_t>(f)]), FrameStatus::Success);
    // Bitmap row 0 is the last image row, blue first.
    EXPECT_EQ(Bytes(frames[2].begin(), frames[2].begin() + 3),
              (Bytes{pixels[(2 * 35 + 28) * 3 + 2], pixels[(2 * 35 + 28) * 3 + 1], pixels[(2 * 35 + 28) * 3]}));
    for (const char* way : {"file", "memory", "document", "document, pixels in the file"}) {
      SCOPED_TRACE(path + ", " + way);
      const bool document = way[0] == 'd';
      CDicomObject object;
      ASSERT_TRUE(test::LoadInto(object, path, std::string(way).find("file") != std::string::npos));
      const size_t elements = object.ElementCount();
      CPixelImage image;
      CPixelImage other;
      for (CPixelImage* opened : {&image, &other}) {
        ASSERT_TRUE(way[0] == 'f' ? opened->OpenFile(path)
                    : document    ? opened->OpenDocument(object, path) : opened->OpenObject(object, path));
      }
      const struct {
        CPixelImage& image;
        int32_t index;
        FrameStatus status;
        size_t frame;
      } reads[] = {{image, 2, FrameStatus::Success, 2},         {image, -1, FrameStatus::Success, 3},
                   {image, -1, FrameStatus::ReadWriteFailed, 0}, {image, 0, FrameStatus::Success, 0},
                   {image, 4, FrameStatus::OutOfRange, 0},      {image, -5, FrameStatus::OutOfRange, 0},
                   {other, -1, FrameStatus::Success, 0},        {image, -1, FrameStatus::Success, 1}};
      for (const auto& r : reads) {
        Bytes bitmap;
        ASSERT_EQ(Read(r.image, r.index, bitmap), r.status) << r.index;
        EXPECT_TRUE(r.status != FrameStatus::Success || bitmap == frames[r.frame]) << r.index;
      }
      if (!document) continue;
      EXPECT_TRUE(image.PixelElement() == nullptr || !image.PixelElement()->HasValue());
      for (const auto& entry : image.Object()->Elements().Sorted()) {
        EXPECT_TRUE(TagGroup(entry.tag) == 0x0002 || TagGroup(entry.tag) == 0x0028) << std::hex << entry.tag;
      }
      image.Close();
      other.Close();
      EXPECT_EQ(object.ElementCount(), elements);
    }
  }
  // Pixel data shorter than its frames announce, in a file or a document:
  // the last frame is refused. A document without pixel data opens no
  // image; a data set without one reads no frame.
  std::vector<uint8_t> shortPixels = MakePixelBytes(recipe);
  shortPixels.resize(shortPixels.size() - 2);
  CDicomObject object;
  FillImageObject(object, recipe, shortPixels);
  ASSERT_TRUE(test::Succeeded(SaveDicomFile(object, dir / "short.dcm")));
  CPixelImage image;
  Bytes bitmap;
  for (const bool document : {false, true}) {
    ASSERT_TRUE(document ? image.OpenDocument(object) : image.OpenFile(dir / "short.dcm"));
    EXPECT_EQ(Read(image, 2, bitmap), FrameStatus::Success);
    EXPECT_EQ(Read(image, 3, bitmap), FrameStatus::ReadWriteFailed);
  }
  (void)object.RemoveElement(tags::kPixelData);
  EXPECT_FALSE(image.OpenDocument(object));
  ASSERT_TRUE(image.OpenObject(object));
  EXPECT_EQ(Read(image, 0, bitmap), FrameStatus::CannotReopen);
}

// A document read from a big endian file holds its pixel value swapped to
// little endian; the pixel view once took that value for fragments and
// showed "Cannot read first frame".
TEST(PixelImage, ABigEndianDocumentShowsTheFrameOfItsLittleEndianTwin) {
  const std::string folder = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";
  if (!std::filesystem::exists(folder + "MR_small_bigendian.dcm")) GTEST_SKIP() << "pydicom's test files";
  std::vector<Bytes> frames;
  for (const char* name : {"MR_small.dcm", "MR_small_bigendian.dcm"}) {
    CDicomObject document;
    ASSERT_TRUE(test::LoadInto(document, folder + name));
    CPixelImage image;
    ASSERT_TRUE(image.OpenDocument(document, folder + name)) << name;
    ASSERT_EQ(Read(image, 0, frames.emplace_back()), FrameStatus::Success) << name;
  }
  EXPECT_EQ(frames[0], frames[1]);
}

// The header was once written whole before the frames, so elements that
// sort after the pixel data landed in front of it. Fewer frames than
// announced rewrite the count, padded: 10 becomes "9 ", not "90".
TEST(PixelImage, WrittenFramesGetTheirCountAndTheElementsAfterThem) {
  const ImageRecipe recipe{.columns = 5, .rows = 3, .frames = 10};  // an odd stored frame: the value gets a pad byte
  CDicomObject object;
  FillImageObject(object, recipe, MakePixelBytes(recipe));
  (void)object.RemoveElement(tags::kPixelData);
  ASSERT_TRUE(test::Succeeded(object.AddString(0x7FE10010, vr::LO, "TRAILING")));
  const std::string padding(6, '\0');
  ASSERT_TRUE(test::Succeeded(object.AddValue(0xFFFCFFFC, vr::OB, padding.data(), 6)));
  for (const uint32_t written : {10u, 9u}) {
    SCOPED_TRACE(written);
    CPixelImage image;
    ASSERT_TRUE(image.OpenObject(object));
    CMemoryStream out;
    ASSERT_TRUE(image.WriteHeader(out));
    const Bytes bitmap(image.FrameSize(), 9);
    for (uint32_t i = 0; i < written; ++i) ASSERT_EQ(image.WriteFrame(bitmap.data()), FrameStatus::Written);
    ASSERT_TRUE(image.FinishWrite());
    const std::string bytes(out.Data().begin(), out.Data().end());
    const std::string tail = std::string("\xE1\x7F\x10\x00LO\x08\x00TRAILING\xFC\xFF\xFC\xFFOB\0\0\x06\0\0\0", 28);
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size() - 6), tail + padding);
    const ReadResult back = ReadFromBytes(out.Data());
    ASSERT_TRUE(back.status) << back.status.Message();
    std::string text;
    ASSERT_EQ(back.object.GetString(tags::kNumberOfFrames, text), DicomStatus::Success);
    EXPECT_EQ(text, std::to_string(written));
    uint32_t length = 0;
    const uint8_t* value = nullptr;
    ASSERT_EQ(back.object.GetValue(tags::kPixelData, length, &value), DicomStatus::Success);
    EXPECT_EQ(length, (15u * written + 1) & ~1u);  // stored frames, padded to even
  }
}

}  // namespace
