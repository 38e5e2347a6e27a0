// Where saving through WriteFileAtomically can go wrong: a target that is no
// regular file, a save killed half-way, and the temporary files that killed
// saves leave on file systems without unnamed files.
#include "base/AtomicFileWriter.h"
#include "base/FileStream.h"
#include "base/TemporaryFile.h"
#include "support/StatusAssertions.h"
#include "support/Shell.h"

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

std::set<std::string> Listing(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path())) names.insert(entry.path().filename().string());
  return names;
}

Status SaveText(const std::string& path, const std::string& text) {
  return WriteFileAtomically(path, [&text](CFileStream& stream) {
    stream.Write(text.data(), text.size());
    return Ok();
  });
}

// Saving over a FIFO or a device once replaced it with a regular file: as
// root, "rewrite x.dcm /dev/null" replaced /dev/null.
TEST(AtomicSave, RefusesToReplaceWhatIsNotARegularFile) {
  TempDir dir("atomic-special");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir / "folder");
  fs::create_symlink("fifo", dir / "link-to-fifo");
  const std::set<std::string> before = Listing(dir);
  struct Case {
    std::string path;
    std::string says;
    fs::file_type type;
  };
  std::vector<Case> cases{
      {dir / "fifo", "is a FIFO", fs::file_type::fifo},
      {dir / "link-to-fifo", "is a FIFO", fs::file_type::fifo},
      {dir / "folder", "is a folder", fs::file_type::directory},
  };
  // /dev/null comes last, so that a build that replaces the others stops
  // the test before it reaches the machine's /dev/null; and only when it is
  // the device (a missing one would be saved as a new file).
  if (fs::status("/dev/null").type() == fs::file_type::character) {
    cases.push_back({"/dev/null", "is a character device", fs::file_type::character});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    bool written = false;
    const Status saved = WriteFileAtomically(c.path, [&written](CFileStream&) {
      written = true;
      return Ok();
    });
    ASSERT_FALSE(saved);
    ASSERT_EQ(fs::status(c.path).type(), c.type);
    EXPECT_FALSE(written);
    EXPECT_NE(saved.Message().find("\"" + c.path + "\" " + c.says), std::string::npos) << saved.Message();
  }
  EXPECT_TRUE(fs::is_symlink(dir / "link-to-fifo"));
  EXPECT_EQ(Listing(dir), before);
}

// A killed save once left its temporary file, as big as the output, beside
// the target.
TEST(AtomicSave, AKilledSaveLeavesOnlyTheOldTarget) {
  TempDir dir("atomic-killed");
  const std::string target = dir / "out.dcm";
  WriteText(target, "old content");
  bool unnamed = false;
  {
    CTemporaryFile probe;
    ASSERT_TRUE(Succeeded(probe.Create(target)));
    unnamed = probe.IsUnnamed();
  }
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    (void)WriteFileAtomically(target, [&ready](CFileStream& stream) -> Status {
      const std::string chunk(1 << 20, 'x');
      stream.Write(chunk.data(), chunk.size());
      (void)stream.Flush();
      (void)!::write(ready[1], "w", 1);
      for (;;) ::pause();
    });
    ::_exit(0);
  }
  char halfway = 0;
  ASSERT_EQ(::read(ready[0], &halfway, 1), 1);
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ReadBytes(target), "old content");
  if (unnamed) {
    EXPECT_EQ(Listing(dir), std::set<std::string>{"out.dcm"});
  }
  // Without unnamed files, the next save removes what the killed one left.
  ASSERT_TRUE(Succeeded(SaveText(target, "new content")));
  EXPECT_EQ(ReadBytes(target), "new content");
  EXPECT_EQ(Listing(dir), std::set<std::string>{"out.dcm"});
}

// The temporary file's name once added 22 bytes to the target's, so a
// target name of 234 to 255 bytes could not be saved.
TEST(AtomicSave, ANameNearTheLengthLimitIsSaved) {
  TempDir dir("atomic-long-name");
  const std::string target = dir / std::string(255, 'n');
  ASSERT_TRUE(Succeeded(SaveText(target, "content")));
  EXPECT_EQ(ReadBytes(target), "content");
  EXPECT_EQ(Listing(dir).size(), 1u);
}

TEST(AtomicSave, OnlyTemporaryFilesOfKilledSavesAreRemoved) {
  TempDir dir("atomic-stale");
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
  const auto name = [](const std::string& target, pid_t pid, const std::string& random) {
    return "." + target + ".quillon-" + std::to_string(pid) + "-" + random + ".tmp";
  };
  enum class Kind { File, LockedFile, Symlink, Folder };
  struct Case {
    std::string name;
    Kind kind;
    bool removed;
  };
  const Case cases[] = {
      {name("out.dcm", dead, "0123456789abcdef"), Kind::File, true},
      {name("out.dcm", ::getpid(), "0123456789abcdef"), Kind::File, false},  // its writer still runs
      {name("out.dcm", dead, "0123456789abcdeg"), Kind::File, false},        // not a name we make
      {".out.dcm.0123456789abcdef.tmp", Kind::File, false},                 // says no writer
      {name("other.dcm", dead, "0123456789abcdef"), Kind::File, false},     // another target's
      // A writer in another PID namespace holds its file locked.
      {name("out.dcm", dead, "1111111111111111"), Kind::LockedFile, false},
      {name("out.dcm", dead, "2222222222222222"), Kind::Symlink, false},
      {name("out.dcm", dead, "3333333333333333"), Kind::Folder, false},
  };
  WriteText(dir / "victim", "not ours");
  std::set<std::string> kept{"victim"};
  std::vector<int> locks;
  for (const Case& c : cases) {
    const std::string path = dir / c.name;
    switch (c.kind) {
      case Kind::File: WriteText(path, "partial"); break;
      case Kind::LockedFile:
        WriteText(path, "partial");
        locks.push_back(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::flock(locks.back(), LOCK_EX), 0);
        break;
      case Kind::Symlink: fs::create_symlink("victim", path); break;
      case Kind::Folder: fs::create_directory(path); break;
    }
    if (!c.removed) kept.insert(c.name);
  }
  RemoveStaleTemporaryFiles(dir / "out.dcm");
  for (const int lock : locks) ::close(lock);
  EXPECT_EQ(Listing(dir), kept);
  EXPECT_EQ(ReadBytes(dir / "victim"), "not ours");
}

}  // namespace
