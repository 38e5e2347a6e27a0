/// \file
/// Generation of new UIDs (SOP Instance UIDs of new or converted files and
/// new UI element values) under the organisation's UID root.
#pragma once

#include "base/SettingsStore.h"
#include "dicom/UidValidation.h"

#include <cstdint>
#include <string>

namespace quillon {

/// Settings section and key of the persistent UID counter.
inline constexpr const char* kUidCounterSection = "VELT";
inline constexpr const char* kUidCounterKey = "UIDSequence";

/// The moment a UID is made for: the local date and time that go into it,
/// and the time in seconds that seeds its random component.
struct UidClock {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  std::int64_t seed = 0;
};

/// The current local date and time, seeded with the current time in seconds.
UidClock CurrentUidClock();

/// The organisation UID root every generated UID starts with; also the
/// Implementation Class UID of meta information this system creates. Fixed
/// when the library is built.
const char* OrganisationUidRoot();

/// A new UID made at the current time; see GenerateUIDAt.
std::string GenerateUID(ISettingsStore* store = nullptr);

/// A new UID "<root>.1RRRRRRrrrrrrr.YYYYMMDD.HMMSS.N", padded with a final
/// "0" when its length is odd so that it needs no pad byte:
/// - "1RRRRRRrrrrrrr" is the digit 1 followed by six and seven digits drawn
///   from a generator seeded with when.seed, so UIDs made within the same
///   second share it;
/// - YYYYMMDD and HMMSS are the date and time of when, the time written as
///   a number (00:00:09 gives "9", 00:00:00 gives "0");
/// - N is the store's counter (section kUidCounterSection, key
///   kUidCounterKey) after incrementing it, which tells apart UIDs made in
///   the same second. Without a store, or when the store cannot be written,
///   N is a positive random number from a non-deterministic source instead.
/// Fields of when outside their range are clamped into it (the year into
/// 1000..9999, so the date keeps its eight digits). The result is always a
/// valid UID of at most 63 characters. Never fails.
std::string GenerateUIDAt(const UidClock& when, ISettingsStore* store);

}  // namespace quillon
