/// \file
/// CValueBuffer — the bytes of one element's value. Values of up to
/// kInlineCapacity bytes (dates, times, numbers, codes, short names: most
/// elements of a real data set) live inside the buffer itself; longer ones
/// on the heap. A data set of 200,000 elements thus makes well under half
/// the allocations, and an element with its value fits one 48-byte
/// allocator chunk.
///
/// The buffer has byte alignment so that it packs between the element's
/// other fields; the heap pointer is kept in the bytes through memcpy.
#pragma once

#include <cstdint>
#include <memory>

namespace quillon {

class CValueBuffer {
 public:
  static constexpr uint32_t kInlineCapacity = 19;

  CValueBuffer() = default;
  CValueBuffer(const CValueBuffer&) = delete;
  CValueBuffer& operator=(const CValueBuffer&) = delete;
  ~CValueBuffer() { Reset(); }

  bool HasValue() const { return m_mode != Mode::Empty; }
  uint8_t* Data() { return m_mode == Mode::Heap ? HeapPointer() : m_mode == Mode::Inline ? m_bytes : nullptr; }
  const uint8_t* Data() const { return const_cast<CValueBuffer*>(this)->Data(); }

  /// Makes room for `length` bytes, left uninitialised; the old value is
  /// dropped. False (and no value) when the memory cannot be had.
  [[nodiscard]] bool Allocate(uint64_t length);
  /// Takes over a heap block (null: no value).
  void Adopt(std::unique_ptr<uint8_t[]> bytes);
  /// Hands the value over as a heap block holding its first `length` bytes
  /// (an inline value is copied out; null if that copy cannot be had). The
  /// buffer is empty afterwards.
  std::unique_ptr<uint8_t[]> Release(uint32_t length);
  void Reset();

 private:
  enum class Mode : uint8_t { Empty, Inline, Heap };

  uint8_t* HeapPointer() const;
  void SetHeapPointer(uint8_t* pointer);

  uint8_t m_bytes[kInlineCapacity] = {};
  Mode m_mode = Mode::Empty;
};

static_assert(alignof(CValueBuffer) == 1 && sizeof(CValueBuffer) == CValueBuffer::kInlineCapacity + 1);

}  // namespace quillon
