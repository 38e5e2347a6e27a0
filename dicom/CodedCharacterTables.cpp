/// \file
/// The letters of the graphic sets, read from iconv once per set.
#include "dicom/CodedCharacterTables.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace quillon {
namespace {

constexpr size_t kSetCount = static_cast<size_t>(GraphicSet::Gb2312) + 1;
constexpr size_t kRowSize = 94;  // a 94-character set: 0x21–0x7E

struct SetFacts {
  std::string_view escape;
  const char* iconvName;  ///< the iconv converter its letters come from
};

// By GraphicSet. JIS X 0212 is reached through EUC-JP's single shift 3;
// Katakana through Shift_JIS, where each of them is one byte.
constexpr std::array<SetFacts, kSetCount> kFacts{{
    {"", nullptr},
    {"(B", nullptr},
    {"(J", nullptr},
    {"-A", "ISO-8859-1"},
    {"-B", "ISO-8859-2"},
    {"-C", "ISO-8859-3"},
    {"-D", "ISO-8859-4"},
    {"-L", "ISO-8859-5"},
    {"-G", "ISO-8859-6"},
    {"-F", "ISO-8859-7"},
    {"-H", "ISO-8859-8"},
    {"-M", "ISO-8859-9"},
    {"-T", "TIS-620"},
    {"-b", "ISO-8859-15"},
    {")I", "SHIFT_JIS"},
    {"$B", "EUC-JP"},
    {"$(D", "EUC-JP"},
    {"$)C", "EUC-KR"},
    {"$)A", "GB2312"},
}};

const SetFacts& FactsOf(GraphicSet set) { return kFacts[static_cast<size_t>(set)]; }

/// An iconv converter, closed when it goes.
struct IconvCloser {
  void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from) {
  iconv_t handle = iconv_open(to, from);
  if (handle == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return IconvHandle(handle);
}

/// The one character `bytes` convert to, or 0 when they are not exactly
/// one character of the converter's set.
char32_t ConvertOne(void* converter, const char* bytes, size_t size) {
  iconv(static_cast<iconv_t>(converter), nullptr, nullptr, nullptr, nullptr);
  char input[4];
  for (size_t i = 0; i < size; ++i) input[i] = bytes[i];
  char output[16];
  char* in = input;
  char* out = output;
  size_t inLeft = size;
  size_t outLeft = sizeof output;
  if (iconv(static_cast<iconv_t>(converter), &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) ||
      inLeft != 0 || out - output != 4) {
    return 0;
  }
  // UTF-32LE: one code point.
  const auto* u = reinterpret_cast<const unsigned char*>(output);
  return static_cast<char32_t>(u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<uint32_t>(u[3]) << 24));
}

/// The letters of one set in both directions.
struct SetTable {
  std::vector<char32_t> toUnicode;  ///< by byte - 0x80, or by (row, cell) of a double-byte set
  std::unordered_map<char32_t, uint16_t> fromUnicode;
};

SetTable BuildTable(GraphicSet set) {
  SetTable table;
  IconvHandle converter = OpenIconv("UTF-32LE", FactsOf(set).iconvName);
  if (!converter) return table;
  if (!IsDoubleByteSet(set)) {
    table.toUnicode.assign(128, 0);
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
      // Katakana are the bytes A1–DF; Shift_JIS would read the others as
      // the first byte of a Kanji.
      if (set == GraphicSet::Katakana && (byte < 0xA1 || byte > 0xDF)) continue;
      const char input = static_cast<char>(byte);
      const char32_t c = ConvertOne(converter.get(), &input, 1);
      table.toUnicode[byte - 0x80] = c;
      if (c != 0) table.fromUnicode.emplace(c, static_cast<uint16_t>(byte));
    }
    return table;
  }
  table.toUnicode.assign(kRowSize * kRowSize, 0);
  for (unsigned row = 0; row < kRowSize; ++row) {
    for (unsigned cell = 0; cell < kRowSize; ++cell) {
      const char first = static_cast<char>(0xA1 + row);
      const char second = static_cast<char>(0xA1 + cell);
      const char eucJp0212[3] = {'\x8F', first, second};
      const char pair[2] = {first, second};
      const char32_t c = set == GraphicSet::JisX0212 ? ConvertOne(converter.get(), eucJp0212, 3)
                                                     : ConvertOne(converter.get(), pair, 2);
      table.toUnicode[row * kRowSize + cell] = c;
      // The first code of a character wins, as a scan from the top would.
      if (c != 0) table.fromUnicode.emplace(c, static_cast<uint16_t>(((0x21 + row) << 8) | (0x21 + cell)));
    }
  }
  return table;
}

/// Every set's table, each built on its first use. Built once and never
/// changed afterwards, so threads share them freely.
const SetTable& TableOf(GraphicSet set) {
  switch (set) {
#define QUILLON_SET_TABLE(name)                                  \
  case GraphicSet::name: {                                       \
    static const SetTable table = BuildTable(GraphicSet::name);  \
    return table;                                                \
  }
    QUILLON_SET_TABLE(Latin1)
    QUILLON_SET_TABLE(Latin2)
    QUILLON_SET_TABLE(Latin3)
    QUILLON_SET_TABLE(Latin4)
    QUILLON_SET_TABLE(Cyrillic)
    QUILLON_SET_TABLE(Arabic)
    QUILLON_SET_TABLE(Greek)
    QUILLON_SET_TABLE(Hebrew)
    QUILLON_SET_TABLE(Latin5)
    QUILLON_SET_TABLE(Thai)
    QUILLON_SET_TABLE(Latin9)
    QUILLON_SET_TABLE(Katakana)
    QUILLON_SET_TABLE(JisX0208)
    QUILLON_SET_TABLE(JisX0212)
    QUILLON_SET_TABLE(KsX1001)
    QUILLON_SET_TABLE(Gb2312)
#undef QUILLON_SET_TABLE
    default: break;
  }
  static const SetTable empty;
  return empty;
}

}  // namespace

bool IsG0Set(GraphicSet set) {
  return set == GraphicSet::Ascii || set == GraphicSet::JisRoman || set == GraphicSet::JisX0208 ||
         set == GraphicSet::JisX0212;
}

bool IsDoubleByteSet(GraphicSet set) {
  return set == GraphicSet::JisX0208 || set == GraphicSet::JisX0212 || set == GraphicSet::KsX1001 ||
         set == GraphicSet::Gb2312;
}

std::string_view EscapeSequenceOf(GraphicSet set) { return FactsOf(set).escape; }

GraphicSet SetOfEscapeSequence(std::string_view bytes, size_t& length) {
  length = 0;
  for (size_t i = 1; i < kSetCount; ++i) {
    const std::string_view escape = kFacts[i].escape;
    if (bytes.substr(0, escape.size()) == escape) {
      length = escape.size();
      return static_cast<GraphicSet>(i);
    }
  }
  return GraphicSet::None;
}

char32_t DecodeSingleByte(GraphicSet set, uint8_t byte) {
  const SetTable& table = TableOf(set);
  if (byte < 0x80 || table.toUnicode.size() != 128) return 0;
  return table.toUnicode[byte - 0x80];
}

char32_t DecodeDoubleByte(GraphicSet set, uint8_t first, uint8_t second) {
  const SetTable& table = TableOf(set);
  if (first < 0x21 || first > 0x7E || second < 0x21 || second > 0x7E || table.toUnicode.size() != kRowSize * kRowSize) {
    return 0;
  }
  return table.toUnicode[(first - 0x21u) * kRowSize + (second - 0x21u)];
}

uint8_t EncodeSingleByte(GraphicSet set, char32_t c) {
  const SetTable& table = TableOf(set);
  if (IsDoubleByteSet(set)) return 0;
  const auto found = table.fromUnicode.find(c);
  return found == table.fromUnicode.end() ? 0 : static_cast<uint8_t>(found->second);
}

uint16_t EncodeDoubleByte(GraphicSet set, char32_t c) {
  if (!IsDoubleByteSet(set)) return 0;
  const SetTable& table = TableOf(set);
  const auto found = table.fromUnicode.find(c);
  return found == table.fromUnicode.end() ? 0 : found->second;
}

void AppendEscapedByte(uint8_t byte, std::string& out) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const char text[4] = {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
  out.append(text, sizeof text);
}

bool DecodeWithIconv(const char* encoding, std::string_view bytes, std::string& out, bool& undecodable) {
  IconvHandle converter = OpenIconv("UTF-8", encoding);
  if (!converter) return false;
  std::string buffer(bytes);
  char* in = buffer.data();
  size_t inLeft = buffer.size();
  char chunk[256];
  while (inLeft > 0) {
    char* outPtr = chunk;
    size_t outLeft = sizeof chunk;
    const size_t result = iconv(static_cast<iconv_t>(converter.get()), &in, &inLeft, &outPtr, &outLeft);
    out.append(chunk, static_cast<size_t>(outPtr - chunk));
    if (result != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // A byte that starts no character here (EILSEQ), or a character cut
    // off by the end of the value (EINVAL): show it and go on after it.
    AppendEscapedByte(static_cast<uint8_t>(*in), out);
    undecodable = true;
    ++in;
    --inLeft;
    iconv(static_cast<iconv_t>(converter.get()), nullptr, nullptr, nullptr, nullptr);
  }
  return true;
}

bool EncodeWithIconv(const char* encoding, std::string_view utf8, std::string& out, size_t& failedAt) {
  IconvHandle converter = OpenIconv(encoding, "UTF-8");
  if (!converter) {
    failedAt = SIZE_MAX;
    return false;
  }
  std::string buffer(utf8);
  char* in = buffer.data();
  size_t inLeft = buffer.size();
  char chunk[256];
  while (inLeft > 0) {
    char* outPtr = chunk;
    size_t outLeft = sizeof chunk;
    const size_t result = iconv(static_cast<iconv_t>(converter.get()), &in, &inLeft, &outPtr, &outLeft);
    out.append(chunk, static_cast<size_t>(outPtr - chunk));
    if (result != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    failedAt = static_cast<size_t>(in - buffer.data());
    return false;
  }
  // Some converters end in a shift state: write what returns to the start.
  char* outPtr = chunk;
  size_t outLeft = sizeof chunk;
  iconv(static_cast<iconv_t>(converter.get()), nullptr, nullptr, &outPtr, &outLeft);
  out.append(chunk, static_cast<size_t>(outPtr - chunk));
  return true;
}

}  // namespace quillon
