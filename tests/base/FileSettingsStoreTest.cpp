// The file-backed settings store: its text, round trips, foreign and malformed
// content, failures, and IncrementInt's atomicity across threads and processes.
#include "base/FileSettingsStore.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <numeric>
#include <set>
#include <thread>
#include <tuple>

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace quillon::test;

/// Sets (or, for null, unsets) an environment variable for one scope.
struct ScopedEnv {
  ScopedEnv(const char* variable, const char* value) : name(variable) {
    if (const char* was = std::getenv(name)) old = was;
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name); }
  const char* name;
  std::optional<std::string> old;
};

struct FileSettingsStoreTest : ::testing::Test {
  TempDir m_dir{"settings"};
  const fs::path m_file = m_dir.Path() / "Ostrica" / "Quillon.ini";
};

TEST_F(FileSettingsStoreTest, MissingFileReadsDefaultsAndValuesRoundTripThroughANewStore) {
  const std::vector<std::string> strings = {
      "", "/home/user/scans/CT 01.dcm", "a=b=c", "  leading and trailing blanks  ", "C:\\dir\\new\\file.dcm",
      "back\\slash at end\\", "two\nlines\r\nand CR", "[NotASection]", "; not a comment"};
  const int ints[] = {0, -12, INT_MAX, INT_MIN};
  {
    CFileSettingsStore store(m_file);
    // A missing file reads as defaults, and reading does not create it.
    EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 17), 17);
    EXPECT_FALSE(fs::exists(m_file.parent_path()));
    for (size_t i = 0; i < strings.size(); ++i) ASSERT_TRUE(store.WriteString("S", std::to_string(i), strings[i]));
    for (const int value : ints) ASSERT_TRUE(store.WriteInt("A", "k" + std::to_string(value), value));
  }
  CFileSettingsStore store(m_file);
  for (size_t i = 0; i < strings.size(); ++i) EXPECT_EQ(store.GetString("S", std::to_string(i), "?"), strings[i]);
  for (const int value : ints) EXPECT_EQ(store.GetInt("A", "k" + std::to_string(value), 3), value);
  EXPECT_EQ(store.GetInt("S", "k0", 3), 3);  // a key of another section
  // A rewrite keeps the permissions given to the file and leaves no temporary file.
  fs::permissions(m_file, fs::perms(0640));
  ASSERT_TRUE(store.IncrementInt("VELT", "UIDSequence"));
  EXPECT_EQ(fs::status(m_file).permissions(), fs::perms(0640));
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(m_file.parent_path())) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"Quillon.ini", "Quillon.ini.lock"}));
}

TEST_F(FileSettingsStoreTest, WritesTheExpectedTextAroundLinesItDoesNotUnderstand) {
  const std::string kept =
      "; written by hand\norphan=before any section\n[S]\nword=abc\ntail=12abc\nempty=\nhuge=99999999999\n"
      "plus=+5\nhex=0x10\nblanks= 7 \njust some words\n\n[VELT]\n# counter below\n";
  // The same writes on an empty file and on one written by hand (Windows
  // line ends in part): a key replaced in place, one added to a section
  // that is not the last, a new section after a blank line.
  for (const auto& [before, after] : std::vector<std::pair<std::string, std::string>>{
           {"", "[VELT]\nUIDSequence=8\nAdded=yes\n\n[New]\nk=v\n"},
           {kept + "UIDSequence=7\r\n\r\n[Tail]\r\nx=1\n",
            kept + "UIDSequence=8\nAdded=yes\n\n[Tail]\nx=1\n\n[New]\nk=v\n"}}) {
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
  for (const char* key : {"word", "tail", "empty", "huge", "plus", "hex"}) EXPECT_EQ(store.GetInt("S", key, -3), -3);
  EXPECT_EQ(store.GetInt("S", "blanks", -3), 7);
  // A missing or malformed value counts from 1; the counter wraps to 1 and
  // a negative one restarts.
  EXPECT_EQ(store.IncrementInt("S", "new"), 1);
  for (const auto& [stored, next] : std::vector<std::pair<std::string, int>>{
           {"41", 42}, {"abc", 1}, {"2147483646", INT_MAX}, {"2147483647", 1}, {"-5", 1}, {"-2147483648", 1}}) {
    ASSERT_TRUE(store.WriteString("S", "n", stored));
    EXPECT_EQ(store.IncrementInt("S", "n"), next) << stored;
  }
}

TEST_F(FileSettingsStoreTest, BadNamesAndUnusableLocationsFailWithoutTouchingAnything) {
  CFileSettingsStore good(m_file);
  // Names that would not read back.
  for (const auto& [section, key] : std::vector<std::pair<std::string, std::string>>{
           {"", "k"}, {"a]b", "k"}, {"a\nb", "k"}, {"S", ""}, {"S", "a=b"}, {"S", "[k"}, {"S", ";k"}, {"S", "k\n"}}) {
    EXPECT_FALSE(good.WriteInt(section, key, 1)) << section << "/" << key;
  }
  EXPECT_FALSE(fs::exists(m_file));
  // A file where the folder should be (fails for root too); a folder where
  // the file should be (unreadable, and not overwritten); no path at all.
  const fs::path blocker = m_dir.Path() / "blocker";
  WriteText(blocker, "not a folder");
  fs::create_directories(m_file);
  WriteText(m_file / "keep", "data");
  for (const fs::path& path : {blocker / "Ostrica" / "Quillon.ini", m_file, fs::path()}) {
    CFileSettingsStore store(path);
    EXPECT_FALSE(store.WriteString("VELT", "Name", "x")) << path;
    EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), std::nullopt) << path;
    EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 9), 9) << path;
  }
  EXPECT_EQ(ReadBytes(blocker), "not a folder");
  EXPECT_EQ(ReadBytes(m_file / "keep"), "data");
}

TEST_F(FileSettingsStoreTest, DefaultPathFollowsTheEnvironment) {
  const ScopedEnv home("HOME", "/home/tester");
  // QUILLON_SETTINGS_FILE wins unless empty; a relative XDG_CONFIG_HOME is ignored.
  for (const auto& [file, xdg, expected] : std::vector<std::tuple<const char*, const char*, const char*>>{
           {"/some/where/test.ini", "/xdg/config", "/some/where/test.ini"},
           {nullptr, "/xdg/config", "/xdg/config/Ostrica/Quillon.ini"},
           {"", "relative/config", "/home/tester/.config/Ostrica/Quillon.ini"},
           {nullptr, nullptr, "/home/tester/.config/Ostrica/Quillon.ini"}}) {
    const ScopedEnv settingsFile("QUILLON_SETTINGS_FILE", file), config("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(CFileSettingsStore().Path(), fs::path(expected)) << expected;
  }
}

TEST_F(FileSettingsStoreTest, IncrementIsAtomicAcrossThreadsAndProcesses) {
  // Processes of threads, half sharing one store object and half with their
  // own: the values handed out must be 1 to the total, each once.
  constexpr int kProcesses = 3, kThreads = 4, kPerThread = 60, kTotal = kProcesses * kThreads * kPerThread;
  int values[2];  // a pipe: a write this small is atomic, whichever thread makes it
  ASSERT_EQ(::pipe(values), 0);
  std::vector<pid_t> children;
  for (int c = 0; c < kProcesses; ++c) {
    children.push_back(::fork());
    ASSERT_GE(children.back(), 0);
    if (children.back() != 0) continue;
    CFileSettingsStore shared(m_file);
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        CFileSettingsStore own(m_file);
        for (int i = 0; i < kPerThread; ++i) {
          const int value = (t % 2 == 0 ? shared : own).IncrementInt("VELT", "UIDSequence").value_or(-1);
          (void)!::write(values[1], &value, sizeof value);
        }
      });
    }
    threads.clear();  // joins them
    ::_exit(0);       // no test-framework teardown in the child
  }
  ::close(values[1]);
  std::vector<int> handedOut;
  for (int v = 0; ::read(values[0], &v, sizeof v) == static_cast<ssize_t>(sizeof v);) handedOut.push_back(v);
  ::close(values[0]);
  for (const pid_t child : children) EXPECT_EQ(::waitpid(child, nullptr, 0), child);
  std::sort(handedOut.begin(), handedOut.end());
  std::vector<int> expected(kTotal);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(handedOut, expected);
  EXPECT_EQ(CFileSettingsStore(m_file).GetInt("VELT", "UIDSequence", 0), kTotal);
}

}  // namespace
}  // namespace quillon
