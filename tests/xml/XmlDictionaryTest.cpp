/// \file
/// Tests of the XML dictionary: the line rules of the file format (including
/// broken input), the process-wide load-once instance and the dictionary
/// file the project ships.
#include "xml/XmlDictionary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dicom/TagNameTable.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

/// A fresh directory under the system temp directory, removed with its
/// content on destruction.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    const auto suffix = (static_cast<unsigned long long>(random()) << 32) | random();
    m_path = fs::temp_directory_path() / ("quillon-xmldict-" + std::to_string(suffix));
    fs::create_directories(m_path);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& Path() const { return m_path; }

  /// Writes \p bytes, exactly as given, to the file \p name and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    const fs::path file = m_path / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.string();
  }

 private:
  fs::path m_path;
};

class XmlDictionaryTest : public testing::Test {
 protected:
  /// Loads a dictionary file holding \p bytes into m_dictionary.
  bool LoadBytes(const std::string& bytes) {
    return m_dictionary.Load(m_dir.Write("Dicom2XmlDict.txt", bytes));
  }
  /// The name held for \p tag, or "<absent>".
  std::string NameOf(DicomTag tag) const {
    std::string name;
    return m_dictionary.GetXmlName(tag, name) ? name : "<absent>";
  }

  TempDir m_dir;
  CXmlDictionary m_dictionary;
};

TEST_F(XmlDictionaryTest, SpacesBeforeTheParenthesisAreNotPartOfTheName) {
  ASSERT_TRUE(LoadBytes("patient_name   (00100010)\n"));
  EXPECT_TRUE(m_dictionary.IsLoaded());
  EXPECT_EQ(m_dictionary.Size(), 1u);
  EXPECT_EQ(NameOf(0x00100010), "patient_name");
}

TEST_F(XmlDictionaryTest, LinesShorterThanFiveCharactersAreSkipped) {
  // 4 characters, even with a parenthesis and a valid number; the CR of a
  // Windows line end does not count towards the length.
  ASSERT_TRUE(LoadBytes("a(10\nb(20\r\nab(30\n"));
  EXPECT_EQ(m_dictionary.Size(), 1u);
  EXPECT_EQ(NameOf(0x10), "<absent>");
  EXPECT_EQ(NameOf(0x20), "<absent>");
  EXPECT_EQ(NameOf(0x30), "ab");
}

TEST_F(XmlDictionaryTest, LinesWithoutParenthesisAreSkipped) {
  ASSERT_TRUE(LoadBytes("patient_name 00100010\npatient_id [00100020]\n\n"));
  EXPECT_TRUE(m_dictionary.IsLoaded());
  EXPECT_EQ(m_dictionary.Size(), 0u);
}

TEST_F(XmlDictionaryTest, TagWithCommaYieldsOnlyTheGroup) {
  ASSERT_TRUE(LoadBytes("patient_name (0010,0010)\n"));
  EXPECT_EQ(NameOf(0x00000010), "patient_name");
  EXPECT_EQ(NameOf(0x00100010), "<absent>");
}

TEST_F(XmlDictionaryTest, LastLineForATagWins) {
  ASSERT_TRUE(LoadBytes("first (00100010)\nother (00100020)\nsecond (00100010)\n"));
  EXPECT_EQ(m_dictionary.Size(), 2u);
  EXPECT_EQ(NameOf(0x00100010), "second");
}

TEST_F(XmlDictionaryTest, HexNumberIsReadLikePercentX) {
  ASSERT_TRUE(LoadBytes("lower (7fe00010)\n"
                        "prefixed ( 0X0020000d)\n"
                        "leading_zeros (000000000028)\n"
                        "highest (FFFFFFFF)\n"
                        "bare_prefix (0xyz)\n"));
  EXPECT_EQ(NameOf(0x7FE00010), "lower");
  EXPECT_EQ(NameOf(0x0020000D), "prefixed");
  EXPECT_EQ(NameOf(0x00000028), "leading_zeros");
  EXPECT_EQ(NameOf(0xFFFFFFFF), "highest");
  EXPECT_EQ(NameOf(0x00000000), "bare_prefix");  // "0" read, stops at "x"
  EXPECT_EQ(m_dictionary.Size(), 5u);
}

TEST_F(XmlDictionaryTest, LinesWithoutAHexNumberAreSkipped) {
  ASSERT_TRUE(LoadBytes("not_hex (zz100010)\n"
                        "empty_parens ()\n"
                        "open_only (\n"
                        "signed (-1)\n"
                        "spaces_only (   )\n"));
  EXPECT_TRUE(m_dictionary.IsLoaded());
  EXPECT_EQ(m_dictionary.Size(), 0u);
}

TEST_F(XmlDictionaryTest, NumbersTooLargeForATagAreSkipped) {
  ASSERT_TRUE(LoadBytes("nine_digits (100100010)\nkept (00100010)\n"));
  EXPECT_EQ(m_dictionary.Size(), 1u);
  EXPECT_EQ(NameOf(0x00100010), "kept");
  EXPECT_EQ(NameOf(0x00100010u << 4), "<absent>");
}

TEST_F(XmlDictionaryTest, EmptyNameIsKeptAsRead) {
  ASSERT_TRUE(LoadBytes("(00100010)\n   (00100020)\n"));
  EXPECT_EQ(m_dictionary.Size(), 2u);
  EXPECT_EQ(NameOf(0x00100010), "");
  EXPECT_EQ(NameOf(0x00100020), "");
}

TEST_F(XmlDictionaryTest, LeadingWhiteSpaceOfTheNameIsKept) {
  ASSERT_TRUE(LoadBytes("\t patient_name\t(00100010)\n"));
  EXPECT_EQ(NameOf(0x00100010), "\t patient_name");
}

TEST_F(XmlDictionaryTest, WindowsLineEndsAreNotPartOfTheEntries) {
  ASSERT_TRUE(LoadBytes("patient_name (00100010)\r\npatient_id (00100020)\r\n"));
  EXPECT_EQ(NameOf(0x00100010), "patient_name");
  EXPECT_EQ(NameOf(0x00100020), "patient_id");
}

TEST_F(XmlDictionaryTest, LastLineWithoutLineEndIsRead) {
  ASSERT_TRUE(LoadBytes("patient_name (00100010)\npatient_id (00100020)"));
  EXPECT_EQ(NameOf(0x00100020), "patient_id");
}

// Regression: a reader that takes 1023 characters at a time turned the rest
// of an over-long line into an entry of its own.
TEST_F(XmlDictionaryTest, RestOfAnOverlongLineDoesNotBecomeAnEntry) {
  const std::string longLine = std::string(1100, 'a') + " tail (00100020)\n";
  ASSERT_TRUE(LoadBytes(longLine + "patient_name (00100010)\n"));
  EXPECT_EQ(NameOf(0x00100020), "<absent>");
  EXPECT_EQ(NameOf(0x00100010), "patient_name");
  EXPECT_EQ(m_dictionary.Size(), 1u);
}

TEST_F(XmlDictionaryTest, OverlongLineIsCutAfter1023Characters) {
  // 1012 + 11 = 1023 characters: the whole line counts, line end or not.
  const std::string fits = std::string(1012, 'a') + " (00100010)";
  // Two characters more: the last digit and ")" are cut off.
  const std::string cut = std::string(1014, 'b') + " (00200010)";
  // The entry sits in the first 1023 characters; the tag further on is dropped.
  const std::string early = "early (00300010)" + std::string(2000, ' ') + "(00400010)";
  ASSERT_TRUE(LoadBytes(fits + "\r\n" + cut + "\n" + early + "\n"));
  EXPECT_EQ(NameOf(0x00100010), std::string(1012, 'a'));
  EXPECT_EQ(NameOf(0x0020001), std::string(1014, 'b'));
  EXPECT_EQ(NameOf(0x00300010), "early");
  EXPECT_EQ(m_dictionary.Size(), 3u);
}

TEST_F(XmlDictionaryTest, NulByteEndsTheTextOfItsLine) {
  ASSERT_TRUE(LoadBytes("pat\0ient_name (00100010)\n"s        // "pat": too short
                        "patient_id (0010\0" "0020)\n"s        // tag stops at NUL
                        "issuer (00100021)\0junk (00100030)\n"s  // rest ignored
                        "birth_date (00100030)\n"s));
  EXPECT_EQ(NameOf(0x00100010), "<absent>");
  EXPECT_EQ(NameOf(0x00000010), "patient_id");
  EXPECT_EQ(NameOf(0x00100021), "issuer");
  EXPECT_EQ(NameOf(0x00100030), "birth_date");
  EXPECT_EQ(m_dictionary.Size(), 3u);
}

TEST_F(XmlDictionaryTest, OtherBinaryBytesAreKeptInTheName) {
  ASSERT_TRUE(LoadBytes("\x01\xFF\x7F name (00100010)\n\xFE\xFE\xFE\xFE\xFE\n"s));
  EXPECT_EQ(NameOf(0x00100010), "\x01\xFF\x7F name");
  EXPECT_EQ(m_dictionary.Size(), 1u);
}

TEST_F(XmlDictionaryTest, EmptyFileLoadsAnEmptyDictionary) {
  ASSERT_TRUE(LoadBytes(""));
  EXPECT_TRUE(m_dictionary.IsLoaded());
  EXPECT_EQ(m_dictionary.Size(), 0u);
}

TEST_F(XmlDictionaryTest, MissingFileFailsAndLeavesTheDictionaryUnloaded) {
  EXPECT_FALSE(m_dictionary.Load((m_dir.Path() / "absent.txt").string()));
  EXPECT_FALSE(m_dictionary.IsLoaded());
}

TEST_F(XmlDictionaryTest, ReadErrorFailsAndDropsEarlierContent) {
  ASSERT_TRUE(LoadBytes("patient_name (00100010)\n"));
  // A directory opens for reading but every read fails.
  EXPECT_FALSE(m_dictionary.Load(m_dir.Path().string()));
  EXPECT_FALSE(m_dictionary.IsLoaded());
  EXPECT_EQ(m_dictionary.Size(), 0u);
  EXPECT_EQ(NameOf(0x00100010), "<absent>");
}

TEST_F(XmlDictionaryTest, ReloadReplacesTheContent) {
  ASSERT_TRUE(LoadBytes("patient_name (00100010)\n"));
  ASSERT_TRUE(LoadBytes("patient_id (00100020)\n"));
  EXPECT_EQ(NameOf(0x00100010), "<absent>");
  EXPECT_EQ(NameOf(0x00100020), "patient_id");
}

TEST_F(XmlDictionaryTest, LookupOfAMissingTagLeavesTheNameAlone) {
  ASSERT_TRUE(LoadBytes("patient_name (00100010)\n"));
  std::string name = "unchanged";
  EXPECT_FALSE(m_dictionary.GetXmlName(0x00100020, name));
  EXPECT_EQ(name, "unchanged");
}

/// The process-wide scenario; returns 0 when every step behaved, else the
/// number of the first failing step. Needs a process in which no one has
/// loaded the process-wide dictionary yet.
int RunProcessWideScenario() {
  const TempDir dir;
  const std::string missing = (dir.Path() / "absent.txt").string();
  const std::string path = dir.Write("Dicom2XmlDict.txt", "patient_name (00100010)\n");
  std::string name;

  if (LoadXmlDictionary(missing) != 0) return 1;
  if (GetXmlName(0x00100010, name) != 0) return 2;

  // Several threads racing for the first load all see it loaded.
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      std::string found;
      if (LoadXmlDictionary(path) != 1 || GetXmlName(0x00100010, found) != 1 ||
          found != "patient_name") {
        ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  if (failures != 0) return 3;

  // The file is read once per run: changing or deleting it has no effect.
  dir.Write("Dicom2XmlDict.txt", "changed_name (00100010)\n");
  if (LoadXmlDictionary(path) != 1) return 4;
  if (GetXmlName(0x00100010, name) != 1 || name != "patient_name") return 5;
  std::filesystem::remove(path);
  if (LoadXmlDictionary(path) != 1) return 6;
  if (LoadXmlDictionary(missing) != 1) return 7;
  if (GetXmlName(0x00100010, name) != 1 || name != "patient_name") return 8;
  if (GetXmlName(0x00100020, name) != 0) return 9;
  return 0;
}

TEST(XmlDictionaryProcessWideTest, FileIsReadOnceAndDeletingItLaterDoesNotMatter) {
  // Other tests in this executable may load the process-wide dictionary, so
  // run the scenario in a freshly started copy of the test program.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(RunProcessWideScenario()), testing::ExitedWithCode(0), "");
}

bool IsXmlName(std::string_view name) {
  auto isStart = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  auto isPart = [&](char c) { return isStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; };
  if (name.empty() || !isStart(name.front())) return false;
  for (char c : name) {
    if (!isPart(c)) return false;
  }
  return true;
}

// The shipped dictionary is made from the built-in table: one line per tag
// with the tag's first name, so the export and the dump agree on names. Rows
// whose names are not valid XML element names (the 50xx_ and 60xx_ names of
// the repeating groups start with a digit) are left out, since the export
// would fail on them.
TEST(ShippedXmlDictionaryTest, HoldsEveryTableTagWithAValidXmlName) {
  CXmlDictionary dictionary;
  ASSERT_TRUE(dictionary.Load(QUILLON_SOURCE_DIR "/xml/Dicom2XmlDict.txt"));

  std::set<DicomTag> expectedTags;
  std::set<DicomTag> seen;
  for (const TagNameEntry& row : TagNameRows()) {
    if (!seen.insert(row.tag).second) {
      continue;  // a later name of a tag already checked
    }
    std::string_view first = row.name;
    while (!first.empty() && first.back() == ' ') first.remove_suffix(1);
    std::string name;
    if (!IsXmlName(first)) {
      EXPECT_FALSE(dictionary.GetXmlName(row.tag, name)) << std::hex << row.tag << " " << name;
      continue;
    }
    expectedTags.insert(row.tag);
    ASSERT_TRUE(dictionary.GetXmlName(row.tag, name)) << std::hex << row.tag;
    EXPECT_EQ(name, first) << std::hex << row.tag;
  }
  // Same count as the expected tags, all of them present: no other tag.
  EXPECT_EQ(dictionary.Size(), expectedTags.size());
  EXPECT_EQ(expectedTags.size(), 1531u);
}

}  // namespace
}  // namespace quillon
