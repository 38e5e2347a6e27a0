/// \file
/// The bit reader's rare paths: codes longer than the lookahead, extra bits
/// that do not fit in it, and restart markers.
#include "jpeg/JpegBitReader.h"

namespace quillon {

uint32_t CJpegBitReader::DecodeSymbol(const CJpegHuffmanTable& table, uint32_t entry) {
  const uint32_t length = entry & CJpegHuffmanTable::kLengthMask;
  if (length != 0) {
    Skip(length);
    return (entry >> 8) & 0xFF;
  }
  uint32_t longLength = 0;
  const int32_t symbol = table.DecodeLong(Peek(16), longLength);
  if (symbol < 0) {
    MarkCorrupt();
    return 0;
  }
  Skip(longLength);
  return static_cast<uint32_t>(symbol);
}

int32_t CJpegBitReader::DecodeDifferenceSlowly(const CJpegHuffmanTable& table, uint32_t entry) {
  const uint32_t size = DecodeSymbol(table, entry);
  if (size >= 16) {
    // Only 16 is a category (of lossless images, without extra bits); a
    // larger symbol is damage the scan's table check lets through to here.
    if (size > 16) MarkCorrupt();
    return 32768;
  }
  return CJpegHuffmanTable::Extend(Take(size), size);
}

int32_t CJpegBitReader::DecodeCoefficientSlowly(const CJpegHuffmanTable& table, uint32_t entry,
                                                uint32_t& runSize) {
  runSize = DecodeSymbol(table, entry);
  const uint32_t size = runSize & 15u;
  return CJpegHuffmanTable::Extend(Take(size), size);
}

bool CJpegBitReader::SkipRestartMarker(uint32_t index) {
  // Whatever is still buffered is the padding of the interval's last byte
  // (or read-ahead zeros); the marker is at m_position.
  size_t at = m_position;
  while (at + 1 < m_length && m_data[at] == 0xFF && m_data[at + 1] == 0xFF) ++at;
  if (at + 1 >= m_length || m_data[at] != 0xFF || m_data[at + 1] != 0xD0 + (index & 7u)) {
    m_position = at;
    return false;
  }
  m_position = at + 2;
  m_bits = 0;
  m_count = 0;
  m_padding = 0;
  m_stopped = false;
  return true;
}

}  // namespace quillon
