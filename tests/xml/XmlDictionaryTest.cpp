/// \file
/// The XML dictionary: its file's line rules, failed loads, the process-wide instance, the shipped file.
#include "xml/XmlDictionary.h"

#include "dicom/TagNameTable.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <regex>
#include <set>
#include <thread>

namespace quillon {
namespace {

using namespace quillon::test;
using namespace std::string_literals;
using Entries = std::vector<std::pair<DicomTag, std::string>>;

/// A rule, a file, and the whole dictionary the file gives.
const std::vector<std::tuple<const char*, std::string, Entries>> kLineCases = {
    {"an empty file is an empty dictionary", "", {}},
    {"skipped: under 5 characters (a CR does not count), no '(', no hexadecimal number, a number too large",
     "a(10\nb(20\r\nab(30\npatient_name 00100010\npatient_id [00100020]\n\nnot_hex (zz100010)\nempty_parens ()\n"
     "open_only (\nsigned (-1)\nspaces_only (   )\nnine_digits (100100010)\nkept (00100010)\n",
     {{0x30, "ab"}, {0x00100010, "kept"}}},
    {"names: blanks before '(' are dropped; leading white space, an empty name and binary bytes are kept",
     "patient_name   (00100010)\n\t patient_id\t(00100020)\n(00100021)\n   (00100030)\n"
     "\x01\xFF\x7F name (00100040)\n\xFE\xFE\xFE\xFE\xFE\n"s,
     {{0x00100010, "patient_name"}, {0x00100020, "\t patient_id"}, {0x00100021, ""}, {0x00100030, ""},
      {0x00100040, "\x01\xFF\x7F name"}}},
    {"the number is read like %x: a comma ends it, a 0x prefix only before a digit",
     "lower (7fe00010)\nprefixed ( 0X0020000d)\nleading_zeros (000000000028)\nhighest (FFFFFFFF)\n"
     "bare_prefix (0xyz)\npatient_name (0010,0010)\n",
     {{0x7FE00010, "lower"}, {0x0020000D, "prefixed"}, {0x28, "leading_zeros"}, {0xFFFFFFFF, "highest"},
      {0, "bare_prefix"}, {0x10, "patient_name"}}},
    {"the last line for a tag wins; Windows line ends; a last line without a line end",
     "first (00100010)\r\nother (00100020)\r\nsecond (00100010)", {{0x00100010, "second"}, {0x00100020, "other"}}},
    // Regression: a reader taking 1023 characters at a time made the rest of
    // an over-long line an entry of its own.
    {"the rest of an over-long line is no entry",
     std::string(1100, 'a') + " tail (00100020)\npatient_name (00100010)\n", {{0x00100010, "patient_name"}}},
    // 1023 characters fit whole; two more lose ")" and the last digit; a
    // tag beyond the cut is dropped.
    {"a line is cut after 1023 characters",
     std::string(1012, 'a') + " (00100010)\r\n" + std::string(1014, 'b') + " (00200010)\n" + "early (00300010)" +
         std::string(2000, ' ') + "(00400010)\n",
     {{0x00100010, std::string(1012, 'a')}, {0x0020001, std::string(1014, 'b')}, {0x00300010, "early"}}},
    {"a NUL ends the text of its line",
     "pat\0ient_name (00100010)\npatient_id (0010\0" "0020)\nissuer (00100021)\0junk (00100030)\n"
     "birth_date (00100030)\n"s,
     {{0x10, "patient_id"}, {0x00100021, "issuer"}, {0x00100030, "birth_date"}}},
};

TEST(XmlDictionaryTest, LineRulesAndFailedLoads) {
  const TempDir dir("xml-dictionary");
  const std::string path = dir / "Dicom2XmlDict.txt";
  CXmlDictionary dictionary;  // reloaded for every case: a load replaces the content
  for (const auto& [rule, bytes, entries] : kLineCases) {
    WriteText(path, bytes);
    ASSERT_TRUE(dictionary.Load(path)) << rule;
    EXPECT_EQ(dictionary.Size(), entries.size()) << rule;  // and every one expected: no other tag
    for (const auto& [tag, expected] : entries) {
      std::string name = "<absent>";
      EXPECT_TRUE(dictionary.GetXmlName(tag, name) && name == expected) << rule << ": " << std::hex << tag;
    }
  }
  std::string untouched = "unchanged";  // a tag it does not hold leaves the name alone
  EXPECT_FALSE(dictionary.GetXmlName(0x00100050, untouched) || untouched != "unchanged");
  // A missing file, or a folder (it opens, but every read fails), leaves
  // the dictionary empty and not loaded.
  for (const std::string& bad : {dir / "absent.txt", dir.Path().string()}) {
    ASSERT_TRUE(dictionary.Load(path));
    EXPECT_FALSE(dictionary.Load(bad) || dictionary.IsLoaded() || dictionary.Size() > 0) << bad;
  }
}

/// The process-wide dictionary's life; 0 when every step behaved, else the
/// number of the first that did not. Needs a process in which no one has
/// loaded the process-wide dictionary yet.
int RunProcessWideScenario() {
  const TempDir dir("xml-dictionary-shared");
  const std::string missing = dir / "absent.txt", path = dir / "Dicom2XmlDict.txt";
  WriteText(path, "patient_name (00100010)\n");
  std::string name;
  if (LoadXmlDictionary(missing) != 0 || GetXmlName(0x00100010, name) != 0) return 1;
  // Threads racing for the first load all see it loaded.
  std::atomic<int> loaded{0};
  const auto load = [&] { loaded += LoadXmlDictionary(path); };
  {
    std::jthread first(load), second(load), third(load);
  }
  if (loaded != 3) return 2;
  // The file is read once per run: changing or deleting it has no effect.
  WriteText(path, "changed_name (00100010)\n");
  if (LoadXmlDictionary(path) != 1 || GetXmlName(0x00100010, name) != 1 || name != "patient_name") return 3;
  std::filesystem::remove(path);
  if (LoadXmlDictionary(missing) != 1 || GetXmlName(0x00100020, name) != 0) return 4;
  return 0;
}

TEST(XmlDictionaryProcessWideTest, FileIsReadOnceAndDeletingItLaterDoesNotMatter) {
  // Other tests in this program may load the process-wide dictionary: the
  // scenario runs in a freshly started copy of it.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(RunProcessWideScenario()), testing::ExitedWithCode(0), "");
}

// The shipped dictionary is made from the built-in table: one line per tag
// with the tag's first name, so the export and the dump agree on names. Rows
// whose names are not valid XML element names (the 50xx_ and 60xx_ names of
// the repeating groups start with a digit) are left out: the export would
// fail on them.
TEST(ShippedXmlDictionaryTest, HoldsEveryTableTagWithAValidXmlName) {
  const std::regex xmlName("[A-Za-z_][A-Za-z0-9_.-]*");
  std::set<DicomTag> seen;
  std::string expected;
  for (const TagNameEntry& row : TagNameRows()) {
    const std::string name(row.name.substr(0, row.name.find_last_not_of(' ') + 1));
    if (!seen.insert(row.tag).second || !std::regex_match(name, xmlName)) continue;
    char tag[16];
    std::snprintf(tag, sizeof tag, " (%08X)\n", row.tag);
    expected += name + tag;
  }
  EXPECT_EQ(ReadBytes(QUILLON_SOURCE_DIR "/xml/Dicom2XmlDict.txt"), expected);
}

}  // namespace
}  // namespace quillon
