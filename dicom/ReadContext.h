/// \file
/// State shared by every level of one read, owned by the reader (never by
/// the data set it fills): the warnings about damage the reader worked
/// around, the limits that keep an untrusted file from driving the reader
/// into unbounded recursion, and what it learnt of the stream on the way.
#pragma once

#include "dicom/DicomTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

/// "(GGGG,EEEE) at offset N: ", the place a read message names.
std::string DescribePlace(DicomTag tag, uint64_t offset);

class CReadContext {
 public:
  /// Deepest nesting of sequences accepted; real files stay far below.
  static constexpr int kMaxNestingDepth = 128;
  /// Warnings kept per read. A damaged file can repeat the same flaw in
  /// every element; past this many, only a count of the rest is kept.
  static constexpr size_t kMaxWarnings = 50;

  /// Records something the reader did not expect and worked around (the
  /// read goes on), with the tag and offset it concerns.
  void Warn(DicomTag tag, uint64_t offset, const std::string& what);
  /// Records a warning that is not about one element.
  void Warn(const std::string& what);

  /// The warnings in the order they arose; the last one counts those that
  /// were dropped when there were more than kMaxWarnings.
  const std::vector<std::string>& GetWarnings() const { return m_warnings; }
  void Reset() {
    m_warnings.clear();
    m_droppedWarnings = 0;
    m_nonZeroByteAt = kNoOffset;
  }

  /// The offset of a byte known not to be zero, found while checking for
  /// zero padding at the end of the file, or kNoOffset. A run of zeros in
  /// the middle of a file is then scanned once, not once per element.
  static constexpr uint64_t kNoOffset = UINT64_MAX;
  uint64_t NonZeroByteAt() const { return m_nonZeroByteAt; }
  void SetNonZeroByteAt(uint64_t offset) { m_nonZeroByteAt = offset; }

 private:
  std::vector<std::string> m_warnings;
  size_t m_droppedWarnings = 0;
  uint64_t m_nonZeroByteAt = kNoOffset;
};

}  // namespace quillon
