/// \file
/// DumpRowList — the rows of the element list of one document: one row per
/// element, sequence and item, and a closing row after every item and
/// sequence, in the order and with the indentation of the text dump.
///
/// A row keeps only what it points at (an element or an item), its nesting
/// level and the character set in force there: its text is made when asked,
/// from the dump's own line formatters, so a data set of hundreds of
/// thousands of elements costs a few bytes a row and never holds every
/// row's text. The rows point into the document's data set and are rebuilt
/// after every change of it.
#pragma once

#include "dicom/CharacterSet.h"
#include "dicom/DicomTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class CDicomElement;
class CDicomObject;
class CDicomSequence;
class CSequenceItem;

/// What a row shows.
enum class DumpRowKind : uint8_t {
  Element = 1,
  Sequence = 2,
  Item = 3,
  PixelData = 4,
  EndMarker = 5,
};

struct DumpRow {
  /// What the row shows, by its kind: the element of an Element, Sequence
  /// or PixelData row, the item of an Item row; neither for an EndMarker.
  /// Rows point into the document's own data set, which the document
  /// changes through them.
  union {
    CDicomElement* element = nullptr;
    CSequenceItem* item;
  };
  /// Nesting depth: 0 in the top-level data set; an item and its elements
  /// are one deeper than their sequence.
  int32_t level = 0;
  DumpRowKind kind = DumpRowKind::Element;
  /// EndMarker rows: true for "---- End Seq", false for "---- End Item".
  bool endsSequence = false;
  /// The character set the row's text values are stored in, as an index
  /// into the list's table of sets (DumpRowList::CharsetOf).
  uint8_t charset = 0;
};
static_assert(sizeof(DumpRow) <= 16, "a row is a pointer and a few small numbers: keep it so");

/// What a change was about: the element or the item whose row a view
/// shows after it; neither for no row in particular.
struct RowFocus {
  RowFocus() = default;
  RowFocus(const CDicomElement* changed) : element(changed) {}  // NOLINT: implicit by design
  RowFocus(const CSequenceItem* changed) : item(changed) {}     // NOLINT: implicit by design
  const CDicomElement* element = nullptr;
  const CSequenceItem* item = nullptr;
};

class DumpRowList {
 public:
  /// Rebuilds every row from `object`, the top-level data set. The rows
  /// point into it until the next rebuild.
  void Rebuild(CDicomObject& object);
  void Clear() {
    m_rows.clear();
    m_charsets.clear();
  }

  size_t Size() const { return m_rows.size(); }
  bool Empty() const { return m_rows.empty(); }
  /// The row at `index`; `index` must be below Size().
  const DumpRow& At(size_t index) const { return m_rows[index]; }
  bool IsValid(int index) const { return index >= 0 && static_cast<size_t>(index) < m_rows.size(); }

  /// The row's line as the text dump prints it, without the line end, in
  /// the bytes of the data set (text values in their character set).
  std::string RawText(size_t index) const;
  /// The row's line as UTF-8 for display: text values decoded from their
  /// character set, and control characters (a line break in a comment, a
  /// tab) shown as visible symbols so a value can never break a row apart.
  std::string DisplayText(size_t index) const;

  /// The character set the text values of the row at `index` are stored in.
  const CCharacterSet& CharsetOf(size_t index) const { return m_charsets[m_rows[index].charset]; }

  /// The element of an Element, Sequence or PixelData row, else null.
  CDicomElement* ElementAt(size_t index) const;
  /// The sequence of a Sequence row, else null.
  CDicomSequence* SequenceAt(size_t index) const;
  /// The item of an Item row, else null.
  CSequenceItem* ItemAt(size_t index) const;

  /// The tag a row stands for, as its text yields one: rows of the
  /// top-level data set that start with a tag (elements, sequences, pixel
  /// data); none for nested rows and markers.
  std::optional<DicomTag> TagOfRow(int index) const;
  /// The data set a row belongs to: the item of the nearest Item row above
  /// it at the same level, or null for the top-level data set (also for
  /// rows whose item cannot be found).
  CSequenceItem* ContainerItemOf(int index) const;
  /// The sequence holding the item of an Item row, and the item's index in
  /// it; false when the row is not an Item row or the item is not found.
  bool FindItem(int index, CDicomSequence*& sequence, size_t& itemIndex) const;
  /// The row of the element or item `focus` names, or -1.
  int RowOf(const RowFocus& focus) const;

 private:
  void AppendObject(CDicomObject& object, int32_t level, uint8_t charset);
  /// The index of `charset` in m_charsets, added when new.
  uint8_t IndexOf(const CCharacterSet& charset);

  std::vector<DumpRow> m_rows;
  /// The distinct character sets of the data set and its items: a handful
  /// at most, so rows keep an index of one byte.
  std::vector<CCharacterSet> m_charsets;
};

}  // namespace quillon
