#include "app/StudyTree.h"

#include "dicom/DicomFile.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <tuple>

namespace quillon {

namespace {

constexpr DicomTag kPatientId = 0x00100020, kPatientName = 0x00100010, kStudyUid = 0x0020000D,
                   kStudyDate = 0x00080020, kStudyDescription = 0x00081030, kSeriesUid = 0x0020000E,
                   kSeriesNumber = 0x00200011, kModality = 0x00080060, kSeriesDescription = 0x0008103E,
                   kInstanceNumber = 0x00200013, kDirectoryRecords = 0x00041220, kRecordType = 0x00041430,
                   kReferencedFileId = 0x00041500;

std::string Text(const CDicomObject& object, DicomTag tag) {
  std::string text;
  (void)object.GetString(tag, text);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

/// Numbers sort as numbers ("2" before "10"), then texts.
bool NumberLess(const std::string& a, const std::string& b) {
  const long x = std::strtol(a.c_str(), nullptr, 10);
  const long y = std::strtol(b.c_str(), nullptr, 10);
  return x != y ? x < y : a < b;
}

}  // namespace

InstanceInfo InstanceInfo::From(const CDicomObject& object, const std::string& path) {
  InstanceInfo info;
  info.patientId = Text(object, kPatientId);
  info.patientName = Text(object, kPatientName);
  info.studyUid = Text(object, kStudyUid);
  info.studyDate = Text(object, kStudyDate);
  info.studyDescription = Text(object, kStudyDescription);
  info.seriesUid = Text(object, kSeriesUid);
  info.seriesNumber = Text(object, kSeriesNumber);
  info.modality = Text(object, kModality);
  info.seriesDescription = Text(object, kSeriesDescription);
  info.instanceNumber = Text(object, kInstanceNumber);
  info.path = path;
  return info;
}

void CStudyTree::Add(InstanceInfo instance) {
  // A patient is its ID and name together: files of different people may
  // share an empty or reused ID.
  const std::string patientKey = instance.patientId + '\x1F' + instance.patientName;
  auto [found, isNew] = m_patientIndex.try_emplace(patientKey, m_patients.size());
  if (isNew) m_patients.push_back(PatientNode{instance.patientId, instance.patientName, {}});
  PatientNode& patient = m_patients[found->second];
  auto study = std::find_if(patient.studies.begin(), patient.studies.end(),
                            [&](const StudyNode& s) { return s.uid == instance.studyUid; });
  if (study == patient.studies.end()) {
    patient.studies.push_back(StudyNode{instance.studyUid, instance.studyDate, instance.studyDescription, {}});
    study = patient.studies.end() - 1;
  }
  auto series = std::find_if(study->series.begin(), study->series.end(),
                             [&](const SeriesNode& s) { return s.uid == instance.seriesUid; });
  if (series == study->series.end()) {
    study->series.push_back(
        SeriesNode{instance.seriesUid, instance.seriesNumber, instance.modality, instance.seriesDescription, {}});
    series = study->series.end() - 1;
  }
  series->instances.push_back(std::move(instance));
  ++m_instances;
}

void CStudyTree::Sort() {
  std::sort(m_patients.begin(), m_patients.end(),
            [](const PatientNode& a, const PatientNode& b) { return std::tie(a.name, a.id) < std::tie(b.name, b.id); });
  m_patientIndex.clear();
  for (size_t i = 0; i < m_patients.size(); ++i) {
    m_patientIndex[m_patients[i].id + '\x1F' + m_patients[i].name] = i;
    for (StudyNode& study : m_patients[i].studies) {
      for (SeriesNode& series : study.series) {
        std::stable_sort(series.instances.begin(), series.instances.end(),
                         [](const InstanceInfo& a, const InstanceInfo& b) {
                           return NumberLess(a.instanceNumber, b.instanceNumber);
                         });
      }
      std::stable_sort(study.series.begin(), study.series.end(),
                       [](const SeriesNode& a, const SeriesNode& b) { return NumberLess(a.number, b.number); });
    }
    std::stable_sort(m_patients[i].studies.begin(), m_patients[i].studies.end(),
                     [](const StudyNode& a, const StudyNode& b) { return a.date < b.date; });
  }
}

CStudyTree ScanFolder(const std::string& folder, const ProgressReport& progress) {
  CStudyTree tree;
  std::vector<std::string> files;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(
           folder, std::filesystem::directory_options::skip_permission_denied, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    if (it->path().filename().string().rfind("DICOMDIR", 0) == 0) continue;
    files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  const auto total = static_cast<int64_t>(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    if (progress && !progress(static_cast<int64_t>(i), total)) break;
    CDicomFile file;
    // Headers only: the pixel value is stepped over, never read.
    if (const Status read = file.Load(files[i], {.skipPixelData = true}); !read) {
      tree.skipped.push_back(files[i] + ": " + read.Message());
      continue;
    }
    tree.Add(InstanceInfo::From(file.DataSet(), files[i]));
  }
  if (progress) (void)progress(total, total);
  tree.Sort();
  return tree;
}

Result<CStudyTree> ReadDicomDir(const std::string& path) {
  CDicomFile file;
  if (const Status read = file.Load(path); !read) return read.GetError();
  CDicomSequence* records = nullptr;
  if (file.DataSet().GetSequence(kDirectoryRecords, &records) != DicomStatus::Success || records == nullptr) {
    return Error(ErrorCode::Failure, path + " holds no directory records (0004,1220): it is no DICOMDIR.");
  }
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  CStudyTree tree;
  // Records come depth first: each patient, study and series record
  // stands for the instance records after it until the next of its kind.
  InstanceInfo context;
  for (size_t i = 0; i < records->GetItemCount(); ++i) {
    const CSequenceItem* record = records->GetItem(i);
    if (record == nullptr) continue;
    const std::string type = Text(*record, kRecordType);
    const InstanceInfo own = InstanceInfo::From(*record, {});
    if (type == "PATIENT") {
      context = InstanceInfo{};
      context.patientId = own.patientId;
      context.patientName = own.patientName;
    } else if (type == "STUDY") {
      context.studyUid = own.studyUid;
      context.studyDate = own.studyDate;
      context.studyDescription = own.studyDescription;
      context.seriesUid.clear();
    } else if (type == "SERIES") {
      context.seriesUid = own.seriesUid;
      context.seriesNumber = own.seriesNumber;
      context.modality = own.modality;
      context.seriesDescription = own.seriesDescription;
    } else {
      const std::string fileId = Text(*record, kReferencedFileId);
      if (fileId.empty()) continue;
      std::filesystem::path instancePath = folder;
      size_t start = 0;
      while (start <= fileId.size()) {
        const size_t end = std::min(fileId.find('\\', start), fileId.size());
        instancePath /= fileId.substr(start, end - start);
        start = end + 1;
      }
      InstanceInfo instance = context;
      instance.instanceNumber = own.instanceNumber;
      instance.path = instancePath.string();
      tree.Add(std::move(instance));
    }
  }
  tree.Sort();
  return tree;
}

}  // namespace quillon
