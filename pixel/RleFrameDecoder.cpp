#include "pixel/RleFrameDecoder.h"

#include "base/ByteOrder.h"
#include "pixel/NativeSamples.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace quillon {

namespace {

constexpr uint64_t kHeaderSize = 64;
constexpr uint32_t kMaxSegments = 15;

/// Decodes the PackBits segment [from, end) into `pixels` bytes spaced
/// `stride` apart starting at `out`. False when it ends before the plane
/// is full.
bool DecodeSegment(const uint8_t* from, const uint8_t* end, uint8_t* out, uint64_t pixels, uint32_t stride) {
  uint64_t done = 0;
  while (done < pixels && from < end) {
    const auto control = static_cast<int8_t>(*from++);
    if (control >= 0) {
      const uint64_t run = std::min<uint64_t>({uint64_t(control) + 1, pixels - done, uint64_t(end - from)});
      if (stride == 1) {
        std::memcpy(out + done, from, run);
      } else {
        for (uint64_t i = 0; i < run; ++i) out[(done + i) * stride] = from[i];
      }
      from += run;
      done += run;
    } else if (control != -128) {
      if (from == end) break;
      const uint8_t value = *from++;
      const uint64_t run = std::min<uint64_t>(uint64_t(1 - control), pixels - done);
      if (stride == 1) {
        std::memset(out + done, value, run);
      } else {
        for (uint64_t i = 0; i < run; ++i) out[(done + i) * stride] = value;
      }
      done += run;
    }
  }
  return done == pixels;
}

/// 8-bit colour: each segment is decoded whole into a plane of its own and
/// the three planes are then interleaved in one pass. Writing every third
/// byte of the frame from each segment instead takes three times as long,
/// and the decoding threads are what an 8-bit RGB decompression waits for.
/// `bounds` holds each segment's first and end byte.
Status DecodeColourPlanes(const uint8_t* encoded, const uint64_t (*bounds)[2], uint8_t* native, uint64_t pixels) {
  std::unique_ptr<uint8_t[]> planes(new (std::nothrow) uint8_t[3 * pixels]);
  if (!planes) return Error(ErrorCode::OutOfMemory, "no memory for the planes of an RLE frame");
  for (uint32_t s = 0; s < 3; ++s) {
    if (!DecodeSegment(encoded + bounds[s][0], encoded + bounds[s][1], planes.get() + s * pixels, pixels, 1)) {
      return Error(ErrorCode::Malformed, "RLE segment " + std::to_string(s + 1) + " ends before its " +
                                             std::to_string(pixels) + " bytes");
    }
  }
  const uint8_t* red = planes.get();
  const uint8_t* green = red + pixels;
  const uint8_t* blue = green + pixels;
  for (uint64_t p = 0; p < pixels; ++p) {
    native[3 * p] = red[p];
    native[3 * p + 1] = green[p];
    native[3 * p + 2] = blue[p];
  }
  return Ok();
}

}  // namespace

Status CRleFrameDecoder::Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const {
  if (Status fits = CheckNativeCapacity(m_format, native, capacity); !fits) return fits;
  const uint32_t bytes = m_format.BytesPerSample();
  const uint32_t samples = m_format.samplesPerPixel;
  const uint64_t segments = uint64_t{bytes} * samples;
  if (bytes == 0 || m_format.bitsAllocated % 8 != 0 || segments > kMaxSegments) {
    return Error(ErrorCode::WrongKind, "RLE cannot hold " + std::to_string(samples) + " samples of " +
                                           std::to_string(m_format.bitsAllocated) + " bits allocated");
  }
  if (encoded == nullptr || length < kHeaderSize) {
    return Error(ErrorCode::Malformed, "RLE frame of " + std::to_string(length) + " bytes has no 64-byte header");
  }
  const uint32_t count = LoadU32(encoded, false);
  if (count != segments) {
    return Error(ErrorCode::WrongKind, "RLE frame of " + std::to_string(count) + " segments where the image needs " +
                                           std::to_string(segments));
  }
  const uint64_t pixels = m_format.PixelCount();
  const uint32_t stride = bytes * samples;
  uint64_t bounds[kMaxSegments][2];
  for (uint32_t s = 0; s < count; ++s) {
    const uint64_t start = LoadU32(encoded + 4 + 4 * s, false);
    const uint64_t end = s + 1 < count ? LoadU32(encoded + 8 + 4 * s, false) : length;
    if (start < kHeaderSize || start > end || end > length) {
      return Error(ErrorCode::Malformed, "RLE segment " + std::to_string(s + 1) + " lies at bytes " +
                                             std::to_string(start) + " to " + std::to_string(end) + " of a frame of " +
                                             std::to_string(length));
    }
    bounds[s][0] = start;
    bounds[s][1] = end;
  }
  if (bytes == 1 && samples == 3) {
    return DecodeColourPlanes(encoded, bounds, native, pixels);
  }
  for (uint32_t s = 0; s < count; ++s) {
    const uint64_t start = bounds[s][0];
    const uint64_t end = bounds[s][1];
    // Segment s is byte (bytes − 1 − s % bytes) of sample s / bytes: most
    // significant first, stored little endian.
    const uint32_t sample = s / bytes;
    const uint32_t byte = bytes - 1 - s % bytes;
    if (!DecodeSegment(encoded + start, encoded + end, native + sample * bytes + byte, pixels, stride)) {
      return Error(ErrorCode::Malformed, "RLE segment " + std::to_string(s + 1) + " ends before its " +
                                             std::to_string(pixels) + " bytes");
    }
  }
  return Ok();
}

}  // namespace quillon
