/// \file
/// CQtUserInterface — the editor's questions and messages as Qt windows:
/// message boxes, the element dialogs and the file choosers.
#pragma once

#include "app/UserInterface.h"

#include <functional>

class QWidget;
class QString;

namespace quillon {

class ISettingsStore;

class CQtUserInterface : public IUserInterface {
 public:
  /// Windows open over `parent`; "Create UID" counts in `settings`;
  /// `showStatus` puts a note in the status bar.
  CQtUserInterface(QWidget* parent, ISettingsStore* settings, std::function<void(const QString&)> showStatus);

  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  bool AskOkCancel(const std::string& text) override;
  SaveChoice AskSaveChanges(const std::string& documentTitle) override;
  bool RunElementDialog(CDicomElementDlg& dialog) override;
  bool RunAddSequenceDialog(CAddSequenceDlg& dialog) override;
  bool RunSelectDestinationDialog(CSelectDestinationDlg& dialog) override;
  bool RunSelectFormatDialog(CSelectFormatDlg& dialog) override;
  bool RunDeidentifyDialog(CDeidentifyDlg& dialog) override;
  void ShowInformation(const std::string& text) override;
  std::optional<std::string> AskOpenPath(const std::string& title, const std::string& startFolder) override;
  std::optional<std::string> AskFolderPath(const std::string& title, const std::string& startFolder) override;
  std::optional<std::string> AskExportPath(const std::string& title, const std::string& suggestedPath,
                                           const std::string& filter) override;
  std::optional<std::string> AskSavePath(const std::string& title, const std::string& suggestedPath) override;
  void RunWithProgress(const std::string& label, const std::function<void(const ProgressReport&)>& work) override;
  void ShowStatus(const std::string& text) override;

 private:
  QWidget* m_parent;
  ISettingsStore* m_settings;
  std::function<void(const QString&)> m_showStatus;
};

}  // namespace quillon
