#include "cli/BatchCommand.h"

#include "cli/CliCommand.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <limits>
#include <thread>

namespace quillon::cli {

void AddBatchOptions(CLI::App& command, BatchTarget& target) {
  command.add_option("inputs", target.inputs, "Files and folders (folders are walked recursively)")->required();
  CLI::Option* output =
      command.add_option("--output,-o", target.output, "Folder for the results; the input tree is mirrored there");
  CLI::Option* inPlace = command.add_flag("--in-place", target.inPlace, "Replace each file with its result");
  output->excludes(inPlace);
  command.add_option("--jobs,-j", target.jobs, "Files worked on at once (default: the number of cores)")
      ->check(CLI::Range(1u, 1024u));
  command.add_flag("--no-sync", target.noSync,
                   "Leave new results to the system to write out instead of flushing them at the end");
}

int RunBatchCommand(const std::string& name, const BatchTarget& target, const BatchEdit& edit,
                    const std::function<Status()>& finish) {
  Result<BatchPlan> plan = PlanBatch(target.inputs, target.output, target.inPlace);
  if (!plan) {
    std::cerr << "quillon-cli: error: " << name << ": " << plan.Message() << "\n";
    return kExitUsage;
  }
  const unsigned jobs = target.jobs != 0 ? target.jobs : std::max(1u, std::thread::hardware_concurrency());
  // Progress only where a person watches: a terminal on standard error.
  BatchProgress progress;
  if (::isatty(STDERR_FILENO) != 0) {
    progress = [&name](std::size_t done, std::size_t total) {
      std::fprintf(stderr, "\r%s: %zu of %zu files", name.c_str(), done, total);
      if (done == total) std::fputc('\n', stderr);
      return true;
    };
  }
  const BatchSummary summary = RunBatch(*plan, edit, jobs, progress, !target.noSync);
  const Status finished = finish ? finish() : Ok();
  for (const auto& [path, reason] : summary.failures) std::cerr << "Error: " << path << ": " << reason << "\n";
  if (!finished) std::cerr << "quillon-cli: error: " << name << ": " << finished.Message() << "\n";
  std::cout << summary.Describe(std::numeric_limits<std::size_t>::max());
  return summary.failures.empty() && finished ? kExitSuccess : kExitFailure;
}

}  // namespace quillon::cli
