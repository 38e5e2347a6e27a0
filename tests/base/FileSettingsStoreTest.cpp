// Tests of the file-backed settings store: the text format, round trips,
// tolerance of foreign and malformed content, failure reporting, and the
// atomicity of IncrementInt across threads and processes.
#include "base/FileSettingsStore.h"

#include "support/Shell.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace quillon::test;

/// Sets (or, for null, unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() { m_old ? ::setenv(m_name.c_str(), m_old->c_str(), 1) : ::unsetenv(m_name.c_str()); }

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

class FileSettingsStoreTest : public ::testing::Test {
 protected:
  TempDir m_dir{"settings-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name())};
  const fs::path m_file = m_dir.Path() / "Ostrica" / "Quillon.ini";
};

TEST_F(FileSettingsStoreTest, MissingFileReadsDefaultsAndValuesRoundTripThroughANewStore) {
  const std::vector<int> ints = {0, -12, INT_MAX, INT_MIN};
  const std::vector<std::string> strings = {
      "", "/home/user/scans/CT 01.dcm", "a=b=c", "  leading and trailing blanks  ", "C:\\dir\\new\\file.dcm",
      "back\\slash at end\\", "two\nlines\r\nand CR", "[NotASection]", "; not a comment"};
  {
    CFileSettingsStore store(m_file);
    // A missing file reads as defaults, and reading does not create it.
    EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 17), 17);
    EXPECT_EQ(store.GetString("Recent File List", "File1", "none"), "none");
    EXPECT_FALSE(fs::exists(m_file.parent_path()));
    ASSERT_TRUE(store.WriteInt("A", "Int0", 5));  // overwritten below
    for (size_t i = 0; i < ints.size(); ++i) ASSERT_TRUE(store.WriteInt("A", "Int" + std::to_string(i), ints[i]));
    for (size_t i = 0; i < strings.size(); ++i) {
      ASSERT_TRUE(store.WriteString("Recent File List", "File" + std::to_string(i), strings[i]));
    }
  }
  CFileSettingsStore store(m_file);
  for (size_t i = 0; i < ints.size(); ++i) EXPECT_EQ(store.GetInt("A", "Int" + std::to_string(i), 3), ints[i]);
  for (size_t i = 0; i < strings.size(); ++i) {
    EXPECT_EQ(store.GetString("Recent File List", "File" + std::to_string(i), "?"), strings[i]) << i;
  }
  EXPECT_EQ(store.GetInt("Recent File List", "Int0", 3), 3);  // key of another section
  // Sections and keys are case-sensitive.
  EXPECT_EQ(store.GetInt("a", "Int1", 0), 0);
  EXPECT_EQ(store.GetInt("A", "int1", 0), 0);
}

TEST_F(FileSettingsStoreTest, WritesTheExpectedTextAndKeepsLinesItDoesNotUnderstand) {
  const std::string handWritten =
      "; written by hand\norphan=before any section\n[Other Program]\nColour=blue\njust some words\n\n"
      "[VELT]\n# counter below\nUIDSequence=";
  // The same writes on an empty file and on one written by hand: a key
  // replaced in place, one added to a section that is not the last, a new
  // section after a blank line.
  for (const auto& [before, after] : std::vector<std::pair<std::string, std::string>>{
           {"", "[VELT]\nUIDSequence=8\nAdded=yes\n\n[New]\nk=v\n"},
           {handWritten + "7\n\n[Tail]\nx=1\n", handWritten + "8\nAdded=yes\n\n[Tail]\nx=1\n\n[New]\nk=v\n"}}) {
    fs::create_directories(m_file.parent_path());
    WriteText(m_file, before);
    CFileSettingsStore store(m_file);
    ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", 3));
    ASSERT_TRUE(store.WriteString("New", "k", "v"));
    ASSERT_TRUE(store.WriteString("VELT", "Added", "yes"));
    ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", 8));
    EXPECT_EQ(ReadBytes(m_file), after);
  }
  CFileSettingsStore store(m_file);
  EXPECT_EQ(store.GetString("Other Program", "Colour", ""), "blue");
  EXPECT_EQ(store.GetString("Tail", "x", ""), "1");
}

TEST_F(FileSettingsStoreTest, ReadsHandEditedFilesAndIncrementsFromWhatIsStored) {
  fs::create_directories(m_file.parent_path());
  WriteText(m_file,
            "[S]\nword=abc\ntail=12abc\nempty=\nhuge=99999999999\nplus=+5\nhex=0x10\nblanks= 7 \n"
            "[VELT]\r\nUIDSequence=41\r\nName=abc\r\n");
  CFileSettingsStore store(m_file);
  for (const char* key : {"word", "tail", "empty", "huge", "plus", "hex"}) {
    EXPECT_EQ(store.GetInt("S", key, -3), -3) << key;
  }
  EXPECT_EQ(store.GetInt("S", "blanks", -3), 7);
  EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 0), 41);
  EXPECT_EQ(store.GetString("VELT", "Name", ""), "abc");
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), 42);
  EXPECT_EQ(store.IncrementInt("S", "word"), 1);
  EXPECT_EQ(store.IncrementInt("S", "huge"), 1);
  // A missing value counts from 1; the counter stays a positive int.
  EXPECT_EQ(store.IncrementInt("S", "new"), 1);
  EXPECT_EQ(store.IncrementInt("S", "new"), 2);
  EXPECT_EQ(store.GetInt("S", "new", 0), 2);
  for (const auto& [stored, next] :
       std::vector<std::pair<int, int>>{{INT_MAX - 1, INT_MAX}, {INT_MAX, 1}, {-5, 1}, {INT_MIN, 1}, {0, 1}}) {
    ASSERT_TRUE(store.WriteInt("S", "new", stored));
    EXPECT_EQ(store.IncrementInt("S", "new"), next) << stored;
  }
}

TEST_F(FileSettingsStoreTest, CreatesTheFolderKeepsPermissionsAndLeavesNoTemporaryFiles) {
  const fs::path deep = m_dir.Path() / "a" / "b" / "Ostrica" / "Quillon.ini";
  CFileSettingsStore store(deep);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(store.IncrementInt("VELT", "UIDSequence"));
  ASSERT_EQ(::chmod(deep.c_str(), 0640), 0);
  ASSERT_TRUE(store.WriteInt("S", "k", 2));
  struct stat info {};
  ASSERT_EQ(::stat(deep.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(deep.parent_path())) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"Quillon.ini", "Quillon.ini.lock"}));
}

TEST_F(FileSettingsStoreTest, BadNamesAndUnusableLocationsFailWithoutThrowingOrTouchingAnything) {
  // Names that would not read back.
  CFileSettingsStore good(m_file);
  for (const auto& [section, key] : std::vector<std::pair<std::string, std::string>>{
           {"", "k"}, {"a]b", "k"}, {"two\nlines", "k"}, {"S", ""}, {"S", "a=b"}, {"S", "[k"}, {"S", ";k"}}) {
    EXPECT_FALSE(good.WriteInt(section, key, 1)) << section << "/" << key;
  }
  EXPECT_FALSE(good.WriteString("S", "k\n", "v"));
  EXPECT_EQ(good.IncrementInt("S", "a=b"), std::nullopt);
  EXPECT_FALSE(fs::exists(m_file));

  // A regular file where the folder should be (no permission bits involved,
  // so this fails for every user, root included); a folder where the file
  // should be (it exists but cannot be read, and is not overwritten); no
  // path at all.
  const fs::path blocker = m_dir.Path() / "blocker";
  WriteText(blocker, "not a folder");
  fs::create_directories(m_file);
  WriteText(m_file / "keep", "data");
  for (const fs::path& path : {blocker / "Ostrica" / "Quillon.ini", m_file, fs::path()}) {
    CFileSettingsStore store(path);
    EXPECT_FALSE(store.WriteInt("VELT", "UIDSequence", 1)) << path;
    EXPECT_FALSE(store.WriteString("VELT", "Name", "x")) << path;
    EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), std::nullopt) << path;
    EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 9), 9) << path;
  }
  EXPECT_EQ(ReadBytes(blocker), "not a folder");
  EXPECT_EQ(ReadBytes(m_file / "keep"), "data");
}

TEST_F(FileSettingsStoreTest, DefaultPathFollowsTheEnvironment) {
  const ScopedEnv home("HOME", "/home/tester");
  const char* const inHome = "/home/tester/.config/Ostrica/Quillon.ini";
  // QUILLON_SETTINGS_FILE wins unless empty; a relative XDG_CONFIG_HOME is ignored.
  for (const auto& [file, xdg, expected] : std::vector<std::tuple<const char*, const char*, const char*>>{
           {"/some/where/test.ini", "/xdg/config", "/some/where/test.ini"},
           {nullptr, "/xdg/config", "/xdg/config/Ostrica/Quillon.ini"},
           {"", "relative/config", inHome},
           {nullptr, nullptr, inHome}}) {
    const ScopedEnv settingsFile("QUILLON_SETTINGS_FILE", file);
    const ScopedEnv config("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(CFileSettingsStore::DefaultPath(), fs::path(expected)) << (xdg ? xdg : "unset");
    EXPECT_EQ(CFileSettingsStore().Path(), fs::path(expected));
  }
}

TEST_F(FileSettingsStoreTest, IncrementIsAtomicAcrossThreadsAndProcesses) {
  // Each child process runs threads of which half share one store object
  // and half have their own; every value handed out must be distinct.
  constexpr int kChildren = 3;
  constexpr int kThreads = 4;
  constexpr int kPerThread = 60;
  constexpr int kTotal = kChildren * kThreads * kPerThread;
  std::vector<std::pair<pid_t, int>> children;  // pid, read end of its pipe
  for (int c = 0; c < kChildren; ++c) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      std::atomic<int> status{0};
      {
        CFileSettingsStore shared(m_file);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
          threads.emplace_back([&, t] {
            CFileSettingsStore own(m_file);
            CFileSettingsStore& store = t % 2 == 0 ? shared : own;
            for (int i = 0; i < kPerThread; ++i) {
              const int value = store.IncrementInt("VELT", "UIDSequence").value_or(-1);
              if (value < 0) status = 1;
              // A write this small to a pipe is atomic, whichever thread makes it.
              if (::write(fds[1], &value, sizeof value) != static_cast<ssize_t>(sizeof value)) status = 2;
            }
          });
        }
        for (std::thread& thread : threads) thread.join();
      }
      ::close(fds[1]);
      ::_exit(status);  // no test-framework teardown in the child
    }
    ::close(fds[1]);
    children.emplace_back(pid, fds[0]);
  }
  std::vector<int> values;
  for (const auto& [pid, readEnd] : children) {
    int value = 0;
    while (::read(readEnd, &value, sizeof value) == static_cast<ssize_t>(sizeof value)) values.push_back(value);
    ::close(readEnd);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  }
  ASSERT_EQ(values.size(), static_cast<size_t>(kTotal));
  const std::set<int> distinct(values.begin(), values.end());
  EXPECT_EQ(distinct.size(), values.size()) << "two increments returned the same value";
  EXPECT_EQ(*distinct.begin(), 1);
  EXPECT_EQ(*distinct.rbegin(), kTotal);
  EXPECT_EQ(CFileSettingsStore(m_file).GetInt("VELT", "UIDSequence", 0), kTotal);
}

}  // namespace
}  // namespace quillon
