/// \file
/// The per-user settings store the library and the applications read and
/// write small values through: the UID counter, the desktop editor's
/// recent-file list and similar. Keeping it behind an interface lets the
/// library stay free of any windowing framework and lets tests substitute
/// an in-memory or deliberately broken store.
#pragma once

#include <optional>
#include <string>

namespace quillon {

/// A store of named values grouped in sections, kept per user across runs.
/// Sections and keys are matched exactly (case-sensitive). Implementations
/// must be safe to call from several threads.
class ISettingsStore {
 public:
  virtual ~ISettingsStore();

  /// The integer stored under section/key, or defaultValue when the value is
  /// missing, is not a decimal integer in the range of int, or the store
  /// cannot be read.
  virtual int GetInt(const std::string& section, const std::string& key,
                     int defaultValue) = 0;

  /// Stores value under section/key. Returns false when the store cannot be
  /// written (or the section or key cannot be represented).
  virtual bool WriteInt(const std::string& section, const std::string& key, int value) = 0;

  /// The text stored under section/key, or defaultValue when it is missing or
  /// the store cannot be read. Any text is allowed, including empty text,
  /// '=' and line breaks.
  virtual std::string GetString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) = 0;

  /// Stores value under section/key. Returns false when the store cannot be
  /// written (or the section or key cannot be represented).
  virtual bool WriteString(const std::string& section, const std::string& key,
                           const std::string& value) = 0;

  /// Reads the integer under section/key (0 when missing or malformed), adds
  /// one, writes it back and returns the new value, as one step that no other
  /// thread or process using the same store can interleave with. The result
  /// is always a positive int: when the stored value is INT_MAX or negative
  /// the next value is 1. Returns nullopt, and changes nothing, when the
  /// store cannot be read or written.
  virtual std::optional<int> IncrementInt(const std::string& section,
                                          const std::string& key) = 0;

 protected:
  ISettingsStore() = default;
  ISettingsStore(const ISettingsStore&) = default;
  ISettingsStore& operator=(const ISettingsStore&) = default;
};

}  // namespace quillon
