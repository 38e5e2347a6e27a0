#include "base/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace quillon {

namespace {
// pread/pwrite move at most this much per call on Linux.
constexpr uint64_t kMaxIoChunk = 0x7FFFF000;
}  // namespace

CFileStream::~CFileStream() { Abort(); }

bool CFileStream::Open(const std::string& path, OpenMode mode) {
  Abort();
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Read: flags |= O_RDONLY; break;
    case OpenMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
  }
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    m_lastOsError = errno;
    return false;
  }
  return Adopt(fd, path);
}

bool CFileStream::Adopt(int fd, const std::string& path) {
  Abort();
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    m_lastOsError = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd);
    return false;
  }
  m_fd = fd;
  ResetState();
  m_length = static_cast<uint64_t>(info.st_size);
  m_lastOsError = 0;
  m_path = path;
  m_buffer = std::make_unique_for_overwrite<uint8_t[]>(kBufferSize);
  m_bufferStart = m_bufferPos = m_bufferFill = 0;
  m_writing = false;
  return true;
}

bool CFileStream::Usable(const char* operation) {
  if (m_fd < 0) Fail(Error(ErrorCode::Io, std::string(operation) + " on a closed file"));
  return !HasFailed();
}

void CFileStream::FailOs(const char* operation, int osError) {
  Fail(Error(ErrorCode::Io, std::string(operation) + " failed on \"" + m_path + "\": " + std::strerror(osError)));
}

uint64_t CFileStream::PositionalRead(void* buffer, uint64_t count, uint64_t offset) {
  auto* out = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  while (done < count) {
    const uint64_t chunk = count - done < kMaxIoChunk ? count - done : kMaxIoChunk;
    const ssize_t n = ::pread(m_fd, out + done, chunk, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      FailOs("read", errno);
      break;
    }
    if (n == 0) break;
    done += static_cast<uint64_t>(n);
  }
  return done;
}

bool CFileStream::PositionalWrite(const void* data, uint64_t count, uint64_t offset) {
  const auto* in = static_cast<const uint8_t*>(data);
  uint64_t done = 0;
  while (done < count) {
    const uint64_t chunk = count - done < kMaxIoChunk ? count - done : kMaxIoChunk;
    const ssize_t n = ::pwrite(m_fd, in + done, chunk, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      FailOs("write", errno);
      return false;
    }
    done += static_cast<uint64_t>(n);
  }
  if (offset + count > m_length) m_length = offset + count;
  if (m_earlyWriteback) StartWriteback(offset, count);
  return true;
}

void CFileStream::StartWriteback(uint64_t offset, uint64_t count) {
  // Only a file written front to back benefits; a write elsewhere (a
  // length filled in at the start) is left to Sync.
  static constexpr uint64_t kWritebackStep = 8 << 20;
  if (offset != m_writebackTo) {
    if (offset > m_writebackTo) m_writebackFrom = m_writebackTo = offset;
    return;
  }
  m_writebackTo = offset + count;
  if (m_writebackTo - m_writebackFrom < kWritebackStep) return;
  // Asynchronous: it queues the pages for writing and returns. A failure
  // only means Sync does all the work.
  (void)::sync_file_range(m_fd, static_cast<off_t>(m_writebackFrom), static_cast<off_t>(m_writebackTo - m_writebackFrom),
                          SYNC_FILE_RANGE_WRITE);
  m_writebackFrom = m_writebackTo;
}

void CFileStream::FlushWrites() {
  if (!m_writing) return;
  const uint64_t pending = m_bufferFill;
  const uint64_t start = m_bufferStart;
  // Forget the pending bytes before writing so a failed write is not
  // retried by the destructor.
  m_bufferStart += m_bufferPos;
  m_bufferPos = m_bufferFill = 0;
  m_writing = false;
  (void)PositionalWrite(m_buffer.get(), pending, start);
}

void CFileStream::DropReadBuffer() {
  if (m_writing) return;
  m_bufferStart += m_bufferPos;
  m_bufferPos = m_bufferFill = 0;
}

uint64_t CFileStream::Read(void* buffer, uint64_t count) {
  if (!Usable("read")) return 0;
  if (m_writing) FlushWrites();
  auto* out = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  while (done < count) {
    if (m_bufferPos < m_bufferFill) {
      const uint64_t available = m_bufferFill - m_bufferPos;
      const uint64_t n = count - done < available ? count - done : available;
      std::memcpy(out + done, m_buffer.get() + m_bufferPos, n);
      m_bufferPos += n;
      done += n;
      continue;
    }
    DropReadBuffer();
    if (HasFailed()) break;
    if (count - done >= kBufferSize) {
      const uint64_t n = PositionalRead(out + done, count - done, m_bufferStart);
      m_bufferStart += n;
      done += n;
      break;
    }
    m_bufferFill = PositionalRead(m_buffer.get(), kBufferSize, m_bufferStart);
    if (m_bufferFill == 0) break;
  }
  return done;
}

void CFileStream::Write(const void* data, uint64_t count) {
  if (!Usable("write") || count == 0) return;
  if (!m_writing) {
    DropReadBuffer();
    m_writing = true;
  }
  const auto* in = static_cast<const uint8_t*>(data);
  if (m_bufferFill + count > kBufferSize) {
    FlushWrites();
    if (HasFailed()) return;
    if (count >= kBufferSize) {
      if (PositionalWrite(in, count, m_bufferStart)) m_bufferStart += count;
      return;
    }
    m_writing = true;
  }
  std::memcpy(m_buffer.get() + m_bufferPos, in, count);
  m_bufferPos += count;
  m_bufferFill = m_bufferPos;
}

uint64_t CFileStream::Seek(int64_t offset, SeekOrigin origin) {
  if (!Usable("seek")) return GetPosition();
  int64_t base = 0;
  if (origin == SeekOrigin::Current) base = static_cast<int64_t>(GetPosition());
  if (origin == SeekOrigin::End) base = static_cast<int64_t>(GetLength());
  if ((offset < 0 && base < -offset) ||
      (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset)) {
    Fail(Error(ErrorCode::Io, "seek outside the file \"" + m_path + "\""));
    return GetPosition();
  }
  const auto target = static_cast<uint64_t>(base + offset);
  if (m_writing) {
    FlushWrites();
  } else if (target >= m_bufferStart && target <= m_bufferStart + m_bufferFill) {
    m_bufferPos = target - m_bufferStart;
    return target;
  }
  m_bufferStart = target;
  m_bufferPos = m_bufferFill = 0;
  return target;
}

uint64_t CFileStream::GetLength() const {
  // A closed stream keeps the length it had.
  uint64_t length = m_length;
  if (m_writing && m_bufferStart + m_bufferFill > length) length = m_bufferStart + m_bufferFill;
  return length;
}

Status CFileStream::Flush() {
  if (Usable("flush")) FlushWrites();
  return State();
}

Status CFileStream::Sync() {
  if (Flush() && ::fsync(m_fd) != 0) FailOs("sync", errno);
  return State();
}

Status CFileStream::Close() {
  if (m_fd < 0) return State();
  if (!HasFailed()) FlushWrites();
  const int fd = m_fd;
  m_fd = -1;
  m_buffer.reset();
  m_bufferStart = m_bufferPos = m_bufferFill = 0;
  m_writing = false;
  if (::close(fd) != 0 && errno != EINTR) FailOs("close", errno);
  return State();
}

void CFileStream::Abort() noexcept {
  if (m_fd < 0) return;
  ::close(m_fd);
  m_fd = -1;
  m_buffer.reset();
  m_bufferStart = m_bufferPos = m_bufferFill = 0;
  m_writing = false;
}

}  // namespace quillon
