#include "dicom/DicomFileWriter.h"

#include "base/AtomicFileWriter.h"
#include "base/FileStream.h"
#include "dicom/DicomObject.h"

namespace quillon {

bool SaveDicomFile(CDicomObject& object, const std::string& path, std::string& error) {
  // An object the writer refuses is refused before a temporary file is made,
  // with the element and the reason.
  const std::string problem = object.FindWriteProblem();
  if (!problem.empty()) {
    error = "cannot save \"" + path + "\": " + problem;
    return false;
  }
  return WriteFileAtomically(
      path, [&object](CFileStream& stream) { return object.WriteToFile(stream); }, error);
}

}  // namespace quillon
