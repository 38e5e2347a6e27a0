// Outputs the commands cannot write: a path the system cannot look up (once
// an abort, exit 134, from a filesystem exception) and a full disk behind
// standard output (once exit 0). Each is an error with a message and exit
// status 1.
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace quillon::test;
using namespace std::string_literals;

namespace {

const std::string kCli = QUILLON_CLI_PATH;
const std::string kSample = QUILLON_SOURCE_DIR "/samples/sample.dcm";
const std::string kGrey = QUILLON_SOURCE_DIR "/samples/grey8.dcm";

TEST(CliOutputFailures, PathsTheSystemCannotLookUpAreErrors) {
  TempDir dir("cli-bad-paths");
  std::filesystem::create_symlink("loop", dir / "loop");
  std::filesystem::create_directory(dir / "locked");
  std::filesystem::permissions(dir / "locked", std::filesystem::perms::none);
  std::string deep;  // a path over PATH_MAX
  for (int i = 0; i < 500; ++i) deep += "abcdefgh/";
  std::vector<std::pair<std::string, int>> paths{{dir / (std::string(300, 'a') + ".dcm"), ENAMETOOLONG},
                                                 {dir / (deep + "x.dcm"), ENAMETOOLONG},
                                                 {dir / "loop/x.dcm", ELOOP}};
  if (::geteuid() != 0) paths.emplace_back(dir / "locked/x.dcm", EACCES);  // root searches any folder
  for (const auto& [path, error] : paths) {
    for (std::string command : {"rewrite " + kSample + " OUT", "convert " + kGrey + " OUT --mode rle",
                                "frame " + kGrey + " OUT", "xml " + kSample + " --output OUT", "dump OUT"s}) {
      command.replace(command.find("OUT"), 3, "'" + path + "'");
      const CommandResult r = RunShell(kCli + " " + command);
      EXPECT_EQ(r.exitCode, 1) << command.substr(0, 120) << ": " << r.err;
      EXPECT_NE(r.err.find(std::strerror(error)), std::string::npos) << r.err;
    }
  }
  std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_all);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);  // loop, locked
}

TEST(CliOutputFailures, AFullStandardOutputIsAnError) {
  TempDir dir("cli-full-output");
  const std::string cli = "QUILLON_SETTINGS_FILE=" + (dir / "settings.ini") + " " + kCli + " ";
  for (const std::string& command : {"dump " + kSample, "tag 0010,0010"s, "uid"s, "compare " + kGrey + " " + kGrey}) {
    ASSERT_EQ(RunShell(cli + command + " >/dev/null").exitCode, 0) << command;
    const CommandResult r = RunShell(cli + command + " >/dev/full");
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_EQ(r.err.rfind("quillon-cli: error: cannot write to standard output", 0), 0u) << r.err;
  }
}

}  // namespace
