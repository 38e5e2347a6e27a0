#include "edit/ProfileTreatment.h"

#include "dicom/ValueRepresentation.h"

#include <optional>

namespace quillon {

namespace {

Treatment BasicTreatment(ProfileAction action, bool sequence) {
  switch (action) {
    case ProfileAction::None:
    case ProfileAction::Keep: return sequence ? Treatment::ProcessItems : Treatment::Keep;
    case ProfileAction::Remove:
    case ProfileAction::Clean: return Treatment::Remove;
    case ProfileAction::Empty:
    case ProfileAction::RemoveOrEmpty: return Treatment::Empty;
    case ProfileAction::Dummy: return Treatment::Dummy;
    case ProfileAction::RemoveOrDummy: return sequence ? Treatment::Remove : Treatment::Dummy;
    case ProfileAction::EmptyOrDummy:
    case ProfileAction::RemoveEmptyOrDummy: return sequence ? Treatment::Empty : Treatment::Dummy;
    case ProfileAction::ReplaceUid: return sequence ? Treatment::ProcessItems : Treatment::ReplaceUids;
    // U* is about the UIDs in a sequence's items, which the items' own rows
    // replace; a value that is no sequence cannot be judged and goes.
    case ProfileAction::RemoveEmptyOrUids: return sequence ? Treatment::ProcessItems : Treatment::Remove;
  }
  return Treatment::Remove;
}

}  // namespace

Treatment ResolveTreatment(const ProfileRow& row, const DeidentifyOptions& options, DicomVR vr) {
  const bool sequence = vr == vr::SQ;
  // What the options in force say; a Keep from one option outweighs a
  // Clean from another, since keeping is what the user asked for.
  bool keep = false;
  std::optional<ProfileOption> cleanBy;
  for (std::size_t i = 0; i < kProfileOptionCount; ++i) {
    const auto option = static_cast<ProfileOption>(i);
    if (!options.Has(option)) continue;
    const ProfileAction action = row.For(option);
    if (action == ProfileAction::Keep) keep = true;
    if (action == ProfileAction::Clean && !cleanBy) cleanBy = option;
  }
  if (keep) return sequence ? Treatment::ProcessItems : Treatment::Keep;
  if (cleanBy == ProfileOption::RetainLongitudinalModifiedDates) {
    if (vr == vr::DA || vr == vr::DT || vr == vr::kUnknown || vr == vr::UN) return Treatment::ShiftDates;
    if (vr == vr::TM) return Treatment::Keep;
  }
  return BasicTreatment(row.basic, sequence);
}

}  // namespace quillon
