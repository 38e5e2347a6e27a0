/// \file
/// CSequenceItem — one ITEM of a sequence: a data set that also remembers
/// the item tag and item length it was read with.
#pragma once

#include "dicom/DicomObject.h"

#include <optional>

namespace quillon {

class CSequenceItem : public CDicomObject {
 public:
  CSequenceItem() = default;

  /// Copies the elements and also the item tag, item length and
  /// undefined-length flag when `source` is an item.
  [[nodiscard]] bool CopyFrom(const CDicomObject* source) override;

  ElementPlace Place() const override { return ElementPlace::Item; }

  /// Bytes the item occupies in a stream of `mode`: item header, content,
  /// and the item delimitation when its length is undefined.
  uint64_t EncodedItemSize(TransferMode mode) const;
  /// The length field a write in `mode` gives this item: its content size,
  /// or 0xFFFFFFFF for an undefined length; empty when a defined length
  /// would not fit in 32 bits.
  std::optional<uint32_t> LengthField(TransferMode mode) const;

  bool IsUndefinedLength() const { return m_undefinedLength; }
  void SetUndefinedLength(bool undefinedLength) { m_undefinedLength = undefinedLength; }
  /// The raw little-endian item tag word as read: 0xE000FFFE for an item,
  /// 0xE0DDFFFE for a sequence delimitation; 0 for a new item.
  uint32_t GetItemTag() const { return m_itemTag; }
  void SetItemTag(uint32_t itemTag) { m_itemTag = itemTag; }
  uint32_t GetItemLength() const { return m_itemLength; }
  void SetItemLength(uint32_t itemLength) { m_itemLength = itemLength; }

 private:
  bool m_undefinedLength = true;
  uint32_t m_itemTag = 0;
  uint32_t m_itemLength = 0;
};

}  // namespace quillon
