#include "app/DeidentifyCommands.h"

#include "app/DeidentifyDlg.h"
#include "app/DicomImageDoc.h"
#include "app/UserInterface.h"
#include "edit/BatchRunner.h"
#include "edit/Deidentifier.h"
#include "edit/UidMap.h"

#include <algorithm>
#include <memory>
#include <thread>

namespace quillon {

namespace {

/// The UID map the dialog names, or one for this run; null after telling
/// the user why it cannot be had.
std::unique_ptr<CUidMap> OpenUidMap(const CDeidentifyDlg& dialog, IUserInterface& ui) {
  Result<std::unique_ptr<CUidMap>> uids =
      dialog.uidMapPath.empty() ? CUidMap::ForOneRun() : CUidMap::FromFile(dialog.uidMapPath);
  if (!uids) {
    ui.ShowMessage("Cannot de-identify: " + uids.Message());
    return nullptr;
  }
  return std::move(*uids);
}

}  // namespace

void DeidentifyDocument(CDicomImageDoc& document, IUserInterface& ui) {
  CDeidentifyDlg dialog(CDeidentifyDlg::Scope::Document);
  if (!ui.RunDeidentifyDialog(dialog)) return;
  const std::unique_ptr<CUidMap> uids = OpenUidMap(dialog, ui);
  if (!uids) return;
  // The work is done on a copy, which then replaces the data set in one
  // change: a failure leaves the document as it was.
  CDicomObject copy;
  if (!copy.CopyFrom(&document.Object())) {
    ui.ShowMessage("Cannot copy object");
    return;
  }
  Result<DeidentifyFindings> findings = CDeidentifier(dialog.options, *uids).Apply(copy);
  if (!findings) {
    ui.ShowMessage("Cannot de-identify: " + findings.Message());
    return;
  }
  document.ReplaceDataSet(std::move(copy), "De-identify");
  if (Status recorded = uids->Flush(); !recorded) ui.ShowMessage("The UID map was not updated: " + recorded.Message());
  if (!findings->burnedInText.empty()) {
    ui.ShowMessage("De-identified. The pixel data may still show who the patient is (" + findings->burnedInText +
                   "): check the image by eye before it leaves.");
  } else {
    ui.ShowStatus("De-identified: save the document to keep it");
  }
}

void DeidentifyFolder(IUserInterface& ui) {
  CDeidentifyDlg dialog(CDeidentifyDlg::Scope::Folder);
  if (!ui.RunDeidentifyDialog(dialog)) return;
  Result<BatchPlan> plan = PlanBatch({dialog.inputFolder}, dialog.outputFolder, false);
  if (!plan) {
    ui.ShowMessage("Cannot de-identify: " + plan.Message());
    return;
  }
  const std::unique_ptr<CUidMap> uids = OpenUidMap(dialog, ui);
  if (!uids) return;
  const CDeidentifier deidentifier(dialog.options, *uids);
  const BatchEdit edit = [&deidentifier](CDicomObject& dataSet, std::vector<std::string>& notes) -> Status {
    Result<DeidentifyFindings> findings = deidentifier.Apply(dataSet);
    if (!findings) return findings.GetError();
    if (!findings->burnedInText.empty()) notes.push_back(findings->burnedInText);
    return Ok();
  };
  BatchSummary summary;
  const unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  ui.RunWithProgress("De-identifying " + dialog.inputFolder, [&](const ProgressReport& report) {
    summary = RunBatch(*plan, edit, jobs, [&report](std::size_t done, std::size_t total) {
      return report(static_cast<int64_t>(done), static_cast<int64_t>(total));
    });
  });
  std::string text = summary.Describe(10);
  if (Status recorded = uids->Flush(); !recorded) text += "The UID map was not updated: " + recorded.Message() + "\n";
  ui.ShowMessage(text);
}

}  // namespace quillon
