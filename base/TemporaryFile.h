/// \file
/// The file a save writes before it replaces its target. Linux can make a
/// file without a name (O_TMPFILE): it vanishes with its writer, so a save
/// that is killed half-way leaves nothing behind, and it gets a name only
/// for the moment between being complete and being renamed over the
/// target. File systems that cannot (some network and older ones) get a
/// named file instead, whose name says which process writes it; the next
/// save beside the same target removes it once that process is gone.
#pragma once

#include "base/Result.h"

#include <string>

namespace quillon {

class CTemporaryFile {
 public:
  CTemporaryFile() = default;
  CTemporaryFile(const CTemporaryFile&) = delete;
  CTemporaryFile& operator=(const CTemporaryFile&) = delete;
  /// Closes the file; one that did not replace its target is removed.
  ~CTemporaryFile();

  /// Makes an empty file, open for reading and writing, in the folder of
  /// `target` (so that the rename is atomic); an Io error when the folder
  /// does not take one.
  Status Create(const std::string& target);
  /// The open file, for the writer (which may duplicate it, and must have
  /// flushed it to disk before Replace).
  int Descriptor() const { return m_fd; }
  /// Renames the file over the target given to Create (which keeps its
  /// permissions) and, when `syncFolder`, syncs the folder. `shownPath` is
  /// the target as the user named it, for the error's message.
  Status Replace(const std::string& shownPath, bool syncFolder = true);

  /// True while the file has no name (O_TMPFILE).
  bool IsUnnamed() const { return m_fd >= 0 && m_path.empty(); }

 private:
  /// True when made, false where the file system cannot make unnamed files.
  Result<bool> CreateUnnamed();
  Status CreateNamed();
  Status GiveName();

  std::string m_target;
  std::string m_folder;
  std::string m_name;  ///< the target's file name
  std::string m_path;  ///< the file's own path while it has a name
  int m_fd = -1;
};

/// Removes from the folder of `target` the temporary files that saves of
/// `target` left when they were killed before finishing on a file system
/// without unnamed files. Only files named as this program names them
/// (".NAME.quillon-PID-RANDOM.tmp") are candidates, and of those only the
/// regular files of this user whose writing process is gone and that no
/// process holds locked: a file that is not ours, or that a live save is
/// writing (in another PID namespace too), is never touched. Create calls
/// it before it makes a named file.
void RemoveStaleTemporaryFiles(const std::string& target);

}  // namespace quillon
