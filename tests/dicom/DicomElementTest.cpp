// One element on its own: how a value is padded and stored, and what the
// getters make of it. (How elements are framed in a stream is shown by the
// writer's layout test and the round trip property.)
#include "dicom/DicomElement.h"
#include "dicom/DicomSequence.h"
#include "dicom/ValueRepresentation.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon;

namespace {

std::string Bytes(const CDicomElement& e) {
  return e.HasValue() ? std::string(reinterpret_cast<const char*>(e.GetValue()), e.GetLength()) : std::string();
}

TEST(DicomElement, OddValuesArePaddedWithTheVrPadByte) {
  const std::pair<DicomVR, char> cases[] = {{vr::UI, '\0'}, {vr::OB, '\0'}, {vr::OW, '\0'},
                                            {vr::CS, ' '},  {vr::LO, ' '},  {vr::kUnknown, ' '}};
  for (const auto& [code, pad] : cases) {
    const CDicomElement element(0x00091001, code, "abc", 3);
    EXPECT_EQ(Bytes(element), std::string("abc") + pad) << VrToString(code);
  }
  EXPECT_EQ(Bytes(CDicomElement(0x00100010, vr::PN, "DOE^JOHN", 8)), "DOE^JOHN");
  // No source or no length: no value, the length as given. 0xFFFFFFFF is
  // odd and would wrap to 0 when padded; the source is never read.
  const char byte = 'x';
  for (const auto& [source, length, kept] : {std::tuple{static_cast<const char*>(nullptr), 10u, 10u},
                                             std::tuple{&byte, 0u, 0u},
                                             std::tuple{&byte, CDicomElement::kUndefinedLength, 0u}}) {
    const CDicomElement element(0x00100010, vr::LO, source, length);
    EXPECT_FALSE(element.HasValue());
    EXPECT_EQ(element.GetLength(), kept);
  }
}

TEST(DicomElement, GettersReadTextNumbersAndLittleEndianIntegers) {
  const std::pair<std::string, std::string> texts[] = {
      {"ORIGINAL\\PRIMARY ", "ORIGINAL\\PRIMARY"},
      {"  AB \t  ", "  AB"},  // leading white space is part of the value
      {std::string("1.2.840.10008.1.2\0", 18), "1.2.840.10008.1.2"},
      {"", ""},
  };
  for (const auto& [stored, text] : texts) {
    std::string out = "stale";
    const CDicomElement element(0x00100010, vr::LO, stored.data(), static_cast<uint32_t>(stored.size()));
    EXPECT_EQ(element.GetString(out), DicomStatus::Success);
    EXPECT_EQ(out, text);
  }

  const std::pair<const char*, uint32_t> numbers[] = {{"300", 300}, {"abc", 0}};
  for (const auto& [text, number] : numbers) {
    uint32_t n = 5;
    EXPECT_EQ(CDicomElement(0x00280008, vr::IS, text, 3).GetNumber(n), DicomStatus::Success);
    EXPECT_EQ(n, number) << text;
  }
  uint32_t n = 5;
  EXPECT_EQ(CDicomElement(0x00280008, vr::IS, "99999999999999999999", 20).GetNumber(n), DicomStatus::Success);
  EXPECT_EQ(CDicomElement(0x00280008, vr::IS, nullptr, 0).GetNumber(n), DicomStatus::EndOfStream);
  EXPECT_EQ(n, 0u);

  const uint8_t le[4] = {0x00, 0x02, 0x01, 0x00};
  CDicomElement us(0x00280010, vr::US, le, 2);
  uint16_t u16 = 99;
  uint32_t u32 = 7;
  EXPECT_EQ(us.GetUInt16(u16), DicomStatus::Success);
  EXPECT_EQ(u16, 0x0200);
  EXPECT_EQ(us.GetUInt32(u32), DicomStatus::WrongKind);
  EXPECT_EQ(u32, 0u);
  EXPECT_EQ(CDicomElement(0x00280010, vr::US, nullptr, 2).GetUInt16(u16), DicomStatus::WrongKind);
  EXPECT_EQ(u16, 0);

  // SetUInt32 refreshes group lengths: a 4-byte value only.
  CDicomElement ul(0x00080000, vr::UL, le, 4);
  EXPECT_EQ(ul.SetUInt32(0x12345678), DicomStatus::Success);
  EXPECT_EQ(ul.GetUInt32(u32), DicomStatus::Success);
  EXPECT_EQ(u32, 0x12345678u);
  EXPECT_EQ(us.SetUInt32(5), DicomStatus::Failure);
  EXPECT_EQ(us.GetValue()[0], 0x00);
  EXPECT_EQ(CDicomElement(0x00080000, vr::UL, nullptr, 4).SetUInt32(5), DicomStatus::Failure);
}

// Short values live inside the element, longer ones on the heap; copying a
// value, or moving it in or out, keeps its bytes on either side of the limit.
TEST(DicomElement, ValuesAroundTheInlineLimitKeepTheirBytes) {
  const std::string text = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (uint32_t length : {2u, 18u, 19u, 20u, 22u, 36u}) {
    SCOPED_TRACE(length);
    const uint32_t even = length + (length & 1u);
    CDicomElement element(0x00100010, vr::LO, text.data(), length);
    EXPECT_EQ(Bytes(element), text.substr(0, length) + std::string(even - length, ' '));

    CDicomElement copy;
    ASSERT_TRUE(copy.CopyFrom(element));
    EXPECT_EQ(Bytes(copy), Bytes(element));
    EXPECT_NE(copy.GetValue(), element.GetValue());

    std::unique_ptr<uint8_t[]> released = element.ReleaseValue();
    ASSERT_TRUE(released);
    EXPECT_FALSE(element.HasValue());
    CDicomElement adopted(0x00100020, vr::LO, nullptr, 0);
    adopted.SetValue(std::move(released), even);
    EXPECT_EQ(Bytes(adopted), Bytes(copy));
    adopted.ClearValue();
    EXPECT_FALSE(adopted.HasValue());
    EXPECT_EQ(adopted.GetLength(), 0u);
  }
  // A sequence holds items, not bytes: copying one into an element takes
  // its header only, and says so.
  CDicomElement target(0x00100010, vr::PN, "DOE^JANE", 8);
  EXPECT_FALSE(target.CopyFrom(CDicomSequence(0x00081140)));
  EXPECT_FALSE(target.HasValue());
  EXPECT_EQ(target.GetTag(), 0x00081140u);
}

}  // namespace
