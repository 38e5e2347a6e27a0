// The JPEG pixel codec: what it hands the baseline codec (a bottom-up
// blue-green-red bitmap with its row padding, the quality), what it makes
// of a frame (even length, the estimated quality, the display bitmap),
// frames that disagree with the image attributes, and damaged frames.
// DCMTK reads our frames and we read its: PixelPeerInteropTest.cpp.
#include "pixel/JpegPixelCodec.h"

#include "jpeg/BaselineJpegCodec.h"
#include "support/CodecBytes.h"
#include "support/ImageMetrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::test;

namespace {

// A codec for an 8-bit image of `samples` samples per pixel.
CJpegPixelCodec MakeCodec(uint32_t columns, uint32_t rows, uint32_t samples, int32_t quality = 85) {
  return CJpegPixelCodec(samples == 1 ? "MONOCHROME2" : "RGB", columns, rows, samples, 8, 8, quality);
}

// A photograph-like display bitmap for `codec`; padding pixels hold `padByte`.
Bytes NaturalBitmap(const CPixelCodec& codec, uint8_t padByte = kSentinel, uint32_t seed = 1) {
  return NaturalImage(codec.Columns(), codec.Rows(), codec.BytesPerPixel(),
                      (codec.AlignedColumns() - codec.Columns()) * codec.BytesPerPixel(), padByte, seed);
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

// The JPEG data the codec is meant to make: the bitmap's rows bottom-up,
// blue-green-red, with the padding of each row passed on.
Bytes ReferenceJpeg(const CPixelCodec& codec, const Bytes& bitmap, int32_t quality) {
  const uint32_t b = codec.BytesPerPixel();
  Bytes out(static_cast<size_t>(codec.DisplaySize()) * 2 + 4096);
  JpegRequest request;
  request.bitmapIn = bitmap.data();
  request.bitmapWidth = codec.Columns();
  request.bitmapHeight = codec.Rows();
  request.bitmapChannels = b;
  request.bitmapRowPadding = (codec.AlignedColumns() - codec.Columns()) * b;
  request.bitmapColourOrder = b == 1 ? JpegColourOrder::Grey : JpegColourOrder::Bgr;
  request.bitmapBottomUp = true;
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
  const size_t rowBytes = size_t{codec.AlignedColumns()} * codec.BytesPerPixel();
  for (size_t top = 0, bottom = codec.Rows() - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(bitmap.begin() + static_cast<std::ptrdiff_t>(top * rowBytes),
                     bitmap.begin() + static_cast<std::ptrdiff_t>((top + 1) * rowBytes),
                     bitmap.begin() + static_cast<std::ptrdiff_t>(bottom * rowBytes));
  }
}

}  // namespace

// One codec serves frame after frame; every frame has an even length.
TEST(JpegPixelCodec, FramesAreTheBaselineCodecsOfTheBottomUpBitmap) {
  for (const uint32_t samples : {1u, 3u}) {
    for (const uint32_t columns : {1u, 4u, 13u, 22u, 37u, 64u, 510u}) {
      CJpegPixelCodec codec = MakeCodec(columns, 23, samples, 80);
      for (uint32_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(std::to_string(samples) + " samples, " + std::to_string(columns) + " columns, seed " +
                     std::to_string(seed));
        const Bytes bitmap = NaturalBitmap(codec, kSentinel, seed);
        const Bytes frame = Compress(codec, bitmap);
        EXPECT_EQ(frame, ReferenceCompress(codec, bitmap, 80));
        EXPECT_EQ(frame.size() % 2, 0u);
        Bytes expected = DisplayBuffer(codec, 0x5A);
        ReferenceDecompress(codec, frame, samples, expected);
        Bytes decoded = DisplayBuffer(codec, 0x5A);
        ASSERT_TRUE(codec.Decompress(frame.data(), frame.size(), decoded.data())) << codec.LastError();
        EXPECT_EQ(decoded, expected);
      }
    }
  }
  // Quality 0 means 85; the setting itself stays.
  CJpegPixelCodec codec = MakeCodec(48, 32, 3, 0);
  const Bytes bitmap = NaturalBitmap(codec);
  EXPECT_EQ(Compress(codec, bitmap), ReferenceCompress(codec, bitmap, 85));
  EXPECT_EQ(codec.Quality(), 0);
}

TEST(JpegPixelCodec, OddLengthGetsOneZeroByte) {
  for (uint32_t seed = 1; seed < 64; ++seed) {  // find an image whose JPEG data has an odd length
    CJpegPixelCodec codec = MakeCodec(40, 30, 1);
    const Bytes bitmap = NaturalBitmap(codec, kSentinel, seed);
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

// What the baseline codec refuses (output that does not fit, qualities
// outside 1 … 100, two bytes per pixel) fails with its reason.
TEST(JpegPixelCodec, UnusableInputFails) {
  CJpegPixelCodec codec = MakeCodec(64, 48, 3);
  const Bytes bitmap = NaturalBitmap(codec);
  uint64_t length = 0;
  auto small = std::make_unique<uint8_t[]>(600);  // the sanitizer watches its end
  EXPECT_FALSE(codec.Compress(bitmap.data(), small.get(), 600, length));
  EXPECT_FALSE(codec.LastError().empty());
  Bytes out(codec.DisplaySize() * 2);
  EXPECT_FALSE(codec.Compress(nullptr, out.data(), out.size(), length));
  EXPECT_FALSE(codec.Compress(bitmap.data(), nullptr, out.size(), length));
  for (const int32_t quality : {101, -5}) {
    CJpegPixelCodec bad = MakeCodec(64, 48, 3, quality);
    EXPECT_FALSE(bad.Compress(bitmap.data(), out.data(), out.size(), length)) << quality;
  }
  CJpegPixelCodec sixteenBit("MONOCHROME2", 16, 16, 2, 16, 12, 85);
  const Bytes wide = DisplayBuffer(sixteenBit, 0x40);
  EXPECT_FALSE(sixteenBit.Compress(wide.data(), out.data(), out.size(), length));
}

// Decompressing sets the quality to the frame's estimate.
TEST(JpegPixelCodec, RoundTripIsFaithfulAndTheQualityIsEstimated) {
  for (const uint32_t samples : {1u, 3u}) {
    for (const int32_t quality : {50, 60, 75, 85, 95}) {
      CJpegPixelCodec encoder = MakeCodec(201, 150, samples, quality);
      const Bytes bitmap = NaturalBitmap(encoder);
      const Bytes frame = Compress(encoder, bitmap);
      CJpegPixelCodec decoder = MakeCodec(201, 150, samples, 0);
      Bytes decoded = DisplayBuffer(decoder);
      ASSERT_TRUE(decoder.Decompress(frame.data(), frame.size(), decoded.data())) << decoder.LastError();
      EXPECT_NEAR(decoder.Quality(), quality, 1) << samples << " samples";
      if (quality == 85) {
        EXPECT_GE(Psnr(decoder, bitmap, decoded), 35.0) << samples << " samples";
      }
    }
  }
}

TEST(JpegPixelCodec, FramesThatDoNotFitTheImageFailCleanly) {
  CJpegPixelCodec grey = MakeCodec(30, 10, 1);
  CJpegPixelCodec colour = MakeCodec(30, 10, 3);
  const Bytes greyFrame = Compress(grey, NaturalBitmap(grey));
  const Bytes colourFrame = Compress(colour, NaturalBitmap(colour));
  // A grey frame in a colour image decodes as one byte per pixel in rows of
  // 32 bytes, then the whole display buffer is flipped in rows of 96 bytes:
  // what this frame always decoded to.
  Bytes expected = DisplayBuffer(colour, 0x33);
  ReferenceDecompress(colour, greyFrame, 1, expected);
  Bytes bitmap = DisplayBuffer(colour, 0x33);
  ASSERT_TRUE(colour.Decompress(greyFrame.data(), greyFrame.size(), bitmap.data())) << colour.LastError();
  EXPECT_EQ(bitmap, expected);
  // A colour frame does not fit a grey image's display buffer.
  auto exact = std::make_unique<uint8_t[]>(static_cast<size_t>(grey.DisplaySize()));
  EXPECT_FALSE(grey.Decompress(colourFrame.data(), colourFrame.size(), exact.get()));

  // A size off by one pixel is refused, and leaves the quality alone.
  CJpegPixelCodec codec = MakeCodec(40, 30, 3, 60);
  const Bytes frame = Compress(codec, NaturalBitmap(codec));
  for (const auto& [columns, rows] : {std::pair{39u, 30u}, {41u, 30u}, {40u, 29u}, {40u, 31u}}) {
    CJpegPixelCodec other = MakeCodec(columns, rows, 3, 12);
    auto target = std::make_unique<uint8_t[]>(static_cast<size_t>(other.DisplaySize()));
    EXPECT_FALSE(other.Decompress(frame.data(), frame.size(), target.get())) << columns << " x " << rows;
    EXPECT_EQ(other.Quality(), 12);
  }
}

TEST(JpegPixelCodec, DamagedOrForeignFramesFailCleanly) {
  CJpegPixelCodec codec = MakeCodec(32, 24, 3);
  const Bytes frame = Compress(codec, NaturalBitmap(codec));
  auto bitmap = std::make_unique<uint8_t[]>(static_cast<size_t>(codec.DisplaySize()));
  EXPECT_FALSE(codec.Decompress(frame.data(), 0, bitmap.get()));
  EXPECT_FALSE(codec.Decompress(nullptr, frame.size(), bitmap.get()));
  EXPECT_FALSE(codec.Decompress(frame.data(), frame.size(), nullptr));
  EXPECT_FALSE(codec.Decompress(frame.data(), frame.size() / 2, bitmap.get()));  // truncated
  EXPECT_FALSE(codec.Decompress(frame.data(), frame.size() - 4, bitmap.get()));  // end-of-image cut off
  EXPECT_FALSE(codec.LastError().empty());
  // A frame larger than the image.
  CJpegPixelCodec big = MakeCodec(64, 48, 3);
  const Bytes bigFrame = Compress(big, NaturalBitmap(big));
  EXPECT_FALSE(codec.Decompress(bigFrame.data(), bigFrame.size(), bitmap.get()));
  // The codec is as good as new afterwards.
  Bytes expected = DisplayBuffer(codec);
  ReferenceDecompress(codec, frame, 3, expected);
  Bytes again = DisplayBuffer(codec);
  ASSERT_TRUE(codec.Decompress(frame.data(), frame.size(), again.data())) << codec.LastError();
  EXPECT_EQ(again, expected);
}
