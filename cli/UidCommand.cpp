/// \file
/// "quillon-cli uid": prints a new UID under the organisation root, counted
/// through the user's settings store so that UIDs made in the same second
/// by the editor, this tool or several scripts at once never collide.
#include "cli/CliCommand.h"

#include "base/FileSettingsStore.h"
#include "dicom/UidGenerator.h"

#include <iostream>

namespace quillon::cli {

void RegisterUidCommand(CLI::App& app, int& exitCode) {
  CLI::App* command = app.add_subcommand("uid", "Print a newly generated UID");
  command->callback([&exitCode] {
    CFileSettingsStore store;
    std::cout << GenerateUID(&store) << '\n';
    exitCode = kExitSuccess;
  });
}

}  // namespace quillon::cli
