#include "base/AtomicFileWriter.h"

#include "base/FileStream.h"
#include "base/TemporaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace quillon {

namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

const char* DescribeFileType(mode_t mode) {
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

/// The file a save of `path` replaces: `path` itself, or the file a
/// symbolic link points to (the link stays a link). Only a regular file or
/// a name not taken yet qualifies: renaming a regular file over a device,
/// FIFO or socket would break whatever uses it — /dev/null for everyone,
/// when saving as root. A path the system cannot look up (a name too long,
/// a symbolic link loop, a folder that may not be searched) is an error.
Result<std::string> ResolveTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) return Error(ErrorCode::Io, "cannot save as " + Quoted(path) + ": " + std::strerror(errno));
    if (std::filesystem::path(path).filename().empty()) return Error(ErrorCode::Io, Quoted(path) + " names no file");
    return path;  // a new file; making the temporary file checks its folder
  }
  std::string target = path;
  if (S_ISLNK(info.st_mode)) {
    const std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path.c_str(), nullptr), std::free);
    if (!resolved || ::stat(resolved.get(), &info) != 0) {
      return Error(ErrorCode::Io, "cannot resolve " + Quoted(path) + ": " + std::strerror(errno));
    }
    target = resolved.get();
  }
  if (S_ISDIR(info.st_mode)) return Error(ErrorCode::Io, Quoted(path) + " is a folder");
  if (!S_ISREG(info.st_mode)) {
    return Error(ErrorCode::Io,
                 Quoted(path) + " is " + DescribeFileType(info.st_mode) + "; a save only replaces a regular file");
  }
  return target;
}

}  // namespace

Status WriteFileAtomically(const std::string& path, const std::function<Status(CFileStream&)>& write,
                           Durability durability) {
  const Result<std::string> target = ResolveTarget(path);
  if (!target) return target.GetError();
  CTemporaryFile temporary;
  if (Status created = temporary.Create(*target); !created) return created;
  // The stream gets a descriptor of its own: the temporary file's stays
  // open after the stream is closed, to give an unnamed file its name.
  CFileStream stream;
  if (!stream.Adopt(::fcntl(temporary.Descriptor(), F_DUPFD_CLOEXEC, 0), path)) {
    return Error(ErrorCode::Io, "cannot write " + Quoted(path) + ": " + std::strerror(stream.LastOsError()));
  }
  if (durability == Durability::Synced) stream.StartWritebackEarly();
  Status written = write(stream);
  // The stream's own failure (a full disk) explains a failed write best.
  if (stream.HasFailed()) written = stream.State();
  if (written) written = durability == Durability::Synced ? stream.Sync() : stream.Flush();
  if (written) written = stream.Close();
  if (!written) {
    stream.Abort();
    return written;  // the temporary file goes with `temporary`
  }
  return temporary.Replace(path, durability == Durability::Synced);
}

Status SyncFileSystemOf(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error(ErrorCode::Io, "cannot open " + Quoted(path) + ": " + std::strerror(errno));
  const bool synced = ::syncfs(fd) == 0;
  const int reason = errno;
  ::close(fd);
  if (!synced) return Error(ErrorCode::Io, "cannot write out " + Quoted(path) + ": " + std::strerror(reason));
  return Ok();
}

}  // namespace quillon
