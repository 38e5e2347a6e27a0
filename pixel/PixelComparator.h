/// \file
/// Comparing the pixel data of two files sample by sample: root-mean-square
/// difference, number of differing pixels and percentage of identity.
/// Compressed inputs are first decompressed into temporary files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

class CDicomObject;

struct PixelComparison {
  /// True when the images could be compared; `message` is then the result,
  /// otherwise the reason they could not.
  bool compared = false;
  /// True when the progress callback stopped the comparison.
  bool cancelled = false;
  std::string message;
  double rms = 0;
  int64_t differentPixels = 0;
  /// The largest difference between two samples compared.
  int64_t largestDifference = 0;
  double identity = 0;  ///< percent
};

/// Called as the comparison advances with the steps done and the steps in
/// all (one step per frame compared, and per frame decompressed when an
/// input is compressed); returns whether to go on. It runs on the comparing
/// thread: an editor that compares on a worker thread polls its cancel flag
/// here.
using ComparisonProgress = std::function<bool(int64_t done, int64_t total)>;

/// The message of a comparison the progress callback stopped.
inline constexpr const char* kComparisonCancelled = "The comparison was cancelled";

/// Compares the pixels of `document` (whose frames are read from
/// `documentPath`) with those of the file `otherPath`. When `progress`
/// returns false the comparison stops, its temporary files are removed, and
/// the result is `cancelled` with kComparisonCancelled as message. Only the
/// image attributes of `document` are read, but on the calling thread: the
/// document must not change meanwhile.
PixelComparison ComparePixelData(const CDicomObject& document, const std::string& documentPath,
                                 const std::string& otherPath, const ComparisonProgress& progress = {});

/// Reads `pathA` and compares it with `pathB`, as the command-line tool does.
PixelComparison ComparePixelFiles(const std::string& pathA, const std::string& pathB,
                                  const ComparisonProgress& progress = {});

}  // namespace quillon
