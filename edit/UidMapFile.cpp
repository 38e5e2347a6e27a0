#include "edit/UidMapFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>

namespace quillon {

namespace {

constexpr const char* kHeader =
    "# Quillon de-identification map. The key below derives every new UID and date offset of the runs\n"
    "# that use this file; with it, de-identified files lead back to their originals. Keep it as safe\n"
    "# as the originals.\n";

Error OsError(const std::string& what, const std::string& path, int reason) {
  return Error(ErrorCode::Io, what + " \"" + path + "\": " + std::strerror(reason));
}

/// Writes all of `text` to `fd`, retrying short writes.
bool WriteAll(int fd, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

Result<UidMapKey> ReadKey(const std::string& path) {
  std::ifstream in(path);
  if (!in) return OsError("cannot read the UID map", path, errno);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("key ", 0) != 0) break;
    Result<UidMapKey> key = KeyFromHex(line.substr(4));
    if (!key) return key.GetError().WithContext("the UID map \"" + path + "\" is damaged: ");
    return key;
  }
  return Error(ErrorCode::Malformed, "the UID map \"" + path + "\" holds no key line (\"key\" and 64 hexadecimal "
                                     "digits before any other line); is it a Quillon UID map?");
}

/// Makes the file at `path` holding `key`, whole or not at all: the text
/// goes to a file of its own first, which then gets the name by a link that
/// fails when the name is taken. False, with no error, when another process
/// made the file first.
Result<bool> CreateExclusively(const std::string& path, const UidMapKey& key) {
  const std::string temporary = path + ".new-" + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return OsError("cannot create the UID map", path, errno);
  const bool written = WriteAll(fd, std::string(kHeader) + "key " + KeyToHex(key) + "\n") && ::fsync(fd) == 0;
  const int writeError = errno;
  ::close(fd);
  if (!written) {
    ::unlink(temporary.c_str());
    return OsError("cannot write the UID map", path, writeError);
  }
  const int linked = ::link(temporary.c_str(), path.c_str());
  const int linkError = errno;
  ::unlink(temporary.c_str());
  if (linked == 0) return true;
  if (linkError == EEXIST) return false;
  return OsError("cannot create the UID map", path, linkError);
}

}  // namespace

std::string KeyToHex(const UidMapKey& key) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : key) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

Result<UidMapKey> KeyFromHex(const std::string& text) {
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  UidMapKey key{};
  bool valid = text.size() == 2 * key.size();
  for (std::size_t i = 0; valid && i < key.size(); ++i) {
    const int high = digit(text[2 * i]);
    const int low = digit(text[2 * i + 1]);
    valid = high >= 0 && low >= 0;
    key[i] = static_cast<uint8_t>(high * 16 + low);
  }
  if (!valid) return Error(ErrorCode::Malformed, "the key is not 64 hexadecimal digits");
  return key;
}

Result<UidMapKey> RandomUidMapKey() {
  UidMapKey key{};
  try {
    std::random_device device;
    for (std::size_t i = 0; i < key.size(); i += 4) {
      const uint32_t bits = device();
      for (std::size_t b = 0; b < 4; ++b) key[i + b] = static_cast<uint8_t>(bits >> (8 * b));
    }
  } catch (const std::exception& error) {
    // A key that could be guessed would undo the de-identification: no
    // fallback to the clock.
    return Error(ErrorCode::Io, std::string("no source of randomness for a new key: ") + error.what());
  }
  return key;
}

Result<UidMapKey> OpenUidMapFile(const std::string& path, const UidMapKey& freshKey) {
  if (::access(path.c_str(), F_OK) != 0) {
    if (errno != ENOENT) return OsError("cannot look up the UID map", path, errno);
    Result<bool> created = CreateExclusively(path, freshKey);
    if (!created) return created.GetError();
    if (*created) return freshKey;
  }
  return ReadKey(path);
}

Status AppendToUidMapFile(const std::string& path, const std::string& lines) {
  if (lines.empty()) return Ok();
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return OsError("cannot open the UID map", path, errno);
  // The lock keeps the batches of workers sharing the file whole even where
  // appending is not atomic (network file systems).
  int lockResult = 0;
  do {
    lockResult = ::flock(fd, LOCK_EX);
  } while (lockResult != 0 && errno == EINTR);
  const bool written = lockResult == 0 && WriteAll(fd, lines) && ::fsync(fd) == 0;
  const int reason = errno;
  ::close(fd);  // also releases the lock
  if (!written) return OsError("cannot add to the UID map", path, reason);
  return Ok();
}

}  // namespace quillon
