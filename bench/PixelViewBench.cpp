/// \file
/// quillon-pixel-view-bench: what the pixel view costs when it opens on a
/// document that is already open — a CPixelImage set up on the document and
/// frame 0 read as a display bitmap — on the benchmark corpus's frames.dcm
/// (300 frames of 512x512 16-bit, 157 MB).
///
///  - CopyingDocument: OpenObject, which copies the whole data set, pixel
///    value included (how the view opened before OpenDocument existed).
///  - SharingDocument: OpenDocument on a document holding its pixel value.
///  - DocumentWithoutPixelValue: OpenDocument on a document read without its
///    pixel value (frames read from its file).
///
/// Besides the time, each benchmark reports resident memory in MB: the
/// document alone (rss_document_MB), with an image open on it and frame 0
/// read (rss_open_MB, from one untimed open before the timed ones), and the
/// process peak (peak_rss_MB). The document is read once per process and
/// the peak never goes down, so run each benchmark in its own process for
/// memory figures (bench/run_pixel_view_bench.sh does).
///
/// BM_StepFrames/<file> runs for each file named in
/// $QUILLON_BENCH_SYNTAX_FILES (separated by colons): the document read
/// with its pixel value and an image opened on it once, then each frame in
/// turn decoded to a display bitmap — what a step to the next frame in the
/// view costs in that file's transfer syntax.
///
///   quillon-pixel-view-bench [--benchmark_filter=...] (file:
///   $QUILLON_BENCH_FRAMES, default build/bench-corpus/frames.dcm)
#include "dicom/DicomFile.h"
#include "dicom/DicomObject.h"
#include "pixel/PixelImage.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using quillon::CDicomFile;
using quillon::CDicomObject;
using quillon::Status;
using quillon::CPixelImage;
using quillon::FrameStatus;

std::string FramesPath() {
  const char* path = std::getenv("QUILLON_BENCH_FRAMES");
  return path != nullptr ? path : "build/bench-corpus/frames.dcm";
}

double ResidentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double PeakResidentMegabytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

/// The open document: read once, with or without its pixel value.
const CDicomObject* Document(bool withPixelValue) {
  static std::unique_ptr<CDicomObject> documents[2];
  std::unique_ptr<CDicomObject>& document = documents[withPixelValue ? 1 : 0];
  if (!document) {
    CDicomFile file;
    if (const Status read = file.Load(FramesPath(), {.skipPixelData = !withPixelValue}); !read) {
      std::fprintf(stderr, "quillon-pixel-view-bench: %s: %s\n", FramesPath().c_str(), read.Message().c_str());
    } else {
      document = std::make_unique<CDicomObject>(std::move(file.DataSet()));
    }
  }
  return document.get();
}

enum class Open { Copying, Sharing };

/// Opens `image` on `document` and reads frame 0 into `bitmap`, as the
/// view's initial update does.
bool ShowFrameZero(CPixelImage& image, const CDicomObject& document, Open open, std::vector<uint8_t>& bitmap) {
  const bool opened = open == Open::Copying ? image.OpenObject(document, FramesPath()) : image.OpenDocument(document, FramesPath());
  if (!opened) return false;
  bitmap.resize(image.FrameSize());
  uint64_t length = 0;
  return image.ReadFrame(0, bitmap.data(), bitmap.size(), length) == FrameStatus::Success;
}

void Run(benchmark::State& state, bool withPixelValue, Open open) {
  const CDicomObject* document = Document(withPixelValue);
  if (document == nullptr) {
    state.SkipWithError("the frames file cannot be read; run bench/run_pixel_view_bench.sh first");
    return;
  }
  std::vector<uint8_t> bitmap;
  const double documentOnly = ResidentMegabytes();
  double whileOpen = 0;
  {
    CPixelImage image;
    if (!ShowFrameZero(image, *document, open, bitmap)) {
      state.SkipWithError("frame 0 cannot be shown");
      return;
    }
    whileOpen = ResidentMegabytes();
  }
  for (auto _ : state) {
    CPixelImage image;
    if (!ShowFrameZero(image, *document, open, bitmap)) {
      state.SkipWithError("frame 0 cannot be shown");
      break;
    }
    benchmark::DoNotOptimize(bitmap.data());
  }
  state.counters["rss_document_MB"] = documentOnly;
  state.counters["rss_open_MB"] = whileOpen;
  state.counters["peak_rss_MB"] = PeakResidentMegabytes();
}

void BM_ShowFrameZero_CopyingDocument(benchmark::State& state) { Run(state, true, Open::Copying); }
BENCHMARK(BM_ShowFrameZero_CopyingDocument)->Unit(benchmark::kMillisecond);

void BM_ShowFrameZero_SharingDocument(benchmark::State& state) { Run(state, true, Open::Sharing); }
BENCHMARK(BM_ShowFrameZero_SharingDocument)->Unit(benchmark::kMillisecond);

void BM_ShowFrameZero_DocumentWithoutPixelValue(benchmark::State& state) { Run(state, false, Open::Sharing); }
BENCHMARK(BM_ShowFrameZero_DocumentWithoutPixelValue)->Unit(benchmark::kMillisecond);

void StepFrames(benchmark::State& state, const std::string& path) {
  CDicomFile file;
  if (const Status read = file.Load(path, {}); !read) {
    state.SkipWithError(read.Message().c_str());
    return;
  }
  const CDicomObject document(std::move(file.DataSet()));
  CPixelImage image;
  if (!image.OpenDocument(document, path) || image.NumberOfFrames() < 1) {
    state.SkipWithError("no image to show");
    return;
  }
  std::vector<uint8_t> bitmap(image.FrameSize());
  int32_t frame = 0;
  for (auto _ : state) {
    uint64_t length = 0;
    if (image.ReadFrame(frame, bitmap.data(), bitmap.size(), length) != FrameStatus::Success) {
      state.SkipWithError("a frame cannot be shown");
      break;
    }
    benchmark::DoNotOptimize(bitmap.data());
    frame = (frame + 1) % image.NumberOfFrames();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* files = std::getenv("QUILLON_BENCH_SYNTAX_FILES")) {
    std::string list = files;
    for (size_t start = 0; start < list.size();) {
      const size_t end = std::min(list.find(':', start), list.size());
      const std::string path = list.substr(start, end - start);
      if (!path.empty()) {
        const std::string name = "BM_StepFrames/" + path.substr(path.find_last_of('/') + 1);
        benchmark::RegisterBenchmark(name.c_str(), [path](benchmark::State& state) { StepFrames(state, path); })
            ->Unit(benchmark::kMillisecond);
      }
      start = end + 1;
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
