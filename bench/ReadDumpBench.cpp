/// \file
/// quillon-bench: micro benchmarks of the two halves of `quillon-cli dump`
/// on the benchmark corpus's nested.dcm, held in memory so no file I/O is
/// timed — reading it into a data object, and dumping that object as text.
/// Small on purpose: run it under a profiler to see where a dump goes.
///
///   quillon-bench [--benchmark_filter=...] (file: $QUILLON_BENCH_FILE,
///   default build/bench-corpus/nested.dcm)
#include "dicom/DicomFileReader.h"
#include "dicom/DicomObject.h"
#include "base/MemoryStream.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using quillon::CDicomObject;
using quillon::CMemoryStream;

const std::vector<uint8_t>& FileBytes() {
  static const std::vector<uint8_t> bytes = [] {
    const char* path = std::getenv("QUILLON_BENCH_FILE");
    std::ifstream file(path ? path : "build/bench-corpus/nested.dcm", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }();
  return bytes;
}

void BM_ReadFromFile(benchmark::State& state) {
  CMemoryStream stream(FileBytes());
  for (auto _ : state) {
    stream.Seek(0, CMemoryStream::SeekOrigin::Begin);
    CDicomObject object;
    if (const quillon::Status read = quillon::CDicomFileReader(stream).ReadFile(object); !read) {
      state.SkipWithError(read.Message().c_str());
      break;
    }
    benchmark::DoNotOptimize(object.ElementCount());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(FileBytes().size()));
}
BENCHMARK(BM_ReadFromFile)->Unit(benchmark::kMillisecond);

void BM_DumpText(benchmark::State& state) {
  CMemoryStream stream(FileBytes());
  CDicomObject object;
  if (const quillon::Status read = quillon::CDicomFileReader(stream).ReadFile(object); !read) {
    state.SkipWithError(read.Message().c_str());
    return;
  }
  size_t textSize = 0;
  for (auto _ : state) {
    std::string text;
    (void)object.DumpText(text, 0);
    textSize = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["text_MB"] = static_cast<double>(textSize) / 1e6;
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(textSize));
}
BENCHMARK(BM_DumpText)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (FileBytes().empty()) {
    std::fprintf(stderr, "quillon-bench: no input; run bench/run_dump_bench.sh first or set QUILLON_BENCH_FILE\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
