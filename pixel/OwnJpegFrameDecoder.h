/// \file
/// COwnJpegFrameDecoder — frames of the JPEG syntaxes our own decoders in
/// jpeg/ handle: lossless (1.2.840.10008.1.2.4.57 and .70, through
/// CLosslessJpegDecoder) and extended 12-bit (1.2.840.10008.1.2.4.51,
/// through CExtendedJpegDecoder). `Decoder` is one of those two classes.
///
/// Samples come out as coded: no colour conversion (a lossless RGB image
/// stays RGB; the rare colour extended image stays YCbCr, at full size, so
/// YBR_FULL_422 becomes YBR_FULL). Signed samples keep the bit pattern of
/// their precision, as the file stored it.
#pragma once

#include "pixel/FrameDecoder.h"
#include "pixel/NativeSamples.h"

#include <memory>
#include <new>
#include <vector>

namespace quillon {

template <typename Decoder>
class COwnJpegFrameDecoder : public IFrameDecoder {
 public:
  explicit COwnJpegFrameDecoder(NativeFrameFormat declared) : m_format(std::move(declared)) {
    if (m_format.photometric == "YBR_FULL_422") m_format.photometric = "YBR_FULL";
  }

  const NativeFrameFormat& OutputFormat() const override { return m_format; }

  Status Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const override {
    if (Status fits = CheckNativeCapacity(m_format, native, capacity); !fits) return fits;
    auto header = Decoder::ReadHeader(encoded, length);
    if (!header) return header.GetError();
    if (Status same = CheckDecodedGeometry(m_format, header->width, header->height, header->componentCount,
                                           header->precision, "JPEG");
        !same) {
      return same;
    }
    const uint64_t count = m_format.SampleCount();
    if (m_format.bitsAllocated == 8) {
      return Decoder::Decode(encoded, length, {.bytes = native, .capacity = count});
    }
    // Words in the machine's order, stored little endian below: one pass
    // over the frame, and no alignment asked of the caller's buffer.
    std::unique_ptr<uint16_t[]> words(new (std::nothrow) uint16_t[count]);
    if (!words) return Error(ErrorCode::OutOfMemory, "no memory for a decoded JPEG frame");
    if (Status done = Decoder::Decode(encoded, length, {.words = words.get(), .capacity = count}); !done) return done;
    const uint32_t bytes = m_format.BytesPerSample();
    for (uint64_t i = 0; i < count; ++i) StoreSample(native + i * bytes, bytes, words[i]);
    return Ok();
  }

 private:
  NativeFrameFormat m_format;
};

}  // namespace quillon
