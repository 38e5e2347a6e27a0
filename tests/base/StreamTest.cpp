// Tests of the byte streams: the buffered file stream across its buffer,
// its seeks, in-place writes and positions past 4 GiB, its error paths
// (open failures, a full disk, a closed stream), and the memory stream.
#include "base/FileStream.h"
#include "base/MemoryStream.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quillon {
namespace {

using namespace quillon::test;

class FileStreamTest : public ::testing::Test {
 protected:
  std::string PathOf(const char* name) const { return m_dir / name; }
  TempDir m_dir{"stream-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name())};
};

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + i / 251);
  return bytes;
}

TEST_F(FileStreamTest, WritesAndReadsBackAcrossBufferBoundaries) {
  const std::string data = Pattern(300 * 1024 + 17);
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
  out.Close();

  CFileStream in;
  ASSERT_TRUE(in.Open(PathOf("a.bin"), CFileStream::OpenMode::Read));
  EXPECT_EQ(in.GetLength(), data.size());
  EXPECT_EQ(in.GetFilePath(), PathOf("a.bin"));
  std::string back(data.size(), '\0');
  for (size_t done = 0, chunk = 7; done < back.size(); chunk = chunk * 5 % 70001 + 3) {
    done += in.Read(back.data() + done, std::min(chunk, back.size() - done));
  }
  EXPECT_TRUE(back == data);
  char extra = 0;
  EXPECT_EQ(in.Read(&extra, 1), 0u);  // end of file is a short read, not an error
}

TEST_F(FileStreamTest, SeekInsideAndOutsideTheBuffer) {
  const std::string data = Pattern(200 * 1024);
  WriteText(PathOf("b.bin"), data);
  CFileStream in;
  ASSERT_TRUE(in.Open(PathOf("b.bin"), CFileStream::OpenMode::Read));
  char byte = 0;
  ASSERT_EQ(in.Read(&byte, 1), 1u);
  EXPECT_EQ(in.Seek(-1, CStream::SeekOrigin::Current), 0u);  // back inside the buffer
  ASSERT_EQ(in.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, data[0]);
  EXPECT_EQ(in.Seek(150000, CStream::SeekOrigin::Begin), 150000u);
  ASSERT_EQ(in.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, data[150000]);
  EXPECT_EQ(in.Seek(-8, CStream::SeekOrigin::End), data.size() - 8);
  char tail[16];
  EXPECT_EQ(in.Read(tail, sizeof tail), 8u);
  EXPECT_EQ(tail[7], data.back());
  // Before the start: the stream fails, stays where it was, and reads
  // nothing more.
  EXPECT_EQ(in.Seek(-1, CStream::SeekOrigin::Begin), data.size());
  EXPECT_NE(in.State().Message().find("seek outside the file"), std::string::npos);
  in.Seek(0, CStream::SeekOrigin::Begin);
  EXPECT_EQ(in.Read(tail, 1), 0u);
}

TEST_F(FileStreamTest, WritesInPlaceBetweenReadsAndPastFourGigabytes) {
  WriteText(PathOf("c.bin"), "0123456789");
  CFileStream io;
  ASSERT_TRUE(io.Open(PathOf("c.bin"), CFileStream::OpenMode::ReadWrite));
  char all[11] = {};
  ASSERT_EQ(io.Read(all, 3), 3u);
  io.Seek(4, CStream::SeekOrigin::Begin);
  io.Write("ab", 2);
  io.Seek(0, CStream::SeekOrigin::Begin);
  ASSERT_EQ(io.Read(all, 10), 10u);
  EXPECT_STREQ(all, "0123ab6789");
  // Positions and lengths do not wrap at 4 GiB (the file stays sparse).
  const uint64_t far = (uint64_t{5} << 30) + 3;
  EXPECT_EQ(io.Seek(static_cast<int64_t>(far), CStream::SeekOrigin::Begin), far);
  io.Write("end", 3);
  EXPECT_EQ(io.GetPosition(), far + 3);
  EXPECT_EQ(io.GetLength(), far + 3);
  io.Seek(-3, CStream::SeekOrigin::End);
  ASSERT_EQ(io.Read(all, 3), 3u);
  EXPECT_EQ(std::string(all, 3), "end");
}

TEST_F(FileStreamTest, OpenFailuresAreReportedNotThrown) {
  CFileStream in;
  EXPECT_FALSE(in.Open(PathOf("missing.bin"), CFileStream::OpenMode::Read));
  EXPECT_EQ(in.LastOsError(), ENOENT);
  EXPECT_FALSE(in.Open(m_dir.Path().string(), CFileStream::OpenMode::Read));  // a folder is not a file
  EXPECT_FALSE(in.IsOpen());
  char byte;
  EXPECT_EQ(in.Read(&byte, 1), 0u);
  EXPECT_EQ(in.State().Message(), "read on a closed file");
}

TEST_F(FileStreamTest, AWriteErrorFailsTheStreamWithTheCauseAndDropsTheRest) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CFileStream out;
  ASSERT_TRUE(out.Open("/dev/full", CFileStream::OpenMode::ReadWrite));
  out.Write("x", 1);  // buffered
  const Status flushed = out.Flush();
  ASSERT_FALSE(flushed);
  EXPECT_EQ(flushed.GetError().Code(), ErrorCode::Io);
  EXPECT_EQ(flushed.Message(), "write failed on \"/dev/full\": No space left on device");
  out.Write("more", 4);  // dropped: the first failure stays the stream's
  EXPECT_EQ(out.Close().Message(), flushed.Message());
}

TEST(MemoryStream, BehavesLikeAFile) {
  CMemoryStream stream;
  stream.Write("hello", 5);
  EXPECT_EQ(stream.GetLength(), 5u);
  stream.Seek(8, CStream::SeekOrigin::Begin);
  stream.Write("!", 1);  // the gap is zero-filled
  EXPECT_EQ(stream.GetLength(), 9u);
  EXPECT_EQ(stream.Data()[6], 0);
  stream.Seek(0, CStream::SeekOrigin::Begin);
  char buffer[16];
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 9u);
  EXPECT_EQ(stream.Read(buffer, 1), 0u);
  EXPECT_EQ(stream.Remaining(), 0u);
  EXPECT_EQ(stream.GetFilePath(), "");
  EXPECT_EQ(stream.Seek(-10, CStream::SeekOrigin::End), 9u);
  EXPECT_EQ(stream.State().Message(), "seek outside the stream");
  CMemoryStream closed;
  EXPECT_TRUE(closed.Close());
  EXPECT_EQ(closed.Read(buffer, 1), 0u);
  EXPECT_FALSE(closed.State());
}

}  // namespace
}  // namespace quillon
