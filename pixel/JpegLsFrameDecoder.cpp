#include "pixel/JpegLsFrameDecoder.h"

#include "pixel/NativeSamples.h"

#include <charls/charls.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>

namespace quillon {

namespace {

struct DecoderDeleter {
  void operator()(charls_jpegls_decoder* decoder) const { charls_jpegls_decoder_destroy(decoder); }
};

Status Failed(charls::jpegls_errc code) {
  return Error(ErrorCode::Malformed, std::string("JPEG-LS frame: ") + charls_get_error_message(code));
}

/// Preset coding parameters (an LSE segment) out of their order: CharLS
/// 2.4 accepts thresholds such as T1 above T2 and then takes seconds on a
/// 64x64 frame, so they are refused first. Zero means "the default".
bool PresetsInOrder(const charls_jpegls_pc_parameters& p, int32_t bits) {
  const int32_t maximum = p.maximum_sample_value != 0 ? p.maximum_sample_value : (1 << bits) - 1;
  if (maximum < 1 || maximum > 65535 || p.reset_value < 0 || p.reset_value > std::max(255, maximum)) return false;
  int32_t previous = 0;
  for (const int32_t threshold : {p.threshold1, p.threshold2, p.threshold3}) {
    if (threshold == 0) continue;
    if (threshold < previous || threshold > maximum) return false;
    previous = threshold;
  }
  return true;
}

}  // namespace

Status CJpegLsFrameDecoder::Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const {
  if (Status fits = CheckNativeCapacity(m_format, native, capacity); !fits) return fits;
  // A whole stream ends with its end marker (then at most the padding of
  // its fragment). CharLS spends seconds on a 64x64 frame cut short before
  // it, so a frame without one is refused before CharLS sees it.
  // A fragment has an even length: DCMTK pads an odd stream with one byte
  // it leaves at whatever value it had, so one byte of any value may follow.
  uint64_t end = length;
  while (end > 0 && encoded[end - 1] == 0) --end;
  const auto eoiEndsAt = [encoded](uint64_t at) { return at >= 2 && encoded[at - 2] == 0xFF && encoded[at - 1] == 0xD9; };
  if (!eoiEndsAt(end) && (length == 0 || !eoiEndsAt(length - 1))) {
    return Error(ErrorCode::Malformed, "JPEG-LS frame is cut short: it does not end with its end marker (EOI)");
  }
  std::unique_ptr<charls_jpegls_decoder, DecoderDeleter> decoder(charls_jpegls_decoder_create());
  if (!decoder) return Error(ErrorCode::OutOfMemory, "no memory for a JPEG-LS decoder");
  using charls::jpegls_errc;
  if (jpegls_errc e = charls_jpegls_decoder_set_source_buffer(decoder.get(), encoded, length); e != jpegls_errc::success) {
    return Failed(e);
  }
  if (jpegls_errc e = charls_jpegls_decoder_read_header(decoder.get()); e != jpegls_errc::success) return Failed(e);
  charls_frame_info frame{};
  charls::interleave_mode interleave{};
  if (jpegls_errc e = charls_jpegls_decoder_get_frame_info(decoder.get(), &frame); e != jpegls_errc::success) {
    return Failed(e);
  }
  if (jpegls_errc e = charls_jpegls_decoder_get_interleave_mode(decoder.get(), &interleave);
      e != jpegls_errc::success) {
    return Failed(e);
  }
  if (Status same = CheckDecodedGeometry(m_format, frame.width, frame.height,
                                         static_cast<uint64_t>(frame.component_count),
                                         static_cast<uint64_t>(frame.bits_per_sample), "JPEG-LS");
      !same) {
    return same;
  }
  charls_jpegls_pc_parameters presets{};
  if (jpegls_errc e = charls_jpegls_decoder_get_preset_coding_parameters(decoder.get(), 0, &presets);
      e != jpegls_errc::success) {
    return Failed(e);
  }
  if (!PresetsInOrder(presets, frame.bits_per_sample)) {
    return Error(ErrorCode::Malformed, "JPEG-LS frame whose preset thresholds are out of order");
  }
  // CharLS writes one byte per sample up to 8 bits, else two.
  const uint32_t decodedBytes = frame.bits_per_sample <= 8 ? 1 : 2;
  const uint32_t bytes = m_format.BytesPerSample();
  const uint32_t components = m_format.samplesPerPixel;
  const bool planar = components > 1 && interleave == charls::interleave_mode::none;
  const uint64_t decodedSize = m_format.SampleCount() * decodedBytes;
  if (decodedBytes == bytes && !planar) {
    // The usual case: CharLS's samples are already the native frame.
    const jpegls_errc e = charls_jpegls_decoder_decode_to_buffer(decoder.get(), native, decodedSize, 0);
    return e == jpegls_errc::success ? Ok() : Failed(e);
  }
  std::unique_ptr<uint8_t[]> decoded(new (std::nothrow) uint8_t[decodedSize]);
  if (!decoded) return Error(ErrorCode::OutOfMemory, "no memory for a decoded JPEG-LS frame");
  if (jpegls_errc e = charls_jpegls_decoder_decode_to_buffer(decoder.get(), decoded.get(), decodedSize, 0);
      e != jpegls_errc::success) {
    return Failed(e);
  }
  const uint64_t pixels = m_format.PixelCount();
  for (uint64_t p = 0; p < pixels; ++p) {
    for (uint32_t c = 0; c < components; ++c) {
      const uint64_t from = (planar ? c * pixels + p : p * components + c) * decodedBytes;
      const uint32_t value = decodedBytes == 1 ? decoded[from] : uint32_t{decoded[from]} | uint32_t{decoded[from + 1]} << 8;
      StoreSample(native + (p * components + c) * bytes, bytes, value);
    }
  }
  return Ok();
}

}  // namespace quillon
