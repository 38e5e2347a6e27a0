/// \file
/// CDeidentifyDlg — the logic of the "De-identify" dialog: the profile's
/// options as check boxes, private attributes kept or not, an optional UID
/// map file, and for a folder the input and output folders; and the check
/// made on OK. The window layer shows the controls; nothing here draws.
#pragma once

#include "edit/DeidentifyOptions.h"

#include <string>

namespace quillon {

class IUserInterface;

class CDeidentifyDlg {
 public:
  /// What is de-identified: the open document, or the files of a folder.
  enum class Scope { Document, Folder };

  explicit CDeidentifyDlg(Scope scope) : m_scope(scope) {}
  Scope GetScope() const { return m_scope; }

  // ---- The controls' values ----
  /// The check boxes: the options offered (ProfileOptionInfo::offered) and
  /// "Keep private attributes".
  DeidentifyOptions options;
  /// The map file whose key derives the new UIDs and date offsets; empty
  /// for a key of this run alone.
  std::string uidMapPath;
  /// Folder scope: where the files are read and where the results go (the
  /// tree of the input folder is mirrored there).
  std::string inputFolder;
  std::string outputFolder;

  /// The check made on OK: options that contradict each other, and for a
  /// folder an input folder that exists and an output folder that is
  /// another one. Shows the reason through `ui` and returns false (the
  /// dialog stays open) when something is wrong.
  bool Accept(IUserInterface& ui);

 private:
  Scope m_scope;
};

}  // namespace quillon
