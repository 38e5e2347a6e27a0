/// \file
/// "quillon-cli deidentify FILE|FOLDER... (--output DIR | --in-place)
/// [--uid-map FILE] [--jobs N] [options]": removes who the patient is, by
/// the confidentiality profile's basic profile and the options given, from
/// every DICOM file of the inputs. New UIDs and date offsets are derived
/// from the key in the UID map file (or from a key of this run alone), so
/// they agree across files, runs and machines sharing the map.
#include "cli/BatchCommand.h"
#include "cli/CliCommand.h"

#include "edit/Deidentifier.h"
#include "edit/UidMap.h"

#include <iostream>
#include <memory>

namespace quillon::cli {

namespace {

struct DeidentifyCommandOptions {
  BatchTarget target;
  std::string uidMap;
  DeidentifyOptions deidentify;
};

int RunDeidentify(const DeidentifyCommandOptions& options) {
  if (Status valid = options.deidentify.Check(); !valid) {
    std::cerr << "quillon-cli: error: deidentify: " << valid.Message() << "\n";
    return kExitUsage;
  }
  Result<std::unique_ptr<CUidMap>> uids =
      options.uidMap.empty() ? CUidMap::ForOneRun() : CUidMap::FromFile(options.uidMap);
  if (!uids) {
    std::cerr << "quillon-cli: error: deidentify: " << uids.Message() << "\n";
    return kExitFailure;
  }
  const CDeidentifier deidentifier(options.deidentify, **uids);
  const BatchEdit edit = [&deidentifier](CDicomObject& dataSet, std::vector<std::string>& notes) -> Status {
    Result<DeidentifyFindings> findings = deidentifier.Apply(dataSet);
    if (!findings) return findings.GetError();
    if (!findings->burnedInText.empty()) notes.push_back(findings->burnedInText);
    return Ok();
  };
  return RunBatchCommand("deidentify", options.target, edit, [&uids] { return (*uids)->Flush(); });
}

}  // namespace

void RegisterDeidentifyCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<DeidentifyCommandOptions>();
  CLI::App* command = app.add_subcommand("deidentify", "Remove who the patient is from DICOM files");
  AddBatchOptions(*command, options->target);
  command->add_option("--uid-map", options->uidMap,
                      "Map file whose key derives new UIDs and date offsets (made when missing; shared by runs)");
  command->add_flag("--keep-private", options->deidentify.keepPrivate, "Keep private attributes (odd groups)");
  for (const ProfileOptionInfo& info : ProfileOptionInfos()) {
    if (!info.offered) continue;
    const ProfileOption option = info.option;
    command->add_flag_callback(std::string("--") + info.flag,
                               [options, option] { options->deidentify.Set(option); }, info.label);
  }
  command->callback([options, &exitCode] { exitCode = RunDeidentify(*options); });
}

}  // namespace quillon::cli
