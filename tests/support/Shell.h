// Running peer tools (DCMTK, GDCM) and our own command-line tool from tests.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace quillon::test {

struct CommandResult {
  int exitCode = -1;
  std::string out;  ///< standard output
  std::string err;  ///< standard error
};

/// Runs `command` through the shell; standard error goes to a file so the
/// two streams can be checked separately.
inline CommandResult RunShell(const std::string& command) {
  static int counter = 0;
  const std::string errFile = (std::filesystem::temp_directory_path() /
                               ("quillon-stderr-" + std::to_string(::getpid()) + "-" + std::to_string(counter++)))
                                  .string();
  CommandResult result;
  FILE* pipe = ::popen((command + " 2>" + errFile).c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 65536> buffer{};
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errFile, std::ios::binary);
  result.err.assign(std::istreambuf_iterator<char>(err), {});
  std::filesystem::remove(errFile);
  return result;
}

/// True when `tool` is on the PATH.
inline bool HaveTool(const std::string& tool) { return RunShell("command -v " + tool).exitCode == 0; }

/// A fresh folder for one test, removed afterwards.
class TempDir {
 public:
  explicit TempDir(const std::string& name)
      : m_path(std::filesystem::temp_directory_path() / ("quillon-" + name + "-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
  }
  ~TempDir() { std::filesystem::remove_all(m_path); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string operator/(const std::string& name) const { return (m_path / name).string(); }
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace quillon::test
