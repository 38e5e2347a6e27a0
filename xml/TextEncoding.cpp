/// \file
/// Character set decoding for the XML export.
#include "xml/TextEncoding.h"

#include <cstdint>

namespace quillon {
namespace {

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

/// Appends an ASCII byte unless XML forbids it (the C0 controls other than
/// tab, line feed and carriage return).
void AppendAscii(unsigned char byte, std::string& out) {
  if (IsXmlChar(byte)) out.push_back(static_cast<char>(byte));
}

void AppendLatin1(std::string_view bytes, std::string& out) {
  for (const char raw : bytes) {
    const auto byte = static_cast<unsigned char>(raw);
    if (byte < 0x80) {
      AppendAscii(byte, out);
    } else {
      // U+0080–U+00FF: every one of them is an XML character.
      out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
}

void AppendFromUtf8(std::string_view bytes, std::string& out) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[pos]);
    if (byte < 0x80) {  // the common case, without the decoder
      AppendAscii(byte, out);
      ++pos;
      continue;
    }
    char32_t c = 0;
    if (!DecodeUtf8Char(bytes, pos, c)) {
      AppendUtf8(kReplacementCharacter, out);
    } else if (IsXmlChar(c)) {
      AppendUtf8(c, out);
    }
  }
}

void AppendUndecodable(std::string_view bytes, std::string& out) {
  for (const char raw : bytes) {
    const auto byte = static_cast<unsigned char>(raw);
    if (byte < 0x80) {
      AppendAscii(byte, out);
    } else {
      AppendUtf8(kReplacementCharacter, out);
    }
  }
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

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

void AppendXmlText(std::string_view bytes, TextCharset charset, std::string& out) {
  switch (charset) {
    case TextCharset::Latin1:
      AppendLatin1(bytes, out);
      return;
    case TextCharset::Utf8:
      AppendFromUtf8(bytes, out);
      return;
    case TextCharset::Unsupported:
      AppendUndecodable(bytes, out);
      return;
  }
}

}  // namespace quillon
