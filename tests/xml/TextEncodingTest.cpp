/// \file
/// Tests of the text conversion behind the XML export: which character set
/// (0008,0005) selects, Latin-1 and UTF-8 decoding, the replacement of
/// undecodable bytes and the characters XML 1.0 forbids.
#include "xml/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

using namespace std::string_literals;

std::string Convert(const std::string& bytes, TextCharset charset) {
  std::string out;
  AppendXmlText(bytes, charset, out);
  return out;
}

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(TextEncodingTest, Latin1BytesBecomeTheirCodePoints) {
  EXPECT_EQ(Convert("M\xFCller^J\xF6rg", TextCharset::Latin1), "M\xC3\xBCller^J\xC3\xB6rg");
  EXPECT_EQ(Convert("\xA0\xFF", TextCharset::Latin1), "\xC2\xA0\xC3\xBF");
  // C1 controls are XML characters (discouraged, not forbidden): kept.
  EXPECT_EQ(Convert("\x85", TextCharset::Latin1), "\xC2\x85");
}

TEST(TextEncodingTest, ForbiddenControlCharactersAreDroppedInEveryCharset) {
  for (const TextCharset charset : {TextCharset::Latin1, TextCharset::Utf8, TextCharset::Unsupported}) {
    EXPECT_EQ(Convert("a\x01"s + "b\x1B\x1F"s + "c"s + std::string(1, '\0') + "d\x7F"s, charset), "abcd\x7F");
    EXPECT_EQ(Convert("tab\there\r\nnext", charset), "tab\there\r\nnext");
  }
}

TEST(TextEncodingTest, MarkupCharactersAreLeftToTheWriter) {
  EXPECT_EQ(Convert("a & <b> \"c\" 'd'", TextCharset::Latin1), "a & <b> \"c\" 'd'");
}

TEST(TextEncodingTest, WellFormedUtf8PassesThrough) {
  const std::string text = "Ren\xC3\xA9 \xE5\xB1\xB1\xE7\x94\xB0 \xF0\x9F\x98\x80 \xEF\xBF\xBD";
  EXPECT_EQ(Convert(text, TextCharset::Utf8), text);
}

TEST(TextEncodingTest, InvalidUtf8IsReplacedPerMaximalPart) {
  // A lone continuation byte, a bad lead byte, a truncated sequence.
  EXPECT_EQ(Convert("a\x80z", TextCharset::Utf8), "a" + kReplacement + "z");
  EXPECT_EQ(Convert("a\xFFz", TextCharset::Utf8), "a" + kReplacement + "z");
  EXPECT_EQ(Convert("a\xE2\x82", TextCharset::Utf8), "a" + kReplacement);
  // A truncated sequence followed by ASCII: the ASCII byte survives.
  EXPECT_EQ(Convert("\xE2\x82z", TextCharset::Utf8), kReplacement + "z");
  // Overlong forms and encoded surrogates are not UTF-8.
  EXPECT_EQ(Convert("\xC0\xAF", TextCharset::Utf8), kReplacement + kReplacement);
  EXPECT_EQ(Convert("\xE0\x80\xAF", TextCharset::Utf8), kReplacement + kReplacement + kReplacement);
  EXPECT_EQ(Convert("\xED\xA0\x80", TextCharset::Utf8), kReplacement + kReplacement + kReplacement);
  // Beyond U+10FFFF.
  EXPECT_EQ(Convert("\xF4\x90\x80\x80", TextCharset::Utf8), kReplacement + kReplacement + kReplacement + kReplacement);
}

TEST(TextEncodingTest, Utf8NonCharactersXmlForbidsAreDropped) {
  EXPECT_EQ(Convert("a\xEF\xBF\xBE" "b\xEF\xBF\xBF" "c", TextCharset::Utf8), "abc");  // U+FFFE, U+FFFF
  EXPECT_EQ(Convert("a\xC2\x80z", TextCharset::Utf8), "a\xC2\x80z");                  // U+0080 is allowed
}

TEST(TextEncodingTest, UnsupportedCharsetsKeepAsciiAndReplaceTheRest) {
  EXPECT_EQ(Convert("Ivan \xC8\xD2", TextCharset::Unsupported), "Ivan " + kReplacement + kReplacement);
}

TEST(TextEncodingTest, EveryByteStringGivesValidUtf8OfXmlCharacters) {
  // All single bytes and all byte pairs, in every charset: the output must
  // decode cleanly and hold only XML characters.
  for (const TextCharset charset : {TextCharset::Latin1, TextCharset::Utf8, TextCharset::Unsupported}) {
    for (int first = 0; first < 256; ++first) {
      for (int second = 0; second < 256; second += 3) {
        const std::string bytes{static_cast<char>(first), static_cast<char>(second)};
        const std::string out = Convert(bytes, charset);
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
