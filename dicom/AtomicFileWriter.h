/// \file
/// Saving without ever losing the old file: the new content goes to a
/// temporary file in the target's folder, is flushed to disk, and is then
/// renamed over the target in one step. On any failure the target is
/// untouched and the temporary file is gone.
#pragma once

#include <functional>
#include <string>

namespace quillon {

class CDicomObject;
class CFileStream;

/// Writes `path` through a temporary file with `write`, which returns false
/// (or throws CFileException) to abandon the save. A new file gets the
/// default permissions; a replaced file keeps its own. On failure returns
/// false with the reason in `error`. Never throws.
bool WriteFileAtomically(const std::string& path, const std::function<bool(CFileStream&)>& write,
                         std::string& error);

/// Saves `object` as a media file at `path` (WriteToFile through
/// WriteFileAtomically). The object's source path is not changed.
bool SaveDicomFile(CDicomObject& object, const std::string& path, std::string& error);

}  // namespace quillon
