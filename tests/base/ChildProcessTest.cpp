// DecodeInChildProcess and DecodeInHelperProcess: whatever the step does to
// its own process (abort, crash, loop, wait, throw), the caller gets a
// Status, the same through a fork and through a helper program, and the
// output only of a step that succeeded. The helper inherits nothing of its
// caller but what it is given.
#include "base/ChildProcess.h"
#include "base/HelperProcess.h"
#include "support/ChildSteps.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace quillon;

namespace {

using Bytes = std::vector<uint8_t>;

Status RunStep(bool spawned, const std::string& name, const Bytes& input, Bytes& output) {
  // Two seconds of waiting for the one that waits; enough for a second of
  // CPU on a busy machine for the others.
  const ChildLimits limits{1, name == "sleep" ? 2u : 30u};
  if (!spawned) {
    return DecodeInChildProcess("test", output.data(), output.size(), limits, [&](uint8_t* out) {
      return test::RunChildStep(name, input.data(), input.size(), out, output.size());
    });
  }
  const std::optional<Status> status = DecodeInHelperProcess("test", QUILLON_TEST_HELPER_PATH, {name}, input.data(),
                                                             input.size(), output.data(), output.size(), limits);
  return status ? *status : Error(ErrorCode::Failure, "the helper did not start");
}

TEST(ChildProcessTest, EveryEndOfTheChildIsTheSameStatusForkedOrSpawned) {
  const struct {
    const char* name;
    const char* message;  // a part of the error's message; null for success
  } cases[] = {
      {"output", nullptr},
      {"error", "a 3x3 frame"},
      {"abort", "test: the decoder stopped on damaged data (signal 6, SIGABRT)"},
      {"crash", "test: the decoder stopped on damaged data (signal 11, SIGSEGV)"},
      {"throw", "test: the decoder stopped on damaged data (exit status 3)"},
      {"loop", "test: the decoder was stopped after 1 seconds (signal 24, SIGXCPU)"},
      {"sleep", "test: the decoder was stopped after 2 seconds (wall-clock limit)"},
  };
  Bytes input(100);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 7 + 1);
  for (const auto& c : cases) {
    for (const bool spawned : {false, true}) {
      const std::string label = std::string(c.name) + (spawned ? " (helper)" : " (fork)");
      Bytes output(64, 0);
      const Status status = RunStep(spawned, c.name, input, output);
      ASSERT_EQ(static_cast<bool>(status), c.message == nullptr) << label << ": " << status.Message();
      EXPECT_EQ(output, c.message == nullptr ? Bytes(input.begin(), input.begin() + 64) : Bytes(64, 0)) << label;
      if (c.message == nullptr) continue;
      EXPECT_EQ(status.GetError().Code(), std::string(c.name) == "error" ? ErrorCode::WrongKind : ErrorCode::Malformed);
      EXPECT_EQ(status.Message(), c.message) << label;
    }
  }
}

TEST(ChildProcessTest, TheHelperInheritsNoDescriptorVariableOrSignalState) {
  const int open = ::open("/dev/null", O_RDONLY);  // without O_CLOEXEC
  ASSERT_GE(open, 0);
  setenv("QUILLON_TEST_VARIABLE", "1", 1);
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  sigset_t blocked;
  sigset_t before;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  sigprocmask(SIG_BLOCK, &blocked, &before);
  Bytes output(8);
  const Status status = RunStep(true, "inspect", Bytes(1), output);
  sigprocmask(SIG_SETMASK, &before, nullptr);
  std::signal(SIGPIPE, previous);
  unsetenv("QUILLON_TEST_VARIABLE");
  close(open);
  EXPECT_TRUE(status) << status.Message();
  // A program that cannot be started is no error of the step's.
  EXPECT_FALSE(DecodeInHelperProcess("test", "/nonexistent/helper", {}, output.data(), 1, output.data(), 8, {}));
}

TEST(ChildProcessTest, HelpersAreFoundInTheFolderNamedElseInTheBuildTree) {
  const std::filesystem::path folder = std::filesystem::path(QUILLON_TEST_HELPER_PATH).parent_path();
  setenv("QUILLON_HELPER_DIR", folder.c_str(), 1);
  EXPECT_EQ(FindHelperProgram("quillon-test-helper"), QUILLON_TEST_HELPER_PATH);
  EXPECT_EQ(FindHelperProgram("quillon-htj2k-decoder"), "");  // only there
  unsetenv("QUILLON_HELPER_DIR");
  EXPECT_EQ(FindHelperProgram("quillon-test-helper"), "");
  const std::string built = FindHelperProgram("quillon-htj2k-decoder");
  EXPECT_NE(built.find("/libexec/quillon/quillon-htj2k-decoder"), std::string::npos) << built;
}

}  // namespace
