/// \file
/// The text conversion behind the XML export: a table of conversions, and a sweep over all short byte strings.
#include "xml/TextEncoding.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using namespace std::string_literals;
using enum TextCharset;

std::string Convert(const std::string& bytes, TextCharset charset) {
  std::string out;
  AppendXmlText(bytes, charset, out);
  return out;
}

TEST(TextEncodingTest, ConvertsToUtf8OfXmlCharacters) {
  const std::string rep = "\xEF\xBF\xBD";  // U+FFFD
  const std::tuple<TextCharset, std::string, std::string> cases[] = {
      {Latin1, "M\xFCller \xA0\xFF\x85", "M\xC3\xBCller \xC2\xA0\xC3\xBF\xC2\x85"},  // C1: allowed
      {Latin1, "a & <b> \"c\" 'd'", "a & <b> \"c\" 'd'"},  // markup is the writer's job
      {Utf8, "R\xC3\xA9 \xE5\xB1\xB1 \xF0\x9F\x98\x80", "R\xC3\xA9 \xE5\xB1\xB1 \xF0\x9F\x98\x80"},
      // Invalid UTF-8, replaced per maximal part: a lone continuation byte,
      // a bad lead byte, truncated sequences (an ASCII byte after one
      // survives), overlong forms, encoded surrogates, beyond U+10FFFF.
      {Utf8, "a\x80z", "a" + rep + "z"}, {Utf8, "a\xFFz", "a" + rep + "z"}, {Utf8, "a\xE2\x82", "a" + rep},
      {Utf8, "\xE2\x82z", rep + "z"}, {Utf8, "\xC0\xAF", rep + rep}, {Utf8, "\xE0\x80\xAF", rep + rep + rep},
      {Utf8, "\xED\xA0\x80", rep + rep + rep}, {Utf8, "\xF4\x90\x80\x80", rep + rep + rep + rep},
      {Utf8, "a\xEF\xBF\xBE" "b\xEF\xBF\xBF" "c\xC2\x80", "abc\xC2\x80"},  // U+FFFE, U+FFFF dropped; U+0080 kept
      {Unsupported, "Ivan \xC8\xD2", "Ivan " + rep + rep},
  };
  for (const auto& [charset, bytes, expected] : cases) EXPECT_EQ(Convert(bytes, charset), expected) << bytes;
  // Forbidden control characters are dropped in every charset; tab, CR, LF kept.
  for (const TextCharset charset : {Latin1, Utf8, Unsupported}) {
    EXPECT_EQ(Convert("a\x01" "b\x1B\x1F" "c\0d\x7F\tt\r\nn"s, charset), "abcd\x7F\tt\r\nn");
  }
}

TEST(TextEncodingTest, EveryByteStringGivesValidUtf8OfXmlCharacters) {
  for (const TextCharset charset : {Latin1, Utf8, Unsupported}) {
    for (int first = 0; first < 256; ++first) {
      for (int second = 0; second < 256; second += 3) {
        const std::string out = Convert({static_cast<char>(first), static_cast<char>(second)}, charset);
        char32_t c = 0;
        for (std::size_t pos = 0; pos < out.size();) {
          ASSERT_TRUE(DecodeUtf8Char(out, pos, c) && IsXmlChar(c)) << first << " " << second;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quillon
