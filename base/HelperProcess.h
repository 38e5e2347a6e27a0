/// \file
/// DecodeInHelperProcess — runs a decoding step in a small helper program
/// of its own (base/HelperMain.h), so that a codec library which aborts,
/// crashes or loops on damaged data takes only the helper down, never the
/// program with the user's unsaved work.
///
/// The helper is started with posix_spawn, which copies none of the
/// caller's memory or page tables: its cost is that of starting a small
/// program, the same whether the caller holds a megabyte or gigabytes
/// (a fork, base/ChildProcess.h, costs tens of milliseconds with a large
/// document open). The input and the output pass through memory files,
/// which the helper maps: the input is written once, the output read once.
///
/// The helper gets no descriptor but its three (to /dev/null) and the two
/// memory files, an empty environment, every signal at its default action
/// and none blocked. It keeps the same limits and ends in the same errors
/// as a forked child (base/ChildWait.h).
#pragma once

#include "base/ChildWait.h"
#include "base/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

/// The path of the helper program `name`: looked for only in the folder
/// QUILLON_HELPER_DIR names when it is set (tests, a relocated install),
/// else in the build tree's helper folder for a program run from the build
/// tree it was built in, else in the installed one (libexec/quillon).
/// Empty when no executable file of that name is there.
std::string FindHelperProgram(const std::string& name);

/// Runs `program` with `arguments` on the `length` bytes of `input`, under
/// `limits`; when its step succeeds, its `size` bytes of output are read
/// into `output`. The step's own error comes back as it was, and a helper
/// that dies or runs too long gives JudgeChild's error. Nothing when the
/// helper could not be started (no such program, no memory file or
/// process): the caller may then decode some other way.
[[nodiscard]] std::optional<Status> DecodeInHelperProcess(const std::string& what, const std::string& program,
                                                          const std::vector<std::string>& arguments,
                                                          const uint8_t* input, uint64_t length, uint8_t* output,
                                                          uint64_t size, const ChildLimits& limits);

}  // namespace quillon
