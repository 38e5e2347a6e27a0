/// \file
/// Tools > De-identify... and De-identify Folder...: the confidentiality
/// profile applied to the open document (one change, which Undo takes
/// back; the file changes only when saved) or to every DICOM file of a
/// folder, written to another folder with progress and Cancel, and a
/// summary at the end.
#pragma once

namespace quillon {

class CDicomImageDoc;
class IUserInterface;

void DeidentifyDocument(CDicomImageDoc& document, IUserInterface& ui);
void DeidentifyFolder(IUserInterface& ui);

}  // namespace quillon
