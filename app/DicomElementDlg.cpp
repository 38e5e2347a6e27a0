#include "app/DicomElementDlg.h"

#include "app/HexValue.h"
#include "app/NumberList.h"
#include "app/TagInput.h"
#include "app/UserInterface.h"
#include "app/ValueCheck.h"
#include "dicom/DataDictionary.h"
#include "dicom/DicomElement.h"
#include "dicom/DicomPixelData.h"
#include "dicom/ElementRules.h"
#include "dicom/UidGenerator.h"
#include "dicom/ValueRepresentation.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

namespace quillon {

namespace {

constexpr const char* kCannotInsert = "Cannot insert element into the object";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

/// A whole decimal integer in [low, high]; nothing may follow it.
bool ParseInteger(std::string_view text, int64_t low, int64_t high, int64_t& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

/// A whole decimal floating-point number, finite in double precision.
bool ParseReal(std::string_view text, double& value) {
  const std::string trimmed(Trim(text));
  if (trimmed.empty()) return false;
  char* end = nullptr;
  value = std::strtod(trimmed.c_str(), &end);
  return end == trimmed.c_str() + trimmed.size() && std::isfinite(value);
}

void AppendLittleEndian(std::vector<uint8_t>& bytes, uint64_t value, unsigned size) {
  for (unsigned i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

CDicomElementDlg::CDicomElementDlg(bool insertMode, Target target)
    : m_insertMode(insertMode), m_target(std::move(target)) {}

bool CDicomElementDlg::FillFrom(const CDicomElement& element) {
  const DicomVR code = element.GetVR();
  std::string value;
  if (IsTextVR(code)) {
    const std::string_view stored = element.GetTextView();
    (UsesSpecificCharacterSet(code) ? m_target.charset : CCharacterSet()).Decode(stored, DelimitersOf(code), value);
    m_shownText = value;
    m_storedBytes.assign(stored.begin(), stored.end());
    m_storedVr = code;
  } else if (IsBinaryVR(code)) {
    if (const auto* pixels = dynamic_cast<const CDicomPixelData*>(&element)) {
      if (pixels->IsEncapsulated()) {
        m_refusal = "The pixel data is compressed: its frames are fragments that only the pixel commands change. "
                    "Decompress it first to edit its bytes.";
        return false;
      }
      if (!pixels->IsLoaded()) {
        m_refusal = "The pixel data was not read (Allow Read Pixel Data was off when the file was opened): "
                    "open the file again with it on to edit its bytes.";
        return false;
      }
    }
    if (!element.HasValue() && element.GetLength() != 0) {
      m_refusal = "The value of " + FormatTag(element.GetTag()) + " was not read, so it cannot be edited.";
      return false;
    }
    std::vector<uint8_t> bytes(element.GetValue(), element.GetValue() + (element.HasValue() ? element.GetLength() : 0));
    if (SwapsWords(element.GetTag(), code)) (void)SwapValueBytes(code, bytes.data(), bytes.size());
    m_vr = code;
    SetBinaryValue(std::move(bytes));
    value = std::move(valueText);
  } else if (std::optional<std::string> numbers = FormatNumberList(element)) {
    // Every value, separated by `\`: an element of several is edited whole,
    // never cut to its first (SS as its 16 bits stand, so -1 shows as 65535).
    value = std::move(*numbers);
  } else {
    m_refusal = "Elements of VR " + VrToString(code) + " cannot be edited here; remove the element and insert it anew.";
    return false;
  }
  char field[8];
  std::snprintf(field, sizeof field, "%04x", TagGroup(element.GetTag()));
  groupText = field;
  std::snprintf(field, sizeof field, "%04x", TagElement(element.GetTag()));
  elementText = field;
  m_vr = code;
  lengthText = std::to_string(element.GetLength());
  valueText = std::move(value);
  return true;
}

int CDicomElementDlg::SelectedVrIndex() const {
  if (m_vr == vr::kUnknown) return 0;
  const std::string name = VrToString(m_vr);
  for (size_t i = 1; i < kVrNames.size(); ++i) {
    if (name == kVrNames[i]) return static_cast<int>(i);
  }
  return -1;
}

void CDicomElementDlg::SelectVrIndex(int index) {
  if (index <= 0 || static_cast<size_t>(index) >= kVrNames.size()) {
    SetVR(vr::kUnknown);
    return;
  }
  SetVR(MakeVR(kVrNames[static_cast<size_t>(index)][0], kVrNames[static_cast<size_t>(index)][1]));
}

void CDicomElementDlg::SetVR(DicomVR vr) {
  m_vr = vr;
  // Bytes held for a binary VR mean nothing as text: the field empties.
  if (m_valueHeld && !IsBinary()) {
    m_valueHeld = false;
    m_heldBytes.clear();
    valueText.clear();
    lengthText = "0";
  }
}

bool CDicomElementDlg::IsLengthEditable() const { return IsBinaryVR(m_vr) && !m_valueHeld; }

DicomVR CDicomElementDlg::EffectiveVR() const {
  if (m_vr != vr::kUnknown) return m_vr;
  DicomTag tag = 0;
  std::string ignored;
  return ParseTypedTag(groupText, elementText, tag, ignored) ? LookupVRForSopClass(tag, m_target.sopClassUid)
                                                             : vr::kUnknown;
}

bool CDicomElementDlg::IsBinary() const { return IsBinaryVR(EffectiveVR()); }

bool CDicomElementDlg::SwapsWords(DicomTag tag, DicomVR vr) const {
  // Group 0002 is little endian in every file.
  return m_target.bigEndian && TagGroup(tag) != 0x0002 && BinaryUnitOf(vr) > 1;
}

void CDicomElementDlg::SetBinaryValue(std::vector<uint8_t> bytes) {
  lengthText = std::to_string(bytes.size());
  m_valueHeld = bytes.size() > kMaxHexLength;
  if (m_valueHeld) {
    valueText = "(" + std::to_string(bytes.size()) + " bytes \xE2\x80\x94 use Import/Export)";
    m_heldBytes = std::move(bytes);
  } else {
    valueText = FormatHexBytes(bytes.data(), bytes.size());
    m_heldBytes.clear();
  }
}

bool CDicomElementDlg::BinaryBytes(std::vector<uint8_t>& bytes, std::string& error) const {
  if (m_valueHeld) {
    bytes = m_heldBytes;
    return true;
  }
  std::optional<std::vector<uint8_t>> parsed = ParseHexBytes(valueText, error);
  if (!parsed) return false;
  bytes = std::move(*parsed);
  return true;
}

bool CDicomElementDlg::ImportValue(const std::string& path, IUserInterface& ui) {
  const DicomVR code = EffectiveVR();
  if (!IsBinaryVR(code)) {
    ui.ShowMessage("Import replaces the value of a binary VR (OB, OW, OF, OD, OL, OV or UN): choose one first.");
    return false;
  }
  std::error_code failed;
  const uintmax_t size = std::filesystem::file_size(path, failed);
  if (failed) {
    ui.ShowMessage("Cannot read " + path + ": " + failed.message() + ".");
    return false;
  }
  if (size > kMaxImportLength) {
    ui.ShowMessage(path + " holds " + std::to_string(size) + " bytes; one element holds at most " +
                   std::to_string(kMaxImportLength) + ".");
    return false;
  }
  if (const std::string wrong = CheckBinaryLength(code, size); !wrong.empty()) {
    ui.ShowMessage(path + ": " + wrong);
    return false;
  }
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    ui.ShowMessage("There is not enough memory to import the " + std::to_string(size) + " bytes of " + path + ".");
    return false;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())) ||
      file.peek() != std::ifstream::traits_type::eof()) {
    ui.ShowMessage("Cannot read " + path + " to its end (it changed while it was read, or a read failed).");
    return false;
  }
  SetBinaryValue(std::move(bytes));
  return true;
}

bool CDicomElementDlg::ExportValue(const std::string& path, IUserInterface& ui) {
  std::vector<uint8_t> typed;
  std::string error;
  // A held value is written from where it is: it may be hundreds of MB.
  if (!m_valueHeld && !BinaryBytes(typed, error)) {
    ui.ShowMessage(error);
    return false;
  }
  const std::vector<uint8_t>& bytes = m_valueHeld ? m_heldBytes : typed;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())) ||
      !file.flush()) {
    ui.ShowMessage("Cannot write " + path + ".");
    return false;
  }
  ui.ShowStatus(std::to_string(bytes.size()) + " bytes written to " + path);
  return true;
}

void CDicomElementDlg::LookupVR() {
  DicomTag tag = 0;
  std::string ignored;
  if (!ParseTypedTag(groupText, elementText, tag, ignored)) return;
  m_vr = LookupVRForSopClass(tag, m_target.sopClassUid);
}

void CDicomElementDlg::CreateUid(ISettingsStore* store) { valueText = GenerateUID(store); }

bool CDicomElementDlg::Accept(IUserInterface& ui) {
  std::string error;
  DicomTag tag = 0;
  if (!ParseTypedTag(groupText, elementText, tag, error) ||
      !CheckTagPlacement(tag, m_target.insideItem, m_vr == vr::SQ, error)) {
    ui.ShowMessage(error);
    return false;
  }
  m_result = ResultValue{};
  m_result.tag = tag;
  m_result.vr = m_vr;
  // With no VR chosen the element takes the dictionary's, as an element
  // added by tag alone does.
  if (m_result.vr == vr::kUnknown) m_result.vr = LookupVRForSopClass(tag, m_target.sopClassUid);
  if (m_result.vr == vr::SQ || SelectedVrIndex() < 0) {
    ui.ShowMessage(kCannotInsert);
    return false;
  }
  if (IsTextVR(m_result.vr) ? !EncodeTypedText(ui, error) : !BuildValue(error)) {
    if (!error.empty()) ui.ShowMessage(error);
    return false;
  }
  // Whatever the data model would refuse is refused here, with its reason,
  // while the user can still change it.
  if (Status allowed = CheckElementRules(tag, m_result.vr, m_result.bytes.size(), !m_result.bytes.empty(),
                                         m_target.insideItem ? ElementPlace::Item : ElementPlace::DataSet);
      !allowed) {
    ui.ShowMessage(allowed.Message());
    return false;
  }
  // A value that breaks its VR's rules is stored only when the user says
  // so (files in the wild hold such values, and one may have to be kept).
  const std::vector<std::string> problems = CheckValue(
      tag, m_result.vr, std::string_view(reinterpret_cast<const char*>(m_result.bytes.data()), m_result.bytes.size()));
  if (!problems.empty()) {
    std::string text;
    for (const std::string& problem : problems) text += problem + ".\n";
    if (!ui.AskYesNo(text + "\nStore it all the same?")) return false;
  }
  return true;
}

bool CDicomElementDlg::EncodeTypedText(IUserInterface& ui, std::string& error) {
  const DicomVR code = m_result.vr;
  if (code == m_storedVr && valueText == m_shownText) {
    // Shown and left alone: bytes that did not decode stay as they were.
    m_result.bytes = m_storedBytes;
    return true;
  }
  const bool inSet = UsesSpecificCharacterSet(code);
  const CCharacterSet charset = inSet ? m_target.charset : CCharacterSet();
  quillon::Result<std::string> encoded = charset.Encode(valueText, DelimitersOf(code));
  if (!encoded && inSet && !charset.IsUtf8() && encoded.GetError().Code() == ErrorCode::Refused) {
    quillon::Result<std::string> utf8 = CCharacterSet::Utf8().Encode(valueText, DelimitersOf(code));
    if (utf8) {
      const std::string question =
          charset.IsDeclared()
              ? encoded.Message() +
                    "\n\nConvert the data set to ISO_IR 192 (UTF-8), re-encoding its text, and store the value?"
              : "The data set declares no Specific Character Set (0008,0005), so its text may hold ASCII only.\n\n"
                "Declare ISO_IR 192 (UTF-8), re-encoding its text, and store the value?";
      if (!ui.AskYesNo(question)) return false;  // the user said no: nothing more to say
      encoded = std::move(utf8);
      m_result.convertToUtf8 = true;
    }
  } else if (!encoded && !inSet) {
    error = "VR " + VrToString(code) +
            " holds the default character repertoire (ASCII) only: enter the value without other characters.";
    return false;
  }
  if (!encoded) {
    error = encoded.Message();
    return false;
  }
  if (encoded->size() > kMaxValueLength) {
    error = "A value typed here can hold at most " + std::to_string(kMaxValueLength) + " bytes; this one has " +
            std::to_string(encoded->size()) + ".";
    return false;
  }
  m_result.bytes.assign(encoded->begin(), encoded->end());
  return true;
}

bool CDicomElementDlg::BuildValue(std::string& error) {
  const DicomVR code = m_result.vr;
  std::vector<uint8_t>& bytes = m_result.bytes;
  // Several values, or a VR only the list reads, are read as a list.
  if (NumberSize(code) != 0 && (valueText.find('\\') != std::string::npos || code == vr::SV || code == vr::UV)) {
    return ParseNumberList(code, valueText, bytes, error);
  }
  int64_t integer = 0;
  double real = 0;
  switch (code) {
    case vr::US:
    case vr::SS: {
      // SS is shown as its 16 bits read unsigned, so both readings are taken.
      const int64_t low = code == vr::US ? 0 : -32768;
      if (!ParseInteger(valueText, low, 65535, integer)) {
        error = code == vr::US ? "Enter one whole number from 0 to 65535 for VR US."
                               : "Enter one whole number from -32768 to 32767 for VR SS.";
        return false;
      }
      AppendLittleEndian(bytes, static_cast<uint64_t>(integer), 2);
      return true;
    }
    case vr::UL:
    case vr::SL: {
      const int64_t low = code == vr::UL ? 0 : INT32_MIN;
      const int64_t high = code == vr::UL ? int64_t{UINT32_MAX} : INT32_MAX;
      if (!ParseInteger(valueText, low, high, integer)) {
        error = code == vr::UL ? "Enter one whole number from 0 to 4294967295 for VR UL."
                               : "Enter one whole number from -2147483648 to 2147483647 for VR SL.";
        return false;
      }
      AppendLittleEndian(bytes, static_cast<uint64_t>(integer), 4);
      return true;
    }
    case vr::SV:
    case vr::UV:
      // UV is offered up to the largest signed value: larger counts belong
      // in a file made by other means.
      if (!ParseInteger(valueText, code == vr::SV ? INT64_MIN : 0, INT64_MAX, integer)) {
        error = code == vr::SV ? "Enter one whole number of 64 bits for VR SV."
                               : "Enter one whole number from 0 to 9223372036854775807 for VR UV.";
        return false;
      }
      AppendLittleEndian(bytes, static_cast<uint64_t>(integer), 8);
      return true;
    case vr::AT: {
      // A tag, typed "gggg,eeee" (or as the number of its stored bytes).
      const std::string_view text = Trim(valueText);
      const size_t comma = text.find(',');
      uint16_t group = 0;
      uint16_t element = 0;
      const auto unbracket = [](std::string_view part) {
        part = Trim(part);
        if (!part.empty() && part.front() == '(') part.remove_prefix(1);
        if (!part.empty() && part.back() == ')') part.remove_suffix(1);
        return std::string(part);
      };
      if (comma != std::string_view::npos && ParseTagField(unbracket(text.substr(0, comma)), group) &&
          ParseTagField(unbracket(text.substr(comma + 1)), element)) {
        AppendLittleEndian(bytes, group, 2);
        AppendLittleEndian(bytes, element, 2);
        return true;
      }
      if (ParseInteger(text, 0, UINT32_MAX, integer)) {
        AppendLittleEndian(bytes, static_cast<uint64_t>(integer), 4);
        return true;
      }
      error = "Enter the tag an AT value points to as gggg,eeee (for example 0010,0020).";
      return false;
    }
    case vr::FL:
      if (!ParseReal(valueText, real) || std::fabs(real) > 3.4028234663852886e38) {
        error = "Enter one number in the range of a 32-bit floating-point value for VR FL.";
        return false;
      }
      AppendLittleEndian(bytes, std::bit_cast<uint32_t>(static_cast<float>(real)), 4);
      return true;
    case vr::FD:
      if (!ParseReal(valueText, real)) {
        error = "Enter one number for VR FD.";
        return false;
      }
      AppendLittleEndian(bytes, std::bit_cast<uint64_t>(real), 8);
      return true;
    default: break;
  }
  // Binary VRs: the bytes as the file holds them, zero-filled up to a
  // longer declared length, then put in the model's byte order.
  if (!IsBinaryVR(code)) {
    error = kCannotInsert;
    return false;
  }
  if (!BinaryBytes(bytes, error)) return false;
  int64_t declared = static_cast<int64_t>(bytes.size());
  if (!m_valueHeld && (!ParseInteger(lengthText, 0, INT64_MAX, declared) || declared > kMaxValueLength)) {
    error = "Enter a length from 0 to " + std::to_string(kMaxValueLength) + " bytes.";
    return false;
  }
  if (static_cast<uint64_t>(declared) < bytes.size()) {
    error = "The length (" + std::to_string(declared) + ") is shorter than the " + std::to_string(bytes.size()) +
            " bytes of the value; enter a length of at least " + std::to_string(bytes.size()) + ".";
    return false;
  }
  bytes.resize(static_cast<size_t>(declared), 0);
  if (error = CheckBinaryLength(code, bytes.size()); !error.empty()) return false;
  if (SwapsWords(m_result.tag, code)) (void)SwapValueBytes(code, bytes.data(), bytes.size());
  return true;
}

}  // namespace quillon
