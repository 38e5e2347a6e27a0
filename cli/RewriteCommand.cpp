/// \file
/// "quillon-cli rewrite IN OUT": reads a file and saves it as the editor's
/// Save does — same transfer syntax, group lengths recomputed — through a
/// temporary file, so OUT is either the complete new file or untouched.
#include "cli/CliCommand.h"

#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"

#include <iostream>
#include <memory>
#include <string>

namespace quillon::cli {

namespace {

struct RewriteOptions {
  std::string input;
  std::string output;
};

int RunRewrite(const RewriteOptions& options) {
  CDicomObject object;
  const bool read = object.LoadFile(options.input, false);
  for (const std::string& warning : object.GetReadWarnings()) {
    std::cerr << "Warning: " << options.input << ": " << warning << "\n";
  }
  if (!read) {
    std::cerr << "Error Reading File: " << options.input << ": " << object.GetLastReadError() << "\n";
    return kExitFailure;
  }
  std::string error;
  if (!SaveDicomFile(object, options.output, error)) {
    std::cerr << "Error Writing File: " << options.output << ": " << error << "\n";
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace

void RegisterRewriteCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<RewriteOptions>();
  CLI::App* command = app.add_subcommand("rewrite", "Read a DICOM file and save it again");
  command->add_option("input", options->input, "The file to read")->required();
  command->add_option("output", options->output, "Where to save it (may be the input)")->required();
  command->callback([options, &exitCode] { exitCode = RunRewrite(*options); });
}

}  // namespace quillon::cli
