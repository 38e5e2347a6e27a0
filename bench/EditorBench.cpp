/// \file
/// The desktop editor's speed on a large file (headless, offscreen):
///   BM_OpenToPaintedList  open the file and paint the element list once
///   BM_EditRepaint        remove an element (rows rebuilt) and repaint
///   BM_ScrollPage         scroll the list one page and repaint
/// and the pixel view:
///   BM_ShowPixelView      show the pixel view of an open document
///                         (QUILLON_BENCH_FRAMES: 300 frames of 512x512 16-bit)
///   BM_StepFrame/...      Next or Prev Frame, painted (QUILLON_BENCH_RGB*:
///                         640x480 RGB, native, RLE and JPEG)
///   BM_WindowDragStep     one mouse move of a window drag, painted
///   BM_RepaintGapDuringConversion  the longest the window goes without its
///                         thread running while a conversion runs (counter)
/// and, for the memory comparisons of bench/run_editor_bench.sh, modes that
/// do one thing and exit:
///   editor-bench --open FILE          the editor with FILE open and painted
///   editor-bench --show-pixels FILE   the same with its pixel view shown
///   editor-bench --load FILE          the library alone holding FILE
/// The element-list file comes from QUILLON_BENCH_FILE (the nested.dcm of
/// the bench corpus by default).
#include "app/QuillonApp.h"
#include "app/UserInterface.h"
#include "app/qt/DicomDumpView.h"
#include "app/qt/ChildFrame.h"
#include "app/qt/MainFrame.h"
#include "app/qt/PixelDataView.h"
#include "app/qt/QtUserInterface.h"
#include "pixel/PixelDataConverter.h"
#include "dicom/DicomFile.h"
#include "dicom/DicomObject.h"
#include "base/FileSettingsStore.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace quillon;

/// Answers nothing: a benchmark must never wait for a person.
class CSilentUserInterface : public IUserInterface {
 public:
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
  bool AskYesNo(const std::string&) override { return true; }
  bool AskOkCancel(const std::string&) override { return true; }
  SaveChoice AskSaveChanges(const std::string&) override { return SaveChoice::Discard; }
  bool RunElementDialog(CDicomElementDlg&) override { return false; }
  bool RunAddSequenceDialog(CAddSequenceDlg&) override { return false; }
  bool RunSelectDestinationDialog(CSelectDestinationDlg&) override { return false; }
  bool RunSelectFormatDialog(CSelectFormatDlg&) override { return false; }
  void ShowInformation(const std::string&) override {}
  std::optional<std::string> AskOpenPath(const std::string&, const std::string&) override { return std::nullopt; }
  std::optional<std::string> AskFolderPath(const std::string&, const std::string&) override { return std::nullopt; }
  std::optional<std::string> AskExportPath(const std::string&, const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> AskSavePath(const std::string&, const std::string&) override { return std::nullopt; }
  void RunWithProgress(const std::string&, const std::function<void(const ProgressReport&)>& work) override {
    work([](int64_t, int64_t) { return true; });
  }
  void ShowStatus(const std::string&) override {}
};

std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

std::string BenchFile() { return EnvOr("QUILLON_BENCH_FILE", "build/bench-corpus/nested.dcm"); }

/// An editor window on the offscreen display.
struct Editor {
  CFileSettingsStore settings{std::filesystem::path{}};
  CQuillonApp app{settings};
  CSilentUserInterface ui;
  CMainFrame window{app, &ui};
  Editor() {
    window.resize(1200, 800);
    window.show();
  }
  /// Paints the list's visible rows, as the screen would get them.
  void Paint() {
    CDicomDumpView* view = window.ActiveDumpView();
    if (view != nullptr) benchmark::DoNotOptimize(view->viewport()->grab());
  }
  void CloseAll() {
    for (QMdiSubWindow* frame : window.MdiArea()->subWindowList()) delete frame;
    QApplication::processEvents();
  }
  /// Opens `path` and shows its pixel view; null when it cannot.
  CPixelDataView* ShowPixels(const std::string& path) {
    if (!window.OpenFile(QString::fromStdString(path))) return nullptr;
    window.Execute(CommandId::ShowPixelData);
    return window.ActivePixelView();
  }
};

void BM_OpenToPaintedList(benchmark::State& state) {
  Editor editor;
  for (auto _ : state) {
    if (!editor.window.OpenFile(QString::fromStdString(BenchFile()))) {
      state.SkipWithError("cannot open the bench file");
      return;
    }
    editor.Paint();
    state.PauseTiming();
    editor.CloseAll();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenToPaintedList)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_EditRepaint(benchmark::State& state) {
  Editor editor;
  editor.window.OpenFile(QString::fromStdString(BenchFile()));
  CDicomDumpView* view = editor.window.ActiveDumpView();
  CDicomImageDoc& document = view->Document();
  // An element in the middle of the list, so the view keeps its place.
  const int row = static_cast<int>(document.Rows().Size() / 2);
  view->SelectRow(row);
  for (auto _ : state) {
    document.RemoveElement(view->SelectedRow(), editor.ui);
    editor.Paint();
    state.PauseTiming();
    document.Undo();
    editor.Paint();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_EditRepaint)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ScrollPage(benchmark::State& state) {
  Editor editor;
  editor.window.OpenFile(QString::fromStdString(BenchFile()));
  CDicomDumpView* view = editor.window.ActiveDumpView();
  QScrollBar* bar = view->verticalScrollBar();
  for (auto _ : state) {
    bar->setValue(bar->value() + bar->pageStep() < bar->maximum() ? bar->value() + bar->pageStep() : 0);
    editor.Paint();
  }
}
BENCHMARK(BM_ScrollPage)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_ShowPixelView(benchmark::State& state) {
  Editor editor;
  if (!editor.window.OpenFile(QString::fromStdString(EnvOr("QUILLON_BENCH_FRAMES", "build/bench-corpus/frames.dcm")))) {
    state.SkipWithError("cannot open the frames file");
    return;
  }
  for (auto _ : state) {
    editor.window.Execute(CommandId::ShowPixelData);
    CPixelDataView* view = editor.window.ActivePixelView();
    if (view == nullptr) {
      state.SkipWithError("no pixel view");
      return;
    }
    view->viewport()->repaint();
    state.PauseTiming();
    delete editor.window.ActiveFrame();
    QApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ShowPixelView)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_StepFrame(benchmark::State& state, const char* variable) {
  Editor editor;
  CPixelDataView* view = editor.ShowPixels(EnvOr(variable, ""));
  if (view == nullptr) {
    state.SkipWithError("cannot show the frames");
    return;
  }
  std::string error;
  bool forward = true;
  for (auto _ : state) {
    if (forward && !view->Viewer().CanNext()) forward = false;
    if (!forward && !view->Viewer().CanPrev()) forward = true;
    if (!(forward ? view->Next(error) : view->Prev(error))) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
}
BENCHMARK_CAPTURE(BM_StepFrame, native, "QUILLON_BENCH_RGB")->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK_CAPTURE(BM_StepFrame, rle, "QUILLON_BENCH_RGB_RLE")->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK_CAPTURE(BM_StepFrame, jpeg, "QUILLON_BENCH_RGB_JPEG")->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_WindowDragStep(benchmark::State& state) {
  Editor editor;
  CPixelDataView* view = editor.ShowPixels(EnvOr("QUILLON_BENCH_FRAMES", "build/bench-corpus/frames.dcm"));
  if (view == nullptr) {
    state.SkipWithError("cannot show the frames");
    return;
  }
  (void)view->Viewer().MouseMove(100, 100, false);
  int x = 100;
  for (auto _ : state) {
    x += (x % 2 == 0) ? 3 : -1;
    (void)view->Viewer().MouseMove(x, 100, true);
  }
}
BENCHMARK(BM_WindowDragStep)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_RepaintGapDuringConversion(benchmark::State& state) {
  Editor editor;
  CQtUserInterface ui(&editor.window, nullptr, {});
  const std::string source = EnvOr("QUILLON_BENCH_RGB", "");
  const std::string destination = source + ".bench-jpeg.dcm";
  double worstGapMs = 0;
  for (auto _ : state) {
    // A timer of the window's thread: the gaps between its ticks are how
    // long the window could not have painted.
    QElapsedTimer clock;
    qint64 last = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      const qint64 now = clock.elapsed();
      worstGapMs = std::max(worstGapMs, static_cast<double>(now - last));
      last = now;
    });
    clock.start();
    ticker.start();
    DCT_STATUS result = DCT_STATUS::Failure;
    ui.RunWithProgress("Converting", [&](const ProgressReport& report) {
      result = ConvertPixelDataFile(ConversionOptions{}, source, destination, ConversionMode::JpegLossy, false,
                                    [&](int32_t done, int32_t total) { return report(done, total); });
    });
    if (result != DCT_STATUS::Success) state.SkipWithError("the conversion failed");
  }
  std::filesystem::remove(destination);
  state.counters["worst_gap_ms"] = worstGapMs;
}
BENCHMARK(BM_RepaintGapDuringConversion)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc == 3 && std::strcmp(argv[1], "--load") == 0) {
    CDicomFile file;
    return file.Load(argv[2]) ? 0 : 1;
  }
  QApplication application(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "--open") == 0) {
    Editor editor;
    const bool opened = editor.window.OpenFile(QString::fromLocal8Bit(argv[2]));
    editor.Paint();
    return opened ? 0 : 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "--show-pixels") == 0) {
    Editor editor;
    CPixelDataView* view = editor.ShowPixels(argv[2]);
    if (view != nullptr) view->viewport()->repaint();
    return view != nullptr ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
