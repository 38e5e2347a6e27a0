/// \file
/// Building a Huffman table's canonical codes and its fast lookup table.
#include "jpeg/JpegHuffmanTable.h"

#include <algorithm>

namespace quillon {

bool CJpegHuffmanTable::Build(const uint8_t (&counts)[16], const uint8_t* symbols, size_t symbolCount, Kind kind) {
  size_t total = 0;
  for (const uint8_t count : counts) total += count;
  if (total > m_symbols.size() || total != symbolCount) return false;
  std::copy(symbols, symbols + symbolCount, m_symbols.begin());

  m_fast.fill(0);
  m_maxCode.fill(-1);
  m_symbolOffset.fill(0);
  m_largestSize = 0;
  uint32_t code = 0;
  size_t index = 0;
  for (uint32_t length = 1; length <= 16; ++length) {
    const uint32_t count = counts[length - 1];
    m_symbolOffset[length] = static_cast<int32_t>(index) - static_cast<int32_t>(code);
    for (uint32_t i = 0; i < count; ++i, ++index, ++code) {
      // Too many codes of this length: the code no longer fits its bits
      // (nor the lookahead table). Refused before it is used.
      if (code >= (1u << length)) return false;
      const uint8_t symbol = m_symbols[index];
      const uint32_t size = kind == Kind::Difference ? symbol : symbol & 15u;
      m_largestSize = std::max(m_largestSize, size);
      if (length > kLookaheadBits) continue;
      // Every lookahead pattern that starts with this code.
      const uint32_t spare = kLookaheadBits - length;
      const uint32_t first = code << spare;
      for (uint32_t fill = 0; fill < (1u << spare); ++fill) {
        const uint32_t pattern = first | fill;
        uint32_t entry = length | (uint32_t{symbol} << 8);
        // A 16-bit difference (32768) has no extra bits but no 16-bit
        // two's complement value either: it takes the long way.
        if (size < 16 && length + size <= kLookaheadBits) {
          const uint32_t bits = (pattern >> (spare - size)) & ((1u << size) - 1);
          const auto value = static_cast<uint16_t>(Extend(bits, size));
          entry = (length + size) | kValueComplete | (uint32_t{symbol} << 8) | (uint32_t{value} << 16);
        }
        m_fast[pattern] = entry;
      }
    }
    if (count > 0) m_maxCode[length] = static_cast<int32_t>(code) - 1;
    // The codes of this length ran into the all-ones code (or past it).
    if (code >= (1u << length)) return false;
    code <<= 1;
  }
  return true;
}

}  // namespace quillon
