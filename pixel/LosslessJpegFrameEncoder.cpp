#include "pixel/LosslessJpegFrameEncoder.h"

#include "jpeg/LosslessJpegEncoder.h"

#include <algorithm>
#include <new>
#include <string>

namespace quillon {

CLosslessJpegFrameEncoder::CLosslessJpegFrameEncoder(const NativeFrameFormat& format) : m_format(format) {
  m_description.transferSyntax = "1.2.840.10008.1.2.4.70";
  m_description.photometric = format.photometric;
}

Result<std::unique_ptr<IFrameEncoder>> CLosslessJpegFrameEncoder::Create(const NativeFrameFormat& format) {
  if (format.bitsAllocated != 8 && format.bitsAllocated != 16) {
    return Error(ErrorCode::WrongKind, "JPEG Lossless holds samples of 8 or 16 bits allocated, and the image has " +
                                           std::to_string(format.bitsAllocated));
  }
  if (format.bitsStored == 0 || format.bitsStored > format.bitsAllocated) {
    return Error(ErrorCode::WrongKind, "JPEG Lossless cannot hold " + std::to_string(format.bitsStored) +
                                           " bits stored in " + std::to_string(format.bitsAllocated));
  }
  if (format.samplesPerPixel != 1 && format.samplesPerPixel != 3) {
    return Error(ErrorCode::WrongKind, "JPEG Lossless holds 1 or 3 samples per pixel here, and the image has " +
                                           std::to_string(format.samplesPerPixel));
  }
  if (format.columns == 0 || format.rows == 0 || format.columns > 65535 || format.rows > 65535) {
    return Error(ErrorCode::WrongKind, "JPEG Lossless cannot hold an image of " + std::to_string(format.columns) +
                                           "x" + std::to_string(format.rows));
  }
  return std::unique_ptr<IFrameEncoder>(new CLosslessJpegFrameEncoder(format));
}

Status CLosslessJpegFrameEncoder::Encode(const uint8_t* native, uint64_t length, std::vector<uint8_t>& encoded) const {
  if (native == nullptr || length != m_format.FrameSize()) {
    return Error(ErrorCode::Failure, "JPEG Lossless encode: a frame of " + std::to_string(length) +
                                         " bytes where " + std::to_string(m_format.FrameSize()) + " were expected");
  }
  const uint64_t count = m_format.SampleCount();
  std::unique_ptr<uint16_t[]> samples(new (std::nothrow) uint16_t[count]);
  if (!samples) return Error(ErrorCode::OutOfMemory, "JPEG Lossless encode: no memory for a frame");
  // One bit is the least a lossless frame codes; a 1-bit sample is coded in
  // two, its value unchanged.
  const uint32_t precision = std::max<uint32_t>(2, m_format.bitsStored);
  const auto mask = static_cast<uint16_t>((1u << m_format.bitsStored) - 1);
  if (m_format.bitsAllocated == 8) {
    for (uint64_t i = 0; i < count; ++i) samples[i] = static_cast<uint16_t>(native[i] & mask);
  } else {
    for (uint64_t i = 0; i < count; ++i) {
      samples[i] = static_cast<uint16_t>((native[2 * i] | native[2 * i + 1] << 8) & mask);
    }
  }
  return CLosslessJpegEncoder::Encode({.samples = samples.get(),
                                       .width = m_format.columns,
                                       .height = m_format.rows,
                                       .components = m_format.samplesPerPixel,
                                       .precision = precision},
                                      encoded);
}

}  // namespace quillon
