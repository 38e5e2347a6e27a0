/// \file
/// "quillon-cli compare A B": compares the pixel data of two files sample by
/// sample and prints the root-mean-square difference, the number of
/// differing pixels and the percentage of identity.
#include "cli/CliCommand.h"

#include "pixel/PixelComparator.h"

#include <iostream>
#include <memory>
#include <string>

namespace quillon::cli {

namespace {

struct CompareOptions {
  std::string first;
  std::string second;
};

int RunCompare(const CompareOptions& options) {
  const PixelComparison result = ComparePixelFiles(options.first, options.second);
  if (!result.compared) {
    std::cerr << result.message << "\n";
    return kExitFailure;
  }
  std::cout << result.message << "\n";
  return kExitSuccess;
}

}  // namespace

void RegisterCompareCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<CompareOptions>();
  CLI::App* command = app.add_subcommand("compare", "Compare the pixel data of two files");
  command->add_option("first", options->first, "The first file")->required();
  command->add_option("second", options->second, "The file to compare with")->required();
  command->callback([options, &exitCode] { exitCode = RunCompare(*options); });
}

}  // namespace quillon::cli
