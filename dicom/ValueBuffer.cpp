#include "dicom/ValueBuffer.h"

#include <cstring>
#include <new>

namespace quillon {

uint8_t* CValueBuffer::HeapPointer() const {
  uint8_t* pointer = nullptr;
  std::memcpy(&pointer, m_bytes, sizeof pointer);
  return pointer;
}

void CValueBuffer::SetHeapPointer(uint8_t* pointer) { std::memcpy(m_bytes, &pointer, sizeof pointer); }

void CValueBuffer::Reset() {
  // Rebuilding the owner hands the block back the way it was made.
  if (m_mode == Mode::Heap) std::unique_ptr<uint8_t[]>(HeapPointer()).reset();
  m_mode = Mode::Empty;
}

bool CValueBuffer::Allocate(uint64_t length) {
  Reset();
  if (length <= kInlineCapacity) {
    m_mode = Mode::Inline;
    return true;
  }
  try {
    Adopt(std::make_unique_for_overwrite<uint8_t[]>(length));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void CValueBuffer::Adopt(std::unique_ptr<uint8_t[]> bytes) {
  Reset();
  if (!bytes) return;
  SetHeapPointer(bytes.release());
  m_mode = Mode::Heap;
}

std::unique_ptr<uint8_t[]> CValueBuffer::Release(uint32_t length) {
  std::unique_ptr<uint8_t[]> bytes;
  if (m_mode == Mode::Heap) {
    bytes.reset(HeapPointer());
    m_mode = Mode::Empty;
    return bytes;
  }
  if (m_mode == Mode::Inline) {
    try {
      bytes = std::make_unique_for_overwrite<uint8_t[]>(length == 0 ? 1 : length);
      std::memcpy(bytes.get(), m_bytes, length < kInlineCapacity ? length : kInlineCapacity);
    } catch (const std::bad_alloc&) {
      bytes.reset();
    }
  }
  m_mode = Mode::Empty;
  return bytes;
}

}  // namespace quillon
