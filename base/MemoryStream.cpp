#include "base/MemoryStream.h"

#include <cstring>
#include <limits>

namespace quillon {

CMemoryStream::CMemoryStream(const void* data, uint64_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (bytes != nullptr) m_data.assign(bytes, bytes + size);
}

uint64_t CMemoryStream::Read(void* buffer, uint64_t count) {
  if (m_closed) Fail(Error(ErrorCode::Io, "read from a closed stream"));
  if (HasFailed()) return 0;
  if (m_position >= m_data.size() || count == 0) return 0;
  const uint64_t available = m_data.size() - m_position;
  const uint64_t n = count < available ? count : available;
  std::memcpy(buffer, m_data.data() + m_position, n);
  m_position += n;
  return n;
}

void CMemoryStream::Write(const void* data, uint64_t count) {
  if (m_closed) Fail(Error(ErrorCode::Io, "write to a closed stream"));
  if (HasFailed() || count == 0) return;
  if (count > std::numeric_limits<uint64_t>::max() - m_position || m_position + count > m_data.max_size()) {
    Fail(Error(ErrorCode::Io, "memory stream too large"));
    return;
  }
  const uint64_t end = m_position + count;
  if (end > m_data.size()) m_data.resize(end);
  std::memcpy(m_data.data() + m_position, data, count);
  m_position = end;
}

uint64_t CMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  if (HasFailed()) return m_position;
  int64_t base = 0;
  if (origin == SeekOrigin::Current) base = static_cast<int64_t>(m_position);
  if (origin == SeekOrigin::End) base = static_cast<int64_t>(m_data.size());
  if ((offset < 0 && base < -offset) ||
      (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset)) {
    Fail(Error(ErrorCode::Io, "seek outside the stream"));
    return m_position;
  }
  m_position = static_cast<uint64_t>(base + offset);
  return m_position;
}

}  // namespace quillon
