#include "pixel/HtJ2kFrameDecoder.h"

#include "base/ChildProcess.h"
#include "pixel/NativeSamples.h"

#include <openjph/ojph_arch.h>  // first: the others need its macros
#include <openjph/ojph_codestream.h>
#include <openjph/ojph_file.h>
#include <openjph/ojph_mem.h>
#include <openjph/ojph_message.h>
#include <openjph/ojph_params.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
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

/// True when a quantization style byte and its steps are what OpenJPH's
/// table of 97 steps holds: no quantization (a byte a step), scalar derived
/// (one step of two bytes) or scalar expounded (two bytes a step). Other
/// styles are not JPEG 2000's, and OpenJPH reads them past its table.
bool StepsFit(const uint8_t* style, uint32_t length) {
  constexpr uint32_t kMaxSteps = 97;
  if (length < 1) return false;
  const uint32_t steps = length - 1;
  switch (style[0] & 0x1F) {
    case 0: return steps >= 1 && steps <= kMaxSteps;
    case 1: return steps == 2;
    case 2: return steps >= 2 && steps % 2 == 0 && steps <= 2 * kMaxSteps;
    default: return false;
  }
}

/// True when a coding style's decomposition levels and code-block size are
/// JPEG 2000's (at most 32 levels; code blocks of at most 4096 samples,
/// neither side above 1024): OpenJPH sizes its buffers by them unchecked.
bool CodingFits(const uint8_t* levels, uint32_t length) {
  if (length < 5) return false;
  const uint32_t xcb = levels[1];
  const uint32_t ycb = levels[2];
  return levels[0] <= 32 && xcb <= 8 && ycb <= 8 && xcb + ycb <= 8;
}

/// Walks the main header up to the first tile. Debian's OpenJPH 0.9 keeps
/// the quantization and coding segments of single components (QCC, COC)
/// without checking how many there are or whom they name, and writes past
/// its tables for a second segment of one component (the fuzzer's find);
/// quantization segments longer than its tables of 97 steps overflow them
/// too. Such headers are refused here, before OpenJPH sees them.
Status CheckMainHeader(const uint8_t* data, uint64_t length) {
  const auto at = [](uint64_t position) { return " at byte " + std::to_string(position); };
  if (length < 2 || data[0] != 0xFF || data[1] != 0x4F) {
    return Error(ErrorCode::Malformed, "HTJ2K frame does not start with a codestream (SOC)");
  }
  uint32_t components = 0;
  std::vector<bool> quantized;
  std::vector<bool> coded;
  bool codingStyle = false;
  bool quantization = false;
  // OpenJPH asserts that every quantization segment has the steps of the
  // most decomposition levels any coding segment asks for.
  uint32_t mostLevels = 0;
  uint32_t fewestSteps = UINT32_MAX;
  // The reversible wavelet goes with unquantized steps and the irreversible
  // one with expounded steps; OpenJPH asserts so instead of refusing.
  int transform = -1;
  bool stylesMatch = true;
  std::vector<uint8_t> quantizationStyles;
  const auto countSteps = [&fewestSteps, &quantizationStyles](const uint8_t* style, uint32_t size) {
    const uint32_t steps = (style[0] & 0x1F) == 0 ? size - 1 : (style[0] & 0x1F) == 2 ? (size - 1) / 2 : UINT32_MAX;
    fewestSteps = std::min(fewestSteps, steps);
    quantizationStyles.push_back(style[0] & 0x1F);
  };
  uint64_t position = 2;
  while (position + 4 <= length) {
    if (data[position] != 0xFF) return Error(ErrorCode::Malformed, "HTJ2K main header has no marker" + at(position));
    const uint8_t marker = data[position + 1];
    if (marker == 0x90 && components != 0) {  // the first tile-part (SOT)
      for (const uint8_t style : quantizationStyles) stylesMatch = stylesMatch && style == (transform == 1 ? 0 : 2);
      if (!codingStyle || !quantization || !stylesMatch || fewestSteps < 3 * mostLevels + 1) {
        return Error(ErrorCode::Malformed, "HTJ2K main header lacks a coding style or quantization for its levels");
      }
      return Ok();
    }
    // The size segment comes first; OpenJPH sizes its tables by it.
    if ((components == 0) != (marker == 0x51)) {
      return Error(ErrorCode::Malformed, "HTJ2K main header does not start with its size segment (SIZ)");
    }
    // Only the segments a main header may hold: OpenJPH 0.9 does not step
    // over others by their length.
    static constexpr uint8_t kMainHeaderMarkers[] = {0x50, 0x51, 0x52, 0x53, 0x55, 0x57, 0x59,
                                                     0x5C, 0x5D, 0x5E, 0x5F, 0x60, 0x63, 0x64};
    if (std::find(std::begin(kMainHeaderMarkers), std::end(kMainHeaderMarkers), marker) ==
        std::end(kMainHeaderMarkers)) {
      return Error(ErrorCode::Malformed, "HTJ2K main header holds a segment it may not" + at(position));
    }
    const uint32_t segment = uint32_t{data[position + 2]} << 8 | data[position + 3];
    if (segment < 2 || position + 2 + segment > length) {
      return Error(ErrorCode::Malformed, "HTJ2K main header segment" + at(position) + " runs past the frame");
    }
    const uint8_t* body = data + position + 4;
    const uint32_t bodyLength = segment - 2;
    if (marker == 0x51) {  // SIZ: Csiz follows the eight sizes and offsets
      if (bodyLength < 36 || components != 0) return Error(ErrorCode::Malformed, "HTJ2K size segment is damaged");
      components = uint32_t{body[34]} << 8 | body[35];
      // Tiles of no width and components sampled every 0th pixel divide
      // by zero inside OpenJPH.
      const auto u32 = [body](uint32_t offset) {
        return uint32_t{body[offset]} << 24 | uint32_t{body[offset + 1]} << 16 | uint32_t{body[offset + 2]} << 8 |
               body[offset + 3];
      };
      bool sampled = components != 0 && bodyLength == 36 + 3 * components && u32(18) != 0 && u32(22) != 0;
      for (uint32_t c = 0; sampled && c < components; ++c) sampled = body[37 + 3 * c] != 0 && body[38 + 3 * c] != 0;
      if (!sampled) return Error(ErrorCode::Malformed, "HTJ2K size segment is damaged");
      quantized.assign(components, false);
      coded.assign(components, false);
    } else if (marker == 0x52 && (std::exchange(codingStyle, true) || bodyLength < 5 ||
                                  !CodingFits(body + 5, bodyLength - 5))) {
      return Error(ErrorCode::Malformed, "HTJ2K coding style segment" + at(position) + " is damaged or repeated");
    } else if (marker == 0x5C && (std::exchange(quantization, true) || !StepsFit(body, bodyLength))) {
      return Error(ErrorCode::Malformed, "HTJ2K quantization segment" + at(position) + " is damaged or repeated");
    } else if (marker == 0x5D || marker == 0x53) {  // QCC, COC
      const uint32_t indexBytes = components < 257 ? 1 : 2;
      if (components == 0 || bodyLength < indexBytes + 1) {
        return Error(ErrorCode::Malformed, "HTJ2K component segment" + at(position) + " is damaged");
      }
      const uint32_t index = indexBytes == 1 ? body[0] : uint32_t{body[0]} << 8 | body[1];
      std::vector<bool>& seen = marker == 0x5D ? quantized : coded;
      if (index >= components || seen[index] || (marker == 0x5D && !StepsFit(body + indexBytes, bodyLength - indexBytes)) ||
          (marker == 0x53 && !CodingFits(body + indexBytes + 1, bodyLength - indexBytes - 1))) {
        return Error(ErrorCode::Malformed, "HTJ2K component segment" + at(position) +
                                               " names a component it may not, or again");
      }
      seen[index] = true;
    }
    if (marker == 0x52) {
      mostLevels = std::max<uint32_t>(mostLevels, body[5]);
      transform = body[9];
    }
    if (marker == 0x5C) countSteps(body, bodyLength);
    if (marker == 0x53 || marker == 0x5D) {
      const uint32_t indexBytes = components < 257 ? 1 : 2;
      if (marker == 0x53) {
        mostLevels = std::max<uint32_t>(mostLevels, body[indexBytes + 1]);
        if (bodyLength < indexBytes + 6 || (transform != -1 && body[indexBytes + 5] != transform)) stylesMatch = false;
      }
      if (marker == 0x5D) countSteps(body + indexBytes, bodyLength - indexBytes);
    }
    position += 2 + segment;
  }
  return Error(ErrorCode::Malformed, "HTJ2K frame ends before its first tile");
}

/// Decodes the frame with OpenJPH into `native` (the format's FrameSize()
/// bytes); OpenJPH's messages for damaged data come back as Malformed.
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

}  // namespace

CHtJ2kFrameDecoder::CHtJ2kFrameDecoder(NativeFrameFormat declared) : m_format(std::move(declared)) {
  if (m_format.photometric == "YBR_RCT" || m_format.photometric == "YBR_ICT") m_format.photometric = "RGB";
  SilenceOpenJph();
}

Status CHtJ2kFrameDecoder::Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const {
  if (Status fits = CheckNativeCapacity(m_format, native, capacity); !fits) return fits;
  if (encoded == nullptr || length == 0) return Error(ErrorCode::Malformed, "HTJ2K frame is empty");
  if (Status header = CheckMainHeader(encoded, length); !header) return header;
  // Debian's OpenJPH 0.9 asserts (and so aborts) on some damaged packet
  // data that no header check can see: it only ever runs in a child
  // process, whose death is this frame's refusal. Its time grows with the
  // frame: ten seconds of CPU, and one more for every 8 MB of samples.
  const uint64_t frameSize = m_format.FrameSize();
  ChildLimits limits;
  limits.cpuSeconds = static_cast<uint32_t>(10 + frameSize / (8u << 20));
  limits.wallSeconds = 4 * limits.cpuSeconds;
  return DecodeInChildProcess("HTJ2K frame", native, frameSize, limits, [&](uint8_t* shared) {
    return DecodeWithOpenJph(m_format, encoded, length, shared);
  });
}

}  // namespace quillon
