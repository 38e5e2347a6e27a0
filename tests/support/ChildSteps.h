// Decoding steps that end their process in every way a codec might: a
// result, an error, an abort, a crash, an exception, a loop, a wait. The
// tests run each in a fork (DecodeInChildProcess) and in the helper program
// quillon-test-helper (DecodeInHelperProcess), which must end alike.
#pragma once

#include "base/Result.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace quillon::test {

/// Runs the step `name` from `input` into `output`; "output" copies the
/// input over.
inline Status RunChildStep(const std::string& name, const uint8_t* input, uint64_t length, uint8_t* output,
                           uint64_t size) {
  if (name == "output") {
    std::memcpy(output, input, std::min(length, size));
  } else if (name == "error") {
    return Error(ErrorCode::WrongKind, "a 3x3 frame");
  } else if (name == "abort") {
    std::fputs("assertion", stderr);
    std::abort();
  } else if (name == "crash") {
    std::raise(SIGSEGV);
  } else if (name == "throw") {
    throw 1;
  } else if (name == "loop") {
    static std::atomic<uint64_t> spins;
    for (;;) spins.fetch_add(1, std::memory_order_relaxed);
  } else if (name == "sleep") {
    for (;;) pause();
  }
  return Ok();
}

}  // namespace quillon::test
