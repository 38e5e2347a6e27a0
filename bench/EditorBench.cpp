/// \file
/// The desktop editor's speed on a large file (headless, offscreen):
///   BM_OpenToPaintedList  open the file and paint the element list once
///   BM_EditRepaint        remove an element (rows rebuilt) and repaint
///   BM_ScrollPage         scroll the list one page and repaint
/// and, for the memory comparison of bench/run_editor_bench.sh, two modes
/// that do one thing and exit:
///   editor-bench --open FILE   the editor with FILE open and painted
///   editor-bench --load FILE   the library alone holding FILE
/// The file comes from QUILLON_BENCH_FILE (the nested.dcm of the bench
/// corpus by default).
#include "app/QuillonApp.h"
#include "app/UserInterface.h"
#include "app/qt/DicomDumpView.h"
#include "app/qt/MainFrame.h"
#include "dicom/DicomObject.h"
#include "dicom/FileSettingsStore.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>

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
  std::optional<std::string> AskOpenPath(const std::string&) override { return std::nullopt; }
  std::optional<std::string> AskSavePath(const std::string&, const std::string&) override { return std::nullopt; }
  void RunWithProgress(const std::string&, const std::function<void(const ProgressReport&)>& work) override {
    work([](int64_t, int64_t) { return true; });
  }
  void ShowStatus(const std::string&) override {}
};

std::string BenchFile() {
  const char* file = std::getenv("QUILLON_BENCH_FILE");
  return file != nullptr ? file : "build/bench-corpus/nested.dcm";
}

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

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc == 3 && std::strcmp(argv[1], "--load") == 0) {
    CDicomObject object;
    return object.LoadFile(argv[2], false) ? 0 : 1;
  }
  QApplication application(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "--open") == 0) {
    Editor editor;
    const bool opened = editor.window.OpenFile(QString::fromLocal8Bit(argv[2]));
    editor.Paint();
    return opened ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
