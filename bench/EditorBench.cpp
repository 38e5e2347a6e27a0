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
///   BM_FirstPictureCt     show the pixel view of a 512x512 CT without a
///                         window (first window from its value range), painted
///   BM_ZoomStep, BM_PanStep  one zoom step (in or out) and one scroll step
///                         on a 4096x4096 16-bit image, painted
/// and the element list (nested.dcm, about 250,000 rows):
///   BM_CollapseSequence   collapse the top sequence (nearly every row), painted
///   BM_FilterRows/tag, /text  filter every row by a tag or a text, painted
/// and the folder panel:
///   BM_ScanFolder         the tree of QUILLON_BENCH_SCAN_FOLDER (10,000
///                         files made by bench/run_editor_bench.sh), headers only
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
#include "dicom/DicomFileWriter.h"
#include "dicom/ValueRepresentation.h"
#include "app/qt/DumpRowModel.h"
#include "app/StudyTree.h"
#include "base/FileSettingsStore.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QElapsedTimer>
#include <QEvent>
#include <QScrollBar>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>
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
  bool RunDeidentifyDialog(CDeidentifyDlg&) override { return false; }
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
    // Until the new window is exposed, a repaint paints nothing.
    QApplication::processEvents();
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

/// Writes a one-frame signed 16-bit CT of `size` x `size` (a ramp with a
/// disc, so the value range is wide) without a window; false on failure.
bool WriteGreyImage(const std::string& path, uint16_t size) {
  CDicomObject object;
  (void)object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.2", "1.3.6.1.4.1.58231.1.98." + std::to_string(size),
                                     "1.2.840.10008.1.2.1", "1.3.6.1.4.1.58231.1", "QUILLON", "QUILLON");
  (void)object.AddString(0x00080060, vr::CS, "CT");
  (void)object.AddUInt16(0x00280002, vr::US, 1);
  (void)object.AddString(0x00280004, vr::CS, "MONOCHROME2");
  (void)object.AddUInt16(0x00280010, vr::US, size);
  (void)object.AddUInt16(0x00280011, vr::US, size);
  (void)object.AddUInt16(0x00280100, vr::US, 16);
  (void)object.AddUInt16(0x00280101, vr::US, 16);
  (void)object.AddUInt16(0x00280102, vr::US, 15);
  (void)object.AddUInt16(0x00280103, vr::US, 1);
  (void)object.AddString(0x00281052, vr::DS, "-1024");
  (void)object.AddString(0x00281053, vr::DS, "1");
  std::vector<uint8_t> bytes(size_t{size} * size * 2);
  for (size_t y = 0; y < size; ++y) {
    for (size_t x = 0; x < size; ++x) {
      const double dx = (static_cast<double>(x) - size / 2.0) / size;
      const double dy = (static_cast<double>(y) - size / 2.0) / size;
      const auto value = static_cast<uint16_t>(dx * dx + dy * dy < 0.16 ? 1000 + (x + y) % 200 : 24);
      bytes[2 * (y * size + x)] = static_cast<uint8_t>(value);
      bytes[2 * (y * size + x) + 1] = static_cast<uint8_t>(value >> 8);
    }
  }
  (void)object.AddValue(0x7FE00010, vr::OW, bytes.data(), static_cast<uint32_t>(bytes.size()));
  return static_cast<bool>(SaveDicomFile(object, path));
}

std::string TempImage(uint16_t size) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("quillon-bench-" + std::to_string(::getpid()) + "-" + std::to_string(size) + ".dcm"))
                               .string();
  return std::filesystem::exists(path) || WriteGreyImage(path, size) ? path : std::string();
}

/// Counts the paint events of a widget: a step that paints nothing would
/// measure nothing.
class CPaintCounter : public QObject {
 public:
  explicit CPaintCounter(QWidget* widget) : QObject(widget) { widget->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

void BM_FirstPictureCt(benchmark::State& state) {
  Editor editor;
  const std::string path = TempImage(512);
  if (path.empty() || !editor.window.OpenFile(QString::fromStdString(path))) {
    state.SkipWithError("cannot write or open the CT");
    return;
  }
  for (auto _ : state) {
    editor.window.Execute(CommandId::ShowPixelData);
    CPixelDataView* view = editor.window.ActivePixelView();
    if (view == nullptr) {
      state.SkipWithError("no pixel view");
      return;
    }
    // Grabbed: painted into an image whether or not the window is exposed yet.
    benchmark::DoNotOptimize(view->viewport()->grab());
    state.PauseTiming();
    delete editor.window.ActiveFrame();
    QApplication::processEvents();
    state.ResumeTiming();
  }
  editor.CloseAll();
  std::filesystem::remove(path);
}
BENCHMARK(BM_FirstPictureCt)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ZoomStep(benchmark::State& state) {
  Editor editor;
  const std::string path = TempImage(4096);
  CPixelDataView* view = path.empty() ? nullptr : editor.ShowPixels(path);
  if (view == nullptr) {
    state.SkipWithError("cannot show the 4096x4096 image");
    return;
  }
  view->ZoomOneToOne();
  auto* counter = new CPaintCounter(view->viewport());
  state.counters["view_width"] = view->viewport()->width();
  state.counters["view_height"] = view->viewport()->height();
  int step = 0;
  for (auto _ : state) {
    // In, in, out, out: between 1:1 and 2:1, centred on the view.
    if (step++ % 4 < 2) {
      view->ZoomIn();
    } else {
      view->ZoomOut();
    }
  }
  state.counters["paints"] = counter->paints;
  editor.CloseAll();
  std::filesystem::remove(path);
}
BENCHMARK(BM_ZoomStep)->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_PanStep(benchmark::State& state) {
  Editor editor;
  const std::string path = TempImage(4096);
  CPixelDataView* view = path.empty() ? nullptr : editor.ShowPixels(path);
  if (view == nullptr) {
    state.SkipWithError("cannot show the 4096x4096 image");
    return;
  }
  view->ZoomIn();
  auto* counter = new CPaintCounter(view->viewport());
  QScrollBar* bar = view->horizontalScrollBar();
  state.counters["scroll_max"] = bar->maximum();
  for (auto _ : state) {
    bar->setValue(bar->value() + bar->singleStep() < bar->maximum() ? bar->value() + bar->singleStep() : 0);
    view->viewport()->repaint();
  }
  state.counters["paints"] = counter->paints;
  editor.CloseAll();
  std::filesystem::remove(path);
}
BENCHMARK(BM_PanStep)->Unit(benchmark::kMillisecond)->Iterations(200);

/// The first sequence row of the list, or -1.
int FirstSequenceRow(const CDicomImageDoc& document) {
  for (size_t row = 0; row < document.Rows().Size(); ++row) {
    if (document.Rows().At(row).kind == DumpRowKind::Sequence) return static_cast<int>(row);
  }
  return -1;
}

void BM_CollapseSequence(benchmark::State& state) {
  Editor editor;
  editor.window.OpenFile(QString::fromStdString(BenchFile()));
  CDicomDumpView* view = editor.window.ActiveDumpView();
  const int sequence = view != nullptr ? FirstSequenceRow(view->Document()) : -1;
  if (sequence < 0) {
    state.SkipWithError("no sequence in the bench file");
    return;
  }
  view->SelectRow(sequence);
  const int all = view->Model().rowCount();
  for (auto _ : state) {
    (void)view->SetCollapsed(sequence, true);
    editor.Paint();
    state.PauseTiming();
    state.counters["rows_hidden"] = all - view->Model().rowCount();
    (void)view->SetCollapsed(sequence, false);
    editor.Paint();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CollapseSequence)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_FilterRows(benchmark::State& state, const char* typed) {
  Editor editor;
  editor.window.OpenFile(QString::fromStdString(BenchFile()));
  CDicomDumpView* view = editor.window.ActiveDumpView();
  if (view == nullptr) {
    state.SkipWithError("cannot open the bench file");
    return;
  }
  state.counters["rows"] = view->Model().rowCount();
  for (auto _ : state) {
    view->SetFilter(QString::fromLatin1(typed));
    editor.Paint();
    state.PauseTiming();
    view->SetFilter(QString());
    editor.Paint();
    state.ResumeTiming();
  }
}
// A tag compares tags; a text formats and searches every row.
BENCHMARK_CAPTURE(BM_FilterRows, tag, "0008,1155")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_CAPTURE(BM_FilterRows, text, "bench^nested")->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ScanFolder(benchmark::State& state) {
  const std::string folder = EnvOr("QUILLON_BENCH_SCAN_FOLDER", "build/bench-corpus/scan");
  for (auto _ : state) {
    const CStudyTree tree = ScanFolder(folder);
    state.counters["files"] = static_cast<double>(tree.InstanceCount() + tree.skipped.size());
    if (tree.InstanceCount() == 0) {
      state.SkipWithError("no DICOM file in the scan folder");
      return;
    }
  }
}
BENCHMARK(BM_ScanFolder)->Unit(benchmark::kMillisecond)->Iterations(3);

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
