/// \file
/// IUserInterface — everything the editor's logic asks of the person at the
/// screen: message boxes, questions, the element dialogs and file choosers.
/// The Qt window layer implements it with real windows; tests implement it
/// with a script of answers, so every command can run without a display.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quillon {

class CAddSequenceDlg;
class CDeidentifyDlg;
class CDicomElementDlg;
class CSelectDestinationDlg;
class CSelectFormatDlg;

/// Called by long work with the steps done and the steps in all; returns
/// false once the user has asked to stop (the work should then end soon).
using ProgressReport = std::function<bool(int64_t done, int64_t total)>;

class IUserInterface {
 public:
  virtual ~IUserInterface() = default;

  /// A modal message with an OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  /// A modal message with an OK button that reports, not warns (a result
  /// the user asked for).
  virtual void ShowInformation(const std::string& text) = 0;
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
  virtual bool RunSelectFormatDialog(CSelectFormatDlg& dialog) = 0;
  /// Shows the De-identify dialog; closes on OK only when `dialog.Accept`
  /// agrees. True when it closed with OK.
  virtual bool RunDeidentifyDialog(CDeidentifyDlg& dialog) = 0;

  /// Asks for a file to open, in a chooser starting in `startFolder` (the
  /// chooser's own choice when empty); nothing when cancelled.
  virtual std::optional<std::string> AskOpenPath(const std::string& title, const std::string& startFolder) = 0;
  /// Asks for a folder, starting in `startFolder`; nothing when cancelled.
  virtual std::optional<std::string> AskFolderPath(const std::string& title, const std::string& startFolder) = 0;
  /// Asks where to save, in a chooser titled `title` starting at
  /// `suggestedPath`; nothing when cancelled. The chooser itself asks before
  /// replacing an existing file.
  virtual std::optional<std::string> AskSavePath(const std::string& title, const std::string& suggestedPath) = 0;

  /// Asks where to write an export that is no DICOM file, in a chooser
  /// titled `title` starting at `suggestedPath` and offering `filter`
  /// ("XML files (*.xml)"); nothing when cancelled. The chooser does not ask
  /// about replacing a file: the caller does.
  virtual std::optional<std::string> AskExportPath(const std::string& title, const std::string& suggestedPath,
                                                   const std::string& filter) = 0;

  /// Runs `work` while a progress window titled `label` shows how far it
  /// got and offers Cancel; returns when `work` has returned. `work` runs
  /// away from the window's thread (the windows keep painting) and must
  /// not touch the documents.
  virtual void RunWithProgress(const std::string& label, const std::function<void(const ProgressReport&)>& work) = 0;

  /// A short note in the status bar (no answer needed).
  virtual void ShowStatus(const std::string& text) = 0;
};

}  // namespace quillon
