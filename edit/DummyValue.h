/// \file
/// The value D ("dummy") writes: one value valid for the VR that carries
/// nothing of the original and is the same in every file, so that it
/// cannot be told apart or linked.
#pragma once

#include "dicom/DicomTypes.h"

#include <string>

namespace quillon {

/// The dummy value's bytes for `vr` (before padding): "ANONYMIZED" for
/// names and other text, "19000101" for dates, "000000" for times, "0"
/// for numbers as text, zeros of one value's size for binary VRs. Empty
/// for VRs that have no dummy of their own: UI (a UID is replaced as U
/// does), SQ, and an unknown VR (the value is emptied instead).
std::string DummyValue(DicomVR vr);

}  // namespace quillon
