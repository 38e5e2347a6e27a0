// The JPEG pixel codec: what it makes of a display bitmap (even frames, the
// quality) and back, and frames that do not fit the image or are damaged.
// Peers read our frames and we theirs: PixelPeerInteropTest.cpp.
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
        const Bytes frame = CompressFrame(codec, bitmap);
        ASSERT_EQ(frame.size() % 2, 0u);
        const bool padded = frame.back() == 0;
        sawOdd |= padded;
        EXPECT_EQ(Bytes(frame.end() - 2 - padded, frame.end() - padded), (Bytes{0xFF, 0xD9})) << "end of image";
        Bytes expected = DisplayBuffer(codec);
        ReferenceDecompress(codec, frame, samples, expected);
        CJpegPixelCodec decoder = MakeCodec(columns, 23, samples, 12);
        Bytes decoded;
        ASSERT_TRUE(DecompressFrame(decoder, frame, decoded)) << decoder.LastError();
        EXPECT_EQ(decoded, expected);
        EXPECT_NEAR(decoder.Quality(), quality == 0 ? 85 : quality, 1);
        EXPECT_GE(Psnr8(bitmap.data(), decoded.data(), columns * samples, 23, codec.AlignedColumns() * samples),
                  quality == 0 ? 35.0 : 30.0);
      }
    }
  }
  EXPECT_TRUE(sawOdd) << "no frame needed a pad byte";
}

// What the baseline codec refuses (output without room for the pad byte,
// a quality outside 1 … 100) fails with its reason. A grey frame in a
// colour image decodes as one byte per pixel in rows of 32 bytes, then the
// display buffer is flipped in rows of 96 bytes: what such a frame always
// decoded to. A colour frame does not fit a grey image, a size off by one
// pixel is refused (leaving the quality alone), and damaged frames fail;
// the codec is as good as new afterwards.
TEST(JpegPixelCodec, UnusableInputAndFramesThatDoNotFitFail) {
  CJpegPixelCodec grey = MakeCodec(30, 10, 1);
  CJpegPixelCodec colour = MakeCodec(30, 10, 3);
  uint64_t length = 0;
  for (uint32_t seed = 1; seed < 64; ++seed) {
    const Bytes bitmap = NaturalBitmap(grey, seed);
    const Bytes frame = CompressFrame(grey, bitmap);
    if (frame.back() != 0) continue;
    const Exact exact(Bytes(frame.size() - 1));  // room for the data, not the pad byte
    EXPECT_FALSE(grey.Compress(bitmap.data(), exact.data.get(), exact.size, length));
    EXPECT_FALSE(grey.LastError().empty());
    EXPECT_EQ(exact.Copy(), Bytes(frame.begin(), frame.end() - 1));
    break;
  }
  CJpegPixelCodec bad = MakeCodec(30, 10, 1, 101);
  Bytes out(4096);
  EXPECT_FALSE(bad.Compress(NaturalBitmap(bad).data(), out.data(), out.size(), length));
  EXPECT_FALSE(bad.Compress(nullptr, out.data(), out.size(), length));

  const Bytes greyFrame = CompressFrame(grey, NaturalBitmap(grey));
  const Bytes colourFrame = CompressFrame(colour, NaturalBitmap(colour));
  Bytes expected = DisplayBuffer(colour);
  ReferenceDecompress(colour, greyFrame, 1, expected);
  Bytes bitmap;
  ASSERT_TRUE(DecompressFrame(colour, greyFrame, bitmap)) << colour.LastError();
  EXPECT_EQ(bitmap, expected);
  EXPECT_FALSE(DecompressFrame(grey, colourFrame, bitmap));
  for (const auto& [columns, rows] : {std::pair{29u, 10u}, {31u, 10u}, {30u, 9u}, {30u, 11u}}) {
    CJpegPixelCodec other = MakeCodec(columns, rows, 3, 12);
    EXPECT_FALSE(DecompressFrame(other, colourFrame, bitmap)) << columns << "x" << rows;
    EXPECT_EQ(other.Quality(), 12);
  }
  for (const size_t cut : {size_t{0}, colourFrame.size() / 2, colourFrame.size() - 4}) {
    const Bytes damaged(colourFrame.begin(), colourFrame.begin() + static_cast<long>(cut));
    EXPECT_FALSE(DecompressFrame(colour, damaged, bitmap));
    EXPECT_FALSE(colour.LastError().empty());
  }
  EXPECT_FALSE(colour.Decompress(nullptr, colourFrame.size(), bitmap.data()));
  EXPECT_FALSE(colour.Decompress(colourFrame.data(), colourFrame.size(), nullptr));
  expected = DisplayBuffer(colour);
  ReferenceDecompress(colour, colourFrame, 3, expected);
  ASSERT_TRUE(DecompressFrame(colour, colourFrame, bitmap)) << colour.LastError();
  EXPECT_EQ(bitmap, expected);
}
