/// \file
/// "quillon-cli modify FILE|FOLDER... (--output DIR | --in-place)
/// [--jobs N] edits...": the same edits made to every DICOM file of the
/// inputs. Edits: --set PATH=VALUE (insert or replace), --replace
/// PATH=VALUE (only where present), --erase PATH, --erase-all TAG (at any
/// depth), --erase-private, --new-uids (study, series and instance UIDs,
/// consistent across the files of the run). Paths reach into sequences:
/// "(0008,1140)[0].(0008,1150)", "(0008,1140)[*].(0008,1155)".
#include "cli/BatchCommand.h"
#include "cli/CliCommand.h"

#include "edit/DataSetEditor.h"
#include "edit/UidMap.h"

#include <iostream>
#include <memory>

namespace quillon::cli {

namespace {

struct ModifyCommandOptions {
  BatchTarget target;
  std::vector<std::string> sets;
  std::vector<std::string> replaces;
  std::vector<std::string> erasures;
  std::vector<std::string> erasuresEverywhere;
  bool erasePrivate = false;
  bool newUids = false;
};

/// The editor the options describe; refused, saying why, for an option
/// that cannot be read or when no edit is given.
Result<CDataSetEditor> BuildEditor(const ModifyCommandOptions& options, CUidMap* uids) {
  CDataSetEditor editor;
  for (const std::string& text : options.erasuresEverywhere) {
    Result<DicomTag> tag = ParseTag(text);
    if (!tag) return tag.GetError();
    editor.EraseEverywhere(*tag);
  }
  for (const std::string& text : options.erasures) {
    Result<TagPath> path = ParseTagPath(text);
    if (!path) return path.GetError();
    editor.Erase(std::move(*path));
  }
  for (const auto& [texts, onlyIfPresent] : {std::pair{&options.sets, false}, std::pair{&options.replaces, true}}) {
    for (const std::string& text : *texts) {
      auto assignment = ParseAssignment(text);
      if (!assignment) return assignment.GetError();
      if (onlyIfPresent) {
        editor.Replace(std::move(assignment->first), std::move(assignment->second));
      } else {
        editor.Set(std::move(assignment->first), std::move(assignment->second));
      }
    }
  }
  if (options.erasePrivate) editor.ErasePrivate();
  if (uids != nullptr) editor.RenewUids(*uids);
  if (editor.Empty()) {
    return Error(ErrorCode::Failure,
                 "no edit given (--set, --replace, --erase, --erase-all, --erase-private, --new-uids)");
  }
  return editor;
}

int RunModify(const ModifyCommandOptions& options) {
  std::unique_ptr<CUidMap> uids;
  if (options.newUids) {
    Result<std::unique_ptr<CUidMap>> made = CUidMap::ForOneRun();
    if (!made) {
      std::cerr << "quillon-cli: error: modify: " << made.Message() << "\n";
      return kExitFailure;
    }
    uids = std::move(*made);
  }
  const Result<CDataSetEditor> editor = BuildEditor(options, uids.get());
  if (!editor) {
    std::cerr << "quillon-cli: error: modify: " << editor.Message() << "\n";
    return kExitUsage;
  }
  const BatchEdit edit = [&editor](CDicomObject& dataSet, std::vector<std::string>&) { return editor->Apply(dataSet); };
  return RunBatchCommand("modify", options.target, edit, {});
}

}  // namespace

void RegisterModifyCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ModifyCommandOptions>();
  CLI::App* command = app.add_subcommand("modify", "Make the same edits to many DICOM files");
  AddBatchOptions(*command, options->target);
  command->add_option("--set,-s", options->sets, "PATH=VALUE: insert or replace (UTF-8; values separated by \\)");
  command->add_option("--replace,-r", options->replaces, "PATH=VALUE: replace where present");
  command->add_option("--erase,-e", options->erasures, "PATH: remove the element (or the item, PATH ending in [n])");
  command->add_option("--erase-all", options->erasuresEverywhere, "TAG: remove at every depth");
  command->add_flag("--erase-private", options->erasePrivate, "Remove every private element (odd groups)");
  command->add_flag("--new-uids", options->newUids, "New study, series and instance UIDs, consistent in the run");
  command->callback([options, &exitCode] { exitCode = RunModify(*options); });
}

}  // namespace quillon::cli
