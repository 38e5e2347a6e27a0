#include "base/TemporaryFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string_view>

namespace quillon {

namespace {

constexpr const char* kMarker = ".quillon-";
constexpr std::string_view kSuffix = ".tmp";
// The target's name is cut to this many bytes in the temporary file's
// name, so that a target name near the 255-byte limit still leaves room
// for the marker, the process id and the random part.
constexpr size_t kMaxNamePart = 200;

Error OsError(const std::string& what, const std::string& path, int error) {
  return Error(ErrorCode::Io, what + " \"" + path + "\": " + std::strerror(error));
}

/// ".NAME.quillon-": what every temporary file of `name` starts with.
std::string TemporaryPrefix(const std::string& name) {
  size_t length = std::min(name.size(), kMaxNamePart);
  // Never cut inside a UTF-8 sequence.
  while (length < name.size() && length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) --length;
  std::string prefix(".");
  prefix.append(name, 0, length).append(kMarker);
  return prefix;
}

uint64_t RandomBits() {
  uint64_t bits = 0;
  if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) == sizeof bits) return bits;
  return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

/// ".NAME.quillon-PID-RANDOM.tmp" in `folder`.
std::string TemporaryPath(const std::string& folder, const std::string& name) {
  char tail[48];
  std::snprintf(tail, sizeof tail, "%ld-%016llx.tmp", static_cast<long>(::getpid()),
                static_cast<unsigned long long>(RandomBits()));
  return (std::filesystem::path(folder) / (TemporaryPrefix(name) + tail)).string();
}

/// Tries `make` (0 or an errno value) on fresh temporary paths until one is
/// not taken yet; the path it took.
Result<std::string> AtFreePath(const std::string& folder, const std::string& name,
                               const std::function<int(const std::string&)>& make) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = TemporaryPath(folder, name);
    const int result = make(path);
    if (result == 0) return path;
    if (result != EEXIST) return OsError("cannot create a temporary file in", folder, result);
  }
  return Error(ErrorCode::Io, "cannot find a free temporary file name in \"" + folder + "\"");
}

std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: the rename itself already happened
  ::close(fd);
}

/// The process id in "PID-RANDOM.tmp" (what follows the prefix), or 0 when
/// the rest is not of that form.
pid_t WriterOf(std::string_view rest) {
  long pid = 0;
  const auto [end, problem] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
  if (problem != std::errc() || pid <= 0 || pid > std::numeric_limits<pid_t>::max() ||
      end == rest.data() + rest.size() || *end != '-') {
    return 0;
  }
  const std::string_view random(end + 1, static_cast<size_t>(rest.data() + rest.size() - end - 1));
  if (random.size() != 16 + kSuffix.size() || !random.ends_with(kSuffix)) return 0;
  for (const char c : random.substr(0, 16)) {
    if (std::string_view("0123456789abcdef").find(c) == std::string_view::npos) return 0;
  }
  return static_cast<pid_t>(pid);
}

/// Removes `name` in the open `folder` when it is a regular file of this
/// user that no process holds locked. Every save locks its temporary file
/// while it writes it, so an unlocked one has no writer left.
void RemoveIfAbandoned(int folder, const char* name) {
  const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened {};
  struct stat current {};
  if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
      ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstatat(folder, name, &current, AT_SYMLINK_NOFOLLOW) == 0 &&
      current.st_dev == opened.st_dev && current.st_ino == opened.st_ino) {
    ::unlinkat(folder, name, 0);
  }
  ::close(fd);
}

}  // namespace

CTemporaryFile::~CTemporaryFile() {
  if (!m_path.empty()) ::unlink(m_path.c_str());
  if (m_fd >= 0) ::close(m_fd);
}

Status CTemporaryFile::Create(const std::string& target) {
  const std::filesystem::path path(target);
  m_target = target;
  m_folder = path.has_parent_path() ? path.parent_path().string() : ".";
  m_name = path.filename().string();
  Result<bool> unnamed = CreateUnnamed();
  if (!unnamed) return unnamed.GetError();
  if (*unnamed) return Ok();
  RemoveStaleTemporaryFiles(target);
  return CreateNamed();
}

Result<bool> CTemporaryFile::CreateUnnamed() {
  const int fd = ::open(m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) {
    // Not every file system (nor an old kernel) makes unnamed files.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return false;
    return OsError("cannot create a temporary file in", m_folder, errno);
  }
  // It gets its name through /proc; where that is not mounted it could
  // never get one.
  if (::access(ProcPath(fd).c_str(), F_OK) != 0) {
    ::close(fd);
    return false;
  }
  m_fd = fd;
  ::flock(m_fd, LOCK_EX | LOCK_NB);  // for the moment it has a name (see RemoveIfAbandoned)
  return true;
}

Status CTemporaryFile::CreateNamed() {
  const auto make = [this](const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return m_fd >= 0 ? 0 : errno;
  };
  Result<std::string> path = AtFreePath(m_folder, m_name, make);
  if (!path) return path.GetError();
  m_path = std::move(*path);
  ::flock(m_fd, LOCK_EX | LOCK_NB);  // tells RemoveStaleTemporaryFiles it has a writer
  return Ok();
}

Status CTemporaryFile::GiveName() {
  const auto link = [this](const std::string& path) {
    if (::linkat(AT_FDCWD, ProcPath(m_fd).c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno == EEXIST) return EEXIST;
    return ::linkat(m_fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
  };
  Result<std::string> path = AtFreePath(m_folder, m_name, link);
  if (!path) return path.GetError();
  m_path = std::move(*path);
  return Ok();
}

Status CTemporaryFile::Replace(const std::string& shownPath, bool syncFolder) {
  // A replaced file keeps its permissions.
  struct stat existing {};
  if (::stat(m_target.c_str(), &existing) == 0) ::fchmod(m_fd, existing.st_mode & 07777);
  // An unnamed file cannot be renamed over the target: it gets a name
  // first (linking it to the target itself would fail, as that exists).
  if (m_path.empty()) {
    if (Status named = GiveName(); !named) return named;
  }
  if (::rename(m_path.c_str(), m_target.c_str()) != 0) {
    return OsError("cannot replace", shownPath, errno);  // the destructor removes the temporary file
  }
  m_path.clear();
  if (syncFolder) SyncFolder(m_folder);
  return Ok();
}

void RemoveStaleTemporaryFiles(const std::string& target) {
  const std::filesystem::path path(target);
  const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
  const std::string prefix = TemporaryPrefix(path.filename().string());
  const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
  if (!listing) return;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string_view name(entry->d_name);
    if (!name.starts_with(prefix)) continue;
    const pid_t writer = WriterOf(name.substr(prefix.size()));
    // A process that may still run (or whose id another process now has)
    // keeps its file.
    if (writer == 0 || ::kill(writer, 0) == 0 || errno != ESRCH) continue;
    RemoveIfAbandoned(::dirfd(listing.get()), entry->d_name);
  }
}

}  // namespace quillon
