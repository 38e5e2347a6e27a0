#include "edit/BatchPlan.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

namespace quillon {

namespace fs = std::filesystem;

namespace {

fs::path Canonical(const fs::path& path) {
  std::error_code ignored;
  fs::path canonical = fs::weakly_canonical(path, ignored);
  return canonical.empty() ? fs::absolute(path, ignored) : canonical;
}

/// The regular files under `folder`, sorted, leaving out `skipped` and its
/// contents and not following links to folders (which could loop); the
/// folders that cannot be read go to `failures`.
std::vector<fs::path> FilesUnder(const fs::path& folder, const fs::path& skipped,
                                 std::vector<std::pair<std::string, std::string>>& failures) {
  std::vector<fs::path> files;
  std::vector<fs::path> folders{folder};
  while (!folders.empty()) {
    const fs::path current = folders.back();
    folders.pop_back();
    std::error_code error;
    for (fs::directory_iterator entry(current, error), end; !error && entry != end; entry.increment(error)) {
      std::error_code kind;
      if (entry->is_symlink(kind)) {
        if (entry->is_regular_file(kind)) files.push_back(entry->path());
      } else if (entry->is_directory(kind)) {
        if (skipped.empty() || Canonical(entry->path()) != skipped) folders.push_back(entry->path());
      } else if (entry->is_regular_file(kind)) {
        files.push_back(entry->path());
      }
    }
    if (error) failures.emplace_back(current.string(), "cannot read the folder: " + error.message());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

Result<BatchPlan> PlanBatch(const std::vector<std::string>& inputs, const std::string& outputFolder, bool inPlace) {
  if (!inPlace && outputFolder.empty()) {
    return Error(ErrorCode::Failure, "no output folder: give one, or replace the originals in place");
  }
  const fs::path output = inPlace ? fs::path() : Canonical(outputFolder);
  BatchPlan plan;
  std::map<fs::path, std::string> sourceOfTarget;
  // `key` is the target with its folder resolved: two sources for one key
  // would write one file.
  const auto add = [&](const fs::path& source, const fs::path& target, const fs::path& key) {
    const auto [where, added] = sourceOfTarget.emplace(key, source.string());
    if (!added) {
      plan.failures.emplace_back(source.string(), "its result would be " + target.string() + ", as that of " +
                                                      where->second);
      return;
    }
    plan.files.push_back({source.string(), target.string()});
  };
  for (const std::string& input : inputs) {
    std::error_code error;
    const fs::file_status status = fs::status(input, error);
    if (error || !fs::exists(status)) {
      plan.failures.emplace_back(input, error ? error.message() : "no such file or folder");
      continue;
    }
    if (fs::is_directory(status)) {
      const fs::path folder = Canonical(input);
      if (!inPlace && folder == output) {
        return Error(ErrorCode::Failure, "the output folder " + outputFolder + " is the input folder " + input +
                                             ": the results would replace the originals (use in-place to mean it)");
      }
      // The files' paths start with `input` as given: their place below it
      // is read off the path, with no look-ups per file.
      const fs::path keyRoot = inPlace ? folder : output;
      for (const fs::path& file : FilesUnder(input, output, plan.failures)) {
        const fs::path relative = file.lexically_relative(input);
        add(file, inPlace ? file : fs::path(outputFolder) / relative, keyRoot / relative);
      }
    } else {
      const fs::path file(input);
      if (!inPlace && Canonical(file.parent_path().empty() ? "." : file.parent_path()) == output) {
        return Error(ErrorCode::Failure, "the output folder " + outputFolder + " holds the input " + input +
                                             ": the result would replace the original (use in-place to mean it)");
      }
      const fs::path target = inPlace ? file : fs::path(outputFolder) / file.filename();
      add(file, target, Canonical(target));
    }
  }
  return plan;
}

}  // namespace quillon
