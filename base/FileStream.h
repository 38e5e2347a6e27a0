/// \file
/// A buffered file stream over a POSIX descriptor. Reading and writing go
/// through one 64 KiB buffer so that the reader's many small header reads do
/// not each cost a system call; reads larger than the buffer (pixel data) go
/// straight into the caller's memory.
#pragma once

#include "base/Stream.h"

#include <memory>
#include <string>

namespace quillon {

class CFileStream final : public CStream {
 public:
  enum class OpenMode {
    Read,       ///< existing file, read only (others may read and write it)
    Create,     ///< new or truncated file, read and write
    ReadWrite,  ///< existing file, read and write
    CreateNew,  ///< a file that must not exist yet, read and write
  };

  CFileStream() = default;
  ~CFileStream() override;

  /// Opens `path`; false (with LastOsError set) when it cannot be opened.
  /// Never throws.
  [[nodiscard]] bool Open(const std::string& path, OpenMode mode);
  /// Takes over `fd`, a descriptor opened for reading and writing elsewhere
  /// (an unnamed temporary file has no path to open), named `path` in error
  /// messages. False (with LastOsError set, and `fd` closed) when it is not
  /// an open file. Never throws.
  [[nodiscard]] bool Adopt(int fd, const std::string& path);
  bool IsOpen() const { return m_fd >= 0; }
  /// errno of the last failed Open.
  int LastOsError() const { return m_lastOsError; }

  uint64_t Read(void* buffer, uint64_t count) override;
  void Write(const void* data, uint64_t count) override;
  uint64_t Seek(int64_t offset, SeekOrigin origin) override;
  uint64_t GetPosition() const override { return m_bufferStart + m_bufferPos; }
  uint64_t GetLength() const override;
  std::string GetFilePath() const override { return m_path; }
  Status Flush() override;
  Status Close() override;
  void Abort() noexcept override;

  /// Flushes and asks the operating system to put the data on disk, so a
  /// following rename cannot expose a half-written file after a crash; the
  /// stream's state.
  Status Sync();
  /// For a file that will be synced: has the system start writing what
  /// this stream wrote, every few megabytes, while the caller goes on, so
  /// that Sync has only the last few to wait for.
  void StartWritebackEarly() { m_earlyWriteback = true; }

 private:
  static constexpr uint64_t kBufferSize = 64 * 1024;

  /// False, failing the stream, when it is closed or has failed already.
  bool Usable(const char* operation);
  /// Fails the stream with the system's reason for `operation`.
  void FailOs(const char* operation, int osError);
  void FlushWrites();
  void DropReadBuffer();
  /// The bytes read; fewer than asked at the end of the file or on failure.
  uint64_t PositionalRead(void* buffer, uint64_t count, uint64_t offset);
  /// False, failing the stream, when not all bytes could be written.
  bool PositionalWrite(const void* data, uint64_t count, uint64_t offset);
  /// Hands the bytes written since the last call to the system's writeback
  /// once they reach a few megabytes (StartWritebackEarly).
  void StartWriteback(uint64_t offset, uint64_t count);

  int m_fd = -1;
  int m_lastOsError = 0;
  std::string m_path;
  std::unique_ptr<uint8_t[]> m_buffer;
  uint64_t m_bufferStart = 0;  ///< file offset of m_buffer[0]
  uint64_t m_bufferPos = 0;    ///< cursor inside the buffer
  uint64_t m_bufferFill = 0;   ///< valid read bytes, or pending write bytes
  bool m_writing = false;      ///< the buffer holds pending writes
  /// File length as of the last open or write: the reader asks for the
  /// length several times per element, and a system call each time would
  /// cost more than the parsing.
  uint64_t m_length = 0;
  bool m_earlyWriteback = false;
  uint64_t m_writebackFrom = 0;  ///< first byte not yet handed to the system's writeback
  uint64_t m_writebackTo = 0;    ///< end of what was written from there on
};

}  // namespace quillon
