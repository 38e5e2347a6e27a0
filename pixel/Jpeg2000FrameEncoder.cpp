#include "pixel/Jpeg2000FrameEncoder.h"

#include "pixel/Jpeg2000FrameDecoder.h"
#include "pixel/OpenJpegHandles.h"

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

namespace quillon {

namespace {

/// Where OpenJPEG writes the codestream through its stream callbacks: the
/// caller's vector, grown as OpenJPEG writes (it may seek back to fill in
/// a length).
struct MemorySink {
  std::vector<uint8_t>* out = nullptr;
  uint64_t position = 0;
  bool full = false;  ///< a write the vector could not hold
};

OPJ_SIZE_T WriteSink(void* buffer, OPJ_SIZE_T bytes, void* user) {
  auto* sink = static_cast<MemorySink*>(user);
  const uint64_t end = sink->position + bytes;
  if (end > sink->out->size()) {
    try {
      sink->out->resize(end);
    } catch (const std::bad_alloc&) {
      sink->full = true;
      return static_cast<OPJ_SIZE_T>(-1);
    }
  }
  std::memcpy(sink->out->data() + sink->position, buffer, bytes);
  sink->position = end;
  return bytes;
}

OPJ_OFF_T SkipSink(OPJ_OFF_T bytes, void* user) {
  auto* sink = static_cast<MemorySink*>(user);
  if (bytes < 0 && static_cast<uint64_t>(-bytes) > sink->position) return -1;
  sink->position = static_cast<uint64_t>(static_cast<OPJ_OFF_T>(sink->position) + bytes);
  return bytes;
}

OPJ_BOOL SeekSink(OPJ_OFF_T to, void* user) {
  if (to < 0) return OPJ_FALSE;
  static_cast<MemorySink*>(user)->position = static_cast<uint64_t>(to);
  return OPJ_TRUE;
}

/// Wavelet levels: OpenJPEG's default of 5 decompositions, fewer for a
/// small image, whose lowest resolution must keep at least one pixel.
int Resolutions(const NativeFrameFormat& format) {
  const uint32_t side = std::min(format.columns, format.rows);
  int resolutions = 1;
  while (resolutions < 6 && (side >> resolutions) > 0) ++resolutions;
  return resolutions;
}

class CJpeg2000FrameEncoder : public IFrameEncoder {
 public:
  CJpeg2000FrameEncoder(const NativeFrameFormat& format, double ratio) : m_format(format), m_ratio(ratio) {
    const bool lossless = ratio == 0;
    m_transform = format.samplesPerPixel == 3 && format.photometric == "RGB";
    m_description.transferSyntax = lossless ? "1.2.840.10008.1.2.4.90" : "1.2.840.10008.1.2.4.91";
    m_description.photometric = !m_transform ? format.photometric : lossless ? "YBR_RCT" : "YBR_ICT";
    m_description.lossy = !lossless;
    if (!lossless) m_description.lossyMethod = "ISO_15444_1";
  }

  const EncodedImageDescription& Description() const override { return m_description; }

  Status Encode(const uint8_t* native, uint64_t length, std::vector<uint8_t>& encoded) const override {
    if (native == nullptr || length < m_format.FrameSize()) {
      return Error(ErrorCode::Failure, "a native frame of " + std::to_string(length) + " bytes where the image holds " +
                                           std::to_string(m_format.FrameSize()));
    }
    OpenJpegImage image = MakeImage(native);
    if (!image) return Error(ErrorCode::OutOfMemory, "no memory for a JPEG 2000 source image");

    OpenJpegCodec codec(opj_create_compress(OPJ_CODEC_J2K));
    if (!codec) return Error(ErrorCode::OutOfMemory, "no memory for a JPEG 2000 encoder");
    std::string message;
    KeepFirstOpenJpegError(codec.get(), &message);
    const auto failed = [&message](const char* what) {
      return Error(ErrorCode::Failure,
                   std::string("JPEG 2000 encoding: ") + (message.empty() ? what : message.c_str()));
    };
    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.cp_disto_alloc = 1;
    // OpenJPEG takes the ratio to the bits of precision; the ratio asked
    // for (and recorded as Lossy Image Compression Ratio) is to the native
    // frame, whose samples take Bits Allocated. 0: every bit, lossless.
    const double bitsRatio = m_ratio * m_format.bitsStored / m_format.bitsAllocated;
    parameters.tcp_rates[0] = m_ratio == 0 ? 0.0f : static_cast<float>(std::max(bitsRatio, 1.0));
    parameters.irreversible = m_ratio != 0 ? 1 : 0;
    parameters.tcp_mct = m_transform ? 1 : 0;
    parameters.numresolution = Resolutions(m_format);
    if (!opj_setup_encoder(codec.get(), &parameters, image.get())) return failed("the encoder cannot be set up");
    // The code blocks are coded on several threads (most of the time).
    if (const int threads = OpenJpegThreads(m_format); threads > 1) opj_codec_set_threads(codec.get(), threads);

    encoded.clear();
    encoded.reserve(static_cast<size_t>(m_format.FrameSize() / 2));
    MemorySink sink{&encoded, 0, false};
    OpenJpegStream stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
    if (!stream) return Error(ErrorCode::OutOfMemory, "no memory for a JPEG 2000 stream");
    opj_stream_set_user_data(stream.get(), &sink, nullptr);
    opj_stream_set_write_function(stream.get(), WriteSink);
    opj_stream_set_skip_function(stream.get(), SkipSink);
    opj_stream_set_seek_function(stream.get(), SeekSink);
    const bool done = opj_start_compress(codec.get(), image.get(), stream.get()) &&
                      opj_encode(codec.get(), stream.get()) && opj_end_compress(codec.get(), stream.get());
    if (sink.full) return Error(ErrorCode::OutOfMemory, "no memory for a JPEG 2000 codestream");
    if (!done) return failed("the frame could not be coded");
    return Ok();
  }

 private:
  /// The frame's samples as OpenJPEG's components: the Bits Stored bits of
  /// each sample, sign-extended when signed.
  OpenJpegImage MakeImage(const uint8_t* native) const {
    const uint32_t components = m_format.samplesPerPixel;
    opj_image_cmptparm_t parameters[3];
    std::memset(parameters, 0, sizeof parameters);
    for (uint32_t c = 0; c < components; ++c) {
      parameters[c].dx = 1;
      parameters[c].dy = 1;
      parameters[c].w = m_format.columns;
      parameters[c].h = m_format.rows;
      parameters[c].prec = m_format.bitsStored;
      parameters[c].sgnd = m_format.signedSamples ? 1 : 0;
    }
    const OPJ_COLOR_SPACE space = components == 1 ? OPJ_CLRSPC_GRAY : m_transform ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_SYCC;
    OpenJpegImage image(opj_image_create(components, parameters, space));
    if (!image) return image;
    image->x0 = 0;
    image->y0 = 0;
    image->x1 = m_format.columns;
    image->y1 = m_format.rows;
    const uint32_t bits = m_format.bitsStored;
    const uint32_t mask = bits >= 32 ? ~0u : (1u << bits) - 1;
    const uint32_t sign = m_format.signedSamples ? 1u << (bits - 1) : 0;
    const uint64_t pixels = m_format.PixelCount();
    const bool wide = m_format.bitsAllocated == 16;
    for (uint32_t c = 0; c < components; ++c) {
      OPJ_INT32* out = image->comps[c].data;
      const uint8_t* in = native + c * m_format.BytesPerSample();
      const uint64_t stride = uint64_t{components} * m_format.BytesPerSample();
      for (uint64_t p = 0; p < pixels; ++p, in += stride) {
        const uint32_t raw = (wide ? uint32_t{in[0]} | uint32_t{in[1]} << 8 : uint32_t{in[0]}) & mask;
        // (raw ^ sign) - sign sign-extends; with sign 0 it is raw.
        out[p] = static_cast<OPJ_INT32>(raw ^ sign) - static_cast<OPJ_INT32>(sign);
      }
    }
    return image;
  }

  NativeFrameFormat m_format;
  double m_ratio;
  bool m_transform = false;
  EncodedImageDescription m_description;
};

/// Refuses a format this syntax cannot hold, naming the syntax.
Error Refuse(const NativeFrameFormat& format, const std::string& why) { return RefuseFormat("JPEG 2000", format, why); }

}  // namespace

Result<std::unique_ptr<IFrameEncoder>> CreateJpeg2000FrameEncoder(const NativeFrameFormat& format,
                                                                  double compressionRatio) {
  if (format.columns == 0 || format.rows == 0) return Refuse(format, "it has no pixels");
  if (format.bitsAllocated != 8 && format.bitsAllocated != 16) {
    return Refuse(format, "this encoder codes samples of 8 or 16 bits allocated");
  }
  if (format.bitsStored < 1 || format.bitsStored > format.bitsAllocated) {
    return Refuse(format, "it codes 1 to 16 bits stored, no more than are allocated");
  }
  if (format.samplesPerPixel != 1 && format.samplesPerPixel != 3) {
    return Refuse(format, "it codes 1 or 3 samples per pixel");
  }
  const bool lossless = compressionRatio == 0;
  if (!EncodablePhotometric(format.photometric, format.samplesPerPixel, lossless)) {
    return Refuse(format, lossless ? "the photometric interpretation is not one JPEG 2000 images have"
                                   : "the photometric interpretation is not one lossy images have");
  }
  if (!lossless && !(std::isfinite(compressionRatio) && compressionRatio > 1)) {
    return Error(ErrorCode::WrongKind, "a JPEG 2000 compression ratio of " + std::to_string(compressionRatio) +
                                           ": 0 for lossless, or a ratio above 1");
  }
  return std::unique_ptr<IFrameEncoder>(std::make_unique<CJpeg2000FrameEncoder>(format, compressionRatio));
}

}  // namespace quillon
