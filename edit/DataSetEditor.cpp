#include "edit/DataSetEditor.h"

#include "dicom/DataDictionary.h"
#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ElementRules.h"
#include "dicom/UidGenerator.h"
#include "dicom/ValueRepresentation.h"
#include "edit/UidMap.h"
#include "edit/ValueEncoder.h"

#include <algorithm>
#include <memory>

namespace quillon {

namespace {

constexpr DicomTag kStudyInstanceUid = 0x0020000D;
constexpr DicomTag kSeriesInstanceUid = 0x0020000E;

Error At(const TagPath& path, const std::string& why) { return Error(ErrorCode::Failure, path.text + ": " + why); }

/// The items a path step addresses, in order.
std::vector<CSequenceItem*> ItemsOf(const CDicomSequence& sequence, const TagPathStep& step) {
  std::vector<CSequenceItem*> items;
  if (step.items == TagPathStep::Items::All) {
    for (size_t i = 0; i < sequence.GetItemCount(); ++i) items.push_back(sequence.GetItem(i));
  } else if (CSequenceItem* item = sequence.GetItem(step.index)) {
    items.push_back(item);
  }
  return items;
}

}  // namespace

Result<std::pair<TagPath, std::string>> ParseAssignment(std::string_view text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    return Error(ErrorCode::Failure, "\"" + std::string(text) + "\" gives no value: write PATH=VALUE");
  }
  Result<TagPath> path = ParseTagPath(text.substr(0, equals));
  if (!path) return path.GetError();
  return std::make_pair(std::move(*path), std::string(text.substr(equals + 1)));
}

bool CDataSetEditor::Empty() const {
  return m_assignments.empty() && m_erasures.empty() && m_erasuresEverywhere.empty() && !m_erasePrivate &&
         m_uids == nullptr;
}

Status CDataSetEditor::Apply(CDicomObject& dataSet) const {
  if (!m_erasuresEverywhere.empty() || m_erasePrivate) EraseEverywhereIn(dataSet);
  for (const TagPath& path : m_erasures) EraseAt(dataSet, path, 0);
  const CCharacterSet charset = CharsetInForce(dataSet, CCharacterSet());
  std::string sopClass;
  if (dataSet.GetString(tags::kSopClassUid, sopClass) != DicomStatus::Success) sopClass = dataSet.GetSopClassUid();
  for (const Assignment& assignment : m_assignments) {
    if (Status assigned = Assign(dataSet, assignment, 0, charset, sopClass); !assigned) return assigned;
  }
  return m_uids != nullptr ? RenewUidsIn(dataSet) : Ok();
}

Status CDataSetEditor::Assign(CDicomObject& object, const Assignment& assignment, std::size_t step,
                              const CCharacterSet& inherited, const std::string& sopClass) const {
  const TagPath& path = assignment.path;
  const TagPathStep& here = path.steps[step];
  const CCharacterSet charset = CharsetInForce(object, inherited);
  if (step + 1 == path.steps.size()) {
    if (here.items != TagPathStep::Items::None) return At(path, "ends at an item; name the element in it");
    return StoreValue(object, assignment, charset, sopClass);
  }
  CDicomElement* element = nullptr;
  if (object.GetElement(here.tag, &element) != DicomStatus::Success) {
    if (assignment.onlyIfPresent || here.items == TagPathStep::Items::All) return Ok();
    const DicomVR known = LookupVRForSopClass(here.tag, sopClass);
    if (known != vr::SQ && IsKnownVR(known)) return At(path, FormatTag(here.tag) + " is no sequence");
    if (Status added = object.AddSequence(std::make_unique<CDicomSequence>(here.tag)); !added) {
      return At(path, added.Message());
    }
    (void)object.GetElement(here.tag, &element);
  }
  auto* sequence = dynamic_cast<CDicomSequence*>(element);
  if (sequence == nullptr) return At(path, FormatTag(here.tag) + " is no sequence");
  if (here.items == TagPathStep::Items::One && !assignment.onlyIfPresent) {
    while (sequence->GetItemCount() <= here.index) sequence->AppendItem(std::make_unique<CSequenceItem>());
  }
  for (CSequenceItem* item : ItemsOf(*sequence, here)) {
    if (Status assigned = Assign(*item, assignment, step + 1, charset, sopClass); !assigned) return assigned;
  }
  return Ok();
}

Status CDataSetEditor::StoreValue(CDicomObject& object, const Assignment& assignment, const CCharacterSet& charset,
                                  const std::string& sopClass) const {
  const TagPath& path = assignment.path;
  const DicomTag tag = path.Last().tag;
  CDicomElement* existing = nullptr;
  const bool present = object.GetElement(tag, &existing) == DicomStatus::Success;
  if (!present && assignment.onlyIfPresent) return Ok();
  DicomVR vr = present ? existing->GetVR() : vr::kUnknown;
  if (!IsKnownVR(vr) || vr == vr::UN) vr = LookupVRForSopClass(tag, sopClass);
  if (!IsKnownVR(vr) || vr == vr::UN) {
    return At(path, "the VR of " + FormatTag(tag) + " is not known (a private or retired element not in the file)");
  }
  if (vr == vr::SQ) return At(path, FormatTag(tag) + " is a sequence: give a path into its items");
  Result<std::string> bytes = EncodeValue(assignment.value, vr, charset);
  if (!bytes) return At(path, bytes.Message());
  if (bytes->size() > UINT32_MAX - 1) return At(path, "the value is too long");
  auto element = std::make_unique<CDicomElement>(tag, vr, bytes->data(), static_cast<uint32_t>(bytes->size()));
  if (Status added = object.AddElement(std::move(element)); !added) return At(path, added.Message());
  return Ok();
}

void CDataSetEditor::EraseAt(CDicomObject& object, const TagPath& path, std::size_t step) const {
  const TagPathStep& here = path.steps[step];
  const bool last = step + 1 == path.steps.size();
  if (last && here.items == TagPathStep::Items::None) {
    (void)object.RemoveElement(here.tag);
    return;
  }
  CDicomSequence* sequence = nullptr;
  if (object.GetSequence(here.tag, &sequence) != DicomStatus::Success) return;
  if (last) {
    if (here.items == TagPathStep::Items::All) {
      sequence->ClearItems();
    } else {
      (void)sequence->RemoveItem(here.index);
    }
    return;
  }
  for (CSequenceItem* item : ItemsOf(*sequence, here)) EraseAt(*item, path, step + 1);
}

void CDataSetEditor::EraseEverywhereIn(CDicomObject& object) const {
  TagArray tags;
  object.GetSortedTags(tags);
  for (const DicomTag tag : tags) {
    const bool erased = (m_erasePrivate && (TagGroup(tag) & 1u) != 0) ||
                        std::find(m_erasuresEverywhere.begin(), m_erasuresEverywhere.end(), tag) !=
                            m_erasuresEverywhere.end();
    if (erased) {
      (void)object.RemoveElement(tag);
      continue;
    }
    CDicomSequence* sequence = nullptr;
    if (object.GetSequence(tag, &sequence) != DicomStatus::Success) continue;
    for (size_t i = 0; i < sequence->GetItemCount(); ++i) EraseEverywhereIn(*sequence->GetItem(i));
  }
}

Status CDataSetEditor::RenewUidsIn(CDicomObject& dataSet) const {
  for (const DicomTag tag : {kStudyInstanceUid, kSeriesInstanceUid, tags::kSopInstanceUid}) {
    std::string old;
    if (dataSet.GetString(tag, old) != DicomStatus::Success) continue;
    // An empty UID names nothing that others could share: it gets a UID of
    // its own.
    const std::string renewed = old.empty() ? GenerateUID() : m_uids->NewUid(old);
    if (Status added = dataSet.AddString(tag, vr::UI, renewed); !added) return added;
  }
  std::string instance;
  if (dataSet.Contains(tags::kMediaStorageSopInstanceUid) &&
      dataSet.GetString(tags::kSopInstanceUid, instance) == DicomStatus::Success) {
    return dataSet.AddString(tags::kMediaStorageSopInstanceUid, vr::UI, instance);
  }
  return Ok();
}

}  // namespace quillon
