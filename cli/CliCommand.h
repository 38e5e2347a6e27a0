/// \file
/// What every command of the command-line tool shares: the exit codes that
/// scripts rely on and the registration hook each command file provides.
#pragma once

#include <CLI/CLI.hpp>

namespace quillon::cli {

/// Exit codes of quillon-cli.
enum ExitCode : int {
  kExitSuccess = 0,
  kExitFailure = 1,  ///< the command ran and failed (unreadable file, ...)
  kExitUsage = 2,    ///< malformed arguments
};

/// Adds the "tag" command to `app`; its result goes to `exitCode`.
void RegisterTagCommand(CLI::App& app, int& exitCode);
/// Adds the "dump" command to `app`; its result goes to `exitCode`.
void RegisterDumpCommand(CLI::App& app, int& exitCode);
/// Adds the "rewrite" command to `app`; its result goes to `exitCode`.
void RegisterRewriteCommand(CLI::App& app, int& exitCode);
/// Adds the "convert" command to `app`; its result goes to `exitCode`.
void RegisterConvertCommand(CLI::App& app, int& exitCode);
/// Adds the "compare" command to `app`; its result goes to `exitCode`.
void RegisterCompareCommand(CLI::App& app, int& exitCode);
/// Adds the "frame" command to `app`; its result goes to `exitCode`.
void RegisterFrameCommand(CLI::App& app, int& exitCode);
/// Adds the "uid" command to `app`; its result goes to `exitCode`.
void RegisterUidCommand(CLI::App& app, int& exitCode);
/// Adds the "xml" command to `app`; its result goes to `exitCode`.
void RegisterXmlCommand(CLI::App& app, int& exitCode);
/// Adds the "deidentify" command to `app`; its result goes to `exitCode`.
void RegisterDeidentifyCommand(CLI::App& app, int& exitCode);
/// Adds the "modify" command to `app`; its result goes to `exitCode`.
void RegisterModifyCommand(CLI::App& app, int& exitCode);

}  // namespace quillon::cli
