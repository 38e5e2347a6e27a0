/// \file
/// Builds the colour-space tables once, at compile time. Entries are rounded
/// one by one and the chroma offset of 128 is added after rounding, so a
/// converted sample is a sum of rounded terms rather than the rounded exact
/// transform: white (255, 255, 255) becomes Cb 129 (−43 − 84 + 256), not
/// 128. Stored YBR frames depend on these exact entries.
#include "pixel/ColourTables.h"

namespace quillon {

namespace {

constexpr int16_t RoundHalfAway(double value) {
  // The cast truncates toward zero, so ±0.5 first gives half away from zero.
  if (value > 0) return static_cast<int16_t>(value + 0.5);
  if (value < 0) return static_cast<int16_t>(value - 0.5);
  return 0;
}

// Entry i = i × coefficient + offset. For these coefficients and i ≤ 255,
// double products, single-precision products and repeated single-precision
// additions of the coefficient all round to the same entries, so the choice
// of method cannot change a table.
constexpr ColourTable ForwardTable(double coefficient, int16_t offset = 0) {
  ColourTable table{};
  for (int i = 0; i < 256; ++i) {
    table[static_cast<unsigned>(i)] = static_cast<int16_t>(RoundHalfAway(i * coefficient) + offset);
  }
  return table;
}

// Entry i = (i − 128) × coefficient, the product formed in single precision
// (the float product is exactly representable in double, so rounding it
// there rounds the float value itself).
constexpr ColourTable InverseTable(float coefficient) {
  ColourTable table{};
  for (int i = 0; i < 256; ++i) {
    const float product = static_cast<float>(i - 128) * coefficient;
    table[static_cast<unsigned>(i)] = RoundHalfAway(static_cast<double>(product));
  }
  return table;
}

constexpr ColourTables BuildColourTables() {
  ColourTables tables{};
  tables.yFromRed = ForwardTable(0.299);
  tables.yFromGreen = ForwardTable(0.587);
  tables.yFromBlue = ForwardTable(0.114);
  tables.cbFromRed = ForwardTable(-0.1687);
  tables.cbFromGreen = ForwardTable(-0.3313);
  tables.cbFromBlue = ForwardTable(0.5, 128);
  tables.crFromRed = ForwardTable(0.5, 128);
  tables.crFromGreen = ForwardTable(-0.4187);
  tables.crFromBlue = ForwardTable(-0.0813);
  tables.redFromCr = InverseTable(1.402f);
  tables.greenFromCb = InverseTable(-0.344f);
  tables.greenFromCr = InverseTable(-0.714f);
  tables.blueFromCb = InverseTable(1.772f);
  return tables;
}

// Constant-initialised: there is no first-use race and nothing to build at
// run time.
constexpr ColourTables kColourTables = BuildColourTables();

static_assert(kColourTables.yFromRed[255] + kColourTables.yFromGreen[255] + kColourTables.yFromBlue[255] == 255);
static_assert(kColourTables.cbFromBlue[255] == 256 && kColourTables.crFromRed[255] == 256);

}  // namespace

const ColourTables& GetColourTables() { return kColourTables; }

}  // namespace quillon
