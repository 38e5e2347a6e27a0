/// \file
/// The built-in tag-to-name table: its shape (rows, order, name form) and
/// the lookup the element dump relies on.
#include "dicom/TagNameTable.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

namespace quillon {
namespace {

TEST(TagNameTable, RowsAscendAndEveryTagFindsItsFirstName) {
  const auto rows = TagNameRows();
  ASSERT_EQ(rows.size(), 1594u);
  EXPECT_EQ(rows.back().tag, 0xFFFCFFFCu);
  EXPECT_EQ(rows.back().name, "data_set_tailing_padding ");
  // Lower-case words joined by underscores, ending in one space (the dump
  // prints the name as it stands) except in group 003A.
  const std::regex form(R"([a-z0-9]+(_[a-z0-9]+)* )");
  const std::regex group3A(R"([a-z0-9]+(_[a-z0-9]+)*_tag)");
  std::map<DicomTag, std::string> firstNames;
  std::map<DicomTag, int> repeated;
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string name(rows[i].name);
    const bool group3AName = TagGroup(rows[i].tag) == 0x003A;
    EXPECT_TRUE(std::regex_match(name, group3AName ? group3A : form)) << std::hex << rows[i].tag << " " << name;
    // The lookup bisects: it finds the first name only while the rows ascend.
    if (i > 0) { ASSERT_LE(rows[i - 1].tag, rows[i].tag) << "row " << i; }
    if (firstNames.emplace(rows[i].tag, name).second) {
      EXPECT_EQ(GetTagName(rows[i].tag), name);
    } else {
      ++repeated[rows[i].tag];
    }
  }
  const std::map<DicomTag, int> expectedRepeats{{0x00081050, 2}, {0x00180029, 1}, {0x00181070, 1}, {0x00181071, 1},
                                                {0x00181072, 1}, {0x00181073, 1}, {0x20000062, 1}};
  EXPECT_EQ(repeated, expectedRepeats);
  const std::map<DicomTag, std::string> names{
      {0x00000000, "cmd_group_length_0000 "}, {0x00081050, "attending_physician_name "},  // the first of three
      {0x003A0004, "waveform_originality_tag"}, {0x60003000, "60xx_overlay_data "}, {0x7FE00010, "pixel_data "},
      // Repeating groups are listed only under 5000 and 6000 and match nothing else.
      {0x50020010, ""}, {0x601E3000, ""}, {0x00090010, ""}, {0x00100011, ""}, {0xFFFFFFFF, ""},
  };
  for (const auto& [tag, name] : names) EXPECT_EQ(GetTagName(tag), name) << std::hex << tag;
}

}  // namespace
}  // namespace quillon
