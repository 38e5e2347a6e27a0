/// \file
/// Moving dates by a whole number of days, as the Modified Dates option
/// does: every date of one patient moves by the same offset, so intervals
/// between the patient's studies stay true while the calendar dates no
/// longer tell who the patient is.
#pragma once

#include "dicom/DicomTypes.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

/// `value` (values separated by '\') with every date moved by `days`:
/// DA values ("YYYYMMDD", also the old "YYYY.MM.DD"), or the date part of
/// DT values (what follows the date stays). For VR 0 (unknown) each value
/// is read as a DT, and one that reads as a time instead (fewer than 8
/// digits) is kept. Empty values stay empty. Nothing when a value holds no
/// whole date that can be moved (a DT of a year alone, "20231341"): the
/// caller must not keep it.
std::optional<std::string> ShiftDates(std::string_view value, DicomVR vr, int days);

}  // namespace quillon
