#include "dicom/DicomElement.h"
#include "dicom/DicomSequence.h"
#include "dicom/ValueRepresentation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

using namespace quillon;

namespace {

std::string Bytes(const CDicomElement& e) {
  return e.GetValue() ? std::string(reinterpret_cast<const char*>(e.GetValue()), e.GetLength()) : std::string();
}

TEST(DicomElementConstruction, PadsOddValuesWithTheVrPadByte) {
  const char* uid = "1.2.840.10008.1.2";  // 17 bytes
  CDicomElement ui(0x00020010, vr::UI, uid, 17);
  EXPECT_EQ(ui.GetLength(), 18u);
  EXPECT_EQ(Bytes(ui), std::string(uid) + '\0');

  CDicomElement cs(0x00080060, vr::CS, "MR1", 3);
  EXPECT_EQ(Bytes(cs), "MR1 ");

  const uint8_t three[3] = {1, 2, 3};
  CDicomElement ob(0x00020001, vr::OB, three, 3);
  ASSERT_EQ(ob.GetLength(), 4u);
  EXPECT_EQ(ob.GetValue()[3], 0x00);

  CDicomElement ow(0x7FE00010, vr::OW, three, 3);
  EXPECT_EQ(ow.GetValue()[3], 0x00);
  CDicomElement un(0x00091001, vr::kUnknown, three, 3);
  EXPECT_EQ(un.GetValue()[3], ' ');

  CDicomElement even(0x00100010, vr::PN, "DOE^JOHN", 8);
  EXPECT_EQ(Bytes(even), "DOE^JOHN");
}

TEST(DicomElementConstruction, NullSourceOrZeroLengthMakesNoBuffer) {
  CDicomElement noSource(0x00100010, vr::PN, nullptr, 10);
  EXPECT_FALSE(noSource.HasValue());
  EXPECT_EQ(noSource.GetLength(), 10u);  // the given length stays

  CDicomElement empty(0x00100010, vr::PN, "x", 0);
  EXPECT_FALSE(empty.HasValue());
  EXPECT_EQ(empty.GetLength(), 0u);
}

TEST(DicomElementConstruction, LengthThatCannotBePaddedGivesNoValue) {
  const char byte = 'x';
  // 0xFFFFFFFF is odd and would wrap to 0 when padded; it is also the
  // undefined-length marker. The source is never read past its first byte.
  CDicomElement huge(0x00100010, vr::LO, &byte, CDicomElement::kUndefinedLength);
  EXPECT_FALSE(huge.HasValue());
  EXPECT_EQ(huge.GetLength(), 0u);
}

TEST(DicomElementGetters, StringDropsOnePadAndTrailingWhiteSpace) {
  CDicomElement cs(0x00080008, vr::CS, "ORIGINAL\\PRIMARY ", 17);
  std::string text;
  EXPECT_EQ(cs.GetString(text), DicomStatus::Success);
  EXPECT_EQ(text, "ORIGINAL\\PRIMARY");

  CDicomElement padded(0x00100010, vr::LO, "  AB \t  ", 8);
  EXPECT_EQ(padded.GetString(text), DicomStatus::Success);
  EXPECT_EQ(text, "  AB");  // leading white space is part of the value

  CDicomElement ui(0x00020010, vr::UI, "1.2.840.10008.1.2", 17);
  EXPECT_EQ(ui.GetString(text), DicomStatus::Success);
  EXPECT_EQ(text, "1.2.840.10008.1.2");  // the NUL pad is not part of the text

  CDicomElement none(0x00100010, vr::PN, nullptr, 0);
  text = "stale";
  EXPECT_EQ(none.GetString(text), DicomStatus::Success);
  EXPECT_EQ(text, "");
}

TEST(DicomElementGetters, IntegersAreLittleEndianAndLengthChecked) {
  const uint8_t oneByte[1] = {0x7F};
  CDicomElement shortValue(0x00280010, vr::US, oneByte, 1);  // padded to 2 by construction
  uint16_t u16 = 99;
  EXPECT_EQ(shortValue.GetUInt16(u16), DicomStatus::Success);

  CDicomElement noValue(0x00280010, vr::US, nullptr, 1);
  EXPECT_EQ(noValue.GetUInt16(u16), DicomStatus::WrongKind);
  EXPECT_EQ(u16, 0);

  const uint8_t le[4] = {0x00, 0x02, 0x01, 0x00};
  CDicomElement us(0x00280010, vr::US, le, 2);
  EXPECT_EQ(us.GetUInt16(u16), DicomStatus::Success);
  EXPECT_EQ(u16, 0x0200);
  uint32_t u32 = 7;
  EXPECT_EQ(us.GetUInt32(u32), DicomStatus::WrongKind);
  EXPECT_EQ(u32, 0u);

  CDicomElement ul(0x00020000, vr::UL, le, 4);
  EXPECT_EQ(ul.GetUInt32(u32), DicomStatus::Success);
  EXPECT_EQ(u32, 0x00010200u);
}

TEST(DicomElementGetters, NumberReadsDecimalText) {
  uint32_t n = 5;
  CDicomElement frames(0x00280008, vr::IS, "300", 3);  // stored as "300 "
  EXPECT_EQ(frames.GetNumber(n), DicomStatus::Success);
  EXPECT_EQ(n, 300u);
  CDicomElement junk(0x00280008, vr::IS, "abc", 3);
  EXPECT_EQ(junk.GetNumber(n), DicomStatus::Success);
  EXPECT_EQ(n, 0u);
  CDicomElement huge(0x00280008, vr::IS, "99999999999999999999", 20);
  EXPECT_EQ(huge.GetNumber(n), DicomStatus::Success);  // saturates, no undefined behaviour
  CDicomElement none(0x00280008, vr::IS, nullptr, 0);
  EXPECT_EQ(none.GetNumber(n), DicomStatus::EndOfStream);
  EXPECT_EQ(n, 0u);
}

TEST(DicomElementGetters, SetUInt32OnlyOnFourByteValues) {
  CDicomElement ul(0x00080000, vr::UL, "\0\0\0\0", 4);
  EXPECT_EQ(ul.SetUInt32(0x12345678), DicomStatus::Success);
  uint32_t v = 0;
  ASSERT_EQ(ul.GetUInt32(v), DicomStatus::Success);
  EXPECT_EQ(v, 0x12345678u);
  EXPECT_EQ(ul.GetValue()[0], 0x78);

  CDicomElement us(0x00280010, vr::US, "\1\0", 2);
  EXPECT_EQ(us.SetUInt32(5), DicomStatus::Failure);
  EXPECT_EQ(us.GetValue()[0], 1);
  CDicomElement absent(0x00080000, vr::UL, nullptr, 4);
  EXPECT_EQ(absent.SetUInt32(5), DicomStatus::Failure);
}

TEST(DicomElementSize, HeaderDependsOnModeVrAndGroup) {
  const auto implicit = TransferMode::ImplicitLittleEndian;
  const auto explicitLe = TransferMode::ExplicitLittleEndian;
  const auto big = TransferMode::ExplicitBigEndian;
  CDicomElement version(0x00020001, vr::OB, "\0\1", 2);
  EXPECT_EQ(version.EncodedSize(implicit), 14u);  // group 0002 is always explicit
  EXPECT_EQ(version.EncodedSize(explicitLe), 14u);
  EXPECT_EQ(version.EncodedSize(big), 14u);

  CDicomElement us(0x00280010, vr::US, "\0\2", 2);
  EXPECT_EQ(us.EncodedSize(implicit), 10u);
  EXPECT_EQ(us.EncodedSize(explicitLe), 10u);

  std::string hundred(100, 'x');
  CDicomElement ob(0x00091010, vr::OB, hundred.data(), 100);
  EXPECT_EQ(ob.EncodedSize(implicit), 108u);
  EXPECT_EQ(ob.EncodedSize(explicitLe), 112u);

  CDicomElement ut(0x00081234, vr::UT, "0123456789", 10);
  EXPECT_EQ(ut.EncodedSize(explicitLe), 22u);
  CDicomElement unknown(0x00091001, vr::kUnknown, "ab", 2);
  EXPECT_EQ(unknown.EncodedSize(explicitLe), 14u);  // written as UN

  ob.SetUndefinedLength(true);
  EXPECT_EQ(ob.EncodedSize(explicitLe), 120u);  // plus the item delimitation
}

TEST(DicomElementCopy, CopiesHeaderAndValueDeeply) {
  CDicomElement source(0x00100010, vr::PN, "DOE^JANE", 8);
  source.SetUndefinedLength(true);
  CDicomElement target(0x00080060, vr::CS, "CT", 2);
  ASSERT_TRUE(target.CopyFrom(source));
  EXPECT_EQ(target.GetTag(), 0x00100010u);
  EXPECT_EQ(target.GetVR(), vr::PN);
  EXPECT_TRUE(target.IsUndefinedLength());
  EXPECT_EQ(Bytes(target), "DOE^JANE");
  EXPECT_NE(target.GetValue(), source.GetValue());

  auto clone = source.Clone();
  ASSERT_TRUE(clone);
  EXPECT_EQ(Bytes(*clone), "DOE^JANE");
  EXPECT_NE(clone->GetValue(), source.GetValue());

  CDicomElement noValue(0x00100020, vr::LO, nullptr, 6);
  ASSERT_TRUE(target.CopyFrom(noValue));
  EXPECT_FALSE(target.HasValue());
  EXPECT_EQ(target.GetLength(), 6u);
}

TEST(DicomElementCopy, SequenceCannotBeCopiedIntoAnElement) {
  CDicomSequence sequence(0x00081140);
  CDicomElement target(0x00100010, vr::PN, "DOE^JANE", 8);
  EXPECT_FALSE(target.CopyFrom(sequence));
  EXPECT_FALSE(target.HasValue());
  EXPECT_EQ(target.GetTag(), 0x00081140u);
}

// Short values live inside the element, longer ones on the heap; moving a
// value in or out must keep its bytes whichever side of the limit it is on.
TEST(DicomElementValueStorage, ValuesAroundTheInlineLimitKeepTheirBytes) {
  const std::string text = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (uint32_t length : {2u, 18u, 19u, 20u, 22u, 36u}) {
    SCOPED_TRACE(length);
    const uint32_t even = length + (length & 1u);
    CDicomElement element(0x00100010, vr::LO, text.data(), length);
    ASSERT_TRUE(element.HasValue());
    EXPECT_EQ(Bytes(element), text.substr(0, length) + std::string(even - length, ' '));

    CDicomElement copy;
    ASSERT_TRUE(copy.CopyFrom(element));
    EXPECT_EQ(Bytes(copy), Bytes(element));

    std::unique_ptr<uint8_t[]> released = element.ReleaseValue();
    ASSERT_TRUE(released);
    EXPECT_FALSE(element.HasValue());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(released.get()), even), Bytes(copy));

    CDicomElement adopted(0x00100020, vr::LO, nullptr, 0);
    adopted.SetValue(std::move(released), even);
    EXPECT_EQ(Bytes(adopted), Bytes(copy));
    adopted.ClearValue();
    EXPECT_FALSE(adopted.HasValue());
    EXPECT_EQ(adopted.GetLength(), 0u);
  }
}

}  // namespace
