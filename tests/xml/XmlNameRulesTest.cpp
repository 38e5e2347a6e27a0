/// \file
/// Tests of the XML 1.0 name check that guards the element names taken from
/// the XML dictionary: a table of names, and the character classes at the
/// bounds of their ranges.
#include "xml/XmlNameRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

using namespace std::string_literals;

TEST(XmlNameRulesTest, NamesAndNonNames) {
  struct Case {
    std::string name;
    bool isName;
    bool isNcName;
  };
  std::vector<Case> cases = {
      // The names of the dictionary, and characters allowed after the first:
      // a combining mark, U+00B7, U+203F; letters in UTF-8, CJK, U+10000.
      {"patient_name", true, true}, {"Item", true, true}, {"_x", true, true}, {"group_length_0008", true, true},
      {"a-b.c", true, true}, {"x1", true, true}, {"A", true, true}, {"a\xC2\xB7", true, true},
      {"a\xCC\x80", true, true}, {"a\xE2\x80\xBF", true, true}, {"patient_n\xC3\xA4me", true, true},
      {"\xC3\x80", true, true}, {"\xE5\xB1\xB1\xE7\x94\xB0", true, true}, {"\xF0\x90\x80\x80", true, true},
      // Colons are XML names but not namespace safe.
      {"a:b", true, false}, {":a", true, false}, {"a:", true, false},
      // What may not start a name.
      {"1abc", false, false}, {"-abc", false, false}, {".abc", false, false}, {"\xC2\xB7" "abc", false, false},
      {"\xCC\x80" "abc", false, false},
      // U+00D7, U+00F7, U+F0000 (beyond #xEFFFF), U+2000, U+FFFE.
      {"\xC3\x97", false, false}, {"a\xC3\x97", false, false}, {"\xC3\xB7", false, false},
      {"\xF3\xB0\x80\x80", false, false}, {"a\xE2\x80\x80", false, false}, {"a\xEF\xBF\xBE", false, false},
      // Bytes that are not UTF-8.
      {"patient_n\xE4me", false, false}, {"\xFF", false, false}, {"a\x80", false, false}, {"a\xC3", false, false},
      {"\xC0\x80", false, false}, {"a\xED\xA0\x80", false, false},
  };
  // Empty, white space and punctuation.
  for (const std::string& name : {""s, " "s, "patient name"s, "name "s, "a\tb"s, "a&b"s, "a<b"s, "a>b"s, "a=b"s,
                                 "a/b"s, "a\"b"s, "a'b"s, "(0010"s, "a,b"s, "a;b"s, "a!"s, "a?"s, "a\0b"s}) {
    cases.push_back({name, false, false});
  }
  for (const Case& c : cases) {
    EXPECT_EQ(IsXmlName(c.name), c.isName) << c.name;
    EXPECT_EQ(IsXmlNcName(c.name), c.isNcName) << c.name;
  }
}

TEST(XmlNameRulesTest, CharacterClassesAtTheirBounds) {
  struct Case {
    char32_t c;
    bool start;
    bool part;
  };
  for (const Case& c : std::vector<Case>{{U'\u00F8', true, true},      {U'\u02FF', true, true},
                                         {U'\u0300', false, true},     {U'\u036F', false, true},
                                         {U'\u037E', false, false},    // Greek question mark
                                         {U'\u200C', true, true},      {U'\u200E', false, false},
                                         {U'\u2040', false, true},     {U'\u2041', false, false},
                                         {U'\u3000', false, false},    // ideographic space
                                         {U'\u3001', true, true},      {U'\uFDD0', false, false},
                                         {U'\uFDF0', true, true},      {U'\U000EFFFF', true, true},
                                         {U'\U000F0000', false, false}}) {
    EXPECT_EQ(IsXmlNameStartChar(c.c), c.start) << std::hex << static_cast<uint32_t>(c.c);
    EXPECT_EQ(IsXmlNameChar(c.c), c.part) << std::hex << static_cast<uint32_t>(c.c);
  }
}

}  // namespace
}  // namespace quillon
