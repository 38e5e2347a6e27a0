/// \file
/// AwaitChild and JudgeChild — the parent's half of running a decoding step
/// in a child process, shared by a fork of the caller (base/ChildProcess.h)
/// and a helper program (base/HelperProcess.h), so that both end the same
/// way and say the same: a child that runs past its wall-clock time is
/// killed, and a child that died, exited badly or left no result becomes a
/// Malformed error that names the signal or the limit.
#pragma once

#include "base/ChildResult.h"
#include "base/Result.h"

#include <cstdint>
#include <optional>
#include <string>

#include <sys/types.h>

namespace quillon {

/// How long a child may run: CPU seconds (RLIMIT_CPU, which the child sets
/// on itself) and seconds of wall-clock time, after which its parent kills
/// it.
struct ChildLimits {
  uint32_t cpuSeconds = 10;
  uint32_t wallSeconds = 40;
};

/// How a child ended: its wait status (none when another waiter took it:
/// SIGCHLD ignored, a wait for any child elsewhere in the program), and
/// whether its parent killed it for running too long.
struct ChildEnd {
  std::optional<int> status;
  bool timedOut = false;
};

/// Waits for `child` (through interruptions by signals) for at most
/// `wallSeconds`, then kills it and waits for its end.
ChildEnd AwaitChild(pid_t child, uint32_t wallSeconds);

/// The outcome of a child that ended as `end` and left `result`: Ok, the
/// step's own error as it was, or Malformed, "`what`: the decoder stopped
/// on damaged data (signal N, SIGNAME)", "... (exit status N)", "... after
/// N seconds (signal 24, SIGXCPU)" or "... after N seconds (wall-clock
/// limit)".
[[nodiscard]] Status JudgeChild(const std::string& what, const ChildEnd& end, const ChildLimits& limits,
                                const ChildResult& result);

}  // namespace quillon
