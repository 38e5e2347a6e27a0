/// \file
/// CDeflateStream — a write-only stream that compresses what is written to
/// it with raw deflate (no zlib or gzip wrapper) into another stream: the
/// encoding of a deflated data set, which follows the file meta
/// information uncompressed.
#pragma once

#include "base/Stream.h"

#include <memory>

namespace quillon {

class CDeflateStream final : public CStream {
 public:
  /// Compresses into `target`, borrowed until Close or Abort; the target
  /// is neither flushed nor closed here.
  explicit CDeflateStream(CStream& target);
  ~CDeflateStream() override;

  /// Reading is not possible: fails the stream.
  uint64_t Read(void* buffer, uint64_t count) override;
  void Write(const void* data, uint64_t count) override;
  /// Only a seek to where the stream already is succeeds: what was written
  /// is compressed and cannot be gone back to.
  uint64_t Seek(int64_t offset, SeekOrigin origin) override;
  /// Uncompressed bytes written so far.
  uint64_t GetPosition() const override { return m_written; }
  uint64_t GetLength() const override { return m_written; }
  std::string GetFilePath() const override { return m_target.GetFilePath(); }
  /// Nothing to push before the end: the compressor keeps its window.
  Status Flush() override { return State(); }
  /// Ends the compressed stream and writes its last bytes to the target;
  /// the state, the target's failure included.
  Status Close() override;
  void Abort() noexcept override;

 private:
  struct Compressor;
  /// Runs the compressor over the input given to it, with `flush`, and
  /// writes what it produces to the target.
  void Pump(int flush);

  CStream& m_target;
  std::unique_ptr<Compressor> m_compressor;
  uint64_t m_written = 0;
  bool m_finished = false;
};

}  // namespace quillon
