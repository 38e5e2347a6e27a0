#include "app/DeidentifyDlg.h"

#include "app/UserInterface.h"

#include <filesystem>

namespace quillon {

bool CDeidentifyDlg::Accept(IUserInterface& ui) {
  if (Status valid = options.Check(); !valid) {
    ui.ShowMessage("Cannot de-identify: " + valid.Message() + ".");
    return false;
  }
  if (m_scope == Scope::Document) return true;
  std::error_code error;
  if (inputFolder.empty() || !std::filesystem::is_directory(inputFolder, error)) {
    ui.ShowMessage("Choose the folder whose files are to be de-identified.");
    return false;
  }
  if (outputFolder.empty()) {
    ui.ShowMessage("Choose the folder the de-identified files go to.");
    return false;
  }
  if (std::filesystem::weakly_canonical(outputFolder, error) == std::filesystem::weakly_canonical(inputFolder, error)) {
    ui.ShowMessage("The de-identified files cannot go to the folder they are read from: choose another folder "
                   "for them, so the originals stay as they are.");
    return false;
  }
  return true;
}

}  // namespace quillon
