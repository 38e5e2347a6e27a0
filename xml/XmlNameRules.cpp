/// \file
/// XML name checks, from the productions of XML 1.0 (Fifth Edition), 2.3.
#include "xml/XmlNameRules.h"

#include "xml/TextEncoding.h"

#include <cstddef>

namespace quillon {

bool IsXmlNameStartChar(char32_t c) {
  if (c < 0x80) {
    return c == ':' || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  }
  return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsXmlNameChar(char32_t c) {
  return IsXmlNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

bool IsXmlName(std::string_view name) {
  std::size_t pos = 0;
  bool first = true;
  while (pos < name.size()) {
    char32_t c = 0;
    if (!DecodeUtf8Char(name, pos, c)) return false;
    if (first ? !IsXmlNameStartChar(c) : !IsXmlNameChar(c)) return false;
    first = false;
  }
  return !first;
}

bool IsXmlNcName(std::string_view name) {
  return name.find(':') == std::string_view::npos && IsXmlName(name);
}

}  // namespace quillon
