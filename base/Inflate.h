/// \file
/// Inflating raw deflate (no zlib or gzip wrapper) from a stream into
/// memory, for deflated data sets. The input is untrusted: the output
/// grows only with what the compressed bytes really produce, up to a
/// limit, so a small file cannot make the reader ask for gigabytes, and a
/// damaged or cut stream is an error that says where.
#pragma once

#include "base/Result.h"

#include <cstdint>
#include <vector>

namespace quillon {

class CStream;

/// Inflates from the position of `input` to the end of its deflate stream
/// (bytes after it are ignored: a pad byte) into `output`, which is
/// replaced. Malformed when the compressed bytes are damaged or end before
/// the stream does, or when the output would pass `maxOutput` bytes;
/// OutOfMemory when memory runs out; the input's own error when it fails.
Status InflateRaw(CStream& input, uint64_t maxOutput, std::vector<uint8_t>& output);

}  // namespace quillon
