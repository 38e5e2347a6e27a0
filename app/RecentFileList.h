/// \file
/// CRecentFileList — the files opened last, newest first, kept in the
/// settings store so they are there at the next start.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quillon {

class ISettingsStore;

class CRecentFileList {
 public:
  static constexpr size_t kDefaultSize = 4;
  /// Where the list is kept in the settings store: keys "File1" ... in this
  /// section.
  static constexpr const char* kSection = "Recent File List";

  CRecentFileList(ISettingsStore& settings, size_t size = kDefaultSize);

  /// Reads the list from the settings store.
  void Load();
  /// Puts `path` first (moving it up when it is already listed, dropping
  /// the oldest when the list is full) and stores the list.
  void Add(const std::string& path);
  /// Drops `path` (a file that could not be opened) and stores the list.
  void Remove(const std::string& path);

  const std::vector<std::string>& Entries() const { return m_entries; }

 private:
  void Store();

  ISettingsStore& m_settings;
  size_t m_size;
  std::vector<std::string> m_entries;
};

}  // namespace quillon
