#include "edit/Sha256.h"

#include <algorithm>
#include <cstring>

namespace quillon {

namespace {

constexpr std::array<uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t RotateRight(uint32_t value, unsigned bits) { return (value >> bits) | (value << (32 - bits)); }

}  // namespace

CSha256::CSha256()
    : m_state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void CSha256::Compress(const uint8_t* block) {
  std::array<uint32_t, 64> w{};
  for (std::size_t i = 0; i < 16; ++i) {
    w[i] = (uint32_t{block[4 * i]} << 24) | (uint32_t{block[4 * i + 1]} << 16) | (uint32_t{block[4 * i + 2]} << 8) |
           uint32_t{block[4 * i + 3]};
  }
  for (std::size_t i = 16; i < 64; ++i) {
    const uint32_t s0 = RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::array<uint32_t, 8> v = m_state;
  for (std::size_t i = 0; i < 64; ++i) {
    const uint32_t s1 = RotateRight(v[4], 6) ^ RotateRight(v[4], 11) ^ RotateRight(v[4], 25);
    const uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
    const uint32_t t1 = v[7] + s1 + choice + kRoundConstants[i] + w[i];
    const uint32_t s0 = RotateRight(v[0], 2) ^ RotateRight(v[0], 13) ^ RotateRight(v[0], 22);
    const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
    const uint32_t t2 = s0 + majority;
    v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
  }
  for (std::size_t i = 0; i < 8; ++i) m_state[i] += v[i];
}

void CSha256::Update(std::string_view bytes) {
  m_totalBytes += bytes.size();
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  std::size_t left = bytes.size();
  while (left > 0) {
    const std::size_t take = std::min(left, m_block.size() - m_blockUsed);
    std::memcpy(m_block.data() + m_blockUsed, data, take);
    m_blockUsed += take;
    data += take;
    left -= take;
    if (m_blockUsed == m_block.size()) {
      Compress(m_block.data());
      m_blockUsed = 0;
    }
  }
}

Sha256Digest CSha256::Finish() {
  const uint64_t totalBits = m_totalBytes * 8;
  // A one bit, zeros up to 56 bytes into a block, then the length.
  const char one = static_cast<char>(0x80);
  Update(std::string_view(&one, 1));
  const char zero = 0;
  while (m_blockUsed != 56) Update(std::string_view(&zero, 1));
  for (int shift = 56; shift >= 0; shift -= 8) {
    m_block[m_blockUsed++] = static_cast<uint8_t>(totalBits >> shift);
  }
  Compress(m_block.data());
  Sha256Digest digest{};
  for (std::size_t i = 0; i < 8; ++i) {
    for (std::size_t b = 0; b < 4; ++b) digest[4 * i + b] = static_cast<uint8_t>(m_state[i] >> (24 - 8 * b));
  }
  return digest;
}

Sha256Digest Sha256(std::string_view message) {
  CSha256 hash;
  hash.Update(message);
  return hash.Finish();
}

Sha256Digest HmacSha256(std::string_view key, std::string_view message) {
  std::array<char, 64> block{};
  if (key.size() > block.size()) {
    const Sha256Digest hashed = Sha256(key);
    std::memcpy(block.data(), hashed.data(), hashed.size());
  } else {
    std::memcpy(block.data(), key.data(), key.size());
  }
  std::array<char, 64> inner{};
  std::array<char, 64> outer{};
  for (std::size_t i = 0; i < block.size(); ++i) {
    inner[i] = static_cast<char>(block[i] ^ 0x36);
    outer[i] = static_cast<char>(block[i] ^ 0x5c);
  }
  CSha256 innerHash;
  innerHash.Update(std::string_view(inner.data(), inner.size()));
  innerHash.Update(message);
  const Sha256Digest innerDigest = innerHash.Finish();
  CSha256 outerHash;
  outerHash.Update(std::string_view(outer.data(), outer.size()));
  outerHash.Update(std::string_view(reinterpret_cast<const char*>(innerDigest.data()), innerDigest.size()));
  return outerHash.Finish();
}

}  // namespace quillon
