/// \file
/// The XML 1.0 name check that guards the element names taken from the XML dictionary.
#include "xml/XmlNameRules.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using namespace std::string_literals;

TEST(XmlNameRulesTest, NamesAndNonNames) {
  // Characters allowed after the first (a combining mark, U+00B7, U+203F),
  // letters beyond ASCII, CJK and U+10000.
  for (const char* name : {"patient_name", "_x", "a-b.c1", "a\xC2\xB7", "a\xCC\x80", "a\xE2\x80\xBF", "n\xC3\xA4me",
                           "\xC3\x80", "\xE5\xB1\xB1\xE7\x94\xB0", "\xF0\x90\x80\x80"}) {
    EXPECT_TRUE(IsXmlName(name) && IsXmlNcName(name)) << name;
  }
  for (const char* name : {"a:b", ":a"}) EXPECT_TRUE(IsXmlName(name) && !IsXmlNcName(name)) << name;
  // What may not start a name; U+00D7, U+00F7, U+F0000, U+2000, U+FFFE;
  // bytes that are not UTF-8; white space and punctuation.
  for (const std::string& name :
       {"1abc"s, "-abc"s, ".abc"s, "\xC2\xB7" "abc"s, "\xCC\x80" "abc"s, "\xC3\x97"s, "a\xC3\x97"s, "\xC3\xB7"s,
        "\xF3\xB0\x80\x80"s, "a\xE2\x80\x80"s, "a\xEF\xBF\xBE"s, "n\xE4me"s, "\xFF"s, "a\x80"s, "a\xC3"s, "\xC0\x80"s,
        "a\xED\xA0\x80"s, ""s, " "s, "patient name"s, "a\tb"s, "a&b"s, "a<b"s, "a>b"s, "a=b"s, "a/b"s, "a\"b"s, "a'b"s,
        "(0010"s, "a,b"s, "a;b"s, "a!"s, "a?"s, "a\0b"s}) {
    EXPECT_FALSE(IsXmlName(name) || IsXmlNcName(name)) << name;
  }
}

TEST(XmlNameRulesTest, CharacterClassesAtTheirBounds) {
  const std::tuple<char32_t, bool, bool> cases[] = {  // character, may start a name, may be in one
      {U'\u00F8', true, true},   {U'\u02FF', true, true},  {U'\u0300', false, true}, {U'\u036F', false, true},
      {U'\u037E', false, false}, {U'\u200C', true, true},  {U'\u200E', false, false}, {U'\u2040', false, true},
      {U'\u2041', false, false}, {U'\u3000', false, false}, {U'\u3001', true, true}, {U'\uFDD0', false, false},
      {U'\uFDF0', true, true},   {U'\U000EFFFF', true, true}, {U'\U000F0000', false, false}};
  for (const auto& [c, start, part] : cases) {
    EXPECT_EQ(IsXmlNameStartChar(c), start) << std::hex << static_cast<uint32_t>(c);
    EXPECT_EQ(IsXmlNameChar(c), part) << std::hex << static_cast<uint32_t>(c);
  }
}

}  // namespace
}  // namespace quillon
