/// \file
/// RunHelperMain — the whole of a helper program's main: a small program
/// that the library starts (base/HelperProcess.h) to run one decoding step
/// away from the caller's process, so that a codec library that aborts,
/// crashes or loops on damaged data takes only the helper down.
///
/// How the two talk, with no copy through a pipe:
///   argv[1]  the CPU seconds the helper may use (it sets RLIMIT_CPU on
///            itself before anything else); the caller's arguments follow.
///   fd 3     the input, a memory file as long as the input;
///   fd 4     the output block, a zeroed memory file: a ChildResult
///            (base/ChildResult.h) at its start, the output from
///            kChildOutputOffset to its end.
/// Standard input, output and error lead to /dev/null, the environment is
/// empty, and no other descriptor is open.
#pragma once

#include "base/Result.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillon {

constexpr int kHelperInputDescriptor = 3;
constexpr int kHelperOutputDescriptor = 4;

/// One decoding step: from the caller's `arguments`, the `length` bytes of
/// `input`, into the `size` bytes of `output`.
using HelperStep = std::function<Status(const std::vector<std::string>& arguments, const uint8_t* input,
                                        uint64_t length, uint8_t* output, uint64_t size)>;

/// Sets the limits, maps the input and the output block, runs `step`,
/// records its Status and exits: 0 once the result is recorded, 3 when the
/// step threw, 2 when the program was not started the way it must be (it
/// then says so on standard error). Never returns; no atexit handler runs.
[[noreturn]] void RunHelperMain(int argc, char** argv, const HelperStep& step);

}  // namespace quillon
