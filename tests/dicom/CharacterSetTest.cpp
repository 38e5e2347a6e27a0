// The character sets of text values: which set (0008,0005) selects and
// which is in force inside items, decoding for display, and the strict
// encoding of what a user types.
#include "dicom/CharacterSet.h"

#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "support/StatusAssertions.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

std::string Decode(const std::string& bytes, TextCharset charset) {
  std::string out;
  AppendDecodedText(bytes, charset, out);
  return out;
}

TEST(CharacterSetTest, SpecificCharacterSetSelectsTheCharset) {
  const std::pair<const char*, TextCharset> cases[] = {
      {"", TextCharset::Latin1}, {"ISO_IR 6", TextCharset::Latin1}, {" ISO_IR 100 ", TextCharset::Latin1},
      {"ISO 2022 IR 100", TextCharset::Latin1}, {"ISO_IR 192", TextCharset::Utf8},
      {"ISO_IR 144", TextCharset::Unsupported}, {"iso_ir 192", TextCharset::Unsupported},
      {"\\ISO 2022 IR 87", TextCharset::Unsupported}, {"ISO_IR 100\\ISO_IR 192", TextCharset::Unsupported}};
  for (const auto& [value, charset] : cases) EXPECT_EQ(CharsetFromSpecificCharacterSet(value), charset) << value;
  // An item without its own set reads in the set around it.
  CSequenceItem item;
  EXPECT_EQ(CharsetInForce(item, TextCharset::Utf8), TextCharset::Utf8);
  ASSERT_TRUE(test::Succeeded(item.AddString(0x00080005, vr::CS, "ISO_IR 100")));
  EXPECT_EQ(CharsetInForce(item, TextCharset::Utf8), TextCharset::Latin1);
}

// Decoding replaces only what cannot be read; encoding refuses what the set
// cannot hold, naming the character and the fix.
TEST(CharacterSetTest, TextIsDecodedForDisplayAndEncodedStrictly) {
  EXPECT_EQ(Decode("M\xFCller\r\n", TextCharset::Latin1), "M\xC3\xBCller\r\n");
  EXPECT_EQ(Decode("J\xC3\xB6rg\xF0\x9F\x98\x80\xFF", TextCharset::Utf8), "J\xC3\xB6rg\xF0\x9F\x98\x80\xEF\xBF\xBD");
  EXPECT_EQ(Decode("Ab\xD0", TextCharset::Unsupported), "Ab\xEF\xBF\xBD");
  const struct {
    const char* utf8;
    TextCharset charset;
    const char* stored;  // null: refused
  } cases[] = {
      {"M\xC3\xBCller", TextCharset::Latin1, "M\xFCller"},
      {"M\xC3\xBCller \xE2\x82\xAC", TextCharset::Utf8, "M\xC3\xBCller \xE2\x82\xAC"},
      {"5 \xE2\x82\xAC", TextCharset::Latin1, nullptr},  // the euro sign is not in Latin-1
      {"Smith^John", TextCharset::Unsupported, "Smith^John"},  // a set this program cannot write: ASCII only
      {"\xC3\xA9", TextCharset::Unsupported, nullptr},
      {"a\xFF", TextCharset::Utf8, nullptr},  // bytes that are not UTF-8 are not text at all
  };
  for (const auto& c : cases) {
    const Result<std::string> encoded = EncodeText(c.utf8, c.charset);
    ASSERT_EQ(static_cast<bool>(encoded), c.stored != nullptr) << c.utf8 << ": " << encoded.Message();
    if (c.stored) {
      EXPECT_EQ(*encoded, c.stored);
    }
  }
  const std::string why = EncodeText("5 \xE2\x82\xAC", TextCharset::Latin1).Message();
  EXPECT_NE(why.find("U+20AC"), std::string::npos) << why;
  EXPECT_NE(why.find("ISO_IR 192"), std::string::npos) << why;

  std::string all;  // every Latin-1 character survives decoding and encoding
  for (int byte = 1; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  const Result<std::string> encoded = EncodeText(Decode(all, TextCharset::Latin1), TextCharset::Latin1);
  ASSERT_TRUE(encoded) << encoded.Message();
  EXPECT_EQ(*encoded, all);
}

}  // namespace
}  // namespace quillon
