#include "pixel/HtJ2kFrameDecoder.h"

#include "pixel/NativeSamples.h"

#include <openjph/ojph_arch.h>  // first: the others need its macros
#include <openjph/ojph_codestream.h>
#include <openjph/ojph_file.h>
#include <openjph/ojph_mem.h>
#include <openjph/ojph_message.h>
#include <openjph/ojph_params.h>

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>

namespace quillon {

namespace {

// OpenJPH's handler classes have virtual calls but no virtual destructor;
// ours are never deleted through them (they live as long as the process).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

/// OpenJPH reports an error by calling its error handler, which must not
/// return. Its own prints to standard error first; this one only throws
/// the message, which Decode catches: nothing leaves it.
class CThrowingError : public ojph::message_error {
 public:
  void operator()(int, const char*, int, const char* format, ...) override {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    throw std::runtime_error(text);
  }
};

class CSilentWarning : public ojph::message_warning {
 public:
  void operator()(int, const char*, int, const char*, ...) override {}
};

class CSilentInfo : public ojph::message_info {
 public:
  void operator()(int, const char*, int, const char*, ...) override {}
};

#pragma GCC diagnostic pop

/// OpenJPH's handlers are process-wide; ours hold no state and are set
/// once, as is the sink (never closed: OpenJPH may print until exit).
void SilenceOpenJph() {
  static CThrowingError error;
  static CSilentWarning warning;
  static CSilentInfo info;
  static std::once_flag once;
  std::call_once(once, [] {
    ojph::configure_error(&error);
    ojph::configure_warning(&warning);
    ojph::configure_info(&info);
    // Debian's OpenJPH 0.9 still prints through its own streams: point
    // them where nothing is shown (a tool's standard error is its user's).
    if (FILE* sink = std::fopen("/dev/null", "w")) {
      ojph::set_info_stream(sink);
      ojph::set_warning_stream(sink);
      ojph::set_error_stream(sink);
    }
  });
}

}  // namespace

CHtJ2kFrameDecoder::CHtJ2kFrameDecoder(NativeFrameFormat declared) : m_format(std::move(declared)) {
  if (m_format.photometric == "YBR_RCT" || m_format.photometric == "YBR_ICT") m_format.photometric = "RGB";
  SilenceOpenJph();
}

Status CHtJ2kFrameDecoder::Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const {
  if (Status fits = CheckNativeCapacity(m_format, native, capacity); !fits) return fits;
  if (encoded == nullptr || length == 0) return Error(ErrorCode::Malformed, "HTJ2K frame is empty");
  try {
    ojph::mem_infile file;
    file.open(encoded, length);
    ojph::codestream codestream;
    codestream.read_headers(&file);
    ojph::param_siz siz = codestream.access_siz();
    const ojph::point extent = siz.get_image_extent();
    const ojph::point offset = siz.get_image_offset();
    const uint32_t components = siz.get_num_components();
    const uint32_t precision = components > 0 ? siz.get_bit_depth(0) : 0;
    if (Status same = CheckDecodedGeometry(m_format, extent.x - offset.x, extent.y - offset.y, components,
                                           precision, "HTJ2K");
        !same) {
      return same;
    }
    // OpenJPH sizes its buffers by the tile, not the image: a tile larger
    // than the image, or offsets moving it away, would have it allocate
    // what the frame never needs. DICOM frames have neither.
    const ojph::size tile = siz.get_tile_size();
    const ojph::point tileOffset = siz.get_tile_offset();
    if (offset.x != 0 || offset.y != 0 || tileOffset.x != 0 || tileOffset.y != 0 || tile.w > extent.x ||
        tile.h > extent.y) {
      return Error(ErrorCode::WrongKind, "HTJ2K frame with image or tile offsets, or tiles of " +
                                             std::to_string(tile.w) + "x" + std::to_string(tile.h) +
                                             " beyond the image");
    }
    for (uint32_t c = 0; c < components; ++c) {
      const ojph::point sampling = siz.get_downsampling(c);
      if (sampling.x != 1 || sampling.y != 1 || siz.get_bit_depth(c) != precision) {
        return Error(ErrorCode::WrongKind, "HTJ2K frame whose components differ in size or precision");
      }
    }
    codestream.set_planar(false);
    codestream.create();
    const uint32_t bytes = m_format.BytesPerSample();
    const uint32_t stride = bytes * components;
    const uint32_t columns = m_format.columns;
    for (uint32_t row = 0; row < m_format.rows; ++row) {
      uint8_t* line = native + uint64_t{row} * columns * stride;
      for (uint32_t c = 0; c < components; ++c) {
        uint32_t component = 0;
        ojph::line_buf* samples = codestream.pull(component);
        if (samples == nullptr || component >= components || samples->size < columns) {
          return Error(ErrorCode::Malformed, "HTJ2K frame: a line was not decoded");
        }
        for (uint32_t x = 0; x < columns; ++x) {
          StoreSample(line + x * stride + component * bytes, bytes, static_cast<uint32_t>(samples->i32[x]));
        }
      }
    }
    codestream.close();
  } catch (const std::exception& failure) {
    return Error(ErrorCode::Malformed, std::string("HTJ2K frame: ") + failure.what());
  }
  return Ok();
}

}  // namespace quillon
