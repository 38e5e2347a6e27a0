/// \file
/// JpegSampleBuffer — where our JPEG decoders put an image: memory the
/// caller owns, one sample per element, in the order the caller asks for.
/// The decoders write every sample of the image and nothing past
/// width × height × components; they allocate no output of their own, so
/// the caller decides how much memory a frame may take.
#pragma once

#include "base/Result.h"
#include "jpeg/JpegFrameHeader.h"

#include <cstdint>

namespace quillon {

/// Order of the samples of a multi-component image.
enum class JpegSampleLayout : uint32_t {
  /// Pixel by pixel: the components of the first pixel, then of the next
  /// (DICOM Planar Configuration 0).
  Interleaved = 0,
  /// Plane by plane: every sample of the first component, then of the next
  /// (DICOM Planar Configuration 1).
  Planar = 1,
};

/// The output of one decode. Set exactly one of `words` and `bytes`.
struct JpegSampleBuffer {
  /// 16-bit samples, for any precision: the value as decoded, in the low
  /// bits (0 … 2^precision − 1).
  uint16_t* words = nullptr;
  /// 8-bit samples, only for images of at most 8 bits per sample.
  uint8_t* bytes = nullptr;
  /// Samples (not bytes) the buffer holds. A decoder refuses, before it
  /// allocates or writes anything, an image of more samples than this.
  uint64_t capacity = 0;
  JpegSampleLayout layout = JpegSampleLayout::Interleaved;
};

/// Checks, before a decoder writes anything, that `output` can take the
/// image of `frame`: one of its pointers set, 8-bit samples only for a
/// precision of at most 8 bits, and room for every sample. Failure (a
/// request error, not damaged data) naming what is wrong.
[[nodiscard]] Status CheckSampleBuffer(const JpegSampleBuffer& output, const JpegFrameHeader& frame);

}  // namespace quillon
