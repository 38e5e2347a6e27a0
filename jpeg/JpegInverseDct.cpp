/// \file
/// The islow inverse DCT: columns first into a work array, then rows. The
/// first pass keeps kPass1Bits extra fraction bits; 12-bit samples keep one
/// bit fewer than 8-bit ones so that the intermediate values stay in the
/// range libjpeg's 12-bit build works in (its results are what DICOM
/// viewers show for these files).
#include "jpeg/JpegInverseDct.h"

#include <cstddef>

namespace quillon {

namespace {

constexpr int kConstBits = 13;

// cos-based constants scaled by 2^13, as in the algorithm's usual form.
constexpr int64_t kFix0298631336 = 2446;
constexpr int64_t kFix0390180644 = 3196;
constexpr int64_t kFix0541196100 = 4433;
constexpr int64_t kFix0765366865 = 6270;
constexpr int64_t kFix0899976223 = 7373;
constexpr int64_t kFix1175875602 = 9633;
constexpr int64_t kFix1501321110 = 12299;
constexpr int64_t kFix1847759065 = 15137;
constexpr int64_t kFix1961570560 = 16069;
constexpr int64_t kFix2053119869 = 16819;
constexpr int64_t kFix2562915447 = 20995;
constexpr int64_t kFix3072711026 = 25172;

/// x / 2^n rounded, with an arithmetic shift (as libjpeg's DESCALE).
constexpr int64_t Descale(int64_t x, int n) { return (x + (int64_t{1} << (n - 1))) >> n; }

/// One 8-point inverse transform of in[0], in[stride] … in[7·stride]. The
/// even and odd parts give the outputs out[0 … 7], still scaled by 2^13
/// times the input scale.
struct Butterfly {
  int64_t out[8];

  explicit Butterfly(const int64_t* in, int stride) {
    // Even part.
    int64_t z2 = in[2 * stride];
    int64_t z3 = in[6 * stride];
    int64_t z1 = (z2 + z3) * kFix0541196100;
    const int64_t tmp2 = z1 + z3 * -kFix1847759065;
    const int64_t tmp3 = z1 + z2 * kFix0765366865;
    z2 = in[0];
    z3 = in[4 * stride];
    const int64_t tmp0 = (z2 + z3) * (int64_t{1} << kConstBits);
    const int64_t tmp1 = (z2 - z3) * (int64_t{1} << kConstBits);
    const int64_t tmp10 = tmp0 + tmp3;
    const int64_t tmp13 = tmp0 - tmp3;
    const int64_t tmp11 = tmp1 + tmp2;
    const int64_t tmp12 = tmp1 - tmp2;

    // Odd part.
    int64_t o0 = in[7 * stride];
    int64_t o1 = in[5 * stride];
    int64_t o2 = in[3 * stride];
    int64_t o3 = in[1 * stride];
    z1 = o0 + o3;
    z2 = o1 + o2;
    z3 = o0 + o2;
    int64_t z4 = o1 + o3;
    const int64_t z5 = (z3 + z4) * kFix1175875602;
    o0 *= kFix0298631336;
    o1 *= kFix2053119869;
    o2 *= kFix3072711026;
    o3 *= kFix1501321110;
    z1 *= -kFix0899976223;
    z2 *= -kFix2562915447;
    z3 = z3 * -kFix1961570560 + z5;
    z4 = z4 * -kFix0390180644 + z5;
    o0 += z1 + z3;
    o1 += z2 + z4;
    o2 += z2 + z3;
    o3 += z1 + z4;

    out[0] = tmp10 + o3;
    out[7] = tmp10 - o3;
    out[1] = tmp11 + o2;
    out[6] = tmp11 - o2;
    out[2] = tmp12 + o1;
    out[5] = tmp12 - o1;
    out[3] = tmp13 + o0;
    out[4] = tmp13 - o0;
  }
};

template <int kPass1Bits>
void TransformAt(const std::array<int16_t, 64>& coefficients, const std::array<uint16_t, 64>& quant, int64_t center,
                 int64_t maximum, std::array<uint16_t, 64>& samples) {
  int64_t dequantised[64];
  for (size_t i = 0; i < 64; ++i) dequantised[i] = int64_t{coefficients[i]} * quant[i];

  // Pass 1: columns. A column without AC terms is its scaled DC term.
  int64_t work[64];
  for (int column = 0; column < 8; ++column) {
    const int64_t* in = dequantised + column;
    bool acZero = true;
    for (int row = 1; row < 8; ++row) acZero = acZero && in[row * 8] == 0;
    if (acZero) {
      const int64_t dc = in[0] * (int64_t{1} << kPass1Bits);
      for (int row = 0; row < 8; ++row) work[row * 8 + column] = dc;
      continue;
    }
    const Butterfly b(in, 8);
    for (int row = 0; row < 8; ++row) work[row * 8 + column] = Descale(b.out[row], kConstBits - kPass1Bits);
  }

  // Pass 2: rows, with the level shift and the clamp.
  const auto put = [&](int index, int64_t value) {
    value += center;
    samples[static_cast<size_t>(index)] = static_cast<uint16_t>(value < 0 ? 0 : value > maximum ? maximum : value);
  };
  for (int row = 0; row < 8; ++row) {
    const int64_t* in = work + row * 8;
    bool acZero = true;
    for (int column = 1; column < 8; ++column) acZero = acZero && in[column] == 0;
    if (acZero) {
      const int64_t dc = Descale(in[0], kPass1Bits + 3);
      for (int column = 0; column < 8; ++column) put(row * 8 + column, dc);
      continue;
    }
    const Butterfly b(in, 1);
    for (int column = 0; column < 8; ++column) {
      put(row * 8 + column, Descale(b.out[column], kConstBits + kPass1Bits + 3));
    }
  }
}

}  // namespace

uint16_t CJpegInverseDct::FlatBlockSample(int16_t dc, uint16_t quant, uint32_t precision) {
  // Both passes reduce to the dequantised DC term divided by 8, rounded
  // the way the passes' shortcuts round it.
  const int64_t maximum = (int64_t{1} << precision) - 1;
  const int64_t value = Descale(int64_t{dc} * quant, 3) + (int64_t{1} << (precision - 1));
  return static_cast<uint16_t>(value < 0 ? 0 : value > maximum ? maximum : value);
}

void CJpegInverseDct::Transform(const std::array<int16_t, 64>& coefficients, const std::array<uint16_t, 64>& quant,
                                uint32_t precision, std::array<uint16_t, 64>& samples) {
  const int64_t center = int64_t{1} << (precision - 1);
  const int64_t maximum = (int64_t{1} << precision) - 1;
  if (precision > 8) {
    TransformAt<1>(coefficients, quant, center, maximum, samples);
  } else {
    TransformAt<2>(coefficients, quant, center, maximum, samples);
  }
}

}  // namespace quillon
