// Tests of the file-backed settings store: the text format, round trips,
// tolerance of foreign and malformed content, failure reporting, and the
// atomicity of IncrementInt across threads and processes.
#include "base/FileSettingsStore.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

/// Sets or unsets an environment variable for one test and restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    if (m_old) {
      ::setenv(m_name.c_str(), m_old->c_str(), 1);
    } else {
      ::unsetenv(m_name.c_str());
    }
  }

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

class FileSettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quillon-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
    m_file = m_dir / "Ostrica" / "Quillon.ini";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

  fs::path m_dir;
  fs::path m_file;
};

TEST_F(FileSettingsStoreTest, MissingFileReadsDefaultsAndIsNotCreatedByReads) {
  CFileSettingsStore store(m_file);
  EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 17), 17);
  EXPECT_EQ(store.GetString("Recent File List", "File1", "none"), "none");
  EXPECT_FALSE(fs::exists(m_file.parent_path()));
}

TEST_F(FileSettingsStoreTest, IntsRoundTripThroughANewStoreOnTheSameFile) {
  {
    CFileSettingsStore store(m_file);
    EXPECT_TRUE(store.WriteInt("A", "zero", 0));
    EXPECT_TRUE(store.WriteInt("A", "negative", -12));
    EXPECT_TRUE(store.WriteInt("B", "max", INT_MAX));
    EXPECT_TRUE(store.WriteInt("B", "min", INT_MIN));
    EXPECT_TRUE(store.WriteInt("A", "zero", 5));  // overwrite
  }
  CFileSettingsStore store(m_file);
  EXPECT_EQ(store.GetInt("A", "zero", -1), 5);
  EXPECT_EQ(store.GetInt("A", "negative", 0), -12);
  EXPECT_EQ(store.GetInt("B", "max", 0), INT_MAX);
  EXPECT_EQ(store.GetInt("B", "min", 0), INT_MIN);
  EXPECT_EQ(store.GetInt("A", "max", 3), 3);  // key of another section
}

TEST_F(FileSettingsStoreTest, StringsRoundTripWhateverTheyHold) {
  const std::vector<std::string> values = {
      "",
      "/home/user/scans/CT 01.dcm",
      "a=b=c",
      "  leading and trailing blanks  ",
      "C:\\dir\\new\\file.dcm",
      "back\\slash at end\\",
      "two\nlines\r\nand CR",
      "[NotASection]",
      "; not a comment",
  };
  CFileSettingsStore store(m_file);
  for (size_t i = 0; i < values.size(); ++i) {
    ASSERT_TRUE(store.WriteString("Recent File List", "File" + std::to_string(i), values[i]));
  }
  CFileSettingsStore reread(m_file);
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(reread.GetString("Recent File List", "File" + std::to_string(i), "?"), values[i])
        << "value " << i;
  }
}

TEST_F(FileSettingsStoreTest, WritesTheExpectedText) {
  CFileSettingsStore store(m_file);
  ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", 3));
  ASSERT_TRUE(store.WriteString("Recent File List", "File1", "/tmp/a.dcm"));
  ASSERT_TRUE(store.WriteInt("VELT", "Other", 1));
  ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", 4));
  EXPECT_EQ(ReadText(m_file),
            "[VELT]\nUIDSequence=4\nOther=1\n\n[Recent File List]\nFile1=/tmp/a.dcm\n");
}

TEST_F(FileSettingsStoreTest, KeepsLinesItDoesNotUnderstand) {
  fs::create_directories(m_file.parent_path());
  WriteText(m_file,
            "; written by hand\n"
            "orphan=before any section\n"
            "[Other Program]\n"
            "Colour=blue\n"
            "just some words\n"
            "\n"
            "[VELT]\n"
            "# counter below\n"
            "UIDSequence=7\n"
            "\n"
            "[Tail]\n"
            "x=1\n");
  CFileSettingsStore store(m_file);
  ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", 8));
  ASSERT_TRUE(store.WriteString("VELT", "Added", "yes"));
  ASSERT_TRUE(store.WriteString("New", "k", "v"));
  EXPECT_EQ(ReadText(m_file),
            "; written by hand\n"
            "orphan=before any section\n"
            "[Other Program]\n"
            "Colour=blue\n"
            "just some words\n"
            "\n"
            "[VELT]\n"
            "# counter below\n"
            "UIDSequence=8\n"
            "Added=yes\n"
            "\n"
            "[Tail]\n"
            "x=1\n"
            "\n"
            "[New]\n"
            "k=v\n");
  EXPECT_EQ(store.GetString("Other Program", "Colour", ""), "blue");
  EXPECT_EQ(store.GetString("Tail", "x", ""), "1");
}

TEST_F(FileSettingsStoreTest, ReadsFilesWithWindowsLineEnds) {
  fs::create_directories(m_file.parent_path());
  WriteText(m_file, "[VELT]\r\nUIDSequence=41\r\nName=abc\r\n");
  CFileSettingsStore store(m_file);
  EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 0), 41);
  EXPECT_EQ(store.GetString("VELT", "Name", ""), "abc");
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), 42);
}

TEST_F(FileSettingsStoreTest, MalformedIntsReadAsTheDefault) {
  fs::create_directories(m_file.parent_path());
  WriteText(m_file,
            "[S]\n"
            "word=abc\n"
            "tail=12abc\n"
            "empty=\n"
            "huge=99999999999\n"
            "plus=+5\n"
            "hex=0x10\n"
            "blanks= 7 \n");
  CFileSettingsStore store(m_file);
  for (const char* key : {"word", "tail", "empty", "huge", "plus", "hex"}) {
    EXPECT_EQ(store.GetInt("S", key, -3), -3) << key;
  }
  EXPECT_EQ(store.GetInt("S", "blanks", -3), 7);
  EXPECT_EQ(store.IncrementInt("S", "word"), 1);
  EXPECT_EQ(store.IncrementInt("S", "huge"), 1);
}

TEST_F(FileSettingsStoreTest, SectionsAndKeysAreCaseSensitive) {
  CFileSettingsStore store(m_file);
  ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", 5));
  EXPECT_EQ(store.GetInt("velt", "UIDSequence", 0), 0);
  EXPECT_EQ(store.GetInt("VELT", "uidsequence", 0), 0);
}

TEST_F(FileSettingsStoreTest, RejectsNamesThatWouldNotReadBack) {
  CFileSettingsStore store(m_file);
  EXPECT_FALSE(store.WriteInt("", "k", 1));
  EXPECT_FALSE(store.WriteInt("a]b", "k", 1));
  EXPECT_FALSE(store.WriteInt("two\nlines", "k", 1));
  EXPECT_FALSE(store.WriteInt("S", "", 1));
  EXPECT_FALSE(store.WriteInt("S", "a=b", 1));
  EXPECT_FALSE(store.WriteInt("S", "[k", 1));
  EXPECT_FALSE(store.WriteInt("S", ";k", 1));
  EXPECT_FALSE(store.WriteString("S", "k\n", "v"));
  EXPECT_EQ(store.IncrementInt("S", "a=b"), std::nullopt);
  EXPECT_FALSE(fs::exists(m_file));
}

TEST_F(FileSettingsStoreTest, IncrementStartsAtOneAndWrapsToOne) {
  CFileSettingsStore store(m_file);
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), 1);
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), 2);
  EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 0), 2);

  ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", INT_MAX - 1));
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), INT_MAX);
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), 1);

  ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", -5));
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), 1);
  ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", INT_MIN));
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), 1);
  ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", 0));
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), 1);
}

TEST_F(FileSettingsStoreTest, CreatesTheFolderAndLeavesNoTemporaryFiles) {
  const fs::path deep = m_dir / "a" / "b" / "Ostrica" / "Quillon.ini";
  CFileSettingsStore store(deep);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(store.IncrementInt("VELT", "UIDSequence"));
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(deep.parent_path())) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"Quillon.ini", "Quillon.ini.lock"}));
}

TEST_F(FileSettingsStoreTest, KeepsThePermissionsOfAnExistingFile) {
  CFileSettingsStore store(m_file);
  ASSERT_TRUE(store.WriteInt("S", "k", 1));
  ASSERT_EQ(::chmod(m_file.c_str(), 0640), 0);
  ASSERT_TRUE(store.WriteInt("S", "k", 2));
  struct stat info {};
  ASSERT_EQ(::stat(m_file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(FileSettingsStoreTest, UnwritableLocationFailsWithoutThrowing) {
  // A regular file where the folder should be: no permission bits involved,
  // so this fails for every user, root included.
  const fs::path blocker = m_dir / "blocker";
  WriteText(blocker, "not a folder");
  CFileSettingsStore store(blocker / "Ostrica" / "Quillon.ini");
  EXPECT_FALSE(store.WriteInt("VELT", "UIDSequence", 1));
  EXPECT_FALSE(store.WriteString("VELT", "Name", "x"));
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), std::nullopt);
  EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 9), 9);
  EXPECT_EQ(ReadText(blocker), "not a folder");
}

TEST_F(FileSettingsStoreTest, UnreadableSettingsAreNotOverwritten) {
  // The settings path is a folder: it exists but cannot be read as a file.
  fs::create_directories(m_file);
  WriteText(m_file / "keep", "data");
  CFileSettingsStore store(m_file);
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), std::nullopt);
  EXPECT_FALSE(store.WriteInt("VELT", "UIDSequence", 1));
  EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 4), 4);
  EXPECT_EQ(ReadText(m_file / "keep"), "data");
}

TEST_F(FileSettingsStoreTest, EmptyPathReadsDefaultsAndFailsWrites) {
  CFileSettingsStore store{fs::path()};
  EXPECT_EQ(store.GetInt("S", "k", 6), 6);
  EXPECT_FALSE(store.WriteInt("S", "k", 1));
  EXPECT_EQ(store.IncrementInt("S", "k"), std::nullopt);
}

TEST_F(FileSettingsStoreTest, DefaultPathFollowsTheEnvironment) {
  {
    const ScopedEnv file("QUILLON_SETTINGS_FILE", "/some/where/test.ini");
    EXPECT_EQ(CFileSettingsStore::DefaultPath(), fs::path("/some/where/test.ini"));
    EXPECT_EQ(CFileSettingsStore().Path(), fs::path("/some/where/test.ini"));
  }
  const ScopedEnv noFile("QUILLON_SETTINGS_FILE", nullptr);
  const ScopedEnv home("HOME", "/home/tester");
  {
    const ScopedEnv xdg("XDG_CONFIG_HOME", "/xdg/config");
    EXPECT_EQ(CFileSettingsStore::DefaultPath(), fs::path("/xdg/config/Ostrica/Quillon.ini"));
  }
  {
    const ScopedEnv xdg("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(CFileSettingsStore::DefaultPath(),
              fs::path("/home/tester/.config/Ostrica/Quillon.ini"));
  }
  {
    const ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(CFileSettingsStore::DefaultPath(),
              fs::path("/home/tester/.config/Ostrica/Quillon.ini"));
  }
}

TEST_F(FileSettingsStoreTest, IncrementIsAtomicAcrossThreads) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 50;
  CFileSettingsStore shared(m_file);
  std::vector<std::vector<int>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Half the threads share one store object, half have their own.
      CFileSettingsStore own(m_file);
      CFileSettingsStore& store = t % 2 == 0 ? shared : own;
      for (int i = 0; i < kPerThread; ++i) {
        results[static_cast<size_t>(t)].push_back(store.IncrementInt("VELT", "UIDSequence").value_or(-1));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<int> seen;
  for (const auto& list : results) seen.insert(list.begin(), list.end());
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kPerThread));
  EXPECT_EQ(*seen.begin(), 1);
  EXPECT_EQ(*seen.rbegin(), kThreads * kPerThread);
  EXPECT_EQ(shared.GetInt("VELT", "UIDSequence", 0), kThreads * kPerThread);
}

TEST_F(FileSettingsStoreTest, IncrementIsAtomicAcrossProcesses) {
  constexpr int kChildren = 4;
  constexpr int kPerChild = 200;
  struct Child {
    pid_t pid;
    int readEnd;
  };
  std::vector<Child> children;
  for (int c = 0; c < kChildren; ++c) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      int status = 0;
      {
        CFileSettingsStore store(m_file);
        for (int i = 0; i < kPerChild; ++i) {
          const int value = store.IncrementInt("VELT", "UIDSequence").value_or(-1);
          if (value < 0) status = 1;
          if (::write(fds[1], &value, sizeof value) != static_cast<ssize_t>(sizeof value)) {
            status = 2;
          }
        }
      }
      ::close(fds[1]);
      ::_exit(status);  // no test-framework teardown in the child
    }
    ::close(fds[1]);
    children.push_back({pid, fds[0]});
  }

  std::vector<int> values;
  for (const Child& child : children) {
    int value = 0;
    while (::read(child.readEnd, &value, sizeof value) == static_cast<ssize_t>(sizeof value)) {
      values.push_back(value);
    }
    ::close(child.readEnd);
    int status = 0;
    ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  }

  ASSERT_EQ(values.size(), static_cast<size_t>(kChildren * kPerChild));
  const std::set<int> distinct(values.begin(), values.end());
  EXPECT_EQ(distinct.size(), values.size()) << "two increments returned the same value";
  EXPECT_EQ(*distinct.begin(), 1);
  EXPECT_EQ(*distinct.rbegin(), kChildren * kPerChild);
  EXPECT_EQ(CFileSettingsStore(m_file).GetInt("VELT", "UIDSequence", 0), kChildren * kPerChild);
}

}  // namespace
}  // namespace quillon
