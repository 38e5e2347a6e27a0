/// \file
/// Character set decoding and encoding of text values.
#include "dicom/CharacterSet.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"

#include <cstdint>
#include <cstdio>

namespace quillon {
namespace {

constexpr DicomTag kSpecificCharacterSet = 0x00080005;

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

/// "'é' (U+00E9)": the character as typed and its code point, so a message
/// names it even when the font cannot show it.
std::string NameCharacter(char32_t c) {
  std::string text = "'";
  AppendUtf8(c, text);
  char code[16];
  std::snprintf(code, sizeof code, "' (U+%04X)", static_cast<unsigned>(c));
  return text + code;
}

}  // namespace

TextCharset CharsetFromSpecificCharacterSet(std::string_view value) {
  value = TrimSpaces(value);
  if (value.empty() || value == "ISO_IR 6" || value == "ISO_IR 100" || value == "ISO 2022 IR 6" ||
      value == "ISO 2022 IR 100") {
    return TextCharset::Latin1;
  }
  if (value == "ISO_IR 192") return TextCharset::Utf8;
  return TextCharset::Unsupported;
}

TextCharset CharsetInForce(const CDicomObject& object, TextCharset inherited) {
  const CDicomElement* element = object.Elements().Find(kSpecificCharacterSet);
  return element ? CharsetFromSpecificCharacterSet(element->GetTextView()) : inherited;
}

const char* DescribeCharset(TextCharset charset) {
  switch (charset) {
    case TextCharset::Latin1: return "ISO_IR 100 (Latin-1)";
    case TextCharset::Utf8: return "ISO_IR 192 (UTF-8)";
    case TextCharset::Unsupported: return "the data set's character set";
  }
  return "the data set's character set";
}

bool DecodeUtf8Char(std::string_view text, std::size_t& pos, char32_t& c) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    c = lead;
    ++pos;
    return true;
  }
  // The accepted ranges of the second byte follow the table of well-formed
  // sequences in the Unicode standard (3.9, table 3-7): they exclude
  // overlong forms, surrogates and code points beyond U+10FFFF at the first
  // byte where the sequence goes wrong.
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    ++pos;  // a continuation byte on its own, C0, C1 or F5–FF
    return false;
  }
  std::size_t next = pos + 1;
  for (std::size_t i = 1; i < length; ++i, ++next) {
    if (next >= text.size()) {
      pos = next;
      return false;
    }
    const auto byte = static_cast<unsigned char>(text[next]);
    const bool inRange = i == 1 ? (byte >= low && byte <= high) : IsContinuation(byte);
    if (!inRange) {
      pos = next;  // the offending byte may start the next character
      return false;
    }
    value = (value << 6) | (byte & 0x3Fu);
  }
  pos = next;
  c = value;
  return true;
}

void AppendUtf8(char32_t c, std::string& out) {
  const auto code = static_cast<uint32_t>(c);
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

void AppendDecodedText(std::string_view bytes, TextCharset charset, std::string& out) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[pos]);
    if (byte < 0x80) {  // ASCII is the same in every set this reads
      out.push_back(static_cast<char>(byte));
      ++pos;
      continue;
    }
    switch (charset) {
      case TextCharset::Latin1:
        AppendUtf8(byte, out);
        ++pos;
        break;
      case TextCharset::Utf8: {
        char32_t c = 0;
        AppendUtf8(DecodeUtf8Char(bytes, pos, c) ? c : kReplacementCharacter, out);
        break;
      }
      case TextCharset::Unsupported:
        AppendUtf8(kReplacementCharacter, out);
        ++pos;
        break;
    }
  }
}

Result<std::string> EncodeText(std::string_view utf8, TextCharset charset) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t start = pos;
    char32_t c = 0;
    if (!DecodeUtf8Char(utf8, pos, c)) {
      return Error(ErrorCode::Refused, "The text is not valid UTF-8 at byte " + std::to_string(start) + ".");
    }
    if (c < 0x80 || charset == TextCharset::Utf8) {
      out.append(utf8.substr(start, pos - start));
    } else if (charset == TextCharset::Latin1 && c <= 0xFF) {
      out.push_back(static_cast<char>(c));
    } else {
      return Error(ErrorCode::Refused,
                   "The character " + NameCharacter(c) + " cannot be stored in " + DescribeCharset(charset) +
                       ". Set Specific Character Set (0008,0005) to ISO_IR 192 to store any character.");
    }
  }
  return out;
}

}  // namespace quillon
