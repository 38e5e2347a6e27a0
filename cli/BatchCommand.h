/// \file
/// What "deidentify" and "modify" share: the inputs and where results go
/// (--output DIR or --in-place, --jobs N), the progress line on a
/// terminal, the summary, and the exit status.
#pragma once

#include "edit/BatchRunner.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace quillon::cli {

struct BatchTarget {
  std::vector<std::string> inputs;
  std::string output;
  bool inPlace = false;
  /// 0: as many as the machine has cores.
  unsigned jobs = 0;
  /// New results are left to the system to write out (no flush at the end).
  bool noSync = false;
};

/// Adds the inputs and --output, --in-place, --jobs and --no-sync to
/// `command`.
void AddBatchOptions(CLI::App& command, BatchTarget& target);

/// Plans and runs the batch, printing the progress (on a terminal), then
/// the summary on standard output and every failure on standard error.
/// `finish` runs after the files (to save the UID map); its failure fails
/// the command too. The exit status: kExitFailure when any file (or
/// `finish`) failed, kExitUsage when the batch cannot be planned.
int RunBatchCommand(const std::string& name, const BatchTarget& target, const BatchEdit& edit,
                    const std::function<Status()>& finish);

}  // namespace quillon::cli
