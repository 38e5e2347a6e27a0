/// \file
/// The byte stream the reader and writer work on. Two implementations: a
/// buffered file (CFileStream) and a growable in-memory buffer
/// (CMemoryStream). Positions and lengths are 64-bit so files over 4 GiB do
/// not wrap. I/O errors are thrown as CFileException; a short read at the end
/// of the stream is not an error.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

class CStream {
 public:
  enum class SeekOrigin { Begin, Current, End };

  CStream() = default;
  CStream(const CStream&) = delete;
  CStream& operator=(const CStream&) = delete;
  virtual ~CStream() = default;

  /// Reads up to `count` bytes into `buffer` and returns how many were read:
  /// fewer than asked only at the end of the stream.
  virtual uint64_t Read(void* buffer, uint64_t count) = 0;
  /// Writes all `count` bytes or throws.
  virtual void Write(const void* data, uint64_t count) = 0;
  /// Moves the position and returns the new one. Seeking before the start
  /// throws; seeking past the end is allowed (a later write fills the gap).
  virtual uint64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual uint64_t GetPosition() const = 0;
  virtual uint64_t GetLength() const = 0;
  /// The path of the file behind the stream; empty for memory streams.
  virtual std::string GetFilePath() const = 0;
  /// Pushes buffered writes to the operating system.
  virtual void Flush() = 0;
  /// Flushes and closes; throws when pending data cannot be written.
  virtual void Close() = 0;
  /// Closes without reporting errors, for use while another error unwinds.
  virtual void Abort() noexcept = 0;

  /// Convenience: true when exactly `count` bytes could be read.
  bool ReadExact(void* buffer, uint64_t count) { return Read(buffer, count) == count; }
  /// Bytes between the position and the end (0 when past the end).
  uint64_t Remaining() const {
    const uint64_t length = GetLength();
    const uint64_t position = GetPosition();
    return position < length ? length - position : 0;
  }
};

}  // namespace quillon
