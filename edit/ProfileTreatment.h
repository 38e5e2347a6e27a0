/// \file
/// What de-identification does to one element: the table's action for its
/// tag, changed by the options in force, and made definite for the kind of
/// element it is. This is where the choices the table leaves open are made.
///
/// The choices that depend on the attribute's Type in the IOD (X/Z, X/D,
/// Z/D, X/Z/D) are made without a table of Types, so the one is taken that
/// is valid whatever the Type and tells no more than removal would: an
/// empty value where Z is allowed (a Type 2 attribute may be empty, a
/// Type 3 one too), a dummy where only D keeps a Type 1 attribute valid.
/// Neither carries anything of the original. For sequences an item
/// without content would break the macros its items follow, so a sequence
/// is emptied where Z is allowed and removed where the choice is X/D.
///
/// "Clean" needs a human to judge free text; without one the most
/// protective action the table allows is taken (the basic profile's),
/// except where cleaning is mechanical: shifting dates (Modified Dates).
/// So Clean Descriptors, Clean Structured Content and Clean Graphics
/// remove or replace what they would have cleaned.
#pragma once

#include "dicom/DicomTypes.h"
#include "edit/DeidentificationProfile.h"
#include "edit/DeidentifyOptions.h"

#include <cstdint>

namespace quillon {

enum class Treatment : uint8_t {
  Keep,          ///< unchanged
  ProcessItems,  ///< a sequence kept, its items de-identified in turn
  Remove,        ///< taken out
  Empty,         ///< no value (a sequence: no items)
  Dummy,         ///< a value that means nothing (a sequence: see CDeidentifier)
  ReplaceUids,   ///< every UID of the value replaced by its new UID
  ShiftDates,    ///< every date moved by the patient's offset
};

/// The treatment of an element of VR `vr` (0 when unknown) under `row`.
/// Time values (TM) under Modified Dates are kept: dates move by whole
/// days, so the time of day stays what it was.
Treatment ResolveTreatment(const ProfileRow& row, const DeidentifyOptions& options, DicomVR vr);

}  // namespace quillon
