// Tests of UID generation and UID syntax checking: the layout of generated
// UIDs, the time and counter components, the even-length pad, and validity
// at the extremes of the clock and the counter.
#include "dicom/UidGenerator.h"

#include "base/FileSettingsStore.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace quillon {
namespace {

namespace fs = std::filesystem;

/// An in-memory store whose counter can be set to anything, including
/// values a well-behaved store would never return.
class MemoryStore final : public ISettingsStore {
 public:
  int GetInt(const std::string& section, const std::string& key, int defaultValue) override {
    const auto it = m_ints.find(section + "/" + key);
    return it == m_ints.end() ? defaultValue : it->second;
  }
  bool WriteInt(const std::string& section, const std::string& key, int value) override {
    m_ints[section + "/" + key] = value;
    return true;
  }
  std::string GetString(const std::string&, const std::string&,
                        const std::string& defaultValue) override {
    return defaultValue;
  }
  bool WriteString(const std::string&, const std::string&, const std::string&) override {
    return false;
  }
  std::optional<int> IncrementInt(const std::string& section, const std::string& key) override {
    if (m_failing) return std::nullopt;
    int& value = m_ints[section + "/" + key];
    if (!m_raw) value = (value < 0 || value == INT_MAX) ? 1 : value + 1;
    return value;
  }

  /// Every increment fails, as with an unwritable settings file.
  bool m_failing = false;
  /// IncrementInt hands back the stored value unchanged (it may be 0 or
  /// negative), as a broken store might.
  bool m_raw = false;

 private:
  std::map<std::string, int> m_ints;
};

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t dot = text.find('.', start);
    parts.push_back(text.substr(start, dot - start));
    if (dot == std::string::npos) return parts;
    start = dot + 1;
  }
}

/// The five components after the root: random, date, time, counter (with
/// any pad digit).
std::vector<std::string> GeneratedPart(const std::string& uid) {
  const std::string root = std::string(OrganisationUidRoot()) + ".";
  EXPECT_EQ(uid.compare(0, root.size(), root), 0) << uid;
  return Split(uid.substr(root.size()));
}

UidClock Clock(int year, int month, int day, int hour, int minute, int second,
               std::int64_t seed = 1078650303) {
  UidClock clock;
  clock.year = year;
  clock.month = month;
  clock.day = day;
  clock.hour = hour;
  clock.minute = minute;
  clock.second = second;
  clock.seed = seed;
  return clock;
}

void ExpectWellFormed(const std::string& uid) {
  EXPECT_TRUE(IsValidUid(uid)) << uid;
  EXPECT_LE(uid.size(), 64u) << uid;
  EXPECT_EQ(uid.size() % 2, 0u) << uid;
  const std::vector<std::string> parts = GeneratedPart(uid);
  ASSERT_EQ(parts.size(), 4u) << uid;
  EXPECT_EQ(parts[0].size(), 14u) << uid;
  EXPECT_EQ(parts[0][0], '1') << uid;
  EXPECT_EQ(parts[1].size(), 8u) << uid;
}

class UidGeneratorFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quillon-uid-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }
  fs::path m_dir;
};

TEST(UidGeneratorTest, RootIsTheConfiguredOne) {
  EXPECT_STREQ(OrganisationUidRoot(), QUILLON_UID_ROOT);
  EXPECT_TRUE(IsValidUid(OrganisationUidRoot()));
}

TEST_F(UidGeneratorFileTest, ExampleMorningInMarch2004) {
  CFileSettingsStore store(m_dir / "Quillon.ini");
  ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", 41));

  const std::string uid = GenerateUIDAt(Clock(2004, 3, 7, 9, 5, 3), &store);
  const std::vector<std::string> parts = GeneratedPart(uid);
  ASSERT_EQ(parts.size(), 4u) << uid;
  std::string expected = std::string(OrganisationUidRoot()) + "." + parts[0] + ".20040307.90503.42";
  if (expected.size() % 2 != 0) expected += "0";
  EXPECT_EQ(uid, expected);
  EXPECT_EQ(parts[0].size(), 14u);
  EXPECT_EQ(parts[0][0], '1');
  EXPECT_EQ(parts[0].find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 0), 42);
}

TEST(UidGeneratorTest, RandomComponentIsSecondDrawThenFirstDraw) {
  const std::int64_t seed = 1234567890;
  std::mt19937_64 engine(static_cast<std::uint64_t>(seed));
  const std::uint64_t r1 = engine() % 10'000'000u;
  const std::uint64_t r2 = engine() % 1'000'000u;
  std::string expected = "1" + std::string(6 - std::to_string(r2).size(), '0') +
                         std::to_string(r2) + std::string(7 - std::to_string(r1).size(), '0') +
                         std::to_string(r1);
  MemoryStore store;
  EXPECT_EQ(GeneratedPart(GenerateUIDAt(Clock(2020, 1, 1, 0, 0, 0, seed), &store))[0], expected);
}

TEST(UidGeneratorTest, TimeIsWrittenWithoutLeadingZeros) {
  struct Case {
    int hour, minute, second;
    const char* text;
  };
  const Case cases[] = {
      {0, 0, 0, "0"},       {0, 0, 9, "9"},         {0, 0, 10, "10"},
      {0, 5, 3, "503"},     {0, 10, 0, "1000"},     {9, 5, 3, "90503"},
      {10, 0, 0, "100000"}, {23, 59, 59, "235959"}, {1, 0, 0, "10000"},
  };
  MemoryStore store;
  for (const Case& c : cases) {
    const std::string uid = GenerateUIDAt(Clock(2004, 3, 7, c.hour, c.minute, c.second), &store);
    EXPECT_EQ(GeneratedPart(uid)[2], c.text) << uid;
    ExpectWellFormed(uid);
  }
}

TEST(UidGeneratorTest, OddLengthIsPaddedWithAZeroOnTheCounter) {
  // Counters 9 and 10 give totals of different parity, so exactly one of
  // them needs the pad.
  MemoryStore store;
  ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", 8));
  const UidClock clock = Clock(2004, 3, 7, 9, 5, 3);
  const std::string nine = GenerateUIDAt(clock, &store);
  const std::string ten = GenerateUIDAt(clock, &store);
  const std::string nineCounter = GeneratedPart(nine)[3];
  const std::string tenCounter = GeneratedPart(ten)[3];
  EXPECT_EQ(nine.size() % 2, 0u);
  EXPECT_EQ(ten.size() % 2, 0u);
  EXPECT_TRUE((nineCounter == "90" && tenCounter == "10") ||
              (nineCounter == "9" && tenCounter == "100"))
      << nine << " / " << ten;
}

TEST(UidGeneratorTest, SameSecondDiffersOnlyInTheCounter) {
  MemoryStore store;
  const UidClock clock = Clock(2011, 11, 11, 11, 11, 11, 1321009871);
  const std::vector<std::string> first = GeneratedPart(GenerateUIDAt(clock, &store));
  const std::vector<std::string> second = GeneratedPart(GenerateUIDAt(clock, &store));
  ASSERT_EQ(first.size(), 4u);
  ASSERT_EQ(second.size(), 4u);
  EXPECT_EQ(first[0], second[0]);
  EXPECT_EQ(first[1], second[1]);
  EXPECT_EQ(first[2], second[2]);
  EXPECT_NE(first[3], second[3]);
}

TEST(UidGeneratorTest, AnotherSecondDrawsAnotherRandomComponent) {
  MemoryStore store;
  const std::string a = GeneratedPart(GenerateUIDAt(Clock(2011, 1, 1, 0, 0, 0, 1000), &store))[0];
  const std::string b = GeneratedPart(GenerateUIDAt(Clock(2011, 1, 1, 0, 0, 0, 1001), &store))[0];
  EXPECT_NE(a, b);
}

TEST(UidGeneratorTest, ValidAtTheExtremesOfClockAndCounter) {
  const UidClock clocks[] = {
      Clock(2004, 3, 7, 9, 5, 3),       Clock(2024, 12, 31, 23, 59, 59),
      Clock(2024, 1, 1, 0, 0, 0),       Clock(9999, 12, 31, 23, 59, 59, INT64_MAX),
      Clock(1970, 1, 1, 0, 0, 0, 0),    Clock(2016, 12, 31, 23, 59, 60, -1),
      Clock(12345, 13, 40, 25, 61, 99), Clock(-1, 0, 0, -1, -1, -1, INT64_MIN),
  };
  const int startCounters[] = {INT_MAX - 3, INT_MAX - 1, 0, -7, INT_MIN, 8, 98, 998, 999999998};
  for (const UidClock& clock : clocks) {
    for (const int start : startCounters) {
      MemoryStore store;
      ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", start));
      for (int i = 0; i < 5; ++i) ExpectWellFormed(GenerateUIDAt(clock, &store));
    }
  }
}

TEST(UidGeneratorTest, CounterNearIntMaxGivesTheLongestUid) {
  MemoryStore store;
  ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence", INT_MAX - 1));
  const std::string uid = GenerateUIDAt(Clock(9999, 12, 31, 23, 59, 59), &store);
  ExpectWellFormed(uid);
  const std::string counter = GeneratedPart(uid)[3];
  EXPECT_TRUE(counter == "2147483647" || counter == "21474836470") << uid;
  // Then the counter starts again at 1 rather than overflowing.
  EXPECT_EQ(GeneratedPart(GenerateUIDAt(Clock(9999, 12, 31, 23, 59, 59), &store))[3].substr(0, 1),
            "1");
}

TEST(UidGeneratorTest, ValidOverManyRandomClocks) {
  std::mt19937 pick(20240229);
  MemoryStore store;
  for (int i = 0; i < 5000; ++i) {
    const UidClock clock =
        Clock(std::uniform_int_distribution<int>(1000, 9999)(pick),
              std::uniform_int_distribution<int>(1, 12)(pick),
              std::uniform_int_distribution<int>(1, 31)(pick),
              std::uniform_int_distribution<int>(0, 23)(pick),
              std::uniform_int_distribution<int>(0, 59)(pick),
              std::uniform_int_distribution<int>(0, 59)(pick),
              std::uniform_int_distribution<std::int64_t>(INT64_MIN, INT64_MAX)(pick));
    if (i % 100 == 0) {
      ASSERT_TRUE(store.WriteInt("VELT", "UIDSequence",
                                 std::uniform_int_distribution<int>(INT_MIN, INT_MAX)(pick)));
    }
    ExpectWellFormed(GenerateUIDAt(clock, &store));
  }
}

TEST(UidGeneratorTest, WithoutAStoreTheCounterIsAPositiveRandomNumber) {
  const UidClock clock = Clock(2004, 3, 7, 9, 5, 3);
  const std::string a = GenerateUIDAt(clock, nullptr);
  const std::string b = GenerateUIDAt(clock, nullptr);
  ExpectWellFormed(a);
  ExpectWellFormed(b);
  // Same second, no counter: the random counter still keeps them apart.
  EXPECT_NE(a, b);
  ExpectWellFormed(GenerateUID());
}

TEST(UidGeneratorTest, FailingOrMisbehavingStoreStillGivesValidUids) {
  MemoryStore failing;
  failing.m_failing = true;
  MemoryStore raw;
  raw.m_raw = true;
  for (const int value : {0, -1, INT_MIN}) {
    ASSERT_TRUE(raw.WriteInt("VELT", "UIDSequence", value));
    ExpectWellFormed(GenerateUIDAt(Clock(2004, 3, 7, 0, 0, 0), &raw));
    ExpectWellFormed(GenerateUIDAt(Clock(2004, 3, 7, 0, 0, 0), &failing));
  }
}

TEST_F(UidGeneratorFileTest, UnwritableSettingsStillGiveAValidUid) {
  const fs::path blocker = m_dir / "blocker";
  std::ofstream(blocker) << "not a folder";
  CFileSettingsStore store(blocker / "Ostrica" / "Quillon.ini");
  EXPECT_EQ(store.IncrementInt("VELT", "UIDSequence"), std::nullopt);
  ExpectWellFormed(GenerateUID(&store));
}

TEST_F(UidGeneratorFileTest, CurrentTimeUidAdvancesThePersistentCounter) {
  CFileSettingsStore store(m_dir / "Ostrica" / "Quillon.ini");
  const std::string first = GenerateUID(&store);
  const std::string second = GenerateUID(&store);
  ExpectWellFormed(first);
  ExpectWellFormed(second);
  EXPECT_NE(first, second);
  EXPECT_EQ(store.GetInt("VELT", "UIDSequence", 0), 2);
}

TEST(UidValidationTest, AcceptsWellFormedUids) {
  EXPECT_TRUE(IsValidUid("0"));
  EXPECT_TRUE(IsValidUid("0.0"));
  EXPECT_TRUE(IsValidUid("1.2.840.10008.1.2"));
  EXPECT_TRUE(IsValidUid("1.20.300"));
  EXPECT_TRUE(IsValidUid("1." + std::string(62, '9')));  // exactly 64
}

TEST(UidValidationTest, RejectsMalformedUids) {
  for (const char* uid : {"", ".", "1.", ".1", "1..2", "01.2", "1.02", "1.00", "1.2a", "1,2",
                          " 1.2", "1.2 ", "-1.2", "1.+2"}) {
    EXPECT_FALSE(IsValidUid(uid)) << '"' << uid << '"';
  }
  EXPECT_FALSE(IsValidUid(std::string("1.2\0", 4)));  // pad byte not stripped
  EXPECT_FALSE(IsValidUid("1." + std::string(63, '9')));  // 65 characters
}

}  // namespace
}  // namespace quillon
