/// \file
/// The XML 1.0 (Fifth Edition) rules for element names, checked on the
/// UTF-8 bytes of a name. The XML dictionary is a user-edited file whose
/// names become element names; pugixml writes whatever name it is given,
/// so the export checks each name here and refuses one a parser would
/// reject rather than write a file that is not XML.
#pragma once

#include <string_view>

namespace quillon {

/// True when \p c may start an XML name (production NameStartChar):
/// ":", "_", A–Z, a–z and the letter ranges from U+00C0 on.
bool IsXmlNameStartChar(char32_t c);

/// True when \p c may follow the first character of an XML name
/// (production NameChar): a NameStartChar, "-", ".", 0–9, U+00B7,
/// U+0300–U+036F or U+203F–U+2040.
bool IsXmlNameChar(char32_t c);

/// True when \p name, read as UTF-8, is an XML Name: one NameStartChar and
/// any number of NameChars. False for the empty string and for bytes that
/// are not well-formed UTF-8.
bool IsXmlName(std::string_view name);

/// True when \p name is an XML Name without ":" (an NCName in the terms of
/// Namespaces in XML). A colon is part of the XML 1.0 Name rules, but it
/// makes the part before it a namespace prefix; a document that declares
/// no namespaces, as the export's does, is then rejected by every
/// namespace-aware parser (xmllint reports "Namespace prefix ... is not
/// defined").
bool IsXmlNcName(std::string_view name);

}  // namespace quillon
