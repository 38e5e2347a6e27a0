// The JPEG pixel codec: what it hands the baseline codec (a bottom-up
// blue-green-red bitmap with its row padding, the quality), what it makes of
// a frame (even length, the estimated quality, the display bitmap), and
// frames that disagree with the image or are damaged. The baseline codec's
// own damaged-input table: BaselineJpegCodecTest.cpp; DCMTK reads our frames
// and we read its: PixelPeerInteropTest.cpp.
#include "pixel/JpegPixelCodec.h"

#include "support/CodecBytes.h"
#include "support/ImageMetrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace quillon;
using namespace quillon::test;

namespace {

CJpegPixelCodec MakeCodec(uint32_t columns, uint32_t rows, uint32_t samples, int32_t quality = 85) {
  return CJpegPixelCodec(samples == 1 ? "MONOCHROME2" : "RGB", columns, rows, samples, 8, 8, quality);
}

// A photograph-like display bitmap; the padding pixels hold the sentinel.
Bytes NaturalBitmap(const CPixelCodec& codec, uint32_t seed = 1) {
  return NaturalImage(codec.Columns(), codec.Rows(), codec.BytesPerPixel(),
                      (codec.AlignedColumns() - codec.Columns()) * codec.BytesPerPixel(), kSentinel, seed);
}

Bytes Compress(CJpegPixelCodec& codec, const Bytes& bitmap) {
  Bytes out(static_cast<size_t>(codec.DisplaySize()) * 2 + 4096);
  uint64_t length = 0;
  EXPECT_TRUE(codec.Compress(bitmap.data(), out.data(), out.size(), length)) << codec.LastError();
  out.resize(static_cast<size_t>(length));
  return out;
}

// The bitmap as the codec is meant to make it: decoded top-down into the
// display buffer with `channels` bytes per pixel and rows of AlignedColumns
// pixels, then flipped in rows of AlignedColumns × BytesPerPixel bytes.
// `bitmap` holds what the buffer held before.
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
    std::swap_ranges(bitmap.begin() + static_cast<long>(top * rowBytes),
                     bitmap.begin() + static_cast<long>((top + 1) * rowBytes),
                     bitmap.begin() + static_cast<long>(bottom * rowBytes));
  }
}

}  // namespace

// One codec serves frame after frame: each is decoded as the baseline codec
// decodes it into the bottom-up bitmap, close to the source, with the
// quality it was made with (0 stands for 85), and has even length: a zero
// byte follows the end-of-image marker when the data is odd, as a fragment
// needs.
TEST(JpegPixelCodec, FramesRoundTripWithEvenLengthAndTheirQuality) {
  bool sawOdd = false;
  for (const uint32_t samples : {1u, 3u}) {
    for (const uint32_t columns : {13u, 64u}) {
      const int32_t quality = columns == 13 ? 0 : 60;
      CJpegPixelCodec codec = MakeCodec(columns, 23, samples, quality);
      for (uint32_t seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE(std::to_string(samples) + " samples, " + std::to_string(columns) + " columns, seed " +
                     std::to_string(seed));
        const Bytes bitmap = NaturalBitmap(codec, seed);
        const Bytes frame = Compress(codec, bitmap);
        ASSERT_EQ(frame.size() % 2, 0u);
        const bool padded = frame.back() == 0;
        sawOdd |= padded;
        EXPECT_EQ(Bytes(frame.end() - (padded ? 3 : 2), frame.end()), padded ? Bytes({0xFF, 0xD9, 0}) : Bytes({0xFF, 0xD9}));
        Bytes expected = DisplayBuffer(codec, 0x5A);
        ReferenceDecompress(codec, frame, samples, expected);
        CJpegPixelCodec decoder = MakeCodec(columns, 23, samples, 12);
        Bytes decoded = DisplayBuffer(decoder, 0x5A);
        ASSERT_TRUE(decoder.Decompress(frame.data(), frame.size(), decoded.data())) << decoder.LastError();
        EXPECT_EQ(decoded, expected);
        EXPECT_NEAR(decoder.Quality(), quality == 0 ? 85 : quality, 1);
        EXPECT_GE(Psnr8(bitmap.data(), decoded.data(), size_t{columns} * samples, 23,
                        size_t{codec.AlignedColumns()} * samples),
                  quality == 0 ? 35.0 : 30.0);
      }
      EXPECT_EQ(codec.Quality(), quality);
    }
  }
  EXPECT_TRUE(sawOdd) << "no frame needed a pad byte";
}

// What the baseline codec refuses (output that does not fit, even without
// just the pad byte; qualities outside 1 … 100; two bytes per pixel) fails
// with its reason.
TEST(JpegPixelCodec, UnusableInputFails) {
  CJpegPixelCodec codec = MakeCodec(40, 30, 1);
  uint64_t length = 0;
  for (uint32_t seed = 1; seed < 64; ++seed) {
    const Bytes bitmap = NaturalBitmap(codec, seed);
    const Bytes frame = Compress(codec, bitmap);
    if (frame.back() != 0) continue;
    const Exact exact(Bytes(frame.size() - 1));  // room for the data, not the pad byte
    EXPECT_FALSE(codec.Compress(bitmap.data(), exact.data.get(), exact.size, length));
    EXPECT_FALSE(codec.LastError().empty());
    break;
  }
  const Bytes bitmap = NaturalBitmap(codec);
  const Exact small(Bytes(300));
  EXPECT_FALSE(codec.Compress(bitmap.data(), small.data.get(), small.size, length));
  Bytes out(codec.DisplaySize() * 2);
  EXPECT_FALSE(codec.Compress(nullptr, out.data(), out.size(), length));
  EXPECT_FALSE(codec.Compress(bitmap.data(), nullptr, out.size(), length));
  for (const int32_t quality : {101, -5}) {
    CJpegPixelCodec bad = MakeCodec(40, 30, 1, quality);
    EXPECT_FALSE(bad.Compress(bitmap.data(), out.data(), out.size(), length)) << quality;
  }
  CJpegPixelCodec sixteenBit("MONOCHROME2", 16, 16, 2, 16, 12, 85);
  const Bytes wide = DisplayBuffer(sixteenBit, 0x40);
  EXPECT_FALSE(sixteenBit.Compress(wide.data(), out.data(), out.size(), length));
}

// A grey frame in a colour image decodes as one byte per pixel in rows of
// 32 bytes, then the display buffer is flipped in rows of 96 bytes: what
// such a frame always decoded to. A colour frame does not fit a grey image,
// a size off by one pixel is refused (leaving the quality alone), and
// damaged frames fail; the codec is as good as new afterwards.
TEST(JpegPixelCodec, FramesThatDoNotFitTheImageOrAreDamagedFail) {
  CJpegPixelCodec grey = MakeCodec(30, 10, 1);
  CJpegPixelCodec colour = MakeCodec(30, 10, 3);
  const Bytes greyFrame = Compress(grey, NaturalBitmap(grey));
  const Bytes colourFrame = Compress(colour, NaturalBitmap(colour));
  Bytes expected = DisplayBuffer(colour, 0x33);
  ReferenceDecompress(colour, greyFrame, 1, expected);
  Bytes bitmap = DisplayBuffer(colour, 0x33);
  ASSERT_TRUE(colour.Decompress(greyFrame.data(), greyFrame.size(), bitmap.data())) << colour.LastError();
  EXPECT_EQ(bitmap, expected);
  const Exact greyTarget(DisplayBuffer(grey));
  EXPECT_FALSE(grey.Decompress(colourFrame.data(), colourFrame.size(), greyTarget.data.get()));
  for (const auto& [columns, rows] : {std::pair{29u, 10u}, {31u, 10u}, {30u, 9u}, {30u, 11u}}) {
    CJpegPixelCodec other = MakeCodec(columns, rows, 3, 12);
    const Exact target(DisplayBuffer(other));
    EXPECT_FALSE(other.Decompress(colourFrame.data(), colourFrame.size(), target.data.get())) << columns << "x" << rows;
    EXPECT_EQ(other.Quality(), 12);
  }
  const Exact target(DisplayBuffer(colour));
  for (const uint64_t length : {uint64_t{0}, uint64_t{colourFrame.size() / 2}, uint64_t{colourFrame.size() - 4}}) {
    EXPECT_FALSE(colour.Decompress(colourFrame.data(), length, target.data.get())) << length;
    EXPECT_FALSE(colour.LastError().empty());
  }
  EXPECT_FALSE(colour.Decompress(nullptr, colourFrame.size(), target.data.get()));
  EXPECT_FALSE(colour.Decompress(colourFrame.data(), colourFrame.size(), nullptr));
  expected = DisplayBuffer(colour);
  ReferenceDecompress(colour, colourFrame, 3, expected);
  bitmap = DisplayBuffer(colour);
  ASSERT_TRUE(colour.Decompress(colourFrame.data(), colourFrame.size(), bitmap.data())) << colour.LastError();
  EXPECT_EQ(bitmap, expected);
}
