#include "pixel/JpegPixelCodec.h"

#include <utility>

namespace quillon {

CJpegPixelCodec::CJpegPixelCodec(std::string photometric, uint32_t columns, uint32_t rows, uint32_t bytesPerPixel,
                                 uint32_t bitsAllocated, uint32_t bitsStored, int32_t quality)
    : CPixelCodec(std::move(photometric), columns, rows, bytesPerPixel, bitsAllocated, bitsStored, 0),
      m_quality(quality) {}

CJpegPixelCodec::~CJpegPixelCodec() = default;

bool CJpegPixelCodec::Fail(std::string message) {
  m_lastError = std::move(message);
  return false;
}

bool CJpegPixelCodec::Compress(const uint8_t* bitmap, uint8_t* out, uint64_t outCapacity, uint64_t& outLength) {
  m_lastError.clear();
  if (bitmap == nullptr || out == nullptr) return Fail("no bitmap or no output buffer");

  JpegRequest request;
  request.bitmapIn = bitmap;
  request.bitmapWidth = Columns();
  request.bitmapHeight = Rows();
  request.bitmapChannels = BytesPerPixel();
  request.bitmapRowPadding = (AlignedColumns() - Columns()) * BytesPerPixel();
  request.bitmapColourOrder = BytesPerPixel() == 1 ? JpegColourOrder::Grey
                              : GetBitmapOrder() == BitmapOrder::Rgb ? JpegColourOrder::Rgb
                                                                     : JpegColourOrder::Bgr;
  // A display bitmap is always bottom-up; the encoder reads its rows in
  // reverse instead of us copying them into top-down order first.
  request.bitmapBottomUp = true;
  request.jpegOut = out;
  request.jpegOutCapacity = outCapacity;
  request.quality = m_quality == 0 ? kDefaultQuality : m_quality;
  if (m_jpeg.WriteImage(request) != JpegStatus::Success) return Fail(m_jpeg.LastError());

  uint64_t length = request.jpegOutLength;
  if (length % 2 != 0) {
    if (length >= outCapacity) {
      return Fail("JPEG frame of " + std::to_string(length) + " bytes leaves no room for its pad byte in " +
                  std::to_string(outCapacity) + " bytes");
    }
    out[length++] = 0;
  }
  outLength = length;
  return true;
}

bool CJpegPixelCodec::Decompress(const uint8_t* stored, uint64_t storedLength, uint8_t* bitmap) {
  m_lastError.clear();
  if (stored == nullptr || bitmap == nullptr) return Fail("no JPEG frame or no bitmap");

  JpegRequest request;
  request.jpegIn = stored;
  request.jpegInLength = storedLength;
  // A colour frame of an RGB image holds red, green and blue unless its
  // markers say YCbCr (the baseline codec decides, see JpegRequest).
  request.componentsDeclaredRgb = Photometric() == "RGB";
  if (m_jpeg.ReadHeader(request) != JpegStatus::Success) return Fail(m_jpeg.LastError());
  if (request.jpegWidth != Columns() || request.jpegHeight != Rows()) {
    return Fail("JPEG frame is " + std::to_string(request.jpegWidth) + " x " + std::to_string(request.jpegHeight) +
                ", the image " + std::to_string(Columns()) + " x " + std::to_string(Rows()));
  }
  m_quality = request.quality;

  const uint32_t channels = request.jpegChannels == 1 ? 1 : 3;
  const bool bottomUp = GetBitmapOrder() == BitmapOrder::BgrBottomUp;
  // When the frame's pixels are as wide as the bitmap's, decoding straight
  // into bottom-up rows gives the same bytes as decoding top-down and then
  // flipping rows of AlignedColumns × BytesPerPixel bytes. When they are
  // not (a grey frame in a colour image), the flip works on rows of a
  // different length, and only the flip itself reproduces its result.
  const bool flipWhileDecoding = bottomUp && channels == BytesPerPixel();
  request.bitmapOut = bitmap;
  request.bitmapCapacity = DisplaySize();
  request.bitmapWidth = Columns();
  request.bitmapHeight = Rows();
  request.bitmapChannels = channels;
  request.bitmapRowPadding = (AlignedColumns() - Columns()) * channels;
  request.bitmapColourOrder = channels == 1                             ? JpegColourOrder::Grey
                              : GetBitmapOrder() == BitmapOrder::Rgb ? JpegColourOrder::Rgb
                                                                     : JpegColourOrder::Bgr;
  request.bitmapBottomUp = flipWhileDecoding;
  if (m_jpeg.ReadImage(request) != JpegStatus::Success) return Fail(m_jpeg.LastError());
  if (bottomUp && !flipWhileDecoding && !FlipInPlace(bitmap, false)) return Fail("the decoded rows cannot be flipped");
  return true;
}

}  // namespace quillon
