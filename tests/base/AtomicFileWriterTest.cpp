// Where saving through WriteFileAtomically can go wrong: a target that is no
// regular file, a killed save, a long name, the temporary files killed saves left.
#include "base/AtomicFileWriter.h"
#include "base/FileStream.h"
#include "base/TemporaryFile.h"
#include "support/Shell.h"
#include "support/StatusAssertions.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

using namespace quillon;
using namespace quillon::test;

namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

struct AtomicSave : ::testing::Test {
  Names Listing() const {
    Names names;
    for (const auto& entry : fs::directory_iterator(m_dir.Path())) names.insert(entry.path().filename().string());
    return names;
  }
  TempDir m_dir{"atomic-save"};
};

Status SaveText(const std::string& path, const std::string& text) {
  return WriteFileAtomically(path, [&text](CFileStream& out) { return out.Write(text.data(), text.size()), Ok(); });
}

// Saving over a FIFO or a device once replaced it with a regular file: as
// root, "rewrite x.dcm /dev/null" replaced /dev/null.
TEST_F(AtomicSave, RefusesToReplaceWhatIsNotARegularFile) {
  ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0600), 0);
  fs::create_directory(m_dir / "folder");
  fs::create_symlink("fifo", m_dir / "link-to-fifo");
  const Names before = Listing();
  std::vector<std::tuple<std::string, std::string, fs::file_type>> cases{
      {m_dir / "fifo", "is a FIFO", fs::file_type::fifo},
      {m_dir / "link-to-fifo", "is a FIFO", fs::file_type::fifo},
      {m_dir / "folder", "is a folder", fs::file_type::directory}};
  // /dev/null comes last, so that a build that replaces the others stops
  // before the machine's /dev/null; and only when it is the device.
  if (fs::status("/dev/null").type() == fs::file_type::character) {
    cases.emplace_back("/dev/null", "is a character device", fs::file_type::character);
  }
  for (const auto& [path, says, type] : cases) {
    const Status saved = SaveText(path, "x");
    ASSERT_EQ(fs::status(path).type(), type) << path;
    EXPECT_NE(saved.Message().find("\"" + path + "\" " + says), std::string::npos) << saved.Message();
  }
  EXPECT_EQ(Listing(), before);
  EXPECT_EQ(SaveText(m_dir / "new/", "x").Message(), "\"" + (m_dir / "new/") + "\" names no file");
}

TEST_F(AtomicSave, DeferredSavesReplaceWholeAndAreWrittenOutLater) {
  const std::string target = m_dir / "batch.out";
  for (const std::string text : {"first", "second, longer"}) {
    ASSERT_TRUE(WriteFileAtomically(
        target, [&text](CFileStream& out) { return out.Write(text.data(), text.size()), Ok(); }, Durability::Deferred));
    EXPECT_EQ(ReadBytes(target), text);
  }
  EXPECT_EQ(Listing(), Names{"batch.out"});
  EXPECT_TRUE(SyncFileSystemOf(m_dir.Path().string()));
  const Status missing = SyncFileSystemOf(m_dir / "missing");
  EXPECT_EQ(missing.GetError().Code(), ErrorCode::Io);
  EXPECT_NE(missing.Message().find("missing\": "), std::string::npos) << missing.Message();
}

// A killed save once left its temporary file, as big as the output, beside the
// target. A temporary file's name once added 22 bytes to the target's, so a
// name of 234 to 255 bytes, as here, could not be saved.
TEST_F(AtomicSave, AKilledSaveLeavesOnlyTheOldTarget) {
  const std::string name(255, 'n');
  const std::string target = m_dir / name;
  WriteText(target, "old content");
  const bool unnamed = [&target] {
    CTemporaryFile probe;
    return Succeeded(probe.Create(target)) && probe.IsUnnamed();
  }();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    (void)WriteFileAtomically(target, [](CFileStream& stream) {
      stream.Write(std::string(1 << 20, 'x').data(), 1 << 20);
      (void)stream.Flush();
      ::raise(SIGKILL);  // half-way
      return Ok();
    });
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ReadBytes(target), "old content");
  EXPECT_TRUE(!unnamed || Listing() == Names{name});
  // Without unnamed files, the next save removes what the killed one left.
  ASSERT_TRUE(Succeeded(SaveText(target, "new content")));
  EXPECT_EQ(ReadBytes(target), "new content");
  EXPECT_EQ(Listing(), Names{name});
}

TEST_F(AtomicSave, OnlyTemporaryFilesOfKilledSavesAreRemoved) {
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
  const auto name = [](const char* target, pid_t pid, const char* random) {
    return "." + std::string(target) + ".quillon-" + std::to_string(pid) + "-" + random + ".tmp";
  };
  WriteText(m_dir / "victim", "not ours");
  const std::string stale = name("out.dcm", dead, "0123456789abcdef");
  const std::string files[] = {
      stale,
      name("out.dcm", ::getpid(), "0123456789abcdef"),  // its writer still runs
      name("out.dcm", dead, "0123456789abcdeg"),        // not a name we make
      ".out.dcm.0123456789abcdef.tmp",                 // says no writer
      name("other.dcm", dead, "0123456789abcdef"),     // another target's
      name("out.dcm", dead, "1111111111111111")};      // locked: a writer in another PID namespace
  for (const std::string& file : files) WriteText(m_dir / file, "partial");
  const int lock = ::open((m_dir / files[5]).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  fs::create_symlink("victim", m_dir / name("out.dcm", dead, "2222222222222222"));
  fs::create_directory(m_dir / name("out.dcm", dead, "3333333333333333"));
  Names kept = Listing();
  kept.erase(stale);
  RemoveStaleTemporaryFiles(m_dir / "out.dcm");
  ::close(lock);
  EXPECT_EQ(Listing(), kept);
  EXPECT_EQ(ReadBytes(m_dir / "victim"), "not ours");
}

}  // namespace
