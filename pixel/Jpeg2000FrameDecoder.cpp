#include "pixel/Jpeg2000FrameDecoder.h"

#include "base/ByteOrder.h"
#include "pixel/HtJ2kFrameDecoder.h"
#include "pixel/Jpeg2000CodeBlockStyles.h"
#include "pixel/NativeSamples.h"
#include "pixel/OpenJpegHandles.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace quillon {

namespace {

/// The encoded frame OpenJPEG reads through its stream callbacks.
struct MemorySource {
  const uint8_t* data = nullptr;
  uint64_t length = 0;
  uint64_t position = 0;
};

OPJ_SIZE_T ReadSource(void* buffer, OPJ_SIZE_T bytes, void* user) {
  auto* source = static_cast<MemorySource*>(user);
  const uint64_t left = source->length - source->position;
  if (left == 0) return static_cast<OPJ_SIZE_T>(-1);
  const uint64_t count = std::min<uint64_t>(bytes, left);
  std::memcpy(buffer, source->data + source->position, count);
  source->position += count;
  return count;
}

OPJ_OFF_T SkipSource(OPJ_OFF_T bytes, void* user) {
  auto* source = static_cast<MemorySource*>(user);
  if (bytes < 0) {
    const uint64_t back = std::min<uint64_t>(static_cast<uint64_t>(-bytes), source->position);
    source->position -= back;
    return -static_cast<OPJ_OFF_T>(back);
  }
  const uint64_t forward = std::min<uint64_t>(static_cast<uint64_t>(bytes), source->length - source->position);
  source->position += forward;
  return static_cast<OPJ_OFF_T>(forward);
}

OPJ_BOOL SeekSource(OPJ_OFF_T to, void* user) {
  auto* source = static_cast<MemorySource*>(user);
  if (to < 0 || static_cast<uint64_t>(to) > source->length) return OPJ_FALSE;
  source->position = static_cast<uint64_t>(to);
  return OPJ_TRUE;
}

/// The image and tile sizes a bare codestream's SIZ segment (right after
/// SOC) declares, checked before OpenJPEG reads the header: it sets up
/// every tile there, so a grid of millions of tiles would cost seconds
/// before the size could be refused. A JP2 file is left to OpenJPEG.
Status CheckSizSegment(const uint8_t* data, uint64_t length, const NativeFrameFormat& format) {
  static constexpr uint64_t kSizFields = 4 + 2 + 2 + 8 * 4 + 2;  // SOC, marker, Lsiz, Rsiz, sizes, Csiz
  if (length < kSizFields || data[0] != 0xFF || data[1] != 0x4F || data[2] != 0xFF || data[3] != 0x51) return Ok();
  const uint8_t* siz = data + 8;
  const uint64_t x1 = LoadU32(siz, true), y1 = LoadU32(siz + 4, true);
  const uint64_t x0 = LoadU32(siz + 8, true), y0 = LoadU32(siz + 12, true);
  const uint64_t tileWidth = LoadU32(siz + 16, true), tileHeight = LoadU32(siz + 20, true);
  const uint64_t tileX0 = LoadU32(siz + 24, true), tileY0 = LoadU32(siz + 28, true);
  if (x0 >= x1 || y0 >= y1 || tileWidth == 0 || tileHeight == 0 || tileX0 > x0 || tileY0 > y0) {
    return Error(ErrorCode::Malformed, "JPEG 2000 frame: its SIZ segment declares no image");
  }
  if (Status same = CheckDecodedGeometry(format, x1 - x0, y1 - y0, format.samplesPerPixel, 1, "JPEG 2000"); !same) {
    return same;
  }
  // At most 65535 tiles, as the codestream's tile index allows.
  const uint64_t tiles = ((x1 - tileX0 + tileWidth - 1) / tileWidth) * ((y1 - tileY0 + tileHeight - 1) / tileHeight);
  if (tiles > 65535) {
    return Error(ErrorCode::Malformed, "JPEG 2000 frame of " + std::to_string(tiles) + " tiles");
  }
  return Ok();
}

}  // namespace

int OpenJpegThreads(const NativeFrameFormat& format) {
  static constexpr uint64_t kThreadedPixels = 128 * 128;
  if (format.SampleCount() < kThreadedPixels || !opj_has_thread_support()) return 1;
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 8u));
}

CJpeg2000FrameDecoder::CJpeg2000FrameDecoder(NativeFrameFormat declared) : m_format(std::move(declared)) {
  if (m_format.photometric == "YBR_RCT" || m_format.photometric == "YBR_ICT") m_format.photometric = "RGB";
}

Status CJpeg2000FrameDecoder::Decode(const uint8_t* encoded, uint64_t length, uint8_t* native,
                                     uint64_t capacity) const {
  if (Status fits = CheckNativeCapacity(m_format, native, capacity); !fits) return fits;
  if (encoded == nullptr || length == 0) return Error(ErrorCode::Malformed, "JPEG 2000 frame is empty");
  if (Status siz = CheckSizSegment(encoded, length, m_format); !siz) return siz;
  // OpenJPEG must never see HT code blocks next to classic ones (see
  // Jpeg2000CodeBlockStyles.h); a frame of HT blocks only, which some
  // writers label as JPEG 2000, goes to the HTJ2K decoder.
  const CodeBlockStyles styles = ScanCodeBlockStyles(encoded, length);
  if (styles.highThroughput && styles.classic) {
    return Error(ErrorCode::WrongKind, "JPEG 2000 frame that mixes HTJ2K code blocks with classic ones");
  }
  if (styles.highThroughput) {
    return CHtJ2kFrameDecoder(m_format).Decode(encoded + styles.codestream, length - styles.codestream, native,
                                               capacity);
  }
  OpenJpegCodec codec(
      opj_create_decompress(IsJp2File(encoded, length) ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  if (!codec) return Error(ErrorCode::OutOfMemory, "no memory for a JPEG 2000 decoder");
  std::string message;
  KeepFirstOpenJpegError(codec.get(), &message);
  opj_dparameters_t parameters;
  opj_set_default_decoder_parameters(&parameters);
  const auto failed = [&message](const char* what) {
    return Error(ErrorCode::Malformed,
                 std::string("JPEG 2000 frame: ") + (message.empty() ? what : message.c_str()));
  };
  if (!opj_setup_decoder(codec.get(), &parameters)) return failed("the decoder cannot be set up");
  // OpenJPEG decodes the code blocks (most of the time) and the wavelet
  // transform of one frame on several threads: a CT slice decodes in about
  // half the time on two cores. A small frame is not worth the threads.
  if (const int threads = OpenJpegThreads(m_format); threads > 1) opj_codec_set_threads(codec.get(), threads);

  MemorySource source{encoded, length, 0};
  // The stream's buffer need not exceed the frame: OpenJPEG's default of a
  // megabyte, allocated for every frame, is most of the cost of a small one.
  const auto chunk = static_cast<OPJ_SIZE_T>(std::clamp<uint64_t>(length, 4096, OPJ_J2K_STREAM_CHUNK_SIZE));
  OpenJpegStream stream(opj_stream_create(chunk, OPJ_TRUE));
  if (!stream) return Error(ErrorCode::OutOfMemory, "no memory for a JPEG 2000 stream");
  opj_stream_set_user_data(stream.get(), &source, nullptr);
  opj_stream_set_user_data_length(stream.get(), length);
  opj_stream_set_read_function(stream.get(), ReadSource);
  opj_stream_set_skip_function(stream.get(), SkipSource);
  opj_stream_set_seek_function(stream.get(), SeekSource);

  opj_image_t* header = nullptr;
  if (!opj_read_header(stream.get(), codec.get(), &header)) {
    opj_image_destroy(header);
    return failed("no readable header");
  }
  OpenJpegImage image(header);
  // The size the codestream declares, checked before OpenJPEG allocates
  // the decoded components.
  const uint64_t width = image->x1 - image->x0;
  const uint64_t height = image->y1 - image->y0;
  const uint64_t precision = image->numcomps > 0 ? image->comps[0].prec : 0;
  if (Status same = CheckDecodedGeometry(m_format, width, height, image->numcomps, precision, "JPEG 2000"); !same) {
    return same;
  }
  for (uint32_t c = 0; c < image->numcomps; ++c) {
    if (image->comps[c].dx != 1 || image->comps[c].dy != 1 || image->comps[c].prec != precision) {
      return Error(ErrorCode::WrongKind, "JPEG 2000 frame whose components differ in size or precision");
    }
  }
  if (!opj_decode(codec.get(), stream.get(), image.get()) || !opj_end_decompress(codec.get(), stream.get())) {
    return failed("damaged coded data");
  }
  const uint32_t components = m_format.samplesPerPixel;
  const uint64_t pixels = m_format.PixelCount();
  for (uint32_t c = 0; c < components; ++c) {
    const opj_image_comp_t& component = image->comps[c];
    if (component.data == nullptr || uint64_t{component.w} * component.h != pixels) {
      return failed("a component was not decoded whole");
    }
  }
  const uint32_t bytes = m_format.BytesPerSample();
  const uint32_t stride = bytes * components;
  for (uint32_t c = 0; c < components; ++c) {
    const OPJ_INT32* data = image->comps[c].data;
    uint8_t* out = native + c * bytes;
    if (bytes == 1) {
      for (uint64_t p = 0; p < pixels; ++p) out[p * stride] = static_cast<uint8_t>(data[p]);
    } else if (bytes == 2) {
      for (uint64_t p = 0; p < pixels; ++p) {
        const auto value = static_cast<uint16_t>(data[p]);
        out[p * stride] = static_cast<uint8_t>(value);
        out[p * stride + 1] = static_cast<uint8_t>(value >> 8);
      }
    } else {
      for (uint64_t p = 0; p < pixels; ++p) StoreSample(out + p * stride, bytes, static_cast<uint32_t>(data[p]));
    }
  }
  return Ok();
}

}  // namespace quillon
