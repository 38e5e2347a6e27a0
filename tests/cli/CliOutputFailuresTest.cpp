// Outputs the commands cannot write: a path the system cannot look up
// (once an abort, exit 134, from a filesystem exception) and a full disk
// behind standard output (once exit 0). Each is an error with a message and
// exit status 1.
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace quillon::test;

namespace {

const std::string kCli = QUILLON_CLI_PATH;
const std::string kSample = std::string(QUILLON_SOURCE_DIR) + "/samples/sample.dcm";
const std::string kGrey = std::string(QUILLON_SOURCE_DIR) + "/samples/grey8.dcm";

std::string Repeat(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

TEST(CliOutputFailures, PathsTheSystemCannotLookUpAreErrors) {
  TempDir dir("cli-bad-paths");
  std::filesystem::create_symlink("loop", dir / "loop");
  std::filesystem::create_directory(dir / "locked");
  std::filesystem::permissions(dir / "locked", std::filesystem::perms::none);
  struct BadPath {
    std::string path;
    int error;
  };
  std::vector<BadPath> paths{
      {dir / (std::string(300, 'a') + ".dcm"), ENAMETOOLONG},           // a name over 255 bytes
      {dir / (Repeat("abcdefgh/", 500) + "x.dcm"), ENAMETOOLONG},       // a path over PATH_MAX
      {dir / "loop/x.dcm", ELOOP},
  };
  // Root searches any folder.
  if (::geteuid() != 0) paths.push_back({dir / "locked/x.dcm", EACCES});
  const std::string commands[] = {"rewrite " + kSample + " OUT", "convert " + kGrey + " OUT --mode rle",
                                  "frame " + kGrey + " OUT", "xml " + kSample + " --output OUT", "dump OUT"};
  for (const BadPath& bad : paths) {
    for (std::string command : commands) {
      command.replace(command.find("OUT"), 3, "'" + bad.path + "'");
      SCOPED_TRACE(command.substr(0, 120));
      const CommandResult r = RunShell(kCli + " " + command);
      EXPECT_EQ(r.exitCode, 1) << r.err;
      EXPECT_NE(r.err.find(std::strerror(bad.error)), std::string::npos) << r.err;
    }
  }
  std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_all);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);  // loop, locked
}

TEST(CliOutputFailures, AFullStandardOutputIsAnError) {
  TempDir dir("cli-full-output");
  const std::string settings = "QUILLON_SETTINGS_FILE=" + (dir / "settings.ini") + " ";
  const std::string commands[] = {"dump " + kSample, "tag 0010,0010", "uid", "compare " + kGrey + " " + kGrey};
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    ASSERT_EQ(RunShell(settings + kCli + " " + command + " >/dev/null").exitCode, 0);
    const CommandResult r = RunShell(settings + kCli + " " + command + " >/dev/full");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("quillon-cli: error: cannot write to standard output", 0), 0u) << r.err;
  }
}

}  // namespace
