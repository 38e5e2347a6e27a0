/// \file
/// State shared by every level of one read: the first failure, said in
/// words with the tag and stream offset where it happened, and the limits
/// that keep an untrusted file from driving the reader into unbounded
/// recursion.
#pragma once

#include "dicom/DicomTypes.h"

#include <cstdint>
#include <string>

namespace quillon {

class CStream;

class CReadContext {
 public:
  /// Deepest nesting of sequences accepted; real files stay far below.
  static constexpr int kMaxNestingDepth = 128;

  /// Records why the read failed, unless a deeper level already did: the
  /// innermost reason is the useful one.
  void Fail(DicomTag tag, uint64_t offset, const std::string& what);
  /// Records a failure that is not about one element.
  void Fail(const std::string& what);

  bool HasError() const { return !m_error.empty(); }
  const std::string& GetError() const { return m_error; }
  void Reset() { m_error.clear(); }

 private:
  std::string m_error;
};

}  // namespace quillon
