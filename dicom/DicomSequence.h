/// \file
/// CDicomSequence — an element of VR SQ: an ordered list of items, each a
/// nested data set. It owns its items.
#pragma once

#include "dicom/DicomElement.h"
#include "dicom/SequenceItem.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class CDicomSequence : public CDicomElement {
 public:
  /// A sequence of undefined length with no items.
  explicit CDicomSequence(DicomTag tag = 0);
  /// Built from an element header just read: tag, VR and length copied,
  /// undefined length exactly when the length is 0xFFFFFFFF.
  explicit CDicomSequence(const CDicomElement& header);
  ~CDicomSequence() override;

  /// Header, items and (for undefined length) the sequence delimitation.
  uint64_t EncodedSize(TransferMode mode) const override;
  /// Always false: a sequence holds items, not value bytes; the reader and
  /// the writer frame its items themselves.
  [[nodiscard]] bool WriteElement(CStream& stream, TransferMode mode) const override;
  [[nodiscard]] bool ReadValue(CStream& stream, TransferMode mode) override;
  /// The sequence line, each item bracketed by item and end-item lines with
  /// its elements one level deeper, and the end-of-sequence line.
  DicomStatus DumpText(std::string& out, int level) const override;
  /// Always false: sequences are copied with Clone.
  [[nodiscard]] bool CopyFrom(const CDicomElement& source) override;
  /// A deep copy, or null when an item cannot be copied.
  std::unique_ptr<CDicomElement> Clone() const override;

  /// Records the lengths a write in `mode` gives this sequence and its
  /// items (for defined lengths) and hands the items `mode` as their
  /// transfer mode (CDicomObject::RecordEncodedLengths does so at every
  /// depth).
  void RecordLengths(TransferMode mode);
  /// The length field a write in `mode` gives this sequence: its encoded
  /// size without the header, or 0xFFFFFFFF for an undefined length; empty
  /// when a defined length would not fit in 32 bits.
  std::optional<uint32_t> LengthField(TransferMode mode) const;

  void AppendItem(std::unique_ptr<CSequenceItem> item);
  size_t GetItemCount() const { return m_items.size(); }
  /// The item at `index`, or null when out of range.
  CSequenceItem* GetItem(size_t index) const;
  /// Destroys the item at `index`; later items move down. Failure when out
  /// of range.
  DicomStatus RemoveItem(size_t index);
  /// Removes the item at `index` and hands it to the caller (null when out
  /// of range); later items move down.
  std::unique_ptr<CSequenceItem> TakeItem(size_t index);
  /// Puts `item` at `index` (at most the item count); later items move up.
  DicomStatus InsertItem(size_t index, std::unique_ptr<CSequenceItem> item);
  void ClearItems() { m_items.clear(); }

  /// The SOP Class UID handed to every item read into this sequence (the
  /// implicit-VR lookup inside items needs it).
  const std::string& GetSopClassUid() const { return m_sopClassUid; }
  void SetSopClassUid(std::string uid) { m_sopClassUid = std::move(uid); }

 private:
  std::vector<std::unique_ptr<CSequenceItem>> m_items;
  std::string m_sopClassUid;
};

}  // namespace quillon
