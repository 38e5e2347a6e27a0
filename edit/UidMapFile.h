/// \file
/// The file behind `--uid-map`: the secret key that derives every new UID
/// and date offset of the runs that share it, and below the key a record
/// of what was derived (one line per original UID and per patient), for
/// whoever is entitled to map results back to their originals.
///
///     # Quillon de-identification map ...
///     key 9f3c...(64 hexadecimal digits)
///     uid 1.2.840.113619.2.55.3 1.3.6.1.4.1.58231.1.2.1234...
///     shift -1234 PATIENT-ID
///
/// Only the key is read back: the records never decide anything, so a
/// worker reads a few bytes however long the record has grown, and many
/// workers can share one file. The file is created whole or not at all
/// (the first of several workers to get there wins, the others read its
/// key), and records are appended under a lock, each batch in one write.
#pragma once

#include "base/Result.h"

#include <array>
#include <cstdint>
#include <string>

namespace quillon {

using UidMapKey = std::array<uint8_t, 32>;

/// The key kept in `path`. When there is no file yet, one is made with
/// `freshKey` (a key the caller drew at random) and that key is returned,
/// unless another process made the file first: then its key. An Io error
/// when the file cannot be read or made; Malformed when it holds no key
/// line.
Result<UidMapKey> OpenUidMapFile(const std::string& path, const UidMapKey& freshKey);

/// Appends `lines` (complete lines) to the file at `path` in one write,
/// under an exclusive lock, and flushes them to disk.
Status AppendToUidMapFile(const std::string& path, const std::string& lines);

/// A key from the system's source of randomness; an Io error when it has
/// none to give.
Result<UidMapKey> RandomUidMapKey();

/// The key as 64 lower-case hexadecimal digits, and back (Malformed for
/// text that is not 64 hexadecimal digits).
std::string KeyToHex(const UidMapKey& key);
Result<UidMapKey> KeyFromHex(const std::string& text);

}  // namespace quillon
