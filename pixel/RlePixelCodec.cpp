/// \file
/// CRlePixelCodec: one pass over the sample planes in the work buffer each
/// way. The coder finds a run by comparing neighbours, eight at a time, and
/// then writes it whole (one memcpy per literal run); the decoder writes runs with memcpy
/// and memset, bounded by both the segment's end and the plane's end; the
/// bounds checks are made once per run, not per byte.
#include "pixel/RlePixelCodec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace quillon {

namespace {

// Longest run either kind of PackBits run can describe.
constexpr uint32_t kMaxRun = 128;
// Offsets and the fragment length are 32-bit fields.
constexpr uint64_t kMaxFrameLength = UINT32_MAX - 1;

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void WriteU32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

// Codes the `rows` rows of one plane one after another and pads the segment
// to an even length. Returns the segment length, 0 when it does not fit.
uint64_t EncodePlane(const uint8_t* plane, uint32_t width, uint32_t rows, uint8_t* out, uint64_t capacity) {
  uint64_t written = 0;
  for (uint32_t r = 0; r < rows; ++r) {
    const uint8_t* row = plane + uint64_t{r} * width;
    const int nextRowFirst = r + 1 < rows ? row[width] : CRlePixelCodec::kNoNextRow;
    const uint64_t length = CRlePixelCodec::EncodeRow(row, width, nextRowFirst, out + written, capacity - written);
    if (length == 0) return 0;
    written += length;
  }
  if (written % 2 != 0) {
    if (written == capacity) return 0;
    out[written++] = 0;
  }
  return written;
}

uint64_t Load64(const uint8_t* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

constexpr uint64_t kLowBits = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// The scans below look at eight bytes at a time: noisy images are nearly
// all literal runs, and a byte-by-byte search for their ends dominated the
// coder. The word tricks need the first byte in memory to be the lowest of
// the word; a big-endian host takes the byte loops alone.
constexpr bool kWordScan = std::endian::native == std::endian::little;

uint32_t LowestFlaggedByte(uint64_t flags) { return static_cast<uint32_t>(std::countr_zero(flags)) / 8; }

// First k in [from, limit) with row[k] == row[k + 1], or limit. Reads up to
// row[limit], which the caller guarantees exists.
uint32_t FindEqualNeighbours(const uint8_t* row, uint32_t from, uint32_t limit) {
  uint32_t k = from;
  if constexpr (kWordScan) {
    for (; k + 8 <= limit; k += 8) {
      const uint64_t difference = Load64(row + k) ^ Load64(row + k + 1);
      // A zero byte of `difference` is an equal pair. The lowest flagged
      // byte is always a true zero: a borrow only spreads upwards.
      const uint64_t zeros = (difference - kLowBits) & ~difference & kHighBits;
      if (zeros != 0) return k + LowestFlaggedByte(zeros);
    }
  }
  while (k < limit && row[k] != row[k + 1]) ++k;
  return k;
}

// First k in [from, end) with row[k] != value, or end.
uint32_t FindOtherValue(const uint8_t* row, uint32_t from, uint32_t end, uint8_t value) {
  uint32_t k = from;
  if constexpr (kWordScan) {
    const uint64_t pattern = kLowBits * value;
    for (; k + 8 <= end; k += 8) {
      const uint64_t difference = Load64(row + k) ^ pattern;
      if (difference != 0) return k + LowestFlaggedByte(difference);
    }
  }
  while (k < end && row[k] == value) ++k;
  return k;
}

}  // namespace

CRlePixelCodec::CRlePixelCodec(std::string photometric, uint32_t columns, uint32_t rows, uint32_t bytesPerPixel,
                               uint32_t bitsAllocated, uint32_t bitsStored, uint32_t planar)
    : CPixelCodec(std::move(photometric), columns, rows, bytesPerPixel, bitsAllocated, bitsStored, planar) {}

CRlePixelCodec::~CRlePixelCodec() = default;

uint64_t CRlePixelCodec::EncodeRow(const uint8_t* row, uint32_t width, int nextRowFirst, uint8_t* out,
                                   uint64_t capacity) {
  uint64_t written = 0;
  uint32_t i = 0;
  while (i < width) {
    const uint8_t value = row[i];
    const uint32_t end = i + std::min(width - i, kMaxRun);  // past the longest run possible here
    uint32_t j = i + 1;
    if (j < width && row[j] == value) {
      // Repeat run: control 257 - count, i.e. -(count - 1) as a signed byte.
      j = FindOtherValue(row, j + 1, end, value);
      if (capacity - written < 2) return 0;
      out[written] = static_cast<uint8_t>(257 - (j - i));
      out[written + 1] = value;
      written += 2;
    } else {
      // Literal run: it stops before a byte equal to its successor, so that
      // pair can start a repeat run.
      const uint32_t pairEnd = std::min(end, width - 1);
      if (j < pairEnd) j = FindEqualNeighbours(row, j, pairEnd);
      if (j == width - 1 && j < end && row[j] != nextRowFirst) ++j;
      const uint32_t count = j - i;
      if (capacity - written < uint64_t{count} + 1) return 0;
      out[written] = static_cast<uint8_t>(count - 1);
      std::memcpy(out + written + 1, row + i, count);
      written += uint64_t{count} + 1;
    }
    i = j;
  }
  return written;
}

bool CRlePixelCodec::DecodeSegment(const uint8_t* segment, uint64_t length, uint8_t* plane, uint64_t planeSize) {
  const uint8_t* in = segment;
  const uint8_t* const inEnd = segment + length;
  uint8_t* outPos = plane;
  uint8_t* const outEnd = plane + planeSize;
  while (outPos != outEnd) {
    if (in == inEnd) return false;
    const uint32_t control = *in++;
    const auto room = static_cast<size_t>(outEnd - outPos);
    if (control < 128) {
      // A literal run longer than what the plane still needs is cut short;
      // only the bytes actually copied have to be present.
      const size_t count = std::min<size_t>(control + 1, room);
      if (static_cast<size_t>(inEnd - in) < count) return false;
      std::memcpy(outPos, in, count);
      in += count;
      outPos += count;
    } else if (control > 128) {
      if (in == inEnd) return false;
      const size_t count = std::min<size_t>(257 - control, room);
      std::memset(outPos, *in++, count);
      outPos += count;
    }
    // 128 is a no-op.
  }
  return true;
}

bool CRlePixelCodec::IsYbrFull() const {
  // RLE always codes one plane per sample, so the planar configuration says
  // nothing here; DCMTK writes YBR_FULL RLE files with either value.
  return Format() == PixelFormat::YbrFullByPixel || Format() == PixelFormat::YbrFullByPlane;
}

uint32_t CRlePixelCodec::DecodablePlanes() const {
  if (BytesPerPixel() == 1) return 1;
  if (BytesPerPixel() != 3) return 0;
  switch (Format()) {
    case PixelFormat::RgbByPixel:
    case PixelFormat::RgbByPlane:
    case PixelFormat::YbrFullByPixel:
    case PixelFormat::YbrFullByPlane:
      return 3;
    default:
      return 0;
  }
}

bool CRlePixelCodec::Compress(const uint8_t* bitmap, uint8_t* out, uint64_t outCapacity, uint64_t& outLength) {
  if (bitmap == nullptr || out == nullptr || !IsUsable()) return false;
  uint8_t* const planes = WorkBuffer();
  if (planes == nullptr) return false;

  const uint32_t segments = BytesPerPixel();
  bool laidOut = false;
  if (segments == 1) {
    laidOut = ReverseRowsToStored(bitmap, planes);
  } else if (IsYbrFull()) {
    laidOut = BitmapToYbr(bitmap, planes, true);
  } else {
    laidOut = BitmapToRgb(bitmap, planes, true);
  }
  if (!laidOut || segments > kMaxSegments || outCapacity < kHeaderSize) return false;

  const uint64_t planeSize = uint64_t{Columns()} * Rows();
  uint8_t header[kHeaderSize] = {};
  WriteU32(header, segments);
  uint64_t length = kHeaderSize;
  for (uint32_t s = 0; s < segments; ++s) {
    WriteU32(header + 4 + 4 * s, static_cast<uint32_t>(length));
    const uint64_t segmentLength =
        EncodePlane(planes + s * planeSize, Columns(), Rows(), out + length, outCapacity - length);
    if (segmentLength == 0) return false;
    length += segmentLength;
    if (length > kMaxFrameLength) return false;
  }
  std::memcpy(out, header, kHeaderSize);
  outLength = length;
  return true;
}

bool CRlePixelCodec::Decompress(const uint8_t* stored, uint64_t storedLength, uint8_t* bitmap) {
  if (stored == nullptr || bitmap == nullptr || !IsUsable() || storedLength < kHeaderSize) return false;
  const uint32_t segments = ReadU32(stored);
  // A frame with fewer segments leaves planes undefined; one with more has
  // samples this bitmap has no room for.
  if (segments == 0 || segments > kMaxSegments || segments != DecodablePlanes()) return false;

  // Segment s ends where segment s + 1 starts; the last at the frame's end.
  uint64_t bounds[kMaxSegments + 1] = {};
  for (uint32_t s = 0; s < segments; ++s) bounds[s] = ReadU32(stored + 4 + 4 * s);
  bounds[segments] = storedLength;
  if (bounds[0] < kHeaderSize) return false;
  for (uint32_t s = 0; s < segments; ++s) {
    if (bounds[s] >= bounds[s + 1]) return false;
  }

  uint8_t* const planes = WorkBuffer();
  if (planes == nullptr) return false;
  const uint64_t planeSize = uint64_t{Columns()} * Rows();
  for (uint32_t s = 0; s < segments; ++s) {
    if (!DecodeSegment(stored + bounds[s], bounds[s + 1] - bounds[s], planes + s * planeSize, planeSize)) {
      return false;
    }
  }

  if (segments == 1) return ReverseRows(planes, bitmap);
  if (IsYbrFull()) return YbrToBitmap(planes, bitmap, true);
  return RgbToBitmap(planes, bitmap, true);
}

}  // namespace quillon
