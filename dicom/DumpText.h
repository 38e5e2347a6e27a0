/// \file
/// Dumping a data set in chunks: the same lines as DumpText, handed to the
/// caller piece by piece, so a dump of a huge data set is written out as it
/// is made instead of being held whole in memory.
#pragma once

#include <functional>
#include <string>

namespace quillon {

class CDicomObject;

/// Receives the text gathered so far; it must empty the string.
using DumpChunkSink = std::function<void(std::string& chunk)>;

/// Appends the dump of `object` at `level` to `buffer`, calling `sink`
/// whenever the buffer has grown past a few tens of kilobytes and once at
/// the end.
void DumpTextInChunks(const CDicomObject& object, int level, std::string& buffer, const DumpChunkSink& sink);

}  // namespace quillon
