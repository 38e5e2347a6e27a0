/// \file
/// "quillon-cli dump FILE...": every element of each file, one line each,
/// with sequences and items indented — the same lines the editor shows.
/// Text values are printed in UTF-8, decoded from the character set of
/// their data set; "--raw" prints the bytes as stored.
#include "cli/CliCommand.h"

#include "dicom/DicomFile.h"
#include "dicom/DumpText.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace quillon::cli {

namespace {

struct DumpOptions {
  std::vector<std::string> files;
  bool noPixelData = false;
  bool raw = false;
};

/// Turns each CR LF of `text` into a plain newline, in place, moving whole
/// lines at a time.
void DropCarriageReturns(std::string& text) {
  char* out = text.data();
  const char* in = text.data();
  const char* end = text.data() + text.size();
  while (in < end) {
    const auto* cr = static_cast<const char*>(std::memchr(in, '\r', static_cast<size_t>(end - in)));
    const char* stop = cr != nullptr ? cr : end;
    std::memmove(out, in, static_cast<size_t>(stop - in));
    out += stop - in;
    in = stop;
    if (cr != nullptr) {
      if (cr + 1 < end && cr[1] == '\n') {
        ++in;  // drop the CR, keep the LF
      } else {
        *out++ = *in++;
      }
    }
  }
  text.resize(static_cast<size_t>(out - text.data()));
}

/// Prints the dump as it is made, a chunk at a time, through one buffer.
void PrintDump(const CDicomObject& object, bool raw, DecodeNotes& notes) {
  std::string buffer;
  buffer.reserve(128 * 1024);
  DumpTextInChunks(
      object, 0, buffer,
      [](std::string& chunk) {
        DropCarriageReturns(chunk);
        std::fwrite(chunk.data(), 1, chunk.size(), stdout);
        chunk.clear();
      },
      {.decode = !raw, .notes = &notes});
}

int RunDump(const DumpOptions& options) {
  int exitCode = kExitSuccess;
  const bool several = options.files.size() > 1;
  for (const std::string& path : options.files) {
    CDicomFile file;
    const Status read = file.Load(path, {.skipPixelData = options.noPixelData}, OnCutShort::KeepWhatWasRead);
    // What the reader worked around goes to standard error, so the dump on
    // standard output stays the same lines the editor shows.
    std::fflush(stdout);
    for (const std::string& warning : file.ReadWarnings()) {
      std::cerr << "Warning: " << path << ": " << warning << "\n";
    }
    // A file cut short still shows what it holds, then why it stops.
    const bool partial = !read && file.MissingBytes().has_value();
    if (read || partial) {
      if (several) std::printf("# %s\n", path.c_str());
      DecodeNotes notes;
      PrintDump(file.DataSet(), options.raw, notes);
      std::fflush(stdout);
      if (notes.undeclaredNonAscii) {
        std::cerr << "Warning: " << path
                  << ": text holds bytes beyond ASCII but no Specific Character Set (0008,0005) declares them;"
                     " shown as Latin-1\n";
      }
      if (notes.undecodable) {
        std::cerr << "Warning: " << path
                  << ": text holds bytes that do not decode in its declared character set; shown as \\xNN\n";
      }
    }
    if (!read) {
      std::cerr << "Error Reading File: " << path << ": " << read.Message();
      if (partial) std::cerr << " (the file is cut short: at least " << *file.MissingBytes() << " bytes are missing)";
      std::cerr << "\n";
      exitCode = kExitFailure;
      continue;
    }
    if (std::ferror(stdout)) break;  // nowhere to print the rest (main reports it)
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
                    "Step over the pixel data value without reading it (the elements after it are read)");
  command->add_flag("--raw", options->raw,
                    "Print text values as the bytes stored in the file instead of decoding them to UTF-8");
  command->callback([options, &exitCode] { exitCode = RunDump(*options); });
}

}  // namespace quillon::cli
