/// \file
/// The lines of the text dump, one at a time, and the dump of a data set in
/// chunks. The element list of the editor shows the dump's own lines as its
/// rows, so it asks for them here line by line (without the CR LF line end)
/// instead of dumping a whole sequence to get its first line; and a dump of
/// a huge data set is handed to the caller piece by piece as it is made
/// instead of being held whole in memory.
#pragma once

#include <functional>
#include <string>

namespace quillon {

class CDicomElement;
class CDicomObject;
class CSequenceItem;

/// Appends the dump line of `element` at indentation `level` (four spaces a
/// level): tag, length, name, VR and a short value, ending with one space.
/// A sequence gives its own line only.
void AppendElementLine(std::string& out, const CDicomElement& element, int level);
/// Appends the line that opens `item`, an item at `level` (one deeper than
/// its sequence): "**** Item: length = 0x.. (..)".
void AppendItemLine(std::string& out, const CSequenceItem& item, int level);
/// Appends "---- End Item" at `level` (the item's own level).
void AppendEndItemLine(std::string& out, int level);
/// Appends "---- End Seq" at `level` (the sequence's level).
void AppendEndSequenceLine(std::string& out, int level);

/// Receives the text gathered so far; it must empty the string.
using DumpChunkSink = std::function<void(std::string& chunk)>;

/// Appends the dump of `object` at `level` to `buffer`, calling `sink`
/// whenever the buffer has grown past a few tens of kilobytes and once at
/// the end.
void DumpTextInChunks(const CDicomObject& object, int level, std::string& buffer, const DumpChunkSink& sink);

}  // namespace quillon
