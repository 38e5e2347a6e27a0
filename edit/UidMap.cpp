#include "edit/UidMap.h"

#include "dicom/UidGenerator.h"
#include "edit/Sha256.h"

#include <algorithm>

namespace quillon {

namespace {

// Derivations of different things under one key never meet: each message
// starts with what it is for.
constexpr std::string_view kUidPurpose = "uid\n";
constexpr std::string_view kDateShiftPurpose = "date-shift\n";
constexpr int kMaxShiftDays = 3652;
constexpr std::size_t kFlushBytes = std::size_t{1} << 20;

std::string_view KeyBytes(const UidMapKey& key) {
  return std::string_view(reinterpret_cast<const char*>(key.data()), key.size());
}

Sha256Digest Derive(const UidMapKey& key, std::string_view purpose, std::string_view what) {
  std::string message(purpose);
  message += what;
  return HmacSha256(KeyBytes(key), message);
}

uint64_t First64Bits(const Sha256Digest& digest) {
  uint64_t value = 0;
  for (std::size_t i = 0; i < 8; ++i) value = (value << 8) | digest[i];
  return value;
}

/// The first 16 bytes of `digest` as one big-endian number, in decimal.
std::string Decimal128(const Sha256Digest& digest) {
  std::array<uint8_t, 16> number{};
  std::copy_n(digest.begin(), number.size(), number.begin());
  std::string digits;
  for (;;) {
    // Divides the number by 10 in place, collecting the remainder.
    unsigned remainder = 0;
    bool zero = true;
    for (uint8_t& byte : number) {
      const unsigned current = (remainder << 8) | byte;
      byte = static_cast<uint8_t>(current / 10);
      remainder = current % 10;
      zero = zero && byte == 0;
    }
    digits.insert(digits.begin(), static_cast<char>('0' + remainder));
    if (zero) break;
  }
  return digits;
}

/// Keeps a record line on one line whatever the value held.
std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

}  // namespace

CUidMap::CUidMap(const UidMapKey& key, std::string recordPath) : m_key(key), m_recordPath(std::move(recordPath)) {}

Result<std::unique_ptr<CUidMap>> CUidMap::ForOneRun() {
  Result<UidMapKey> key = RandomUidMapKey();
  if (!key) return key.GetError();
  return std::make_unique<CUidMap>(*key);
}

Result<std::unique_ptr<CUidMap>> CUidMap::FromFile(const std::string& path) {
  Result<UidMapKey> fresh = RandomUidMapKey();
  if (!fresh) return fresh.GetError();
  Result<UidMapKey> key = OpenUidMapFile(path, *fresh);
  if (!key) return key.GetError();
  return std::make_unique<CUidMap>(*key, path);
}

std::string CUidMap::NewUid(std::string_view original) {
  const Sha256Digest digest = Derive(m_key, kUidPurpose, original);
  // The root takes at most 20 characters and 128 bits at most 39 digits:
  // at most 62 characters.
  std::string uid = std::string(OrganisationUidRoot()) + ".2." + Decimal128(digest);
  if (!m_recordPath.empty()) Record(First64Bits(digest), "uid " + OneLine(original) + " " + uid + "\n");
  return uid;
}

int CUidMap::DateShiftDays(std::string_view patient) {
  const Sha256Digest digest = Derive(m_key, kDateShiftPurpose, patient);
  const int days = -1 - static_cast<int>(First64Bits(digest) % kMaxShiftDays);
  if (!m_recordPath.empty()) {
    Record(First64Bits(digest), "shift " + std::to_string(days) + " " + OneLine(patient) + "\n");
  }
  return days;
}

void CUidMap::Record(uint64_t fingerprint, std::string line) {
  bool full = false;
  {
    const std::lock_guard lock(m_mutex);
    if (m_recorded.insert(fingerprint).second) m_pending += line;
    full = m_pending.size() >= kFlushBytes;
  }
  // A long run writes its record as it goes rather than holding it all.
  if (full) {
    Status flushed = Flush();
    const std::lock_guard lock(m_mutex);
    if (!flushed && !m_flushError) m_flushError = flushed.GetError();
  }
}

Status CUidMap::Flush() {
  std::string lines;
  {
    const std::lock_guard lock(m_mutex);
    if (m_flushError) return *m_flushError;
    lines.swap(m_pending);
  }
  if (m_recordPath.empty() || lines.empty()) return Ok();
  return AppendToUidMapFile(m_recordPath, lines);
}

}  // namespace quillon
