// Binary values as hexadecimal text: what the user may type and what is
// refused (with the reason), the layout shown, and the word rules by VR.
#include "app/HexValue.h"

#include "dicom/ValueRepresentation.h"

#include <gtest/gtest.h>

#include <random>

namespace quillon::test {
namespace {

TEST(HexValue, ReadsWhatTheUserTypesAndRefusesTheRest) {
  const struct {
    const char* typed;
    std::vector<uint8_t> bytes;
    const char* refusal;  // part of the reason; null: read
  } cases[] = {
      {"", {}, nullptr},
      {"00 01 ff", {0x00, 0x01, 0xFF}, nullptr},
      {"0001FF", {0x00, 0x01, 0xFF}, nullptr},
      {"  Ab\tcD\r\n eF\n", {0xAB, 0xCD, 0xEF}, nullptr},
      {"a b", {0xAB}, nullptr},  // white space between the digits of one byte is layout too
      {"abc", {}, "odd number"},
      {"0", {}, "odd number"},
      {"00 0g", {}, "'g' (line 1, column 5)"},
      {"00\n01 x1", {}, "'x' (line 2, column 4)"},
      {"0x01", {}, "'x'"},
      {"00\xC3\xA9", {}, "a character"},
  };
  for (const auto& c : cases) {
    std::string error;
    const std::optional<std::vector<uint8_t>> read = ParseHexBytes(c.typed, error);
    SCOPED_TRACE(c.typed);
    if (c.refusal == nullptr) {
      ASSERT_TRUE(read.has_value()) << error;
      EXPECT_EQ(*read, c.bytes);
    } else {
      EXPECT_FALSE(read.has_value());
      EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
    }
  }
}

TEST(HexValue, ShowsSixteenBytesALineAndReadsBackWhatItShows) {
  std::vector<uint8_t> bytes(33);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 17);
  const std::string text = FormatHexBytes(bytes.data(), bytes.size());
  EXPECT_EQ(text.substr(0, 48), "00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff\n");
  EXPECT_EQ(text.substr(96), "20");  // the third line holds the 33rd byte alone, with no break after it
  std::mt19937 random(7);
  for (const size_t size : {0u, 1u, 15u, 16u, 17u, 1000u}) {
    std::vector<uint8_t> value(size);
    for (uint8_t& byte : value) byte = static_cast<uint8_t>(random());
    std::string error;
    EXPECT_EQ(ParseHexBytes(FormatHexBytes(value.data(), value.size()), error), value) << size;
  }
}

TEST(HexValue, WordVrsTakeWholeWordsOnly) {
  const struct {
    DicomVR vr;
    uint64_t good;
    uint64_t bad;
  } cases[] = {{vr::OW, 2, 3}, {vr::OF, 4, 6}, {vr::OL, 8, 2}, {vr::OD, 16, 12}, {vr::OV, 8, 4}};
  for (const auto& c : cases) {
    EXPECT_EQ(CheckBinaryLength(c.vr, c.good), "") << VrToString(c.vr);
    EXPECT_NE(CheckBinaryLength(c.vr, c.bad).find("multiple of " + std::to_string(BinaryUnitOf(c.vr))),
              std::string::npos)
        << VrToString(c.vr);
  }
  for (const DicomVR bytes : {vr::OB, vr::UN, vr::kUnknown}) EXPECT_EQ(CheckBinaryLength(bytes, 7), "");
}

}  // namespace
}  // namespace quillon::test
