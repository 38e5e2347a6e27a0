/// \file
/// Tests of the XML 1.0 name check that guards the element names taken from
/// the XML dictionary.
#include "xml/XmlNameRules.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

using namespace std::string_literals;

TEST(XmlNameRulesTest, DictionaryStyleNamesAreNames) {
  for (const char* name : {"patient_name", "Item", "Instance", "_x", "group_length_0008", "a-b.c", "x1", "A"}) {
    EXPECT_TRUE(IsXmlName(name)) << name;
    EXPECT_TRUE(IsXmlNcName(name)) << name;
  }
}

TEST(XmlNameRulesTest, FirstCharacterRules) {
  for (const char* name : {"1abc", "-abc", ".abc", "\xC2\xB7" "abc", "\xCC\x80" "abc"}) {
    EXPECT_FALSE(IsXmlName(name)) << name;
  }
  // The same characters are fine after the first.
  for (const char* name : {"a1", "a-", "a.", "a\xC2\xB7", "a\xCC\x80", "a\xE2\x80\xBF"}) {
    EXPECT_TRUE(IsXmlName(name)) << name;
  }
}

TEST(XmlNameRulesTest, EmptySpacesAndPunctuationAreNotNames) {
  for (const std::string& name : {""s, " "s, "patient name"s, "name "s, "a\tb"s, "a&b"s, "a<b"s, "a>b"s, "a=b"s,
                                 "a/b"s, "a\"b"s, "a'b"s, "(0010"s, "a,b"s, "a;b"s, "a!"s, "a?"s, "a\0b"s}) {
    EXPECT_FALSE(IsXmlName(name)) << name;
  }
}

TEST(XmlNameRulesTest, NonAsciiLettersFollowTheUnicodeRanges) {
  EXPECT_TRUE(IsXmlName("patient_n\xC3\xA4me"));  // U+00E4
  EXPECT_TRUE(IsXmlName("\xC3\x80"));              // U+00C0 starts a name
  EXPECT_FALSE(IsXmlName("\xC3\x97"));             // U+00D7 multiplication sign
  EXPECT_FALSE(IsXmlName("a\xC3\x97"));
  EXPECT_FALSE(IsXmlName("\xC3\xB7"));             // U+00F7 division sign
  EXPECT_TRUE(IsXmlName("\xE5\xB1\xB1\xE7\x94\xB0"));  // CJK
  EXPECT_TRUE(IsXmlName("\xF0\x90\x80\x80"));       // U+10000
  EXPECT_FALSE(IsXmlName("\xF3\xB0\x80\x80"));      // U+F0000, beyond #xEFFFF
  EXPECT_FALSE(IsXmlName("a\xE2\x80\x80"));        // U+2000 en quad
  EXPECT_FALSE(IsXmlName("a\xEF\xBF\xBE"));        // U+FFFE
}

TEST(XmlNameRulesTest, BytesThatAreNotUtf8AreNotNames) {
  for (const char* name : {"patient_n\xE4me", "\xFF", "a\x80", "a\xC3", "\xC0\x80", "a\xED\xA0\x80"}) {
    EXPECT_FALSE(IsXmlName(name)) << name;
  }
}

TEST(XmlNameRulesTest, ColonsAreXmlNamesButNotNamespaceSafe) {
  for (const char* name : {"a:b", ":a", "a:"}) {
    EXPECT_TRUE(IsXmlName(name)) << name;
    EXPECT_FALSE(IsXmlNcName(name)) << name;
  }
}

TEST(XmlNameRulesTest, CharacterClassesAtTheirBounds) {
  EXPECT_TRUE(IsXmlNameStartChar(U'\u00F8'));
  EXPECT_TRUE(IsXmlNameStartChar(U'\u02FF'));
  EXPECT_FALSE(IsXmlNameStartChar(U'\u0300'));
  EXPECT_TRUE(IsXmlNameChar(U'\u0300'));
  EXPECT_TRUE(IsXmlNameChar(U'\u036F'));
  EXPECT_FALSE(IsXmlNameStartChar(U'\u037E'));  // Greek question mark
  EXPECT_FALSE(IsXmlNameChar(U'\u037E'));
  EXPECT_TRUE(IsXmlNameStartChar(U'\u200C'));
  EXPECT_FALSE(IsXmlNameStartChar(U'\u200E'));
  EXPECT_TRUE(IsXmlNameChar(U'\u2040'));
  EXPECT_FALSE(IsXmlNameChar(U'\u2041'));
  EXPECT_FALSE(IsXmlNameStartChar(U'\u3000'));  // ideographic space
  EXPECT_TRUE(IsXmlNameStartChar(U'\u3001'));
  EXPECT_FALSE(IsXmlNameStartChar(U'\uFDD0'));
  EXPECT_TRUE(IsXmlNameStartChar(U'\uFDF0'));
  EXPECT_TRUE(IsXmlNameStartChar(U'\U000EFFFF'));
  EXPECT_FALSE(IsXmlNameStartChar(U'\U000F0000'));
}

}  // namespace
}  // namespace quillon
