// The byte streams: the file stream's buffer, seeks, in-place writes, positions
// past 4 GiB and sticky error state; the memory stream.
#include "base/FileStream.h"
#include "base/MemoryStream.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using namespace quillon::test;
using Origin = CStream::SeekOrigin;

struct FileStreamTest : ::testing::Test {
  std::string PathOf(const char* name) const { return m_dir / name; }
  TempDir m_dir{"stream"};
};

TEST_F(FileStreamTest, WritesAndReadsBackAcrossBufferBoundaries) {
  std::string data(300 * 1024 + 17, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + i / 251);
  CFileStream out;
  ASSERT_TRUE(out.Open(PathOf("a.bin"), CFileStream::OpenMode::Create));
  // Small writes that straddle the buffer, then one large direct write.
  size_t written = 0;
  for (size_t chunk = 1; written + chunk < 100 * 1024; chunk = chunk * 3 % 997 + 1) {
    out.Write(data.data() + written, chunk);
    written += chunk;
  }
  out.Write(data.data() + written, data.size() - written);
  EXPECT_EQ(out.GetLength(), data.size());
  EXPECT_EQ(out.GetPosition(), data.size());
  ASSERT_TRUE(out.Close());

  CFileStream in;
  ASSERT_TRUE(in.Open(PathOf("a.bin"), CFileStream::OpenMode::Read));
  std::string back(data.size(), '\0');
  for (size_t done = 0, chunk = 7; done < back.size(); chunk = chunk * 5 % 70001 + 3) {
    done += in.Read(back.data() + done, std::min(chunk, back.size() - done));
  }
  EXPECT_TRUE(back == data);
  char byte = 0;
  EXPECT_EQ(in.Read(&byte, 1), 0u);  // end of file is a short read, not an error
  EXPECT_TRUE(in.State());
  // Seeks outside the buffer, inside it, from the end and from here.
  for (const uint64_t at : {uint64_t{150000}, uint64_t{150100}, uint64_t{1}}) {
    ASSERT_EQ(in.Seek(static_cast<int64_t>(at), Origin::Begin), at);
    ASSERT_EQ(in.Read(&byte, 1), 1u);
    EXPECT_EQ(byte, data[at]);
  }
  EXPECT_EQ(in.Seek(-1, Origin::End), data.size() - 1);
  EXPECT_EQ(in.Seek(-2, Origin::Current), data.size() - 3);
  // Before the start: the stream fails, stays where it was, reads nothing more.
  EXPECT_EQ(in.Seek(-1, Origin::Begin), data.size() - 3);
  EXPECT_EQ(in.State().Message(), "seek outside the file \"" + PathOf("a.bin") + "\"");
  in.Seek(0, Origin::Begin);
  EXPECT_EQ(in.Read(&byte, 1), 0u);
}

TEST_F(FileStreamTest, WritesInPlaceBetweenReadsAndPastFourGigabytes) {
  WriteText(PathOf("c.bin"), "0123456789");
  CFileStream io;
  ASSERT_TRUE(io.Open(PathOf("c.bin"), CFileStream::OpenMode::ReadWrite));
  char all[11] = {};
  ASSERT_EQ(io.Read(all, 3), 3u);
  io.Seek(4, Origin::Begin);
  io.Write("ab", 2);
  io.Seek(0, Origin::Begin);
  ASSERT_EQ(io.Read(all, 10), 10u);
  EXPECT_STREQ(all, "0123ab6789");
  // Positions and lengths do not wrap at 4 GiB (the file stays sparse).
  const uint64_t far = (uint64_t{5} << 30) + 3;
  EXPECT_EQ(io.Seek(static_cast<int64_t>(far), Origin::Begin), far);
  io.Write("end", 3);
  EXPECT_EQ(io.GetLength(), far + 3);
  io.Seek(-3, Origin::End);
  ASSERT_EQ(io.Read(all, 3), 3u);
  EXPECT_EQ(std::string(all, 3), "end");
}

TEST_F(FileStreamTest, FailuresBecomeTheStreamsStateAndStopItsWork) {
  CFileStream in;
  EXPECT_FALSE(in.Open(PathOf("missing.bin"), CFileStream::OpenMode::Read));
  EXPECT_EQ(in.LastOsError(), ENOENT);
  EXPECT_FALSE(in.Open(m_dir.Path().string(), CFileStream::OpenMode::Read));  // a folder is not a file
  EXPECT_EQ(in.LastOsError(), EISDIR);
  char byte;
  EXPECT_EQ(in.Read(&byte, 1), 0u);
  EXPECT_EQ(in.State().Message(), "read on a closed file");
  if (!std::filesystem::exists("/dev/full")) return;
  CFileStream out;
  ASSERT_TRUE(out.Open("/dev/full", CFileStream::OpenMode::ReadWrite));
  out.Write("x", 1);  // buffered
  const Status flushed = out.Flush();
  EXPECT_EQ(flushed.GetError().Code(), ErrorCode::Io);
  EXPECT_EQ(flushed.Message(), "write failed on \"/dev/full\": No space left on device");
  out.Write("more", 4);  // dropped: the first failure stays the stream's
  EXPECT_EQ(out.Close().Message(), flushed.Message());
}

TEST(MemoryStream, FillsGapsAndFailsOnSeeksBeforeTheStartAndOnceClosed) {
  CMemoryStream stream;
  stream.Seek(3, Origin::Begin);
  stream.Write("!", 1);
  EXPECT_EQ(stream.Data(), (std::vector<uint8_t>{0, 0, 0, '!'}));
  EXPECT_EQ(stream.GetFilePath(), "");
  EXPECT_EQ(stream.Seek(-5, Origin::End), 4u);
  EXPECT_EQ(stream.State().Message(), "seek outside the stream");
  CMemoryStream closed;
  EXPECT_TRUE(closed.Close());
  char byte;
  EXPECT_EQ(closed.Read(&byte, 1), 0u);
  EXPECT_EQ(closed.State().Message(), "read from a closed stream");
}

}  // namespace
}  // namespace quillon
