#include "app/ValueCheck.h"

#include "dicom/DataDictionary.h"
#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ElementRules.h"
#include "dicom/SequenceItem.h"
#include "dicom/TagNameTable.h"
#include "dicom/ValueRepresentation.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <optional>

namespace quillon {

namespace {

struct TextRule {
  DicomVR vr;
  size_t maxLength;  ///< per value, in bytes; 0 for no limit
  bool multiValued;  ///< a backslash separates values (else it is a character)
  bool allowsLineBreaks;
};

// The text VRs: their length limits, whether `\` separates values, and
// whether a text may run over several lines.
constexpr TextRule kRules[] = {
    {vr::AE, 16, true, false},    {vr::AS, 4, true, false},   {vr::CS, 16, true, false},
    {vr::DA, 8, true, false},     {vr::DS, 16, true, false},  {vr::DT, 26, true, false},
    {vr::IS, 12, true, false},    {vr::LO, 64, true, false},  {vr::LT, 10240, false, true},
    {vr::PN, 64 * 3 + 2, true, false}, {vr::SH, 16, true, false}, {vr::ST, 1024, false, true},
    {vr::TM, 14, true, false},    {vr::UC, 0, true, false},   {vr::UI, 64, true, false},
    {vr::UR, 0, false, false},    {vr::UT, 0, false, true},
};

const TextRule* RuleFor(DicomVR vr) {
  for (const TextRule& rule : kRules) {
    if (rule.vr == vr) return &rule;
  }
  return nullptr;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return false;
  }
  return true;
}

int Number(std::string_view digits) {
  int value = 0;
  (void)std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

bool IsDate(std::string_view text) {
  if (text.size() != 8 || !AllDigits(text)) return false;
  const int month = Number(text.substr(4, 2));
  const int day = Number(text.substr(6, 2));
  if (month < 1 || month > 12 || day < 1) return false;
  constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int year = Number(text.substr(0, 4));
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] && (month != 2 || day < 29 || leap);
}

/// HH, HHMM, HHMMSS or HHMMSS.F to HHMMSS.FFFFFF.
bool IsTime(std::string_view text) {
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  if ((whole.size() != 2 && whole.size() != 4 && whole.size() != 6) || !AllDigits(whole)) return false;
  if (Number(whole.substr(0, 2)) > 23) return false;
  if (whole.size() >= 4 && Number(whole.substr(2, 2)) > 59) return false;
  if (whole.size() == 6 && Number(whole.substr(4, 2)) > 60) return false;
  if (dot == std::string_view::npos) return true;
  const std::string_view fraction = text.substr(dot + 1);
  return whole.size() == 6 && fraction.size() <= 6 && AllDigits(fraction);
}

/// YYYY[MM[DD[HH[MM[SS[.F]]]]]] with an optional &ZZXX offset.
bool IsDateTime(std::string_view text) {
  const size_t sign = text.find_first_of("+-", 4);
  if (sign != std::string_view::npos) {
    const std::string_view offset = text.substr(sign + 1);
    if (offset.size() != 4 || !AllDigits(offset) || Number(offset.substr(0, 2)) > 14) return false;
    text = text.substr(0, sign);
  }
  if (text.size() < 4 || !AllDigits(text.substr(0, 4))) return false;
  if (text.size() == 4) return true;
  if (text.size() == 6) return AllDigits(text) && Number(text.substr(4, 2)) >= 1 && Number(text.substr(4, 2)) <= 12;
  if (text.size() < 8 || !IsDate(text.substr(0, 8))) return false;
  return text.size() == 8 || IsTime(text.substr(8));
}

bool IsAge(std::string_view text) {
  return text.size() == 4 && AllDigits(text.substr(0, 3)) && std::string_view("DWMY").find(text[3]) != std::string_view::npos;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool IsDecimal(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return false;
  for (const char c : text) {
    if (std::string_view("0123456789+-.eE").find(c) == std::string_view::npos) return false;
  }
  const std::string copy(text);
  char* end = nullptr;
  (void)std::strtod(copy.c_str(), &end);
  return end == copy.c_str() + copy.size();
}

bool IsInteger(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  if (!AllDigits(text) || text.size() > 10) return false;
  const long long value = std::atoll(std::string(text).c_str());
  return value <= 2147483648LL;  // −2³¹ reads as 2³¹ without its sign
}

bool IsUid(std::string_view text) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t dot = std::min(text.find('.', start), text.size());
    const std::string_view part = text.substr(start, dot - start);
    if (!AllDigits(part) || (part.size() > 1 && part.front() == '0')) return false;
    start = dot + 1;
  }
  return true;
}

/// The format problem of one value of `vr`, or empty.
std::string FormatProblem(DicomVR vr, std::string_view value) {
  if (value.empty()) return {};
  if (vr == vr::DA && !IsDate(value)) return "is no date (YYYYMMDD)";
  if (vr == vr::TM && !IsTime(Trim(value))) return "is no time (HHMMSS.FFFFFF)";
  if (vr == vr::DT && !IsDateTime(Trim(value))) return "is no date and time (YYYYMMDDHHMMSS.FFFFFF&ZZXX)";
  if (vr == vr::AS && !IsAge(value)) return "is no age (three digits and D, W, M or Y)";
  if (vr == vr::DS && !IsDecimal(value)) return "is no decimal number";
  if (vr == vr::IS && !IsInteger(value)) return "is no whole number from -2147483648 to 2147483647";
  if (vr == vr::UI && !IsUid(value)) return "is no UID (digits in groups separated by dots, no leading zeros)";
  if (vr == vr::CS) {
    for (const char c : value) {
      if (!(std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == ' ' ||
            c == '_')) {
        return "holds characters other than upper case letters, digits, space and underscore";
      }
    }
  }
  return {};
}

std::string Quoted(std::string_view value) {
  constexpr size_t kShown = 40;
  return "\"" + std::string(value.substr(0, kShown)) + (value.size() > kShown ? "..." : "") + "\"";
}

}  // namespace

std::vector<std::string> CheckTextValue(DicomVR vr, std::string_view text) {
  std::vector<std::string> problems;
  const TextRule* rule = RuleFor(vr);
  if (rule == nullptr) return problems;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool lineBreak = c == '\r' || c == '\n' || c == '\f' || c == '\t';
    if ((byte < 0x20 && byte != 0x1B && !(rule->allowsLineBreaks && lineBreak)) || byte == 0x7F) {
      problems.push_back("The value holds a control character (code " + std::to_string(byte) + ")");
      break;
    }
  }
  const bool several = rule->multiValued && text.find('\\') != std::string_view::npos;
  size_t start = 0;
  int index = 1;
  while (start <= text.size()) {
    const size_t end = rule->multiValued ? std::min(text.find('\\', start), text.size()) : text.size();
    const std::string_view value = text.substr(start, end - start);
    const std::string which = several ? "Value " + std::to_string(index) + " " : "The value ";
    if (rule->maxLength != 0 && value.size() > rule->maxLength) {
      problems.push_back(which + Quoted(value) + " is " + std::to_string(value.size()) + " characters long, at most " +
                         std::to_string(rule->maxLength) + " are allowed for " + VrToString(vr));
    }
    if (const std::string format = FormatProblem(vr, value); !format.empty()) {
      problems.push_back(which + Quoted(value) + " " + format);
    }
    start = end + 1;
    ++index;
  }
  return problems;
}

namespace {

/// The size of one value of the VRs that hold binary numbers; 0 for others.
unsigned NumberValueSize(DicomVR vr) {
  if (vr == vr::US || vr == vr::SS) return 2;
  if (vr == vr::UL || vr == vr::SL || vr == vr::FL || vr == vr::AT) return 4;
  if (vr == vr::FD || vr == vr::SV || vr == vr::UV) return 8;
  return 0;
}

/// A value multiplicity as the dictionary writes it: "3", "1-3", "1-n",
/// "2-2n" (at least two, in pairs).
struct Multiplicity {
  uint32_t low = 1;
  uint32_t high = 1;  ///< 0: no limit
  uint32_t step = 1;  ///< the count is a multiple of it
};

std::optional<Multiplicity> ParseMultiplicity(std::string_view text) {
  const auto number = [](std::string_view digits, uint32_t& out) {
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    return error == std::errc() && end == digits.data() + digits.size() && out != 0;
  };
  Multiplicity vm;
  const size_t dash = text.find('-');
  if (!number(text.substr(0, dash), vm.low)) return std::nullopt;
  if (dash == std::string_view::npos) {
    vm.high = vm.low;
    return vm;
  }
  std::string_view high = text.substr(dash + 1);
  if (!high.empty() && high.back() == 'n') {
    high.remove_suffix(1);
    vm.high = 0;
    if (!high.empty() && !number(high, vm.step)) return std::nullopt;
    return vm;
  }
  if (!number(high, vm.high) || vm.high < vm.low) return std::nullopt;
  return vm;
}

}  // namespace

std::string CheckMultiplicity(DicomTag tag, DicomVR vr, std::string_view value) {
  uint64_t count = 0;
  if (const unsigned size = NumberValueSize(vr); size != 0) {
    count = value.size() / size;
  } else if (const TextRule* rule = RuleFor(vr); rule != nullptr && rule->multiValued) {
    count = Trim(value).empty() ? 0 : 1 + static_cast<uint64_t>(std::count(value.begin(), value.end(), '\\'));
  } else {
    return {};
  }
  // An empty value says nothing is known, which any attribute may say.
  if (count == 0) return {};
  const DictionaryTexts* texts = FindDictionaryTexts(tag);
  if (texts == nullptr) return {};
  const std::optional<Multiplicity> vm = ParseMultiplicity(texts->vm);
  if (!vm) return {};
  if (count >= vm->low && (vm->high == 0 || count <= vm->high) && count % vm->step == 0) return {};
  return "The value holds " + std::to_string(count) + (count == 1 ? " value" : " values") + "; the attribute takes " +
         std::string(texts->vm) + " (its value multiplicity)";
}

std::vector<std::string> CheckValue(DicomTag tag, DicomVR vr, std::string_view value) {
  std::vector<std::string> problems = CheckTextValue(vr, value);
  if (std::string count = CheckMultiplicity(tag, vr, value); !count.empty()) problems.push_back(std::move(count));
  return problems;
}

std::vector<std::string> CheckElement(const CDicomElement& element) {
  const DicomVR code = element.GetVR();
  if (RuleFor(code) != nullptr) return CheckValue(element.GetTag(), code, element.GetTextView());
  if (NumberValueSize(code) == 0 || !element.HasValue()) return {};
  const std::string_view bytes(reinterpret_cast<const char*>(element.GetValue()), element.GetLength());
  std::string count = CheckMultiplicity(element.GetTag(), code, bytes);
  if (count.empty()) return {};
  return {std::move(count)};
}

namespace {

void CheckInto(const CDicomObject& object, const std::string& path, std::vector<std::string>& lines) {
  for (const auto& entry : object.Elements().Sorted()) {
    const std::string_view name = GetTagName(entry.tag);
    const std::string where = path + FormatTag(entry.tag) + (name.empty() ? "" : " " + std::string(name));
    if (const auto* sequence = dynamic_cast<const CDicomSequence*>(entry.element.get())) {
      for (size_t i = 0; i < sequence->GetItemCount(); ++i) {
        if (const CSequenceItem* item = sequence->GetItem(i)) {
          CheckInto(*item, where + " item " + std::to_string(i + 1) + " > ", lines);
        }
      }
      continue;
    }
    for (const std::string& problem : CheckElement(*entry.element)) lines.push_back(where + ": " + problem);
  }
}

}  // namespace

std::vector<std::string> CheckDataSet(const CDicomObject& object) {
  std::vector<std::string> lines;
  CheckInto(object, "", lines);
  return lines;
}

}  // namespace quillon
