// Image quality figures shared by the lossy-codec tests.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace quillon::test {

/// Peak signal-to-noise ratio of two 8-bit images of the same layout:
/// `rows` rows of `rowBytes` sample bytes each, `pitch` bytes apart (bytes
/// between the end of a row and the next, padding, are left out). 99 dB
/// stands for identical images.
inline double Psnr8(const uint8_t* a, const uint8_t* b, size_t rowBytes, size_t rows, size_t pitch) {
  double squares = 0;
  for (size_t y = 0; y < rows; ++y) {
    for (size_t i = 0; i < rowBytes; ++i) {
      const double d = static_cast<double>(a[y * pitch + i]) - static_cast<double>(b[y * pitch + i]);
      squares += d * d;
    }
  }
  const double mse = squares / static_cast<double>(rowBytes * rows);
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace quillon::test
