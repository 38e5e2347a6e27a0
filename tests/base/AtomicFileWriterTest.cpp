// Where saving through WriteFileAtomically can go wrong: a target that is no
// regular file.
#include "base/AtomicFileWriter.h"
#include "base/FileStream.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
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
  // /dev/null comes last: a build that replaces the others stops the test
  // before it can replace the machine's /dev/null.
  const Case cases[] = {
      {dir / "fifo", "is a FIFO", fs::file_type::fifo},
      {dir / "link-to-fifo", "is a FIFO", fs::file_type::fifo},
      {dir / "folder", "is a folder", fs::file_type::directory},
      {"/dev/null", "is a character device", fs::file_type::character},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    bool written = false;
    std::string error;
    ASSERT_FALSE(WriteFileAtomically(c.path, [&written](CFileStream&) {
      written = true;
      return true;
    }, error));
    ASSERT_EQ(fs::status(c.path).type(), c.type);
    EXPECT_FALSE(written);
    EXPECT_NE(error.find("\"" + c.path + "\" " + c.says), std::string::npos) << error;
  }
  EXPECT_TRUE(fs::is_symlink(dir / "link-to-fifo"));
  EXPECT_EQ(Listing(dir), before);
}

}  // namespace
