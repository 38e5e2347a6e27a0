/// \file
/// The graphic character sets that the terms of (0008,0005) put into the
/// two halves of the byte range (G0: 0x21–0x7E, G1: 0xA1–0xFE), their
/// escape sequences, and their letters. The letters are not typed in here:
/// each table is read once, on first use, from the C library's iconv
/// converter for that set, so they are the tables every other program on
/// the machine uses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

/// A graphic set that can be designated to G0 or G1.
enum class GraphicSet : uint8_t {
  None,      ///< nothing designated (G1 of the default repertoire)
  Ascii,     ///< ISO 646 IRV, G0
  JisRoman,  ///< JIS X 0201 Romaji, G0; read and written as ASCII
  Latin1,    ///< the upper halves of ISO 8859-1 ... (G1)
  Latin2,
  Latin3,
  Latin4,
  Cyrillic,
  Arabic,
  Greek,
  Hebrew,
  Latin5,
  Thai,      ///< TIS 620
  Latin9,
  Katakana,  ///< JIS X 0201 half-width Katakana, G1
  JisX0208,  ///< two bytes a character, G0
  JisX0212,  ///< two bytes a character, G0
  KsX1001,   ///< two bytes a character, G1
  Gb2312,    ///< two bytes a character, G1
};

/// True for the sets designated to G0 (ASCII, Romaji, JIS X 0208/0212).
bool IsG0Set(GraphicSet set);
/// True for the sets of two bytes a character.
bool IsDoubleByteSet(GraphicSet set);

/// The escape sequence that designates `set` (without the ESC byte), e.g.
/// "-F" for Greek, "$B" for JIS X 0208; empty for None.
std::string_view EscapeSequenceOf(GraphicSet set);
/// The set an escape sequence designates, reading `bytes` just after the
/// ESC byte; `length` is set to the bytes it takes. None when unknown.
GraphicSet SetOfEscapeSequence(std::string_view bytes, size_t& length);

/// The character of one byte (0x80–0xFF, read in G1) of a single-byte set,
/// or 0 when the set has no character there.
char32_t DecodeSingleByte(GraphicSet set, uint8_t byte);
/// The character of a two-byte code of a double-byte set, each byte given
/// with its top bit cleared (0x21–0x7E), or 0 when the set has none there.
char32_t DecodeDoubleByte(GraphicSet set, uint8_t first, uint8_t second);
/// The byte (0x80–0xFF) of `c` in a single-byte set, or 0 when the set
/// lacks it.
uint8_t EncodeSingleByte(GraphicSet set, char32_t c);
/// The two-byte code of `c` in a double-byte set, each byte with its top
/// bit cleared (first in the high half), or 0 when the set lacks it.
uint16_t EncodeDoubleByte(GraphicSet set, char32_t c);

/// Converts a whole value with an iconv converter (GB18030 and GBK, whose
/// characters are one, two or four bytes). Decoding appends UTF-8 to
/// `out`, writing "\xNN" for bytes that do not decode (and setting
/// `undecodable`); false only when the converter cannot be had.
bool DecodeWithIconv(const char* encoding, std::string_view bytes, std::string& out, bool& undecodable);
/// Encodes UTF-8 `utf8` into `encoding`. On a character the set lacks,
/// returns false with `failedAt` the byte offset of that character in
/// `utf8`; SIZE_MAX when the converter cannot be had.
bool EncodeWithIconv(const char* encoding, std::string_view utf8, std::string& out, size_t& failedAt);

/// Appends "\xNN" for a byte that does not decode.
void AppendEscapedByte(uint8_t byte, std::string& out);

}  // namespace quillon
