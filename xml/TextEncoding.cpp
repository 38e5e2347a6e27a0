/// \file
/// Character set decoding for the XML export.
#include "xml/TextEncoding.h"

#include <cstdint>

namespace quillon {

void AppendXmlText(std::string_view bytes, const CCharacterSet& charset, TextDelimiters delimiters,
                   std::string& out) {
  std::string decoded;
  charset.Decode(bytes, delimiters, decoded);
  out.reserve(out.size() + decoded.size());
  std::size_t pos = 0;
  while (pos < decoded.size()) {
    const auto byte = static_cast<unsigned char>(decoded[pos]);
    if (byte < 0x80) {  // the common case, without the decoder
      if (IsXmlChar(byte)) out.push_back(static_cast<char>(byte));
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    char32_t c = 0;
    // The decoder writes well-formed UTF-8 only.
    if (DecodeUtf8Char(decoded, pos, c) && IsXmlChar(c)) out.append(decoded, start, pos - start);
  }
}

}  // namespace quillon
