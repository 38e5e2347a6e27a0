#include "pixel/NativeSampleDisplay.h"

#include "pixel/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace quillon {

namespace {

/// Clamped before rounding, so an infinite value stays defined.
uint8_t ClampToByte(double value) {
  return std::isnan(value) ? 0 : static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
}
uint8_t ClampToByte(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

/// The window of CPixelCodec in double precision: 0 up to `low`, 255 from
/// `high`, linear between.
struct DoubleWindow {
  double low;
  double high;
  double offset;
  double divisor;

  DoubleWindow(double width, double center)
      : low(center - 0.5 - (width - 1) / 2),
        high(center - 0.5 + (width - 1) / 2),
        offset((center - 0.5) * 255),
        divisor(width - 1) {}

  uint8_t operator()(double x) const {
    if (std::isnan(x) || x <= low) return 0;
    if (x >= high || divisor <= 0) return 255;
    return ClampToByte(std::trunc((255 * x - offset) / divisor) + 127);
  }
};

double ReadWide(const uint8_t* in, WideSample kind, uint32_t shift, uint64_t mask, uint32_t bits) {
  switch (kind) {
    case WideSample::Float32: {
      float value = 0;
      std::memcpy(&value, in, sizeof value);  // little endian, as the host is
      return value;
    }
    case WideSample::Float64: {
      double value = 0;
      std::memcpy(&value, in, sizeof value);
      return value;
    }
    case WideSample::Unsigned32:
    case WideSample::Signed32: {
      const uint64_t raw = uint64_t{in[0]} | (uint64_t{in[1]} << 8) | (uint64_t{in[2]} << 16) | (uint64_t{in[3]} << 24);
      const uint64_t value = (raw >> shift) & mask;
      if (kind == WideSample::Signed32 && bits > 0 && (value >> (bits - 1)) != 0) {
        return static_cast<double>(static_cast<int64_t>(value) - static_cast<int64_t>(uint64_t{1} << bits));
      }
      return static_cast<double>(value);
    }
  }
  return 0;
}

}  // namespace

bool PackedBitsToBitmap(const uint8_t* stored, uint64_t storedLength, size_t columns, size_t rows,
                        size_t alignedColumns, uint8_t* bitmap) {
  if (stored == nullptr || bitmap == nullptr || storedLength < PackedBitsSize(uint64_t{columns} * rows)) return false;
  size_t bit = 0;
  for (size_t row = 0; row < rows; ++row) {
    uint8_t* out = bitmap + (rows - 1 - row) * alignedColumns;
    for (size_t c = 0; c < columns; ++c, ++bit) out[c] = ((stored[bit >> 3] >> (bit & 7)) & 1) != 0 ? 255 : 0;
  }
  return true;
}

bool Ybr422ToBitmap(const uint8_t* stored, uint64_t storedLength, size_t columns, size_t rows,
                    size_t alignedColumns, bool partial, uint8_t* bitmap) {
  if (stored == nullptr || bitmap == nullptr || columns % 2 != 0 || storedLength < uint64_t{columns} * rows * 2) {
    return false;
  }
  const ColourTables& t = GetColourTables();
  for (size_t row = 0; row < rows; ++row) {
    const uint8_t* in = stored + row * columns * 2;
    uint8_t* out = bitmap + (rows - 1 - row) * alignedColumns * 3;
    for (size_t c = 0; c < columns; c += 2, in += 4) {
      const uint8_t cb = in[2];
      const uint8_t cr = in[3];
      for (size_t k = 0; k < 2; ++k) {
        uint8_t* pixel = out + 3 * (c + k);
        if (partial) {
          // The reduced ranges stretched to full ones on the way.
          const double y = 1.1644 * (in[k] - 16);
          pixel[0] = ClampToByte(y + 2.0172 * (cb - 128));
          pixel[1] = ClampToByte(y - 0.3918 * (cb - 128) - 0.8130 * (cr - 128));
          pixel[2] = ClampToByte(y + 1.5960 * (cr - 128));
        } else {
          const int y = in[k];
          pixel[0] = ClampToByte(y + t.blueFromCb[cb]);
          pixel[1] = ClampToByte(y + t.greenFromCb[cb] + t.greenFromCr[cr]);
          pixel[2] = ClampToByte(y + t.redFromCr[cr]);
        }
      }
    }
  }
  return true;
}

bool WideSamplesToBitmap(const uint8_t* stored, uint64_t storedLength, size_t columns, size_t rows,
                         size_t alignedColumns, WideSample kind, uint32_t bitsStored, uint32_t highBit,
                         int32_t width, int32_t center, bool windowFromFrame, uint8_t* bitmap) {
  const size_t size = WideSampleSize(kind);
  if (stored == nullptr || bitmap == nullptr || storedLength < uint64_t{columns} * rows * size) return false;
  const bool integer = kind == WideSample::Unsigned32 || kind == WideSample::Signed32;
  const uint32_t bits = integer && bitsStored > 0 && bitsStored <= 32 ? bitsStored : 32;
  const uint32_t shift = integer && highBit + 1 >= bits && highBit < 32 ? highBit + 1 - bits : 0;
  const uint64_t mask = (uint64_t{1} << bits) - 1;
  const auto sampleAt = [&](size_t index) { return ReadWide(stored + index * size, kind, shift, mask, bits); };

  if (windowFromFrame) {
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (size_t i = 0; i < columns * rows; ++i) {
      const double value = sampleAt(i);
      if (!std::isfinite(value)) continue;
      lowest = std::min(lowest, value);
      highest = std::max(highest, value);
    }
    // The frame's range mapped straight onto 0 … 255: lowest black,
    // highest white (a flat frame is black).
    const double span = highest > lowest ? highest - lowest : 0;
    for (size_t row = 0; row < rows; ++row) {
      uint8_t* out = bitmap + (rows - 1 - row) * alignedColumns;
      for (size_t c = 0; c < columns; ++c) {
        const double value = sampleAt(row * columns + c);
        out[c] = span == 0 || std::isnan(value) ? 0 : ClampToByte(255 * (value - lowest) / span);
      }
    }
    return true;
  }
  const DoubleWindow window(width, center);
  for (size_t row = 0; row < rows; ++row) {
    uint8_t* out = bitmap + (rows - 1 - row) * alignedColumns;
    for (size_t c = 0; c < columns; ++c) out[c] = window(sampleAt(row * columns + c));
  }
  return true;
}

}  // namespace quillon
