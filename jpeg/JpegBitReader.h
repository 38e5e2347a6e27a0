/// \file
/// CJpegBitReader — reads the entropy-coded data of a scan bit by bit,
/// most significant bit first, taking out the zero byte stuffed after every
/// 0xFF data byte. It never reads past a marker or the end of the data:
/// there it feeds zero bits and counts them, so a decoder runs its loops
/// without a bounds check per code and asks once per line (or row of
/// blocks) whether it has used more bits than the data held.
///
/// An invalid Huffman code does not stop the decode loop either: it marks
/// the reader as corrupt and decodes as 0, and the decoder reports the
/// error at its next check. Either way the work per image stays bounded by
/// the image size the caller accepted.
///
/// Everything a decode loop calls is inline and the reader is a small value
/// with no pointers into itself, so a loop that works on a local copy keeps
/// the bit buffer in registers.
#pragma once

#include "jpeg/JpegHuffmanTable.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quillon {

class CJpegBitReader {
 public:
  /// Reads `data[begin …]`, up to the first marker or `length`.
  CJpegBitReader(const uint8_t* data, size_t length, size_t begin)
      : m_data(data), m_length(length), m_position(begin) {}

  /// Ensures at least 32 bits are buffered (real or, past the data, zero),
  /// enough for the longest code with its extra bits.
  void Fill() {
    if (m_count < 32) Refill();
  }

  /// The next `count` (1 … 32) buffered bits without consuming them.
  uint32_t Peek(uint32_t count) const { return static_cast<uint32_t>(m_bits >> (64 - count)); }
  void Skip(uint32_t count) {
    m_bits <<= count;
    m_count -= count;
  }
  /// Consumes and returns the next `count` (0 … 16) bits.
  uint32_t Take(uint32_t count) {
    if (count == 0) return 0;
    const uint32_t bits = Peek(count);
    Skip(count);
    return bits;
  }

  /// Decodes one difference (a DC or lossless table): the code and its
  /// extra bits, as a signed value; 32768 for the 16-bit category.
  /// Call Fill first.
  int32_t DecodeDifference(const CJpegHuffmanTable& table) {
    const uint32_t entry = table.Lookup(Peek(CJpegHuffmanTable::kLookaheadBits));
    if ((entry & CJpegHuffmanTable::kValueComplete) != 0) {
      Skip(entry & CJpegHuffmanTable::kLengthMask);
      return static_cast<int16_t>(entry >> 16);
    }
    return DecodeDifferenceSlowly(table, entry);
  }

  /// Decodes one AC symbol: the run of zeros before the coefficient (high
  /// four bits of `runSize`) and the coefficient's size (low four), and the
  /// coefficient itself as the result. Call Fill first.
  int32_t DecodeCoefficient(const CJpegHuffmanTable& table, uint32_t& runSize) {
    const uint32_t entry = table.Lookup(Peek(CJpegHuffmanTable::kLookaheadBits));
    runSize = (entry >> 8) & 0xFF;
    if ((entry & CJpegHuffmanTable::kValueComplete) != 0) {
      Skip(entry & CJpegHuffmanTable::kLengthMask);
      return static_cast<int16_t>(entry >> 16);
    }
    return DecodeCoefficientSlowly(table, entry, runSize);
  }

  /// More bits were consumed than the data held before its end or marker.
  bool Overrun() const { return m_padding > m_count; }
  /// A bit pattern matched no code of a table.
  bool Corrupt() const { return m_corrupt; }
  void MarkCorrupt() { m_corrupt = true; }

  /// Offset of the byte holding the next unconsumed bit (close to it when
  /// stuffed bytes are buffered), for messages.
  size_t Offset() const {
    const uint32_t real = m_count > m_padding ? m_count - m_padding : 0;
    const size_t buffered = real / 8;
    return m_position > buffered ? m_position - buffered : 0;
  }
  /// Offset of the first byte not yet taken into the buffer: where the
  /// marker after the data is, once the decoder is done with the scan.
  size_t Position() const { return m_position; }

  /// Steps over the restart marker RSTn, n = `index` mod 8, that ends a
  /// restart interval (fill bytes 0xFF may precede it), and starts the next
  /// interval with an empty buffer. False, leaving Position() at the offset
  /// found, when something else is there.
  [[nodiscard]] bool SkipRestartMarker(uint32_t index);

 private:
  void Refill();
  int32_t DecodeDifferenceSlowly(const CJpegHuffmanTable& table, uint32_t entry);
  int32_t DecodeCoefficientSlowly(const CJpegHuffmanTable& table, uint32_t entry, uint32_t& runSize);
  /// The symbol of the code at the front of the buffer, consumed; 0 (and
  /// corrupt) when no code matches.
  uint32_t DecodeSymbol(const CJpegHuffmanTable& table, uint32_t entry);

  const uint8_t* m_data;
  size_t m_length;
  size_t m_position;
  /// Buffered bits, the next one the most significant; below m_count the
  /// word is zero.
  uint64_t m_bits = 0;
  uint32_t m_count = 0;
  /// Zero bits fed past the data's end or marker; they are the last
  /// m_padding of the buffered bits.
  uint32_t m_padding = 0;
  /// A marker or the end of the data was met: only zero bits follow.
  bool m_stopped = false;
  bool m_corrupt = false;
};

inline void CJpegBitReader::Refill() {
  // The common case: eight bytes ahead, none of them 0xFF, so whole bytes
  // go in at once without looking for stuffing or markers.
  if (!m_stopped && m_length - m_position >= 8) {
    uint64_t word;
    std::memcpy(&word, m_data + m_position, sizeof word);
    word = __builtin_bswap64(word);
    const uint64_t inverted = ~word;  // a 0xFF byte becomes a zero byte
    if (((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) == 0) {
      const uint32_t bytes = (64 - m_count) / 8;
      m_bits |= (word >> (64 - 8 * bytes)) << (64 - m_count - 8 * bytes);
      m_position += bytes;
      m_count += 8 * bytes;
      return;
    }
  }
  while (m_count <= 56) {
    uint64_t byte = 0;
    if (!m_stopped && m_position < m_length) {
      const uint8_t value = m_data[m_position];
      if (value != 0xFF) {
        byte = value;
        ++m_position;
      } else if (m_position + 1 < m_length && m_data[m_position + 1] == 0x00) {
        byte = 0xFF;
        m_position += 2;
      } else {
        m_stopped = true;  // a marker (or a lone 0xFF at the end)
      }
    } else {
      m_stopped = true;
    }
    if (m_stopped) m_padding += 8;
    m_bits |= byte << (56 - m_count);
    m_count += 8;
  }
}

inline uint32_t CJpegBitReader::DecodeSymbol(const CJpegHuffmanTable& table, uint32_t entry) {
  uint32_t length = entry & CJpegHuffmanTable::kLengthMask;
  uint32_t symbol = (entry >> 8) & 0xFF;
  if (length == 0) {
    const uint32_t found = table.DecodeLong(Peek(16));
    if (found == 0) {
      MarkCorrupt();
      return 0;
    }
    length = found >> 8;
    symbol = found & 0xFF;
  }
  Skip(length);
  return symbol;
}

inline int32_t CJpegBitReader::DecodeDifferenceSlowly(const CJpegHuffmanTable& table, uint32_t entry) {
  const uint32_t size = DecodeSymbol(table, entry);
  if (size >= 16) {
    // Only 16 is a category (of lossless images, without extra bits); a
    // larger symbol is damage the scan's table check lets through to here.
    if (size > 16) MarkCorrupt();
    return 32768;
  }
  return CJpegHuffmanTable::Extend(Take(size), size);
}

inline int32_t CJpegBitReader::DecodeCoefficientSlowly(const CJpegHuffmanTable& table, uint32_t entry,
                                                       uint32_t& runSize) {
  runSize = DecodeSymbol(table, entry);
  const uint32_t size = runSize & 15u;
  return CJpegHuffmanTable::Extend(Take(size), size);
}

}  // namespace quillon
