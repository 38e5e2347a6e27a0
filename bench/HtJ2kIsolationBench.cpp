/// \file
/// htj2k-isolation-bench — what decoding each HTJ2K frame in a process of
/// its own costs, and how that grows with the memory of the caller (the
/// editor with a large document open): through the helper program started
/// with posix_spawn (base/HelperProcess.h) and through a fork of the caller
/// (base/ChildProcess.h), which the decoder falls back on.
///
///   htj2k-isolation-bench [BALLAST_MB...]
///
/// For each ballast size (default 0, 256 and 1024 MB, every page written,
/// as a document's elements are), it prints the time of a fork and wait
/// around a step that does nothing, of a start of the helper and wait when
/// it is given no frame to decode, and of a 512x512 16-bit frame coded by
/// OpenJPH, decoded by CHtJ2kFrameDecoder through a fork and through the
/// helper, and by OpenJPH in this process.
#include "base/ChildProcess.h"
#include "base/HelperProcess.h"
#include "pixel/HtJ2kFrameDecoder.h"

#include <openjph/ojph_arch.h>  // first: the others need its macros
#include <openjph/ojph_codestream.h>
#include <openjph/ojph_file.h>
#include <openjph/ojph_mem.h>
#include <openjph/ojph_params.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace quillon;

constexpr uint32_t kSide = 512;
constexpr int kRounds = 40;

std::vector<uint8_t> EncodeFrame() {
  ojph::codestream codestream;
  ojph::param_siz siz = codestream.access_siz();
  siz.set_image_extent(ojph::point(kSide, kSide));
  siz.set_num_components(1);
  siz.set_component(0, ojph::point(1, 1), 16, false);
  siz.set_tile_size(ojph::size(kSide, kSide));
  ojph::param_cod cod = codestream.access_cod();
  cod.set_num_decomposition(5);
  cod.set_reversible(true);
  codestream.set_planar(false);
  ojph::mem_outfile file;
  file.open();
  codestream.write_headers(&file);
  uint32_t component = 0;
  ojph::line_buf* line = codestream.exchange(nullptr, component);
  for (uint32_t y = 0; y < kSide; ++y) {
    // A smooth image with a little noise, about what CT gives a coder.
    for (uint32_t x = 0; x < kSide; ++x) line->i32[x] = static_cast<int32_t>(1000 + x * 3 + y * 2 + (x * y) % 17);
    line = codestream.exchange(line, component);
  }
  codestream.flush();
  std::vector<uint8_t> coded(file.get_data(), file.get_data() + file.tell());
  codestream.close();
  return coded;
}

/// OpenJPH in this process, for comparison.
void DecodeInProcess(const std::vector<uint8_t>& coded, std::vector<uint8_t>& native) {
  ojph::mem_infile file;
  file.open(coded.data(), coded.size());
  ojph::codestream codestream;
  codestream.read_headers(&file);
  codestream.create();
  for (uint32_t y = 0; y < kSide; ++y) {
    uint32_t component = 0;
    const ojph::line_buf* line = codestream.pull(component);
    for (uint32_t x = 0; x < kSide; ++x) {
      native[(y * kSide + x) * 2] = static_cast<uint8_t>(line->i32[x]);
      native[(y * kSide + x) * 2 + 1] = static_cast<uint8_t>(line->i32[x] >> 8);
    }
  }
  codestream.close();
}

template <typename Work>
double MillisecondsEach(Work work) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRounds; ++i) work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / kRounds;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<uint64_t> ballasts;
  for (int i = 1; i < argc; ++i) ballasts.push_back(std::strtoull(argv[i], nullptr, 10));
  if (ballasts.empty()) ballasts = {0, 256, 1024};

  const std::vector<uint8_t> coded = EncodeFrame();
  const NativeFrameFormat format{kSide, kSide, 1, 16, 16, false, "MONOCHROME2"};
  const CHtJ2kFrameDecoder forked(format, "");
  const CHtJ2kFrameDecoder helped(format);
  if (helped.Helper().empty()) {
    std::fprintf(stderr, "no quillon-htj2k-decoder found (build it, or set QUILLON_HELPER_DIR)\n");
    return 1;
  }
  std::vector<uint8_t> native(format.FrameSize()), spawned(format.FrameSize()), direct(format.FrameSize());
  std::printf("%10s %13s %14s %15s %17s %14s\n", "ballast MB", "fork+wait ms", "spawn+wait ms", "fork decode ms",
              "helper decode ms", "in-process ms");
  for (const uint64_t megabytes : ballasts) {
    std::vector<uint8_t> ballast(megabytes << 20);
    for (size_t i = 0; i < ballast.size(); i += 4096) ballast[i] = static_cast<uint8_t>(i >> 12);
    const double empty = MillisecondsEach([&native] {
      if (!DecodeInChildProcess("bench", native.data(), 16, {}, [](uint8_t*) { return Ok(); })) std::abort();
    });
    const double spawn = MillisecondsEach([&] {
      // Refused for want of a format: the helper starts, maps, and ends.
      const auto refused = DecodeInHelperProcess("bench", helped.Helper(), {}, coded.data(), 16, native.data(),
                                                 native.size(), {});
      if (!refused || *refused) std::abort();
    });
    const double fork = MillisecondsEach([&] {
      if (!forked.Decode(coded.data(), coded.size(), native.data(), native.size())) std::abort();
    });
    const double helper = MillisecondsEach([&] {
      if (!helped.Decode(coded.data(), coded.size(), spawned.data(), spawned.size())) std::abort();
    });
    const double inProcess = MillisecondsEach([&] { DecodeInProcess(coded, direct); });
    if (native != direct || spawned != direct) {
      std::fprintf(stderr, "a child's frame differs from OpenJPH's\n");
      return 1;
    }
    std::printf("%10llu %13.2f %14.2f %15.2f %17.2f %14.2f\n", static_cast<unsigned long long>(megabytes), empty,
                spawn, fork, helper, inProcess);
  }
  return 0;
}
