#include "edit/DeidentifyOptions.h"

namespace quillon {

namespace {

constexpr std::array<ProfileOptionInfo, kProfileOptionCount> kInfos = {{
    {ProfileOption::RetainSafePrivate, "retain-safe-private", "Retain Safe Private", "113111",
     "Retain Safe Private Option", false},
    {ProfileOption::RetainUids, "retain-uids", "Retain UIDs", "113110", "Retain UIDs Option", true},
    {ProfileOption::RetainDeviceIdentity, "retain-device-identity", "Retain Device Identity", "113109",
     "Retain Device Identity Option", true},
    {ProfileOption::RetainInstitutionIdentity, "retain-institution-identity", "Retain Institution Identity",
     "113112", "Retain Institution Identity Option", true},
    {ProfileOption::RetainPatientCharacteristics, "retain-patient-characteristics",
     "Retain Patient Characteristics", "113108", "Retain Patient Characteristics Option", true},
    {ProfileOption::RetainLongitudinalFullDates, "retain-full-dates",
     "Retain Longitudinal Temporal Information with Full Dates", "113106",
     "Retain Longitudinal Temporal Information Full Dates Option", true},
    {ProfileOption::RetainLongitudinalModifiedDates, "retain-modified-dates",
     "Retain Longitudinal Temporal Information with Modified Dates", "113107",
     "Retain Longitudinal Temporal Information Modified Dates Option", true},
    {ProfileOption::CleanDescriptors, "clean-descriptors", "Clean Descriptors", "113105",
     "Clean Descriptors Option", true},
    {ProfileOption::CleanStructuredContent, "clean-structured-content", "Clean Structured Content", "113104",
     "Clean Structured Content Option", true},
    {ProfileOption::CleanGraphics, "clean-graphics", "Clean Graphics", "113103", "Clean Graphics Option", true},
}};

}  // namespace

std::span<const ProfileOptionInfo> ProfileOptionInfos() { return kInfos; }

const ProfileOptionInfo& InfoOf(ProfileOption option) { return kInfos[static_cast<std::size_t>(option)]; }

Status DeidentifyOptions::Check() const {
  if (Has(ProfileOption::RetainLongitudinalFullDates) && Has(ProfileOption::RetainLongitudinalModifiedDates)) {
    return Error(ErrorCode::Failure,
                 "dates can be kept in full or shifted, not both: choose one of the two longitudinal options");
  }
  for (const ProfileOptionInfo& info : kInfos) {
    if (Has(info.option) && !info.offered) {
      return Error(ErrorCode::Failure, std::string("the ") + info.label + " option is not supported");
    }
  }
  return Ok();
}

}  // namespace quillon
