/// \file
/// The one exception the library lets through to its callers: an I/O error
/// raised by a stream (open, read, write, seek, flush or close failing).
#pragma once

#include <stdexcept>
#include <string>

namespace quillon {

class CFileException : public std::runtime_error {
 public:
  enum class Cause { Generic, BadSeek, ReadFailed, WriteFailed, ReadOnly, Closed, DiskFull };

  CFileException(Cause cause, std::string path, int osError, const std::string& what)
      : std::runtime_error(what), m_cause(cause), m_path(std::move(path)), m_osError(osError) {}

  Cause GetCause() const { return m_cause; }
  const std::string& GetPath() const { return m_path; }
  /// The errno value behind the failure, 0 when there was none.
  int GetOsError() const { return m_osError; }

 private:
  Cause m_cause;
  std::string m_path;
  int m_osError;
};

}  // namespace quillon
