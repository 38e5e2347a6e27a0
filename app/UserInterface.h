/// \file
/// IUserInterface — everything the editor's logic asks of the person at the
/// screen: message boxes, questions, the element dialogs and file choosers.
/// The Qt window layer implements it with real windows; tests implement it
/// with a script of answers, so every command can run without a display.
#pragma once

#include <optional>
#include <string>

namespace quillon {

class CAddSequenceDlg;
class CDicomElementDlg;
class CSelectDestinationDlg;

class IUserInterface {
 public:
  virtual ~IUserInterface() = default;

  /// A modal message with an OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  /// A modal question with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  /// A modal question with OK and Cancel and a question icon; true for OK.
  virtual bool AskOkCancel(const std::string& text) = 0;

  enum class SaveChoice { Save, Discard, Cancel };
  /// Asked before a modified document is closed: save it, drop the changes,
  /// or keep it open.
  virtual SaveChoice AskSaveChanges(const std::string& documentTitle) = 0;

  /// Shows the element dialog on `dialog` (its fields filled by the
  /// caller). The dialog closes on OK only when `dialog.Accept` agrees.
  /// True when it closed with OK.
  virtual bool RunElementDialog(CDicomElementDlg& dialog) = 0;
  virtual bool RunAddSequenceDialog(CAddSequenceDlg& dialog) = 0;
  virtual bool RunSelectDestinationDialog(CSelectDestinationDlg& dialog) = 0;

  /// Asks for a file to open; nothing when cancelled.
  virtual std::optional<std::string> AskOpenPath(const std::string& title) = 0;
  /// Asks where to save `documentTitle`, starting at `suggestedPath`;
  /// nothing when cancelled. The chooser itself asks before replacing an
  /// existing file.
  virtual std::optional<std::string> AskSavePath(const std::string& documentTitle,
                                                 const std::string& suggestedPath) = 0;

  /// A short note in the status bar (no answer needed).
  virtual void ShowStatus(const std::string& text) = 0;
};

}  // namespace quillon
