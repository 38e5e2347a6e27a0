/// \file
/// The byte stream the reader and writer work on. Two implementations: a
/// buffered file (CFileStream) and a growable in-memory buffer
/// (CMemoryStream). Positions and lengths are 64-bit so files over 4 GiB do
/// not wrap.
///
/// An I/O error is not thrown: the first one becomes the stream's state
/// (State()), after which reads deliver nothing and writes are dropped. A
/// writer can thus go on to its end and look once, and a reader that meets
/// a short read asks the stream whether the file ended or the disk failed.
/// A short read at the end of the stream is not an error.
#pragma once

#include "base/Result.h"

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
  /// fewer than asked only at the end of the stream or once it has failed.
  virtual uint64_t Read(void* buffer, uint64_t count) = 0;
  /// Writes all `count` bytes, or fails the stream.
  virtual void Write(const void* data, uint64_t count) = 0;
  /// Moves the position and returns the new one. Seeking before the start
  /// fails the stream and leaves the position; seeking past the end is
  /// allowed (a later write fills the gap).
  virtual uint64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual uint64_t GetPosition() const = 0;
  virtual uint64_t GetLength() const = 0;
  /// The path of the file behind the stream; empty for memory streams.
  virtual std::string GetFilePath() const = 0;
  /// Pushes buffered writes to the operating system; the stream's state.
  virtual Status Flush() = 0;
  /// Flushes and closes; the stream's state, which says whether everything
  /// written reached the operating system.
  virtual Status Close() = 0;
  /// Closes without writing what is still buffered, for a stream whose
  /// content is to be thrown away.
  virtual void Abort() noexcept = 0;

  /// The first failure of the stream, or success.
  const Status& State() const { return m_state; }
  bool HasFailed() const { return !m_state; }

  /// Convenience: true when exactly `count` bytes could be read.
  bool ReadExact(void* buffer, uint64_t count) { return Read(buffer, count) == count; }
  /// Bytes between the position and the end (0 when past the end).
  uint64_t Remaining() const {
    const uint64_t length = GetLength();
    const uint64_t position = GetPosition();
    return position < length ? length - position : 0;
  }

 protected:
  /// Records `error` as the stream's failure, unless it failed before: the
  /// first failure is the one that explains the rest.
  void Fail(Error error) {
    if (m_state) m_state = std::move(error);
  }
  /// A stream opened anew starts without failure.
  void ResetState() { m_state = Ok(); }

 private:
  Status m_state;
};

}  // namespace quillon
