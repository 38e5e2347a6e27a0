#include "base/HelperProcess.h"

#include "base/ChildResult.h"
#include "base/HelperMain.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <unistd.h>

namespace quillon {

namespace {

/// A descriptor closed when it goes.
class CDescriptor {
 public:
  explicit CDescriptor(int descriptor) : m_descriptor(descriptor) {}
  CDescriptor(const CDescriptor&) = delete;
  CDescriptor& operator=(const CDescriptor&) = delete;
  ~CDescriptor() {
    if (m_descriptor >= 0) close(m_descriptor);
  }
  int Get() const { return m_descriptor; }

 private:
  int m_descriptor;
};

/// A memory file of `size` zeroed bytes, closed on exec, on a descriptor
/// above the helper's own: the child's dup2 onto 3 and 4 must not overwrite
/// the other one before it is moved.
CDescriptor MemoryFile(const char* name, uint64_t size) {
  const CDescriptor created(memfd_create(name, MFD_CLOEXEC));
  if (created.Get() < 0 || ftruncate(created.Get(), static_cast<off_t>(size)) != 0) return CDescriptor(-1);
  return CDescriptor(fcntl(created.Get(), F_DUPFD_CLOEXEC, kHelperOutputDescriptor + 1));
}

bool WriteAll(int descriptor, const uint8_t* data, uint64_t length) {
  for (uint64_t done = 0; done < length;) {
    const ssize_t written = pwrite(descriptor, data + done, length - done, static_cast<off_t>(done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<uint64_t>(written);
  }
  return true;
}

bool ReadAll(int descriptor, uint64_t offset, void* out, uint64_t length) {
  auto* bytes = static_cast<uint8_t*>(out);
  for (uint64_t done = 0; done < length;) {
    const ssize_t got = pread(descriptor, bytes + done, length - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<uint64_t>(got);
  }
  return true;
}

/// Starts `argv[0]` on the two memory files as base/HelperMain.h says;
/// its process id, or -1.
pid_t Spawn(const std::vector<char*>& argv, int input, int output) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  pid_t child = -1;
  char* const environment[] = {nullptr};
  const bool prepared =
      posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
      posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO) == 0 &&
      posix_spawn_file_actions_adddup2(&actions, input, kHelperInputDescriptor) == 0 &&
      posix_spawn_file_actions_adddup2(&actions, output, kHelperOutputDescriptor) == 0 &&
      // Whatever else the caller left open without O_CLOEXEC stays behind.
      posix_spawn_file_actions_addclosefrom_np(&actions, kHelperOutputDescriptor + 1) == 0 &&
      posix_spawnattr_setsigdefault(&attributes, &all) == 0 && posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
  if (prepared && posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environment) != 0) child = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

}  // namespace

std::string FindHelperProgram(const std::string& name) {
  std::error_code ignored;
  const auto executable = [&name, &ignored](const std::filesystem::path& folder) {
    const std::filesystem::path path = folder / name;
    return std::filesystem::is_regular_file(path, ignored) && access(path.c_str(), X_OK) == 0 ? path.string()
                                                                                                : std::string();
  };
  if (const char* chosen = secure_getenv("QUILLON_HELPER_DIR"); chosen != nullptr && *chosen != '\0') {
    return executable(chosen);
  }
  // A program run from the build tree it was built in (a test, a bench, a
  // developer's run) takes the helper built beside it; an installed one
  // never looks into a build tree that happens to be on the machine.
  const std::string self = std::filesystem::read_symlink("/proc/self/exe", ignored).string();
  if (!ignored && self.rfind(std::string(QUILLON_BUILD_ROOT) + "/", 0) == 0) {
    if (std::string built = executable(QUILLON_HELPER_BUILD_DIR); !built.empty()) return built;
  }
  return executable(QUILLON_HELPER_INSTALL_DIR);
}

std::optional<Status> DecodeInHelperProcess(const std::string& what, const std::string& program,
                                            const std::vector<std::string>& arguments, const uint8_t* input,
                                            uint64_t length, uint8_t* output, uint64_t size,
                                            const ChildLimits& limits) {
  const CDescriptor in(MemoryFile("quillon-helper-input", length));
  const CDescriptor out(MemoryFile("quillon-helper-output", kChildOutputOffset + size));
  if (in.Get() < 0 || out.Get() < 0 || !WriteAll(in.Get(), input, length)) return std::nullopt;

  std::string cpuSeconds = std::to_string(limits.cpuSeconds);
  std::vector<std::string> words = arguments;
  std::vector<char*> argv{const_cast<char*>(program.c_str()), cpuSeconds.data()};
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t child = Spawn(argv, in.Get(), out.Get());
  if (child < 0) return std::nullopt;

  const ChildEnd end = AwaitChild(child, limits.wallSeconds);
  ChildResult result{};
  if (!ReadAll(out.Get(), 0, &result, sizeof result)) {
    return Error(ErrorCode::Io, what + ": the helper's result cannot be read (" + std::strerror(errno) + ")");
  }
  if (Status judged = JudgeChild(what, end, limits, result); !judged) return judged;
  if (!ReadAll(out.Get(), kChildOutputOffset, output, size)) {
    return Error(ErrorCode::Io, what + ": the helper's output cannot be read (" + std::strerror(errno) + ")");
  }
  return Ok();
}

}  // namespace quillon
