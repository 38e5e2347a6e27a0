/// \file
/// CDicomFileReader — reads a media file (preamble, "DICM", file meta
/// information, data set with its sequences and items) from a stream into a
/// data object. The input is untrusted: every length is checked against the
/// bytes left before anything is allocated, nesting is limited, and a
/// failure says which tag at which offset and why. What the reader met and
/// worked around is kept as warnings. All of that is the reader's own
/// state: the data object receives elements and nothing else.
///
/// Old systems wrote bare data sets, without preamble, "DICM" and meta
/// group: such a stream is read when its first elements parse in one of
/// the uncompressed encodings, with a warning. A file cut short fails, but
/// the reader says how many bytes are missing and, when asked, keeps what
/// it read (a user can then look at everything that is there).
#pragma once

#include "base/Result.h"
#include "dicom/DicomTypes.h"
#include "dicom/FilePreamble.h"
#include "dicom/ReadContext.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class CDicomObject;
class CDicomSequence;
class CSequenceItem;
class CStream;

struct ReadOptions {
  /// Step over the Pixel Data value of the data set and leave it in the
  /// stream, where frames are read on demand (its position is kept); the
  /// elements after it are read as usual. Fast on huge files.
  bool skipPixelData = false;
  /// Most bytes a deflated data set may inflate to. The compressed stream
  /// announces no size; this bound keeps a small damaged or hostile file
  /// from growing the reader's memory without end. The pixel value of a
  /// deflated data set is always read (it cannot be left in a compressed
  /// file).
  uint64_t maxInflatedSize = uint64_t{4} << 30;
};

/// What a read of a file cut short leaves in the object.
enum class OnCutShort {
  /// Nothing: the object is emptied.
  Discard,
  /// The elements read before the end (with the sequences and items they
  /// are in, and a Pixel Data value left in the file when that is what was
  /// cut), though the read still fails.
  KeepWhatWasRead,
};

class CDicomFileReader {
 public:
  explicit CDicomFileReader(CStream& stream, ReadOptions options = {}, OnCutShort onCutShort = OnCutShort::Discard);

  /// Reads a whole media file into `object`, which is emptied first:
  /// ReadMetaGroup, then ReadDataSet; a deflated data set is inflated
  /// first (within ReadOptions::maxInflatedSize) and read from memory.
  Status ReadFile(CDicomObject& object);
  /// Checks the preamble and "DICM", empties `object` and reads group 0002
  /// (explicit VR little endian, or implicit VR for elements whose VR bytes
  /// are no VR); sets the object's transfer mode and SOP Class UID from it.
  /// When (0002,0010) is missing or names one of the three uncompressed
  /// syntaxes, the first elements of the data set are walked in that
  /// encoding; when they stumble and walk further in another (implicit
  /// instead of explicit VR or the other way round, the other byte order),
  /// the data set is read in that one, with a warning, and (0002,0010) is
  /// set to name it. Under a compressed syntax an implicit VR data set is
  /// read as such, with a warning; the syntax stays, and ReadDataSet sets
  /// the object back to explicit VR so that it is saved as the syntax
  /// says.
  Status ReadMetaGroup(CDicomObject& object);
  /// Reads elements into `object`, in its transfer mode, until the end of
  /// the stream.
  Status ReadDataSet(CDicomObject& object);
  /// Inflates the rest of the stream and reads the data set from it.
  Status ReadDeflatedDataSet(CDicomObject& object);

  /// What the read met and worked around, one sentence each with the tag
  /// and offset where that applies: an encoding other than the one
  /// announced, no (0002,0010), a meta group in implicit VR, VR bytes that
  /// are no VR, an empty (0000,0000), zero padding at the end. Kept after a
  /// failed read too.
  const std::vector<std::string>& Warnings() const { return m_context.GetWarnings(); }
  /// The 128 bytes before "DICM" (zeros for a bare data set).
  const FilePreamble& Preamble() const { return m_preamble; }
  /// After a failed read: how many bytes the file lacks, when it failed
  /// because it ends too early (a value, item or header cut short); the
  /// bytes of what was being read, so "at least" when more would follow.
  std::optional<uint64_t> MissingBytes() const { return m_missingBytes; }

 private:
  /// What reading the next thing in a data set met.
  enum class Step {
    Element,       ///< an element, now stored
    End,           ///< the end of the stream
    ItemEnd,       ///< an item delimitation (FFFE,E00D)
    SequenceEnd,   ///< a sequence delimitation item (FFFE,E0DD)
  };

  /// Reads elements into `object` until the end of the stream, an item
  /// delimitation, or (unless UINT64_MAX) the stream position `limit`.
  /// `depth` is 0 for the top-level data set, the nesting depth of the
  /// sequence for an item.
  Status ReadElements(CDicomObject& object, uint64_t limit, int depth);
  /// Reads one element into `object`.
  Result<Step> ReadNextElement(CDicomObject& object, int depth);
  /// Reads the items of `sequence`, whose header was just read: up to its
  /// defined length, or to the sequence delimitation (or the end of the
  /// stream).
  Status ReadSequence(CDicomSequence& sequence, TransferMode mode, int depth);
  /// Reads one item (header and elements) in `mode`.
  Result<Step> ReadItem(CSequenceItem& item, TransferMode mode, int depth);
  /// A Malformed error about `tag` at `offset`; when the stream itself
  /// failed (a read error of the disk), that error instead, since the
  /// short read it caused is no fault of the file.
  Error Fail(DicomTag tag, uint64_t offset, const std::string& what) const;
  /// `read`, or the stream's error when the stream failed on the way.
  Status Finish(Status read) const;
  /// Reads the group 0002 elements from the stream position on.
  Status ReadMetaElements(CDicomObject& object);
  /// A stream without "DICM" after the preamble: read from its start as a
  /// bare data set when its first elements parse, else refused.
  Status StartBareDataSet(CDicomObject& object, uint64_t start, const uint8_t* prefix, uint64_t got);
  /// A Fail about a value, item or header that runs `missing` bytes past
  /// the end of the file: remembered for MissingBytes.
  Error Truncated(DicomTag tag, uint64_t offset, const std::string& what, uint64_t missing);
  /// The read failed because the file ends early and what was read is to
  /// be kept.
  bool KeepsPartial() const { return m_onCutShort == OnCutShort::KeepWhatWasRead && m_missingBytes.has_value(); }

  CStream& m_stream;
  ReadOptions m_options;
  OnCutShort m_onCutShort;
  CReadContext m_context;
  FilePreamble m_preamble{};
  std::optional<uint64_t> m_missingBytes;
};

}  // namespace quillon
