#include "app/RecentFileList.h"

#include "base/SettingsStore.h"

#include <algorithm>
#include <filesystem>

namespace quillon {

namespace {

std::string KeyOf(size_t index) { return "File" + std::to_string(index + 1); }

/// One spelling per file, so a file opened by two paths is listed once.
std::string Normalized(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
  return absolute.empty() ? path : absolute.lexically_normal().string();
}

}  // namespace

CRecentFileList::CRecentFileList(ISettingsStore& settings, size_t size) : m_settings(settings), m_size(size) {}

void CRecentFileList::Load() {
  m_entries.clear();
  for (size_t i = 0; i < m_size; ++i) {
    std::string path = m_settings.GetString(kSection, KeyOf(i), "");
    if (!path.empty() && std::find(m_entries.begin(), m_entries.end(), path) == m_entries.end()) {
      m_entries.push_back(std::move(path));
    }
  }
}

void CRecentFileList::Add(const std::string& path) {
  const std::string normalized = Normalized(path);
  m_entries.erase(std::remove(m_entries.begin(), m_entries.end(), normalized), m_entries.end());
  m_entries.insert(m_entries.begin(), normalized);
  if (m_entries.size() > m_size) m_entries.resize(m_size);
  Store();
}

void CRecentFileList::Remove(const std::string& path) {
  const std::string normalized = Normalized(path);
  const auto end = std::remove_if(m_entries.begin(), m_entries.end(),
                                  [&](const std::string& entry) { return entry == path || entry == normalized; });
  if (end == m_entries.end()) return;
  m_entries.erase(end, m_entries.end());
  Store();
}

void CRecentFileList::Store() {
  for (size_t i = 0; i < m_size; ++i) {
    (void)m_settings.WriteString(kSection, KeyOf(i), i < m_entries.size() ? m_entries[i] : std::string());
  }
}

}  // namespace quillon
