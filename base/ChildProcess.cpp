#include "base/ChildProcess.h"

#include "base/ChildResult.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace quillon {

namespace {

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
  for (const int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGXCPU}) {
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
  // The wall-clock limit is the parent's to keep (AwaitChild).
  const rlimit cpu{limits.cpuSeconds, limits.cpuSeconds + 1};
  setrlimit(RLIMIT_CPU, &cpu);

  try {
    RecordChildStatus(*reinterpret_cast<ChildResult*>(shared), step(shared + kChildOutputOffset));
  } catch (...) {
    // Nothing may unwind into the caller's frames in this process.
    _exit(3);
  }
  _exit(0);
}

}  // namespace

Status DecodeInChildProcess(const std::string& what, uint8_t* output, uint64_t size, const ChildLimits& limits,
                            const std::function<Status(uint8_t* shared)>& step) {
  const CSharedMapping mapping(kChildOutputOffset + size);
  if (mapping.Address() == nullptr) {
    return Error(ErrorCode::OutOfMemory, what + ": no memory to decode it into (" + std::strerror(errno) + ")");
  }
  const pid_t child = fork();
  if (child < 0) {
    return Error(ErrorCode::Failure, what + ": no process to decode it in (" + std::strerror(errno) + ")");
  }
  if (child == 0) RunChild(mapping.Address(), limits, step);

  const ChildEnd end = AwaitChild(child, limits.wallSeconds);
  if (Status judged = JudgeChild(what, end, limits, *reinterpret_cast<const ChildResult*>(mapping.Address()));
      !judged) {
    return judged;
  }
  if (size > 0) std::memcpy(output, mapping.Address() + kChildOutputOffset, size);
  return Ok();
}

}  // namespace quillon
