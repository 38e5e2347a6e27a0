/// \file
/// The file-backed settings store: parsing and editing the INI-like text,
/// and the POSIX file work (lock file, temporary file, fsync, rename) that
/// keeps the file whole and the read-modify-write changes atomic.
#include "base/FileSettingsStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace quillon {
namespace {

// ---------------------------------------------------------------------------
// File descriptors and locking

/// Owns one file descriptor; closing it also drops any flock taken on it.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : m_fd(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }
  int Get() const { return m_fd; }
  bool Valid() const { return m_fd >= 0; }
  /// Closes now and reports whether close succeeded (it can report a
  /// delayed write error, which matters before a rename).
  bool Close() {
    const int fd = std::exchange(m_fd, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  void Reset() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }
  int m_fd;
};

/// Holds an exclusive flock on "<settings file>.lock" for its lifetime.
/// Locks belong to the open file description, so every holder opens the
/// lock file itself; this keeps threads of one process apart as well.
class ExclusiveFileLock {
 public:
  explicit ExclusiveFileLock(const std::filesystem::path& lockPath)
      : m_fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (!m_fd.Valid()) return;
    int rc = 0;
    do {
      rc = ::flock(m_fd.Get(), LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    m_locked = rc == 0;
  }
  bool Locked() const { return m_locked; }

 private:
  UniqueFd m_fd;
  bool m_locked = false;
};

enum class LoadResult { Loaded, Missing, Failed };

/// Reads the whole file. A file that does not exist is not an error: it
/// reads as an empty store.
LoadResult ReadWholeFile(const std::filesystem::path& path, std::string& content) {
  content.clear();
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) return errno == ENOENT ? LoadResult::Missing : LoadResult::Failed;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got == 0) return LoadResult::Loaded;
    if (got < 0) {
      if (errno == EINTR) continue;
      return LoadResult::Failed;
    }
    content.append(buffer, static_cast<size_t>(got));
  }
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t put = ::write(fd, data.data(), data.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

std::filesystem::path FolderOf(const std::filesystem::path& file) {
  return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

/// Replaces path by a file holding content, so that any reader, and the
/// disk after a crash, sees either the whole old file or the whole new one.
bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view content) {
  const std::filesystem::path folder = FolderOf(path);
  // Built by appending: GCC 12 warns falsely (-Wrestrict) on "." + string.
  std::string hiddenName(".");
  hiddenName.append(path.filename().string()).append(".XXXXXX");
  std::string tempName = (folder / hiddenName).string();
  UniqueFd fd(::mkstemp(tempName.data()));
  if (!fd.Valid()) return false;

  // Keep the permissions a user may have given the existing file.
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0) ::fchmod(fd.Get(), existing.st_mode & 07777);

  const bool written = WriteAll(fd.Get(), content) && ::fsync(fd.Get()) == 0;
  if (!fd.Close() || !written || ::rename(tempName.c_str(), path.c_str()) != 0) {
    ::unlink(tempName.c_str());
    return false;
  }
  // Make the rename itself durable. The new file is in place whatever
  // happens here, so a failure is not reported.
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Valid()) ::fsync(dir.Get());
  return true;
}

// ---------------------------------------------------------------------------
// The INI-like text

std::vector<std::string> SplitLines(const std::string& content) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    // Files edited on Windows keep working; they are rewritten with "\n".
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string content;
  for (const std::string& line : lines) {
    content += line;
    content += '\n';
  }
  return content;
}

/// The section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> SectionHeader(std::string_view line) {
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
  return line.substr(1, line.size() - 2);
}

/// The key of a "key=value" line, or nullopt for headers, comments and
/// lines without '='.
std::optional<std::string_view> KeyOf(std::string_view line) {
  if (line.empty() || line.front() == '[' || line.front() == ';' || line.front() == '#') {
    return std::nullopt;
  }
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos || eq == 0) return std::nullopt;
  return line.substr(0, eq);
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

/// Only names that read back as the same section and key can be stored.
bool IsStorableName(const std::string& section, const std::string& key) {
  if (section.empty() || HasLineBreak(section) || section.find(']') != std::string::npos) {
    return false;
  }
  return KeyOf(key + "=").has_value() && key.find('=') == std::string::npos &&
         !HasLineBreak(key);
}

/// Where section/key sits in the lines: the index of its line when present,
/// otherwise where a new line for it belongs (after the section's last
/// non-blank line), or npos when the section itself is missing.
struct KeyPosition {
  size_t line = std::string::npos;
  bool found = false;
};

KeyPosition Locate(const std::vector<std::string>& lines, std::string_view section,
                   std::string_view key) {
  KeyPosition position;
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (const auto header = SectionHeader(lines[i])) {
      if (inSection) return position;
      inSection = *header == section;
      if (inSection) position.line = i + 1;
      continue;
    }
    if (!inSection) continue;
    if (KeyOf(lines[i]) == key) {
      position.line = i;
      position.found = true;
      return position;
    }
    if (!lines[i].empty()) position.line = i + 1;
  }
  return position;
}

/// The first value stored for section/key, as written in the file.
std::optional<std::string> FindValue(const std::vector<std::string>& lines,
                                     std::string_view section, std::string_view key) {
  const KeyPosition position = Locate(lines, section, key);
  if (!position.found) return std::nullopt;
  return lines[position.line].substr(key.size() + 1);
}

void SetValue(std::vector<std::string>& lines, const std::string& section,
              const std::string& key, const std::string& rawValue) {
  std::string line = key + "=" + rawValue;
  const KeyPosition position = Locate(lines, section, key);
  if (position.found) {
    lines[position.line] = std::move(line);
  } else if (position.line != std::string::npos) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(position.line), std::move(line));
  } else {
    if (!lines.empty() && !lines.back().empty()) lines.emplace_back();
    lines.push_back("[" + section + "]");
    lines.push_back(std::move(line));
  }
}

std::string EscapeValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c; break;
    }
  }
  return out;
}

/// Undoes EscapeValue. Any other backslash (say from a hand-edited file) is
/// taken literally.
std::string UnescapeValue(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const char next = i + 1 < raw.size() ? raw[i + 1] : '\0';
    if (raw[i] == '\\' && (next == '\\' || next == 'n' || next == 'r')) {
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
      ++i;
    } else {
      out += raw[i];
    }
  }
  return out;
}

/// A decimal int, allowing blanks around it (hand-edited files); anything
/// else, including values outside the range of int, is malformed.
std::optional<int> ParseInt(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  // No HOME (a service or a stripped environment): ask the user database.
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry {};
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr && result->pw_dir != nullptr) {
    return result->pw_dir;
  }
  return {};
}

}  // namespace

// ---------------------------------------------------------------------------
// CFileSettingsStore

CFileSettingsStore::CFileSettingsStore(std::filesystem::path file) : m_path(std::move(file)) {}

std::filesystem::path CFileSettingsStore::DefaultPath() {
  if (const char* file = std::getenv("QUILLON_SETTINGS_FILE"); file != nullptr && *file != '\0') {
    return file;
  }
  std::filesystem::path config;
  // A relative XDG_CONFIG_HOME is invalid and must be ignored.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    config = xdg;
  } else {
    const std::string home = HomeFolder();
    if (home.empty()) return {};
    config = std::filesystem::path(home) / ".config";
  }
  return config / kSettingsKey / "Quillon.ini";
}

std::optional<std::string> CFileSettingsStore::ReadRaw(const std::string& section,
                                                       const std::string& key) const {
  std::string content;
  if (m_path.empty() || ReadWholeFile(m_path, content) != LoadResult::Loaded) return std::nullopt;
  return FindValue(SplitLines(content), section, key);
}

template <typename MakeValue>
bool CFileSettingsStore::Update(const std::string& section, const std::string& key,
                                MakeValue&& makeValue) {
  if (m_path.empty() || !IsStorableName(section, key)) return false;
  const std::lock_guard<std::mutex> guard(m_mutex);

  std::error_code error;
  std::filesystem::create_directories(FolderOf(m_path), error);
  if (error) return false;
  const ExclusiveFileLock lock(std::filesystem::path(m_path) += ".lock");
  if (!lock.Locked()) return false;

  std::string content;
  // A file that exists but cannot be read is not overwritten: that would
  // throw away whatever else it holds.
  if (ReadWholeFile(m_path, content) == LoadResult::Failed) return false;
  std::vector<std::string> lines = SplitLines(content);
  SetValue(lines, section, key, makeValue(FindValue(lines, section, key)));
  return ReplaceFileAtomically(m_path, JoinLines(lines));
}

int CFileSettingsStore::GetInt(const std::string& section, const std::string& key,
                               int defaultValue) {
  const std::optional<std::string> raw = ReadRaw(section, key);
  if (!raw) return defaultValue;
  return ParseInt(*raw).value_or(defaultValue);
}

bool CFileSettingsStore::WriteInt(const std::string& section, const std::string& key,
                                  int value) {
  return Update(section, key, [value](const std::optional<std::string>&) {
    return std::to_string(value);
  });
}

std::string CFileSettingsStore::GetString(const std::string& section, const std::string& key,
                                          const std::string& defaultValue) {
  const std::optional<std::string> raw = ReadRaw(section, key);
  return raw ? UnescapeValue(*raw) : defaultValue;
}

bool CFileSettingsStore::WriteString(const std::string& section, const std::string& key,
                                     const std::string& value) {
  return Update(section, key, [&value](const std::optional<std::string>&) {
    return EscapeValue(value);
  });
}

std::optional<int> CFileSettingsStore::IncrementInt(const std::string& section,
                                                    const std::string& key) {
  int next = 0;
  const bool stored = Update(section, key, [&next](const std::optional<std::string>& raw) {
    const int current = raw ? ParseInt(*raw).value_or(0) : 0;
    // The counter ends up inside UIDs, so it stays a positive int: it wraps
    // to 1 rather than overflowing, and a negative value restarts it.
    next = (current < 0 || current == INT_MAX) ? 1 : current + 1;
    return std::to_string(next);
  });
  if (!stored) return std::nullopt;
  return next;
}

}  // namespace quillon
