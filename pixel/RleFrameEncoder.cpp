#include "pixel/RleFrameEncoder.h"

#include "base/ByteOrder.h"
#include "pixel/RlePixelCodec.h"

#include <algorithm>
#include <new>
#include <string>

namespace quillon {

namespace {

constexpr uint32_t kHeaderSize = CRlePixelCodec::kHeaderSize;
constexpr uint32_t kMaxSegments = CRlePixelCodec::kMaxSegments;

/// Gathers byte `byte` of every `stride`-th byte from `from` into `plane`.
void GatherPlane(const uint8_t* from, uint64_t pixels, uint32_t stride, uint8_t* plane) {
  for (uint64_t i = 0; i < pixels; ++i) plane[i] = from[i * stride];
}

}  // namespace

CRleFrameEncoder::CRleFrameEncoder(const NativeFrameFormat& format) : m_format(format) {
  m_description.transferSyntax = "1.2.840.10008.1.2.5";
  m_description.photometric = format.photometric;
}

Result<std::unique_ptr<IFrameEncoder>> CRleFrameEncoder::Create(const NativeFrameFormat& format) {
  const uint32_t bits = format.bitsAllocated;
  if (bits != 8 && bits != 16 && bits != 32) {
    return Error(ErrorCode::WrongKind, "RLE needs 8, 16 or 32 bits allocated, and the image has " +
                                           std::to_string(bits));
  }
  if (format.samplesPerPixel != 1 && format.samplesPerPixel != 3) {
    return Error(ErrorCode::WrongKind, "RLE holds 1 or 3 samples per pixel, and the image has " +
                                           std::to_string(format.samplesPerPixel));
  }
  if (format.BytesPerSample() * format.samplesPerPixel > kMaxSegments) {
    return Error(ErrorCode::WrongKind, "RLE holds at most 15 byte planes, and " +
                                           std::to_string(format.samplesPerPixel) + " samples of " +
                                           std::to_string(bits) + " bits need " +
                                           std::to_string(format.BytesPerSample() * format.samplesPerPixel));
  }
  if (format.columns == 0 || format.rows == 0) return Error(ErrorCode::WrongKind, "RLE cannot hold an empty image");
  return std::unique_ptr<IFrameEncoder>(new CRleFrameEncoder(format));
}

Status CRleFrameEncoder::Encode(const uint8_t* native, uint64_t length, std::vector<uint8_t>& encoded) const {
  if (native == nullptr || length != m_format.FrameSize()) {
    return Error(ErrorCode::Failure, "RLE encode: a frame of " + std::to_string(length) + " bytes where " +
                                         std::to_string(m_format.FrameSize()) + " were expected");
  }
  const uint32_t bytes = m_format.BytesPerSample();
  const uint32_t segments = bytes * m_format.samplesPerPixel;
  const uint32_t width = m_format.columns;
  const uint32_t rows = m_format.rows;
  const uint64_t pixels = m_format.PixelCount();
  // Worst case per row: a 1-byte literal run (2 bytes) before each 2-byte
  // repeat run, 4 bytes for 3; plus the pad of the segment.
  const uint64_t rowBound = width + width / 2 + 2;
  const uint64_t segmentBound = rowBound * rows + 1;
  std::unique_ptr<uint8_t[]> plane;
  try {
    encoded.resize(kHeaderSize + segments * segmentBound);
    // One sample of one byte is its own plane; any other is gathered.
    if (segments != 1) plane = std::make_unique<uint8_t[]>(pixels);
  } catch (const std::bad_alloc&) {
    encoded.clear();
    return Error(ErrorCode::OutOfMemory, "RLE encode: no memory for a frame of " + std::to_string(length) + " bytes");
  }
  uint8_t* const out = encoded.data();
  std::fill(out, out + kHeaderSize, uint8_t{0});
  StoreU32(out, segments, false);
  uint64_t written = kHeaderSize;
  const uint32_t stride = segments;
  for (uint32_t s = 0; s < segments; ++s) {
    // Segment s is byte (bytes − 1 − s % bytes) of sample s / bytes: the
    // most significant byte first; native samples are little endian.
    const uint32_t sample = s / bytes;
    const uint32_t byte = bytes - 1 - s % bytes;
    const uint8_t* source = native;
    if (plane) {
      GatherPlane(native + sample * bytes + byte, pixels, stride, plane.get());
      source = plane.get();
    }
    if (written > UINT32_MAX) return Error(ErrorCode::WrongKind, "RLE encode: the frame passes 4 GiB");
    StoreU32(out + 4 + 4 * s, static_cast<uint32_t>(written), false);
    for (uint32_t r = 0; r < rows; ++r) {
      const uint8_t* row = source + uint64_t{r} * width;
      const int nextRowFirst = r + 1 < rows ? row[width] : CRlePixelCodec::kNoNextRow;
      const uint64_t coded = CRlePixelCodec::EncodeRow(row, width, nextRowFirst, out + written, rowBound);
      if (coded == 0) {
        return Error(ErrorCode::Failure, "RLE encode: row " + std::to_string(r) + " did not fit its bound");
      }
      written += coded;
    }
    if (written % 2 != 0) out[written++] = 0;
  }
  encoded.resize(written);
  return Ok();
}

}  // namespace quillon
