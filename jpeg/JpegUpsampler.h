/// \file
/// CJpegUpsampler — brings a subsampled component of a DCT image to the
/// full image size. Halved components are interpolated as libjpeg does by
/// default ("fancy" upsampling: each output sample weighs its nearer input
/// 3/4 and the further one 1/4, in each halved direction), because DCMTK
/// and the other DICOM toolkits built on libjpeg show these images so;
/// components halved only vertically, or too narrow to interpolate, have
/// their samples repeated, as libjpeg 6b (DCMTK's) does.
///
/// JpegComponentTarget, where the samples of one component go in a
/// decoder's output buffer, is shared by the upsampler and the decoder.
#pragma once

#include "base/Result.h"

#include <cstddef>
#include <cstdint>

namespace quillon {

/// The samples of one component in a JpegSampleBuffer (or in a plane of
/// the decoder's own): exactly one of `words` and `bytes` is set.
struct JpegComponentTarget {
  uint16_t* words = nullptr;
  uint8_t* bytes = nullptr;
  size_t step = 1;       ///< elements from one sample to the next on a line
  size_t rowStride = 0;  ///< elements from one line to the next
  uint32_t width = 0;
  uint32_t height = 0;

  void Put(size_t x, size_t y, uint32_t value) const {
    const size_t at = y * rowStride + x * step;
    if (words != nullptr) {
      words[at] = static_cast<uint16_t>(value);
    } else {
      bytes[at] = static_cast<uint8_t>(value);
    }
  }
};

class CJpegUpsampler {
 public:
  /// Writes the `planeWidth` × `planeHeight` samples of `plane` (row after
  /// row), enlarged by `horizontalFactor` and `verticalFactor` (1 or 2
  /// each), into `target`, cropped to its width and height. OutOfMemory
  /// when a line buffer cannot be had.
  [[nodiscard]] static Status Upsample(const uint16_t* plane, uint32_t planeWidth, uint32_t planeHeight,
                                       uint32_t horizontalFactor, uint32_t verticalFactor,
                                       const JpegComponentTarget& target);
};

}  // namespace quillon
