#include "pixel/Jpeg2000CodeBlockStyles.h"

#include "base/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace quillon {

namespace {

constexpr uint32_t kSot = 0xFF90, kSod = 0xFF93, kSiz = 0xFF51, kCod = 0xFF52, kCoc = 0xFF53;
constexpr uint8_t kHighThroughputBlocks = 0x40;  // code-block style bit of Part 15

/// The markers OpenJPEG knows and where it takes them: the main header
/// (after SIZ), a tile-part header, or both. SOP is known but taken in
/// neither. Any other marker is unknown to it.
struct KnownMarker {
  uint32_t code;
  bool mainHeader;
  bool tilePartHeader;
};
constexpr KnownMarker kKnownMarkers[] = {
    {0xFF90, true, false},  {0xFF52, true, true},  {0xFF53, true, true},   {0xFF5E, true, true},
    {0xFF5C, true, true},   {0xFF5D, true, true},  {0xFF5F, true, true},   {0xFF51, false, false},
    {0xFF55, true, false},  {0xFF57, true, false}, {0xFF58, false, true},  {0xFF60, true, false},
    {0xFF61, false, true},  {0xFF91, false, false}, {0xFF63, true, false}, {0xFF64, true, true},
    {0xFF74, true, true},   {0xFF78, true, false}, {0xFF50, true, false},  {0xFF59, true, false},
    {0xFF75, true, true},   {0xFF77, true, true},
};

const KnownMarker* FindKnown(uint32_t code) {
  const auto* found = std::find_if(std::begin(kKnownMarkers), std::end(kKnownMarkers),
                                   [code](const KnownMarker& marker) { return marker.code == code; });
  return found == std::end(kKnownMarkers) ? nullptr : found;
}

/// Where a JP2 file's contiguous codestream box starts its payload, or the
/// file's length when it has none that OpenJPEG would find.
uint64_t FindJp2Codestream(const uint8_t* data, uint64_t length) {
  uint64_t position = 0;
  while (position + 8 <= length) {
    uint64_t box = LoadU32(data + position, true);
    uint64_t header = 8;
    if (box == 1) {
      if (position + 16 > length) break;
      box = uint64_t{LoadU32(data + position + 8, true)} << 32 | LoadU32(data + position + 12, true);
      header = 16;
    }
    if (std::memcmp(data + position + 4, "jp2c", 4) == 0) return position + header;
    if (box < header || box > length - position) break;
    position += box;
  }
  return length;
}

class CodestreamWalk {
 public:
  CodestreamWalk(const uint8_t* data, uint64_t end, CodeBlockStyles& styles)
      : m_data(data), m_end(end), m_styles(styles) {}

  void Run(uint64_t position) {
    if (position + 2 > m_end || Marker(position) != 0xFF4F) return;
    position += 2;
    // The main header: SIZ, then every segment up to the first tile-part.
    bool size = false;
    while (position + 2 <= m_end && Marker(position) != kSot) {
      const uint32_t marker = Marker(position);
      if (marker < 0xFF00) return;
      const KnownMarker* known = FindKnown(marker);
      if (known == nullptr) {
        position = NextKnownMarker(position + 2);
        continue;
      }
      if (size ? !known->mainHeader : marker != kSiz) return;
      size = true;
      if (!Segment(position, m_end)) return;
    }
    if (!size) return;
    // The tile-parts, each a header up to SOD and Psot bytes in all.
    while (position + 12 <= m_end && Marker(position) == kSot && SegmentLength(position) == 10) {
      const uint32_t psot = LoadU32(m_data + position + 6, true);
      if (psot != 0 && psot < 14) return;
      const uint64_t partEnd = psot == 0 ? m_end : position + psot;
      const uint64_t limit = std::min(partEnd, m_end);
      uint64_t header = position + 12;
      while (header + 2 <= limit && Marker(header) != kSod) {
        const KnownMarker* known = FindKnown(Marker(header));
        if (known == nullptr || !known->tilePartHeader || !Segment(header, limit)) return;
      }
      if (header + 2 > limit || psot == 0 || partEnd > m_end) return;
      position = partEnd;
    }
  }

 private:
  uint32_t Marker(uint64_t position) const { return uint32_t{m_data[position]} << 8 | m_data[position + 1]; }
  uint32_t SegmentLength(uint64_t position) const { return Marker(position + 2); }

  /// After an unknown marker: the next known marker, read two bytes at a
  /// time; the end when there is none.
  uint64_t NextKnownMarker(uint64_t position) const {
    for (; position + 2 <= m_end; position += 2) {
      const uint32_t marker = Marker(position);
      if (marker >= 0xFF00 && FindKnown(marker) != nullptr) return position;
    }
    return m_end;
  }

  /// Takes the segment at `position` (its style when it is a COD or COC)
  /// and moves past it; false when it does not fit before `limit`.
  bool Segment(uint64_t& position, uint64_t limit) {
    if (position + 4 > limit) return false;
    const uint32_t length = SegmentLength(position);
    if (length < 2 || position + 2 + length > limit) return false;
    const uint8_t* body = m_data + position + 4;
    const uint32_t bodyLength = length - 2;
    const uint32_t marker = Marker(position);
    if (marker == kSiz && bodyLength >= 36) {
      m_components = uint32_t{body[34]} << 8 | body[35];
    } else if (marker == kCod && bodyLength >= 9) {
      Style(body[8]);  // Scod, SGcod (4), levels, width, height, style
    } else if (marker == kCoc) {
      const uint32_t index = m_components <= 256 ? 1 : 2;  // Ccoc, Scoc, levels, width, height, style
      if (bodyLength >= index + 5) Style(body[index + 4]);
    }
    position += 2 + length;
    return true;
  }

  void Style(uint8_t style) {
    ((style & kHighThroughputBlocks) != 0 ? m_styles.highThroughput : m_styles.classic) = true;
  }

  const uint8_t* m_data;
  uint64_t m_end;
  CodeBlockStyles& m_styles;
  uint32_t m_components = 0;
};

}  // namespace

bool IsJp2File(const uint8_t* data, uint64_t length) {
  static constexpr uint8_t kSignature[] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20};
  return length >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

CodeBlockStyles ScanCodeBlockStyles(const uint8_t* data, uint64_t length) {
  CodeBlockStyles styles;
  if (IsJp2File(data, length)) styles.codestream = FindJp2Codestream(data, length);
  CodestreamWalk(data, length, styles).Run(styles.codestream);
  return styles;
}

}  // namespace quillon
