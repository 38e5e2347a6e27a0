/// \file
/// Character set decoding for the XML export.
#include "xml/TextEncoding.h"

#include <cstdint>

namespace quillon {
namespace {

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

}  // namespace

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
