/// \file
/// The character sets text values are stored in, and the conversions
/// between their bytes and Unicode text (UTF-8). Specific Character Set
/// (0008,0005) names the set of a data set; an item without its own
/// (0008,0005) reads its text in the set of the data set around it.
///
/// Decoding is total (any bytes give valid UTF-8, undecodable bytes become
/// U+FFFD), so a damaged value can always be shown. Encoding is strict: a
/// character the set cannot hold is refused with a reason, never replaced,
/// so an edit can never silently change what the user typed.
#pragma once

#include "base/Result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

class CDicomObject;

/// How the bytes of a text value are to be read and written.
enum class TextCharset : uint8_t {
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
  /// Only ASCII can be written in it.
  Unsupported,
};

/// The charset selected by the value of Specific Character Set (0008,0005),
/// as GetString returns it. Leading and trailing spaces are ignored; the
/// defined terms are matched exactly. An empty value is the default
/// repertoire.
TextCharset CharsetFromSpecificCharacterSet(std::string_view value);

/// The charset in force in `object`: its own (0008,0005) when it has one,
/// else `inherited` (the set of the enclosing data set; Latin1 at the top).
TextCharset CharsetInForce(const CDicomObject& object, TextCharset inherited);

/// The name users know a charset by ("ISO_IR 100 (Latin-1)", ...), for
/// messages.
const char* DescribeCharset(TextCharset charset);

/// The replacement character written where bytes cannot be decoded.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

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

/// Appends the text of \p bytes, stored in \p charset, to \p out as UTF-8.
/// Every character is kept, control characters included; bytes that cannot
/// be decoded become U+FFFD.
void AppendDecodedText(std::string_view bytes, TextCharset charset, std::string& out);

/// Encodes the UTF-8 text \p utf8 into the bytes of \p charset. Refused,
/// saying why, when the text is not valid UTF-8 or holds a character the
/// set cannot store.
Result<std::string> EncodeText(std::string_view utf8, TextCharset charset);

}  // namespace quillon
