/// \file
/// CDicomObject — a DATA SET: the elements of one file (with its source
/// path, transfer mode and SOP Class UID) or of one sequence item. It owns
/// its elements; every ordered use walks them in ascending tag order.
#pragma once

#include "dicom/DicomTypes.h"
#include "dicom/ElementMap.h"
#include "dicom/ElementRules.h"
#include "dicom/ReadContext.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillon {

class CDicomElement;
class CDicomSequence;
class CStream;

class CDicomObject {
 public:
  /// Number of Frames position before any write.
  static constexpr uint64_t kNoPosition = UINT64_MAX;

  CDicomObject() = default;
  CDicomObject(const CDicomObject&) = delete;
  CDicomObject& operator=(const CDicomObject&) = delete;
  virtual ~CDicomObject();

  /// Replaces this object's elements with clones of `source`'s and takes its
  /// transfer mode and Number of Frames position (not its SOP Class UID).
  /// A null source changes nothing. False at the first clone that fails.
  [[nodiscard]] virtual bool CopyFrom(const CDicomObject* source);

  /// Appends one dump line per element in ascending tag order (sequences
  /// with their items) at indentation `level`. Always Success.
  virtual DicomStatus DumpText(std::string& out, int level) const;

  // ---- Reading (untrusted input: every failure is a return value) ----

  /// Opens `path` read-only, reads it with ReadFromFile and closes it. File
  /// errors are caught here: false when the file cannot be opened or read,
  /// with the reason in GetLastReadError.
  [[nodiscard]] bool LoadFile(const std::string& path, bool skipPixelData);
  /// Reads a whole media file: preamble, "DICM", meta group, data set. With
  /// `skipPixelData` the Pixel Data value is stepped over and left in the
  /// stream (its position is kept); the elements after it are read. Items
  /// return false.
  [[nodiscard]] virtual bool ReadFromFile(CStream& stream, bool skipPixelData);
  /// Checks the preamble and "DICM", empties the object and reads group 0002
  /// (explicit VR little endian, or implicit VR for elements whose VR bytes
  /// are no VR); sets the transfer mode and SOP Class UID from it. When
  /// (0002,0010) is missing or names one of the three uncompressed
  /// syntaxes, the first elements of the data set are walked in that
  /// encoding; when they stumble and walk further in another (implicit
  /// instead of explicit VR or the other way round, the other byte order),
  /// the data set is read in that one, with a warning, and (0002,0010) is
  /// set to name it. A compressed syntax is trusted as it stands.
  [[nodiscard]] virtual bool ReadMetaGroup(CStream& stream);
  /// Reads elements until the end of the stream or an item delimitation.
  [[nodiscard]] virtual bool ReadDataSet(CStream& stream, bool skipPixelData);
  /// As ReadDataSet, but stops once `length` bytes have been consumed.
  [[nodiscard]] virtual bool ReadDataSetBounded(CStream& stream, uint64_t length, bool skipPixelData);
  /// Reads one element and stores it: Success, EndOfStream,
  /// kItemDelimitationMet or Failure.
  DicomStatus ReadNextElement(CStream& stream, bool skipPixelData);
  /// Why the last read failed (tag, offset and reason); empty after success.
  const std::string& GetLastReadError() const;
  /// What the last read met and worked around, one sentence each with the
  /// tag and offset where that applies: an encoding other than the one
  /// announced, no (0002,0010), a meta group in implicit VR, VR bytes that
  /// are no VR, an empty (0000,0000), zero padding at the end. Empty after
  /// a clean read; kept after a failed read too.
  const std::vector<std::string>& GetReadWarnings() const;

  // ---- Writing ----

  /// Writes preamble, "DICM" and every element (group 0002 in explicit VR
  /// little endian, the rest in the transfer mode). Items return false, and
  /// so does an object holding an element FindWriteProblem names: then
  /// nothing is written.
  [[nodiscard]] virtual bool WriteToFile(CStream& stream);
  /// As WriteToFile, but the data set stops before the first element whose
  /// tag is above `last`. With WriteDataSetFrom, lets a writer put a value
  /// it writes itself (pixel data appended frame by frame) in its place
  /// among the elements.
  [[nodiscard]] bool WriteToFileUpTo(CStream& stream, DicomTag last);
  /// Writes the data set elements (group 0002 excluded) whose tags are at
  /// least `first`, in the object's transfer mode, as WriteToFile does.
  [[nodiscard]] bool WriteDataSetFrom(CStream& stream, DicomTag first);
  /// 128 zero bytes and "DICM".
  [[nodiscard]] virtual bool WritePreamble(CStream& stream);
  /// Writes all elements in ascending tag order in `mode`, refreshing 4-byte
  /// group lengths and recording the Number of Frames position. The lengths
  /// of defined-length sequences and items are recorded as written, and
  /// items take `mode` as their transfer mode, so the object describes the
  /// stream it was saved to. False, writing nothing, when an element breaks
  /// CheckElementWriteRules.
  [[nodiscard]] bool WriteDataSet(CStream& stream, TransferMode mode);
  [[nodiscard]] bool WriteDataSet(CStream& stream) { return WriteDataSet(stream, m_transferMode); }
  /// Why this object cannot be written as a file that reads back: the
  /// first element, in tag order and at any depth, that breaks
  /// CheckElementWriteRules, named with its place and the reason; or a
  /// big endian data set starting with group 0200, which would read back as
  /// meta information. Empty when the object can be written.
  std::string FindWriteProblem() const;

  /// Empties the source path and destroys every element; transfer mode and
  /// SOP Class UID stay.
  void Clear();

  /// Appends every tag, then sorts the array; returns the number of tags.
  size_t GetSortedTags(TagArray& tags) const;
  /// Appends the tags whose group lies in [lowGroup, highGroup], ascending;
  /// returns how many were appended.
  size_t GetTagsInGroupRange(TagArray& tags, uint16_t lowGroup, uint16_t highGroup) const;
  bool Contains(DicomTag tag) const;
  size_t ElementCount() const { return m_elements.Size(); }
  /// The elements in ascending tag order.
  const CElementMap& Elements() const { return m_elements; }

  /// The element under `tag`: Success, NotPresent, or Failure for a null
  /// out pointer.
  DicomStatus GetElement(DicomTag tag, CDicomElement** element) const;
  /// As GetElement, WrongKind when the element is not a sequence.
  DicomStatus GetSequence(DicomTag tag, CDicomSequence** sequence) const;
  /// Element getters by tag: NotPresent when absent, else the element's result.
  DicomStatus GetString(DicomTag tag, std::string& value) const;
  DicomStatus GetUInt16(DicomTag tag, uint16_t& value) const;
  DicomStatus GetNumber(DicomTag tag, uint32_t& value) const;
  /// The element's own buffer and length.
  DicomStatus GetValue(DicomTag tag, uint32_t& length, const uint8_t** value) const;

  /// Destroys the element under `tag`; NotPresent when absent.
  DicomStatus RemoveElement(DicomTag tag);
  /// Removes the element under `tag` and hands it to the caller.
  std::unique_ptr<CDicomElement> TakeElement(DicomTag tag);
  /// Stores `element` exactly as given, replacing any element with its tag,
  /// without AddElement's checks, conversions and side effects: an undo
  /// puts back what was there before, as it was.
  void RestoreElement(std::unique_ptr<CDicomElement> element) { m_elements.Insert(std::move(element)); }
  /// Exchanges every element of this object with those of `elements`
  /// (nothing else changes): the whole content is taken out or put back in
  /// one step.
  void SwapElements(CElementMap& elements) { std::swap(m_elements, elements); }

  /// Stores `element`, replacing any element with its tag. (0002,0002) also
  /// sets the SOP Class UID, (0002,0010) the transfer mode. Failure for null
  /// and for an element CheckElementRules refuses here (a sequence is
  /// checked with all its items); the object is then unchanged.
  DicomStatus AddElement(std::unique_ptr<CDicomElement> element);
  /// Builds an element from a copy of `bytes` and adds it. VR 0 takes the
  /// dictionary's VR for this object; SQ fails (use AddSequence), and so
  /// does what CheckElementRules refuses (for example bytes missing for a
  /// length above 0).
  DicomStatus AddValue(DicomTag tag, DicomVR vr, const void* bytes, uint32_t length);
  DicomStatus AddUInt16(DicomTag tag, DicomVR vr, uint16_t value);
  DicomStatus AddUInt32(DicomTag tag, DicomVR vr, uint32_t value);
  DicomStatus AddDouble(DicomTag tag, DicomVR vr, double value);
  /// Adds a text value; a null text gives an element without value.
  DicomStatus AddString(DicomTag tag, DicomVR vr, const char* text);
  DicomStatus AddString(DicomTag tag, DicomVR vr, const std::string& text);
  /// Adds a sequence and hands it this object's SOP Class UID; Failure
  /// unless its VR is SQ.
  DicomStatus AddSequence(std::unique_ptr<CDicomSequence> sequence);
  /// Replaces this object's element under `tag` with a clone of `source`'s.
  /// Failure when the source lacks it, the clone fails, or the element may
  /// not be stored here (CheckElementRules).
  DicomStatus CopyElementFrom(DicomTag tag, const CDicomObject& source);

  /// Where this object's elements are stored: a data set, or (for items) an
  /// item. The rules of CheckElementRules depend on it.
  virtual ElementPlace Place() const { return ElementPlace::DataSet; }

  /// Builds the file meta group (0002,0000)–(0002,0016) and (0008,0016),
  /// (0008,0018) from the given values.
  DicomStatus CreateMetaInformation(const std::string& sopClassUid, const std::string& sopInstanceUid,
                                    const std::string& transferSyntaxUid,
                                    const std::string& implementationClassUid,
                                    const std::string& implementationVersionName,
                                    const std::string& sourceAeTitle);

  /// True when there is no (0002,0010) or it names implicit or explicit VR
  /// little endian.
  bool IsUncompressed() const;
  /// Encoded size of every element of `group` except its group length, in
  /// the object's transfer mode (group 0002: explicit VR little endian).
  uint64_t GroupLength(uint16_t group) const { return GroupLength(group, m_transferMode); }
  uint64_t GroupLength(uint16_t group, TransferMode mode) const;
  /// Encoded size of all elements in this object's transfer mode.
  uint64_t ContentSize() const { return ContentSize(m_transferMode); }
  uint64_t ContentSize(TransferMode mode) const;

  /// The dictionary VR of `tag` in this object's SOP class context.
  DicomVR LookupVR(DicomTag tag) const;

  const std::string& GetSourcePath() const { return m_sourcePath; }
  void SetSourcePath(std::string path) { m_sourcePath = std::move(path); }
  TransferMode GetTransferMode() const { return m_transferMode; }
  void SetTransferMode(TransferMode mode) { m_transferMode = mode; }
  const std::string& GetSopClassUid() const { return m_sopClassUid; }
  void SetSopClassUid(std::string uid) { m_sopClassUid = std::move(uid); }
  /// Stream position of the Number of Frames value in the stream last
  /// written, or kNoPosition.
  uint64_t GetNumberOfFramesPosition() const { return m_numberOfFramesPosition; }
  void SetNumberOfFramesPosition(uint64_t position) { m_numberOfFramesPosition = position; }

 protected:
  /// Stores an element under its tag without the side effects of AddElement
  /// (the reader's path).
  void StoreElement(std::unique_ptr<CDicomElement> element) { m_elements.Insert(std::move(element)); }
  /// Joins a read already under way at nesting `depth` (items of sequences).
  void JoinRead(CReadContext* context, int depth) {
    m_readContext = context;
    m_nestingDepth = depth;
  }
  CReadContext& ReadContext();
  /// Writes the elements in ascending tag order in `mode` without the
  /// checks of WriteDataSet (which the caller has made for the whole tree),
  /// only those of the groups `filter` takes with tags in [first, last].
  enum class GroupFilter { All, MetaOnly, AllButMeta };
  bool WriteElements(CStream& stream, TransferMode mode, GroupFilter filter, DicomTag first = 0,
                     DicomTag last = UINT32_MAX);
  int NestingDepth() const { return m_nestingDepth; }

 private:
  bool ReadDataSetUntil(CStream& stream, uint64_t limit, bool skipPixelData);
  /// The element part of FindWriteProblem (all a data set write needs).
  std::string FindElementProblem() const;
  /// Checks the encoding the meta group announced against the first
  /// elements of the data set at the stream position, and switches to the
  /// encoding they parse in (with a warning) when they do not parse in it.
  void ChooseDataSetEncoding(CStream& stream, bool syntaxAnnounced);

  std::string m_sourcePath;
  TransferMode m_transferMode = TransferMode::ExplicitLittleEndian;
  std::string m_sopClassUid;
  CElementMap m_elements;
  uint64_t m_numberOfFramesPosition = kNoPosition;
  // Reading: the top-level object keeps the failure reason and warnings of
  // its reads (made on first use, so items, which report into their root's
  // context, do not carry one); m_readContext is the root's while a read is
  // under way.
  std::unique_ptr<CReadContext> m_ownReadContext;
  CReadContext* m_readContext = nullptr;
  int m_nestingDepth = 0;
};

}  // namespace quillon
