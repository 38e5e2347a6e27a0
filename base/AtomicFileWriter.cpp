#include "base/AtomicFileWriter.h"

#include "base/FileException.h"
#include "base/FileStream.h"
#include "base/TemporaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>

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
bool ResolveTarget(const std::string& path, std::string& target, std::string& error) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      error = "cannot save as " + Quoted(path) + ": " + std::strerror(errno);
      return false;
    }
    if (std::filesystem::path(path).filename().empty()) {
      error = Quoted(path) + " names no file";
      return false;
    }
    target = path;  // a new file; making the temporary file checks its folder
    return true;
  }
  target = path;
  if (S_ISLNK(info.st_mode)) {
    const std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path.c_str(), nullptr), std::free);
    if (!resolved || ::stat(resolved.get(), &info) != 0) {
      error = "cannot resolve " + Quoted(path) + ": " + std::strerror(errno);
      return false;
    }
    target = resolved.get();
  }
  if (S_ISDIR(info.st_mode)) {
    error = Quoted(path) + " is a folder";
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error = Quoted(path) + " is " + DescribeFileType(info.st_mode) + "; a save only replaces a regular file";
    return false;
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::function<bool(CFileStream&)>& write,
                         std::string& error) {
  error.clear();
  std::string target;
  if (!ResolveTarget(path, target, error)) return false;
  CTemporaryFile temporary;
  if (!temporary.Create(target, error)) return false;
  // The stream gets a descriptor of its own: the temporary file's stays
  // open after the stream is closed, to give an unnamed file its name.
  CFileStream stream;
  if (!stream.Adopt(::fcntl(temporary.Descriptor(), F_DUPFD_CLOEXEC, 0), path)) {
    error = "cannot write " + Quoted(path) + ": " + std::strerror(stream.LastOsError());
    return false;
  }
  bool written = false;
  try {
    written = write(stream);
    if (written) {
      stream.Sync();
      stream.Close();
    } else {
      error = "writing " + Quoted(path) + " failed";
    }
  } catch (const CFileException& failure) {
    error = failure.what();
  } catch (const std::exception& failure) {
    error = "writing " + Quoted(path) + " failed: " + failure.what();
  } catch (...) {
    error = "writing " + Quoted(path) + " failed";
  }
  if (!written || !error.empty()) {
    stream.Abort();
    return false;  // the temporary file goes with `temporary`
  }
  return temporary.Replace(path, error);
}

}  // namespace quillon
