// One element on its own: how a value is padded and held, and its text.
// (How it is framed in a stream is the writer's and the round trip's.)
#include "dicom/DicomElement.h"
#include "dicom/ValueRepresentation.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon;

namespace {

std::string Bytes(const CDicomElement& e) {
  return e.HasValue() ? std::string(reinterpret_cast<const char*>(e.GetValue()), e.GetLength()) : std::string();
}

TEST(DicomElement, OddValuesArePaddedWithTheVrPadByteAndReadBackAsText) {
  for (const auto& [code, pad] : {std::pair{vr::UI, '\0'}, std::pair{vr::OB, '\0'}, std::pair{vr::OW, '\0'},
                                  std::pair{vr::CS, ' '}, std::pair{vr::kUnknown, ' '}}) {
    EXPECT_EQ(Bytes(CDicomElement(0x00091001, code, "abc", 3)), std::string("abc") + pad) << VrToString(code);
  }
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
  // Text ends at a NUL and loses one pad and then trailing white space.
  for (const auto& [stored, text] : {std::pair{std::string("ORIGINAL\\PRIMARY "), "ORIGINAL\\PRIMARY"},
                                     std::pair{std::string("  AB \t  "), "  AB"},
                                     std::pair{std::string("1.2.840.10008.1.2\0", 18), "1.2.840.10008.1.2"},
                                     std::pair{std::string(), ""}}) {
    std::string out = "stale";
    EXPECT_EQ(CDicomElement(0x00100010, vr::LO, stored.data(), static_cast<uint32_t>(stored.size())).GetString(out),
              DicomStatus::Success);
    EXPECT_EQ(out, text);
  }
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
    CDicomElement adopted;
    adopted.SetValue(element.ReleaseValue(), even);
    EXPECT_FALSE(element.HasValue());
    EXPECT_EQ(Bytes(adopted), Bytes(copy));
    adopted.ClearValue();
    EXPECT_FALSE(adopted.HasValue());
    EXPECT_EQ(adopted.GetLength(), 0u);
  }
}

}  // namespace
