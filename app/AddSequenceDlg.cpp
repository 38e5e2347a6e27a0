#include "app/AddSequenceDlg.h"

#include "app/TagInput.h"
#include "app/UserInterface.h"
#include "dicom/DataDictionary.h"
#include "dicom/ValueRepresentation.h"

namespace quillon {

CAddSequenceDlg::CAddSequenceDlg(bool insideItem, std::string sopClassUid)
    : m_insideItem(insideItem), m_sopClassUid(std::move(sopClassUid)) {}

bool CAddSequenceDlg::Accept(IUserInterface& ui) {
  std::string error;
  DicomTag tag = 0;
  if (!ParseTypedTag(groupText, elementText, tag, error) || !CheckTagPlacement(tag, m_insideItem, true, error)) {
    ui.ShowMessage(error);
    return false;
  }
  if (LookupVRForSopClass(tag, m_sopClassUid) != vr::SQ &&
      !ui.AskOkCancel("This is not a standard sequence tag, Continue?")) {
    return false;
  }
  m_tag = tag;
  return true;
}

}  // namespace quillon
