// The JPEG pixel codec: what it hands the baseline codec (a bottom-up
// blue-green-red bitmap with its row padding, the quality), what it makes
// of a frame (even length, the estimated quality, the display bitmap),
// frames that disagree with the image attributes, damaged frames, and
// frames made and read by DCMTK.
#include "pixel/JpegPixelCodec.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "jpeg/BaselineJpegCodec.h"
#include "dicom/DicomEncapsulatedPixelData.h"
#include "support/DicomFiles.h"
#include "support/ImageFixtures.h"
#include "support/ImageMetrics.h"
#include "support/Shell.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::test;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kPadByte = 0xA5;

// A codec for an 8-bit image of `samples` samples per pixel.
CJpegPixelCodec MakeCodec(uint32_t columns, uint32_t rows, uint32_t samples, int32_t quality = 85) {
  return CJpegPixelCodec(samples == 1 ? "MONOCHROME2" : "RGB", columns, rows, samples, 8, 8, quality);
}

// A display-sized buffer.
Bytes Display(const CPixelCodec& codec, uint8_t fill = 0) {
  return Bytes(static_cast<size_t>(codec.DisplaySize()), fill);
}

// A photograph-like display bitmap for `codec`: smooth gradients and a soft
// blob with a fine texture and a little noise. Padding pixels hold `padByte`.
Bytes NaturalBitmap(const CPixelCodec& codec, uint8_t padByte = kPadByte, uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> noise(-3, 3);
  const uint32_t b = codec.BytesPerPixel();
  const size_t stride = size_t{codec.AlignedColumns()} * b;
  Bytes bitmap = Display(codec, padByte);
  for (uint32_t y = 0; y < codec.Rows(); ++y) {
    for (uint32_t x = 0; x < codec.Columns(); ++x) {
      const double u = static_cast<double>(x) / codec.Columns();
      const double v = static_cast<double>(y) / codec.Rows();
      const double texture = 10.0 * std::sin(x * 0.9) * std::sin(y * 0.7);
      const double blob = 50.0 * std::exp(-((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4)) * 8.0);
      for (uint32_t c = 0; c < b; ++c) {
        const double level =
            40.0 + 120.0 * u + 40.0 * v * (c + 1) / b + blob * (c == 1 ? 0.5 : 1.0) + texture + noise(random);
        bitmap[y * stride + size_t{x} * b + c] = static_cast<uint8_t>(std::clamp(level, 0.0, 255.0));
      }
    }
  }
  return bitmap;
}

// PSNR between two display bitmaps of `codec`, padding excluded.
double Psnr(const CPixelCodec& codec, const Bytes& a, const Bytes& b) {
  return Psnr8(a.data(), b.data(), size_t{codec.Columns()} * codec.BytesPerPixel(), codec.Rows(),
               size_t{codec.AlignedColumns()} * codec.BytesPerPixel());
}

// Compress into a generous buffer; the result is trimmed to the frame.
Bytes Compress(CJpegPixelCodec& codec, const Bytes& bitmap) {
  Bytes out(static_cast<size_t>(codec.DisplaySize()) * 2 + 4096);
  uint64_t length = 0;
  EXPECT_TRUE(codec.Compress(bitmap.data(), out.data(), out.size(), length)) << codec.LastError();
  out.resize(static_cast<size_t>(length));
  return out;
}

// Flips rows of `rowBytes` bytes, top to bottom.
void FlipRows(Bytes& buffer, size_t rowBytes, size_t rows) {
  for (size_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(buffer.begin() + static_cast<std::ptrdiff_t>(top * rowBytes),
                     buffer.begin() + static_cast<std::ptrdiff_t>((top + 1) * rowBytes),
                     buffer.begin() + static_cast<std::ptrdiff_t>(bottom * rowBytes));
  }
}

// The JPEG data the codec is meant to make: the bitmap copied top-down into
// a temporary buffer and encoded from there, blue-green-red, with the
// padding of each row passed on.
Bytes ReferenceJpeg(const CPixelCodec& codec, const Bytes& bitmap, int32_t quality) {
  const uint32_t b = codec.BytesPerPixel();
  Bytes topDown = bitmap;
  FlipRows(topDown, size_t{codec.AlignedColumns()} * b, codec.Rows());
  Bytes out(static_cast<size_t>(codec.DisplaySize()) * 2 + 4096);
  JpegRequest request;
  request.bitmapIn = topDown.data();
  request.bitmapWidth = codec.Columns();
  request.bitmapHeight = codec.Rows();
  request.bitmapChannels = b;
  request.bitmapRowPadding = (codec.AlignedColumns() - codec.Columns()) * b;
  request.bitmapColourOrder = b == 1 ? JpegColourOrder::Grey : JpegColourOrder::Bgr;
  request.jpegOut = out.data();
  request.jpegOutCapacity = out.size();
  request.quality = quality;
  CBaselineJpegCodec jpeg;
  EXPECT_EQ(jpeg.WriteImage(request), JpegStatus::Success) << jpeg.LastError();
  out.resize(static_cast<size_t>(request.jpegOutLength));
  return out;
}

// The frame: the JPEG data, and a zero byte when its length is odd.
Bytes ReferenceCompress(const CPixelCodec& codec, const Bytes& bitmap, int32_t quality) {
  Bytes out = ReferenceJpeg(codec, bitmap, quality);
  if (out.size() % 2 != 0) out.push_back(0);
  return out;
}

// The bitmap as the codec is meant to make it: decoded top-down into the
// display buffer with `channels` bytes per pixel and the padding of rows
// of AlignedColumns pixels, then flipped in place with rows of
// AlignedColumns × BytesPerPixel bytes. `bitmap` holds what the buffer
// held before.
void ReferenceDecompress(const CPixelCodec& codec, const Bytes& frame, uint32_t channels, Bytes& bitmap) {
  JpegRequest request;
  request.jpegIn = frame.data();
  request.jpegInLength = frame.size();
  request.bitmapOut = bitmap.data();
  request.bitmapCapacity = bitmap.size();
  request.bitmapWidth = codec.Columns();
  request.bitmapHeight = codec.Rows();
  request.bitmapChannels = channels;
  request.bitmapRowPadding = (codec.AlignedColumns() - codec.Columns()) * channels;
  request.bitmapColourOrder = channels == 1 ? JpegColourOrder::Grey : JpegColourOrder::Bgr;
  CBaselineJpegCodec jpeg;
  ASSERT_EQ(jpeg.ReadImage(request), JpegStatus::Success) << jpeg.LastError();
  FlipRows(bitmap, size_t{codec.AlignedColumns()} * codec.BytesPerPixel(), codec.Rows());
}

}  // namespace

// ---- Compress ----

TEST(JpegPixelCodec, FramesMatchTheBaselineCodecOnATopDownCopy) {
  for (const uint32_t samples : {1u, 3u}) {
    for (const uint32_t columns : {37u, 64u, 510u}) {
      SCOPED_TRACE(std::to_string(samples) + " samples, " + std::to_string(columns) + " columns");
      CJpegPixelCodec codec = MakeCodec(columns, 23, samples, 80);
      const Bytes bitmap = NaturalBitmap(codec);
      const Bytes frame = Compress(codec, bitmap);
      EXPECT_EQ(frame, ReferenceCompress(codec, bitmap, 80));
      Bytes expected = Display(codec, 0x5A);
      ReferenceDecompress(codec, frame, samples, expected);
      Bytes decoded = Display(codec, 0x5A);
      ASSERT_TRUE(codec.Decompress(frame.data(), frame.size(), decoded.data())) << codec.LastError();
      EXPECT_EQ(decoded, expected);
    }
  }
}

TEST(JpegPixelCodecCompress, QualityZeroMeans85) {
  CJpegPixelCodec codec = MakeCodec(48, 32, 3, 0);
  const Bytes bitmap = NaturalBitmap(codec);
  EXPECT_EQ(Compress(codec, bitmap), ReferenceCompress(codec, bitmap, 85));
  EXPECT_EQ(codec.Quality(), 0) << "the setting itself stays";
}

TEST(JpegPixelCodecCompress, OddLengthGetsOneZeroByte) {
  // Find an image whose JPEG data has an odd length.
  for (uint32_t seed = 1; seed < 64; ++seed) {
    CJpegPixelCodec codec = MakeCodec(40, 30, 1);
    const Bytes bitmap = NaturalBitmap(codec, kPadByte, seed);
    const Bytes raw = ReferenceJpeg(codec, bitmap, 85);
    const size_t odd = raw.size();
    if (odd % 2 == 0) continue;

    const Bytes frame = Compress(codec, bitmap);
    ASSERT_EQ(frame.size(), odd + 1);
    EXPECT_EQ(frame.back(), 0);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), frame.begin()));
    EXPECT_EQ(frame[odd - 2], 0xFF);  // the end-of-image marker comes before the pad byte
    EXPECT_EQ(frame[odd - 1], 0xD9);

    // Room for the data but not for the pad byte is too little.
    auto exact = std::make_unique<uint8_t[]>(odd);
    uint64_t length = 0;
    EXPECT_FALSE(codec.Compress(bitmap.data(), exact.get(), odd, length));
    auto enough = std::make_unique<uint8_t[]>(odd + 1);
    ASSERT_TRUE(codec.Compress(bitmap.data(), enough.get(), odd + 1, length));
    EXPECT_EQ(length, odd + 1);
    return;
  }
  FAIL() << "no image gave an odd length";
}

TEST(JpegPixelCodecCompress, LengthIsAlwaysEven) {
  for (uint32_t columns = 1; columns <= 24; columns += 3) {
    for (const uint32_t samples : {1u, 3u}) {
      CJpegPixelCodec codec = MakeCodec(columns, columns + 2, samples);
      EXPECT_EQ(Compress(codec, NaturalBitmap(codec)).size() % 2, 0u) << columns;
    }
  }
}

TEST(JpegPixelCodec, Width510PaddingIsNeitherReadNorWritten) {
  CJpegPixelCodec codec = MakeCodec(510, 9, 3);
  ASSERT_EQ(codec.AlignedColumns(), 512u);  // two padding pixels per row
  const Bytes frame = Compress(codec, NaturalBitmap(codec, 0x00));
  EXPECT_EQ(frame, Compress(codec, NaturalBitmap(codec, 0xFF)));
  Bytes bitmap = Display(codec, 0x77);
  ASSERT_TRUE(codec.Decompress(frame.data(), frame.size(), bitmap.data()));
  for (size_t row = 0; row < 9; ++row) {
    for (size_t i = 510 * 3; i < 512 * 3; ++i) ASSERT_EQ(bitmap[row * 512 * 3 + i], 0x77) << row;
  }
}

TEST(JpegPixelCodecCompress, TooSmallOutputFailsWithoutWritingPastIt) {
  CJpegPixelCodec codec = MakeCodec(64, 48, 3);
  const Bytes bitmap = NaturalBitmap(codec);
  const Bytes frame = Compress(codec, bitmap);
  for (const size_t capacity : {size_t{2}, size_t{600}, frame.size() - 2}) {
    auto exact = std::make_unique<uint8_t[]>(capacity);  // the sanitizer watches its end
    uint64_t length = 0;
    EXPECT_FALSE(codec.Compress(bitmap.data(), exact.get(), capacity, length)) << capacity;
    EXPECT_FALSE(codec.LastError().empty());
  }
  auto exact = std::make_unique<uint8_t[]>(frame.size());
  uint64_t length = 0;
  ASSERT_TRUE(codec.Compress(bitmap.data(), exact.get(), frame.size(), length));
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), exact.get()));
}

TEST(JpegPixelCodecCompress, UnusableInputFails) {
  CJpegPixelCodec codec = MakeCodec(8, 8, 1);
  const Bytes bitmap = NaturalBitmap(codec);
  Bytes out(4096);
  uint64_t length = 0;
  EXPECT_FALSE(codec.Compress(nullptr, out.data(), out.size(), length));
  EXPECT_FALSE(codec.Compress(bitmap.data(), nullptr, out.size(), length));
  CJpegPixelCodec tooHigh = MakeCodec(8, 8, 1, 101);
  EXPECT_FALSE(tooHigh.Compress(bitmap.data(), out.data(), out.size(), length));
  CJpegPixelCodec negative = MakeCodec(8, 8, 1, -5);
  EXPECT_FALSE(negative.Compress(bitmap.data(), out.data(), out.size(), length));
  CJpegPixelCodec sixteenBit("MONOCHROME2", 16, 16, 2, 16, 12, 85);
  const Bytes wide = Display(sixteenBit, 0x40);
  EXPECT_FALSE(sixteenBit.Compress(wide.data(), out.data(), out.size(), length));
}

// ---- Decompress ----

TEST(JpegPixelCodecDecompress, RoundTripIsFaithfulAtQuality85) {
  for (const uint32_t samples : {1u, 3u}) {
    CJpegPixelCodec codec = MakeCodec(201, 150, samples);
    const Bytes bitmap = NaturalBitmap(codec);
    const Bytes frame = Compress(codec, bitmap);
    Bytes decoded(bitmap.size());
    ASSERT_TRUE(codec.Decompress(frame.data(), frame.size(), decoded.data())) << codec.LastError();
    EXPECT_GE(Psnr(codec, bitmap, decoded), 35.0) << samples << " samples";
  }
}

TEST(JpegPixelCodecDecompress, QualityBecomesTheFramesEstimate) {
  for (const int32_t quality : {50, 60, 75, 85, 95}) {
    CJpegPixelCodec encoder = MakeCodec(64, 64, 3, quality);
    const Bytes frame = Compress(encoder, NaturalBitmap(encoder));
    CJpegPixelCodec decoder = MakeCodec(64, 64, 3, 0);
    Bytes bitmap = Display(decoder);
    ASSERT_TRUE(decoder.Decompress(frame.data(), frame.size(), bitmap.data()));
    EXPECT_NEAR(decoder.Quality(), quality, 1);
  }
}

TEST(JpegPixelCodecDecompress, FramesWhoseSamplesDisagreeWithTheImage) {
  CJpegPixelCodec grey = MakeCodec(30, 10, 1);
  CJpegPixelCodec colour = MakeCodec(30, 10, 3);
  const Bytes greyFrame = Compress(grey, NaturalBitmap(grey));
  const Bytes colourFrame = Compress(colour, NaturalBitmap(colour));
  // A grey frame in a colour image decodes as one byte per pixel in rows of
  // 32 bytes, then the whole display buffer is flipped in rows of 96 bytes:
  // what this frame always decoded to.
  Bytes expected = Display(colour, 0x33);
  ReferenceDecompress(colour, greyFrame, 1, expected);
  Bytes bitmap = Display(colour, 0x33);
  ASSERT_TRUE(colour.Decompress(greyFrame.data(), greyFrame.size(), bitmap.data())) << colour.LastError();
  EXPECT_EQ(bitmap, expected);
  // A colour frame does not fit a grey image's display buffer.
  auto exact = std::make_unique<uint8_t[]>(static_cast<size_t>(grey.DisplaySize()));
  EXPECT_FALSE(grey.Decompress(colourFrame.data(), colourFrame.size(), exact.get()));
}

TEST(JpegPixelCodecDecompress, SizeOffByOnePixelIsRefused) {
  CJpegPixelCodec codec = MakeCodec(40, 30, 3, 60);
  const Bytes frame = Compress(codec, NaturalBitmap(codec));
  for (const auto& [columns, rows] : {std::pair{39u, 30u}, {41u, 30u}, {40u, 29u}, {40u, 31u}}) {
    CJpegPixelCodec other = MakeCodec(columns, rows, 3, 12);
    auto exact = std::make_unique<uint8_t[]>(static_cast<size_t>(other.DisplaySize()));
    EXPECT_FALSE(other.Decompress(frame.data(), frame.size(), exact.get())) << columns << " x " << rows;
    EXPECT_EQ(other.Quality(), 12) << "a refused frame leaves the quality alone";
  }
}

TEST(JpegPixelCodecDecompress, DamagedOrForeignFramesFailCleanly) {
  CJpegPixelCodec codec = MakeCodec(32, 24, 3);
  const Bytes frame = Compress(codec, NaturalBitmap(codec));
  auto bitmap = std::make_unique<uint8_t[]>(static_cast<size_t>(codec.DisplaySize()));

  EXPECT_FALSE(codec.Decompress(frame.data(), 0, bitmap.get()));                 // zero length
  EXPECT_FALSE(codec.Decompress(nullptr, frame.size(), bitmap.get()));
  EXPECT_FALSE(codec.Decompress(frame.data(), frame.size(), nullptr));
  EXPECT_FALSE(codec.Decompress(frame.data(), frame.size() / 2, bitmap.get()));  // truncated
  EXPECT_FALSE(codec.Decompress(frame.data(), frame.size() - 4, bitmap.get()));  // end-of-image cut off

  Bytes garbage(3000);
  std::mt19937 random(3);
  for (uint8_t& b : garbage) b = static_cast<uint8_t>(random());
  EXPECT_FALSE(codec.Decompress(garbage.data(), garbage.size(), bitmap.get()));

  // Four components (CMYK), made by the library directly.
  Bytes cmyk(32 * 24 * 4, 0x80);
  tjhandle handle = tjInitCompress();
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  ASSERT_EQ(tjCompress2(handle, cmyk.data(), 32, 0, 24, TJPF_CMYK, &buffer, &size, TJSAMP_444, 85, 0), 0);
  const Bytes fourComponents(buffer, buffer + size);
  tjFree(buffer);
  tjDestroy(handle);
  EXPECT_FALSE(codec.Decompress(fourComponents.data(), fourComponents.size(), bitmap.get()));
  EXPECT_NE(codec.LastError().find("components"), std::string::npos) << codec.LastError();

  // A frame larger than the image.
  CJpegPixelCodec big = MakeCodec(64, 48, 3);
  const Bytes bigFrame = Compress(big, NaturalBitmap(big));
  EXPECT_FALSE(codec.Decompress(bigFrame.data(), bigFrame.size(), bitmap.get()));

  // The codec is as good as new afterwards.
  Bytes expected = Display(codec);
  ReferenceDecompress(codec, frame, 3, expected);
  Bytes again = Display(codec);
  ASSERT_TRUE(codec.Decompress(frame.data(), frame.size(), again.data())) << codec.LastError();
  EXPECT_EQ(again, expected);
}

TEST(JpegPixelCodecDecompress, OneCodecServesManyFrames) {
  CJpegPixelCodec codec = MakeCodec(48, 40, 3);
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    const Bytes bitmap = NaturalBitmap(codec, kPadByte, seed);
    const Bytes frame = Compress(codec, bitmap);
    EXPECT_EQ(frame, ReferenceCompress(codec, bitmap, 85)) << seed;
    Bytes decoded = Display(codec);
    ASSERT_TRUE(codec.Decompress(frame.data(), frame.size(), decoded.data()));
    Bytes expected = Display(codec);
    ReferenceDecompress(codec, frame, 3, expected);
    EXPECT_EQ(decoded, expected) << seed;
  }
}

// ---- DCMTK ----

namespace {

class JpegPixelCodecPeer : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"img2dcm", "dcmcjpeg", "dcmdjpeg"}) {
      if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    }
  }

  struct Image {
    uint16_t columns = 0;
    uint16_t rows = 0;
    uint16_t samples = 0;
    uint16_t planar = 0;
    std::string photometric;
    Bytes pixels;  ///< native frame as stored, or the JPEG fragment
  };

  /// The image attributes and frame 0 of `path`, read with our reader.
  static void Load(const std::string& path, Image& image) {
    CDicomObject object;
    ASSERT_TRUE(test::LoadInto(object, path, false)) << path;
    ASSERT_EQ(object.GetUInt16(0x00280011, image.columns), DicomStatus::Success);
    ASSERT_EQ(object.GetUInt16(0x00280010, image.rows), DicomStatus::Success);
    ASSERT_EQ(object.GetUInt16(0x00280002, image.samples), DicomStatus::Success);
    (void)object.GetUInt16(0x00280006, image.planar);
    ASSERT_EQ(object.GetString(0x00280004, image.photometric), DicomStatus::Success);
    CDicomElement* element = nullptr;
    ASSERT_EQ(object.GetElement(tags::kPixelData, &element), DicomStatus::Success);
    if (const auto* encapsulated = dynamic_cast<const CDicomEncapsulatedPixelData*>(element)) {
      const CDicomElement* item = encapsulated->GetItem(1);
      ASSERT_NE(item, nullptr) << path << " has no frame 0";
      image.pixels.assign(item->GetValue(), item->GetValue() + item->GetLength());
    } else {
      ASSERT_TRUE(element->HasValue());
      image.pixels.assign(element->GetValue(), element->GetValue() + element->GetLength());
    }
  }

  /// The display bitmap our uncompressed codec makes of a native frame.
  static Bytes NativeBitmap(const Image& native) {
    CPixelCodec codec(native.photometric, native.columns, native.rows, native.samples, 8, 8, native.planar);
    Bytes bitmap = Display(codec);
    EXPECT_TRUE(codec.Decompress(native.pixels.data(), native.pixels.size(), bitmap.data()));
    return bitmap;
  }

  /// Our codec must decode the frame of the JPEG file `name`.dcm, made at
  /// quality 85, to within 2 levels of what dcmdjpeg makes of it, and
  /// estimate its quality as 85. Returns our bitmap.
  void ExpectDecodesAsDcmdjpeg(const std::string& name, Bytes& bitmap) {
    const std::string jpegPath = m_dir / (name + ".dcm");
    const std::string decodedPath = m_dir / (name + "-dcmdjpeg.dcm");
    const CommandResult decoded = RunShell("dcmdjpeg " + jpegPath + " " + decodedPath);
    ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
    Image compressed;
    Image native;
    ASSERT_NO_FATAL_FAILURE(Load(jpegPath, compressed));
    ASSERT_NO_FATAL_FAILURE(Load(decodedPath, native));
    CJpegPixelCodec codec(compressed.photometric, compressed.columns, compressed.rows, compressed.samples, 8, 8, 0);
    bitmap = Display(codec);
    ASSERT_TRUE(codec.Decompress(compressed.pixels.data(), compressed.pixels.size(), bitmap.data()))
        << codec.LastError();
    EXPECT_EQ(codec.Quality(), 85);
    const Bytes theirs = NativeBitmap(native);
    ASSERT_EQ(theirs.size(), bitmap.size());
    int maxDifference = 0;
    for (size_t i = 0; i < bitmap.size(); ++i) maxDifference = std::max(maxDifference, std::abs(bitmap[i] - theirs[i]));
    EXPECT_LE(maxDifference, 2);
  }

  TempDir m_dir{"jpeg-codec-peer"};
};

}  // namespace

TEST_F(JpegPixelCodecPeer, OurFrameWrappedByImg2dcmDecodesAsDcmdjpegDecodesIt) {
  for (const uint32_t samples : {1u, 3u}) {
    SCOPED_TRACE(std::to_string(samples) + " samples");
    CJpegPixelCodec encoder = MakeCodec(161, 120, samples);
    const Bytes source = NaturalBitmap(encoder);
    const Bytes frame = Compress(encoder, source);
    const std::string name = "ours-" + std::to_string(samples);
    WriteText(m_dir / (name + ".jpg"), std::string(frame.begin(), frame.end()));
    const CommandResult wrapped =
        RunShell("img2dcm -i JPEG " + (m_dir / (name + ".jpg")) + " " + (m_dir / (name + ".dcm")));
    ASSERT_EQ(wrapped.exitCode, 0) << wrapped.err;
    Bytes bitmap;
    ASSERT_NO_FATAL_FAILURE(ExpectDecodesAsDcmdjpeg(name, bitmap));
    ASSERT_EQ(bitmap.size(), source.size());  // img2dcm kept the size and samples
    EXPECT_GE(Psnr(encoder, source, bitmap), 35.0);
  }
}

TEST_F(JpegPixelCodecPeer, DcmcjpegFrameDecodesAsDcmdjpegDecodesIt) {
  for (const uint16_t samples : {uint16_t{1}, uint16_t{3}}) {
    SCOPED_TRACE(std::to_string(samples) + " samples");
    ImageRecipe attributes;
    attributes.columns = 150;
    attributes.rows = 101;
    attributes.samples = samples;
    attributes.photometric = samples == 1 ? "MONOCHROME2" : "RGB";
    const std::string name = "dcmtk-" + std::to_string(samples);
    const std::string sourcePath = m_dir / (name + "-source.dcm");
    ASSERT_FALSE(MakeImageFile(sourcePath, attributes).empty());
    // +sr: dcmcjpeg's default for grey images (+sp) rescales the pixel
    // values by their minimum and maximum before coding, which would leave
    // nothing to compare with the source.
    const CommandResult encoded = RunShell("dcmcjpeg +eb +sr +q 85 " + sourcePath + " " + (m_dir / (name + ".dcm")));
    ASSERT_EQ(encoded.exitCode, 0) << encoded.err;
    Bytes bitmap;
    ASSERT_NO_FATAL_FAILURE(ExpectDecodesAsDcmdjpeg(name, bitmap));
    Image original;
    ASSERT_NO_FATAL_FAILURE(Load(sourcePath, original));
    const Bytes source = NativeBitmap(original);
    ASSERT_EQ(bitmap.size(), source.size());
    EXPECT_GE(Psnr(MakeCodec(150, 101, samples), source, bitmap), 35.0);
  }
}
