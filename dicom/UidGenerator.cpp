/// \file
/// The UID generator: random component, date, time and persistent counter
/// under the organisation root.
#include "dicom/UidGenerator.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <ctime>
#include <optional>
#include <random>
#include <string_view>

namespace quillon {
namespace {

constexpr const char* kOrganisationUidRoot = QUILLON_UID_ROOT;

// After the root a UID gets at most 43 characters: ".1" and 13 random
// digits (15), ".YYYYMMDD" (9), ".HHMMSS" (7), "." and a positive int (11)
// and the pad digit (1). A root of at most 20 characters keeps every UID
// within the 64-character limit.
static_assert(std::string_view(kOrganisationUidRoot).size() <= 20,
              "the UID root leaves too little room for the generated components");
static_assert(IsValidUid(kOrganisationUidRoot), "the UID root is not a valid UID");

void AppendZeroPadded(std::string& out, std::uint64_t value, std::size_t width) {
  const std::string digits = std::to_string(value);
  if (digits.size() < width) out.append(width - digits.size(), '0');
  out += digits;
}

/// A positive int for the counter component when no persistent counter is
/// available. It must not come from the generator seeded with the time:
/// that would give the same number to every UID made in the same second,
/// and with nothing else apart those UIDs would be equal.
int RandomCounter() {
  std::uint64_t bits = 0;
  try {
    std::random_device device;
    bits = (static_cast<std::uint64_t>(device()) << 32) ^ device();
  } catch (...) {
    // No entropy source: the steady clock at least differs between calls.
    std::mt19937_64 fallback(static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count()));
    bits = fallback();
  }
  return static_cast<int>(bits % static_cast<std::uint64_t>(INT_MAX)) + 1;
}

}  // namespace

const char* OrganisationUidRoot() { return kOrganisationUidRoot; }

UidClock CurrentUidClock() {
  const std::time_t now = std::time(nullptr);
  UidClock clock;
  clock.seed = static_cast<std::int64_t>(now);
  std::tm local {};
  if (::localtime_r(&now, &local) != nullptr) {
    clock.year = local.tm_year + 1900;
    clock.month = local.tm_mon + 1;
    clock.day = local.tm_mday;
    clock.hour = local.tm_hour;
    clock.minute = local.tm_min;
    clock.second = local.tm_sec;
  }
  return clock;
}

std::string GenerateUID(ISettingsStore* store) { return GenerateUIDAt(CurrentUidClock(), store); }

std::string GenerateUIDAt(const UidClock& when, ISettingsStore* store) {
  std::string uid = kOrganisationUidRoot;

  // Random component. Each draw is reduced to the digits it is given, so the
  // component always has exactly 14 digits whatever the engine's range.
  std::mt19937_64 engine(static_cast<std::uint64_t>(when.seed));
  const std::uint64_t r1 = engine() % 10'000'000u;
  const std::uint64_t r2 = engine() % 1'000'000u;
  uid += ".1";
  AppendZeroPadded(uid, r2, 6);
  AppendZeroPadded(uid, r1, 7);

  // Clamping keeps the date at eight digits and the time at most six, and
  // neither can start with "0" (the time as a number, so 00:05:03 is 503).
  const auto year = static_cast<std::uint64_t>(std::clamp(when.year, 1000, 9999));
  const auto month = static_cast<std::uint64_t>(std::clamp(when.month, 1, 12));
  const auto day = static_cast<std::uint64_t>(std::clamp(when.day, 1, 31));
  const auto hour = static_cast<std::uint64_t>(std::clamp(when.hour, 0, 23));
  const auto minute = static_cast<std::uint64_t>(std::clamp(when.minute, 0, 59));
  const auto second = static_cast<std::uint64_t>(std::clamp(when.second, 0, 60));
  uid += '.';
  uid += std::to_string(year * 10000 + month * 100 + day);
  uid += '.';
  uid += std::to_string(hour * 10000 + minute * 100 + second);

  // Counter. A positive value never starts with "0", so the pad digit
  // below can only lengthen it.
  std::optional<int> counter;
  if (store != nullptr) counter = store->IncrementInt(kUidCounterSection, kUidCounterKey);
  if (!counter || *counter <= 0) counter = RandomCounter();
  uid += '.';
  uid += std::to_string(*counter);

  // An even length means the UI value needs no NUL pad byte.
  if (uid.size() % 2 != 0) uid += '0';
  return uid;
}

}  // namespace quillon
