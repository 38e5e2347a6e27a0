// The character sets of text values: which set (0008,0005) declares and
// which is in force inside items, decoding (escape sequences and their
// reset at delimiters, bytes that do not decode) and the strict encoding of
// what a user types. The files of other toolkits are read in
// tests/cli/CharsetFilesTest.cpp.
#include "dicom/CharacterSet.h"

#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "support/StatusAssertions.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

using enum TextDelimiters;

CCharacterSet Set(const char* value) { return CCharacterSet::FromSpecificCharacterSet(value); }

TEST(CharacterSetTest, SpecificCharacterSetIsReadValueByValue) {
  const struct {
    const char* value;
    const char* stored;    // Value(): the terms as they will be written
    const char* describe;  // for messages
  } cases[] = {
      {" ISO_IR 100 ", "ISO_IR 100", "ISO_IR 100"},
      {"ISO_IR 6", "ISO_IR 6", "the default character repertoire (ASCII)"},
      {"", "", "the default character repertoire (ASCII)"},
      {"\\ISO 2022 IR 87", "\\ISO 2022 IR 87", "\\ISO 2022 IR 87"},
      {"ISO 2022 IR 13\\ ISO 2022 IR 87 ", "ISO 2022 IR 13\\ISO 2022 IR 87", "ISO 2022 IR 13\\ISO 2022 IR 87"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Set(c.value).Value(), c.stored) << c.value;
    EXPECT_EQ(Set(c.value).Describe(), c.describe) << c.value;
  }
  EXPECT_TRUE(Set("ISO_IR 192").IsUtf8());
  EXPECT_FALSE(CCharacterSet().IsDeclared());
  EXPECT_FALSE(Set(" ISO_IR 100") == Set("ISO_IR 101"));
  // An item without its own set reads in the set around it.
  CSequenceItem item;
  EXPECT_TRUE(CharsetInForce(item, Set("ISO_IR 192")).IsUtf8());
  ASSERT_TRUE(test::Succeeded(item.AddString(0x00080005, vr::CS, "ISO_IR 126")));
  EXPECT_EQ(CharsetInForce(item, Set("ISO_IR 192")).Value(), "ISO_IR 126");
}

// What each set reads, the escape sequences switching G0 and G1 and their
// reset, and what does not decode (shown as \xNN, never replaced).
TEST(CharacterSetTest, DecodesEverySetAndShowsWhatDoesNotDecode) {
  const struct {
    const char* set;
    TextDelimiters delimiters;
    std::string bytes;
    std::string text;
    bool undeclared = false;
    bool undecodable = false;
  } cases[] = {
      {"", Text, "M\xFCller", "M\xC3\xBCller", true},  // undeclared: shown as Latin-1
      {"ISO_IR 6", Text, "plain\x1B", "plain\x1B"},    // an ESC that starts no sequence stays
      {"ISO_IR 100", Text, "J\xE9r\xF4me", "J\xC3\xA9r\xC3\xB4me"},
      {"ISO_IR 101", Text, "\xB1", "\xC4\x85"},                              // a with ogonek
      {"ISO_IR 144", Text, "\xBB\xEE", "\xD0\x9B\xD1\x8E"},                  // Cyrillic
      {"ISO_IR 127", Text, "\xC8\xA1", "\xD8\xA8\\xA1", false, true},        // A1 is no letter of 8859-6
      {"ISO_IR 138", Text, "\xF9", "\xD7\xA9"},                              // Hebrew shin
      {"ISO_IR 166", Text, "\xA1", "\xE0\xB8\x81"},                          // Thai ko kai
      {"ISO_IR 203", Text, "\xA4", "\xE2\x82\xAC"},                          // the euro sign of Latin-9
      {"ISO_IR 13", Text, "\xB1\x5C", "\xEF\xBD\xB1\\"},                     // Katakana A, then a separator
      {"ISO_IR 192", Text, "a\xC3\xA9\xFF", "a\xC3\xA9\\xFF", false, true},  // not UTF-8
      {"GB18030", Text, "\xCD\xF5\x81\x30\x81\x30\xFF", "\xE7\x8E\x8B\xC2\x80\\xFF", false, true},
      {"GBK", Text, "\xD0\xA1", "\xE5\xB0\x8F"},
      // JIS X 0208 in G0 until ESC ( B; a '^' inside it is half a character.
      {"\\ISO 2022 IR 87", PersonName, "\x1B$B;3\x1B(B^\x1B$B$^\x1B(B", "\xE5\xB1\xB1^\xE3\x81\xBE"},
      {"\\ISO 2022 IR 159", Text, "\x1B$(D\x30\x21\x1B(B", "\xE4\xB8\x82"},
      // KS X 1001 in G1: person names return to the first set at '^', other
      // text only at separators and line ends.
      {"\\ISO 2022 IR 149", PersonName, "\x1B$)C\xC8\xAB^\xC8\xAB", "\xED\x99\x8D^\xC3\x88\xC2\xAB", true},
      {"\\ISO 2022 IR 149", Text, "\x1B$)C\xC8\xAB^\xC8\xAB\r\n\xC8\xAB",
       "\xED\x99\x8D^\xED\x99\x8D\r\n\xC3\x88\xC2\xAB", true},
      {"\\ISO 2022 IR 58", Text, "\x1B$)A\xCD\xF5", "\xE7\x8E\x8B"},
      {"ISO 2022 IR 100\\ISO 2022 IR 126", Text, "\xE9\x1B-F\xE9\\\xE9", "\xC3\xA9\xCE\xB9\\\xC3\xA9"},
      {"\\ISO 2022 IR 87", Text, "\x1B$B;", "\\x3B", false, true},  // half a character at the end
  };
  for (const auto& c : cases) {
    std::string text;
    DecodeNotes notes;
    Set(c.set).Decode(c.bytes, c.delimiters, text, &notes);
    EXPECT_EQ(text, c.text) << c.set << ": " << c.bytes;
    EXPECT_EQ(notes.undeclaredNonAscii, c.undeclared) << c.set << ": " << c.bytes;
    EXPECT_EQ(notes.undecodable, c.undecodable) << c.set << ": " << c.bytes;
  }
}

// ASCII is copied after a scan of eight bytes at a time: a letter beyond
// ASCII or an escape sequence is seen wherever it stands in a value of any
// length.
TEST(CharacterSetTest, EveryByteOfAValueIsLookedAt) {
  for (size_t size = 1; size <= 20; ++size) {
    for (size_t at = 0; at < size; ++at) {
      std::string latin1(size, 'a');
      latin1[at] = '\xE9';
      std::string expected(size - 1, 'a');
      EXPECT_EQ(Set("ISO_IR 100").Decoded(latin1, Text), expected.insert(at, "\xC3\xA9")) << size << " " << at;
      std::string escaped(size, 'a');
      escaped.insert(at, "\x1B(B");
      EXPECT_EQ(Set("ISO 2022 IR 6").Decoded(escaped, Text), std::string(size, 'a')) << size << " " << at;
    }
  }
}

// Encoding writes what decoding reads back, with the escape sequences the
// set needs, and refuses what the set cannot hold, naming the character and
// the fix.
TEST(CharacterSetTest, EncodesStrictlyWithTheEscapeSequencesTheSetNeeds) {
  const struct {
    const char* set;
    TextDelimiters delimiters;
    std::string text;
    const char* bytes;  // null: refused
  } cases[] = {
      {"ISO_IR 100", Text, "M\xC3\xBCller", "M\xFCller"},
      {"ISO_IR 100", Text, "5 \xE2\x82\xAC", nullptr},  // the euro sign is not in Latin-1
      {"", Text, "M\xC3\xBCller", nullptr},             // the default repertoire is ASCII
      {"ISO_IR 192", Text, "a\xFF", nullptr},            // not UTF-8 at all
      {"ISO_IR 126", PersonName, "\xCE\x94\xCE\xB9^x", "\xC4\xE9^x"},
      {"\\ISO 2022 IR 87", PersonName, "\xE5\xB1\xB1^\xE3\x81\xBE", "\x1B$B;3\x1B(B^\x1B$B$^\x1B(B"},
      {"\\ISO 2022 IR 149", PersonName, "\xED\x99\x8D^\xED\x99\x8D", "\x1B$)C\xC8\xAB^\x1B$)C\xC8\xAB"},
      {"\\ISO 2022 IR 149", Text, "\xED\x99\x8D^\xED\x99\x8D", "\x1B$)C\xC8\xAB^\xC8\xAB"},
      {"ISO 2022 IR 100\\ISO 2022 IR 126", Text, "\xC3\xA9\xCE\xB9\xC3\xA9", "\xE9\x1B-F\xE9\x1B-A\xE9"},
      {"ISO 2022 IR 13\\ISO 2022 IR 87", PersonName, "\xEF\xBD\xB1\xE5\xB1\xB1", "\xB1\x1B$B;3\x1B(J"},
      {"\\ISO 2022 IR 87", Text, "\xED\x99\x8D", nullptr},  // Hangul is not in JIS X 0208
      {"GB18030", Text, "\xE7\x8E\x8B\xC2\x80", "\xCD\xF5\x81\x30\x81\x30"},
      {"GBK", Text, "\xF0\x9F\x98\x80", nullptr},
  };
  for (const auto& c : cases) {
    const CCharacterSet set = Set(c.set);
    const Result<std::string> encoded = set.Encode(c.text, c.delimiters);
    ASSERT_EQ(static_cast<bool>(encoded), c.bytes != nullptr) << c.set << ": " << c.text << ": " << encoded.Message();
    if (!c.bytes) {
      // A character the set lacks names the fix; text that is no UTF-8 says so.
      EXPECT_NE(encoded.Message().find(std::string(c.set) == "ISO_IR 192" ? "not valid UTF-8" : "ISO_IR 192"),
                std::string::npos)
          << encoded.Message();
      continue;
    }
    EXPECT_EQ(*encoded, c.bytes) << c.set << ": " << c.text;
    EXPECT_EQ(set.Decoded(*encoded, c.delimiters), c.text) << c.set;
  }
  EXPECT_NE(Set("ISO_IR 100").Encode("5 \xE2\x82\xAC", Text).Message().find("U+20AC"), std::string::npos);
}

// Every character of each single-byte set survives a decode and an encode.
TEST(CharacterSetTest, EverySingleByteSetRoundTripsEachOfItsCharacters) {
  for (const char* name : {"ISO_IR 100", "ISO_IR 101", "ISO_IR 109", "ISO_IR 110", "ISO_IR 144", "ISO_IR 127",
                           "ISO_IR 126", "ISO_IR 138", "ISO_IR 148", "ISO_IR 166", "ISO_IR 203", "ISO_IR 13"}) {
    const CCharacterSet set = Set(name);
    size_t letters = 0;
    for (int byte = 0xA0; byte < 256; ++byte) {
      const std::string stored(1, static_cast<char>(byte));
      const std::string text = set.Decoded(stored, Text);
      if (text.starts_with("\\x")) continue;  // no letter there
      ++letters;
      const Result<std::string> encoded = set.Encode(text, Text);
      ASSERT_TRUE(encoded) << name << " " << byte << ": " << encoded.Message();
      EXPECT_EQ(*encoded, stored) << name << " " << byte;
    }
    EXPECT_GE(letters, 50u) << name;  // the tables came from the C library
  }
}

}  // namespace
}  // namespace quillon
