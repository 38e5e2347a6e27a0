/// \file
/// "quillon-cli rewrite IN OUT": reads a file and saves it as the editor's
/// Save does — same transfer syntax, group lengths recomputed, missing file
/// meta information completed from the data set — through a temporary
/// file, so OUT is either the complete new file or untouched.
#include "cli/CliCommand.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomFile.h"
#include "dicom/DicomObject.h"
#include "dicom/MetaInformation.h"

#include <iostream>
#include <memory>
#include <string>
#include <vector>

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
  // A bare data set (or one whose meta group lost its transfer syntax)
  // would be saved as a file other programs cannot read: the meta
  // information is completed from the data set, as the editor's save does,
  // and the additions are named. A file that has its transfer syntax is
  // saved as it was.
  if (!file.DataSet().Elements().Sorted().empty() && !file.DataSet().Contains(tags::kTransferSyntaxUid)) {
    std::vector<std::unique_ptr<CDicomElement>> missing = MissingMetaElements(file.DataSet());
    if (!missing.empty()) {
      std::cerr << "Warning: " << options.output << ": the file meta information was completed from the data set:\n"
                << DescribeMetaElements(missing);
      for (auto& element : missing) file.DataSet().RestoreElement(std::move(element));
    }
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
