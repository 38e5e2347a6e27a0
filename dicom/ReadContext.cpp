#include "dicom/ReadContext.h"

#include <cstdio>

namespace quillon {

void CReadContext::Fail(DicomTag tag, uint64_t offset, const std::string& what) {
  if (HasError()) return;
  char where[64];
  std::snprintf(where, sizeof where, "(%04X,%04X) at offset %llu: ", TagGroup(tag), TagElement(tag),
                static_cast<unsigned long long>(offset));
  m_error = where + what;
}

void CReadContext::Fail(const std::string& what) {
  if (!HasError()) m_error = what;
}

}  // namespace quillon
