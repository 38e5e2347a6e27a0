// Runs quillon-cli as a user would and checks what it prints and how it
// exits: scripts depend on both.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

namespace {

struct Result {
  int exitCode = -1;
  std::string out;
};

Result RunCli(const std::string& arguments, const std::string& environment = "") {
  const std::string command = environment + " " + QUILLON_CLI_PATH + " " + arguments + " 2>&1";
  Result result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(CliTag, PrintsVrAndName) {
  Result r = RunCli("tag 0008,1050");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "(0008,1050)\tPN\tattending_physician_name\n");

  r = RunCli("tag 0040,A124 --sop-class 1.2.840.10008.5.1.4.1.1.88.3");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.substr(0, 15), "(0040,A124)\tSQ\t");

  r = RunCli("tag 0040,a124 --sop-class 1.2.840.10008.5.1.4.1.1.88.22");
  EXPECT_EQ(r.out.substr(0, 15), "(0040,A124)\tUI\t");
  r = RunCli("tag '(0040,A124)'");
  EXPECT_EQ(r.out.substr(0, 30), "(0040,A124)\tcontext-dependent\t");
}

TEST(CliTag, UnknownAndRetiredTags) {
  Result r = RunCli("tag 0009,1001");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "(0009,1001)\t??\tUnknown tag\n");
  r = RunCli("tag 0008,0010");  // retired: VR unknown, name still known
  EXPECT_EQ(r.out, "(0008,0010)\t??\trecognition_code\n");
}

TEST(CliTag, MalformedArgumentsExitTwoWithOneLine) {
  for (const char* arguments : {"tag 00zz,0010", "tag 0010", "tag 00100,0010", "tag", "", "tag 0010,0010 x",
                                "frobnicate"}) {
    Result r = RunCli(arguments);
    EXPECT_EQ(r.exitCode, 2) << arguments;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << arguments << ": " << r.out;
    EXPECT_EQ(r.out.rfind("quillon-cli: error: ", 0), 0u) << r.out;
  }
  EXPECT_EQ(RunCli("--help").exitCode, 0);
}

TEST(CliUid, TwoCallsGiveTwoValidUids) {
  const auto dir = std::filesystem::temp_directory_path() / ("quillon-cli-uid-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string env = "QUILLON_SETTINGS_FILE=" + (dir / "Quillon.ini").string();
  Result first = RunCli("uid", env);
  Result second = RunCli("uid", env);
  std::filesystem::remove_all(dir);
  ASSERT_EQ(first.exitCode, 0);
  ASSERT_EQ(second.exitCode, 0);
  EXPECT_NE(first.out, second.out);
  const std::regex valid(std::string("^") + std::regex_replace(QUILLON_UID_ROOT, std::regex("\\."), "\\.") +
                         R"((\.(0|[1-9][0-9]*))+\n$)");
  for (const std::string& uid : {first.out, second.out}) {
    EXPECT_TRUE(std::regex_match(uid, valid)) << uid;
    EXPECT_LE(uid.size() - 1, 64u);
    EXPECT_EQ((uid.size() - 1) % 2, 0u) << uid;
  }
  // The counter persisted in the settings file tells the two apart.
  EXPECT_NE(first.out.substr(first.out.rfind('.')), second.out.substr(second.out.rfind('.')));
}

}  // namespace
