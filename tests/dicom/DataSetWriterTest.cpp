// The writer: the bytes of each encoding, what it computes as it goes
// (group, sequence and item lengths, where Number of Frames went) without
// touching the object, and what it refuses before writing a byte.
#include "base/MemoryStream.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ValueRepresentation.h"
#include "support/ByteBuilder.h"
#include "support/DicomFiles.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

using namespace quillon;
using namespace quillon::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* kImplicit = "1.2.840.10008.1.2";
constexpr const char* kExplicit = "1.2.840.10008.1.2.1";
constexpr const char* kBigEndian = "1.2.840.10008.1.2.2";

std::vector<uint8_t> DataSetBytes(const CDicomObject& object, TransferMode mode) {
  CMemoryStream stream;
  EXPECT_TRUE(Succeeded(CDicomFileWriter(stream).WriteDataSet(object, mode)));
  return stream.Data();
}

void AddMeta(CDicomObject& object, const char* transferSyntax) {
  ASSERT_TRUE(Succeeded(
      object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.7", "1.2.3.4", transferSyntax, "1.2.3", "Q", "AE")));
}

std::unique_ptr<CSequenceItem> ItemWith(DicomTag tag, const char* uid, bool undefinedLength) {
  auto item = std::make_unique<CSequenceItem>();
  item->SetUndefinedLength(undefinedLength);
  EXPECT_TRUE(Succeeded(item->AddString(tag, vr::UI, uid)));
  return item;
}

TEST(DataSetWriterLayout, HeadersInEachEncoding) {
  CDicomObject object;
  ASSERT_TRUE(Succeeded(object.AddUInt16(0x00280010, vr::US, 0x0102)));
  ByteBuilder explicitLe;
  explicitLe.ExplicitHeader(0x00280010, "US", 2).U16(0x0102);
  ByteBuilder implicit;
  implicit.ImplicitHeader(0x00280010, 2).U16(0x0102);
  ByteBuilder big(true);
  big.ExplicitHeader(0x00280010, "US", 2).U16(0x0102);
  EXPECT_EQ(DataSetBytes(object, TransferMode::ExplicitLittleEndian), explicitLe.bytes);
  EXPECT_EQ(DataSetBytes(object, TransferMode::ImplicitLittleEndian), implicit.bytes);
  EXPECT_EQ(DataSetBytes(object, TransferMode::ExplicitBigEndian), big.bytes);

  // AT is two 16-bit words, each swapped on its own.
  CDicomObject pointer;
  const uint8_t tag[4] = {0x10, 0x00, 0x20, 0x00};  // (0010,0020), held little endian
  ASSERT_TRUE(Succeeded(pointer.AddValue(0x00209165, vr::AT, tag, 4)));
  ByteBuilder words(true);
  words.ExplicitHeader(0x00209165, "AT", 4).U16(0x0010).U16(0x0020);
  EXPECT_EQ(DataSetBytes(pointer, TransferMode::ExplicitBigEndian), words.bytes);
}

TEST(DataSetWriterLayout, UnknownVrAndValuesTooLongForTheirVrAreWrittenAsUn) {
  CDicomObject object;
  ASSERT_TRUE(Succeeded(object.AddValue(0x00091001, vr::kUnknown, "ab", 2)));
  ByteBuilder expected;
  expected.ExplicitHeader(0x00091001, "UN", 2).Raw("ab");
  EXPECT_EQ(DataSetBytes(object, TransferMode::ExplicitLittleEndian), expected.bytes);

  // A value too long for a 16-bit length (read from an implicit VR file:
  // the data model refuses to make one) keeps its bytes, written as UN
  // with a 32-bit length instead of a wrapped length.
  const std::string text(70000, 'x');
  ByteBuilder implicit;
  implicit.Meta(kImplicit).Implicit(0x00204000, text);
  ReadResult big = ReadFromBytes(implicit.bytes);
  ASSERT_TRUE(Succeeded(big.status));
  for (DicomTag meta : {0x00020000u, 0x00020001u, 0x00020002u, 0x00020010u}) (void)big.object.RemoveElement(meta);
  const auto bytes = DataSetBytes(big.object, TransferMode::ExplicitLittleEndian);
  ByteBuilder header;
  header.ExplicitHeader(0x00204000, "UN", 70000);
  ASSERT_EQ(bytes.size(), 12u + 70000);
  EXPECT_TRUE(std::equal(header.bytes.begin(), header.bytes.end(), bytes.begin()));
}

// Fragments in an implicit VR file (undefined length, an item first) are
// read as encapsulated pixel data; they used to be written with an
// explicit header inside the implicit data set.
TEST(DataSetWriterLayout, EncapsulatedPixelDataInAnImplicitDataSetGetsAnImplicitHeader) {
  ByteBuilder b;
  b.Meta(kImplicit).Implicit(0x00280010, std::string("\1\0", 2));
  b.ImplicitHeader(0x7FE00010, 0xFFFFFFFF).Item(0).Item(4).Raw("abcd").SequenceEnd();
  const ReadResult read = ReadFromBytes(b.bytes);
  ASSERT_TRUE(Succeeded(read.status));
  ASSERT_EQ(read.object.GetTransferMode(), TransferMode::ImplicitLittleEndian);
  EXPECT_EQ(WriteToBytes(read.object), b.bytes);
}

// The writer computes group lengths and the lengths of defined-length
// sequences and items from what it writes, not from what the object was
// read with, at every level; the object itself is left as it was until it
// is asked to record them.
TEST(DataSetWriterLayout, LengthsAreComputedAsWrittenAndRecordedOnlyOnRequest) {
  CDicomObject object;
  ASSERT_TRUE(Succeeded(object.AddUInt32(0x00100000, vr::UL, 999)));
  ASSERT_TRUE(Succeeded(object.AddString(0x00100010, vr::PN, "DOE^JOHN")));
  auto sequence = std::make_unique<CDicomSequence>(0x00081140);
  sequence->SetUndefinedLength(false);
  sequence->SetValueLength(1);
  auto item = ItemWith(0x00081150, "1.2.3", false);
  ASSERT_TRUE(Succeeded(item->AddUInt32(0x00080000, vr::UL, 12345)));
  item->SetItemLength(1);
  sequence->AppendItem(std::move(item));
  sequence->AppendItem(ItemWith(0x00081150, "1.2.3", true));
  ASSERT_TRUE(Succeeded(object.AddSequence(std::move(sequence))));

  ByteBuilder expected;
  expected.ExplicitHeader(0x00081140, "SQ", 8 + 26 + 8 + 14 + 8)
      .Item(26).Explicit(0x00080000, "UL", std::string("\x0e\0\0\0", 4)).Explicit(0x00081150, "UI",
                                                                                 std::string("1.2.3\0", 6))
      .Item().Explicit(0x00081150, "UI", std::string("1.2.3\0", 6)).ItemEnd();
  expected.Explicit(0x00100000, "UL", std::string("\x10\0\0\0", 4)).Explicit(0x00100010, "PN", "DOE^JOHN");
  EXPECT_EQ(DataSetBytes(object, TransferMode::ExplicitLittleEndian), expected.bytes);

  CDicomSequence* written = nullptr;
  ASSERT_EQ(object.GetSequence(0x00081140, &written), DicomStatus::Success);
  uint32_t groupLength = 0;
  ASSERT_EQ(object.Elements().Find(0x00100000)->GetUInt32(groupLength), DicomStatus::Success);
  EXPECT_EQ(groupLength, 999u);
  EXPECT_EQ(written->GetLength(), 1u);
  EXPECT_EQ(written->GetItem(0)->GetItemLength(), 1u);

  object.RecordEncodedLengths(TransferMode::ImplicitLittleEndian);
  ASSERT_EQ(object.Elements().Find(0x00100000)->GetUInt32(groupLength), DicomStatus::Success);
  EXPECT_EQ(groupLength, 16u);  // 8 + 8
  EXPECT_EQ(written->GetLength(), 8u + 26 + 8 + 14 + 8);
  EXPECT_EQ(written->GetItem(0)->GetItemLength(), 26u);
  EXPECT_EQ(written->GetItem(1)->GetTransferMode(), TransferMode::ImplicitLittleEndian);
}

TEST(DataSetWriterFile, MetaGroupIsExplicitAndNumberOfFramesIsFound) {
  CDicomObject object;
  AddMeta(object, kImplicit);
  ASSERT_TRUE(Succeeded(object.AddUInt16(0x00280010, vr::US, 512)));
  ASSERT_TRUE(Succeeded(object.AddString(0x00280008, vr::IS, "3")));
  CMemoryStream stream;
  CDicomFileWriter writer(stream);
  ASSERT_TRUE(Succeeded(writer.WriteFile(object)));
  const std::vector<uint8_t>& bytes = stream.Data();
  ASSERT_GT(bytes.size(), 132u);
  EXPECT_EQ(std::string(bytes.begin() + 128, bytes.begin() + 132), "DICM");
  EXPECT_EQ(std::string(bytes.begin() + 136, bytes.begin() + 138), "UL");  // explicit meta
  const ReadResult back = ReadFromBytes(bytes);
  ASSERT_TRUE(Succeeded(back.status));
  uint32_t metaLength = 0;
  ASSERT_EQ(back.object.Elements().Find(0x00020000)->GetUInt32(metaLength), DicomStatus::Success);
  EXPECT_EQ(metaLength, object.GroupLength(0x0002));
  // The Number of Frames value sits right after its 8-byte implicit header.
  ASSERT_TRUE(writer.NumberOfFramesPosition());
  const uint64_t framesAt = *writer.NumberOfFramesPosition();
  ASSERT_LT(framesAt + 2, bytes.size());
  EXPECT_EQ(std::string(bytes.begin() + static_cast<long>(framesAt), bytes.begin() + static_cast<long>(framesAt) + 2),
            "3 ");
  EXPECT_EQ(bytes[framesAt - 8], 0x28);
}

TEST(DataSetWriterFile, OwnOutputRoundTripsByteIdenticallyInEveryEncoding) {
  for (const char* syntax : {kImplicit, kExplicit, kBigEndian}) {
    SCOPED_TRACE(syntax);
    CDicomObject object;
    AddMeta(object, syntax);
    ASSERT_TRUE(Succeeded(object.AddString(0x00100010, vr::PN, "DOE^JOHN")));
    ASSERT_TRUE(Succeeded(object.AddUInt16(0x00280010, vr::US, 512)));
    ASSERT_TRUE(Succeeded(object.AddDouble(0x00181050, vr::FD, 0.25)));
    ASSERT_TRUE(Succeeded(object.AddValue(0x00091001, vr::kUnknown, "xyz", 3)));
    auto sequence = std::make_unique<CDicomSequence>(0x00081140);
    sequence->AppendItem(ItemWith(0x00081150, "1.2.840.10008.5.1.4.1.1.7", true));
    ASSERT_TRUE(Succeeded(object.AddSequence(std::move(sequence))));
    const std::vector<uint16_t> pixels{1, 2, 3, 0x1234};
    ASSERT_TRUE(Succeeded(object.AddValue(0x7FE00010, vr::OW, pixels.data(), 8)));

    const auto first = WriteToBytes(object);
    const ReadResult back = ReadFromBytes(first);
    ASSERT_TRUE(Succeeded(back.status));
    EXPECT_EQ(WriteToBytes(back.object), first);
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(back.object.GetValue(0x7FE00010, length, &value), DicomStatus::Success);
    ASSERT_EQ(length, 8u);
    EXPECT_EQ(value[6], 0x34);  // held little endian in memory
  }
}

// A stream whose writes fail after a number of bytes, like a full disk.
class FullStream final : public CStream {
 public:
  explicit FullStream(uint64_t capacity) : m_capacity(capacity) {}
  uint64_t Read(void*, uint64_t) override { return 0; }
  void Write(const void*, uint64_t count) override {
    if (HasFailed()) return;
    if (m_written + count > m_capacity) {
      Fail(Error(ErrorCode::Io, "disk full"));
      return;
    }
    m_written += count;
  }
  uint64_t Seek(int64_t, SeekOrigin) override { return m_written; }
  uint64_t GetPosition() const override { return m_written; }
  uint64_t GetLength() const override { return m_written; }
  std::string GetFilePath() const override { return "full"; }
  Status Flush() override { return State(); }
  Status Close() override { return State(); }
  void Abort() noexcept override {}

 private:
  uint64_t m_capacity;
  uint64_t m_written = 0;
};

TEST(DataSetWriterFailure, AFullDiskIsTheWritersErrorWhereverItStrikes) {
  CDicomObject object;
  AddMeta(object, kExplicit);
  ASSERT_TRUE(Succeeded(object.AddString(0x00100010, vr::PN, "DOE^JOHN")));
  for (uint64_t capacity : {0u, 100u, 140u, 200u}) {
    FullStream stream(capacity);
    const Status written = CDicomFileWriter(stream).WriteFile(object);
    EXPECT_EQ(written.Message(), "disk full") << capacity;
    EXPECT_EQ(written.GetError().Code(), ErrorCode::Io) << capacity;
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

// Both are refused before the first byte: a half-written file is of no
// use, and one that cannot be read back loses the user's data.
TEST(DataSetWriterFailure, WhatCannotBeReadBackIsRefusedBeforeAnyByteIsWritten) {
  CDicomObject missingValue;
  AddMeta(missingValue, kExplicit);
  ASSERT_TRUE(Succeeded(missingValue.AddString(0x00100010, vr::PN, "DOE^JOHN")));
  DropValueKeepLength(missingValue, 0x00100010);

  // In big endian a first tag (0200,xxxx) is written 02 00, which a reader
  // takes for (0002,xxxx) of the meta group.
  CDicomObject group0200;
  AddMeta(group0200, kBigEndian);
  (void)group0200.RemoveElement(tags::kSopClassUid);
  (void)group0200.RemoveElement(tags::kSopInstanceUid);
  ASSERT_TRUE(Succeeded(group0200.AddValue(0x02000010, vr::OB, "ab", 2)));

  for (const auto& [object, reason] :
       {std::pair{&missingValue, "(0010,0010) has a length of 8 bytes but no value."},
        std::pair{&group0200, "(0200,0010): a big endian data set cannot start with group 0200, which reads back "
                              "as file meta information (group 0002)."}}) {
    CMemoryStream stream;
    const Status written = CDicomFileWriter(stream).WriteFile(*object);
    EXPECT_EQ(written.Message(), reason);
    EXPECT_EQ(written.GetError().Code(), ErrorCode::Refused);
    EXPECT_TRUE(stream.Data().empty());
  }
  // Behind a lower group, group 0200 is harmless.
  ASSERT_TRUE(Succeeded(group0200.AddString(0x00100010, vr::PN, "DOE^JOHN")));
  EXPECT_TRUE(Succeeded(CheckWritable(group0200)));
}

TEST(DataSetWriterFile, SaveReplacesTheTargetKeepingItsPermissionsOrLeavesItAsItWas) {
  TempDir dir("dicom-save");
  const std::string target = dir / "out.dcm";
  WriteText(target, "old content");
  ::chmod(target.c_str(), 0640);
  CDicomObject object;
  AddMeta(object, kExplicit);
  ASSERT_TRUE(Succeeded(object.AddString(0x00100010, vr::PN, "DOE^JOHN")));
  DropValueKeepLength(object, 0x00100010);
  const Status refused = SaveDicomFile(object, target);
  EXPECT_EQ(refused.Message(), "cannot save \"" + target + "\": (0010,0010) has a length of 8 bytes but no value.");
  EXPECT_EQ(ReadBytes(target), "old content");

  ASSERT_TRUE(Succeeded(object.AddString(0x00100010, vr::PN, "DOE^JOHN")));
  ASSERT_TRUE(Succeeded(SaveDicomFile(object, target)));
  CDicomObject back;
  ASSERT_TRUE(LoadInto(back, target));
  EXPECT_TRUE(back.Contains(0x00100010));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);
}

}  // namespace
