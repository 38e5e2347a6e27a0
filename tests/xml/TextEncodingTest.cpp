/// \file
/// The text conversion behind the XML export: a table of conversions, and a sweep over all short byte strings.
#include "xml/TextEncoding.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using namespace std::string_literals;

std::string Convert(const std::string& bytes, const char* charset) {
  std::string out;
  AppendXmlText(bytes, CCharacterSet::FromSpecificCharacterSet(charset), TextDelimiters::Text, out);
  return out;
}

TEST(TextEncodingTest, ConvertsToUtf8OfXmlCharacters) {
  const std::tuple<const char*, std::string, std::string> cases[] = {
      {"ISO_IR 100", "M\xFCller \xA0\xFF\x85", "M\xC3\xBCller \xC2\xA0\xC3\xBF\xC2\x85"},  // C1: allowed
      {"ISO_IR 100", "a & <b> \"c\" 'd'", "a & <b> \"c\" 'd'"},  // markup is the writer's job
      {"ISO_IR 192", "R\xC3\xA9 \xE5\xB1\xB1 \xF0\x9F\x98\x80", "R\xC3\xA9 \xE5\xB1\xB1 \xF0\x9F\x98\x80"},
      // What does not decode is shown as the bytes it is, as everywhere.
      {"ISO_IR 192", "a\x80z", "a\\x80z"},
      {"ISO_IR 192", "a\xEF\xBF\xBE" "b\xEF\xBF\xBF" "c\xC2\x80", "abc\xC2\x80"},  // U+FFFE, U+FFFF dropped
      {"ISO_IR 144", "Ivan \xC8\xD2", "Ivan \xD0\xA8\xD0\xB2"},
      {"\\ISO 2022 IR 87", "\x1B$B;3ED\x1B(B", "\xE5\xB1\xB1\xE7\x94\xB0"},
  };
  for (const auto& [charset, bytes, expected] : cases) EXPECT_EQ(Convert(bytes, charset), expected) << bytes;
  // Forbidden control characters are dropped in every charset; tab, CR, LF kept.
  for (const char* charset : {"ISO_IR 100", "ISO_IR 192", "GB18030"}) {
    EXPECT_EQ(Convert("a\x01" "b\x1F" "c\0d\x7F\tt\r\nn"s, charset), "abcd\x7F\tt\r\nn");
  }
}

TEST(TextEncodingTest, EveryByteStringGivesValidUtf8OfXmlCharacters) {
  for (const char* charset : {"", "ISO_IR 192", "ISO_IR 127", "\\ISO 2022 IR 149", "GB18030"}) {
    for (int first = 0; first < 256; ++first) {
      for (int second = 0; second < 256; second += 3) {
        const std::string out = Convert({static_cast<char>(first), static_cast<char>(second)}, charset);
        char32_t c = 0;
        for (std::size_t pos = 0; pos < out.size();) {
          ASSERT_TRUE(DecodeUtf8Char(out, pos, c) && IsXmlChar(c)) << charset << " " << first << " " << second;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quillon
