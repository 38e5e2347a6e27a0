/// \file
/// Which files a batch reads and where each result goes. Folders are
/// walked recursively and their tree is mirrored under the output folder;
/// a file given by name goes to the output folder under its own name; in
/// place, every result replaces its source.
#pragma once

#include "base/Result.h"

#include <string>
#include <utility>
#include <vector>

namespace quillon {

/// One file of a batch.
struct BatchFile {
  std::string source;
  std::string target;
};

struct BatchPlan {
  /// In the order of the inputs; a folder's files sorted by path.
  std::vector<BatchFile> files;
  /// Inputs that cannot be part of the batch (missing, unreadable folder,
  /// two sources for one target), each with the reason.
  std::vector<std::pair<std::string, std::string>> failures;
};

/// Plans a batch over `inputs` (files and folders) with results in
/// `outputFolder`, or (`inPlace`) over their sources. Refused as a whole
/// when there is nowhere to write (no output folder and not in place) or
/// when results would replace their sources without `inPlace` (the output
/// folder is an input folder). An output folder inside an input folder is
/// left out of the walk, so results never become inputs.
Result<BatchPlan> PlanBatch(const std::vector<std::string>& inputs, const std::string& outputFolder, bool inPlace);

}  // namespace quillon
