#include "base/AtomicFileWriter.h"

#include "base/FileException.h"
#include "base/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

namespace quillon {

namespace {

namespace fs = std::filesystem;

std::string OsError(const std::string& what, const std::string& path, int error) {
  return what + " \"" + path + "\": " + std::strerror(error);
}

/// Opens a new, uniquely named file beside `target`.
bool CreateTemporaryBeside(const fs::path& target, CFileStream& stream, std::string& temporary,
                           std::string& error) {
  std::random_device entropy;
  std::mt19937_64 random((uint64_t{entropy()} << 32) ^ entropy() ^ static_cast<uint64_t>(::getpid()));
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(random()));
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on "." + string.
    std::string name(".");
    name.append(target.filename().string()).append(suffix);
    temporary = (folder / name).string();
    if (stream.Open(temporary, CFileStream::OpenMode::CreateNew)) return true;
    if (stream.LastOsError() != EEXIST) {
      error = OsError("cannot create a temporary file in", folder.string(), stream.LastOsError());
      return false;
    }
  }
  error = "cannot find a free temporary file name in \"" + folder.string() + "\"";
  return false;
}

void SyncFolder(const fs::path& target) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: the rename itself already happened
  ::close(fd);
}

}  // namespace

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

std::string CreateTemporaryFileBeside(const std::string& target, std::string& error) {
  error.clear();
  std::string resolved;
  if (!ResolveTarget(target, resolved, error)) return {};
  CFileStream stream;
  std::string temporary;
  if (!CreateTemporaryBeside(resolved, stream, temporary, error)) return {};
  stream.Abort();
  return temporary;
}

bool ReplaceWithTemporaryFile(const std::string& temporaryPath, const std::string& target, std::string& error) {
  error.clear();
  std::string resolved;
  if (!ResolveTarget(target, resolved, error)) {
    ::unlink(temporaryPath.c_str());
    return false;
  }
  struct stat existing {};
  if (::stat(resolved.c_str(), &existing) == 0) ::chmod(temporaryPath.c_str(), existing.st_mode & 07777);
  if (::rename(temporaryPath.c_str(), resolved.c_str()) != 0) {
    error = OsError("cannot replace", target, errno);
    ::unlink(temporaryPath.c_str());
    return false;
  }
  SyncFolder(resolved);
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::function<bool(CFileStream&)>& write,
                         std::string& error) {
  error.clear();
  std::string target;
  if (!ResolveTarget(path, target, error)) return false;
  CFileStream stream;
  std::string temporary;
  if (!CreateTemporaryBeside(target, stream, temporary, error)) return false;
  bool written = false;
  try {
    written = write(stream);
    if (written) {
      stream.Sync();
      stream.Close();
    } else {
      error = "writing \"" + path + "\" failed";
    }
  } catch (const CFileException& failure) {
    error = failure.what();
    written = false;
  } catch (const std::exception& failure) {
    error = "writing " + Quoted(path) + " failed: " + failure.what();
    written = false;
  } catch (...) {
    error = "writing " + Quoted(path) + " failed";
    written = false;
  }
  if (!written) {
    stream.Abort();
    ::unlink(temporary.c_str());
    return false;
  }
  return ReplaceWithTemporaryFile(temporary, target, error);
}


}  // namespace quillon
