#include "dicom/DataDictionary.h"

#include "dicom/ValueRepresentation.h"

#include <algorithm>
#include <array>

namespace quillon {

namespace {

struct ContextVr {
  DicomTag tag;
  DicomVR trialVr;  ///< VR under the structured reporting trial SOP classes
  DicomVR finalVr;  ///< VR under every other SOP class
};

// The six tags whose meaning changed between the structured reporting trial
// and the final standard.
constexpr std::array<ContextVr, 6> kContextVrTable{{
    {0x0040A032, vr::LO, vr::DT},
    {0x0040A073, vr::LO, vr::SQ},
    {0x0040A088, vr::LO, vr::SQ},
    {0x0040A124, vr::SQ, vr::UI},
    {0x0040A170, vr::CS, vr::SQ},
    {0x0040DB73, vr::SQ, vr::UL},
}};

constexpr std::array<std::string_view, 4> kSrTrialSopClasses{
    "1.2.840.10008.5.1.4.1.1.88.1", "1.2.840.10008.5.1.4.1.1.88.2",
    "1.2.840.10008.5.1.4.1.1.88.3", "1.2.840.10008.5.1.4.1.1.88.4"};

}  // namespace

namespace {

const DictionaryRecord* FindRow(DicomTag tag) {
  const DictionaryRecord* end = kDataDictionary + kDataDictionarySize - 1;  // without terminator
  const DictionaryRecord* found = std::lower_bound(
      kDataDictionary, end, tag, [](const DictionaryRecord& r, DicomTag t) { return r.Tag() < t; });
  return found != end && found->Tag() == tag ? found : nullptr;
}

}  // namespace

const DictionaryRecord* FindDictionaryRecord(DicomTag tag) {
  // A tag of its own comes first: (7FE0,0010) lies in the range of the
  // retired repeating groups 7Fxx but is Pixel Data.
  if (const DictionaryRecord* own = FindRow(tag)) return own;
  const uint16_t group = TagGroup(tag);
  const auto first = static_cast<uint16_t>(group & 0xFF00);
  if ((first != 0x5000 && first != 0x6000 && first != 0x7F00) || (group & 1) != 0) return nullptr;
  const DictionaryRecord* shared = FindRow(MakeTag(first, TagElement(tag)));
  return shared != nullptr && (shared->flags & kRepeating) != 0 ? shared : nullptr;
}

const DictionaryTexts* FindDictionaryTexts(DicomTag tag) {
  const DictionaryRecord* record = FindDictionaryRecord(tag);
  return record == nullptr ? nullptr : &kDictionaryTexts[record - kDataDictionary];
}

DicomVR LookupVR(DicomTag tag) {
  if (TagElement(tag) == 0x0000) return vr::UL;
  if ((TagGroup(tag) & 1) != 0 && TagElement(tag) >= 0x0010 && TagElement(tag) <= 0x00FF) return vr::LO;
  const DictionaryRecord* found = FindDictionaryRecord(tag);
  // Retired elements keep their bytes opaque: what they held has changed
  // over the years.
  if (found == nullptr || (found->flags & kRetired) != 0) return vr::kUnknown;
  return found->vr;
}

DicomVR LookupVRForSopClass(DicomTag tag, std::string_view sopClassUid) {
  const DicomVR v = LookupVR(tag);
  if (v != vr::kUnresolved) return v;
  const bool trial = std::find(kSrTrialSopClasses.begin(), kSrTrialSopClasses.end(), sopClassUid) !=
                     kSrTrialSopClasses.end();
  for (const ContextVr& row : kContextVrTable) {
    if (row.tag == tag) return trial ? row.trialVr : row.finalVr;
  }
  return vr::kUnknown;
}

}  // namespace quillon
