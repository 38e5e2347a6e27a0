/// \file
/// CDicomFile — a DICOM media file: its data set (the file meta
/// information among its elements), where it was read from, and what the
/// read met and worked around. The data set is plain data; what belongs to
/// the file and to the act of reading it is kept here, so that a data set
/// copied, edited or built from nothing carries none of it.
#pragma once

#include "base/Result.h"
#include "dicom/DicomFileReader.h"
#include "dicom/DicomObject.h"

#include <optional>
#include <string>
#include <vector>

namespace quillon {

class CStream;

class CDicomFile {
 public:
  /// Reads the file at `path` (opened read-only, closed again). On failure
  /// the data set is left empty (unless `onCutShort` keeps what a file cut
  /// short held), the error says why (the tag and offset, or the system's
  /// reason), and the warnings of the read stay.
  Status Load(const std::string& path, ReadOptions options = {}, OnCutShort onCutShort = OnCutShort::Discard);
  /// Reads a media file from `stream`, as Load does; the source path is the
  /// stream's.
  Status Read(CStream& stream, ReadOptions options = {}, OnCutShort onCutShort = OnCutShort::Discard);
  /// Saves the data set at `path` (SaveDicomFile) with the preamble it was
  /// read with; the source path stays.
  Status Save(const std::string& path) const;

  CDicomObject& DataSet() { return m_dataSet; }
  const CDicomObject& DataSet() const { return m_dataSet; }
  /// The path the file was read from; empty for a stream without one.
  const std::string& SourcePath() const { return m_sourcePath; }
  /// What the last read met and worked around (CDicomFileReader::Warnings).
  const std::vector<std::string>& ReadWarnings() const { return m_readWarnings; }
  /// The 128 bytes before "DICM" as read (zeros for a new or bare data set).
  const FilePreamble& Preamble() const { return m_preamble; }
  /// After a read that failed because the file ends early: how many bytes
  /// are missing (CDicomFileReader::MissingBytes).
  std::optional<uint64_t> MissingBytes() const { return m_missingBytes; }

 private:
  CDicomObject m_dataSet;
  std::string m_sourcePath;
  std::vector<std::string> m_readWarnings;
  FilePreamble m_preamble{};
  std::optional<uint64_t> m_missingBytes;
};

}  // namespace quillon
