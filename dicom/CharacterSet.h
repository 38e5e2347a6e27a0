/// \file
/// The character sets text values are stored in, and the conversions
/// between their bytes and Unicode text (UTF-8). Specific Character Set
/// (0008,0005) names the set of a data set; an item without its own
/// (0008,0005) reads its text in the set of the data set around it.
///
/// Every defined term is read and written: the single-byte sets (ISO_IR 6,
/// 100, 101, 109, 110, 144, 127, 126, 138, 148, 166, 203, 13), their ISO 2022
/// forms with code extensions (JIS X 0208 and 0212, KS X 1001, GB 2312
/// switched in by escape sequences), ISO_IR 192 (UTF-8), GB18030 and GBK.
/// The letters of each set come from the C library's iconv; the escape
/// sequences, and their reset at value separators, line ends and the
/// delimiters of person names, are handled here.
///
/// Decoding is total: bytes that do not decode in the declared set are
/// shown escaped as "\xE9", never replaced, so what is shown says what is
/// stored. Encoding is strict: a character the set cannot hold is refused
/// with a reason, never replaced, so an edit can never silently change what
/// the user typed.
#pragma once

#include "base/Result.h"
#include "dicom/DicomTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quillon {

class CDicomObject;

/// One defined term of (0008,0005): the letters a value may hold.
enum class CharsetTerm : uint8_t {
  Default,   ///< "" or ISO_IR 6 / ISO 2022 IR 6: ASCII
  IsoIr100,  ///< Latin-1
  IsoIr101,  ///< Latin-2
  IsoIr109,  ///< Latin-3
  IsoIr110,  ///< Latin-4
  IsoIr144,  ///< Cyrillic
  IsoIr127,  ///< Arabic
  IsoIr126,  ///< Greek
  IsoIr138,  ///< Hebrew
  IsoIr148,  ///< Latin-5
  IsoIr166,  ///< Thai
  IsoIr203,  ///< Latin-9
  IsoIr13,   ///< JIS X 0201: Romaji and half-width Katakana
  IsoIr87,   ///< JIS X 0208 (code extension only)
  IsoIr159,  ///< JIS X 0212 (code extension only)
  IsoIr149,  ///< KS X 1001 (code extension only)
  IsoIr58,   ///< GB 2312 (code extension only)
  Utf8,      ///< ISO_IR 192
  Gb18030,
  Gbk,
  Unknown,   ///< a term this program does not know: read as the default
};

/// Which bytes end a run of text and so return a value to its first
/// character set: value separators, CR, LF, FF and TAB always, and '^'
/// and '=' inside person names.
enum class TextDelimiters : uint8_t { Text, PersonName };

/// The delimiters of values of `vr`.
TextDelimiters DelimitersOf(DicomVR vr);

/// True for the VRs whose values may hold the data set's character set (SH,
/// LO, ST, LT, UC, UT, PN); every other text VR holds the default
/// repertoire only.
bool UsesSpecificCharacterSet(DicomVR vr);

/// True when `bytes` need no conversion in any set: ASCII without escape
/// sequences, the common case. Inline and eight bytes at a time, so the
/// dump pays for ASCII text no more than this scan.
inline bool IsPlainAsciiText(std::string_view bytes) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kTops = 0x8080808080808080u;
  constexpr uint64_t kEscapes = kOnes * 0x1B;
  // A top bit set, or a byte equal to ESC (a zero byte of word ^ ESCs).
  const auto plain = [](uint64_t word) {
    const uint64_t escapes = word ^ kEscapes;
    return ((word | ((escapes - kOnes) & ~escapes)) & kTops) == 0;
  };
  if (bytes.empty()) return true;
  uint64_t word = 0;
  if (bytes.size() < sizeof word) {
    // Short values (codes, numbers) in one word (the host is little
    // endian): only the bytes of the value count.
    std::memcpy(&word, bytes.data(), bytes.size());
    const uint64_t valid = ~uint64_t{0} >> (64 - 8 * bytes.size());
    const uint64_t escapes = (word ^ kEscapes) | ~valid;
    return ((word | ((escapes - kOnes) & ~escapes)) & kTops & valid) == 0;
  }
  for (size_t i = 0; i + sizeof word < bytes.size(); i += sizeof word) {
    std::memcpy(&word, bytes.data() + i, sizeof word);
    if (!plain(word)) return false;
  }
  // The last word ends with the value, overlapping the one before.
  std::memcpy(&word, bytes.data() + bytes.size() - sizeof word, sizeof word);
  return plain(word);
}

/// What a decode met that a reader may want to hear about.
struct DecodeNotes {
  /// Bytes beyond ASCII in a data set that declares no character set (or
  /// one this program does not know): shown as Latin-1.
  bool undeclaredNonAscii = false;
  /// Bytes that do not decode in the declared set: shown as "\xNN".
  bool undecodable = false;
};

/// The character set of a data set, as its (0008,0005) declares it.
/// A small value: copy it freely.
class CCharacterSet {
 public:
  /// The default repertoire of a data set without (0008,0005).
  CCharacterSet() = default;

  /// The set the value of (0008,0005) declares. Leading and trailing spaces
  /// of each value are ignored; an empty first value is the default
  /// repertoire. Terms this program does not know read as the default.
  static CCharacterSet FromSpecificCharacterSet(std::string_view value);
  /// ISO_IR 192, which holds every character.
  static CCharacterSet Utf8();

  /// True when (0008,0005) was present.
  bool IsDeclared() const { return m_declared; }
  /// True for ISO_IR 192.
  bool IsUtf8() const { return m_count >= 1 && m_terms[0] == CharsetTerm::Utf8; }
  /// The value of (0008,0005) that declares this set, as the defined terms
  /// joined by backslashes; empty for the undeclared default repertoire.
  const std::string& Value() const { return m_value; }
  /// The set for messages: "ISO_IR 126", or "the default character
  /// repertoire (ASCII)".
  std::string Describe() const;

  bool operator==(const CCharacterSet& other) const {
    return m_value == other.m_value && m_declared == other.m_declared;
  }

  /// Appends the text of `bytes`, stored in this set, to `out` as UTF-8.
  /// Every character is kept, control characters included; bytes that do not
  /// decode appear as "\xNN". ASCII without escape sequences is copied as
  /// it is. `notes`, when given, is told what the decode met.
  void Decode(std::string_view bytes, TextDelimiters delimiters, std::string& out, DecodeNotes* notes = nullptr) const;
  /// Decode into a new string.
  std::string Decoded(std::string_view bytes, TextDelimiters delimiters) const;

  /// Encodes the UTF-8 text `utf8` into the bytes of this set, with the
  /// escape sequences the set needs. Refused, saying why and naming the
  /// character, when the text is not valid UTF-8 or holds a character the
  /// set cannot store (ErrorCode::Refused).
  Result<std::string> Encode(std::string_view utf8, TextDelimiters delimiters) const;

 private:
  static constexpr size_t kMaxTerms = 6;

  std::array<CharsetTerm, kMaxTerms> m_terms{};
  uint8_t m_count = 0;
  bool m_declared = false;
  std::string m_value;
};

/// The set in force in `object`: its own (0008,0005) when it has one, else
/// `inherited` (the set of the enclosing data set; the default repertoire at
/// the top).
CCharacterSet CharsetInForce(const CDicomObject& object, const CCharacterSet& inherited);

/// True when a value whose characters (0008,0005) names holds bytes beyond
/// ASCII where no (0008,0005) is in force, in `object` or any of its items.
/// Such bytes are shown as Latin-1, a guess the reader should be told of.
bool HasUndeclaredNonAsciiText(const CDicomObject& object, bool declared = false);

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

/// "'é' (U+00E9)": the character as typed and its code point, so a message
/// names it even when the font cannot show it.
std::string NameCharacter(char32_t c);

}  // namespace quillon
