#include "base/Inflate.h"

#include "base/Stream.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <string>

namespace quillon {

namespace {

/// Ends the decompressor whatever way InflateRaw leaves.
struct Decompressor {
  z_stream stream{};
  bool ready = false;
  ~Decompressor() {
    if (ready) inflateEnd(&stream);
  }
};

}  // namespace

Status InflateRaw(CStream& input, uint64_t maxOutput, std::vector<uint8_t>& output) {
  output.clear();
  const uint64_t start = input.GetPosition();
  Decompressor decompressor;
  z_stream& stream = decompressor.stream;
  if (inflateInit2(&stream, -15) != Z_OK) return Error(ErrorCode::OutOfMemory, "the decompressor could not be set up");
  decompressor.ready = true;

  uint8_t in[65536];
  uint64_t consumed = 0;
  uint64_t produced = 0;
  const auto where = [&] { return " (compressed byte " + std::to_string(consumed - stream.avail_in) + ")"; };
  try {
    for (;;) {
      if (stream.avail_in == 0) {
        const uint64_t got = input.Read(in, sizeof in);
        if (input.HasFailed()) return input.State();
        if (got == 0) {
          return Error(ErrorCode::Malformed, "the deflated data set ends before its compressed stream does, after " +
                                                 std::to_string(produced) + " bytes inflated");
        }
        stream.next_in = in;
        stream.avail_in = static_cast<uInt>(got);
        consumed += got;
      }
      // Output grows in steps as it is produced, never by a size the input
      // announces: deflate announces none, and a damaged file must not
      // choose the allocation.
      if (produced == output.size()) {
        if (produced >= maxOutput) {
          return Error(ErrorCode::Malformed, "the deflated data set inflates to more than " +
                                                 std::to_string(maxOutput) + " bytes, which is not read");
        }
        const uint64_t grown = std::min<uint64_t>(maxOutput, std::max<uint64_t>(65536, produced * 2));
        output.resize(grown);
      }
      stream.next_out = output.data() + produced;
      const uint64_t room = output.size() - produced;
      stream.avail_out = static_cast<uInt>(std::min<uint64_t>(room, UINT32_MAX));
      const uInt before = stream.avail_out;
      const int result = inflate(&stream, Z_NO_FLUSH);
      produced += before - stream.avail_out;
      if (result == Z_STREAM_END) break;
      if (result == Z_DATA_ERROR || result == Z_NEED_DICT) {
        return Error(ErrorCode::Malformed, std::string("the deflated data set is damaged: ") +
                                               (stream.msg != nullptr ? stream.msg : "invalid compressed data") +
                                               where());
      }
      if (result == Z_MEM_ERROR) return Error(ErrorCode::OutOfMemory, "no memory to inflate the data set");
    }
  } catch (const std::bad_alloc&) {
    output.clear();
    return Error(ErrorCode::OutOfMemory, "no memory to inflate the data set");
  }
  output.resize(produced);
  // Leave the input just past the compressed stream.
  input.Seek(static_cast<int64_t>(start + consumed - stream.avail_in), CStream::SeekOrigin::Begin);
  return Ok();
}

}  // namespace quillon
