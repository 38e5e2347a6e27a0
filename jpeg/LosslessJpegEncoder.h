/// \file
/// CLosslessJpegEncoder — writes lossless JPEG images (ITU-T T.81 Annex H,
/// Huffman coding, SOF3) with the first-order predictor (selection value
/// 1): the form DICOM calls "JPEG Lossless, Non-Hierarchical, First-Order
/// Prediction" (1.2.840.10008.1.2.4.70), which every DICOM toolkit reads.
///
/// 2 … 16 bits per sample, 1 … 4 components interleaved in one scan, no
/// restart markers, no point transform. The Huffman table of each component
/// is made for the image (a first pass counts the difference categories, a
/// second writes the codes), so it costs no more than the image needs.
///
///   std::vector<uint8_t> jpeg;
///   Status done = CLosslessJpegEncoder::Encode(
///       {.samples = words, .width = 512, .height = 512, .components = 1, .precision = 12}, jpeg);
#pragma once

#include "base/Result.h"

#include <cstdint>
#include <vector>

namespace quillon {

/// The image to encode: samples pixel by pixel (the components of the
/// first pixel, then of the next), each below 2^precision.
struct LosslessJpegImage {
  const uint16_t* samples = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t components = 1;
  uint32_t precision = 8;
};

class CLosslessJpegEncoder {
 public:
  /// Encodes `image` into `out`, replacing its contents: SOI, SOF3, DHT,
  /// SOS, the coded samples, EOI. WrongKind, naming the field, for a size of
  /// 0 or above 65535, components outside 1 … 4, a precision outside 2 … 16
  /// or a sample at or above 2^precision; Failure without samples;
  /// OutOfMemory when the output cannot be had.
  [[nodiscard]] static Status Encode(const LosslessJpegImage& image, std::vector<uint8_t>& out);
};

}  // namespace quillon
