#include "base/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon {

namespace {

/// What the child leaves at the start of the shared mapping; the output
/// follows it on the next page.
struct ChildResult {
  uint32_t finished;  ///< set last, once the rest is written
  uint32_t code;      ///< ErrorCode of a failed step
  uint32_t failed;
  char message[1012];
};
constexpr uint64_t kOutputOffset = 4096;
static_assert(sizeof(ChildResult) <= kOutputOffset);

/// An anonymous mapping shared with the children forked while it exists.
class CSharedMapping {
 public:
  explicit CSharedMapping(uint64_t size) : m_size(size) {
    void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (address != MAP_FAILED) m_address = static_cast<uint8_t*>(address);
  }
  CSharedMapping(const CSharedMapping&) = delete;
  CSharedMapping& operator=(const CSharedMapping&) = delete;
  ~CSharedMapping() {
    if (m_address != nullptr) munmap(m_address, m_size);
  }
  uint8_t* Address() const { return m_address; }

 private:
  uint64_t m_size;
  uint8_t* m_address = nullptr;
};

/// The child's whole life: it never returns. Only what a forked child of a
/// multithreaded process may do before the step (system calls), then the
/// step, then _exit — no atexit handlers, no stdio flush, no destructors
/// of the caller's objects.
[[noreturn]] void RunChild(uint8_t* shared, const ChildLimits& limits,
                           const std::function<Status(uint8_t* shared)>& step) {
  // The caller (a fuzzer, a sanitizer, an application) may handle these
  // signals itself; in the child they must simply end it, and a thread that
  // blocked them must not keep them from doing so.
  for (const int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGALRM, SIGXCPU}) {
    std::signal(signal, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (nowhere >= 0) {
    dup2(nowhere, STDOUT_FILENO);
    dup2(nowhere, STDERR_FILENO);
  }
  // The soft limit sends SIGXCPU; the hard one, a second later, SIGKILL.
  const rlimit cpu{limits.cpuSeconds, limits.cpuSeconds + 1};
  setrlimit(RLIMIT_CPU, &cpu);
  alarm(limits.wallSeconds);

  auto* result = reinterpret_cast<ChildResult*>(shared);
  try {
    const Status status = step(shared + kOutputOffset);
    if (!status) {
      result->failed = 1;
      result->code = static_cast<uint32_t>(status.GetError().Code());
      const std::string& message = status.Message();
      const size_t length = std::min(message.size(), sizeof result->message - 1);
      std::memcpy(result->message, message.data(), length);
      result->message[length] = '\0';
    }
    result->finished = 1;
  } catch (...) {
    // Nothing may unwind into the caller's frames in this process.
    _exit(3);
  }
  _exit(0);
}

/// Waits for `child`; its wait status, or nothing when another waiter took
/// it (SIGCHLD ignored, a wait for any child elsewhere in the program).
std::optional<int> WaitFor(pid_t child) {
  int status = 0;
  for (;;) {
    if (waitpid(child, &status, 0) == child) return status;
    if (errno != EINTR) return std::nullopt;
  }
}

std::string SignalText(int signal) {
  const char* name = sigabbrev_np(signal);
  return "signal " + std::to_string(signal) + (name != nullptr ? std::string(", SIG") + name : std::string());
}

}  // namespace

Status DecodeInChildProcess(const std::string& what, uint8_t* output, uint64_t size, const ChildLimits& limits,
                            const std::function<Status(uint8_t* shared)>& step) {
  const CSharedMapping mapping(kOutputOffset + size);
  if (mapping.Address() == nullptr) {
    return Error(ErrorCode::OutOfMemory, what + ": no memory to decode it into (" + std::strerror(errno) + ")");
  }
  const pid_t child = fork();
  if (child < 0) {
    return Error(ErrorCode::Failure, what + ": no process to decode it in (" + std::strerror(errno) + ")");
  }
  if (child == 0) RunChild(mapping.Address(), limits, step);

  const std::optional<int> status = WaitFor(child);
  const auto* result = reinterpret_cast<const ChildResult*>(mapping.Address());
  if (status && WIFSIGNALED(*status)) {
    const int signal = WTERMSIG(*status);
    if (signal == SIGXCPU || signal == SIGALRM) {
      const uint32_t seconds = signal == SIGALRM ? limits.wallSeconds : limits.cpuSeconds;
      return Error(ErrorCode::Malformed, what + ": the decoder was stopped after " + std::to_string(seconds) +
                                             " seconds (" + SignalText(signal) + ")");
    }
    return Error(ErrorCode::Malformed, what + ": the decoder stopped on damaged data (" + SignalText(signal) + ")");
  }
  if (status && WIFEXITED(*status) && WEXITSTATUS(*status) != 0) {
    return Error(ErrorCode::Malformed, what + ": the decoder stopped on damaged data (exit status " +
                                           std::to_string(WEXITSTATUS(*status)) + ")");
  }
  if (result->finished == 0) {
    return Error(ErrorCode::Malformed, what + ": the decoder stopped without a result");
  }
  if (result->failed != 0) {
    return Error(static_cast<ErrorCode>(result->code),
                 std::string(result->message, strnlen(result->message, sizeof result->message)));
  }
  if (size > 0) std::memcpy(output, mapping.Address() + kOutputOffset, size);
  return Ok();
}

}  // namespace quillon
