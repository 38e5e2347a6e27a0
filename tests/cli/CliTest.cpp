// Runs quillon-cli as a user would and checks what the tag and uid commands
// print, and how malformed arguments to any command exit: scripts depend
// on both.
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace {

using namespace quillon::test;

const std::string kCli = QUILLON_CLI_PATH;

TEST(CliTag, PrintsTheTagItsVrAndItsName) {
  for (const auto& [arguments, expected] : std::vector<std::pair<std::string, std::string>>{
           {"0008,1050", "(0008,1050)\tPN\tattending_physician_name\n"},
           {"0040,A124 --sop-class 1.2.840.10008.5.1.4.1.1.88.3", "(0040,A124)\tSQ\treferenced_person_sequence\n"},
           {"0040,a124 --sop-class 1.2.840.10008.5.1.4.1.1.88.22", "(0040,A124)\tUI\treferenced_person_sequence\n"},
           {"'(0040,A124)'", "(0040,A124)\tcontext-dependent\treferenced_person_sequence\n"},
           {"0009,1001", "(0009,1001)\t??\tUnknown tag\n"},
           {"0008,0010", "(0008,0010)\t??\trecognition_code\n"}}) {  // retired: VR unknown, name known
    const CommandResult r = RunShell(kCli + " tag " + arguments);
    EXPECT_EQ(r.exitCode, 0) << arguments;
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err, "");
  }
}

TEST(Cli, MalformedArgumentsExitTwoWithOneLineAndDoNothing) {
  const TempDir dir("cli-arguments");
  for (const char* arguments : {"tag 00zz,0010", "tag 0010", "tag 00100,0010", "tag", "", "tag 0010,0010 x",
                                "frobnicate", "xml", "xml in.dcm --output", "rewrite in.dcm"}) {
    const CommandResult r = RunShell("cd " + dir.Path().string() + " && " + kCli + " " + arguments);
    EXPECT_EQ(r.exitCode, 2) << arguments;
    EXPECT_EQ(r.out, "") << arguments;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << arguments << ": " << r.err;
    EXPECT_EQ(r.err.rfind("quillon-cli: error: ", 0), 0u) << r.err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  EXPECT_EQ(RunShell(kCli + " --help").exitCode, 0);
}

TEST(CliUid, TwoCallsGiveTwoValidUids) {
  const TempDir dir("cli-uid");
  const std::string command = "QUILLON_SETTINGS_FILE=" + (dir / "Quillon.ini") + " " + kCli + " uid";
  const CommandResult first = RunShell(command), second = RunShell(command);
  const std::regex valid(std::string("^") + std::regex_replace(QUILLON_UID_ROOT, std::regex("\\."), "\\.") +
                         R"((\.(0|[1-9][0-9]*))+\n$)");
  for (const CommandResult& r : {first, second}) {
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::regex_match(r.out, valid)) << r.out;
    EXPECT_LE(r.out.size() - 1, 64u);
    EXPECT_EQ((r.out.size() - 1) % 2, 0u) << r.out;
  }
  // The counter persisted in the settings file tells the two apart.
  EXPECT_NE(first.out.substr(first.out.rfind('.')), second.out.substr(second.out.rfind('.')));
}

}  // namespace
