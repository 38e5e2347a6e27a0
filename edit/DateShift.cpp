#include "edit/DateShift.h"

#include "dicom/ValueRepresentation.h"

#include <cstdio>

namespace quillon {

namespace {

// Civil dates to days since 1970-01-01 and back, in the proleptic Gregorian
// calendar (H. Hinnant's algorithms).
long DaysFromCivil(long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned monthIndex = month > 2 ? month - 3 : month + 9;
  const unsigned dayOfYear = (153 * monthIndex + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long>(dayOfEra) - 719468;
}

void CivilFromDays(long days, long& year, unsigned& month, unsigned& day) {
  days += 719468;
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  year = static_cast<long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

bool IsLeap(long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(long year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool AllDigits(std::string_view text) {
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

unsigned Number(std::string_view digits) {
  unsigned value = 0;
  for (const char c : digits) value = value * 10 + static_cast<unsigned>(c - '0');
  return value;
}

/// "YYYYMMDD" moved by `days`; nothing when it is no valid date.
std::optional<std::string> ShiftDate(std::string_view date, int days) {
  if (date.size() != 8 || !AllDigits(date)) return std::nullopt;
  long year = Number(date.substr(0, 4));
  unsigned month = Number(date.substr(4, 2));
  unsigned day = Number(date.substr(6, 2));
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  CivilFromDays(DaysFromCivil(year, month, day) + days, year, month, day);
  if (year < 0 || year > 9999) return std::nullopt;
  char text[32];
  std::snprintf(text, sizeof text, "%04ld%02u%02u", year, month, day);
  return std::string(text);
}

/// A time as TM writes it: HH, HHMM, HHMMSS, then an optional fraction.
bool LooksLikeTime(std::string_view value) {
  const std::string_view whole = value.substr(0, value.find('.'));
  return (whole.size() == 2 || whole.size() == 4 || whole.size() == 6) && AllDigits(whole);
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::optional<std::string> ShiftOne(std::string_view value, DicomVR vr, int days) {
  value = Trim(value);
  if (value.empty()) return std::string();
  if (vr == vr::DA) {
    if (value.size() == 10 && value[4] == '.' && value[7] == '.') {
      return ShiftDate(std::string(value.substr(0, 4)) + std::string(value.substr(5, 2)) +
                           std::string(value.substr(8, 2)),
                       days);
    }
    return ShiftDate(value, days);
  }
  if (vr != vr::DT && LooksLikeTime(value)) return std::string(value);
  std::optional<std::string> date = ShiftDate(value.substr(0, 8), days);
  if (!date) return std::nullopt;
  return *date + std::string(value.substr(8));
}

}  // namespace

std::optional<std::string> ShiftDates(std::string_view value, DicomVR vr, int days) {
  std::string shifted;
  for (;;) {
    const std::size_t separator = value.find('\\');
    std::optional<std::string> one = ShiftOne(value.substr(0, separator), vr, days);
    if (!one) return std::nullopt;
    shifted += *one;
    if (separator == std::string_view::npos) break;
    shifted += '\\';
    value.remove_prefix(separator + 1);
  }
  return shifted;
}

}  // namespace quillon
