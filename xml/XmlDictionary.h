/// \file
/// The XML dictionary: a text file, loaded at run time, that decides which
/// data elements the XML export writes and under which element name. It is
/// independent of the built-in tag-to-name table used by the dump.
///
/// File format, one entry per line:
///
///     patient_name (00100010)
///
/// The name is the text before the first "(" with trailing white space
/// removed; the tag is the hexadecimal number that starts the text after
/// that "(". The shipped default file is xml/Dicom2XmlDict.txt.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

#include "dicom/DicomTypes.h"

namespace quillon {

/// A tag-to-name map read from an XML dictionary file.
///
/// Line rules, applied to each physical line of the file:
/// - At most the first 1023 characters of a line are used; the rest of that
///   line is discarded (it never becomes an entry of its own).
/// - The line terminator ("\n", or "\r\n" from files written on Windows) is
///   not part of the line. A NUL byte ends the line's text: what follows it
///   on the same line is ignored. Other bytes are taken as they are.
/// - A line shorter than 5 characters is skipped, even one holding "(".
/// - A line without "(" is skipped.
/// - The tag is read like C's "%x": optional leading white space, an
///   optional "0x"/"0X" prefix, then hexadecimal digits up to the first
///   other character. So "(0010,0010)" yields 0x0010, the group alone. No
///   hexadecimal digit, or more than 8 significant ones (a number that does
///   not fit a tag), skips the line. A sign is not accepted.
/// - The name is kept as read, even when empty or not a valid XML name: the
///   XML writer checks names when it uses them.
/// - When several lines give the same tag, the last one wins.
class CXmlDictionary {
 public:
  /// Longest part of a line that is used, in characters.
  static constexpr std::size_t kMaxLineLength = 1023;
  /// Lines with fewer characters than this are skipped.
  static constexpr std::size_t kMinLineLength = 5;

  /// Reads the file at \p path, replacing the current content. Returns true
  /// when the whole file was read (an empty file gives an empty, loaded
  /// dictionary). Returns false when the file cannot be opened or a read
  /// fails before the end; the dictionary is then empty and not loaded.
  [[nodiscard]] bool Load(const std::string& path);

  /// When the dictionary holds \p tag, stores its name in \p name and
  /// returns true; otherwise leaves \p name alone and returns false.
  [[nodiscard]] bool GetXmlName(DicomTag tag, std::string& name) const;

  /// True after a successful Load.
  bool IsLoaded() const { return m_loaded; }

  /// Number of distinct tags held.
  std::size_t Size() const { return m_names.size(); }

 private:
  std::unordered_map<DicomTag, std::string> m_names;
  bool m_loaded = false;
};

/// Loads the process-wide XML dictionary from \p path. Returns 1 when it is
/// loaded, now or by an earlier call, and 0 when the file cannot be opened
/// or reading fails. Once loaded, later calls return 1 without touching any
/// file, so the file is read at most once per run and later changes to it
/// are not seen. Safe to call from several threads.
[[nodiscard]] int LoadXmlDictionary(const std::string& path);

/// When the process-wide XML dictionary holds \p tag, stores its name in
/// \p name and returns 1; otherwise returns 0 (also before any successful
/// load). Safe to call from several threads.
[[nodiscard]] int GetXmlName(DicomTag tag, std::string& name);

}  // namespace quillon
