#include "base/ChildWait.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon {

namespace {

/// The wait status of `child`, or nothing when another waiter took it.
std::optional<int> WaitFor(pid_t child) {
  int status = 0;
  for (;;) {
    if (waitpid(child, &status, 0) == child) return status;
    if (errno != EINTR) return std::nullopt;
  }
}

/// True when `child` ended within `wallSeconds`: its pidfd becomes readable
/// when it exits. Without pidfds (an old kernel, no descriptor left) the
/// child's own CPU limit is all that bounds the wait.
bool EndsWithin(pid_t child, uint32_t wallSeconds) {
  // Through syscall: Debian 12's <sys/pidfd.h> declares pidfd_open
  // without C linkage, so C++ cannot link it.
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
  if (pidfd < 0) return true;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(wallSeconds);
  bool ended = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd watch{pidfd, POLLIN, 0};
    const int ready = poll(&watch, 1, static_cast<int>(std::max<decltype(left)>(left, 0)));
    if (ready > 0 || (ready < 0 && errno != EINTR)) ended = true;
    if (ended || ready == 0) break;
  }
  close(pidfd);
  return ended;
}

std::string SignalText(int signal) {
  const char* name = sigabbrev_np(signal);
  return "signal " + std::to_string(signal) + (name != nullptr ? std::string(", SIG") + name : std::string());
}

}  // namespace

ChildEnd AwaitChild(pid_t child, uint32_t wallSeconds) {
  ChildEnd end;
  if (!EndsWithin(child, wallSeconds)) {
    end.timedOut = true;
    kill(child, SIGKILL);
  }
  end.status = WaitFor(child);
  return end;
}

Status JudgeChild(const std::string& what, const ChildEnd& end, const ChildLimits& limits,
                  const ChildResult& result) {
  const std::optional<int>& status = end.status;
  // Killed for its time, unless it ended by itself just then.
  if (end.timedOut && (!status || (WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL))) {
    return Error(ErrorCode::Malformed, what + ": the decoder was stopped after " +
                                           std::to_string(limits.wallSeconds) + " seconds (wall-clock limit)");
  }
  if (status && WIFSIGNALED(*status)) {
    const int signal = WTERMSIG(*status);
    if (signal == SIGXCPU) {
      return Error(ErrorCode::Malformed, what + ": the decoder was stopped after " +
                                             std::to_string(limits.cpuSeconds) + " seconds (" + SignalText(signal) +
                                             ")");
    }
    return Error(ErrorCode::Malformed, what + ": the decoder stopped on damaged data (" + SignalText(signal) + ")");
  }
  if (status && WIFEXITED(*status) && WEXITSTATUS(*status) != 0) {
    return Error(ErrorCode::Malformed, what + ": the decoder stopped on damaged data (exit status " +
                                           std::to_string(WEXITSTATUS(*status)) + ")");
  }
  if (result.finished == 0) return Error(ErrorCode::Malformed, what + ": the decoder stopped without a result");
  if (result.failed != 0) {
    return Error(static_cast<ErrorCode>(result.code),
                 std::string(result.message, strnlen(result.message, sizeof result.message)));
  }
  return Ok();
}

}  // namespace quillon
