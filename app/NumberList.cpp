#include "app/NumberList.h"

#include "app/TagInput.h"
#include "dicom/DicomElement.h"
#include "dicom/ValueRepresentation.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quillon {

namespace {

uint64_t ReadLittle(const uint8_t* bytes, size_t size) {
  uint64_t value = 0;
  for (size_t i = size; i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

void AppendLittle(std::vector<uint8_t>& bytes, uint64_t value, size_t size) {
  for (size_t i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

template <typename T>
bool ParseWhole(std::string_view text, T& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool ParseOne(DicomVR vr, std::string_view text, std::vector<uint8_t>& bytes) {
  int64_t whole = 0;
  uint64_t unsignedWhole = 0;
  if (vr == vr::US) return ParseWhole(text, unsignedWhole) && unsignedWhole <= 65535 && (AppendLittle(bytes, unsignedWhole, 2), true);
  // SS is shown as its 16 bits read unsigned, so both readings are taken.
  if (vr == vr::SS) return ParseWhole(text, whole) && whole >= -32768 && whole <= 65535 && (AppendLittle(bytes, static_cast<uint64_t>(whole), 2), true);
  if (vr == vr::UL) return ParseWhole(text, unsignedWhole) && unsignedWhole <= UINT32_MAX && (AppendLittle(bytes, unsignedWhole, 4), true);
  if (vr == vr::SL) return ParseWhole(text, whole) && whole >= INT32_MIN && whole <= INT32_MAX && (AppendLittle(bytes, static_cast<uint64_t>(whole), 4), true);
  if (vr == vr::SV) return ParseWhole(text, whole) && (AppendLittle(bytes, static_cast<uint64_t>(whole), 8), true);
  if (vr == vr::UV) return ParseWhole(text, unsignedWhole) && (AppendLittle(bytes, unsignedWhole, 8), true);
  if (vr == vr::FL || vr == vr::FD) {
    const std::string copy(text);
    char* end = nullptr;
    const double real = std::strtod(copy.c_str(), &end);
    if (copy.empty() || end != copy.c_str() + copy.size() || !std::isfinite(real)) return false;
    if (vr == vr::FD) return AppendLittle(bytes, std::bit_cast<uint64_t>(real), 8), true;
    if (std::fabs(real) > 3.4028234663852886e38) return false;
    return AppendLittle(bytes, std::bit_cast<uint32_t>(static_cast<float>(real)), 4), true;
  }
  if (vr == vr::AT) {
    const size_t comma = text.find(',');
    uint16_t group = 0, element = 0;
    if (comma == std::string_view::npos || !ParseTagField(std::string(Trim(text.substr(0, comma))), group) ||
        !ParseTagField(std::string(Trim(text.substr(comma + 1))), element)) {
      return false;
    }
    AppendLittle(bytes, group, 2);
    AppendLittle(bytes, element, 2);
    return true;
  }
  return false;
}

std::string RangeOf(DicomVR vr) {
  if (vr == vr::US) return "a whole number from 0 to 65535";
  if (vr == vr::SS) return "a whole number from -32768 to 32767";
  if (vr == vr::UL) return "a whole number from 0 to 4294967295";
  if (vr == vr::SL) return "a whole number from -2147483648 to 2147483647";
  if (vr == vr::SV) return "a whole number of 64 bits";
  if (vr == vr::UV) return "a whole number from 0 of 64 bits";
  if (vr == vr::AT) return "a tag as gggg,eeee";
  return "a number";
}

}  // namespace

size_t NumberSize(DicomVR vr) {
  if (vr == vr::US || vr == vr::SS) return 2;
  if (vr == vr::UL || vr == vr::SL || vr == vr::FL || vr == vr::AT) return 4;
  if (vr == vr::FD || vr == vr::SV || vr == vr::UV) return 8;
  return 0;
}

std::optional<std::string> FormatNumberList(const CDicomElement& element) {
  const DicomVR vr = element.GetVR();
  const size_t size = NumberSize(vr);
  const uint32_t length = element.GetLength();
  if (size == 0 || length % size != 0 || (length != 0 && element.GetValue() == nullptr)) return std::nullopt;
  std::string text;
  char number[40];
  for (uint32_t at = 0; at < length; at += static_cast<uint32_t>(size)) {
    const uint64_t raw = ReadLittle(element.GetValue() + at, size);
    if (at != 0) text.push_back('\\');
    if (vr == vr::SL) {
      text += std::to_string(static_cast<int32_t>(raw));
    } else if (vr == vr::SV) {
      text += std::to_string(static_cast<int64_t>(raw));
    } else if (vr == vr::FL) {
      std::snprintf(number, sizeof number, "%.9g", static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(raw))));
      text += number;
    } else if (vr == vr::FD) {
      std::snprintf(number, sizeof number, "%.17g", std::bit_cast<double>(raw));
      text += number;
    } else if (vr == vr::AT) {
      std::snprintf(number, sizeof number, "%04x,%04x", static_cast<unsigned>(raw & 0xFFFF), static_cast<unsigned>(raw >> 16));
      text += number;
    } else {
      text += std::to_string(raw);  // US, UL, UV, and SS as its 16 bits stand
    }
  }
  return text;
}

bool ParseNumberList(DicomVR vr, std::string_view text, std::vector<uint8_t>& bytes, std::string& error) {
  bytes.clear();
  size_t start = 0;
  int index = 1;
  while (start <= text.size()) {
    const size_t end = std::min(text.find('\\', start), text.size());
    const std::string_view value = Trim(text.substr(start, end - start));
    if (!ParseOne(vr, value, bytes)) {
      error = "Value " + std::to_string(index) + " (\"" + std::string(value) + "\") is not " + RangeOf(vr) +
              " for VR " + VrToString(vr) + ". Separate several values with \\.";
      return false;
    }
    start = end + 1;
    ++index;
  }
  return true;
}

}  // namespace quillon
