/// \file
/// CJpegHuffmanTable — one Huffman table of a DHT segment, made ready for
/// fast decoding. Most codes are at most 11 bits long; for those a table of
/// 2048 entries, indexed by the next 11 bits of the data, gives the code's
/// length and symbol at once, and when the symbol's extra bits (the
/// difference or coefficient that follows the code) fit in the same 11
/// bits, the decoded value as well — so the common case costs one lookup
/// and one shift. Longer codes are found by the canonical code limits
/// (ITU-T T.81 Annex F.2.2.3).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillon {

class CJpegHuffmanTable {
 public:
  /// Bits of the data the fast table is indexed by.
  static constexpr unsigned kLookaheadBits = 11;
  /// A fast-table entry: bits 0 … 5 give the bits to consume (0: the code
  /// is longer than the lookahead, use DecodeLong); bit 6 says that bits
  /// 16 … 31 hold the decoded value (a two's complement 16-bit number) and
  /// the count includes its extra bits; bits 8 … 15 hold the symbol.
  static constexpr uint32_t kLengthMask = 0x3F;
  static constexpr uint32_t kValueComplete = 0x40;

  /// What a table's symbols mean, which decides how many extra bits follow
  /// each code.
  enum class Kind : uint8_t {
    /// DC and lossless tables (class 0): the symbol is the number of extra
    /// bits (0 … 16; 16 only in lossless images, with no extra bits).
    Difference = 0,
    /// AC tables (class 1): the low four bits are the number of extra bits,
    /// the high four a run of zero coefficients.
    RunLength = 1,
  };

  /// Builds the table from a DHT segment's 16 code counts and `symbolCount`
  /// symbols. False when the counts describe no prefix code: more than 256
  /// symbols, a count that does not match, or more codes of a length than
  /// fit (the all-ones code is reserved, as libjpeg also holds).
  [[nodiscard]] bool Build(const uint8_t (&counts)[16], const uint8_t* symbols, size_t symbolCount, Kind kind);

  /// The fast entry for the next kLookaheadBits bits of the data.
  uint32_t Lookup(uint32_t nextBits) const { return m_fast[nextBits]; }
  /// Decodes a code longer than the lookahead from the next 16 bits of the
  /// data (most significant first): the code's length in bits 8 … 15 and
  /// its symbol in bits 0 … 7, or 0 when no code of the table starts those
  /// bits.
  uint32_t DecodeLong(uint32_t next16Bits) const {
    for (uint32_t length = kLookaheadBits + 1; length <= 16; ++length) {
      const auto code = static_cast<int32_t>(next16Bits >> (16 - length));
      if (code <= m_maxCode[length]) {
        return (length << 8) | m_symbols[static_cast<size_t>(m_symbolOffset[length] + code)];
      }
    }
    return 0;
  }

  /// The largest symbol (Difference) or extra bit count (RunLength) of the
  /// table, for the decoders to check once per scan what their process
  /// allows.
  uint32_t LargestSize() const { return m_largestSize; }

  /// The value of `bits` read as the `size`-bit magnitude category of
  /// ITU-T T.81 F.2.2.1: the upper half is positive, the lower half stands
  /// for the negatives. `size` is 0 … 16.
  static int32_t Extend(uint32_t bits, uint32_t size) {
    return size == 0 ? 0 : bits < (1u << (size - 1)) ? static_cast<int32_t>(bits) - (1 << size) + 1
                                                     : static_cast<int32_t>(bits);
  }

 private:
  std::array<uint32_t, size_t{1} << kLookaheadBits> m_fast{};
  /// For each code length 1 … 16: the largest code (-1 when none) and the
  /// index of its first symbol minus its first code.
  std::array<int32_t, 17> m_maxCode{};
  std::array<int32_t, 17> m_symbolOffset{};
  std::array<uint8_t, 256> m_symbols{};
  uint32_t m_largestSize = 0;
};

}  // namespace quillon
