/// \file
/// "quillon-cli rewrite IN OUT": reads a file and saves it as the editor's
/// Save does — same transfer syntax, group lengths recomputed — through a
/// temporary file, so OUT is either the complete new file or untouched.
#include "cli/CliCommand.h"

#include "dicom/DicomFile.h"

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
  CDicomFile file;
  const Status read = file.Load(options.input);
  for (const std::string& warning : file.ReadWarnings()) {
    std::cerr << "Warning: " << options.input << ": " << warning << "\n";
  }
  if (!read) {
    std::cerr << "Error Reading File: " << options.input << ": " << read.Message() << "\n";
    return kExitFailure;
  }
  if (const Status saved = file.Save(options.output); !saved) {
    std::cerr << "Error Writing File: " << options.output << ": " << saved.Message() << "\n";
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
