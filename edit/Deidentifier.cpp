#include "edit/Deidentifier.h"

#include "dicom/DataDictionary.h"
#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/UidValidation.h"
#include "dicom/ValueRepresentation.h"
#include "edit/DateShift.h"
#include "edit/DeidentificationProfile.h"
#include "edit/DummyValue.h"
#include "edit/UidMap.h"

#include <cstring>
#include <memory>
#include <string_view>

namespace quillon {

namespace {

constexpr DicomTag kPatientId = 0x00100020;
constexpr DicomTag kPatientName = 0x00100010;
constexpr DicomTag kBurnedInAnnotation = 0x00280301;
constexpr DicomTag kLongitudinalTemporalInformationModified = 0x00280303;
constexpr DicomTag kPatientIdentityRemoved = 0x00120062;
constexpr DicomTag kDeidentificationMethod = 0x00120063;
constexpr DicomTag kDeidentificationMethodCodeSequence = 0x00120064;
constexpr DicomTag kCodeValue = 0x00080100;
constexpr DicomTag kCodingSchemeDesignator = 0x00080102;
constexpr DicomTag kCodeMeaning = 0x00080104;

/// Image kinds that often carry text burned into the pixels (screen
/// captures, ultrasound) even when they do not say so: the SOP class
/// itself and those below it (1.2.840.10008.5.1.4.1.1.7.1 and so on).
struct UsuallyBurnedIn {
  std::string_view sopClassRoot;
  const char* kind;
};
constexpr UsuallyBurnedIn kUsuallyBurnedIn[] = {
    {"1.2.840.10008.5.1.4.1.1.7", "a secondary capture image"},
    {"1.2.840.10008.5.1.4.1.1.6", "an ultrasound image"},
    {"1.2.840.10008.5.1.4.1.1.3.1", "an ultrasound multi-frame image"},
};

/// Gives `element` the value `bytes` of VR `vr`, padded to even length
/// with the VR's pad byte; no bytes leave it without value.
void SetValue(CDicomElement& element, DicomVR vr, std::string_view bytes) {
  element.SetVR(vr);
  element.SetUndefinedLength(false);
  if (bytes.empty()) {
    element.ClearValue();
    return;
  }
  const std::size_t length = bytes.size() + bytes.size() % 2;
  auto value = std::make_unique<uint8_t[]>(length);
  std::memcpy(value.get(), bytes.data(), bytes.size());
  if (length != bytes.size()) value[bytes.size()] = GetVrProperties(vr).padByte;
  element.SetValue(std::move(value), static_cast<uint32_t>(length));
}

/// The VR the element's value is to be judged by: its own when it has a
/// real one, else the table's, else the dictionary's; 0 when none knows.
DicomVR EffectiveVR(const CDicomElement& element, const ProfileRow* row, const CDicomObject& object) {
  if (dynamic_cast<const CDicomSequence*>(&element) != nullptr) return vr::SQ;
  const DicomVR own = element.GetVR();
  if (IsKnownVR(own) && own != vr::UN) return own;
  if (row != nullptr && row->vr != 0) return row->vr;
  const DicomVR dictionary = LookupVRForSopClass(element.GetTag(), object.GetSopClassUid());
  return IsKnownVR(dictionary) && dictionary != vr::UN ? dictionary : vr::kUnknown;
}

/// True when each element directly in the items of `sequence` is one the
/// table has a row for.
bool EveryAttributeHasARow(const CDicomSequence& sequence) {
  for (size_t i = 0; i < sequence.GetItemCount(); ++i) {
    for (const auto& entry : sequence.GetItem(i)->Elements().Sorted()) {
      if (FindProfileRow(entry.tag) == nullptr) return false;
    }
  }
  return true;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::string BurnedInAnnotationReason(const CDicomObject& dataSet) {
  std::string burnedIn;
  if (dataSet.GetString(kBurnedInAnnotation, burnedIn) == DicomStatus::Success) {
    return TrimSpaces(burnedIn) == "YES" ? "Burned In Annotation is YES" : "";
  }
  std::string sopClass;
  if (dataSet.GetString(tags::kSopClassUid, sopClass) != DicomStatus::Success) sopClass = dataSet.GetSopClassUid();
  for (const UsuallyBurnedIn& kind : kUsuallyBurnedIn) {
    const std::size_t rootSize = kind.sopClassRoot.size();
    if (std::string_view(sopClass).starts_with(kind.sopClassRoot) &&
        (sopClass.size() == rootSize || sopClass[rootSize] == '.')) {
      return std::string(kind.kind) + " without Burned In Annotation (0028,0301)";
    }
  }
  return "";
}

CDeidentifier::CDeidentifier(const DeidentifyOptions& options, CUidMap& uids) : m_options(options), m_uids(uids) {}

Result<DeidentifyFindings> CDeidentifier::Apply(CDicomObject& dataSet) const {
  DeidentifyFindings findings;
  findings.burnedInText = BurnedInAnnotationReason(dataSet);
  int shiftDays = 0;
  if (m_options.Has(ProfileOption::RetainLongitudinalModifiedDates)) {
    // One offset per patient: known by the Patient ID, or the name where a
    // file has no ID.
    std::string patient;
    if (dataSet.GetString(kPatientId, patient) != DicomStatus::Success || patient.empty()) {
      (void)dataSet.GetString(kPatientName, patient);
    }
    shiftDays = m_uids.DateShiftDays(patient);
  }
  Process(dataSet, shiftDays);
  if (Status recorded = Record(dataSet); !recorded) return recorded.GetError();
  return findings;
}

void CDeidentifier::Process(CDicomObject& object, int shiftDays) const {
  TagArray tags;
  object.GetSortedTags(tags);
  for (const DicomTag tag : tags) {
    CDicomElement* element = nullptr;
    if (object.GetElement(tag, &element) != DicomStatus::Success) continue;
    const ProfileRow* row = FindProfileRow(tag);
    const DicomVR vr = EffectiveVR(*element, row, object);
    Treatment treatment = Treatment::Keep;
    if ((TagGroup(tag) & 1u) != 0 && m_options.keepPrivate) {
      treatment = vr == vr::SQ ? Treatment::ProcessItems : Treatment::Keep;
    } else if (row != nullptr) {
      treatment = ResolveTreatment(*row, m_options, vr);
    } else if (vr == vr::SQ) {
      treatment = Treatment::ProcessItems;
    }
    Treat(object, *element, treatment, vr, shiftDays);
  }
}

void CDeidentifier::Treat(CDicomObject& object, CDicomElement& element, Treatment treatment, DicomVR vr,
                          int shiftDays) const {
  auto* sequence = dynamic_cast<CDicomSequence*>(&element);
  // A sequence the reader kept as bytes cannot be looked into: whatever
  // is done to its items cannot be done, so it goes.
  if (vr == vr::SQ && sequence == nullptr && treatment != Treatment::Remove) treatment = Treatment::Remove;
  switch (treatment) {
    case Treatment::Keep: return;
    case Treatment::ProcessItems:
      for (size_t i = 0; i < sequence->GetItemCount(); ++i) Process(*sequence->GetItem(i), shiftDays);
      return;
    case Treatment::Remove: (void)object.RemoveElement(element.GetTag()); return;
    case Treatment::Empty:
      if (sequence != nullptr) {
        sequence->ClearItems();
      } else {
        SetValue(element, vr == vr::kUnknown ? element.GetVR() : vr, {});
      }
      return;
    case Treatment::Dummy: {
      if (sequence != nullptr) {
        // Items whose every attribute has a row of its own become dummies
        // attribute by attribute and keep the structure readers expect
        // (Verifying Observer Sequence). Anything else in them (the text of
        // a report's content items) the table cannot vouch for: one empty
        // item stands in for them all.
        if (sequence->GetItemCount() > 0 && EveryAttributeHasARow(*sequence)) {
          for (size_t i = 0; i < sequence->GetItemCount(); ++i) Process(*sequence->GetItem(i), shiftDays);
          return;
        }
        sequence->ClearItems();
        sequence->AppendItem(std::make_unique<CSequenceItem>());
        return;
      }
      if (vr == vr::UI) {
        ReplaceUids(element, vr);
        return;
      }
      SetValue(element, vr == vr::kUnknown ? element.GetVR() : vr, DummyValue(vr));
      return;
    }
    case Treatment::ReplaceUids: ReplaceUids(element, vr); return;
    case Treatment::ShiftDates: {
      const std::optional<std::string> shifted = ShiftDates(element.GetTextView(), vr, shiftDays);
      SetValue(element, vr == vr::kUnknown ? element.GetVR() : vr, shifted ? *shifted : std::string());
      return;
    }
  }
}

void CDeidentifier::ReplaceUids(CDicomElement& element, DicomVR vr) const {
  std::string_view value = element.GetTextView();
  std::string replaced;
  bool allUids = true;
  for (bool first = true;; first = false) {
    const std::size_t separator = value.find('\\');
    const std::string_view uid = TrimSpaces(value.substr(0, separator));
    if (!first) replaced += '\\';
    if (!uid.empty()) replaced += m_uids.NewUid(uid);
    allUids = allUids && (uid.empty() || IsValidUid(uid));
    if (separator == std::string_view::npos) break;
    value.remove_prefix(separator + 1);
  }
  // Under a known UI the value is a UID even when malformed; elsewhere
  // only a value that reads as UIDs is one.
  if (vr != vr::UI && !allUids) replaced.clear();
  SetValue(element, allUids ? vr::UI : (vr == vr::kUnknown ? element.GetVR() : vr), replaced);
}

Status CDeidentifier::Record(CDicomObject& dataSet) const {
  std::string methods = kBasicProfileCodeMeaning;
  auto codes = std::make_unique<CDicomSequence>(kDeidentificationMethodCodeSequence);
  const auto addCode = [&codes](const char* value, const char* meaning) {
    auto item = std::make_unique<CSequenceItem>();
    Status added = item->AddString(kCodeValue, vr::SH, value);
    if (added) added = item->AddString(kCodingSchemeDesignator, vr::SH, "DCM");
    if (added) added = item->AddString(kCodeMeaning, vr::LO, meaning);
    codes->AppendItem(std::move(item));
    return added;
  };
  Status status = addCode(kBasicProfileCodeValue, kBasicProfileCodeMeaning);
  for (const ProfileOptionInfo& info : ProfileOptionInfos()) {
    if (!status || !m_options.Has(info.option)) continue;
    methods += std::string("\\") + info.codeMeaning;
    status = addCode(info.codeValue, info.codeMeaning);
  }
  const char* dates = m_options.Has(ProfileOption::RetainLongitudinalFullDates)       ? "UNMODIFIED"
                      : m_options.Has(ProfileOption::RetainLongitudinalModifiedDates) ? "MODIFIED"
                                                                                      : "REMOVED";
  if (status) status = dataSet.AddString(kPatientIdentityRemoved, vr::CS, "YES");
  if (status) status = dataSet.AddString(kDeidentificationMethod, vr::LO, methods);
  if (status) status = dataSet.AddSequence(std::move(codes));
  if (status) status = dataSet.AddString(kLongitudinalTemporalInformationModified, vr::CS, dates);
  // The meta group names the instance the data set is.
  std::string instance;
  if (status && dataSet.Contains(tags::kMediaStorageSopInstanceUid) &&
      dataSet.GetString(tags::kSopInstanceUid, instance) == DicomStatus::Success && !instance.empty()) {
    status = dataSet.AddString(tags::kMediaStorageSopInstanceUid, vr::UI, instance);
  }
  return status;
}

}  // namespace quillon
