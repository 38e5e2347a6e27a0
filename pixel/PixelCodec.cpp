/// \file
/// CPixelCodec: the description of one image's frames and the conversions
/// between stored frames of the uncompressed transfer syntaxes and display
/// bitmaps. The attributes come from untrusted files, so every conversion
/// first checks that the geometry fits the buffers it is promised (the
/// display size); the per-pixel loops then run on precomputed row pointers
/// and tables only.
#include "pixel/PixelCodec.h"

#include "pixel/ColourTables.h"
#include "pixel/NativeSampleDisplay.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

namespace quillon {

namespace {

constexpr uint64_t SaturatingMultiply(uint64_t a, uint64_t b) {
  if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a) return std::numeric_limits<uint64_t>::max();
  return a * b;
}

PixelFormat FormatFor(const std::string& photometric, uint32_t bytesPerPixel, uint32_t planar) {
  if (photometric == "RGB") return planar == 0 ? PixelFormat::RgbByPixel : PixelFormat::RgbByPlane;
  if (photometric == "YBR_FULL") return planar == 0 ? PixelFormat::YbrFullByPixel : PixelFormat::YbrFullByPlane;
  if (photometric == "MONOCHROME2") {
    return bytesPerPixel > 1 ? PixelFormat::Monochrome2Word : PixelFormat::Monochrome2Byte;
  }
  if (photometric == "MONOCHROME1") {
    return bytesPerPixel > 1 ? PixelFormat::Monochrome1Word : PixelFormat::Monochrome1Byte;
  }
  if (photometric == "PALETTE COLOR") return PixelFormat::PaletteColor;
  if (photometric == "YBR_FULL_422") return PixelFormat::YbrFull422;
  if (photometric == "YBR_PARTIAL_422") return PixelFormat::YbrPartial422;
  return PixelFormat::Unsupported;
}

// The codec's geometry as sizes. Only built for a usable codec, whose display
// size is at most kMaxDisplaySize, so every product below fits a size_t.
struct Geometry {
  size_t width;    // pixels in a stored row
  size_t aligned;  // pixels in a bitmap row
  size_t rows;
  size_t bytesPerPixel;

  explicit Geometry(const CPixelCodec& codec)
      : width(codec.Columns()),
        aligned(codec.AlignedColumns()),
        rows(codec.Rows()),
        bytesPerPixel(codec.BytesPerPixel()) {}

  size_t StoredRowBytes() const { return width * bytesPerPixel; }
  size_t BitmapRowBytes() const { return aligned * bytesPerPixel; }
  size_t PlaneSize() const { return width * rows; }
  // Offset of the bitmap row that shows stored row `row`: the bitmap is
  // bottom-up.
  size_t BitmapRowOffset(size_t row) const { return (rows - 1 - row) * BitmapRowBytes(); }
};

// The three sample pointers of one stored colour row. Sample s of pixel c is
// at sample[s][c × step], with step 3 by pixel and 1 by plane.
template <typename Byte>
struct StoredColourRow {
  Byte* sample[3];
};

template <typename Byte>
StoredColourRow<Byte> ColourRowAt(Byte* stored, const Geometry& g, size_t row, bool byPlane) {
  if (byPlane) {
    Byte* first = stored + row * g.width;
    const size_t plane = g.PlaneSize();
    return {{first, first + plane, first + 2 * plane}};
  }
  Byte* first = stored + row * g.width * 3;
  return {{first, first + 1, first + 2}};
}

// Runs `convert(step)` with the sample step as a compile-time constant, so
// each layout gets its own loop with constant strides.
template <typename Convert>
void WithSampleStep(bool byPlane, Convert&& convert) {
  if (byPlane) {
    convert(std::integral_constant<size_t, 1>{});
  } else {
    convert(std::integral_constant<size_t, 3>{});
  }
}

inline uint8_t ClampToByte(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// Copies `rows` rows of `rowBytes` bytes, the first row of `from` to the last
// row of `to`.
void CopyRowsReversed(const uint8_t* from, size_t fromStride, uint8_t* to, size_t toStride, size_t rowBytes,
                      size_t rows) {
  for (size_t row = 0; row < rows; ++row) {
    std::memcpy(to + (rows - 1 - row) * toStride, from + row * fromStride, rowBytes);
  }
}

// Swaps two rows through a small stack buffer: memcpy in chunks is several
// times faster than a byte-wise swap, and nothing is allocated.
void SwapRows(uint8_t* a, uint8_t* b, size_t bytes) {
  uint8_t chunk[4096];
  for (size_t done = 0; done < bytes;) {
    const size_t n = std::min(sizeof chunk, bytes - done);
    std::memcpy(chunk, a + done, n);
    std::memcpy(a + done, b + done, n);
    std::memcpy(b + done, chunk, n);
    done += n;
  }
}

// Swaps rows top with bottom; a middle row stays where it is.
void FlipRows(uint8_t* buffer, size_t rowBytes, size_t rows) {
  if (rows < 2) return;
  for (size_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
    SwapRows(buffer + top * rowBytes, buffer + bottom * rowBytes, rowBytes);
  }
}

// The window maps a sample x to
//   0 when x ≤ low, else 255 when x ≥ high, else (255x − offset) / divisor + 127
// with low = trunc(c − 0.5 − (w − 1) / 2), high = trunc(c − 0.5 + (w − 1) / 2),
// offset = trunc((c − 0.5) × 255), divisor = trunc(w − 1), and division
// truncating toward zero. The bounds are formed in double and kept in 64
// bits, so no window a caller sets can overflow them.
struct WindowBounds {
  int64_t low;
  int64_t high;
  int64_t offset;
  int64_t divisor;

  WindowBounds(int32_t width, int32_t center) {
    const double w = width;
    const double c = center;
    low = static_cast<int64_t>(c - 0.5 - (w - 1) / 2);
    high = static_cast<int64_t>(c - 0.5 + (w - 1) / 2);
    offset = static_cast<int64_t>((c - 0.5) * 255);
    divisor = static_cast<int64_t>(w - 1);
  }
};

// Fills out[0 … end − begin) with the window of the values begin … end − 1.
// Across the interior the quotient is stepped along with the numerator, so
// a range costs one division.
void FillWindowRange(const WindowBounds& b, uint8_t* out, int64_t begin, int64_t end) {
  // [first, interiorEnd) is the interior. A width of 1 or less gives
  // high ≤ low, so there is no interior and the division is never reached.
  const int64_t first = std::clamp<int64_t>(b.low + 1, begin, end);
  const int64_t interiorEnd = b.divisor > 0 ? std::clamp<int64_t>(b.high, first, end) : first;

  std::memset(out, 0, static_cast<size_t>(first - begin));
  if (first < interiorEnd) {
    int64_t numerator = 255 * first - b.offset;
    int64_t floorQuotient = numerator / b.divisor;
    int64_t remainder = numerator % b.divisor;
    if (remainder < 0) {
      remainder += b.divisor;
      --floorQuotient;
    }
    const int64_t stepQuotient = 255 / b.divisor;
    const int64_t stepRemainder = 255 % b.divisor;
    for (int64_t x = first; x < interiorEnd; ++x) {
      // Truncation differs from the floor only for a negative inexact quotient.
      const int64_t quotient = floorQuotient + (numerator < 0 && remainder != 0 ? 1 : 0);
      out[x - begin] = static_cast<uint8_t>(std::clamp<int64_t>(quotient + 127, 0, 255));
      numerator += 255;
      floorQuotient += stepQuotient;
      remainder += stepRemainder;
      if (remainder >= b.divisor) {
        remainder -= b.divisor;
        ++floorQuotient;
      }
    }
  }
  std::memset(out + (interiorEnd - begin), 255, static_cast<size_t>(end - interiorEnd));
}

// Where the value of a grey sample sits in its bits: `bits` bits (1 to
// Bits Allocated) from bit `shift` up.
struct SampleBits {
  uint32_t bits;
  uint32_t shift;
};

SampleBits SampleBitsFor(uint32_t bitsAllocated, uint32_t bitsStored, uint32_t highBit) {
  const uint32_t bits = bitsStored == 0 || bitsStored > bitsAllocated ? bitsAllocated : bitsStored;
  const bool fits = highBit + 1 >= bits && highBit < bitsAllocated;
  return {bits, fits ? highBit + 1 - bits : 0};
}

// The window over every value a sample of up to 16 bits can hold, indexed
// by the sample's bits (two's complement for signed samples), built 256
// entries at a time on first use: a small frame, or one whose samples stay
// within 12 bits, never pays for the whole 65,536 entries.
class WindowTable {
 public:
  WindowTable(const WindowBounds& bounds, uint32_t bits, bool signedSamples)
      : m_bounds(bounds), m_size(size_t{1} << bits), m_firstNegative(signedSamples ? m_size / 2 : m_size) {
    m_built.fill(false);
  }

  uint8_t operator[](size_t index) {
    const size_t block = index >> 8;
    if (!m_built[block]) {
      Fill(block);
      m_built[block] = true;
    }
    return m_table[index];
  }

 private:
  void Fill(size_t block) {
    const size_t begin = block << 8;
    const size_t end = std::min(begin + 256, m_size);
    // From the sign bit on the indexes hold negative values; a block that
    // spans it is two runs of consecutive values.
    for (size_t i = begin; i < end;) {
      const size_t runEnd = i < m_firstNegative ? std::min(end, m_firstNegative) : end;
      const int64_t value = static_cast<int64_t>(i) - (i < m_firstNegative ? 0 : static_cast<int64_t>(m_size));
      FillWindowRange(m_bounds, m_table.data() + i, value, value + static_cast<int64_t>(runEnd - i));
      i = runEnd;
    }
  }

  WindowBounds m_bounds;
  size_t m_size;
  size_t m_firstNegative;
  std::array<uint8_t, 65536> m_table;  // written block by block before any read
  std::array<bool, 256> m_built;
};

}  // namespace

CPixelCodec::CPixelCodec(std::string photometric, uint32_t columns, uint32_t rows, uint32_t bytesPerPixel,
                         uint32_t bitsAllocated, uint32_t bitsStored, uint32_t planar)
    : m_columns(columns),
      m_alignedColumns((columns + 3u) & ~3u),
      m_rows(rows),
      m_bytesPerPixel(bytesPerPixel),
      m_bitsAllocated(bitsAllocated),
      m_bitsStored(bitsStored),
      // Rounded in 64 bits: near 2^32 columns the 32-bit aligned width wraps,
      // and the display size must never understate the frame.
      m_displaySize(SaturatingMultiply(SaturatingMultiply((uint64_t{columns} + 3) & ~uint64_t{3}, rows),
                                       bytesPerPixel)),
      m_photometric(std::move(photometric)),
      m_format(FormatFor(m_photometric, bytesPerPixel, planar)),
      m_highBit(bitsStored - 1),
      m_windowFromFrame(bitsAllocated >= 32) {
  DefaultWindow(m_windowWidth, m_windowCenter);
}

void CPixelCodec::SetSampleLayout(uint32_t highBit, bool signedSamples) {
  m_highBit = highBit;
  m_signedSamples = signedSamples;
  DefaultWindow(m_windowWidth, m_windowCenter);
}

void CPixelCodec::DefaultWindow(int32_t& width, int32_t& center) const {
  width = center = 0;
  switch (m_format) {
    case PixelFormat::Monochrome2Byte:
    case PixelFormat::Monochrome1Byte:
      width = 256;
      center = m_signedSamples ? 0 : 128;
      break;
    case PixelFormat::Monochrome2Word:
    case PixelFormat::Monochrome1Word: {
      // The whole stored range. From 31 bits stored on, 2^bitsStored does not
      // fit the signed width, so the width stops at its largest value.
      constexpr uint64_t kLargestWidth = std::numeric_limits<int32_t>::max();
      const uint64_t fullRange = m_bitsStored >= 31 ? kLargestWidth : uint64_t{1} << m_bitsStored;
      width = static_cast<int32_t>(fullRange);
      center = m_signedSamples ? 0 : static_cast<int32_t>(fullRange / 2);
      break;
    }
    default:
      break;
  }
}

CPixelCodec::~CPixelCodec() = default;

bool CPixelCodec::IsUsable() const {
  // Eight bytes only for 64-bit floating point grey samples.
  return m_columns != 0 && m_rows != 0 && m_bytesPerPixel >= 1 && (m_bytesPerPixel <= 6 || m_bytesPerPixel == 8) &&
         m_displaySize <= kMaxDisplaySize;
}

bool CPixelCodec::Compress(const uint8_t* bitmap, uint8_t* out, uint64_t outCapacity, uint64_t& outLength) {
  if (outCapacity < m_displaySize) return false;
  // The stored frame is Rows × Columns × BytesPerPixel bytes; the display
  // size is larger whenever the width is not a multiple of 4, and writing
  // that many bytes would put the bitmap's padding into the file.
  outLength = uint64_t{m_columns} * m_rows * m_bytesPerPixel;
  // Packed bits, wide and floating point samples are shown, not coded
  // from a display bitmap: it no longer holds their values.
  const bool grey = m_format == PixelFormat::Monochrome2Byte || m_format == PixelFormat::Monochrome1Byte ||
                    m_format == PixelFormat::Monochrome2Word || m_format == PixelFormat::Monochrome1Word;
  if ((grey && (m_bitsAllocated == 1 || m_bitsAllocated >= 32)) || m_floatSamples) return false;
  switch (m_format) {
    case PixelFormat::RgbByPixel:
      return BitmapToRgb(bitmap, out, false);
    case PixelFormat::RgbByPlane:
      return BitmapToRgb(bitmap, out, true);
    case PixelFormat::YbrFullByPixel:
      return BitmapToYbr(bitmap, out, false);
    case PixelFormat::YbrFullByPlane:
      return BitmapToYbr(bitmap, out, true);
    case PixelFormat::Reserved2:
    case PixelFormat::Monochrome2Byte:
    case PixelFormat::Monochrome1Byte:
    case PixelFormat::Monochrome2Word:
    case PixelFormat::Monochrome1Word:
    case PixelFormat::PaletteColor:
      return ReverseRowsToStored(bitmap, out);
    case PixelFormat::Reserved3:
    case PixelFormat::Unsupported:
    case PixelFormat::YbrFull422:
    case PixelFormat::YbrPartial422:
      break;
  }
  return false;
}

bool CPixelCodec::Decompress(const uint8_t* stored, uint64_t storedLength, uint8_t* bitmap) {
  if (!IsUsable()) return false;
  const bool grey = m_format == PixelFormat::Monochrome2Byte || m_format == PixelFormat::Monochrome1Byte ||
                    m_format == PixelFormat::Monochrome2Word || m_format == PixelFormat::Monochrome1Word;
  // Formats whose stored frame is not Rows × Columns × BytesPerPixel
  // bytes, or whose samples do not fit a window table.
  if (grey && m_bitsAllocated == 1 && m_bytesPerPixel == 1) {
    return PackedBitsToBitmap(stored, storedLength, m_columns, m_rows, m_alignedColumns, bitmap);
  }
  if (m_format == PixelFormat::YbrFull422 || m_format == PixelFormat::YbrPartial422) {
    return m_bytesPerPixel == 3 && Ybr422ToBitmap(stored, storedLength, m_columns, m_rows, m_alignedColumns,
                                                  m_format == PixelFormat::YbrPartial422, bitmap);
  }
  if (grey && (m_bitsAllocated == 32 || m_bitsAllocated == 64) && m_bytesPerPixel == m_bitsAllocated / 8) {
    WideSample kind = m_signedSamples ? WideSample::Signed32 : WideSample::Unsigned32;
    if (m_floatSamples) kind = m_bitsAllocated == 64 ? WideSample::Float64 : WideSample::Float32;
    if (!m_floatSamples && m_bitsAllocated == 64) return false;
    return WideSamplesToBitmap(stored, storedLength, m_columns, m_rows, m_alignedColumns, kind, m_bitsStored,
                               m_highBit, m_windowWidth, m_windowCenter, m_windowFromFrame, bitmap);
  }
  // Every conversion below reads Rows × Columns × BytesPerPixel stored bytes.
  if (storedLength < uint64_t{m_columns} * m_rows * m_bytesPerPixel) return false;
  switch (m_format) {
    case PixelFormat::RgbByPixel:
      return RgbToBitmap(stored, bitmap, false);
    case PixelFormat::RgbByPlane:
      return RgbToBitmap(stored, bitmap, true);
    case PixelFormat::YbrFullByPixel:
      return YbrToBitmap(stored, bitmap, false);
    case PixelFormat::YbrFullByPlane:
      return YbrToBitmap(stored, bitmap, true);
    case PixelFormat::Reserved2:
    case PixelFormat::Monochrome2Byte:
    case PixelFormat::Monochrome1Byte:
    case PixelFormat::PaletteColor:
      return ReverseRows(stored, bitmap);
    case PixelFormat::Monochrome2Word:
    case PixelFormat::Monochrome1Word:
      return WindowToBitmap(stored, bitmap);
    case PixelFormat::Reserved3:
    case PixelFormat::Unsupported:
    case PixelFormat::YbrFull422:
    case PixelFormat::YbrPartial422:
      break;
  }
  return false;
}

bool CPixelCodec::RgbToBitmap(const uint8_t* stored, uint8_t* bitmap, bool byPlane) const {
  if (!IsUsable() || m_bytesPerPixel != 3 || stored == nullptr || bitmap == nullptr) return false;
  const Geometry g(*this);
  WithSampleStep(byPlane, [&](auto step) {
    for (size_t row = 0; row < g.rows; ++row) {
      const auto in = ColourRowAt(stored, g, row, byPlane);
      const uint8_t* red = in.sample[0];
      const uint8_t* green = in.sample[1];
      const uint8_t* blue = in.sample[2];
      uint8_t* out = bitmap + g.BitmapRowOffset(row);
      for (size_t c = 0; c < g.width; ++c) {
        out[3 * c] = blue[c * step];
        out[3 * c + 1] = green[c * step];
        out[3 * c + 2] = red[c * step];
      }
    }
  });
  return true;
}

bool CPixelCodec::BitmapToRgb(const uint8_t* bitmap, uint8_t* stored, bool byPlane) const {
  if (!IsUsable() || m_bytesPerPixel != 3 || stored == nullptr || bitmap == nullptr) return false;
  const Geometry g(*this);
  WithSampleStep(byPlane, [&](auto step) {
    for (size_t row = 0; row < g.rows; ++row) {
      const auto out = ColourRowAt(stored, g, row, byPlane);
      uint8_t* red = out.sample[0];
      uint8_t* green = out.sample[1];
      uint8_t* blue = out.sample[2];
      const uint8_t* in = bitmap + g.BitmapRowOffset(row);
      for (size_t c = 0; c < g.width; ++c) {
        blue[c * step] = in[3 * c];
        green[c * step] = in[3 * c + 1];
        red[c * step] = in[3 * c + 2];
      }
    }
  });
  return true;
}

bool CPixelCodec::YbrToBitmap(const uint8_t* stored, uint8_t* bitmap, bool byPlane) const {
  if (!IsUsable() || m_bytesPerPixel != 3 || stored == nullptr || bitmap == nullptr) return false;
  const Geometry g(*this);
  const ColourTables& t = GetColourTables();
  WithSampleStep(byPlane, [&](auto step) {
    for (size_t row = 0; row < g.rows; ++row) {
      const auto in = ColourRowAt(stored, g, row, byPlane);
      const uint8_t* luma = in.sample[0];
      const uint8_t* blueDiff = in.sample[1];
      const uint8_t* redDiff = in.sample[2];
      uint8_t* out = bitmap + g.BitmapRowOffset(row);
      for (size_t c = 0; c < g.width; ++c) {
        const int y = luma[c * step];
        const uint8_t cb = blueDiff[c * step];
        const uint8_t cr = redDiff[c * step];
        out[3 * c] = ClampToByte(y + t.blueFromCb[cb]);
        out[3 * c + 1] = ClampToByte(y + t.greenFromCb[cb] + t.greenFromCr[cr]);
        out[3 * c + 2] = ClampToByte(y + t.redFromCr[cr]);
      }
    }
  });
  return true;
}

bool CPixelCodec::BitmapToYbr(const uint8_t* bitmap, uint8_t* stored, bool byPlane) const {
  if (!IsUsable() || m_bytesPerPixel != 3 || stored == nullptr || bitmap == nullptr) return false;
  const Geometry g(*this);
  const ColourTables& t = GetColourTables();
  WithSampleStep(byPlane, [&](auto step) {
    for (size_t row = 0; row < g.rows; ++row) {
      const auto out = ColourRowAt(stored, g, row, byPlane);
      uint8_t* luma = out.sample[0];
      uint8_t* blueDiff = out.sample[1];
      uint8_t* redDiff = out.sample[2];
      const uint8_t* in = bitmap + g.BitmapRowOffset(row);
      for (size_t c = 0; c < g.width; ++c) {
        const uint8_t blue = in[3 * c];
        const uint8_t green = in[3 * c + 1];
        const uint8_t red = in[3 * c + 2];
        luma[c * step] = ClampToByte(t.yFromRed[red] + t.yFromGreen[green] + t.yFromBlue[blue]);
        blueDiff[c * step] = ClampToByte(t.cbFromRed[red] + t.cbFromGreen[green] + t.cbFromBlue[blue]);
        redDiff[c * step] = ClampToByte(t.crFromRed[red] + t.crFromGreen[green] + t.crFromBlue[blue]);
      }
    }
  });
  return true;
}

bool CPixelCodec::ReverseRows(const uint8_t* from, uint8_t* to) const {
  if (!IsUsable() || from == nullptr || to == nullptr) return false;
  const Geometry g(*this);
  CopyRowsReversed(from, g.StoredRowBytes(), to, g.BitmapRowBytes(), g.StoredRowBytes(), g.rows);
  return true;
}

bool CPixelCodec::ReverseRowsToStored(const uint8_t* bitmap, uint8_t* stored) const {
  if (!IsUsable() || bitmap == nullptr || stored == nullptr) return false;
  const Geometry g(*this);
  CopyRowsReversed(bitmap, g.BitmapRowBytes(), stored, g.StoredRowBytes(), g.StoredRowBytes(), g.rows);
  return true;
}

bool CPixelCodec::WindowToBitmap(const uint8_t* stored, uint8_t* bitmap) const {
  if (!IsUsable() || stored == nullptr || bitmap == nullptr) return false;
  // The sample width must match the bytes per pixel, or the reads below
  // would run past a stored frame of Rows × Columns × BytesPerPixel bytes.
  const bool wide = m_bitsAllocated == 16 && m_bytesPerPixel == 2;
  const bool narrow = m_bitsAllocated == 8 && m_bytesPerPixel == 1;
  if (!wide && !narrow) return false;

  // Only the Bits Stored bits ending at High Bit are the value: the bits
  // around them may hold overlays or garbage, and must not show.
  const SampleBits sample = SampleBitsFor(m_bitsAllocated, m_bitsStored, m_highBit);
  const uint32_t shift = sample.shift;
  const size_t mask = (size_t{1} << sample.bits) - 1;
  WindowTable table(WindowBounds(m_windowWidth, m_windowCenter), sample.bits, m_signedSamples);
  const Geometry g(*this);
  if (m_sampleSink != nullptr) {
    // The values as the window reads them: Bits Stored bits, sign-extended.
    std::vector<int32_t>& values = *m_sampleSink;
    values.resize(g.width * g.rows);
    const int64_t size = int64_t{1} << sample.bits;
    const int64_t firstNegative = m_signedSamples ? size / 2 : size;
    for (size_t row = 0; row < g.rows; ++row) {
      const uint8_t* in = stored + row * g.StoredRowBytes();
      int32_t* out = values.data() + row * g.width;
      for (size_t c = 0; c < g.width; ++c) {
        const size_t raw = wide ? static_cast<size_t>(in[2 * c]) | (static_cast<size_t>(in[2 * c + 1]) << 8) : in[c];
        const auto value = static_cast<int64_t>((raw >> shift) & mask);
        out[c] = static_cast<int32_t>(value >= firstNegative ? value - size : value);
      }
    }
  }
  if (wide) {
    for (size_t row = 0; row < g.rows; ++row) {
      const uint8_t* in = stored + row * g.StoredRowBytes();
      uint8_t* out = bitmap + (g.rows - 1 - row) * g.aligned;  // one byte per pixel
      // Samples are little endian, the order the reader leaves values in.
      for (size_t c = 0; c < g.width; ++c) {
        const size_t raw = static_cast<size_t>(in[2 * c]) | (static_cast<size_t>(in[2 * c + 1]) << 8);
        out[c] = table[(raw >> shift) & mask];
      }
    }
  } else {
    for (size_t row = 0; row < g.rows; ++row) {
      const uint8_t* in = stored + row * g.StoredRowBytes();
      uint8_t* out = bitmap + (g.rows - 1 - row) * g.aligned;
      for (size_t c = 0; c < g.width; ++c) out[c] = table[(in[c] >> shift) & mask];
    }
  }
  return true;
}

bool CPixelCodec::FlipInPlace(uint8_t* buffer, bool planes) const {
  if (!IsUsable() || buffer == nullptr) return false;
  const Geometry g(*this);
  if (!planes || g.bytesPerPixel == 1) {
    FlipRows(buffer, g.BitmapRowBytes(), g.rows);
    return true;
  }
  // Three planes of Columns × Rows bytes fit the display size only from
  // three bytes per pixel on.
  if (g.bytesPerPixel < 3) return false;
  for (size_t plane = 0; plane < 3; ++plane) FlipRows(buffer + plane * g.PlaneSize(), g.width, g.rows);
  return true;
}

uint8_t* CPixelCodec::WorkBuffer() {
  if (!m_workBuffer && IsUsable()) {
    try {
      // Zeroed once, so a decoder that stops short never exposes stale memory.
      m_workBuffer = std::make_unique<uint8_t[]>(static_cast<size_t>(m_displaySize));
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return m_workBuffer.get();
}

}  // namespace quillon
