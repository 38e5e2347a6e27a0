#include "base/DeflateStream.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace quillon {

struct CDeflateStream::Compressor {
  z_stream stream{};
  bool ready = false;
  ~Compressor() {
    if (ready) deflateEnd(&stream);
  }
};

CDeflateStream::CDeflateStream(CStream& target) : m_target(target), m_compressor(std::make_unique<Compressor>()) {
  // windowBits -15: raw deflate, the form deflated data sets are stored in.
  if (deflateInit2(&m_compressor->stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    Fail(Error(ErrorCode::OutOfMemory, "the compressor could not be set up"));
    return;
  }
  m_compressor->ready = true;
}

CDeflateStream::~CDeflateStream() = default;

uint64_t CDeflateStream::Read(void* /*buffer*/, uint64_t /*count*/) {
  Fail(Error(ErrorCode::Io, "read from a compressing stream"));
  return 0;
}

void CDeflateStream::Pump(int flush) {
  z_stream& stream = m_compressor->stream;
  uint8_t chunk[65536];
  for (;;) {
    stream.next_out = chunk;
    stream.avail_out = sizeof chunk;
    const int result = deflate(&stream, flush);
    if (result == Z_STREAM_ERROR) {
      Fail(Error(ErrorCode::Failure, "the compressor failed"));
      return;
    }
    const uint64_t produced = sizeof chunk - stream.avail_out;
    if (produced > 0) m_target.Write(chunk, produced);
    if (m_target.HasFailed()) {
      Fail(m_target.State().GetError());
      return;
    }
    // Done when the input is used up and the output buffer was not filled
    // (more output may be pending when it was).
    if (flush == Z_FINISH ? result == Z_STREAM_END : stream.avail_in == 0 && stream.avail_out != 0) return;
  }
}

void CDeflateStream::Write(const void* data, uint64_t count) {
  if (m_finished) Fail(Error(ErrorCode::Io, "write to a closed stream"));
  if (HasFailed() || count == 0) return;
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (count > 0 && !HasFailed()) {
    const auto part = static_cast<uInt>(std::min<uint64_t>(count, std::numeric_limits<uInt>::max()));
    m_compressor->stream.next_in = const_cast<Bytef*>(bytes);  // zlib's input is not written to
    m_compressor->stream.avail_in = part;
    Pump(Z_NO_FLUSH);
    bytes += part;
    count -= part;
    m_written += part;
  }
}

uint64_t CDeflateStream::Seek(int64_t offset, SeekOrigin origin) {
  const bool inPlace = (origin == SeekOrigin::Begin && offset >= 0 && static_cast<uint64_t>(offset) == m_written) ||
                       (origin != SeekOrigin::Begin && offset == 0);
  if (!inPlace) Fail(Error(ErrorCode::Io, "seek in a compressing stream"));
  return m_written;
}

Status CDeflateStream::Close() {
  if (!m_finished && !HasFailed()) {
    m_compressor->stream.next_in = nullptr;
    m_compressor->stream.avail_in = 0;
    Pump(Z_FINISH);
  }
  m_finished = true;
  return State();
}

void CDeflateStream::Abort() noexcept { m_finished = true; }

}  // namespace quillon
