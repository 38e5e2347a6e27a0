#include "base/HelperMain.h"

#include "base/ChildResult.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

[[noreturn]] void RefuseToRun(const char* program) {
  std::fprintf(stderr, "%s: started by Quillon to decode one frame, with its input and output on descriptors 3 "
                       "and 4; not meant to be run by hand\n", program);
  _exit(2);
}

/// The size of the memory file on `descriptor`, or -1 when there is none.
off_t FileSize(int descriptor) {
  struct stat status{};
  return fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) ? status.st_size : -1;
}

}  // namespace

void RunHelperMain(int argc, char** argv, const HelperStep& step) {
  // Its parent tells how it ended by the signal that ended it; a sanitizer
  // runtime, which sets handlers of its own at start, must not turn a
  // crash into an exit status.
  for (const int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGXCPU}) std::signal(signal, SIG_DFL);
  const char* program = argc > 0 ? argv[0] : "helper";
  uint32_t cpuSeconds = 0;
  const char* limit = argc > 1 ? argv[1] : "";
  if (std::from_chars(limit, limit + std::strlen(limit), cpuSeconds).ec != std::errc() || cpuSeconds == 0) {
    RefuseToRun(program);
  }
  // The soft limit sends SIGXCPU; the hard one, a second later, SIGKILL.
  const rlimit cpu{cpuSeconds, cpuSeconds + 1};
  setrlimit(RLIMIT_CPU, &cpu);

  const off_t length = FileSize(kHelperInputDescriptor);
  const off_t block = FileSize(kHelperOutputDescriptor);
  if (length < 0 || block < static_cast<off_t>(kChildOutputOffset)) RefuseToRun(program);
  void* shared = mmap(nullptr, static_cast<size_t>(block), PROT_READ | PROT_WRITE, MAP_SHARED,
                      kHelperOutputDescriptor, 0);
  if (shared == MAP_FAILED) _exit(2);
  auto& result = *static_cast<ChildResult*>(shared);
  void* input = length == 0 ? nullptr
                            : mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED,
                                   kHelperInputDescriptor, 0);
  if (input == MAP_FAILED) {
    RecordChildStatus(result, Error(ErrorCode::OutOfMemory, "no memory to map the input into"));
    _exit(0);
  }
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  try {
    RecordChildStatus(result, step(arguments, static_cast<const uint8_t*>(input), static_cast<uint64_t>(length),
                                   static_cast<uint8_t*>(shared) + kChildOutputOffset,
                                   static_cast<uint64_t>(block) - kChildOutputOffset));
  } catch (...) {
    _exit(3);
  }
  _exit(0);
}

}  // namespace quillon
