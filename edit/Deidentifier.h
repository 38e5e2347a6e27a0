/// \file
/// CDeidentifier — removes who the patient is from a data set, as the
/// confidentiality profile's table says (DeidentificationProfile.h), at
/// every depth of nested sequences, with the options chosen
/// (ProfileTreatment.h says how each action is carried out), and records
/// what it did in the data set itself: Patient Identity Removed "YES", the
/// methods as text and as codes, and whether dates were kept, shifted or
/// removed.
///
/// Pixel data is never touched. Text burned into the pixels cannot be
/// found by reading attributes, so a data set that says it has some, or
/// is of a kind that usually has some and does not say, is reported: a
/// person must look at it.
#pragma once

#include "base/Result.h"
#include "dicom/DicomTypes.h"
#include "edit/DeidentifyOptions.h"
#include "edit/ProfileTreatment.h"

#include <string>

namespace quillon {

class CDicomElement;
class CDicomObject;
class CUidMap;

/// What a de-identification found that it could not settle itself.
struct DeidentifyFindings {
  /// Why the pixel data may still show who the patient is: "Burned In
  /// Annotation is YES", or the kind of image that usually carries burned
  /// in text without saying so. Empty when nothing suggests it.
  std::string burnedInText;
};

class CDeidentifier {
 public:
  /// `uids` gives the new UIDs and date offsets; it must outlive the
  /// de-identifier. Options that contradict each other must have been
  /// refused (DeidentifyOptions::Check) before.
  CDeidentifier(const DeidentifyOptions& options, CUidMap& uids);

  /// De-identifies a file's data set (its meta group among its elements)
  /// in place. Safe to call from several threads on different data sets.
  Result<DeidentifyFindings> Apply(CDicomObject& dataSet) const;

 private:
  void Process(CDicomObject& object, int shiftDays) const;
  /// Carries out `treatment` on the element under `tag` of `object`, whose
  /// VR is taken to be `vr`.
  void Treat(CDicomObject& object, CDicomElement& element, Treatment treatment, DicomVR vr, int shiftDays) const;
  /// Every UID of the element's value replaced by its new UID; a value
  /// that holds something else than UIDs (only possible where the VR is
  /// unknown) is emptied.
  void ReplaceUids(CDicomElement& element, DicomVR vr) const;
  /// Adds the attributes that say what was done.
  Status Record(CDicomObject& dataSet) const;

  DeidentifyOptions m_options;
  CUidMap& m_uids;
};

/// Why the pixel data of `dataSet` may show burned-in text (see
/// DeidentifyFindings::burnedInText).
std::string BurnedInAnnotationReason(const CDicomObject& dataSet);

}  // namespace quillon
