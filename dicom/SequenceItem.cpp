#include "dicom/SequenceItem.h"

namespace quillon {

bool CSequenceItem::CopyFrom(const CDicomObject* source) {
  if (const auto* item = dynamic_cast<const CSequenceItem*>(source)) {
    m_itemTag = item->m_itemTag;
    m_itemLength = item->m_itemLength;
    m_undefinedLength = item->m_undefinedLength;
  }
  return CDicomObject::CopyFrom(source);
}

std::optional<uint32_t> CSequenceItem::LengthField(TransferMode mode) const {
  if (m_undefinedLength) return CDicomElement::kUndefinedLength;
  const uint64_t length = ContentSize(mode);
  if (length >= CDicomElement::kUndefinedLength) return std::nullopt;
  return static_cast<uint32_t>(length);
}

uint64_t CSequenceItem::EncodedItemSize(TransferMode mode) const {
  return ContentSize(mode) + 8 + (m_undefinedLength ? 8u : 0u);
}

}  // namespace quillon
