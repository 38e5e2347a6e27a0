#include "edit/ValueEncoder.h"

#include "dicom/UidValidation.h"
#include "dicom/ValueRepresentation.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace quillon {

namespace {

enum class Check { Any, Ae, As, Cs, Da, Ds, Dt, Is, Tm, Ui, Ur };

/// What a text VR allows.
struct TextRule {
  DicomVR vr;
  std::size_t maxCharacters;  ///< per value; 0 for no limit
  bool multiValued;           ///< '\' separates values
  bool usesCharset;           ///< else only ASCII is allowed
  Check check;
};

constexpr TextRule kTextRules[] = {
    {vr::AE, 16, true, false, Check::Ae},   {vr::AS, 4, true, false, Check::As},
    {vr::CS, 16, true, false, Check::Cs},   {vr::DA, 8, true, false, Check::Da},
    {vr::DS, 16, true, false, Check::Ds},   {vr::DT, 26, true, false, Check::Dt},
    {vr::IS, 12, true, false, Check::Is},   {vr::LO, 64, true, true, Check::Any},
    {vr::LT, 10240, false, true, Check::Any}, {vr::PN, 194, true, true, Check::Any},
    {vr::SH, 16, true, true, Check::Any},   {vr::ST, 1024, false, true, Check::Any},
    {vr::TM, 16, true, false, Check::Tm},   {vr::UC, 0, true, true, Check::Any},
    {vr::UI, 64, true, false, Check::Ui},   {vr::UR, 0, false, false, Check::Ur},
    {vr::UT, 0, false, true, Check::Any},
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view text) {
  for (const char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

template <typename Number>
bool ParseWhole(std::string_view text, Number& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool ParseReal(std::string_view text, double& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool ValidDate(std::string_view date) {
  if (date.size() != 8 || !AllDigits(date)) return false;
  const int year = std::stoi(std::string(date.substr(0, 4)));
  const int month = std::stoi(std::string(date.substr(4, 2)));
  const int day = std::stoi(std::string(date.substr(6, 2)));
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month != 2 || day <= 28 || leap;
}

/// HH[MM[SS[.F{1,6}]]], each part in range (60 seconds for a leap second).
bool ValidTime(std::string_view time) {
  const std::size_t dot = time.find('.');
  const std::string_view whole = time.substr(0, dot);
  if (whole.size() % 2 != 0 || whole.empty() || whole.size() > 6 || !AllDigits(whole)) return false;
  static constexpr int kLimits[] = {23, 59, 60};
  for (std::size_t i = 0; i < whole.size(); i += 2) {
    if (std::stoi(std::string(whole.substr(i, 2))) > kLimits[i / 2]) return false;
  }
  if (dot == std::string_view::npos) return true;
  const std::string_view fraction = time.substr(dot + 1);
  return whole.size() == 6 && !fraction.empty() && fraction.size() <= 6 && AllDigits(fraction);
}

/// YYYY[MM[DD[HH[MM[SS[.F]]]]]][&ZZXX]
bool ValidDateTime(std::string_view value) {
  const std::size_t offsetAt = value.find_first_of("+-");
  if (offsetAt != std::string_view::npos) {
    const std::string_view offset = value.substr(offsetAt + 1);
    if (offset.size() != 4 || !AllDigits(offset)) return false;
    value = value.substr(0, offsetAt);
  }
  const std::string_view date = value.substr(0, std::min<std::size_t>(value.size(), 8));
  if (date.size() < 4 || date.size() % 2 != 0 || !AllDigits(date)) return false;
  if (date.size() == 8 && !ValidDate(date)) return false;
  if (date.size() == 6 && (date.substr(4) < "01" || date.substr(4) > "12")) return false;
  return value.size() <= 8 || (date.size() == 8 && ValidTime(value.substr(8)));
}

bool ValidDecimal(std::string_view text) {
  double ignored = 0;
  text = Trim(text);
  if (text.empty()) return false;
  for (const char c : text) {
    if (!IsDigit(c) && c != '+' && c != '-' && c != '.' && c != 'e' && c != 'E') return false;
  }
  return ParseReal(text, ignored);
}

/// Why one value breaks `rule`'s check; empty when it does not.
std::string CheckValue(std::string_view value, Check check) {
  int64_t integer = 0;
  switch (check) {
    case Check::Any: return "";
    case Check::Ae: return Trim(value).empty() && !value.empty() ? "an AE title cannot be all spaces" : "";
    case Check::As:
      return value.size() == 4 && AllDigits(value.substr(0, 3)) && std::string_view("DWMY").find(value[3]) != std::string_view::npos
                 ? ""
                 : "an age is three digits and D, W, M or Y (\"045Y\")";
    case Check::Cs:
      for (const char c : value) {
        if (!(c >= 'A' && c <= 'Z') && !IsDigit(c) && c != ' ' && c != '_') {
          return "a code string holds only capital letters, digits, spaces and \"_\"";
        }
      }
      return "";
    case Check::Da: return ValidDate(value) ? "" : "a date is YYYYMMDD, a day that exists";
    case Check::Ds: return ValidDecimal(value) ? "" : "a decimal string is a number such as \"-12.5\" or \"1e3\"";
    case Check::Dt: return ValidDateTime(value) ? "" : "a date and time is YYYYMMDDHHMMSS.FFFFFF&ZZXX, from the left";
    case Check::Is:
      return ParseWhole(value, integer) && integer >= std::numeric_limits<int32_t>::min() &&
                     integer <= std::numeric_limits<int32_t>::max()
                 ? ""
                 : "an integer string is a whole number from -2147483648 to 2147483647";
    case Check::Tm: return ValidTime(Trim(value)) ? "" : "a time is HHMMSS.FFFFFF, from the left";
    case Check::Ui: return IsValidUid(value) ? "" : "a UID is digits in dot-separated parts without leading zeros";
    case Check::Ur: return value.find(' ') == std::string_view::npos ? "" : "a URI cannot hold spaces";
  }
  return "";
}

/// `value` in double quotes, for messages. (Built by appending: GCC 12
/// warns falsely about a literal put before a string.)
std::string Quoted(std::string_view value) {
  std::string quoted = "\"";
  quoted.append(value);
  quoted += '"';
  return quoted;
}

std::size_t CountCharacters(std::string_view utf8) {
  std::size_t count = 0;
  for (const char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

Result<std::string> EncodeTextValue(std::string_view text, const TextRule& rule, const CCharacterSet& charset) {
  const std::string vrName = VrToString(rule.vr);
  std::string_view rest = text;
  for (;;) {
    const std::size_t separator = rule.multiValued ? rest.find('\\') : std::string_view::npos;
    const std::string_view value = rest.substr(0, separator);
    for (const char c : value) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 && !(byte == 0x1B || (!rule.multiValued && (byte == '\n' || byte == '\r' || byte == '\f' ||
                                                                  byte == '\t')))) {
        return Error(ErrorCode::Failure, "a value of VR " + vrName + " cannot hold control characters");
      }
      if (byte >= 0x80 && !rule.usesCharset) {
        return Error(ErrorCode::Failure, "a value of VR " + vrName + " holds only ASCII characters");
      }
    }
    if (rule.maxCharacters != 0 && CountCharacters(value) > rule.maxCharacters) {
      return Error(ErrorCode::Failure, Quoted(value) + " is longer than the " +
                                           std::to_string(rule.maxCharacters) + " characters VR " + vrName + " allows");
    }
    if (!value.empty()) {
      if (const std::string why = CheckValue(value, rule.check); !why.empty()) {
        return Error(ErrorCode::Failure, Quoted(value) + " is no valid " + vrName + " value: " + why);
      }
    }
    if (separator == std::string_view::npos) break;
    rest.remove_prefix(separator + 1);
  }
  if (!rule.usesCharset) return std::string(text);
  return charset.Encode(text, DelimitersOf(rule.vr));
}

void AppendLittleEndian(std::string& bytes, uint64_t value, unsigned size) {
  for (unsigned i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
}

/// One binary value; false when it is out of the VR's range or no number.
bool EncodeBinary(std::string_view value, DicomVR vr, std::string& bytes) {
  int64_t integer = 0;
  uint64_t unsignedInteger = 0;
  double real = 0;
  switch (vr) {
    case vr::US:
      if (!ParseWhole(value, integer) || integer < 0 || integer > 0xFFFF) return false;
      AppendLittleEndian(bytes, static_cast<uint64_t>(integer), 2);
      return true;
    case vr::SS:
      if (!ParseWhole(value, integer) || integer < INT16_MIN || integer > INT16_MAX) return false;
      AppendLittleEndian(bytes, static_cast<uint64_t>(integer), 2);
      return true;
    case vr::UL:
      if (!ParseWhole(value, integer) || integer < 0 || integer > UINT32_MAX) return false;
      AppendLittleEndian(bytes, static_cast<uint64_t>(integer), 4);
      return true;
    case vr::SL:
      if (!ParseWhole(value, integer) || integer < INT32_MIN || integer > INT32_MAX) return false;
      AppendLittleEndian(bytes, static_cast<uint64_t>(integer), 4);
      return true;
    case vr::SV:
      if (!ParseWhole(value, integer)) return false;
      AppendLittleEndian(bytes, static_cast<uint64_t>(integer), 8);
      return true;
    case vr::UV:
      if (!ParseWhole(value, unsignedInteger)) return false;
      AppendLittleEndian(bytes, unsignedInteger, 8);
      return true;
    case vr::FL:
      if (!ParseReal(value, real) || std::fabs(real) > std::numeric_limits<float>::max()) return false;
      AppendLittleEndian(bytes, std::bit_cast<uint32_t>(static_cast<float>(real)), 4);
      return true;
    case vr::FD:
      if (!ParseReal(value, real)) return false;
      AppendLittleEndian(bytes, std::bit_cast<uint64_t>(real), 8);
      return true;
    default: return false;
  }
}

/// An AT value: a tag as (gggg,eeee), gggg,eeee or ggggeeee.
bool EncodeTagValue(std::string_view value, std::string& bytes) {
  value = Trim(value);
  if (value.size() >= 2 && value.front() == '(' && value.back() == ')') value = value.substr(1, value.size() - 2);
  std::string digits;
  for (const char c : value) {
    if (c != ',') digits += c;
  }
  uint32_t tag = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), tag, 16);
  if (digits.size() != 8 || error != std::errc() || end != digits.data() + digits.size()) return false;
  AppendLittleEndian(bytes, tag >> 16, 2);
  AppendLittleEndian(bytes, tag & 0xFFFF, 2);
  return true;
}

}  // namespace

Result<std::string> EncodeValue(std::string_view text, DicomVR vr, const CCharacterSet& charset) {
  for (const TextRule& rule : kTextRules) {
    if (rule.vr == vr) return EncodeTextValue(text, rule, charset);
  }
  const bool binary = vr == vr::US || vr == vr::SS || vr == vr::UL || vr == vr::SL || vr == vr::SV ||
                      vr == vr::UV || vr == vr::FL || vr == vr::FD || vr == vr::AT;
  if (!binary) {
    return Error(ErrorCode::Failure, "values of VR " + (vr == 0 ? std::string("unknown") : VrToString(vr)) +
                                         " cannot be given as text");
  }
  std::string bytes;
  if (text.empty()) return bytes;
  std::string_view rest = text;
  for (;;) {
    const std::size_t separator = rest.find('\\');
    const std::string_view value = rest.substr(0, separator);
    const bool encoded = vr == vr::AT ? EncodeTagValue(value, bytes) : EncodeBinary(value, vr, bytes);
    if (!encoded) {
      return Error(ErrorCode::Failure, Quoted(value) + " is no valid " + VrToString(vr) + " value" +
                                           (vr == vr::AT ? ": write a tag as (gggg,eeee)" : ": a number in its range"));
    }
    if (separator == std::string_view::npos) break;
    rest.remove_prefix(separator + 1);
  }
  return bytes;
}

}  // namespace quillon
