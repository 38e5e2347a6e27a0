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

DicomVR LookupVR(DicomTag tag) {
  if (TagElement(tag) == 0x0000) return vr::UL;
  if (TagElement(tag) == 0x0010 && (TagGroup(tag) & 1) != 0) return vr::LO;
  const DictionaryRecord* end = kDataDictionary + kDataDictionarySize - 1;  // without terminator
  const DictionaryRecord* found = std::lower_bound(
      kDataDictionary, end, tag, [](const DictionaryRecord& r, DicomTag t) { return r.Tag() < t; });
  if (found != end && found->Tag() == tag) return found->vr;
  return vr::kUnknown;
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
