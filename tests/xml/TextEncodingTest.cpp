/// \file
/// Tests of the text conversion behind the XML export: Latin-1 and UTF-8
/// decoding, the replacement of undecodable bytes and the characters XML 1.0
/// forbids, as one table, and a sweep over all short byte strings.
#include "xml/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

using namespace std::string_literals;

std::string Convert(const std::string& bytes, TextCharset charset) {
  std::string out;
  AppendXmlText(bytes, charset, out);
  return out;
}

const std::string kRep = "\xEF\xBF\xBD";  // U+FFFD
constexpr TextCharset kAllCharsets[] = {TextCharset::Latin1, TextCharset::Utf8, TextCharset::Unsupported};

struct ConversionCase {
  TextCharset charset;
  std::string bytes;
  std::string expected;
};

TEST(TextEncodingTest, ConvertsToUtf8OfXmlCharacters) {
  using enum TextCharset;
  const std::vector<ConversionCase> cases = {
      {Latin1, "M\xFCller^J\xF6rg", "M\xC3\xBCller^J\xC3\xB6rg"}, {Latin1, "\xA0\xFF", "\xC2\xA0\xC3\xBF"},
      {Latin1, "\x85", "\xC2\x85"},  // C1 controls are XML characters (discouraged, not forbidden)
      {Latin1, "a & <b> \"c\" 'd'", "a & <b> \"c\" 'd'"},  // markup is the writer's job
      {Utf8, "Ren\xC3\xA9 \xE5\xB1\xB1\xE7\x94\xB0 \xF0\x9F\x98\x80 \xEF\xBF\xBD",
       "Ren\xC3\xA9 \xE5\xB1\xB1\xE7\x94\xB0 \xF0\x9F\x98\x80 \xEF\xBF\xBD"},
      // Invalid UTF-8, replaced per maximal part: a lone continuation byte,
      // a bad lead byte, truncated sequences (an ASCII byte after one
      // survives), overlong forms, encoded surrogates, beyond U+10FFFF.
      {Utf8, "a\x80z", "a" + kRep + "z"}, {Utf8, "a\xFFz", "a" + kRep + "z"}, {Utf8, "a\xE2\x82", "a" + kRep},
      {Utf8, "\xE2\x82z", kRep + "z"}, {Utf8, "\xC0\xAF", kRep + kRep}, {Utf8, "\xE0\x80\xAF", kRep + kRep + kRep},
      {Utf8, "\xED\xA0\x80", kRep + kRep + kRep}, {Utf8, "\xF4\x90\x80\x80", kRep + kRep + kRep + kRep},
      {Utf8, "a\xEF\xBF\xBE" "b\xEF\xBF\xBF" "c", "abc"},  // U+FFFE, U+FFFF are dropped
      {Utf8, "a\xC2\x80z", "a\xC2\x80z"},                  // U+0080 is allowed
      {Unsupported, "Ivan \xC8\xD2", "Ivan " + kRep + kRep},
  };
  for (const ConversionCase& c : cases) {
    EXPECT_EQ(Convert(c.bytes, c.charset), c.expected) << c.bytes;
  }
  // Forbidden control characters are dropped in every charset; tab, CR, LF kept.
  for (const TextCharset charset : kAllCharsets) {
    EXPECT_EQ(Convert("a\x01" "b\x1B\x1F" "c\0d\x7F"s, charset), "abcd\x7F");
    EXPECT_EQ(Convert("tab\there\r\nnext", charset), "tab\there\r\nnext");
  }
}

TEST(TextEncodingTest, EveryByteStringGivesValidUtf8OfXmlCharacters) {
  // All single bytes and all byte pairs, in every charset: the output must
  // decode cleanly and hold only XML characters.
  for (const TextCharset charset : kAllCharsets) {
    for (int first = 0; first < 256; ++first) {
      for (int second = 0; second < 256; second += 3) {
        const std::string out = Convert({static_cast<char>(first), static_cast<char>(second)}, charset);
        std::size_t pos = 0;
        while (pos < out.size()) {
          char32_t c = 0;
          ASSERT_TRUE(DecodeUtf8Char(out, pos, c)) << first << " " << second;
          ASSERT_TRUE(IsXmlChar(c)) << first << " " << second;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quillon
