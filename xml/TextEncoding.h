/// \file
/// Turning the bytes of DICOM text values into text an XML file can carry.
/// The XML export writes UTF-8, but values are stored in the character set
/// named by Specific Character Set (0008,0005) (see dicom/CharacterSet.h);
/// and XML 1.0 forbids some characters outright (most C0 controls, U+FFFE,
/// U+FFFF), which a value may still hold. Everything here is total: any byte
/// string gives well-formed UTF-8 made only of XML characters.
#pragma once

#include "dicom/CharacterSet.h"

#include <string>
#include <string_view>

namespace quillon {

/// True for a character XML 1.0 allows in a document: tab, line feed,
/// carriage return, U+0020–U+D7FF, U+E000–U+FFFD and U+10000–U+10FFFF.
constexpr bool IsXmlChar(char32_t c) {
  return c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

/// Appends \p bytes, read in \p charset with the delimiters of their VR, to
/// \p out as UTF-8, dropping the characters XML 1.0 forbids. Bytes that do
/// not decode appear as "\xNN", as everywhere text is shown. Markup
/// characters (& < >) are left as they are: escaping is the XML writer's
/// job.
void AppendXmlText(std::string_view bytes, const CCharacterSet& charset, TextDelimiters delimiters,
                   std::string& out);

}  // namespace quillon
