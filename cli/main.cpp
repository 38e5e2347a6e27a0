/// \file
/// quillon-cli: the DICOM library from a shell, for headless and batch use.
/// This file only dispatches; each command lives in its own file.
#include "cli/CliCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

/// What a command printed must have reached its destination: a full disk or
/// a closed pipe behind standard output is a failure, not a success.
int FinishStandardOutput(int exitCode) {
  errno = 0;
  std::cout.flush();
  const bool flushed = std::fflush(stdout) == 0;
  // Known when the last bytes failed; a write that failed earlier left only
  // the stream's error flag.
  const int reason = errno;
  if (flushed && !std::ferror(stdout) && std::cout.good()) return exitCode;
  std::cerr << "quillon-cli: error: cannot write to standard output" << (reason != 0 ? ": " : "")
            << (reason != 0 ? std::strerror(reason) : "") << "\n";
  return quillon::cli::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillon::cli;
  CLI::App app{"Quillon: inspect and edit DICOM files from the command line", "quillon-cli"};
  app.require_subcommand(1);
  int exitCode = kExitSuccess;
  RegisterCompareCommand(app, exitCode);
  RegisterConvertCommand(app, exitCode);
  RegisterDeidentifyCommand(app, exitCode);
  RegisterDumpCommand(app, exitCode);
  RegisterFrameCommand(app, exitCode);
  RegisterModifyCommand(app, exitCode);
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
  } catch (const std::exception& error) {
    // The commands report their failures themselves; whatever still comes
    // through is a failure too, never a reason to abort.
    std::cerr << "quillon-cli: error: " << error.what() << "\n";
    return kExitFailure;
  } catch (...) {
    std::cerr << "quillon-cli: error: unexpected failure\n";
    return kExitFailure;
  }
  return FinishStandardOutput(exitCode);
}
