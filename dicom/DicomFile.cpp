#include "dicom/DicomFile.h"

#include "base/FileStream.h"
#include "dicom/DicomFileWriter.h"

#include <cstring>

namespace quillon {

Status CDicomFile::Load(const std::string& path, ReadOptions options, OnCutShort onCutShort) {
  m_dataSet.Clear();
  m_readWarnings.clear();
  m_sourcePath.clear();
  m_preamble.fill(0);
  m_missingBytes.reset();
  CFileStream file;
  if (!file.Open(path, CFileStream::OpenMode::Read)) {
    return Error(ErrorCode::Io, "cannot open \"" + path + "\": " + std::strerror(file.LastOsError()));
  }
  Status read = Read(file, options, onCutShort);
  file.Abort();  // only read from: nothing to flush
  return read;
}

Status CDicomFile::Read(CStream& stream, ReadOptions options, OnCutShort onCutShort) {
  m_dataSet.Clear();
  m_sourcePath = stream.GetFilePath();
  CDicomFileReader reader(stream, options, onCutShort);
  const Status read = reader.ReadFile(m_dataSet);
  m_readWarnings = reader.Warnings();
  m_preamble = reader.Preamble();
  m_missingBytes = read ? std::nullopt : reader.MissingBytes();
  if (!read && !(onCutShort == OnCutShort::KeepWhatWasRead && m_missingBytes)) m_dataSet.Clear();
  return read;
}

Status CDicomFile::Save(const std::string& path) const {
  SaveOptions options;
  options.preamble = &m_preamble;
  return SaveDicomFile(m_dataSet, path, options);
}

}  // namespace quillon
