// DecodeInChildProcess: whatever the step does to its own process (abort,
// crash, loop, print), the caller gets a Status and its output, and its
// own process and output stay as they were.
#include "base/ChildProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

using namespace quillon;

namespace {

struct ChildCase {
  const char* name;
  std::function<Status(uint8_t*)> step;
  bool succeeds;
  ErrorCode code;
  const char* message;  // a part of the error's message
};

// The step's side effect when it writes into a buffer of the caller's own
// (not the shared one): the caller must never see it.
uint8_t g_callerByte = 0;

std::vector<ChildCase> Cases() {
  return {
      {"output", [](uint8_t* out) { std::memset(out, 0xA5, 64); return Ok(); }, true, ErrorCode::Failure, ""},
      {"own memory untouched",
       [](uint8_t* out) {
         g_callerByte = 1;
         out[0] = 7;
         return Ok();
       },
       true, ErrorCode::Failure, ""},
      {"error", [](uint8_t*) -> Status { return Error(ErrorCode::WrongKind, "a 3x3 frame"); }, false,
       ErrorCode::WrongKind, "a 3x3 frame"},
      {"abort",
       [](uint8_t*) -> Status {
         std::fputs("an assertion's text", stderr);
         std::abort();
       },
       false, ErrorCode::Malformed, "test: the decoder stopped on damaged data (signal 6, SIGABRT)"},
      {"crash", [](uint8_t*) -> Status { std::raise(SIGSEGV); return Ok(); }, false, ErrorCode::Malformed,
       "(signal 11, SIGSEGV)"},
      {"exit", [](uint8_t*) -> Status { _exit(0); }, false, ErrorCode::Malformed,
       "test: the decoder stopped without a result"},
      {"throw", [](uint8_t*) -> Status { throw 1; }, false, ErrorCode::Malformed, "(exit status 3)"},
      {"loop",
       [](uint8_t*) -> Status {
         static std::atomic<uint64_t> spins;
         for (;;) spins.fetch_add(1, std::memory_order_relaxed);
       },
       false, ErrorCode::Malformed, "test: the decoder was stopped after 1 seconds (signal 24, SIGXCPU)"},
  };
}

TEST(ChildProcessTest, EveryEndOfTheChildIsAStatus) {
  // Buffered output of the caller must not be written twice by a child.
  std::printf("%s", "");
  for (const ChildCase& c : Cases()) {
    std::vector<uint8_t> output(64, 0);
    const Status status = DecodeInChildProcess("test", output.data(), output.size(), {1, 30}, c.step);
    ASSERT_EQ(static_cast<bool>(status), c.succeeds) << c.name << ": " << status.Message();
    EXPECT_EQ(g_callerByte, 0) << c.name;
    if (c.succeeds) {
      EXPECT_NE(output[0], 0) << c.name;
      continue;
    }
    EXPECT_EQ(status.GetError().Code(), c.code) << c.name;
    EXPECT_NE(status.Message().find(c.message), std::string::npos) << c.name << ": " << status.Message();
    EXPECT_EQ(output, std::vector<uint8_t>(64, 0)) << c.name << ": a failed child's output is not copied";
  }
}

}  // namespace
