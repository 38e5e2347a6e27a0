/// \file
/// Saving without ever losing the old file: the new content goes to a
/// temporary file in the target's folder, is flushed to disk, and is then
/// renamed over the target in one step. On any failure the target is
/// untouched and the temporary file is gone. Where the file system allows
/// it, the temporary file has no name until it is complete, so a save that
/// is killed half-way leaves nothing behind; elsewhere its name says which
/// process writes it, and the next save beside the same target removes the
/// ones whose writer is gone.
#pragma once

#include "base/Result.h"

#include <functional>
#include <string>

namespace quillon {

class CFileStream;

/// When a save is on disk. Synced: before WriteFileAtomically returns (the
/// file's content, then the folder's new entry), so that a crash right
/// after it leaves the new file or the old one, whole. Deferred: the file
/// is renamed into place at once and left to the system to write out; a
/// batch that writes many new files makes them durable together with one
/// SyncFileSystemOf at its end instead of two disk flushes per file. For
/// writes that replace nothing the user would lose.
enum class Durability { Synced, Deferred };

/// Writes `path` through a temporary file with `write`, which returns an
/// error (or leaves the stream failed) to abandon the save. Only a regular file (or a symbolic link
/// to one, which stays a link) or a name not yet taken is saved to: a
/// folder, device, FIFO or socket is refused, as is a path the system
/// cannot look up (too long, a symbolic link loop, a folder that may not be
/// searched). A new file gets the default permissions; a replaced file
/// keeps its own. On failure the error says why.
Status WriteFileAtomically(const std::string& path, const std::function<Status(CFileStream&)>& write,
                           Durability durability = Durability::Synced);

/// Writes out everything written to the file system that holds `path`
/// (a file or folder); an Io error, saying why, when that fails.
Status SyncFileSystemOf(const std::string& path);

}  // namespace quillon
