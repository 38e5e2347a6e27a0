/// \file
/// DecodeInChildProcess — runs a decoding step in a child process of its
/// own, so that a codec library which aborts, crashes or hangs on damaged
/// data (Debian's OpenJPH asserts on some packet data and calls abort())
/// takes only that child down, never the program with the user's unsaved
/// work. The child is a fork of the caller: it sees the caller's memory as
/// it was (the encoded input needs no copying) and writes its output into
/// a mapping shared with the caller, which copies it out once the child
/// has ended well.
///
/// A fork copies the caller's page tables, so it costs more the more memory
/// the caller has written (tens of milliseconds with a large document
/// open): a helper program started with posix_spawn (base/HelperProcess.h)
/// is the fast way, and this one is what a caller falls back on when no
/// helper can be started. Both end and fail alike (base/ChildWait.h).
///
/// The child runs the given step and nothing else: it never returns into
/// the caller's code, never flushes the stdio buffers it inherited, and its
/// standard output and error lead nowhere (a library's assertion text is
/// not the user's business). It has a limit of CPU time and of wall-clock
/// time, so a library that loops, or a lock some other thread of the caller
/// held at the fork, ends too. Any thread may call; each call forks once.
#pragma once

#include "base/ChildWait.h"
#include "base/Result.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

/// Runs `step` in a forked child with a zeroed shared block of `size`
/// bytes to write into; when it returns success, the block is copied into
/// `output` (which holds `size` bytes). The step's own error comes back as
/// it was (its message cut to a kilobyte). A child that dies of a signal
/// or exits without a result gives Malformed: "`what`: the decoder stopped
/// on damaged data (signal N)", or says which limit stopped it. Failure
/// when no process or mapping could be had. `step` must not touch Qt or
/// anything that needs another thread of the caller.
[[nodiscard]] Status DecodeInChildProcess(const std::string& what, uint8_t* output, uint64_t size,
                                          const ChildLimits& limits,
                                          const std::function<Status(uint8_t* shared)>& step);

}  // namespace quillon
