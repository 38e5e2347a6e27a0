#include "base/AtomicFileWriter.h"

#include "base/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

/// The file a save should replace: what a symbolic link points to, not the
/// link. Empty with `error` set when that cannot be known.
std::string ResolveTarget(const std::string& path, std::string& error) {
  std::error_code ec;
  fs::path target(path);
  if (fs::symlink_status(target, ec).type() == fs::file_type::symlink) {
    target = fs::canonical(target, ec);
    if (ec) {
      error = "cannot resolve \"" + path + "\": " + ec.message();
      return {};
    }
  }
  if (fs::is_directory(target)) {
    error = "\"" + path + "\" is a folder";
    return {};
  }
  return target.string();
}

}  // namespace

std::string CreateTemporaryFileBeside(const std::string& target, std::string& error) {
  error.clear();
  const std::string resolved = ResolveTarget(target, error);
  if (resolved.empty()) return {};
  CFileStream stream;
  std::string temporary;
  if (!CreateTemporaryBeside(resolved, stream, temporary, error)) return {};
  stream.Abort();
  return temporary;
}

bool ReplaceWithTemporaryFile(const std::string& temporaryPath, const std::string& target, std::string& error) {
  error.clear();
  const std::string resolved = ResolveTarget(target, error);
  if (resolved.empty()) {
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
  const std::string target = ResolveTarget(path, error);
  if (target.empty()) return false;
  CFileStream stream;
  std::string temporary;
  if (!CreateTemporaryBeside(target, stream, temporary, error)) return false;
  bool written = write(stream);
  if (stream.HasFailed()) {
    error = stream.State().Message();
    written = false;
  } else if (!written) {
    error = "writing \"" + path + "\" failed";
  } else {
    Status finished = stream.Sync();
    if (finished) finished = stream.Close();
    if (!finished) {
      error = finished.Message();
      written = false;
    }
  }
  if (!written) {
    stream.Abort();
    ::unlink(temporary.c_str());
    return false;
  }
  return ReplaceWithTemporaryFile(temporary, target, error);
}


}  // namespace quillon
