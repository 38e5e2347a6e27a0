#include "base/FileException.h"
#include "base/FileStream.h"
#include "base/MemoryStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <vector>

using namespace quillon;
namespace fs = std::filesystem;

namespace {

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("quillon-stream-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  std::string PathOf(const char* name) const { return (m_dir / name).string(); }

  fs::path m_dir;
};

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + i / 251);
  return bytes;
}

TEST_F(FileStreamTest, WritesAndReadsBackAcrossBufferBoundaries) {
  const std::vector<uint8_t> data = Pattern(300 * 1024 + 17);
  {
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
  }
  CFileStream in;
  ASSERT_TRUE(in.Open(PathOf("a.bin"), CFileStream::OpenMode::Read));
  EXPECT_EQ(in.GetLength(), data.size());
  EXPECT_EQ(in.GetFilePath(), PathOf("a.bin"));
  std::vector<uint8_t> back(data.size());
  size_t done = 0;
  for (size_t chunk = 7; done < back.size(); chunk = chunk * 5 % 70001 + 3) {
    done += in.Read(back.data() + done, std::min(chunk, back.size() - done));
  }
  EXPECT_EQ(back, data);
  uint8_t extra = 0;
  EXPECT_EQ(in.Read(&extra, 1), 0u);  // end of file is a short read, not an error
}

TEST_F(FileStreamTest, SeekInsideAndOutsideTheBuffer) {
  const std::vector<uint8_t> data = Pattern(200 * 1024);
  {
    std::ofstream(PathOf("b.bin"), std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                           static_cast<std::streamsize>(data.size()));
  }
  CFileStream in;
  ASSERT_TRUE(in.Open(PathOf("b.bin"), CFileStream::OpenMode::Read));
  uint8_t byte = 0;
  ASSERT_EQ(in.Read(&byte, 1), 1u);
  EXPECT_EQ(in.Seek(-1, CStream::SeekOrigin::Current), 0u);  // back inside the buffer
  ASSERT_EQ(in.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, data[0]);
  EXPECT_EQ(in.Seek(150000, CStream::SeekOrigin::Begin), 150000u);
  ASSERT_EQ(in.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, data[150000]);
  EXPECT_EQ(in.Seek(-8, CStream::SeekOrigin::End), data.size() - 8);
  uint8_t tail[16];
  EXPECT_EQ(in.Read(tail, sizeof tail), 8u);
  EXPECT_EQ(tail[7], data.back());
  EXPECT_THROW(in.Seek(-1, CStream::SeekOrigin::Begin), CFileException);
}

TEST_F(FileStreamTest, ReadWriteModeOverwritesInPlace) {
  {
    CFileStream out;
    ASSERT_TRUE(out.Open(PathOf("c.bin"), CFileStream::OpenMode::Create));
    out.Write("0123456789", 10);
    out.Close();
  }
  CFileStream io;
  ASSERT_TRUE(io.Open(PathOf("c.bin"), CFileStream::OpenMode::ReadWrite));
  char text[4] = {};
  ASSERT_EQ(io.Read(text, 3), 3u);
  io.Seek(4, CStream::SeekOrigin::Begin);
  io.Write("ab", 2);
  io.Seek(0, CStream::SeekOrigin::Begin);
  char all[11] = {};
  ASSERT_EQ(io.Read(all, 10), 10u);
  EXPECT_STREQ(all, "0123ab6789");
  io.Seek(12, CStream::SeekOrigin::Begin);
  io.Write("Z", 1);
  EXPECT_EQ(io.GetLength(), 13u);
}

TEST_F(FileStreamTest, OpenFailuresAreReportedNotThrown) {
  CFileStream in;
  EXPECT_FALSE(in.Open(PathOf("missing.bin"), CFileStream::OpenMode::Read));
  EXPECT_EQ(in.LastOsError(), ENOENT);
  EXPECT_FALSE(in.Open(m_dir.string(), CFileStream::OpenMode::Read));  // a folder is not a file
  EXPECT_FALSE(in.IsOpen());
  uint8_t byte;
  EXPECT_THROW(in.Read(&byte, 1), CFileException);
}

TEST_F(FileStreamTest, WriteErrorsThrowWithTheCause) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CFileStream out;
  ASSERT_TRUE(out.Open("/dev/full", CFileStream::OpenMode::ReadWrite));
  out.Write("x", 1);  // buffered
  try {
    out.Flush();
    FAIL() << "flush to a full device succeeded";
  } catch (const CFileException& e) {
    EXPECT_EQ(e.GetCause(), CFileException::Cause::DiskFull);
    EXPECT_EQ(e.GetOsError(), ENOSPC);
    EXPECT_EQ(e.GetPath(), "/dev/full");
  }
  out.Close();  // the failed bytes are not retried
}

TEST_F(FileStreamTest, PositionsBeyondFourGigabytesDoNotWrap) {
  CFileStream out;
  ASSERT_TRUE(out.Open(PathOf("sparse.bin"), CFileStream::OpenMode::Create));
  const uint64_t far = (uint64_t{5} << 30) + 3;
  EXPECT_EQ(out.Seek(static_cast<int64_t>(far), CStream::SeekOrigin::Begin), far);
  out.Write("end", 3);
  EXPECT_EQ(out.GetPosition(), far + 3);
  EXPECT_EQ(out.GetLength(), far + 3);
  out.Seek(-3, CStream::SeekOrigin::End);
  char back[3];
  ASSERT_EQ(out.Read(back, 3), 3u);
  EXPECT_EQ(std::string(back, 3), "end");
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
  EXPECT_THROW(stream.Seek(-10, CStream::SeekOrigin::End), CFileException);
  EXPECT_EQ(stream.GetFilePath(), "");
  stream.Close();
  EXPECT_THROW(stream.Read(buffer, 1), CFileException);
}

}  // namespace
