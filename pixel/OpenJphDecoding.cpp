#include "pixel/OpenJphDecoding.h"

#include "pixel/NativeSamples.h"

#include <openjph/ojph_arch.h>  // first: the others need its macros
#include <openjph/ojph_codestream.h>
#include <openjph/ojph_file.h>
#include <openjph/ojph_mem.h>
#include <openjph/ojph_message.h>
#include <openjph/ojph_params.h>

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

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

/// The frame's bytes as OpenJPH reads them. Debian's OpenJPH 0.9 reads its
/// own memory file past the end when a marker segment claims more than is
/// left (a quantization segment did, in the fuzzer); every read and seek
/// here stays inside the frame, and a short read makes OpenJPH stop.
class CBoundedInfile : public ojph::infile_base {
 public:
  CBoundedInfile(const uint8_t* data, uint64_t length) : m_data(data), m_length(length) {}

  size_t read(void* out, size_t size) override {
    const uint64_t left = m_length - m_position;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(size, left));
    if (count > 0) std::memcpy(out, m_data + m_position, count);
    m_position += count;
    return count;
  }
  int seek(ojph::si64 offset, enum infile_base::seek origin) override {
    const ojph::si64 base = origin == OJPH_SEEK_SET   ? 0
                            : origin == OJPH_SEEK_CUR ? static_cast<ojph::si64>(m_position)
                                                      : static_cast<ojph::si64>(m_length);
    if (offset < -base || offset > static_cast<ojph::si64>(m_length) - base) return -1;
    m_position = static_cast<uint64_t>(base + offset);
    return 0;
  }
  ojph::si64 tell() override { return static_cast<ojph::si64>(m_position); }
  bool eof() override { return m_position >= m_length; }

 private:
  const uint8_t* m_data;
  uint64_t m_length;
  uint64_t m_position = 0;
};

#pragma GCC diagnostic pop

}  // namespace

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

Status DecodeWithOpenJph(const NativeFrameFormat& format, const uint8_t* encoded, uint64_t length,
                         uint8_t* native) {
  try {
    CBoundedInfile file(encoded, length);
    ojph::codestream codestream;
    codestream.read_headers(&file);
    ojph::param_siz siz = codestream.access_siz();
    const ojph::point extent = siz.get_image_extent();
    const ojph::point offset = siz.get_image_offset();
    const uint32_t components = siz.get_num_components();
    const uint32_t precision = components > 0 ? siz.get_bit_depth(0) : 0;
    if (Status same = CheckDecodedGeometry(format, extent.x - offset.x, extent.y - offset.y, components,
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
    const uint32_t bytes = format.BytesPerSample();
    const uint32_t stride = bytes * components;
    const uint32_t columns = format.columns;
    for (uint32_t row = 0; row < format.rows; ++row) {
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

std::vector<std::string> FormatArguments(const NativeFrameFormat& format) {
  return {std::to_string(format.columns),       std::to_string(format.rows),
          std::to_string(format.samplesPerPixel), std::to_string(format.bitsAllocated),
          std::to_string(format.bitsStored),      format.signedSamples ? "1" : "0"};
}

Result<NativeFrameFormat> ParseFormatArguments(const std::vector<std::string>& arguments) {
  uint32_t numbers[6] = {};
  bool parsed = arguments.size() == std::size(numbers);
  for (size_t i = 0; parsed && i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), numbers[i]);
    parsed = error == std::errc() && end == word.data() + word.size();
  }
  if (!parsed || numbers[3] == 0 || numbers[3] % 8 != 0 || numbers[5] > 1) {
    return Error(ErrorCode::Failure, "the frame format takes columns, rows, samples per pixel, bits allocated, "
                                     "bits stored and 0 or 1 for signed samples");
  }
  return NativeFrameFormat{numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], numbers[5] == 1, ""};
}

}  // namespace quillon
