/// \file
/// Reading and writing the fixed-size integers of element headers in the
/// byte order of a stream: little endian, or big endian in mode 2.
#pragma once

#include <cstdint>

namespace quillon {

inline uint16_t LoadU16(const uint8_t* p, bool bigEndian) {
  return bigEndian ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t LoadU32(const uint8_t* p, bool bigEndian) {
  if (bigEndian) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
  }
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline void StoreU16(uint8_t* p, uint16_t v, bool bigEndian) {
  if (bigEndian) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
  } else {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  }
}

inline void StoreU32(uint8_t* p, uint32_t v, bool bigEndian) {
  for (unsigned i = 0; i < 4; ++i) {
    const unsigned shift = bigEndian ? 24 - 8 * i : 8 * i;
    p[i] = static_cast<uint8_t>(v >> shift);
  }
}

}  // namespace quillon
