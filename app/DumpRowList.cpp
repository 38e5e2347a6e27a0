#include "app/DumpRowList.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/DumpText.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"

namespace quillon {

namespace {

constexpr DicomTag kSpecificCharacterSet = 0x00080005;

bool IsElementRow(DumpRowKind kind) {
  return kind == DumpRowKind::Element || kind == DumpRowKind::Sequence || kind == DumpRowKind::PixelData;
}

/// The visible stand-in of a control character: its symbol from the
/// Control Pictures block (U+2400–U+2421), which fixed-pitch fonts carry.
char32_t ControlPicture(char32_t c) { return c == 0x7F ? char32_t{0x2421} : char32_t{0x2400} + c; }

/// How many rows `object` gives: counted first so the list is allocated
/// once, at its exact size (growing it by doubling would, at its peak, hold
/// up to three times the rows of a large file).
size_t CountRows(const CDicomObject& object) {
  size_t rows = 0;
  for (const auto& entry : object.Elements().Sorted()) {
    ++rows;
    const auto* sequence = entry.element && entry.element->GetVR() == vr::SQ
                               ? dynamic_cast<const CDicomSequence*>(entry.element.get())
                               : nullptr;
    if (sequence == nullptr) continue;
    ++rows;  // the end of the sequence
    for (size_t i = 0; i < sequence->GetItemCount(); ++i) {
      if (const CSequenceItem* item = sequence->GetItem(i)) rows += 2 + CountRows(*item);
    }
  }
  return rows;
}

}  // namespace

void DumpRowList::Rebuild(CDicomObject& object) {
  m_rows.clear();
  m_rows.shrink_to_fit();
  m_rows.reserve(CountRows(object));
  m_charsets.clear();
  AppendObject(object, 0, IndexOf(CharsetInForce(object, CCharacterSet())));
}

uint8_t DumpRowList::IndexOf(const CCharacterSet& charset) {
  for (size_t i = 0; i < m_charsets.size(); ++i) {
    if (m_charsets[i] == charset) return static_cast<uint8_t>(i);
  }
  // A data set with more distinct sets than a byte can count is beyond
  // any real file: its further items show in the last set recorded.
  if (m_charsets.size() > UINT8_MAX) return UINT8_MAX;
  m_charsets.push_back(charset);
  return static_cast<uint8_t>(m_charsets.size() - 1);
}

void DumpRowList::AppendObject(CDicomObject& object, int32_t level, uint8_t charset) {
  const auto row = [&](DumpRowKind kind, int32_t rowLevel, bool endsSequence, uint8_t rowCharset) -> DumpRow& {
    DumpRow& added = m_rows.emplace_back();
    added.level = rowLevel;
    added.kind = kind;
    added.endsSequence = endsSequence;
    added.charset = rowCharset;
    return added;
  };
  for (const auto& entry : object.Elements().Sorted()) {
    CDicomElement* element = entry.element.get();
    if (element == nullptr) continue;
    auto* sequence = element->GetVR() == vr::SQ ? dynamic_cast<CDicomSequence*>(element) : nullptr;
    if (sequence == nullptr) {
      // Float and Double Float Pixel Data hold the image just as Pixel
      // Data does: their rows show it rather than their bytes.
      const bool image = entry.tag == tags::kPixelData || entry.tag == 0x7FE00008 || entry.tag == 0x7FE00009;
      const DumpRowKind kind = image ? DumpRowKind::PixelData : DumpRowKind::Element;
      row(kind, level, false, charset).element = element;
      continue;
    }
    row(DumpRowKind::Sequence, level, false, charset).element = element;
    for (size_t i = 0; i < sequence->GetItemCount(); ++i) {
      CSequenceItem* item = sequence->GetItem(i);
      if (item == nullptr) continue;
      // Most items declare no set of their own and keep their parent's.
      const uint8_t itemCharset = item->Elements().Find(kSpecificCharacterSet) != nullptr
                                      ? IndexOf(CharsetInForce(*item, m_charsets[charset]))
                                      : charset;
      row(DumpRowKind::Item, level + 1, false, itemCharset).item = item;
      AppendObject(*item, level + 1, itemCharset);
      row(DumpRowKind::EndMarker, level + 1, false, itemCharset);
    }
    row(DumpRowKind::EndMarker, level, true, charset);
  }
}

std::string DumpRowList::RawText(size_t index) const {
  const DumpRow& row = m_rows[index];
  std::string text;
  switch (row.kind) {
    case DumpRowKind::Element:
    case DumpRowKind::Sequence:
    case DumpRowKind::PixelData:
      AppendElementLine(text, *row.element, row.level);
      break;
    case DumpRowKind::Item:
      AppendItemLine(text, *row.item, row.level);
      break;
    case DumpRowKind::EndMarker:
      if (row.endsSequence) {
        AppendEndSequenceLine(text, row.level);
      } else {
        AppendEndItemLine(text, row.level);
      }
      break;
  }
  return text;
}

std::string DumpRowList::DisplayText(size_t index) const {
  const DumpRow& row = m_rows[index];
  std::string decoded;
  if (IsElementRow(row.kind)) {
    AppendElementLine(decoded, *row.element, row.level, &CharsetOf(index));
  } else {
    decoded = RawText(index);
  }
  // Most rows hold no control character at all: keep them as they are.
  bool hasControl = false;
  for (const char c : decoded) hasControl |= static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  if (!hasControl) return decoded;
  std::string shown;
  shown.reserve(decoded.size() + 16);
  for (const char c : decoded) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      AppendUtf8(ControlPicture(byte), shown);
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

CDicomElement* DumpRowList::ElementAt(size_t index) const {
  if (index >= m_rows.size() || !IsElementRow(m_rows[index].kind)) return nullptr;
  return m_rows[index].element;
}

CDicomSequence* DumpRowList::SequenceAt(size_t index) const {
  if (index >= m_rows.size() || m_rows[index].kind != DumpRowKind::Sequence) return nullptr;
  return dynamic_cast<CDicomSequence*>(ElementAt(index));
}

CSequenceItem* DumpRowList::ItemAt(size_t index) const {
  if (index >= m_rows.size() || m_rows[index].kind != DumpRowKind::Item) return nullptr;
  return m_rows[index].item;
}

std::optional<DicomTag> DumpRowList::TagOfRow(int index) const {
  if (!IsValid(index)) return std::nullopt;
  const DumpRow& row = m_rows[static_cast<size_t>(index)];
  if (row.level != 0 || !IsElementRow(row.kind)) return std::nullopt;
  return row.element->GetTag();
}

CSequenceItem* DumpRowList::ContainerItemOf(int index) const {
  if (!IsValid(index)) return nullptr;
  const int32_t level = m_rows[static_cast<size_t>(index)].level;
  if (level == 0) return nullptr;
  for (int i = index - 1; i >= 0; --i) {
    const DumpRow& row = m_rows[static_cast<size_t>(i)];
    if (row.kind == DumpRowKind::Item && row.level == level) return ItemAt(static_cast<size_t>(i));
    // Every row of the item lies between its Item row and this one, at its
    // level or deeper: a shallower row means the item is not above.
    if (row.level < level) break;
  }
  return nullptr;
}

bool DumpRowList::FindItem(int index, CDicomSequence*& sequence, size_t& itemIndex) const {
  sequence = nullptr;
  itemIndex = 0;
  if (!IsValid(index)) return false;
  const DumpRow& row = m_rows[static_cast<size_t>(index)];
  if (row.kind != DumpRowKind::Item || row.item == nullptr) return false;
  // The item's sequence is the nearest Sequence row above, one level out.
  for (int i = index - 1; i >= 0; --i) {
    const DumpRow& above = m_rows[static_cast<size_t>(i)];
    if (above.kind != DumpRowKind::Sequence || above.level != row.level - 1) continue;
    CDicomSequence* candidate = SequenceAt(static_cast<size_t>(i));
    if (candidate == nullptr) return false;
    for (size_t n = 0; n < candidate->GetItemCount(); ++n) {
      if (candidate->GetItem(n) == row.item) {
        sequence = candidate;
        itemIndex = n;
        return true;
      }
    }
    return false;
  }
  return false;
}

int DumpRowList::RowOf(const RowFocus& focus) const {
  for (size_t i = 0; i < m_rows.size(); ++i) {
    const DumpRow& row = m_rows[i];
    const bool found = row.kind == DumpRowKind::Item ? focus.item != nullptr && row.item == focus.item
                       : IsElementRow(row.kind)      ? focus.element != nullptr && row.element == focus.element
                                                     : false;
    if (found) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace quillon
