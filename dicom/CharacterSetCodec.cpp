/// \file
/// Decoding and encoding text values in the character set of their data
/// set. The sets of one byte a character and those used with code
/// extensions share one reader: G0 (bytes 0x21–0x7E) and G1 (0xA1–0xFE)
/// each hold a graphic set, escape sequences change them, and value
/// separators, line ends and (in person names) '^' and '=' return both to
/// the sets of the first value of (0008,0005). UTF-8, GB18030 and GBK use no
/// escape sequences and are converted whole.
#include "dicom/CharacterSet.h"

#include "dicom/CodedCharacterTables.h"

#include <cstdint>
#include <cstring>

namespace quillon {
namespace {

constexpr char kEsc = 0x1B;

/// What one term puts in G0 and G1.
struct Designation {
  GraphicSet g0 = GraphicSet::None;
  GraphicSet g1 = GraphicSet::None;
};

Designation DesignationOf(CharsetTerm term) {
  switch (term) {
    case CharsetTerm::IsoIr100: return {GraphicSet::Ascii, GraphicSet::Latin1};
    case CharsetTerm::IsoIr101: return {GraphicSet::Ascii, GraphicSet::Latin2};
    case CharsetTerm::IsoIr109: return {GraphicSet::Ascii, GraphicSet::Latin3};
    case CharsetTerm::IsoIr110: return {GraphicSet::Ascii, GraphicSet::Latin4};
    case CharsetTerm::IsoIr144: return {GraphicSet::Ascii, GraphicSet::Cyrillic};
    case CharsetTerm::IsoIr127: return {GraphicSet::Ascii, GraphicSet::Arabic};
    case CharsetTerm::IsoIr126: return {GraphicSet::Ascii, GraphicSet::Greek};
    case CharsetTerm::IsoIr138: return {GraphicSet::Ascii, GraphicSet::Hebrew};
    case CharsetTerm::IsoIr148: return {GraphicSet::Ascii, GraphicSet::Latin5};
    case CharsetTerm::IsoIr166: return {GraphicSet::Ascii, GraphicSet::Thai};
    case CharsetTerm::IsoIr203: return {GraphicSet::Ascii, GraphicSet::Latin9};
    case CharsetTerm::IsoIr13: return {GraphicSet::JisRoman, GraphicSet::Katakana};
    case CharsetTerm::IsoIr87: return {GraphicSet::JisX0208, GraphicSet::None};
    case CharsetTerm::IsoIr159: return {GraphicSet::JisX0212, GraphicSet::None};
    case CharsetTerm::IsoIr149: return {GraphicSet::None, GraphicSet::KsX1001};
    case CharsetTerm::IsoIr58: return {GraphicSet::None, GraphicSet::Gb2312};
    default: return {GraphicSet::Ascii, GraphicSet::None};
  }
}

/// The converter of the sets that are converted whole, or null.
const char* WholeValueEncoding(CharsetTerm term) {
  switch (term) {
    case CharsetTerm::Gb18030: return "GB18030";
    case CharsetTerm::Gbk: return "GBK";
    default: return nullptr;
  }
}

bool IsDelimiter(unsigned char byte, TextDelimiters delimiters) {
  switch (byte) {
    case '\\':
    case '\r':
    case '\n':
    case '\f':
    case '\t': return true;
    case '^':
    case '=': return delimiters == TextDelimiters::PersonName;
    default: return false;
  }
}


void DecodeUtf8Value(std::string_view bytes, std::string& out, DecodeNotes& notes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t start = pos;
    char32_t c = 0;
    if (DecodeUtf8Char(bytes, pos, c)) {
      out.append(bytes.substr(start, pos - start));
    } else {
      for (std::size_t i = start; i < pos; ++i) AppendEscapedByte(static_cast<uint8_t>(bytes[i]), out);
      notes.undecodable = true;
    }
  }
}

Error CannotStore(char32_t c, const CCharacterSet& set) {
  return Error(ErrorCode::Refused, "The character " + NameCharacter(c) + " cannot be stored in " + set.Describe() +
                                       ". Convert the data set to ISO_IR 192 (UTF-8) to store any character.");
}

Error NotUtf8(size_t offset) {
  return Error(ErrorCode::Refused, "The text is not valid UTF-8 at byte " + std::to_string(offset) + ".");
}

/// The state of G0 and G1 while a value is read or written.
struct Shift {
  GraphicSet g0;
  GraphicSet g1;
};

}  // namespace

void CCharacterSet::Decode(std::string_view bytes, TextDelimiters delimiters, std::string& out,
                           DecodeNotes* notes) const {
  if (IsPlainAsciiText(bytes)) {
    out.append(bytes);
    return;
  }
  DecodeNotes ignored;
  DecodeNotes& met = notes != nullptr ? *notes : ignored;
  const CharsetTerm first = m_count == 0 ? CharsetTerm::Default : m_terms[0];
  if (first == CharsetTerm::Utf8) {
    DecodeUtf8Value(bytes, out, met);
    return;
  }
  if (const char* encoding = WholeValueEncoding(first)) {
    if (DecodeWithIconv(encoding, bytes, out, met.undecodable)) return;
  }
  const Designation initial = DesignationOf(first);
  Shift shift{initial.g0, initial.g1};
  for (std::size_t i = 0; i < bytes.size();) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == kEsc) {
      std::size_t length = 0;
      const GraphicSet set = SetOfEscapeSequence(bytes.substr(i + 1), length);
      if (set != GraphicSet::None) {
        (IsG0Set(set) ? shift.g0 : shift.g1) = set;
        i += 1 + length;
        continue;
      }
    }
    if (byte < 0x21 || byte == 0x7F) {  // space and controls mean the same in every set
      if (IsDelimiter(byte, delimiters)) shift = {initial.g0, initial.g1};
      out.push_back(static_cast<char>(byte));
      ++i;
      continue;
    }
    if (byte < 0x80) {
      if (IsDoubleByteSet(shift.g0)) {
        const char32_t c = i + 1 < bytes.size()
                               ? DecodeDoubleByte(shift.g0, byte, static_cast<uint8_t>(bytes[i + 1]))
                               : char32_t{0};
        if (c != 0) {
          AppendUtf8(c, out);
          i += 2;
        } else {
          AppendEscapedByte(byte, out);
          met.undecodable = true;
          ++i;
        }
        continue;
      }
      if (IsDelimiter(byte, delimiters)) shift = {initial.g0, initial.g1};
      out.push_back(static_cast<char>(byte));
      ++i;
      continue;
    }
    if (shift.g1 == GraphicSet::None) {
      // Bytes beyond ASCII where none are declared: most such files hold
      // Latin-1, so that is how they are shown.
      AppendUtf8(byte, out);
      met.undeclaredNonAscii = true;
      ++i;
      continue;
    }
    if (IsDoubleByteSet(shift.g1)) {
      const auto second = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
      const char32_t c = second >= 0x80 ? DecodeDoubleByte(shift.g1, byte & 0x7F, second & 0x7F) : char32_t{0};
      if (c != 0) {
        AppendUtf8(c, out);
        i += 2;
      } else {
        AppendEscapedByte(byte, out);
        met.undecodable = true;
        ++i;
      }
      continue;
    }
    const char32_t c = DecodeSingleByte(shift.g1, byte);
    if (c != 0) {
      AppendUtf8(c, out);
    } else {
      AppendEscapedByte(byte, out);
      met.undecodable = true;
    }
    ++i;
  }
}

std::string CCharacterSet::Decoded(std::string_view bytes, TextDelimiters delimiters) const {
  std::string out;
  Decode(bytes, delimiters, out);
  return out;
}

Result<std::string> CCharacterSet::Encode(std::string_view utf8, TextDelimiters delimiters) const {
  const CharsetTerm first = m_count == 0 ? CharsetTerm::Default : m_terms[0];
  if (first == CharsetTerm::Utf8) {
    for (std::size_t pos = 0; pos < utf8.size();) {
      const std::size_t start = pos;
      char32_t c = 0;
      if (!DecodeUtf8Char(utf8, pos, c)) return NotUtf8(start);
    }
    return std::string(utf8);
  }
  if (const char* encoding = WholeValueEncoding(first)) {
    std::string out;
    size_t failedAt = 0;
    if (EncodeWithIconv(encoding, utf8, out, failedAt)) return out;
    if (failedAt < utf8.size()) {
      char32_t c = 0;
      size_t pos = failedAt;
      if (!DecodeUtf8Char(utf8, pos, c)) return NotUtf8(failedAt);
      return CannotStore(c, *this);
    }
    return Error(ErrorCode::Failure, "The C library has no converter for " + Describe() + ".");
  }

  // The sets a character may be written in, the first value's first.
  const Designation initial = DesignationOf(first);
  Shift shift{initial.g0, initial.g1};
  std::string out;
  out.reserve(utf8.size());
  const auto designate = [&out](GraphicSet set) {
    out.push_back(kEsc);
    out.append(EscapeSequenceOf(set));
  };
  const auto returnG0 = [&]() {
    if (shift.g0 != initial.g0) {
      designate(initial.g0 == GraphicSet::None ? GraphicSet::Ascii : initial.g0);
      shift.g0 = initial.g0;
    }
  };
  for (std::size_t pos = 0; pos < utf8.size();) {
    const std::size_t start = pos;
    char32_t c = 0;
    if (!DecodeUtf8Char(utf8, pos, c)) return NotUtf8(start);
    if (c < 0x80) {
      // ASCII is written in the first value's G0; delimiters return G1 too.
      returnG0();
      out.push_back(static_cast<char>(c));
      if (IsDelimiter(static_cast<unsigned char>(c), delimiters)) shift = {initial.g0, initial.g1};
      continue;
    }
    // The sets already designated first, then the declared ones in order.
    bool written = false;
    const auto tryWrite = [&](GraphicSet set, bool designated) {
      if (set == GraphicSet::None || set == GraphicSet::Ascii || set == GraphicSet::JisRoman) return false;
      if (IsDoubleByteSet(set)) {
        const uint16_t code = EncodeDoubleByte(set, c);
        if (code == 0) return false;
        if (!designated) {
          if (IsG0Set(set)) {
            shift.g0 = set;
          } else {
            shift.g1 = set;
          }
          designate(set);
        }
        const uint8_t high = IsG0Set(set) ? 0x00 : 0x80;
        out.push_back(static_cast<char>((code >> 8) | high));
        out.push_back(static_cast<char>((code & 0xFF) | high));
        return true;
      }
      const uint8_t byte = EncodeSingleByte(set, c);
      if (byte == 0) return false;
      if (!designated) {
        shift.g1 = set;
        designate(set);
      }
      out.push_back(static_cast<char>(byte));
      return true;
    };
    written = tryWrite(shift.g1, true) || tryWrite(shift.g0, true);
    for (std::size_t t = 0; !written && t < m_count; ++t) {
      const Designation designation = DesignationOf(m_terms[t]);
      if (m_terms[t] == CharsetTerm::Unknown || m_terms[t] == CharsetTerm::Utf8 || WholeValueEncoding(m_terms[t])) {
        continue;
      }
      // A single-byte set is only written through code extensions, or as
      // the first value; JIS X 0201 only through the first value's G1.
      if (t > 0 || designation.g1 != shift.g1) written = tryWrite(designation.g1, designation.g1 == shift.g1);
      if (!written && designation.g0 != GraphicSet::Ascii)
        written = tryWrite(designation.g0, designation.g0 == shift.g0);
    }
    if (!written) return CannotStore(c, *this);
  }
  returnG0();
  return out;
}

}  // namespace quillon
