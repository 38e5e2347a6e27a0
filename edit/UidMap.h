/// \file
/// CUidMap — the new UIDs and date offsets of a de-identification, derived
/// from a secret key: a new UID is the organisation root, ".2." and the
/// first 128 bits of HMAC-SHA-256(key, original UID) as a decimal number;
/// a patient's date offset comes from HMAC-SHA-256(key, patient).
///
/// So the same original always gets the same new UID, in every file, on
/// every thread and in every process holding the key, with no table to
/// share or lock: studies, series, frames of reference and references
/// between files stay consistent across a run, across runs with the same
/// `--uid-map` file, and across workers on a cluster. Without the key the
/// originals cannot be found from the new UIDs, not even by hashing every
/// likely UID. The record of what was derived (for mapping back) is kept
/// in the map file when there is one.
#pragma once

#include "base/Result.h"
#include "edit/UidMapFile.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace quillon {

class CUidMap {
 public:
  /// A map with `key` whose records go to the map file at `recordPath`
  /// (none when empty).
  explicit CUidMap(const UidMapKey& key, std::string recordPath = {});
  CUidMap(const CUidMap&) = delete;
  CUidMap& operator=(const CUidMap&) = delete;

  /// A map for one run: a fresh random key, no record.
  static Result<std::unique_ptr<CUidMap>> ForOneRun();
  /// The map of the file at `path` (created with a fresh key when absent);
  /// what is derived is recorded there.
  static Result<std::unique_ptr<CUidMap>> FromFile(const std::string& path);

  /// The new UID for `original` (at most 64 characters, a valid UID).
  /// Safe to call from several threads.
  std::string NewUid(std::string_view original);
  /// The number of days (from -3652 to -1: dates move back by up to ten
  /// years) every date of `patient` moves by. Safe to call from several
  /// threads.
  int DateShiftDays(std::string_view patient);

  /// Appends to the map file what was derived since the last Flush (each
  /// original once per run; a long run also writes whenever a megabyte has
  /// gathered). Nothing to do without a map file. The first failure to
  /// write is returned by every later Flush.
  Status Flush();

 private:
  /// Notes a record line unless `fingerprint` was noted before.
  void Record(uint64_t fingerprint, std::string line);

  UidMapKey m_key;
  std::string m_recordPath;
  std::mutex m_mutex;
  std::unordered_set<uint64_t> m_recorded;
  std::string m_pending;
  std::optional<Error> m_flushError;
};

}  // namespace quillon
