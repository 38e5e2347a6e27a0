// A photograph-like test image and the quality figure of the lossy-codec
// tests: smooth gradients and a soft blob with a fine texture and a little
// noise, so the coder meets every frequency band as it does on real images.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace quillon::test {

/// Rows of `width` × `channels` + `padding` bytes; padding bytes hold `padByte`.
inline std::vector<uint8_t> NaturalImage(uint32_t width, uint32_t height, uint32_t channels, uint32_t padding = 0,
                                         uint8_t padByte = 0xA5, uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> noise(-3, 3);
  const size_t pitch = size_t{width} * channels + padding;
  std::vector<uint8_t> image(pitch * height, padByte);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width;
      const double v = static_cast<double>(y) / height;
      const double texture = 10.0 * std::sin(x * 0.9) * std::sin(y * 0.7);
      const double blob = 50.0 * std::exp(-((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4)) * 8.0);
      for (uint32_t c = 0; c < channels; ++c) {
        const double level = 40.0 + 120.0 * u + 40.0 * v * (c + 1) / channels + blob * (c == 1 ? 0.5 : 1.0) +
                             texture + noise(random);
        image[y * pitch + size_t{x} * channels + c] = static_cast<uint8_t>(std::clamp(level, 0.0, 255.0));
      }
    }
  }
  return image;
}

/// Peak signal-to-noise ratio of two 8-bit images of `rows` rows of
/// `rowBytes` sample bytes, `pitch` bytes apart (row padding left out).
/// 99 dB stands for identical images.
inline double Psnr8(const uint8_t* a, const uint8_t* b, size_t rowBytes, size_t rows, size_t pitch) {
  double squares = 0;
  for (size_t y = 0; y < rows; ++y) {
    for (size_t i = 0; i < rowBytes; ++i) squares += std::pow(a[y * pitch + i] - b[y * pitch + i], 2);
  }
  return squares == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(rowBytes * rows) / squares);
}

}  // namespace quillon::test
