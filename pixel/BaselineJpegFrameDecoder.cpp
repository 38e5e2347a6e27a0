#include "pixel/BaselineJpegFrameDecoder.h"

#include "jpeg/BaselineJpegCodec.h"
#include "pixel/NativeSamples.h"

#include <utility>

namespace quillon {

CBaselineJpegFrameDecoder::CBaselineJpegFrameDecoder(NativeFrameFormat declared)
    : m_format(std::move(declared)), m_componentsDeclaredRgb(m_format.photometric == "RGB") {
  if (m_format.samplesPerPixel == 3) m_format.photometric = "RGB";
}

bool CBaselineJpegFrameDecoder::Decodes(const NativeFrameFormat& format) {
  return format.bitsAllocated == 8 && format.bitsStored == 8 && !format.signedSamples &&
         (format.samplesPerPixel == 1 || format.samplesPerPixel == 3);
}

Status CBaselineJpegFrameDecoder::Decode(const uint8_t* encoded, uint64_t length, uint8_t* native,
                                         uint64_t capacity) const {
  if (Status fits = CheckNativeCapacity(m_format, native, capacity); !fits) return fits;
  if (!Decodes(m_format)) return Error(ErrorCode::WrongKind, "JPEG Baseline frames of 8-bit unsigned samples only");
  JpegRequest request;
  request.jpegIn = encoded;
  request.jpegInLength = length;
  request.componentsDeclaredRgb = m_componentsDeclaredRgb;
  request.bitmapOut = native;
  request.bitmapCapacity = capacity;
  request.bitmapWidth = m_format.columns;
  request.bitmapHeight = m_format.rows;
  request.bitmapChannels = m_format.samplesPerPixel;
  request.bitmapColourOrder = m_format.samplesPerPixel == 1 ? JpegColourOrder::Grey : JpegColourOrder::Rgb;
  CBaselineJpegCodec codec;
  switch (codec.ReadImage(request)) {
    case JpegStatus::Success: return Ok();
    case JpegStatus::SizeMismatch:
    case JpegStatus::Unsupported: return Error(ErrorCode::WrongKind, "JPEG frame: " + codec.LastError());
    case JpegStatus::CorruptData: return Error(ErrorCode::Malformed, "JPEG frame: " + codec.LastError());
    default: return Error(ErrorCode::Failure, "JPEG frame: " + codec.LastError());
  }
}

}  // namespace quillon
