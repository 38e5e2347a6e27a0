#include "app/HexValue.h"

#include "dicom/ValueRepresentation.h"

namespace quillon {

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

}  // namespace

std::string FormatHexBytes(const uint8_t* bytes, size_t size) {
  constexpr char kDigits[] = "0123456789abcdef";
  constexpr size_t kPerLine = 16;
  std::string text;
  text.reserve(size * 3);
  for (size_t i = 0; i < size; ++i) {
    if (i != 0) text.push_back(i % kPerLine == 0 ? '\n' : ' ');
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text, std::string& error) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  int high = -1;  // the first digit of a byte, while the second is awaited
  size_t line = 1;
  size_t column = 0;
  for (const char c : text) {
    ++column;
    if (c == '\n') {
      ++line;
      column = 0;
    }
    if (IsSpace(c)) continue;
    const int digit = DigitValue(c);
    if (digit < 0) {
      const auto byte = static_cast<unsigned char>(c);
      const std::string shown = byte >= 0x20 && byte < 0x7F ? "'" + std::string(1, c) + "'" : "a character";
      error = "The value holds " + shown + " (line " + std::to_string(line) + ", column " + std::to_string(column) +
              "), which is no hexadecimal digit: enter bytes as pairs of digits 0-9 and a-f, such as \"00 01 ff\".";
      return std::nullopt;
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0) {
    error = "The value holds an odd number of hexadecimal digits: each byte takes two (write 0f, not f).";
    return std::nullopt;
  }
  return bytes;
}

unsigned BinaryUnitOf(DicomVR vr) {
  if (vr == vr::OW) return 2;
  if (vr == vr::OF || vr == vr::OL) return 4;
  if (vr == vr::OD || vr == vr::OV) return 8;
  return 1;
}

std::string CheckBinaryLength(DicomVR vr, uint64_t size) {
  const unsigned unit = BinaryUnitOf(vr);
  if (size % unit == 0) return {};
  return "A value of VR " + VrToString(vr) + " is made of " + std::to_string(unit) + "-byte words, but this one has " +
         std::to_string(size) + " bytes: its length must be a multiple of " + std::to_string(unit) + ".";
}

bool IsBinaryVR(DicomVR vr) {
  return vr == vr::OB || vr == vr::OW || vr == vr::OL || vr == vr::OV || vr == vr::OF || vr == vr::OD ||
         vr == vr::UN || vr == vr::kUnknown;
}

}  // namespace quillon
