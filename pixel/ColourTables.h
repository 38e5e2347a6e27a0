/// \file
/// The integer colour-space tables shared by every pixel codec: RGB → YBR_FULL
/// and YBR_FULL → RGB as sums of table entries, so converting a pixel costs
/// a few look-ups and additions and no floating point. The tables are
/// computed at compile time and are read-only, so every thread may use them
/// without locking.
#pragma once

#include <array>
#include <cstdint>

namespace quillon {

/// One entry per 8-bit sample value.
using ColourTable = std::array<int16_t, 256>;

/// Each entry is the sample value times a coefficient, rounded half away
/// from zero. An output sample is the sum of its three (or two) entries,
/// clamped by the caller to 0 … 255.
struct ColourTables {
  // RGB → YBR_FULL, indexed by the red, green and blue samples.
  ColourTable yFromRed;     ///< × 0.299
  ColourTable yFromGreen;   ///< × 0.587
  ColourTable yFromBlue;    ///< × 0.114
  ColourTable cbFromRed;    ///< × −0.1687
  ColourTable cbFromGreen;  ///< × −0.3313
  ColourTable cbFromBlue;   ///< × 0.5, plus 128 (the chroma offset)
  ColourTable crFromRed;    ///< × 0.5, plus 128 (the chroma offset)
  ColourTable crFromGreen;  ///< × −0.4187
  ColourTable crFromBlue;   ///< × −0.0813

  // YBR_FULL → RGB, indexed by the Cb or Cr sample; the entry is
  // (sample − 128) × coefficient in single precision, then rounded. Y adds
  // in unchanged, so it has no table.
  ColourTable redFromCr;    ///< × 1.402
  ColourTable greenFromCb;  ///< × −0.344
  ColourTable greenFromCr;  ///< × −0.714
  ColourTable blueFromCb;   ///< × 1.772
};

/// The process-wide tables.
const ColourTables& GetColourTables();

}  // namespace quillon
