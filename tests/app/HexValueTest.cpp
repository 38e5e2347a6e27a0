// Binary values as hexadecimal text: what may be typed, what is refused
// and why, and the layout shown (the word sizes are the dialog's tests).
#include "app/HexValue.h"

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
      {"00 01 ff", {0, 1, 0xFF}, nullptr},
      {"  Ab\tcD\r\n eF\n", {0xAB, 0xCD, 0xEF}, nullptr},
      {"abc", {}, "odd number"},
      {"00\n01 x1", {}, "'x' (line 2, column 4)"},
      {"00\xC3\xA9", {}, "a character"},
  };
  for (const auto& c : cases) {
    std::string error;
    const std::optional<std::vector<uint8_t>> read = ParseHexBytes(c.typed, error);
    EXPECT_EQ(read.has_value(), c.refusal == nullptr) << c.typed;
    EXPECT_EQ(read.value_or(std::vector<uint8_t>{}), c.bytes) << c.typed;
    EXPECT_NE(error.find(c.refusal != nullptr ? c.refusal : ""), std::string::npos) << error;
  }
}

TEST(HexValue, ShowsSixteenBytesALineAndReadsBackWhatItShows) {
  std::mt19937 random(7);
  for (const size_t size : {0u, 1u, 16u, 17u, 1000u}) {
    std::vector<uint8_t> value(size);
    for (uint8_t& byte : value) byte = static_cast<uint8_t>(random());
    const std::string text = FormatHexBytes(value.data(), value.size());
    EXPECT_EQ(text.size(), size == 0 ? 0 : size * 3 - 1);
    for (size_t line = 1; line * 16 < size; ++line) EXPECT_EQ(text[line * 48 - 1], '\n');
    std::string error;
    EXPECT_EQ(ParseHexBytes(text, error), value) << size;
  }
}

}  // namespace
}  // namespace quillon::test
