/// \file
/// The lines of the text dump, one at a time, and the dump of a data set in
/// chunks. The element list of the editor shows the dump's own lines as its
/// rows, so it asks for them here line by line (without the CR LF line end)
/// instead of dumping a whole sequence to get its first line; and a dump of
/// a huge data set is handed to the caller piece by piece as it is made
/// instead of being held whole in memory.
#pragma once

#include "dicom/CharacterSet.h"

#include <functional>
#include <string>

namespace quillon {

class CDicomElement;
class CDicomObject;
class CSequenceItem;

/// Appends the dump line of `element` at indentation `level` (four spaces a
/// level): tag, length, name, VR and a short value, ending with one space.
/// A sequence gives its own line only. Text values are written as stored
/// when `charset` is null, else decoded from it into UTF-8 (the VRs that
/// hold the default repertoire only, from that), telling `notes` what the
/// decode met.
void AppendElementLine(std::string& out, const CDicomElement& element, int level,
                       const CCharacterSet* charset = nullptr, DecodeNotes* notes = nullptr);
/// Appends the line that opens `item`, an item at `level` (one deeper than
/// its sequence): "**** Item: length = 0x.. (..)".
void AppendItemLine(std::string& out, const CSequenceItem& item, int level);
/// Appends "---- End Item" at `level` (the item's own level).
void AppendEndItemLine(std::string& out, int level);
/// Appends "---- End Seq" at `level` (the sequence's level).
void AppendEndSequenceLine(std::string& out, int level);

/// Receives the text gathered so far; it must empty the string.
using DumpChunkSink = std::function<void(std::string& chunk)>;

/// How the text values of a chunked dump are written.
struct DumpTextMode {
  /// False: the stored bytes. True: UTF-8, each value decoded from the
  /// character set in force where it stands (the top level's own
  /// (0008,0005), or an item's).
  bool decode = false;
  /// Told what decoding met, when given.
  DecodeNotes* notes = nullptr;
};

/// Appends the dump of `object` at `level` to `buffer`, calling `sink`
/// whenever the buffer has grown past a few tens of kilobytes and once at
/// the end.
void DumpTextInChunks(const CDicomObject& object, int level, std::string& buffer, const DumpChunkSink& sink,
                      DumpTextMode mode = {});

}  // namespace quillon
