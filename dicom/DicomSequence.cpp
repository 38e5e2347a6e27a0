#include "dicom/DicomSequence.h"

#include "dicom/ValueRepresentation.h"

namespace quillon {

CDicomSequence::CDicomSequence(DicomTag tag) {
  SetTag(tag);
  SetVR(vr::SQ);
  SetUndefinedLength(true);
}

CDicomSequence::CDicomSequence(const CDicomElement& header) {
  SetTag(header.GetTag());
  SetVR(header.GetVR());
  SetValueLength(header.GetLength());
  SetUndefinedLength(header.GetLength() == kUndefinedLength);
}

CDicomSequence::~CDicomSequence() = default;

uint64_t CDicomSequence::EncodedSize(TransferMode mode) const {
  uint64_t size = mode == TransferMode::ImplicitLittleEndian ? 8 : 12;
  for (const auto& item : m_items) size += item->EncodedItemSize(mode);
  if (IsUndefinedLength()) size += 8;
  return size;
}

std::optional<uint32_t> CDicomSequence::LengthField(TransferMode mode) const {
  if (IsUndefinedLength()) return kUndefinedLength;
  const uint32_t headerSize = mode == TransferMode::ImplicitLittleEndian ? 8 : 12;
  const uint64_t length = EncodedSize(mode) - headerSize;
  if (length >= kUndefinedLength) return std::nullopt;
  return static_cast<uint32_t>(length);
}

void CDicomSequence::RecordLengths(TransferMode mode) {
  if (const std::optional<uint32_t> length = LengthField(mode); length && !IsUndefinedLength()) {
    SetValueLength(*length);
  }
  for (const auto& item : m_items) {
    item->SetTransferMode(mode);
    if (const std::optional<uint32_t> length = item->LengthField(mode); length && !item->IsUndefinedLength()) {
      item->SetItemLength(*length);
    }
  }
}

bool CDicomSequence::WriteElement(CStream& /*stream*/, TransferMode /*mode*/) const { return false; }

bool CDicomSequence::ReadValue(CStream& /*stream*/, TransferMode /*mode*/) { return false; }

bool CDicomSequence::CopyFrom(const CDicomElement& /*source*/) { return false; }

std::unique_ptr<CDicomElement> CDicomSequence::Clone() const {
  auto copy = std::make_unique<CDicomSequence>(GetTag());
  copy->SetVR(GetVR());
  copy->SetValueLength(GetLength());
  copy->SetUndefinedLength(IsUndefinedLength());
  copy->m_sopClassUid = m_sopClassUid;
  copy->m_items.reserve(m_items.size());
  for (const auto& item : m_items) {
    auto itemCopy = std::make_unique<CSequenceItem>();
    if (!itemCopy->CopyFrom(item.get())) return nullptr;
    copy->m_items.push_back(std::move(itemCopy));
  }
  return copy;
}

void CDicomSequence::AppendItem(std::unique_ptr<CSequenceItem> item) {
  if (item) m_items.push_back(std::move(item));
}

CSequenceItem* CDicomSequence::GetItem(size_t index) const {
  return index < m_items.size() ? m_items[index].get() : nullptr;
}

DicomStatus CDicomSequence::RemoveItem(size_t index) {
  return TakeItem(index) ? DicomStatus::Success : DicomStatus::Failure;
}

std::unique_ptr<CSequenceItem> CDicomSequence::TakeItem(size_t index) {
  if (index >= m_items.size()) return nullptr;
  std::unique_ptr<CSequenceItem> taken = std::move(m_items[index]);
  m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
  return taken;
}

DicomStatus CDicomSequence::InsertItem(size_t index, std::unique_ptr<CSequenceItem> item) {
  if (!item || index > m_items.size()) return DicomStatus::Failure;
  m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
  return DicomStatus::Success;
}

}  // namespace quillon
