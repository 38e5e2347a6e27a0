/// \file
/// "quillon-cli dump FILE...": every element of each file, one line each,
/// with sequences and items indented — the same lines the editor shows.
#include "cli/CliCommand.h"

#include "dicom/DicomObject.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace quillon::cli {

namespace {

struct DumpOptions {
  std::vector<std::string> files;
  bool noPixelData = false;
};

/// Turns each CR LF of `text` into a plain newline, in place.
void DropCarriageReturns(std::string& text) {
  size_t out = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    text[out++] = text[i];
  }
  text.resize(out);
}

/// Prints the dump one top-level element at a time through one reused
/// buffer: a dump of hundreds of thousands of elements never exists as a
/// whole string, and the buffer's memory is allocated once.
void PrintDump(const CDicomObject& object) {
  std::string buffer;
  for (const auto& entry : object.Elements().Sorted()) {
    (void)entry.element->DumpText(buffer, 0);
    if (buffer.size() >= 1 << 16) {
      DropCarriageReturns(buffer);
      std::fwrite(buffer.data(), 1, buffer.size(), stdout);
      buffer.clear();
    }
  }
  DropCarriageReturns(buffer);
  std::fwrite(buffer.data(), 1, buffer.size(), stdout);
}

int RunDump(const DumpOptions& options) {
  int exitCode = kExitSuccess;
  const bool several = options.files.size() > 1;
  for (const std::string& path : options.files) {
    CDicomObject object;
    if (!object.LoadFile(path, options.noPixelData)) {
      std::fflush(stdout);
      std::cerr << "Error Reading File: " << path << ": " << object.GetLastReadError() << "\n";
      exitCode = kExitFailure;
      continue;
    }
    if (several) std::printf("# %s\n", path.c_str());
    PrintDump(object);
  }
  std::fflush(stdout);
  return exitCode;
}

}  // namespace

void RegisterDumpCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<DumpOptions>();
  CLI::App* command = app.add_subcommand("dump", "Print every element of DICOM files");
  command->add_option("files", options->files, "DICOM files to dump")->required();
  command->add_flag("--no-pixel-data", options->noPixelData,
                    "Do not read the pixel data (and nothing after it)");
  command->callback([options, &exitCode] { exitCode = RunDump(*options); });
}

}  // namespace quillon::cli
