/// \file
/// The text dump of elements, sequences and data objects: one line per
/// element (tag, length, name, VR, a short value), items bracketed by their
/// own lines and indented one level deeper. The element list shows these
/// lines as its rows and the command-line dump prints them, and both are
/// compared byte for byte against reference dumps, so the layout here is
/// fixed to the character: CR LF line ends on every platform, the trailing
/// space before them, and the historical "Delemition" spelling.
///
/// A dump runs once per element of files with hundreds of thousands of
/// elements, so lines are assembled straight into the output: integers go
/// through std::to_chars and text values are viewed in place, with no
/// temporary string and no printf per field.
#include "dicom/DumpText.h"
#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "dicom/TagNameTable.h"

#include <bit>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <string_view>

namespace quillon {

namespace {

constexpr size_t kIndentWidth = 4;
constexpr size_t kNameColumnWidth = 40;
constexpr size_t kLengthColumnWidth = 8;
constexpr std::string_view kUnknownTagName = "Unknown tag ";
// The fixed pieces of a line, as views so that appending them measures
// nothing.
constexpr std::string_view kColumn = " | ";
constexpr std::string_view kAfterTag = "   ";
constexpr std::string_view kUndefinedLength = "(undef.)";
constexpr std::string_view kUnknownVr = "??";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kBinaryData = "Binary Data";

// Items keep their tag as the raw little-endian word they were read as, so
// (FFFE,E0DD) has the group in the low half.
constexpr uint32_t kSequenceDelimitationItemWord = 0xE0DDFFFEu;
constexpr DicomTag kSpecificCharacterSetTag = 0x00080005;

void AppendIndent(std::string& out, int level) {
  if (level > 0) out.append(static_cast<size_t>(level) * kIndentWidth, ' ');
}

void AppendHex4(std::string& out, uint16_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const char text[4] = {kDigits[(value >> 12) & 0xF], kDigits[(value >> 8) & 0xF],
                        kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
  out.append(text, sizeof text);
}

// Lengths are shown as signed 32-bit numbers right-aligned in eight columns,
// so a length with the top bit set shows as negative: reference dumps print
// them that way.
void AppendLengthColumn(std::string& out, uint32_t length) {
  char text[16];
  const auto result = std::to_chars(text, text + sizeof text, static_cast<int32_t>(length));
  const auto digits = static_cast<size_t>(result.ptr - text);
  if (digits < kLengthColumnWidth) out.append(kLengthColumnWidth - digits, ' ');
  out.append(text, digits);
}

// "0x<hex> (<signed decimal>)" of one 32-bit pattern: the hex part unsigned,
// the decimal part the same bits read as a signed int.
void AppendHexAndDecimal(std::string& out, uint32_t value) {
  char text[32] = {'0', 'x'};
  char* end = std::to_chars(text + 2, text + sizeof text, value, 16).ptr;
  *end++ = ' ';
  *end++ = '(';
  end = std::to_chars(end, text + sizeof text, static_cast<int32_t>(value)).ptr;
  *end++ = ')';
  out.append(text, static_cast<size_t>(end - text));
}

// Floating-point values keep printf's "%g" (six significant digits, its own
// spellings of infinities and NaNs); they are rare enough in a data set that
// the printf costs nothing.
void AppendGeneral(std::string& out, double value, std::string_view suffix) {
  char text[64];
  const int written = std::snprintf(text, sizeof text, "%g", value);
  if (written > 0) out.append(text, static_cast<size_t>(written));
  out.append(suffix);
}

uint64_t LoadLittleEndian64(const uint8_t* bytes) {
  uint64_t value = 0;
  for (unsigned i = 0; i < 8; ++i) value |= uint64_t{bytes[i]} << (8 * i);
  return value;
}

/// Appends every value of a binary number VR, `size` bytes each, joined by
/// backslashes as DICOM joins values; a trailing part too short for one
/// number shows nothing rather than reading past the end of its buffer.
template <typename AppendOne>
void AppendEachValue(std::string& out, const CDicomElement& element, size_t size, AppendOne appendOne) {
  const uint8_t* bytes = element.GetValue();
  const size_t count = bytes == nullptr ? 0 : element.GetLength() / size;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) out.push_back('\\');
    appendOne(bytes + i * size);
  }
}

uint16_t Load16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }
uint32_t Load32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[3]} << 24);
}

template <typename Integer>
void AppendDecimal(std::string& out, Integer value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, static_cast<size_t>(result.ptr - text));
}

// The short value shown in the last column: text in quotes, every number
// of a binary number VR, tags as (gggg,eeee), other binary data by name.
void AppendValueText(std::string& out, const CDicomElement& element, const CCharacterSet* charset,
                     DecodeNotes* notes) {
  if (!element.HasValue()) return;
  const DicomVR code = element.GetVR();
  if (IsTextVR(code)) {
    out.push_back('"');
    const std::string_view text = element.GetTextView();
    if (charset == nullptr || IsPlainAsciiText(text)) {
      out.append(text);
    } else {
      // The VRs that hold the default repertoire only are read in it.
      static const CCharacterSet kDefault;
      const CCharacterSet& set = UsesSpecificCharacterSet(code) ? *charset : kDefault;
      set.Decode(text, DelimitersOf(code), out, notes);
    }
    out.push_back('"');
    return;
  }
  switch (code) {
    case vr::US:
      AppendEachValue(out, element, 2, [&out](const uint8_t* v) { AppendHexAndDecimal(out, Load16(v)); });
      return;
    case vr::SS:
      // Sign-extended, so -1 shows as 0xffffffff (-1).
      AppendEachValue(out, element, 2, [&out](const uint8_t* v) {
        AppendHexAndDecimal(out, static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(Load16(v)))));
      });
      return;
    case vr::UL:
    case vr::SL:
      AppendEachValue(out, element, 4, [&out](const uint8_t* v) { AppendHexAndDecimal(out, Load32(v)); });
      return;
    case vr::AT:
      // Group then element, each little endian.
      AppendEachValue(out, element, 4, [&out](const uint8_t* v) {
        out.push_back('(');
        AppendHex4(out, Load16(v));
        out.push_back(',');
        AppendHex4(out, Load16(v + 2));
        out.push_back(')');
      });
      return;
    case vr::SV:
      AppendEachValue(out, element, 8,
                      [&out](const uint8_t* v) { AppendDecimal(out, static_cast<int64_t>(LoadLittleEndian64(v))); });
      return;
    case vr::UV:
      AppendEachValue(out, element, 8, [&out](const uint8_t* v) { AppendDecimal(out, LoadLittleEndian64(v)); });
      return;
    case vr::FL:
      AppendEachValue(out, element, 4, [&out](const uint8_t* v) {
        AppendGeneral(out, static_cast<double>(std::bit_cast<float>(Load32(v))), {});
      });
      return;
    case vr::OF:
      // The first value only, and ",..." for the rest, as before.
      if (const uint8_t* first = element.GetValue(); first != nullptr && element.GetLength() >= 4) {
        AppendGeneral(out, static_cast<double>(std::bit_cast<float>(Load32(first))), ",...");
      }
      return;
    case vr::FD:
      AppendEachValue(out, element, 8, [&out](const uint8_t* v) {
        AppendGeneral(out, std::bit_cast<double>(LoadLittleEndian64(v)), {});
      });
      return;
    case vr::OB:
    case vr::OW:
    case vr::OD:
    case vr::OL:
    case vr::OV:
    case vr::UN:
    case vr::SQ:
    case vr::kUnknown:
      out.append(kBinaryData);
      return;
    default:
      return;
  }
}

}  // namespace

void AppendElementLine(std::string& out, const CDicomElement& element, int level, const CCharacterSet* charset,
                       DecodeNotes* notes) {
  AppendIndent(out, level);
  const DicomTag tag = element.GetTag();
  AppendHex4(out, TagGroup(tag));
  out.push_back(' ');
  AppendHex4(out, TagElement(tag));
  out.append(kAfterTag);
  if (element.IsUndefinedLength()) {
    out.append(kUndefinedLength);
  } else {
    AppendLengthColumn(out, element.GetLength());
  }
  out.append(kColumn);

  ElementNameBuffer nameBuffer;
  std::string_view name = GetElementName(tag, nameBuffer);
  if (name.empty()) name = kUnknownTagName;
  out.append(name);
  // Padded to the column width but never cut: long names push the rest of
  // the line to the right.
  if (name.size() < kNameColumnWidth) out.append(kNameColumnWidth - name.size(), ' ');
  out.append(kColumn);

  const DicomVR code = element.GetVR();
  if (code == vr::kUnknown) {
    out.append(kUnknownVr);
  } else {
    out.push_back(static_cast<char>(code & 0xFF));
    out.push_back(static_cast<char>(code >> 8));
  }
  out.append(kColumn);
  AppendValueText(out, element, charset, notes);
  out.push_back(' ');
}

void AppendItemLine(std::string& out, const CSequenceItem& item, int level) {
  if (item.GetItemTag() == kSequenceDelimitationItemWord) {
    // The dump has always printed this one a level further out than an item.
    AppendIndent(out, level - 1);
    out.append("**** Sequence Delemition Item");
    return;
  }
  AppendIndent(out, level);
  // A defined-length item shows the bytes it occupies: its content plus
  // the 8-byte item header (no delimitation follows such an item).
  const uint32_t itemSize = item.IsUndefinedLength() ? CDicomElement::kUndefinedLength
                                                      : static_cast<uint32_t>(item.ContentSize() + 8);
  out.append("**** Item: length = ");
  AppendHexAndDecimal(out, itemSize);
}

void AppendEndItemLine(std::string& out, int level) {
  AppendIndent(out, level);
  out.append("---- End Item");
}

void AppendEndSequenceLine(std::string& out, int level) {
  AppendIndent(out, level);
  out.append("---- End Seq");
}

DicomStatus CDicomElement::DumpText(std::string& out, int level) const {
  AppendElementLine(out, *this, level);
  out.append(kLineEnd);
  return DicomStatus::Success;
}

namespace {

/// Hands the text gathered so far to the caller once it is this large, so
/// a dump of any size never exists as one string.
constexpr size_t kChunkSize = 64 * 1024;

/// Where a dump stands: where chunks go, and how text is written (`charset`
/// null: as stored).
struct DumpWalk {
  const DumpChunkSink* sink = nullptr;
  DecodeNotes* notes = nullptr;
};

void DumpObjectElements(const CDicomObject& object, std::string& out, int level, const CCharacterSet* charset,
                        const DumpWalk& walk);

void DumpSequenceLines(const CDicomSequence& sequence, std::string& out, int level, const CCharacterSet* charset,
                       const DumpWalk& walk) {
  // A sequence holds no value buffer, so its own line ends with an empty
  // value column.
  AppendElementLine(out, sequence, level, charset, walk.notes);
  out.append(kLineEnd);
  for (size_t i = 0; i < sequence.GetItemCount(); ++i) {
    const CSequenceItem* item = sequence.GetItem(i);
    if (item == nullptr) continue;
    AppendItemLine(out, *item, level + 1);
    out.append(kLineEnd);
    if (item->GetItemTag() == kSequenceDelimitationItemWord) continue;
    if (charset != nullptr && item->Elements().Find(kSpecificCharacterSetTag) != nullptr) {
      // An item that declares its own set reads its text, and its items', in it.
      const CCharacterSet own = CharsetInForce(*item, *charset);
      DumpObjectElements(*item, out, level + 1, &own, walk);
    } else {
      DumpObjectElements(*item, out, level + 1, charset, walk);
    }
    AppendEndItemLine(out, level + 1);
    out.append(kLineEnd);
  }
  AppendEndSequenceLine(out, level);
  out.append(kLineEnd);
}

void DumpObjectElements(const CDicomObject& object, std::string& out, int level, const CCharacterSet* charset,
                        const DumpWalk& walk) {
  for (const auto& entry : object.Elements().Sorted()) {
    if (!entry.element) continue;
    if (const auto* sequence = dynamic_cast<const CDicomSequence*>(entry.element.get())) {
      DumpSequenceLines(*sequence, out, level, charset, walk);
    } else {
      AppendElementLine(out, *entry.element, level, charset, walk.notes);
      out.append(kLineEnd);
    }
    if (walk.sink != nullptr && out.size() >= kChunkSize) (*walk.sink)(out);
  }
}

}  // namespace

DicomStatus CDicomSequence::DumpText(std::string& out, int level) const {
  DumpSequenceLines(*this, out, level, nullptr, {});
  return DicomStatus::Success;
}

DicomStatus CDicomObject::DumpText(std::string& out, int level) const {
  DumpObjectElements(*this, out, level, nullptr, {});
  return DicomStatus::Success;
}

void DumpTextInChunks(const CDicomObject& object, int level, std::string& buffer, const DumpChunkSink& sink,
                      DumpTextMode mode) {
  const DumpWalk walk{&sink, mode.notes};
  if (mode.decode) {
    const CCharacterSet charset = CharsetInForce(object, CCharacterSet());
    DumpObjectElements(object, buffer, level, &charset, walk);
  } else {
    DumpObjectElements(object, buffer, level, nullptr, walk);
  }
  if (!buffer.empty()) sink(buffer);
}

}  // namespace quillon
