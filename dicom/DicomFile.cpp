#include "dicom/DicomFile.h"

#include "base/FileStream.h"
#include "dicom/DicomFileWriter.h"

#include <cstring>

namespace quillon {

Status CDicomFile::Load(const std::string& path, ReadOptions options) {
  m_dataSet.Clear();
  m_readWarnings.clear();
  m_sourcePath.clear();
  CFileStream file;
  if (!file.Open(path, CFileStream::OpenMode::Read)) {
    return Error(ErrorCode::Io, "cannot open \"" + path + "\": " + std::strerror(file.LastOsError()));
  }
  Status read = Read(file, options);
  file.Abort();  // only read from: nothing to flush
  return read;
}

Status CDicomFile::Read(CStream& stream, ReadOptions options) {
  m_dataSet.Clear();
  m_sourcePath = stream.GetFilePath();
  CDicomFileReader reader(stream, options);
  const Status read = reader.ReadFile(m_dataSet);
  m_readWarnings = reader.Warnings();
  if (!read) m_dataSet.Clear();
  return read;
}

Status CDicomFile::Save(const std::string& path) const { return SaveDicomFile(m_dataSet, path); }

}  // namespace quillon
