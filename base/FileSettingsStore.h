/// \file
/// The settings store shared by the command-line tool and the desktop
/// editor: one small INI-like text file per user, written so that a crash or
/// a second process can never leave it half-written or lose an update.
#pragma once

#include "base/SettingsStore.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace quillon {

/// The application's settings key; it names the per-user settings folder.
inline constexpr const char* kSettingsKey = "Ostrica";

/// A settings store kept in a text file of "[SECTION]" lines followed by
/// "key=value" lines. Keys and section names are kept exactly as given.
/// Lines the store does not understand (comments, blank lines, other
/// programs' entries) are kept as they are when the file is rewritten. In a
/// value, a backslash, a line feed and a carriage return are written as
/// "\\", "\n" and "\r", so any text round-trips.
///
/// Every change takes an exclusive flock on "<file>.lock" beside the file,
/// reads the file, edits it and replaces it through a temporary file in the
/// same folder (written, fsynced, then renamed over the old one). The lock
/// file itself is never renamed, so the lock stays meaningful across the
/// rename, and read-modify-write changes such as IncrementInt are atomic
/// across threads and processes. Readers take no lock: the rename makes
/// them see either the old or the new file, never a mixture.
class CFileSettingsStore final : public ISettingsStore {
 public:
  /// A store on file; the folder is created on the first write. An empty
  /// path gives a store that reads defaults and fails every write.
  explicit CFileSettingsStore(std::filesystem::path file = DefaultPath());

  CFileSettingsStore(const CFileSettingsStore&) = delete;
  CFileSettingsStore& operator=(const CFileSettingsStore&) = delete;
  ~CFileSettingsStore() override = default;

  /// Where the per-user settings live: $QUILLON_SETTINGS_FILE when set and
  /// not empty (tests and scripts point it at a file of their own), otherwise
  /// "Ostrica/Quillon.ini" under $XDG_CONFIG_HOME, or under "$HOME/.config"
  /// when XDG_CONFIG_HOME is unset or not an absolute path. Empty when not
  /// even a home folder can be found.
  static std::filesystem::path DefaultPath();

  const std::filesystem::path& Path() const { return m_path; }

  int GetInt(const std::string& section, const std::string& key, int defaultValue) override;
  bool WriteInt(const std::string& section, const std::string& key, int value) override;
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& defaultValue) override;
  bool WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;
  std::optional<int> IncrementInt(const std::string& section, const std::string& key) override;

 private:
  /// The stored text of section/key as written in the file (still escaped),
  /// or nullopt when it is missing or the file cannot be read.
  std::optional<std::string> ReadRaw(const std::string& section, const std::string& key) const;

  /// Under the cross-process lock: reads the file, replaces (or adds)
  /// section/key with the escaped text returned by makeValue, which is given
  /// the current escaped text (nullopt when absent), and writes the file
  /// back. Returns false, leaving the file untouched, on any failure.
  template <typename MakeValue>
  bool Update(const std::string& section, const std::string& key, MakeValue&& makeValue);

  const std::filesystem::path m_path;
  /// Serialises this object's writers; other objects and processes are kept
  /// out by the flock.
  std::mutex m_mutex;
};

}  // namespace quillon
