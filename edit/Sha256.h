/// \file
/// SHA-256 and HMAC-SHA-256, for deriving new UIDs and date offsets from a
/// secret key: the same key and the same original always give the same
/// result, and without the key no one can tell which original a result
/// came from, even by trying every likely original.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillon {

using Sha256Digest = std::array<uint8_t, 32>;

/// Hashes a message given in parts (Update any number of times, then
/// Finish once).
class CSha256 {
 public:
  CSha256();
  void Update(std::string_view bytes);
  Sha256Digest Finish();

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> m_state;
  std::array<uint8_t, 64> m_block{};
  std::size_t m_blockUsed = 0;
  uint64_t m_totalBytes = 0;
};

Sha256Digest Sha256(std::string_view message);

/// HMAC-SHA-256 of `message` under `key`.
Sha256Digest HmacSha256(std::string_view key, std::string_view message);

}  // namespace quillon
