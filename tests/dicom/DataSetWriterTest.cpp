// The writer: the bytes of each encoding, and what it refuses before
// writing a byte. (That all else saves and reads back is the round trip's.)
#include "base/MemoryStream.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ReadContext.h"
#include "dicom/ValueRepresentation.h"
#include "support/ByteBuilder.h"
#include "support/DicomFiles.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>

using namespace quillon;
using namespace quillon::test;
namespace fs = std::filesystem;

namespace {

/// A meta group naming `syntax` (none when null), (0010,0010) and (0008,1140)
/// of two items, the first of defined length when `definedLengths`.
void Fill(CDicomObject& object, const char* syntax, bool definedLengths = false) {
  if (syntax) {
    ASSERT_TRUE(Succeeded(object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.7", "1.2.3", syntax, "1.2", "Q", "A")));
  }
  ASSERT_TRUE(Succeeded(object.AddString(0x00100010, vr::PN, "DOE^JOHN")));
  auto sequence = std::make_unique<CDicomSequence>(0x00081140);
  for (size_t i = 0; i < 2; ++i) {
    sequence->AppendItem(std::make_unique<CSequenceItem>());
    sequence->GetItem(i)->SetUndefinedLength(!definedLengths || i == 1);
    ASSERT_TRUE(Succeeded(sequence->GetItem(i)->AddString(0x00081150, vr::UI, "1.2.3")));
  }
  sequence->SetUndefinedLength(!definedLengths);
  ASSERT_TRUE(Succeeded(object.AddSequence(std::move(sequence))));
}

// One data set byte for byte in each encoding: values swapped in big endian
// (AT word by word), an unknown VR as UN, lengths computed from what is
// written, and a value too long for a 16-bit length (read from an implicit
// VR file: the adders refuse one) as UN with a 32-bit length.
TEST(DataSetWriter, LayoutOfEachEncoding) {
  CDicomObject object;
  Fill(object, nullptr, true);
  CDicomSequence* sequence = nullptr;
  ASSERT_EQ(object.GetSequence(0x00081140, &sequence), DicomStatus::Success);
  sequence->SetValueLength(1);
  sequence->GetItem(0)->SetItemLength(1);
  ASSERT_TRUE(Succeeded(sequence->GetItem(0)->AddUInt32(0x00080000, vr::UL, 12345)));
  ASSERT_TRUE(Succeeded(object.AddUInt32(0x00100000, vr::UL, 999)));
  ASSERT_TRUE(Succeeded(object.AddUInt16(0x00280010, vr::US, 0x0102)));
  const uint8_t pointer[4] = {0x10, 0x00, 0x20, 0x00};  // (0010,0020), held little endian
  ASSERT_TRUE(Succeeded(object.AddValue(0x00209165, vr::AT, pointer, 4)));
  ASSERT_TRUE(Succeeded(object.AddValue(0x00091001, vr::kUnknown, "ab", 2)));
  const std::string comments(70000, 'x');
  object.RestoreElement(std::make_unique<CDicomElement>(0x00204000, vr::LT, comments.data(), 70000));
  EXPECT_EQ(object.GroupLength(0x0010), 16u);
  for (const TransferMode mode :
       {TransferMode::ImplicitLittleEndian, TransferMode::ExplicitLittleEndian, TransferMode::ExplicitBigEndian}) {
    ByteBuilder b(mode == TransferMode::ExplicitBigEndian);
    const auto header = [&](DicomTag tag, const char* vr, uint32_t length) -> ByteBuilder& {
      return mode == TransferMode::ImplicitLittleEndian ? b.ImplicitHeader(tag, length)
                                                        : b.ExplicitHeader(tag, vr, length);
    };
    const std::string uid("1.2.3\0", 6);
    header(0x00081140, "SQ", 8 + 26 + 8 + 14 + 8).Item(26);
    header(0x00080000, "UL", 4).U32(14);
    header(0x00081150, "UI", 6).Raw(uid).Item();
    header(0x00081150, "UI", 6).Raw(uid).ItemEnd();
    header(0x00091001, "UN", 2).Raw("ab");
    header(0x00100000, "UL", 4).U32(16);
    header(0x00100010, "PN", 8).Raw("DOE^JOHN");
    header(0x00204000, "UN", 70000).Raw(comments);
    header(0x00209165, "AT", 4).U16(0x0010).U16(0x0020);
    header(0x00280010, "US", 2).U16(0x0102);
    CMemoryStream stream;
    ASSERT_TRUE(Succeeded(CDicomFileWriter(stream).WriteDataSet(object, mode)));
    EXPECT_EQ(stream.Data(), b.bytes) << static_cast<int>(mode);
  }
  object.RecordEncodedLengths(TransferMode::ImplicitLittleEndian);  // what an editor shows after a change
  EXPECT_EQ(sequence->GetLength(), 8u + 26 + 8 + 14 + 8);
  EXPECT_EQ(sequence->GetItem(0)->GetItemLength(), 26u);
}

// A stream whose writes fail after a number of bytes, like a full disk.
class FullStream final : public CStream {
 public:
  explicit FullStream(uint64_t capacity) : m_capacity(capacity) {}
  uint64_t Read(void*, uint64_t) override { return 0; }
  void Write(const void*, uint64_t count) override {
    if (HasFailed() || (m_written += count) > m_capacity) Fail(Error(ErrorCode::Io, "disk full"));
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

TEST(DataSetWriter, AFullDiskIsTheWritersErrorWhereverItStrikes) {
  CDicomObject object;
  Fill(object, uids::kExplicitVrLittleEndian);
  for (uint64_t capacity : {0u, 100u, 140u, 200u, 300u}) {
    FullStream stream(capacity);
    const Status written = CDicomFileWriter(stream).WriteFile(object);
    EXPECT_EQ(written.Message(), "disk full") << capacity;
    EXPECT_EQ(written.GetError().Code(), ErrorCode::Io) << capacity;
  }
}

/// Leaves (0010,0010) with a length but no value, as only a later change can.
void DropTheNamesValue(CDicomObject& object) {
  CDicomElement* element = object.Elements().Find(0x00100010);
  element->ClearValue();
  element->SetValueLength(8);
}

// The whole tree is checked before the first byte: a half-written file is
// of no use, and one its reader refuses loses the user's data.
TEST(DataSetWriter, WhatCannotBeReadBackIsRefusedBeforeAnyByteIsWritten) {
  std::string nested;
  for (int depth = 0; depth < CReadContext::kMaxNestingDepth; ++depth) nested += "(0008,1140) item 1: ";
  const struct {
    const char* syntax;
    std::function<void(CDicomObject&)> spoil;
    std::string problem;
  } cases[] = {
      {uids::kExplicitVrLittleEndian, DropTheNamesValue, "(0010,0010) has a length of 8 bytes but no value."},
      // In big endian a first tag (0200,xxxx) is written 02 00, which a
      // reader takes for (0002,xxxx) of the meta group.
      {uids::kExplicitVrBigEndian,
       [](CDicomObject& o) {
         for (const DicomTag tag : {0x00080016u, 0x00080018u, 0x00081140u, 0x00100010u}) (void)o.RemoveElement(tag);
         ASSERT_TRUE(Succeeded(o.AddValue(0x02000010, vr::OB, "ab", 2)));
       },
       "(0200,0010): a big endian data set cannot start with group 0200, which reads back as file meta "
       "information (group 0002)."},
      {uids::kExplicitVrLittleEndian,
       [](CDicomObject& o) {
         CDicomSequence* top = nullptr;
         ASSERT_EQ(o.GetSequence(0x00081140, &top), DicomStatus::Success);
         CSequenceItem* item = top->GetItem(0);
         for (int depth = 0; depth < CReadContext::kMaxNestingDepth; ++depth) {
           auto sequence = std::make_unique<CDicomSequence>(0x00081140);
           sequence->AppendItem(std::make_unique<CSequenceItem>());
           CSequenceItem* inner = sequence->GetItem(0);
           item->RestoreElement(std::move(sequence));
           item = inner;
         }
       },
       nested + "(0008,1140): sequences nested deeper than 128 levels cannot be read back."},
  };
  for (const auto& c : cases) {
    CDicomObject object;
    Fill(object, c.syntax);
    c.spoil(object);
    CMemoryStream stream;
    const Status written = CDicomFileWriter(stream).WriteFile(object);
    EXPECT_EQ(written.Message(), c.problem);
    EXPECT_EQ(written.GetError().Code(), ErrorCode::Refused);
    EXPECT_TRUE(stream.Data().empty());
  }
}

TEST(DataSetWriter, SaveReplacesTheTargetKeepingItsPermissionsOrLeavesItAsItWas) {
  TempDir dir("dicom-save");
  const std::string target = dir / "out.dcm";
  WriteText(target, "old content");
  ::chmod(target.c_str(), 0640);
  CDicomObject object;
  Fill(object, uids::kExplicitVrLittleEndian);
  DropTheNamesValue(object);
  EXPECT_EQ(SaveDicomFile(object, target).Message(),
            "cannot save \"" + target + "\": (0010,0010) has a length of 8 bytes but no value.");
  EXPECT_EQ(ReadBytes(target), "old content");
  ASSERT_TRUE(Succeeded(object.AddString(0x00100010, vr::PN, "DOE^JOHN")));
  ASSERT_TRUE(Succeeded(SaveDicomFile(object, target)));
  EXPECT_EQ(ReadBytes(target).size(), 132 + object.ContentSize());
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);
}

}  // namespace
