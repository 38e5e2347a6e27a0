#include "pixel/HtJ2kFrameDecoder.h"

#include "base/ChildProcess.h"
#include "base/HelperProcess.h"
#include "pixel/NativeSamples.h"
#include "pixel/OpenJphDecoding.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillon {

namespace {

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

}  // namespace

std::string FindHtJ2kHelper() { return FindHelperProgram("quillon-htj2k-decoder"); }

CHtJ2kFrameDecoder::CHtJ2kFrameDecoder(NativeFrameFormat declared, std::string helper)
    : m_format(std::move(declared)), m_helper(std::move(helper)) {
  if (m_format.photometric == "YBR_RCT" || m_format.photometric == "YBR_ICT") m_format.photometric = "RGB";
  // For the fork of this process that decodes when the helper cannot.
  SilenceOpenJph();
}

Status CHtJ2kFrameDecoder::Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const {
  if (Status fits = CheckNativeCapacity(m_format, native, capacity); !fits) return fits;
  if (encoded == nullptr || length == 0) return Error(ErrorCode::Malformed, "HTJ2K frame is empty");
  if (Status header = CheckMainHeader(encoded, length); !header) return header;
  // Debian's OpenJPH 0.9 asserts (and so aborts) on some damaged packet
  // data that no header check can see: it only ever runs in a process of
  // its own, whose death is this frame's refusal. Damaged data can also
  // make it loop (the fuzzer found such frames): its time grows with the
  // frame, two seconds of CPU and one more for every 8 MB of samples (it
  // decodes well over 100 MB a second), so a frame that will never decode
  // holds the viewer up for two seconds, not ten.
  const uint64_t frameSize = m_format.FrameSize();
  ChildLimits limits;
  limits.cpuSeconds = static_cast<uint32_t>(2 + frameSize / (8u << 20));
  limits.wallSeconds = 4 * limits.cpuSeconds;
  if (!m_helper.empty()) {
    if (std::optional<Status> decoded = DecodeInHelperProcess("HTJ2K frame", m_helper, FormatArguments(m_format),
                                                              encoded, length, native, frameSize, limits)) {
      return *std::move(decoded);
    }
  }
  return DecodeInChildProcess("HTJ2K frame", native, frameSize, limits, [&](uint8_t* shared) {
    return DecodeWithOpenJph(m_format, encoded, length, shared);
  });
}

}  // namespace quillon
