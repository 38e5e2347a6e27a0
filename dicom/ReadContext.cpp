#include "dicom/ReadContext.h"

#include <cstdio>

namespace quillon {

std::string DescribePlace(DicomTag tag, uint64_t offset) {
  char where[64];
  std::snprintf(where, sizeof where, "(%04X,%04X) at offset %llu: ", TagGroup(tag), TagElement(tag),
                static_cast<unsigned long long>(offset));
  return where;
}

void CReadContext::Warn(DicomTag tag, uint64_t offset, const std::string& what) {
  if (m_warnings.size() < kMaxWarnings) {
    Warn(DescribePlace(tag, offset) + what);
  } else {
    Warn(what);
  }
}

void CReadContext::Warn(const std::string& what) {
  if (m_warnings.size() < kMaxWarnings) {
    m_warnings.push_back(what);
    return;
  }
  // One line past the limit stands for every warning that was dropped.
  ++m_droppedWarnings;
  std::string more = "... and " + std::to_string(m_droppedWarnings) + " more warning" +
                     (m_droppedWarnings == 1 ? "" : "s");
  if (m_warnings.size() == kMaxWarnings) {
    m_warnings.push_back(std::move(more));
  } else {
    m_warnings.back() = std::move(more);
  }
}

}  // namespace quillon
