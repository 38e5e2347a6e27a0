// A scripted stand-in for the person at the screen: each dialog or question
// takes the next answer queued by the test, and everything shown is
// recorded. A call the test did not expect fails the test.
#pragma once

#include "app/AddSequenceDlg.h"
#include "app/DeidentifyDlg.h"
#include "app/DicomElementDlg.h"
#include "app/SelectDestinationDlg.h"
#include "app/SelectFormatDlg.h"
#include "app/UserInterface.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace quillon::test {

class CFakeUserInterface : public IUserInterface {
 public:
  /// Fills the element dialog's fields; OK is then pressed (the dialog
  /// closes only if it accepts them). Return false to press Cancel instead.
  using ElementScript = std::function<bool(CDicomElementDlg&)>;
  using SequenceScript = std::function<bool(CAddSequenceDlg&)>;
  using DestinationScript = std::function<bool(CSelectDestinationDlg&)>;
  using FormatScript = std::function<bool(CSelectFormatDlg&)>;
  /// Sets the De-identify dialog's controls; OK is then pressed (the
  /// dialog closes only if it accepts them). False presses Cancel.
  using DeidentifyScript = std::function<bool(CDeidentifyDlg&)>;

  std::vector<std::string> messages;
  std::vector<std::string> statuses;
  std::deque<bool> yesNo;
  /// The yes/no questions asked, in order.
  std::vector<std::string> questions;
  std::deque<bool> okCancel;
  std::deque<SaveChoice> saveChoices;
  std::deque<ElementScript> elementDialogs;
  std::deque<SequenceScript> sequenceDialogs;
  std::deque<DestinationScript> destinationDialogs;
  std::deque<FormatScript> formatDialogs;
  std::deque<DeidentifyScript> deidentifyDialogs;
  std::deque<std::string> savePaths;
  std::deque<std::string> openPaths;
  std::deque<std::string> exportPaths;
  std::deque<std::string> folderPaths;
  /// Informational messages, apart from the warnings in `messages`.
  std::vector<std::string> informations;
  /// Where the last chooser started (the suggested path of an export, the
  /// folder of an open).
  std::string lastChooserStart;
  /// Long work: the label shown, and after how many progress reports the
  /// user presses Cancel (never when negative).
  std::vector<std::string> progressLabels;
  int cancelAfterReports = -1;
  int64_t lastDone = 0;
  int64_t lastTotal = 0;
  /// The element dialogs as they were when OK closed them.
  int elementDialogsShown = 0;

  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowInformation(const std::string& text) override { informations.push_back(text); }
  bool AskYesNo(const std::string& text) override {
    questions.push_back(text);
    return Next(yesNo, text);
  }
  bool AskOkCancel(const std::string& text) override { return Next(okCancel, text); }
  SaveChoice AskSaveChanges(const std::string& title) override {
    return Next(saveChoices, "save changes to " + title, SaveChoice::Cancel);
  }
  bool RunElementDialog(CDicomElementDlg& dialog) override {
    ++elementDialogsShown;
    const ElementScript script = Next(elementDialogs, "element dialog", ElementScript{});
    return script && script(dialog) && dialog.Accept(*this);
  }
  bool RunAddSequenceDialog(CAddSequenceDlg& dialog) override {
    const SequenceScript script = Next(sequenceDialogs, "sequence dialog", SequenceScript{});
    return script && script(dialog) && dialog.Accept(*this);
  }
  bool RunSelectDestinationDialog(CSelectDestinationDlg& dialog) override {
    const DestinationScript script = Next(destinationDialogs, "destination dialog", DestinationScript{});
    return script && script(dialog);
  }
  bool RunSelectFormatDialog(CSelectFormatDlg& dialog) override {
    const FormatScript script = Next(formatDialogs, "format dialog", FormatScript{});
    return script && script(dialog);
  }
  bool RunDeidentifyDialog(CDeidentifyDlg& dialog) override {
    const DeidentifyScript script = Next(deidentifyDialogs, "de-identify dialog", DeidentifyScript{});
    return script && script(dialog) && dialog.Accept(*this);
  }
  std::optional<std::string> AskOpenPath(const std::string& title, const std::string& start) override {
    return NextPath(openPaths, title, start);
  }
  std::optional<std::string> AskFolderPath(const std::string& title, const std::string& start) override {
    return NextPath(folderPaths, title, start);
  }
  std::optional<std::string> AskExportPath(const std::string& title, const std::string& suggested,
                                           const std::string&) override {
    return NextPath(exportPaths, title, suggested);
  }
  void RunWithProgress(const std::string& label, const std::function<void(const ProgressReport&)>& work) override {
    progressLabels.push_back(label);
    int reports = 0;
    work([&](int64_t done, int64_t total) {
      lastDone = done;
      lastTotal = total;
      return cancelAfterReports < 0 || ++reports < cancelAfterReports;
    });
  }
  std::optional<std::string> AskSavePath(const std::string& title, const std::string&) override {
    if (savePaths.empty()) {
      ADD_FAILURE() << "unexpected save dialog for " << title;
      return std::nullopt;
    }
    std::string path = savePaths.front();
    savePaths.pop_front();
    return path;
  }
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }

  /// The last message shown, or "" (and clears the record).
  std::string TakeMessages() {
    std::string all;
    for (const auto& message : messages) all += message + "\n";
    messages.clear();
    return all;
  }

 private:
  /// The next path queued; an empty one stands for Cancel.
  std::optional<std::string> NextPath(std::deque<std::string>& paths, const std::string& title,
                                      const std::string& start) {
    lastChooserStart = start;
    if (paths.empty()) {
      ADD_FAILURE() << "unexpected chooser: " << title;
      return std::nullopt;
    }
    std::string path = paths.front();
    paths.pop_front();
    if (path.empty()) return std::nullopt;
    return path;
  }
  template <typename T>
  T Next(std::deque<T>& answers, const std::string& what, T fallback = T{}) {
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected " << what;
      return fallback;
    }
    T answer = std::move(answers.front());
    answers.pop_front();
    return answer;
  }
};

/// A script that types `group`, `element`, picks `vr` (two letters, or
/// "Undef.") and types the value (and for binary VRs the length).
inline CFakeUserInterface::ElementScript TypeElement(std::string group, std::string element, std::string vr,
                                                     std::string value, std::string length = "0") {
  return [=](CDicomElementDlg& dialog) {
    dialog.groupText = group;
    dialog.elementText = element;
    for (size_t i = 0; i < CDicomElementDlg::kVrNames.size(); ++i) {
      if (vr == CDicomElementDlg::kVrNames[i]) dialog.SelectVrIndex(static_cast<int>(i));
    }
    dialog.valueText = value;
    dialog.lengthText = length;
    return true;
  };
}

}  // namespace quillon::test
