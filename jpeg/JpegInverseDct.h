/// \file
/// CJpegInverseDct — the 8×8 inverse DCT of the sequential DCT processes,
/// with dequantisation, level shift and clamping, for 8- and 12-bit
/// samples. It is the integer algorithm of Loeffler, Ligtenberg and
/// Moschytz with 13-bit fixed-point constants that libjpeg calls "islow"
/// and makes its default; DCMTK decodes with libjpeg (8- and 12-bit builds)
/// and that default, so doing the same arithmetic gives the same samples,
/// not just samples within the rounding of an ideal transform.
/// The arithmetic is 64-bit, so no coefficient of damaged data can
/// overflow it.
#pragma once

#include <array>
#include <cstdint>

namespace quillon {

class CJpegInverseDct {
 public:
  /// Transforms `coefficients` (natural order, as decoded) dequantised by
  /// `quant` (natural order) into 64 samples in row order, level-shifted
  /// by 2^(precision−1) and clamped to 0 … 2^precision − 1. `precision`
  /// is 8 or 12.
  static void Transform(const std::array<int16_t, 64>& coefficients, const std::array<uint16_t, 64>& quant,
                        uint32_t precision, std::array<uint16_t, 64>& samples);
  /// The one sample value of a block whose only coefficient is its DC term
  /// `dc`: what Transform gives for every sample of such a block, without
  /// the transform (smooth regions are mostly such blocks).
  static uint16_t FlatBlockSample(int16_t dc, uint16_t quant, uint32_t precision);
};

}  // namespace quillon
