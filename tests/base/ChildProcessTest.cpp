// DecodeInChildProcess: whatever the step does to its own process (abort,
// crash, loop, throw), the caller gets a Status, and the output only of a
// step that succeeded.
#include "base/ChildProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace quillon;

namespace {

struct ChildCase {
  const char* name;
  std::function<Status(uint8_t*)> step;
  const char* message;  // a part of the error's message; null for success
};

TEST(ChildProcessTest, EveryEndOfTheChildIsAStatus) {
  const ChildCase cases[] = {
      {"output", [](uint8_t* out) { std::memset(out, 0xA5, 64); return Ok(); }, nullptr},
      {"error", [](uint8_t*) -> Status { return Error(ErrorCode::WrongKind, "a 3x3 frame"); }, "a 3x3 frame"},
      {"abort", [](uint8_t*) -> Status { std::fputs("assertion", stderr); std::abort(); },
       "test: the decoder stopped on damaged data (signal 6, SIGABRT)"},
      {"crash", [](uint8_t*) -> Status { std::raise(SIGSEGV); return Ok(); }, "(signal 11, SIGSEGV)"},
      {"throw", [](uint8_t*) -> Status { throw 1; }, "(exit status 3)"},
      {"loop",
       [](uint8_t*) -> Status {
         static std::atomic<uint64_t> spins;
         for (;;) spins.fetch_add(1, std::memory_order_relaxed);
       },
       "test: the decoder was stopped after 1 seconds (signal 24, SIGXCPU)"},
  };
  for (const ChildCase& c : cases) {
    std::vector<uint8_t> output(64, 0);
    const Status status = DecodeInChildProcess("test", output.data(), output.size(), {1, 30}, c.step);
    ASSERT_EQ(static_cast<bool>(status), c.message == nullptr) << c.name << ": " << status.Message();
    EXPECT_EQ(output, std::vector<uint8_t>(64, c.message == nullptr ? 0xA5 : 0)) << c.name;
    if (c.message == nullptr) continue;
    EXPECT_EQ(status.GetError().Code(), std::string(c.name) == "error" ? ErrorCode::WrongKind : ErrorCode::Malformed);
    EXPECT_NE(status.Message().find(c.message), std::string::npos) << c.name << ": " << status.Message();
  }
}

}  // namespace
