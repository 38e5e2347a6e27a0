// UID generation and the UID syntax check: the layout of generated UIDs,
// the persistent counter, and validity at the extremes of clock and counter.
#include "dicom/UidGenerator.h"

#include "base/FileSettingsStore.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <regex>
#include <string>

namespace quillon {
namespace {

using namespace std::string_literals;

// A store whose counter hands back what it is set to: nothing, as from an
// unwritable settings file, or zero and below, as from a broken store.
class CounterStore final : public ISettingsStore {
 public:
  explicit CounterStore(std::optional<int> counter) : m_counter(counter) {}
  int GetInt(const std::string&, const std::string&, int fallback) override { return fallback; }
  bool WriteInt(const std::string&, const std::string&, int) override { return false; }
  std::string GetString(const std::string&, const std::string&, const std::string& s) override { return s; }
  bool WriteString(const std::string&, const std::string&, const std::string&) override { return false; }
  std::optional<int> IncrementInt(const std::string&, const std::string&) override { return m_counter; }
  std::optional<int> m_counter;
};

// What follows "<root>.".
std::string Generated(const std::string& uid) {
  const std::string root = std::string(OrganisationUidRoot()) + ".";
  EXPECT_EQ(uid.compare(0, root.size(), root), 0) << uid;
  return uid.substr(root.size());
}

// Valid and of even length (so it needs no pad byte), with a random
// component of "1" and 13 digits, an 8-digit date, the time and a counter.
void ExpectWellFormed(const std::string& uid) {
  static const std::regex kLayout(R"(1\d{13}\.\d{8}\.\d+\.\d+)");
  EXPECT_TRUE(IsValidUid(uid)) << uid;
  EXPECT_EQ(uid.size() % 2, 0u) << uid;
  EXPECT_TRUE(std::regex_match(Generated(uid), kLayout)) << uid;
}

// The time is a number without leading zeros; fields out of range are
// clamped; an odd length gets a "0" after the counter.
TEST(UidGenerator, DateTimeAndCounterComponents) {
  const struct {
    UidClock clock;
    int counter;
    std::string tail;
  } cases[] = {
      {{2004, 3, 7, 9, 5, 3}, 42, ".20040307.90503.42"}, {{2004, 3, 7, 0, 0, 0}, 9, ".20040307.0.9"},
      {{2004, 3, 7, 0, 0, 9}, 10, ".20040307.9.10"},     {{2004, 3, 7, 0, 5, 3}, 1, ".20040307.503.1"},
      {{2024, 12, 31, 23, 59, 59}, 7, ".20241231.235959.7"},
      {{12345, 13, 40, 25, 61, 99}, 1, ".99991231.235960.1"}, {{-1, 0, 0, -1, -1, -1}, 1, ".10000101.0.1"},
  };
  for (const auto& c : cases) {
    CounterStore store(c.counter);
    const std::string uid = GenerateUIDAt(c.clock, &store);
    ExpectWellFormed(uid);
    std::string expected = Generated(uid).substr(0, 14) + c.tail;
    if ((uid.size() - Generated(uid).size() + expected.size()) % 2 != 0) expected += "0";
    EXPECT_EQ(Generated(uid), expected);
  }
  test::TempDir dir("uid");  // the settings file counts every UID, in a folder made for it
  CFileSettingsStore file(dir.Path() / "Ostrica" / "Quillon.ini");
  EXPECT_NE(GenerateUID(&file), GenerateUID(&file));
  EXPECT_EQ(file.GetInt(kUidCounterSection, kUidCounterKey, 0), 2);
}

// Without a usable counter the counter is a positive random number, so UIDs
// made in the same second still differ.
TEST(UidGenerator, ValidAtTheExtremesOfClockAndCounter) {
  const UidClock clocks[] = {{9999, 12, 31, 23, 59, 59, INT64_MAX}, {1970, 1, 1}, {2016, 12, 31, 23, 59, 60, -1},
                             {12345, 13, 40, 25, 61, 99}, {-1, 0, 0, -1, -1, -1, INT64_MIN}};
  const std::optional<int> counters[] = {INT_MAX, INT_MAX - 1, 1, 9, 98, 999999999, 0, -7, INT_MIN, std::nullopt};
  for (const UidClock& clock : clocks) {
    for (const std::optional<int> counter : counters) {
      CounterStore store(counter);
      ExpectWellFormed(GenerateUIDAt(clock, &store));
    }
    const std::string first = GenerateUIDAt(clock, nullptr);
    ExpectWellFormed(first);
    EXPECT_NE(first, GenerateUIDAt(clock, nullptr));
  }
  ExpectWellFormed(GenerateUID());
}

TEST(UidValidation, AcceptsOnlyDigitsInComponentsWithoutLeadingZeros) {
  for (const std::string& uid : {"0"s, "0.0"s, "1.2.840.10008.1.2"s, "1.20.300"s, "1." + std::string(62, '9')}) {
    EXPECT_TRUE(IsValidUid(uid)) << uid;
  }
  for (const std::string& uid : {""s, "."s, "1."s, ".1"s, "1..2"s, "01.2"s, "1.00"s, "1.2a"s, "1,2"s, " 1.2"s,
                                 "-1.2"s, "1.2\0"s, "1." + std::string(63, '9')}) {
    EXPECT_FALSE(IsValidUid(uid)) << '"' << uid << '"';
  }
}

}  // namespace
}  // namespace quillon
