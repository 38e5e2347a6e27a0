// quillon-test-helper: runs the step its first argument names
// (support/ChildSteps.h), or "inspect", which fails naming whatever its
// parent let through: a descriptor beyond the five it passes, a variable
// of its environment, a signal ignored or blocked.
#include "base/HelperMain.h"
#include "support/ChildSteps.h"

#include <filesystem>

extern char** environ;

namespace {

quillon::Status Inspect() {
  std::string leaks;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int descriptor = std::stoi(entry.path().filename().string());
    // The iterator's own descriptor is the highest; five are passed.
    if (descriptor > 5) leaks += " descriptor " + std::to_string(descriptor);
  }
  if (environ != nullptr && environ[0] != nullptr) leaks += std::string(" variable ") + environ[0];
  struct sigaction action{};
  sigaction(SIGPIPE, nullptr, &action);
  if (action.sa_handler == SIG_IGN) leaks += " SIGPIPE ignored";
  sigset_t blocked;
  sigprocmask(SIG_SETMASK, nullptr, &blocked);
  if (sigismember(&blocked, SIGUSR1) == 1) leaks += " SIGUSR1 blocked";
  if (leaks.empty()) return quillon::Ok();
  return quillon::Error(quillon::ErrorCode::Failure, "inherited" + leaks);
}

}  // namespace

int main(int argc, char** argv) {
  quillon::RunHelperMain(argc, argv, [](const std::vector<std::string>& arguments, const uint8_t* input,
                                        uint64_t length, uint8_t* output, uint64_t size) {
    const std::string name = arguments.empty() ? "" : arguments[0];
    return name == "inspect" ? Inspect() : quillon::test::RunChildStep(name, input, length, output, size);
  });
}
