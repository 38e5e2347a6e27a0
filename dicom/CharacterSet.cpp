/// \file
/// Which character set (0008,0005) declares, and the UTF-8 helpers every
/// conversion shares. The conversions themselves are in
/// CharacterSetCodec.cpp.
#include "dicom/CharacterSet.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"

#include <cstdint>
#include <cstdio>

namespace quillon {
namespace {

constexpr DicomTag kSpecificCharacterSet = 0x00080005;

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

struct TermName {
  std::string_view name;
  CharsetTerm term;
};

// Both spellings of each set: the single-byte name and the one used with
// code extensions read the same letters.
constexpr TermName kTermNames[] = {
    {"ISO_IR 6", CharsetTerm::Default},         {"ISO 2022 IR 6", CharsetTerm::Default},
    {"ISO_IR 100", CharsetTerm::IsoIr100},      {"ISO 2022 IR 100", CharsetTerm::IsoIr100},
    {"ISO_IR 101", CharsetTerm::IsoIr101},      {"ISO 2022 IR 101", CharsetTerm::IsoIr101},
    {"ISO_IR 109", CharsetTerm::IsoIr109},      {"ISO 2022 IR 109", CharsetTerm::IsoIr109},
    {"ISO_IR 110", CharsetTerm::IsoIr110},      {"ISO 2022 IR 110", CharsetTerm::IsoIr110},
    {"ISO_IR 144", CharsetTerm::IsoIr144},      {"ISO 2022 IR 144", CharsetTerm::IsoIr144},
    {"ISO_IR 127", CharsetTerm::IsoIr127},      {"ISO 2022 IR 127", CharsetTerm::IsoIr127},
    {"ISO_IR 126", CharsetTerm::IsoIr126},      {"ISO 2022 IR 126", CharsetTerm::IsoIr126},
    {"ISO_IR 138", CharsetTerm::IsoIr138},      {"ISO 2022 IR 138", CharsetTerm::IsoIr138},
    {"ISO_IR 148", CharsetTerm::IsoIr148},      {"ISO 2022 IR 148", CharsetTerm::IsoIr148},
    {"ISO_IR 166", CharsetTerm::IsoIr166},      {"ISO 2022 IR 166", CharsetTerm::IsoIr166},
    {"ISO_IR 203", CharsetTerm::IsoIr203},      {"ISO 2022 IR 203", CharsetTerm::IsoIr203},
    {"ISO_IR 13", CharsetTerm::IsoIr13},        {"ISO 2022 IR 13", CharsetTerm::IsoIr13},
    {"ISO 2022 IR 87", CharsetTerm::IsoIr87},   {"ISO 2022 IR 159", CharsetTerm::IsoIr159},
    {"ISO 2022 IR 149", CharsetTerm::IsoIr149}, {"ISO 2022 IR 58", CharsetTerm::IsoIr58},
    {"ISO_IR 192", CharsetTerm::Utf8},          {"GB18030", CharsetTerm::Gb18030},
    {"GBK", CharsetTerm::Gbk},
};

CharsetTerm TermOf(std::string_view name) {
  if (name.empty()) return CharsetTerm::Default;
  for (const TermName& entry : kTermNames) {
    if (entry.name == name) return entry.term;
  }
  return CharsetTerm::Unknown;
}

}  // namespace

TextDelimiters DelimitersOf(DicomVR vr) { return vr == vr::PN ? TextDelimiters::PersonName : TextDelimiters::Text; }

bool UsesSpecificCharacterSet(DicomVR code) {
  return code == vr::SH || code == vr::LO || code == vr::ST || code == vr::LT || code == vr::UC || code == vr::UT ||
         code == vr::PN;
}

CCharacterSet CCharacterSet::FromSpecificCharacterSet(std::string_view value) {
  CCharacterSet set;
  set.m_declared = true;
  size_t start = 0;
  while (set.m_count < kMaxTerms) {
    const size_t end = value.find('\\', start);
    const std::string_view name =
        TrimSpaces(value.substr(start, end == std::string_view::npos ? value.npos : end - start));
    // Later values only add code extensions: an empty one adds nothing.
    if (set.m_count == 0 || !name.empty()) {
      set.m_terms[set.m_count++] = TermOf(name);
      if (!set.m_value.empty() || set.m_count > 1) set.m_value.push_back('\\');
      set.m_value.append(name);
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return set;
}

CCharacterSet CCharacterSet::Utf8() { return FromSpecificCharacterSet("ISO_IR 192"); }

std::string CCharacterSet::Describe() const {
  if (!m_declared || m_value.empty() || m_value == "ISO_IR 6") return "the default character repertoire (ASCII)";
  return m_value;
}

CCharacterSet CharsetInForce(const CDicomObject& object, const CCharacterSet& inherited) {
  const CDicomElement* element = object.Elements().Find(kSpecificCharacterSet);
  return element ? CCharacterSet::FromSpecificCharacterSet(element->GetTextView()) : inherited;
}

bool HasUndeclaredNonAsciiText(const CDicomObject& object, bool declared) {
  declared = declared || object.Elements().Find(kSpecificCharacterSet) != nullptr;
  for (const CElementMap::Entry& entry : object.Elements().Sorted()) {
    if (const auto* sequence = dynamic_cast<const CDicomSequence*>(entry.element.get())) {
      for (size_t i = 0; i < sequence->GetItemCount(); ++i) {
        const CSequenceItem* item = sequence->GetItem(i);
        if (item != nullptr && HasUndeclaredNonAsciiText(*item, declared)) return true;
      }
    } else if (!declared && UsesSpecificCharacterSet(entry.element->GetVR()) &&
               !IsPlainAsciiText(entry.element->GetTextView())) {
      return true;
    }
  }
  return false;
}

std::string NameCharacter(char32_t c) {
  std::string text = "'";
  AppendUtf8(c, text);
  char code[16];
  std::snprintf(code, sizeof code, "' (U+%04X)", static_cast<unsigned>(c));
  return text + code;
}

bool DecodeUtf8Char(std::string_view text, std::size_t& pos, char32_t& c) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    c = lead;
    ++pos;
    return true;
  }
  // The accepted ranges of the second byte follow the table of well-formed
  // sequences in the Unicode standard (3.9, table 3-7): they exclude
  // overlong forms, surrogates and code points beyond U+10FFFF at the first
  // byte where the sequence goes wrong.
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    ++pos;  // a continuation byte on its own, C0, C1 or F5–FF
    return false;
  }
  std::size_t next = pos + 1;
  for (std::size_t i = 1; i < length; ++i, ++next) {
    if (next >= text.size()) {
      pos = next;
      return false;
    }
    const auto byte = static_cast<unsigned char>(text[next]);
    const bool inRange = i == 1 ? (byte >= low && byte <= high) : IsContinuation(byte);
    if (!inRange) {
      pos = next;  // the offending byte may start the next character
      return false;
    }
    value = (value << 6) | (byte & 0x3Fu);
  }
  pos = next;
  c = value;
  return true;
}

void AppendUtf8(char32_t c, std::string& out) {
  const auto code = static_cast<uint32_t>(c);
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace quillon
