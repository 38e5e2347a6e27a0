#include "dicom/DicomObject.h"

#include "dicom/DataDictionary.h"
#include "dicom/DicomElement.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomPixelData.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quillon {

CDicomObject::~CDicomObject() { Clear(); }

bool CDicomObject::CopyFrom(const CDicomObject* source) {
  if (source == nullptr || source == this) return true;
  Clear();
  m_transferMode = source->m_transferMode;
  for (const auto& entry : source->m_elements.Sorted()) {
    std::unique_ptr<CDicomElement> copy = entry.element->Clone();
    if (!copy) return false;
    m_elements.Insert(std::move(copy));
  }
  return true;
}

void CDicomObject::Clear() { m_elements.Clear(); }

size_t CDicomObject::GetSortedTags(TagArray& tags) const {
  const auto& sorted = m_elements.Sorted();
  const size_t before = tags.size();
  tags.reserve(before + sorted.size());
  for (const auto& entry : sorted) tags.push_back(entry.tag);
  // Callers may hand in a non-empty array; the result is sorted as a whole.
  if (before != 0) std::sort(tags.begin(), tags.end());
  return tags.size();
}

size_t CDicomObject::GetTagsInGroupRange(TagArray& tags, uint16_t lowGroup, uint16_t highGroup) const {
  size_t appended = 0;
  for (const auto& entry : m_elements.Sorted()) {
    const uint16_t group = TagGroup(entry.tag);
    if (group >= lowGroup && group <= highGroup) {
      tags.push_back(entry.tag);
      ++appended;
    }
  }
  return appended;
}

bool CDicomObject::Contains(DicomTag tag) const { return m_elements.Find(tag) != nullptr; }

DicomStatus CDicomObject::GetElement(DicomTag tag, CDicomElement** element) const {
  if (element == nullptr) return DicomStatus::Failure;
  *element = m_elements.Find(tag);
  return *element ? DicomStatus::Success : DicomStatus::NotPresent;
}

DicomStatus CDicomObject::GetSequence(DicomTag tag, CDicomSequence** sequence) const {
  if (sequence == nullptr) return DicomStatus::Failure;
  *sequence = nullptr;
  CDicomElement* element = m_elements.Find(tag);
  if (element == nullptr) return DicomStatus::NotPresent;
  auto* asSequence = dynamic_cast<CDicomSequence*>(element);
  if (element->GetVR() != vr::SQ || asSequence == nullptr) return DicomStatus::WrongKind;
  *sequence = asSequence;
  return DicomStatus::Success;
}

DicomStatus CDicomObject::GetString(DicomTag tag, std::string& value) const {
  value.clear();
  const CDicomElement* element = m_elements.Find(tag);
  return element ? element->GetString(value) : DicomStatus::NotPresent;
}

DicomStatus CDicomObject::GetUInt16(DicomTag tag, uint16_t& value) const {
  value = 0;
  const CDicomElement* element = m_elements.Find(tag);
  return element ? element->GetUInt16(value) : DicomStatus::NotPresent;
}

DicomStatus CDicomObject::GetNumber(DicomTag tag, uint32_t& value) const {
  value = 0;
  const CDicomElement* element = m_elements.Find(tag);
  return element ? element->GetNumber(value) : DicomStatus::NotPresent;
}

DicomStatus CDicomObject::GetValue(DicomTag tag, uint32_t& length, const uint8_t** value) const {
  length = 0;
  if (value == nullptr) return DicomStatus::Failure;
  *value = nullptr;
  const CDicomElement* element = m_elements.Find(tag);
  if (element == nullptr) return DicomStatus::NotPresent;
  length = element->GetLength();
  *value = element->GetValue();
  return DicomStatus::Success;
}

DicomStatus CDicomObject::RemoveElement(DicomTag tag) {
  return m_elements.Take(tag) ? DicomStatus::Success : DicomStatus::NotPresent;
}

std::unique_ptr<CDicomElement> CDicomObject::TakeElement(DicomTag tag) { return m_elements.Take(tag); }

Status CDicomObject::AddElement(std::unique_ptr<CDicomElement> element) {
  if (!element) return Error(ErrorCode::Refused, "no element to add");
  if (Status allowed = CheckElementRules(*element, Place()); !allowed) return allowed;
  const DicomTag tag = element->GetTag();
  if (tag == tags::kMediaStorageSopClassUid) {
    std::string uid;
    (void)element->GetString(uid);
    m_sopClassUid = uid;
  } else if (tag == tags::kTransferSyntaxUid) {
    std::string uid;
    (void)element->GetString(uid);
    m_transferMode = TransferModeForSyntax(uid);
  } else if (tag == tags::kPixelData && dynamic_cast<CDicomPixelData*>(element.get()) == nullptr) {
    // Pixel data always lives in its own element class, which knows frames.
    // When a flat value cannot be taken as fragments the plain element is
    // kept rather than losing its bytes.
    std::unique_ptr<CDicomElement> pixels;
    if (IsUncompressed()) {
      pixels = CDicomPixelData::TakeOver(*element);
    } else {
      auto encapsulated = CDicomEncapsulatedPixelData::FromFlatValue(*element);
      if (encapsulated && (encapsulated->IsLoaded() || !element->HasValue())) pixels = std::move(encapsulated);
    }
    if (pixels) element = std::move(pixels);
  }
  m_elements.Insert(std::move(element));
  return Ok();
}

Status CDicomObject::AddValue(DicomTag tag, DicomVR vr, const void* bytes, uint32_t length) {
  if (vr == vr::kUnknown) vr = LookupVR(tag);
  // A tag whose VR depends on the SOP class must not be stored unresolved:
  // without a class the final standard's VR applies.
  if (vr == vr::kUnresolved) vr = LookupVRForSopClass(tag, m_sopClassUid);
  if (vr == vr::SQ) {
    return Error(ErrorCode::Refused, FormatTag(tag) + " is a sequence: it holds items, not value bytes.");
  }
  // Judged before the element is built: the value constructor would turn a
  // length without bytes into an element without value, and an oversized
  // length into an empty one.
  const uint64_t padded = uint64_t{length} + (bytes != nullptr ? length & 1u : 0u);
  if (Status allowed = CheckElementRules(tag, vr, padded, bytes != nullptr && length > 0, Place()); !allowed) {
    return allowed;
  }
  return AddElement(std::make_unique<CDicomElement>(tag, vr, bytes, length));
}

Status CDicomObject::AddUInt16(DicomTag tag, DicomVR vr, uint16_t value) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  return AddValue(tag, vr, bytes, sizeof bytes);
}

Status CDicomObject::AddUInt32(DicomTag tag, DicomVR vr, uint32_t value) {
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return AddValue(tag, vr, bytes, sizeof bytes);
}

Status CDicomObject::AddDouble(DicomTag tag, DicomVR vr, double value) {
  static_assert(sizeof(double) == 8);
  uint8_t bytes[8];
  std::memcpy(bytes, &value, sizeof bytes);  // values are held little endian, as is this host
  return AddValue(tag, vr, bytes, sizeof bytes);
}

Status CDicomObject::AddString(DicomTag tag, DicomVR vr, const char* text) {
  if (text == nullptr) return AddValue(tag, vr, nullptr, 0);
  return AddString(tag, vr, std::string(text));
}

Status CDicomObject::AddString(DicomTag tag, DicomVR vr, const std::string& text) {
  // 0xFFFFFFFF is the undefined-length marker, so a value must stay below it.
  if (text.size() >= CDicomElement::kUndefinedLength) {
    return Error(ErrorCode::Refused, FormatTag(tag) + ": a text of " + std::to_string(text.size()) +
                                         " bytes is too long for an element.");
  }
  return AddValue(tag, vr, text.data(), static_cast<uint32_t>(text.size()));
}

Status CDicomObject::AddSequence(std::unique_ptr<CDicomSequence> sequence) {
  if (!sequence) return Error(ErrorCode::Refused, "no sequence to add");
  if (sequence->GetVR() != vr::SQ) {
    return Error(ErrorCode::Refused, FormatTag(sequence->GetTag()) + " holds items but its VR is " +
                                         VrToString(sequence->GetVR()) + ", not SQ.");
  }
  sequence->SetSopClassUid(m_sopClassUid);
  return AddElement(std::move(sequence));
}

Status CDicomObject::CopyElementFrom(DicomTag tag, const CDicomObject& source) {
  const CDicomElement* element = source.m_elements.Find(tag);
  if (element == nullptr) return Error(ErrorCode::NotPresent, FormatTag(tag) + " is not in the source data set.");
  if (Status allowed = CheckElementRules(*element, Place()); !allowed) return allowed;
  std::unique_ptr<CDicomElement> copy = element->Clone();
  if (!copy) return Error(ErrorCode::OutOfMemory, FormatTag(tag) + " could not be copied.");
  m_elements.Take(tag);
  m_elements.Insert(std::move(copy));
  return Ok();
}

Status CDicomObject::CreateMetaInformation(const std::string& sopClassUid, const std::string& sopInstanceUid,
                                           const std::string& transferSyntaxUid,
                                           const std::string& implementationClassUid,
                                           const std::string& implementationVersionName,
                                           const std::string& sourceAeTitle) {
  const uint8_t version[2] = {0x00, 0x01};
  m_sopClassUid = sopClassUid;
  for (Status added : {AddUInt32(0x00020000, vr::UL, 0), AddValue(0x00020001, vr::OB, version, sizeof version),
                       AddString(tags::kMediaStorageSopClassUid, vr::UI, sopClassUid),
                       AddString(tags::kMediaStorageSopInstanceUid, vr::UI, sopInstanceUid),
                       AddString(tags::kTransferSyntaxUid, vr::UI, transferSyntaxUid),
                       AddString(0x00020012, vr::UI, implementationClassUid),
                       AddString(0x00020013, vr::SH, implementationVersionName),
                       AddString(0x00020016, vr::AE, sourceAeTitle), AddString(tags::kSopClassUid, vr::UI, sopClassUid),
                       AddString(tags::kSopInstanceUid, vr::UI, sopInstanceUid)}) {
    if (!added) return added;
  }
  return Ok();
}

bool CDicomObject::IsUncompressed() const {
  const CDicomElement* element = m_elements.Find(tags::kTransferSyntaxUid);
  if (element == nullptr) return true;
  std::string uid;
  (void)element->GetString(uid);
  return IsNativePixelSyntax(uid);
}

uint64_t CDicomObject::GroupLength(uint16_t group, TransferMode mode) const {
  if (group == 0x0002) mode = TransferMode::ExplicitLittleEndian;
  // The elements are sorted: a group's elements stand together, so its
  // length costs a search and the group's own elements, not a walk of all.
  const auto& sorted = m_elements.Sorted();
  auto entry = std::lower_bound(sorted.begin(), sorted.end(), MakeTag(group, 0x0001),
                                [](const CElementMap::Entry& e, DicomTag tag) { return e.tag < tag; });
  uint64_t length = 0;
  for (; entry != sorted.end() && TagGroup(entry->tag) == group; ++entry) {
    length += entry->element->EncodedSize(mode);
  }
  return length;
}

uint64_t CDicomObject::ContentSize(TransferMode mode) const {
  uint64_t size = 0;
  for (const auto& entry : m_elements.Sorted()) size += entry.element->EncodedSize(mode);
  return size;
}

void CDicomObject::RecordEncodedLengths(TransferMode mode) {
  for (const auto& entry : m_elements.Sorted()) {
    CDicomElement& element = *entry.element;
    if (TagElement(entry.tag) == 0x0000 && element.GetLength() == 4) {
      // A group longer than 4 GiB cannot be described; the value stays.
      const uint64_t length = GroupLength(TagGroup(entry.tag), mode);
      if (length <= UINT32_MAX) (void)element.SetUInt32(static_cast<uint32_t>(length));
    }
    if (auto* sequence = dynamic_cast<CDicomSequence*>(&element)) {
      sequence->RecordLengths(mode);
      for (size_t i = 0; i < sequence->GetItemCount(); ++i) sequence->GetItem(i)->RecordEncodedLengths(mode);
    }
  }
}

DicomVR CDicomObject::LookupVR(DicomTag tag) const {
  return m_sopClassUid.empty() ? quillon::LookupVR(tag) : LookupVRForSopClass(tag, m_sopClassUid);
}

}  // namespace quillon
