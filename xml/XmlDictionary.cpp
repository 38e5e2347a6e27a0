/// \file
/// Reading the XML dictionary file and the process-wide dictionary instance.
#include "xml/XmlDictionary.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

namespace quillon {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::optional<uint32_t> HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<uint32_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<uint32_t>(c - 'A' + 10);
  return std::nullopt;
}

/// The hexadecimal number at the start of \p text, read the way "%x" reads
/// it; none when there is no digit or the number needs more than 32 bits.
std::optional<DicomTag> ParseHexTag(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsSpace(text[pos])) {
    ++pos;
  }
  // "0x" is a prefix only when a digit follows; "0xyz" reads as the number 0.
  if (pos + 2 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
      HexDigitValue(text[pos + 2])) {
    pos += 2;
  }
  DicomTag value = 0;
  bool anyDigit = false;
  int significantDigits = 0;
  for (; pos < text.size(); ++pos) {
    const std::optional<uint32_t> digit = HexDigitValue(text[pos]);
    if (!digit) {
      break;
    }
    anyDigit = true;
    if (significantDigits == 0 && *digit == 0) {
      continue;  // leading zeros do not count towards the 8-digit limit
    }
    if (++significantDigits > 8) {
      return std::nullopt;
    }
    value = (value << 4) | *digit;
  }
  if (!anyDigit) {
    return std::nullopt;
  }
  return value;
}

enum class LineResult { Line, EndOfFile, ReadError };

/// Reads one physical line into \p line, keeping at most the first
/// kMaxLineLength characters and dropping the rest of the line, so an
/// over-long line can never spill into a following entry.
LineResult ReadLine(std::FILE* file, std::string& line) {
  line.clear();
  bool anyByte = false;
  int c = 0;
  while ((c = std::getc(file)) != EOF) {
    anyByte = true;
    if (c == '\n') {
      return LineResult::Line;
    }
    if (line.size() < CXmlDictionary::kMaxLineLength) {
      line.push_back(static_cast<char>(c));
    }
  }
  if (std::ferror(file) != 0) {
    return LineResult::ReadError;
  }
  return anyByte ? LineResult::Line : LineResult::EndOfFile;
}

/// Applies one line of the file to \p names (see the rules on CXmlDictionary).
void ApplyLine(std::string_view line, std::unordered_map<DicomTag, std::string>& names) {
  // The format is a text file of C strings: a NUL ends the text.
  line = line.substr(0, line.find('\0'));
  if (!line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
  }
  if (line.size() < CXmlDictionary::kMinLineLength) {
    return;
  }
  const std::size_t open = line.find('(');
  if (open == std::string_view::npos) {
    return;
  }
  const std::optional<DicomTag> tag = ParseHexTag(line.substr(open + 1));
  if (!tag) {
    return;
  }
  std::string_view name = line.substr(0, open);
  while (!name.empty() && IsSpace(name.back())) {
    name.remove_suffix(1);
  }
  names[*tag] = std::string(name);
}

struct SharedDictionary {
  std::mutex mutex;
  CXmlDictionary dictionary;
};

SharedDictionary& Shared() {
  static SharedDictionary shared;
  return shared;
}

}  // namespace

bool CXmlDictionary::Load(const std::string& path) {
  m_names.clear();
  m_loaded = false;
  const FilePtr file(std::fopen(path.c_str(), "r"));
  if (!file) {
    return false;
  }
  std::unordered_map<DicomTag, std::string> names;
  std::string line;
  for (;;) {
    const LineResult result = ReadLine(file.get(), line);
    if (result == LineResult::EndOfFile) {
      break;
    }
    if (result == LineResult::ReadError) {
      return false;
    }
    ApplyLine(line, names);
  }
  m_names = std::move(names);
  m_loaded = true;
  return true;
}

bool CXmlDictionary::GetXmlName(DicomTag tag, std::string& name) const {
  const auto found = m_names.find(tag);
  if (found == m_names.end()) {
    return false;
  }
  name = found->second;
  return true;
}

int LoadXmlDictionary(const std::string& path) {
  SharedDictionary& shared = Shared();
  const std::lock_guard<std::mutex> lock(shared.mutex);
  if (shared.dictionary.IsLoaded()) {
    return 1;
  }
  return shared.dictionary.Load(path) ? 1 : 0;
}

int GetXmlName(DicomTag tag, std::string& name) {
  SharedDictionary& shared = Shared();
  const std::lock_guard<std::mutex> lock(shared.mutex);
  return shared.dictionary.GetXmlName(tag, name) ? 1 : 0;
}

}  // namespace quillon
