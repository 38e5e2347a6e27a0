/// \file
/// The de-identification profile as data: for every attribute that can
/// identify a patient, what the basic profile does with it and what each
/// option changes. The rows are the DICOM standard's table of the
/// Application Level Confidentiality Profile, generated into
/// DeidentificationProfileTable.cpp from data/deidentification-profile.csv;
/// this header only says how to read them.
#pragma once

#include "dicom/DicomTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quillon {

/// One action code of the table. The choices with a slash depend on whether
/// the attribute is Type 1, 2 or 3 in the instance's IOD.
enum class ProfileAction : uint8_t {
  None,                ///< an empty option cell: the option changes nothing
  Keep,                ///< K: keep (a sequence's items are still processed)
  Remove,              ///< X
  Empty,               ///< Z: a zero-length value
  Dummy,               ///< D: a non-empty value that means nothing
  Clean,               ///< C: keep what does not identify (meaning per option)
  ReplaceUid,          ///< U: a new UID, the same for the same original
  RemoveOrEmpty,       ///< X/Z
  RemoveOrDummy,       ///< X/D
  EmptyOrDummy,        ///< Z/D
  RemoveEmptyOrDummy,  ///< X/Z/D
  RemoveEmptyOrUids,   ///< X/Z/U*: for sequences whose items hold UIDs
};

/// The profile's options, in the order of the table's columns.
enum class ProfileOption : uint8_t {
  RetainSafePrivate,
  RetainUids,
  RetainDeviceIdentity,
  RetainInstitutionIdentity,
  RetainPatientCharacteristics,
  RetainLongitudinalFullDates,
  RetainLongitudinalModifiedDates,
  CleanDescriptors,
  CleanStructuredContent,
  CleanGraphics,
};
inline constexpr std::size_t kProfileOptionCount = 10;

/// One row of the table. A row stands for the tags t with
/// (t & mask) == tag: the repeating groups (50xx curves, 60xx overlays)
/// have a mask, every other row matches one tag.
struct ProfileRow {
  DicomTag tag;
  DicomTag mask;
  /// The attribute's VR from the data dictionary the table was generated
  /// with; 0 when that dictionary did not know it. Used only when an
  /// element arrives without a VR of its own (implicit VR).
  DicomVR vr;
  ProfileAction basic;
  std::array<ProfileAction, kProfileOptionCount> options;

  constexpr ProfileAction For(ProfileOption option) const { return options[static_cast<std::size_t>(option)]; }
};

/// The rows for single tags, ascending by tag.
std::span<const ProfileRow> ProfileRows();
/// The rows for repeating groups, with their masks.
std::span<const ProfileRow> ProfilePatternRows();
/// The last row of the table: every private attribute (odd group).
const ProfileRow& PrivateAttributesRow();

/// The row that decides what happens to `tag`: its own, a repeating
/// group's, or the private attributes' row for an odd group; null when the
/// table does not list it (the attribute is kept).
const ProfileRow* FindProfileRow(DicomTag tag);

}  // namespace quillon
