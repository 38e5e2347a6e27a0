#include "base/AtomicFileWriter.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "base/FileException.h"
#include "base/FileStream.h"
#include "base/MemoryStream.h"
#include "dicom/ValueRepresentation.h"
#include "support/DicomFiles.h"
#include "support/ByteBuilder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

using namespace quillon;
using quillon::test::ByteBuilder;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Written(CDicomObject& object) {
  CMemoryStream stream;
  EXPECT_TRUE(object.WriteToFile(stream));
  return stream.Data();
}

std::vector<uint8_t> DataSetBytes(CDicomObject& object, TransferMode mode) {
  CMemoryStream stream;
  EXPECT_TRUE(object.WriteDataSet(stream, mode));
  return stream.Data();
}

std::vector<uint8_t> Bytes(const ByteBuilder& b) { return b.bytes; }

void AddMeta(CDicomObject& object, const char* transferSyntax) {
  (void)object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.7", "1.2.3.4", transferSyntax, "1.2.3", "Q", "AE");
}

TEST(DataSetWriterLayout, HeadersInEachEncoding) {
  CDicomObject object;
  (void)object.AddUInt16(0x00280010, vr::US, 0x0102);
  ByteBuilder explicitLe;
  explicitLe.ExplicitHeader(0x00280010, "US", 2).U16(0x0102);
  EXPECT_EQ(DataSetBytes(object, TransferMode::ExplicitLittleEndian), Bytes(explicitLe));
  ByteBuilder implicit;
  implicit.ImplicitHeader(0x00280010, 2).U16(0x0102);
  EXPECT_EQ(DataSetBytes(object, TransferMode::ImplicitLittleEndian), Bytes(implicit));
  ByteBuilder big(true);
  big.ExplicitHeader(0x00280010, "US", 2).U16(0x0102);
  EXPECT_EQ(DataSetBytes(object, TransferMode::ExplicitBigEndian), Bytes(big));
}

TEST(DataSetWriterLayout, UnknownVrIsWrittenAsUnAndLongShortValuesToo) {
  CDicomObject object;
  (void)object.AddValue(0x00091001, vr::kUnknown, "ab", 2);
  ByteBuilder expected;
  expected.ExplicitHeader(0x00091001, "UN", 2).Raw("ab");
  EXPECT_EQ(DataSetBytes(object, TransferMode::ExplicitLittleEndian), Bytes(expected));

  // A value that does not fit a 16-bit length field (read from an implicit
  // VR file: the data model refuses to make one) keeps its bytes and is
  // written as UN with a 32-bit length instead of a wrapped length.
  const std::string text(70000, 'x');
  ByteBuilder implicit;
  implicit.Meta("1.2.840.10008.1.2").Implicit(0x00204000, text);
  CMemoryStream source(implicit.bytes);
  CDicomObject big;
  ASSERT_TRUE(big.ReadFromFile(source, false)) << big.GetLastReadError();
  for (DicomTag meta : {0x00020000u, 0x00020001u, 0x00020002u, 0x00020010u}) (void)big.RemoveElement(meta);
  const auto bytes = DataSetBytes(big, TransferMode::ExplicitLittleEndian);
  ByteBuilder header;
  header.ExplicitHeader(0x00204000, "UN", 70000);
  ASSERT_EQ(bytes.size(), 12u + 70000);
  EXPECT_TRUE(std::equal(header.bytes.begin(), header.bytes.end(), bytes.begin()));
  CDicomElement* element = nullptr;
  ASSERT_EQ(big.GetElement(0x00204000, &element), DicomStatus::Success);
  EXPECT_EQ(element->EncodedSize(TransferMode::ExplicitLittleEndian), bytes.size());
}

TEST(DataSetWriterLayout, BigEndianAtValuesAreWrittenWordByWord) {
  CDicomObject object;
  const uint8_t pointer[4] = {0x10, 0x00, 0x20, 0x00};  // (0010,0020), held little endian
  ASSERT_TRUE(test::Succeeded(object.AddValue(0x00209165, vr::AT, pointer, 4)));
  ByteBuilder big(true);
  big.ExplicitHeader(0x00209165, "AT", 4).U16(0x0010).U16(0x0020);
  EXPECT_EQ(DataSetBytes(object, TransferMode::ExplicitBigEndian), Bytes(big));
}

TEST(DataSetWriterLayout, EncapsulatedPixelDataInAnImplicitDataSetGetsAnImplicitHeader) {
  // Fragments in an implicit VR file (undefined length, an item first) are
  // read as encapsulated pixel data; they used to be written with an
  // explicit header inside the implicit data set.
  ByteBuilder b;
  b.Meta("1.2.840.10008.1.2").Implicit(0x00280010, std::string("\1\0", 2));
  b.ImplicitHeader(0x7FE00010, 0xFFFFFFFF).Item(0).Item(4).Raw("abcd").SequenceEnd();
  CMemoryStream source(b.bytes);
  CDicomObject object;
  ASSERT_TRUE(object.ReadFromFile(source, false)) << object.GetLastReadError();
  ASSERT_EQ(object.GetTransferMode(), TransferMode::ImplicitLittleEndian);
  EXPECT_EQ(Written(object), b.bytes);
}

TEST(DataSetWriterLayout, EmptyUndefinedSequenceAndItems) {
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(object.AddSequence(std::make_unique<CDicomSequence>(0x00081140))));
  ByteBuilder expected;
  expected.ExplicitHeader(0x00081140, "SQ", 0xFFFFFFFF).SequenceEnd();
  EXPECT_EQ(DataSetBytes(object, TransferMode::ExplicitLittleEndian), Bytes(expected));

  CDicomSequence* sequence = nullptr;
  ASSERT_EQ(object.GetSequence(0x00081140, &sequence), DicomStatus::Success);
  auto undefinedItem = std::make_unique<CSequenceItem>();
  (void)undefinedItem->AddString(0x00081150, vr::UI, "1.2.3");
  sequence->AppendItem(std::move(undefinedItem));
  auto definedItem = std::make_unique<CSequenceItem>();
  definedItem->SetUndefinedLength(false);
  (void)definedItem->AddString(0x00081150, vr::UI, "1.2.3");
  sequence->AppendItem(std::move(definedItem));
  sequence->SetUndefinedLength(false);
  ByteBuilder items;
  items.ExplicitHeader(0x00081140, "SQ", 8 + 14 + 8 + 8 + 14)
      .Item().Explicit(0x00081150, "UI", std::string("1.2.3\0", 6)).ItemEnd()
      .Item(14).Explicit(0x00081150, "UI", std::string("1.2.3\0", 6));
  EXPECT_EQ(DataSetBytes(object, TransferMode::ExplicitLittleEndian), Bytes(items));
}

TEST(DataSetWriterLayout, GroupLengthsAreRecomputedAtEveryLevel) {
  CDicomObject object;
  (void)object.AddUInt32(0x00100000, vr::UL, 999);
  (void)object.AddString(0x00100010, vr::PN, "DOE^JOHN");
  auto sequence = std::make_unique<CDicomSequence>(0x00081140);
  auto item = std::make_unique<CSequenceItem>();
  (void)item->AddUInt32(0x00080000, vr::UL, 12345);
  (void)item->AddString(0x00081150, vr::UI, "1.2.3");
  sequence->AppendItem(std::move(item));
  (void)object.AddSequence(std::move(sequence));
  (void)DataSetBytes(object, TransferMode::ImplicitLittleEndian);
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  ASSERT_EQ(object.GetValue(0x00100000, length, &value), DicomStatus::Success);
  EXPECT_EQ(value[0], 16);  // implicit: 8 + 8
  CDicomSequence* written = nullptr;
  ASSERT_EQ(object.GetSequence(0x00081140, &written), DicomStatus::Success);
  ASSERT_EQ(written->GetItem(0)->GetValue(0x00080000, length, &value), DicomStatus::Success);
  EXPECT_EQ(value[0], 14);
  (void)DataSetBytes(object, TransferMode::ExplicitLittleEndian);
  ASSERT_EQ(object.GetValue(0x00100000, length, &value), DicomStatus::Success);
  EXPECT_EQ(value[0], 16);  // PN has an 8-byte header in explicit VR too
}

TEST(DataSetWriterFile, MetaGroupIsExplicitWhateverTheDataSet) {
  CDicomObject object;
    AddMeta(object, "1.2.840.10008.1.2");
  (void)object.AddUInt16(0x00280010, vr::US, 512);
  (void)object.AddString(0x00280008, vr::IS, "3");
  const auto bytes = Written(object);
  ASSERT_GT(bytes.size(), 132u);
  EXPECT_EQ(std::string(bytes.begin() + 128, bytes.begin() + 132), "DICM");
  EXPECT_EQ(std::string(bytes.begin() + 136, bytes.begin() + 138), "UL");  // explicit meta
  CMemoryStream stream(bytes);
  CDicomObject back;
  ASSERT_TRUE(back.ReadFromFile(stream, false)) << back.GetLastReadError();
  uint32_t metaLength = 0;
  const uint8_t* value = nullptr;
  ASSERT_EQ(back.GetValue(0x00020000, metaLength, &value), DicomStatus::Success);
  EXPECT_EQ(value[0] | value[1] << 8, static_cast<int>(object.GroupLength(0x0002)));
  // The Number of Frames value sits right after its 8-byte implicit header.
  const uint64_t framesAt = object.GetNumberOfFramesPosition();
  ASSERT_LT(framesAt + 2, bytes.size());
  EXPECT_EQ(std::string(bytes.begin() + static_cast<long>(framesAt), bytes.begin() + static_cast<long>(framesAt) + 2), "3 ");
  EXPECT_EQ(bytes[framesAt - 8], 0x28);
}

TEST(DataSetWriterFile, OwnOutputRoundTripsByteIdenticallyInEveryEncoding) {
  for (const char* syntax : {"1.2.840.10008.1.2", "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.2"}) {
    CDicomObject object;
    AddMeta(object, syntax);
    (void)object.AddString(0x00100010, vr::PN, "DOE^JOHN");
    (void)object.AddUInt16(0x00280010, vr::US, 512);
    (void)object.AddDouble(0x00181050, vr::FD, 0.25);
    (void)object.AddValue(0x00091001, vr::kUnknown, "xyz", 3);
    auto sequence = std::make_unique<CDicomSequence>(0x00081140);
    auto item = std::make_unique<CSequenceItem>();
    (void)item->AddString(0x00081150, vr::UI, "1.2.840.10008.5.1.4.1.1.7");
    (void)item->AddUInt32(0x00081160, vr::IS, 7);
    sequence->AppendItem(std::move(item));
    (void)object.AddSequence(std::move(sequence));
    const std::vector<uint16_t> pixels{1, 2, 3, 0x1234};
    (void)object.AddValue(0x7FE00010, vr::OW, pixels.data(), 8);

    const auto first = Written(object);
    CMemoryStream stream(first);
    CDicomObject back;
    ASSERT_TRUE(back.ReadFromFile(stream, false)) << syntax << ": " << back.GetLastReadError();
    EXPECT_EQ(Written(back), first) << syntax;
    uint16_t rows = 0;
    EXPECT_EQ(back.GetUInt16(0x00280010, rows), DicomStatus::Success);
    EXPECT_EQ(rows, 512) << syntax;
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(back.GetValue(0x7FE00010, length, &value), DicomStatus::Success);
    ASSERT_EQ(length, 8u);
    EXPECT_EQ(value[6], 0x34) << syntax;  // held little endian in memory
  }
}

// A stream whose writes fail after a number of bytes, like a full disk.
class FailingStream final : public CStream {
 public:
  explicit FailingStream(uint64_t capacity) : m_capacity(capacity) {}
  uint64_t Read(void*, uint64_t) override { return 0; }
  void Write(const void*, uint64_t count) override {
    if (m_written + count > m_capacity) {
      throw CFileException(CFileException::Cause::DiskFull, "full", 28, "disk full");
    }
    m_written += count;
  }
  uint64_t Seek(int64_t, SeekOrigin) override { return m_written; }
  uint64_t GetPosition() const override { return m_written; }
  uint64_t GetLength() const override { return m_written; }
  std::string GetFilePath() const override { return "full"; }
  void Flush() override {}
  void Close() override {}
  void Abort() noexcept override { aborted = true; }
  bool aborted = false;

 private:
  uint64_t m_capacity;
  uint64_t m_written = 0;
};

TEST(DataSetWriterFailure, StreamErrorsAbortAndPassOn) {
  CDicomObject object;
    AddMeta(object, "1.2.840.10008.1.2.1");
  (void)object.AddString(0x00100010, vr::PN, "DOE^JOHN");
  for (uint64_t capacity : {0u, 100u, 140u, 200u}) {
    FailingStream stream(capacity);
    EXPECT_THROW((void)object.WriteToFile(stream), CFileException) << capacity;
    EXPECT_TRUE(stream.aborted) << capacity;
  }
}

/// Leaves the element under `tag` with a length but without its value, as
/// only a change made after it was stored can (AddElement refuses one).
void DropValueKeepLength(CDicomObject& object, DicomTag tag) {
  CDicomElement* element = nullptr;
  ASSERT_EQ(object.GetElement(tag, &element), DicomStatus::Success);
  const uint32_t length = element->GetLength();
  element->ClearValue();
  element->SetValueLength(length);
}

TEST(DataSetWriterFailure, ElementWithoutItsValueFailsBeforeAnyByteIsWritten) {
  CDicomObject object;
  AddMeta(object, "1.2.840.10008.1.2.1");
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00100010, vr::PN, "DOE^JOHN")));
  DropValueKeepLength(object, 0x00100010);
  CMemoryStream stream;
  EXPECT_FALSE(object.WriteToFile(stream));
  EXPECT_TRUE(stream.Data().empty());
  EXPECT_EQ(object.FindWriteProblem(), "(0010,0010) has a length of 8 bytes but no value.");
}

TEST(DataSetWriterFailure, BigEndianDataSetStartingWithGroup0200IsRefused) {
  // Its first tag would be written 02 00 00 00, which a reader takes for
  // (0002,0000) of the meta group.
  CDicomObject object;
  AddMeta(object, "1.2.840.10008.1.2.2");
  (void)object.RemoveElement(tags::kSopClassUid);
  (void)object.RemoveElement(tags::kSopInstanceUid);
  ASSERT_TRUE(test::Succeeded(object.AddValue(0x02000010, vr::OB, "ab", 2)));
  EXPECT_EQ(object.FindWriteProblem(),
            "(0200,0010): a big endian data set cannot start with group 0200, which reads back as file meta "
            "information (group 0002).");
  CMemoryStream stream;
  EXPECT_FALSE(object.WriteToFile(stream));
  // Behind a lower group it is harmless.
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00100010, vr::PN, "DOE^JOHN")));
  EXPECT_EQ(object.FindWriteProblem(), "");
  EXPECT_TRUE(object.WriteToFile(stream));
}

class AtomicSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("quillon-save-" + std::to_string(::getpid()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  size_t FileCount() const { return static_cast<size_t>(std::distance(fs::directory_iterator(m_dir), {})); }
  fs::path m_dir;
};

TEST_F(AtomicSaveTest, ReplacesTheTargetAndKeepsItsPermissions) {
  const fs::path target = m_dir / "out.dcm";
  std::ofstream(target) << "old content";
  ::chmod(target.c_str(), 0640);
  CDicomObject object;
    AddMeta(object, "1.2.840.10008.1.2.1");
  ASSERT_TRUE(test::Succeeded(SaveDicomFile(object, target.string())));
  CDicomObject back;
  ASSERT_TRUE(test::LoadInto(back, target.string(), false));
  EXPECT_TRUE(back.Contains(0x00020010));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(FileCount(), 1u);
}

TEST_F(AtomicSaveTest, FailureLeavesTheTargetUntouchedAndNoTemporaryFile) {
  const fs::path target = m_dir / "out.dcm";
  std::ofstream(target) << "old content";
  CDicomObject object;
  AddMeta(object, "1.2.840.10008.1.2.1");
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00100010, vr::PN, "DOE^JOHN")));
  DropValueKeepLength(object, 0x00100010);
  std::string error;
  EXPECT_FALSE(SaveDicomFile(object, target.string()));
  EXPECT_NE(error.find("(0010,0010) has a length of 8 bytes but no value"), std::string::npos) << error;
  std::ifstream in(target);
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "old content");
  EXPECT_EQ(FileCount(), 1u);

  EXPECT_FALSE(WriteFileAtomically((m_dir / "no-such-folder" / "x.dcm").string(),
                                   [](CFileStream&) { return true; }, error));
  EXPECT_FALSE(WriteFileAtomically(m_dir.string(), [](CFileStream&) { return true; }, error));
  EXPECT_FALSE(WriteFileAtomically((m_dir / "y.dcm").string(), [](CFileStream& s) {
    s.Write("x", 1);
    throw CFileException(CFileException::Cause::DiskFull, "y", 28, "disk full");
    return true;
  }, error));
  EXPECT_EQ(error, "disk full");
  EXPECT_EQ(FileCount(), 1u);
}

}  // namespace
