#include "edit/BatchRunner.h"

#include "dicom/DicomFile.h"
#include "base/AtomicFileWriter.h"
#include "base/FileStream.h"
#include "dicom/DicomFileWriter.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>
#include <thread>

namespace quillon {

namespace {

struct FileResult {
  enum class Outcome { NotStarted, Written, NotDicom, Failed };
  Outcome outcome = Outcome::NotStarted;
  std::string reason;
  std::vector<std::string> notes;
};

FileResult ProcessFile(const BatchFile& file, const BatchEdit& edit) {
  FileResult result;
  result.outcome = FileResult::Outcome::Failed;
  if (!IsDicomFile(file.source)) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file.source, error)) {
      result.reason = "cannot read the file: " + (error ? error.message() : std::string("not a regular file"));
    } else {
      result.outcome = FileResult::Outcome::NotDicom;
    }
    return result;
  }
  CDicomFile dicom;
  if (Status read = dicom.Load(file.source); !read) {
    result.reason = read.Message();
    return result;
  }
  if (Status edited = edit(dicom.DataSet(), result.notes); !edited) {
    result.reason = edited.Message();
    return result;
  }
  const std::filesystem::path folder = std::filesystem::path(file.target).parent_path();
  std::error_code error;
  if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
    std::filesystem::create_directories(folder, error);
  }
  if (error) {
    result.reason = "cannot make the folder " + folder.string() + ": " + error.message();
    return result;
  }
  // A result that replaces its source is on disk before the next file
  // starts; new results are written out together at the end of the batch.
  const bool inPlace = file.source == file.target;
  Status saved = inPlace ? SaveDicomFile(dicom.DataSet(), file.target) : CheckWritable(dicom.DataSet());
  if (saved && !inPlace) {
    saved = WriteFileAtomically(
        file.target, [&dicom](CFileStream& stream) { return CDicomFileWriter(stream).WriteFile(dicom.DataSet()); },
        Durability::Deferred);
  }
  if (!saved) {
    result.reason = saved.Message();
    return result;
  }
  result.outcome = FileResult::Outcome::Written;
  return result;
}

template <typename List, typename Line>
void AppendList(std::string& text, const char* title, const List& list, std::size_t limit, Line line) {
  if (list.empty()) return;
  text += title;
  text += '\n';
  for (std::size_t i = 0; i < list.size() && i < limit; ++i) text += "  " + line(list[i]) + "\n";
  if (list.size() > limit) text += "  ... and " + std::to_string(list.size() - limit) + " more\n";
}

}  // namespace

bool IsDicomFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char prefix[132];
  return in.read(prefix, sizeof prefix) && std::memcmp(prefix + 128, "DICM", 4) == 0;
}

std::string BatchSummary::Describe(std::size_t listLimit) const {
  std::string text = std::to_string(written) + " of " + std::to_string(total) + " files written, " +
                     std::to_string(notDicom.size()) + " skipped (not DICOM), " + std::to_string(failures.size()) +
                     " failed" + (cancelled ? "; stopped before the end" : "") + ".\n";
  const auto pair = [](const std::pair<std::string, std::string>& entry) { return entry.first + ": " + entry.second; };
  AppendList(text, "Failed:", failures, listLimit, pair);
  AppendList(text, "To check by eye (the pixel data may still show who the patient is):", notes, listLimit, pair);
  AppendList(text, "Skipped, not DICOM:", notDicom, listLimit, [](const std::string& path) { return path; });
  return text;
}

BatchSummary RunBatch(const BatchPlan& plan, const BatchEdit& edit, unsigned jobs, const BatchProgress& progress,
                      bool flushAtEnd) {
  const std::size_t total = plan.files.size();
  std::vector<FileResult> results(total);
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  std::size_t done = 0;
  std::mutex progressMutex;
  const auto work = [&] {
    for (std::size_t index = next++; index < total && !stop; index = next++) {
      results[index] = ProcessFile(plan.files[index], edit);
      const std::lock_guard lock(progressMutex);
      ++done;
      if (progress && !progress(done, total)) stop = true;
    }
  };
  const unsigned threads = static_cast<unsigned>(std::clamp<std::size_t>(jobs, 1, std::max<std::size_t>(total, 1)));
  std::vector<std::thread> workers;
  try {
    for (unsigned i = 1; i < threads; ++i) workers.emplace_back(work);
  } catch (const std::system_error&) {
    // No more threads to be had: the ones started (and this one) do it all.
  }
  work();
  for (std::thread& worker : workers) worker.join();

  BatchSummary summary;
  summary.total = total;
  summary.failures = plan.failures;
  // One flush of the file system for all the new files (they are all below
  // one output folder); until it succeeds none of them counts as written.
  const auto deferred = std::find_if(plan.files.begin(), plan.files.end(), [&](const BatchFile& file) {
    return file.source != file.target &&
           results[static_cast<std::size_t>(&file - plan.files.data())].outcome == FileResult::Outcome::Written;
  });
  if (flushAtEnd && deferred != plan.files.end()) {
    if (Status synced = SyncFileSystemOf(std::filesystem::path(deferred->target).parent_path().string()); !synced) {
      for (std::size_t i = 0; i < total; ++i) {
        if (results[i].outcome == FileResult::Outcome::Written && plan.files[i].source != plan.files[i].target) {
          results[i] = {FileResult::Outcome::Failed, synced.Message(), std::move(results[i].notes)};
        }
      }
    }
  }
  for (std::size_t i = 0; i < total; ++i) {
    const std::string& source = plan.files[i].source;
    FileResult& result = results[i];
    switch (result.outcome) {
      case FileResult::Outcome::NotStarted: summary.cancelled = true; break;
      case FileResult::Outcome::Written: ++summary.written; break;
      case FileResult::Outcome::NotDicom: summary.notDicom.push_back(source); break;
      case FileResult::Outcome::Failed: summary.failures.emplace_back(source, result.reason); break;
    }
    for (std::string& note : result.notes) summary.notes.emplace_back(source, std::move(note));
  }
  return summary;
}

}  // namespace quillon
