/// \file
/// quillon-cli: the DICOM library from a shell, for headless and batch use.
/// This file only dispatches; each command lives in its own file.
#include "cli/CliCommand.h"

#include <iostream>

int main(int argc, char** argv) {
  using namespace quillon::cli;
  CLI::App app{"Quillon: inspect and edit DICOM files from the command line", "quillon-cli"};
  app.require_subcommand(1);
  int exitCode = kExitSuccess;
  RegisterCompareCommand(app, exitCode);
  RegisterConvertCommand(app, exitCode);
  RegisterDumpCommand(app, exitCode);
  RegisterFrameCommand(app, exitCode);
  RegisterRewriteCommand(app, exitCode);
  RegisterTagCommand(app, exitCode);
  RegisterUidCommand(app, exitCode);
  RegisterXmlCommand(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::cerr << "quillon-cli: error: " << error.what() << "\n";
    return kExitUsage;
  }
  return exitCode;
}
