/// \file
/// Comparing the pixel data of two files sample by sample: root-mean-square
/// difference, number of differing pixels and percentage of identity.
/// Compressed inputs are first decompressed into temporary files.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

class CDicomObject;

struct PixelComparison {
  /// True when the images could be compared; `message` is then the result,
  /// otherwise the reason they could not.
  bool compared = false;
  std::string message;
  double rms = 0;
  int64_t differentPixels = 0;
  double identity = 0;  ///< percent
};

/// Compares the pixels of `document` (whose frames are read from
/// `documentPath`) with those of the file `otherPath`.
PixelComparison ComparePixelData(const CDicomObject& document, const std::string& documentPath,
                                 const std::string& otherPath);

/// Reads `pathA` and compares it with `pathB`, as the command-line tool does.
PixelComparison ComparePixelFiles(const std::string& pathA, const std::string& pathB);

}  // namespace quillon
