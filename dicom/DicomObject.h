/// \file
/// CDicomObject — a DATA SET: the elements of one file (with the transfer
/// mode and SOP Class UID they are read and written under) or of one
/// sequence item. It owns its elements; every ordered use walks them in
/// ascending tag order.
///
/// It is plain data: reading and writing are done by CDicomFileReader and
/// CDicomFileWriter, which keep their own state, and what belongs to a file
/// rather than to its data set (where it came from, what reading it met)
/// is kept by CDicomFile. The file meta information (group 0002) is kept
/// among the elements, since every view of a file shows the two as one
/// list in tag order and an edit of (0002,0010) changes how the rest is
/// written.
#pragma once

#include "base/Result.h"
#include "dicom/DicomTypes.h"
#include "dicom/ElementMap.h"
#include "dicom/ElementRules.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillon {

class CDicomElement;
class CDicomSequence;

class CDicomObject {
 public:
  CDicomObject() = default;
  CDicomObject(const CDicomObject&) = delete;
  CDicomObject& operator=(const CDicomObject&) = delete;
  CDicomObject(CDicomObject&&) noexcept = default;
  CDicomObject& operator=(CDicomObject&&) noexcept = default;
  virtual ~CDicomObject();

  /// Replaces this object's elements with clones of `source`'s and takes its
  /// transfer mode (not its SOP Class UID).
  /// A null source changes nothing. False at the first clone that fails.
  [[nodiscard]] virtual bool CopyFrom(const CDicomObject* source);

  /// Appends one dump line per element in ascending tag order (sequences
  /// with their items) at indentation `level`. Always Success.
  virtual DicomStatus DumpText(std::string& out, int level) const;

  /// Destroys every element; transfer mode and SOP Class UID stay.
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
  /// sets the SOP Class UID, (0002,0010) the transfer mode. Refused, with
  /// the reason, for null and for an element CheckElementRules refuses here
  /// (a sequence is checked with all its items); the object is then
  /// unchanged.
  Status AddElement(std::unique_ptr<CDicomElement> element);
  /// Builds an element from a copy of `bytes` and adds it. VR 0 takes the
  /// dictionary's VR for this object; SQ is refused (use AddSequence), and
  /// so is what CheckElementRules refuses (for example bytes missing for a
  /// length above 0).
  Status AddValue(DicomTag tag, DicomVR vr, const void* bytes, uint32_t length);
  Status AddUInt16(DicomTag tag, DicomVR vr, uint16_t value);
  Status AddUInt32(DicomTag tag, DicomVR vr, uint32_t value);
  Status AddDouble(DicomTag tag, DicomVR vr, double value);
  /// Adds a text value; a null text gives an element without value.
  Status AddString(DicomTag tag, DicomVR vr, const char* text);
  Status AddString(DicomTag tag, DicomVR vr, const std::string& text);
  /// Adds a sequence and hands it this object's SOP Class UID; refused
  /// unless its VR is SQ.
  Status AddSequence(std::unique_ptr<CDicomSequence> sequence);
  /// Replaces this object's element under `tag` with a clone of `source`'s.
  /// Refused when the source lacks it, the clone fails, or the element may
  /// not be stored here (CheckElementRules).
  Status CopyElementFrom(DicomTag tag, const CDicomObject& source);

  /// Where this object's elements are stored: a data set, or (for items) an
  /// item. The rules of CheckElementRules depend on it.
  virtual ElementPlace Place() const { return ElementPlace::DataSet; }

  /// Builds the file meta group (0002,0000)–(0002,0016) and (0008,0016),
  /// (0008,0018) from the given values.
  Status CreateMetaInformation(const std::string& sopClassUid, const std::string& sopInstanceUid,
                                    const std::string& transferSyntaxUid,
                                    const std::string& implementationClassUid,
                                    const std::string& implementationVersionName,
                                    const std::string& sourceAeTitle);

  /// True when there is no (0002,0010) or it names one of the three
  /// uncompressed syntaxes (implicit or explicit VR little endian, explicit
  /// VR big endian) or the deflated one: the pixel data is a plain value,
  /// not fragments.
  bool IsUncompressed() const;
  /// Encoded size of every element of `group` except its group length, in
  /// the object's transfer mode (group 0002: explicit VR little endian).
  uint64_t GroupLength(uint16_t group) const { return GroupLength(group, m_transferMode); }
  uint64_t GroupLength(uint16_t group, TransferMode mode) const;
  /// Encoded size of all elements in this object's transfer mode.
  uint64_t ContentSize() const { return ContentSize(m_transferMode); }
  uint64_t ContentSize(TransferMode mode) const;
  /// Gives every group length element (of 4 bytes) and every defined-length
  /// sequence and item, at every depth, the length a write in `mode` puts
  /// out, and hands the items `mode` as their transfer mode: the object
  /// then shows the lengths of the file it would be saved as. The writer
  /// never changes the object; an editor calls this after a change.
  void RecordEncodedLengths(TransferMode mode);

  /// The dictionary VR of `tag` in this object's SOP class context.
  DicomVR LookupVR(DicomTag tag) const;

  TransferMode GetTransferMode() const { return m_transferMode; }
  void SetTransferMode(TransferMode mode) { m_transferMode = mode; }
  const std::string& GetSopClassUid() const { return m_sopClassUid; }
  void SetSopClassUid(std::string uid) { m_sopClassUid = std::move(uid); }

 protected:
  /// Stores an element under its tag without the side effects of AddElement
  /// (the reader's path).
  void StoreElement(std::unique_ptr<CDicomElement> element) { m_elements.Insert(std::move(element)); }
  friend class CDicomFileReader;

 private:
  TransferMode m_transferMode = TransferMode::ExplicitLittleEndian;
  std::string m_sopClassUid;
  CElementMap m_elements;
};

}  // namespace quillon
