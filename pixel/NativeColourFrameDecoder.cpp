#include "pixel/NativeColourFrameDecoder.h"

#include "pixel/NativeSamples.h"

#include <cstring>
#include <utility>

namespace quillon {

CNativeColourFrameDecoder::CNativeColourFrameDecoder(NativeFrameFormat declared, bool planar)
    : m_format(std::move(declared)), m_planar(planar) {}

Status CNativeColourFrameDecoder::Decode(const uint8_t* encoded, uint64_t length, uint8_t* native,
                                         uint64_t capacity) const {
  if (Status fits = CheckNativeCapacity(m_format, native, capacity); !fits) return fits;
  const uint64_t size = m_format.FrameSize();
  if (encoded == nullptr || length < size) {
    return Error(ErrorCode::Malformed, "native frame of " + std::to_string(length) + " bytes, " +
                                           std::to_string(size) + " expected");
  }
  if (!m_planar) {
    std::memcpy(native, encoded, size);
    return Ok();
  }
  const uint32_t bytes = m_format.BytesPerSample();
  const uint32_t samples = m_format.samplesPerPixel;
  const uint64_t pixels = m_format.PixelCount();
  for (uint32_t s = 0; s < samples; ++s) {
    const uint8_t* plane = encoded + s * pixels * bytes;
    for (uint64_t p = 0; p < pixels; ++p) std::memcpy(native + (p * samples + s) * bytes, plane + p * bytes, bytes);
  }
  return Ok();
}

}  // namespace quillon
