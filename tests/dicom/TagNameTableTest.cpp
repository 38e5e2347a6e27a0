/// \file
/// Tests of the built-in tag-to-name table: its shape (row count, order,
/// name form) and the lookup the element dump relies on.
#include "dicom/TagNameTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace quillon {
namespace {

std::string TagText(DicomTag tag) {
  char text[16];
  std::snprintf(text, sizeof text, "(%04X,%04X)", TagGroup(tag), TagElement(tag));
  return text;
}

// The reference lookup the table is defined by: scan from the top, first
// exact match wins.
std::string_view FirstNameByScan(DicomTag tag) {
  for (const TagNameEntry& row : TagNameRows()) {
    if (row.tag == tag) {
      return row.name;
    }
  }
  return {};
}

TEST(TagNameTableTest, HasAllRowsFromFirstToLast) {
  const auto rows = TagNameRows();
  ASSERT_EQ(rows.size(), 1594u);
  EXPECT_EQ(rows.front().tag, 0x00000000u);
  EXPECT_EQ(rows.front().name, "cmd_group_length_0000 ");
  EXPECT_EQ(rows.back().tag, 0xFFFCFFFCu);
  EXPECT_EQ(rows.back().name, "data_set_tailing_padding ");
}

// GetTagName uses a binary search, which finds the row a top-down scan finds
// only while the rows stay ascending with the names of one tag adjacent.
TEST(TagNameTableTest, RowsAscendWithDuplicatesAdjacent) {
  const auto rows = TagNameRows();
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_LE(rows[i - 1].tag, rows[i].tag) << "row " << i << " " << TagText(rows[i].tag);
  }
}

TEST(TagNameTableTest, LookupFindsTheSameRowAsATopDownScanForEveryTag) {
  for (const TagNameEntry& row : TagNameRows()) {
    ASSERT_EQ(GetTagName(row.tag), FirstNameByScan(row.tag)) << TagText(row.tag);
  }
}

TEST(TagNameTableTest, ExactlySevenTagsHaveSeveralNames) {
  std::map<DicomTag, int> counts;
  for (const TagNameEntry& row : TagNameRows()) {
    ++counts[row.tag];
  }
  std::map<DicomTag, int> repeated;
  for (const auto& [tag, count] : counts) {
    if (count > 1) {
      repeated[tag] = count;
    }
  }
  const std::map<DicomTag, int> expected{
      {0x00081050, 3}, {0x00180029, 2}, {0x00181070, 2}, {0x00181071, 2},
      {0x00181072, 2}, {0x00181073, 2}, {0x20000062, 2}};
  EXPECT_EQ(repeated, expected);
}

TEST(TagNameTableTest, RepeatedTagsYieldTheirFirstName) {
  EXPECT_EQ(GetTagName(0x00081050), "attending_physician_name ");
  EXPECT_EQ(GetTagName(0x00180029), "interventional_drug_sequence ");
  EXPECT_EQ(GetTagName(0x00181070), "radiopharmaceutical_route ");
  EXPECT_EQ(GetTagName(0x00181071), "radiopharmaceutical_volume ");
  EXPECT_EQ(GetTagName(0x00181072), "radiopharmaceutical_start_time ");
  EXPECT_EQ(GetTagName(0x00181073), "radiopharmaceutical_stop_time ");
  EXPECT_EQ(GetTagName(0x20000062), "color_image_printing_flag ");
}

TEST(TagNameTableTest, KnownTagsYieldTheirNameWithTrailingSpace) {
  EXPECT_EQ(GetTagName(0x00100010), "patient_name ");
  EXPECT_EQ(GetTagName(0x00020010), "file_transfer_syntax_uid ");
  EXPECT_EQ(GetTagName(0x7FE00010), "pixel_data ");
  EXPECT_EQ(GetTagName(0x50000000), "50xx_group_length ");
  EXPECT_EQ(GetTagName(0x60003000), "60xx_overlay_data ");
}

TEST(TagNameTableTest, UnlistedTagsYieldNothing) {
  // Repeating groups are listed only under 5000 and 6000 and match nothing else.
  EXPECT_TRUE(GetTagName(0x50020010).empty());
  EXPECT_TRUE(GetTagName(0x601E3000).empty());
  EXPECT_TRUE(GetTagName(0x00090010).empty());  // private
  EXPECT_TRUE(GetTagName(0x00100011).empty());  // between two listed rows
  EXPECT_TRUE(GetTagName(0x00000001).empty());  // right after the first row
  EXPECT_TRUE(GetTagName(0xFFFEE000).empty());  // past the last row
  EXPECT_TRUE(GetTagName(0xFFFFFFFF).empty());
}

TEST(TagNameTableTest, OnlyGroup003ANamesLackTheTrailingSpace) {
  int group3ARows = 0;
  for (const TagNameEntry& row : TagNameRows()) {
    ASSERT_FALSE(row.name.empty()) << TagText(row.tag);
    if (TagGroup(row.tag) == 0x003A) {
      ++group3ARows;
      EXPECT_TRUE(row.name.ends_with("_tag")) << TagText(row.tag) << " '" << row.name << "'";
    } else {
      EXPECT_TRUE(row.name.ends_with(" ") && !row.name.ends_with("  "))
          << TagText(row.tag) << " '" << row.name << "'";
    }
  }
  EXPECT_EQ(group3ARows, 25);
  EXPECT_EQ(GetTagName(0x003A0004), "waveform_originality_tag");
}

TEST(TagNameTableTest, NamesAreLowerCaseWordsJoinedByUnderscores) {
  for (const TagNameEntry& row : TagNameRows()) {
    std::string_view word = row.name;
    if (word.ends_with(" ")) {
      word.remove_suffix(1);
    }
    const bool wellFormed =
        !word.empty() && word.front() != '_' && word.back() != '_' &&
        word.find("__") == std::string_view::npos &&
        std::all_of(word.begin(), word.end(), [](char c) {
          return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        });
    EXPECT_TRUE(wellFormed) << TagText(row.tag) << " '" << row.name << "'";
  }
}

TEST(TagNameTableTest, GroupPrefixesAndGroupLengthNamesFollowTheirRule) {
  for (const TagNameEntry& row : TagNameRows()) {
    const uint16_t group = TagGroup(row.tag);
    const std::string name(row.name);
    switch (group) {
      case 0x0000: EXPECT_TRUE(name.starts_with("cmd_")) << name; break;
      case 0x0002: EXPECT_TRUE(name.starts_with("file_")) << name; break;
      case 0x5000: EXPECT_TRUE(name.starts_with("50xx_")) << name; break;
      case 0x6000: EXPECT_TRUE(name.starts_with("60xx_")) << name; break;
      default: break;
    }
    if (TagElement(row.tag) != 0 || group == 0x0000 || group == 0x0002 ||
        group == 0x5000 || group == 0x6000) {
      continue;
    }
    char expected[32];
    std::snprintf(expected, sizeof expected, "group_length_%04x ", group);
    EXPECT_EQ(name, expected) << TagText(row.tag);
  }
  EXPECT_EQ(GetTagName(0x00020000), "file_group_length ");
  EXPECT_EQ(GetTagName(0x60000000), "60xx_group_length ");
  EXPECT_EQ(GetTagName(0x7FE00000), "group_length_7fe0 ");
}

}  // namespace
}  // namespace quillon
