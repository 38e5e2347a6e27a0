/// \file
/// Saving a data object as a media file without ever losing the old one.
#pragma once

#include <string>

namespace quillon {

class CDicomObject;

/// Saves `object` as a media file at `path` (WriteToFile through
/// WriteFileAtomically). The object's source path is not changed.
bool SaveDicomFile(CDicomObject& object, const std::string& path, std::string& error);

}  // namespace quillon
