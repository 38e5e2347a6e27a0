/// \file
/// Running one edit over the files of a batch (BatchPlan.h) on several
/// threads: each file is read, edited and saved through a temporary file
/// that replaces the target only once complete, so a failure or a stop
/// never leaves half a file. A result that replaces its source is flushed
/// to disk before the next file; new results are flushed together once
/// the batch is done (two disk flushes per file would cost more than all
/// the rest of the work). A file that is no DICOM file (no preamble and
/// "DICM") is skipped; a file that fails does not stop the others.
#pragma once

#include "base/Result.h"
#include "edit/BatchPlan.h"

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quillon {

class CDicomObject;

/// The edit made to each file's data set. It may add notes about the file
/// that a person should read (burned-in text); an error fails the file.
/// Called from several threads at once.
using BatchEdit = std::function<Status(CDicomObject& dataSet, std::vector<std::string>& notes)>;
/// Told after each file, from the worker threads one at a time, how many
/// files are done of how many; false stops the batch (files under way
/// are finished, no new one is started).
using BatchProgress = std::function<bool(std::size_t done, std::size_t total)>;

struct BatchSummary {
  std::size_t total = 0;
  std::size_t written = 0;
  std::vector<std::string> notDicom;
  /// Each with the reason, the plan's failures first.
  std::vector<std::pair<std::string, std::string>> failures;
  /// What the edit noted, per file.
  std::vector<std::pair<std::string, std::string>> notes;
  bool cancelled = false;

  /// The summary for a person: counts, then failures, notes and files
  /// skipped, each list cut after `listLimit` entries.
  std::string Describe(std::size_t listLimit) const;
};

/// Runs `edit` over `plan`'s files with `jobs` threads (at least one).
/// Without `flushAtEnd` new results are left to the system to write out,
/// as other tools do (results that replace their sources are still
/// flushed one by one).
BatchSummary RunBatch(const BatchPlan& plan, const BatchEdit& edit, unsigned jobs, const BatchProgress& progress,
                      bool flushAtEnd = true);

/// True when the file at `path` starts with the 128-byte preamble and
/// "DICM".
bool IsDicomFile(const std::string& path);

}  // namespace quillon
