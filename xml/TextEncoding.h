/// \file
/// Turning the bytes of DICOM text values into text an XML file can carry.
/// The XML export writes UTF-8, but values are stored in the character set
/// named by Specific Character Set (0008,0005); and XML 1.0 forbids some
/// characters outright (most C0 controls, U+FFFE, U+FFFF), which a value may
/// still hold. Everything here is total: any byte string gives well-formed
/// UTF-8 made only of XML characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon {

/// How the bytes of a text value are to be read.
enum class TextCharset {
  /// ISO 8859-1: every byte is the code point of the same number. Used for
  /// "ISO_IR 100" and for the default repertoire ("ISO_IR 6", or no
  /// (0008,0005) at all), because files that never declare a character set
  /// mostly hold Latin-1 when they hold anything beyond ASCII.
  Latin1,
  /// UTF-8 ("ISO_IR 192"). Byte sequences that are not UTF-8 are replaced.
  Utf8,
  /// Any other character set, including code extensions and several
  /// values. ASCII bytes are kept, every other byte becomes U+FFFD: the text
  /// cannot be decoded, and guessing would print wrong letters as if right.
  Unsupported,
};

/// The charset selected by the value of Specific Character Set (0008,0005),
/// as GetString returns it. Leading and trailing spaces are ignored; the
/// defined terms are matched exactly. An empty value is the default
/// repertoire.
TextCharset CharsetFromSpecificCharacterSet(std::string_view value);

/// The replacement character written where bytes cannot be decoded.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

/// True for a character XML 1.0 allows in a document: tab, line feed,
/// carriage return, U+0020–U+D7FF, U+E000–U+FFFD and U+10000–U+10FFFF.
constexpr bool IsXmlChar(char32_t c) {
  return c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

/// Decodes one UTF-8 character of \p text at \p pos. On success stores it in
/// \p c, moves \p pos past it and returns true. On an ill-formed sequence
/// (bad lead byte, missing or bad continuation, overlong form, surrogate,
/// beyond U+10FFFF) moves \p pos past the maximal ill-formed part — at least
/// one byte, never past a byte that may start the next character — and
/// returns false. \p pos must be below text.size().
bool DecodeUtf8Char(std::string_view text, std::size_t& pos, char32_t& c);

/// Appends \p c to \p out as UTF-8. \p c must be at most U+10FFFF and not a
/// surrogate.
void AppendUtf8(char32_t c, std::string& out);

/// Appends \p bytes, read in \p charset, to \p out as UTF-8, dropping the
/// characters XML 1.0 forbids and replacing undecodable bytes with U+FFFD.
/// Markup characters (& < >) are left as they are: escaping is the XML
/// writer's job.
void AppendXmlText(std::string_view bytes, TextCharset charset, std::string& out);

}  // namespace quillon
