/// \file
/// CStudyTree — the instances of a folder or a DICOMDIR as a reader looks
/// for them: patients, their studies, their series, their instances, each
/// with the few attributes that tell them apart (name and ID, date and
/// description, modality and number). A folder is scanned reading headers
/// only (the pixel data is stepped over), so thousands of files take
/// seconds; a DICOMDIR is read from its directory records.
#pragma once

#include "app/UserInterface.h"
#include "base/Result.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace quillon {

class CDicomObject;

/// What one instance says about where it belongs.
struct InstanceInfo {
  std::string patientId, patientName;
  std::string studyUid, studyDate, studyDescription;
  std::string seriesUid, seriesNumber, modality, seriesDescription;
  std::string instanceNumber;
  std::string path;
  /// The attributes above from a data set (or a DICOMDIR record).
  static InstanceInfo From(const CDicomObject& object, const std::string& path);
};

struct SeriesNode {
  std::string uid, number, modality, description;
  std::vector<InstanceInfo> instances;
};
struct StudyNode {
  std::string uid, date, description;
  std::vector<SeriesNode> series;
};
struct PatientNode {
  std::string id, name;
  std::vector<StudyNode> studies;
};

class CStudyTree {
 public:
  /// Puts `instance` under its patient, study and series (made when new).
  void Add(InstanceInfo instance);
  /// Orders everything: patients by name, studies by date, series and
  /// instances by number (as numbers), as a reader browses them.
  void Sort();
  const std::vector<PatientNode>& Patients() const { return m_patients; }
  size_t InstanceCount() const { return m_instances; }
  /// Files that could not be read as DICOM, with the reason.
  std::vector<std::string> skipped;

 private:
  std::vector<PatientNode> m_patients;
  std::map<std::string, size_t> m_patientIndex;
  size_t m_instances = 0;
};

/// Scans `folder` and its subfolders (DICOMDIR files excepted), reading
/// each file's header; `progress` hears (files done, files in all) and
/// stops the scan when it returns false.
CStudyTree ScanFolder(const std::string& folder, const ProgressReport& progress = {});

/// Reads the directory records of the DICOMDIR at `path` (patient, study,
/// series and instance records in the order they are written), the
/// instances' paths made from their Referenced File IDs.
Result<CStudyTree> ReadDicomDir(const std::string& path);

}  // namespace quillon
