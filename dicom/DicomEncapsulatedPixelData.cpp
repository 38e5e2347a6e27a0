#include "dicom/DicomEncapsulatedPixelData.h"

#include "base/ByteOrder.h"
#include "base/Stream.h"
#include "dicom/ValueRepresentation.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quillon {

namespace {

constexpr uint64_t kItemHeaderSize = 8;
constexpr uint64_t kElementHeaderSize = 12;

// Compressed transfer syntaxes are explicit VR, but a file whose data set
// turned out to be implicit VR keeps its fragments: there the header is the
// implicit one, tag and length.
uint64_t ElementHeaderSize(TransferMode mode) {
  return mode == TransferMode::ImplicitLittleEndian ? 8 : kElementHeaderSize;
}
constexpr uint64_t kMaxSeekPosition = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

struct ItemHeader {
  DicomTag tag = 0;
  uint32_t length = 0;
};

bool IsBigEndian(TransferMode mode) { return mode == TransferMode::ExplicitBigEndian; }

// Items and delimiters have the same 8-byte framing in every transfer
// syntax: group, element, 32-bit length, in the stream's byte order.
ItemHeader DecodeItemHeader(const uint8_t* bytes, bool bigEndian) {
  ItemHeader header;
  header.tag = MakeTag(LoadU16(bytes, bigEndian), LoadU16(bytes + 2, bigEndian));
  header.length = LoadU32(bytes + 4, bigEndian);
  return header;
}

bool ReadItemHeader(CStream& stream, TransferMode mode, ItemHeader& header) {
  uint8_t bytes[kItemHeaderSize];
  if (!stream.ReadExact(bytes, sizeof bytes)) return false;
  header = DecodeItemHeader(bytes, IsBigEndian(mode));
  return true;
}

void WriteItemHeader(CStream& stream, TransferMode mode, DicomTag tag, uint32_t length) {
  uint8_t bytes[kItemHeaderSize];
  const bool bigEndian = IsBigEndian(mode);
  StoreU16(bytes, TagGroup(tag), bigEndian);
  StoreU16(bytes + 2, TagElement(tag), bigEndian);
  StoreU32(bytes + 4, length, bigEndian);
  stream.Write(bytes, sizeof bytes);
}

// The explicit-VR long header: tag, VR letters (never swapped), two zero
// bytes, 32-bit length; in implicit VR tag and 32-bit length.
void WriteElementHeader(CStream& stream, TransferMode mode, DicomTag tag, DicomVR vr,
                        uint32_t length) {
  uint8_t bytes[kElementHeaderSize] = {};
  const bool bigEndian = IsBigEndian(mode);
  StoreU16(bytes, TagGroup(tag), bigEndian);
  StoreU16(bytes + 2, TagElement(tag), bigEndian);
  if (mode == TransferMode::ImplicitLittleEndian) {
    StoreU32(bytes + 4, length, false);
    stream.Write(bytes, 8);
    return;
  }
  bytes[4] = static_cast<uint8_t>(vr & 0xFFu);
  bytes[5] = static_cast<uint8_t>(vr >> 8);
  StoreU32(bytes + 8, length, bigEndian);
  stream.Write(bytes, sizeof bytes);
}

}  // namespace

CDicomEncapsulatedPixelData::CDicomEncapsulatedPixelData() { SetUndefinedLength(true); }

CDicomEncapsulatedPixelData::CDicomEncapsulatedPixelData(const CDicomElement& header,
                                                         uint64_t valuePosition,
                                                         TransferMode streamMode)
    : CDicomPixelData(header, valuePosition), m_streamMode(streamMode) {}

CDicomEncapsulatedPixelData::~CDicomEncapsulatedPixelData() = default;

const CDicomElement* CDicomEncapsulatedPixelData::GetItem(size_t index) const {
  return index < m_items.size() ? m_items[index].get() : nullptr;
}

bool CDicomEncapsulatedPixelData::AppendItemCopy(const uint8_t* data, uint32_t length) {
  auto item = std::make_unique<CDicomElement>();
  item->SetTag(tags::kItem);
  if (length > 0) {
    auto value = TryAllocate(length);
    if (!value) return false;
    std::memcpy(value.get(), data, length);
    item->SetValue(std::move(value), length);
  }
  m_items.push_back(std::move(item));
  return true;
}

void CDicomEncapsulatedPixelData::RememberItemPosition(size_t index, uint64_t position) {
  if (index < m_itemPositions.size()) {
    m_itemPositions[index] = position;
  } else if (index == m_itemPositions.size()) {
    m_itemPositions.push_back(position);
  }
}

std::unique_ptr<CDicomEncapsulatedPixelData> CDicomEncapsulatedPixelData::FromFlatValue(
    const CDicomElement& source) {
  if (source.GetTag() != tags::kPixelData) return nullptr;
  auto element = std::make_unique<CDicomEncapsulatedPixelData>();
  element->CopyHeaderFrom(source);
  const uint8_t* value = source.GetValue();
  const uint64_t length = value ? source.GetLength() : 0;
  if (length == 0) return element;

  // Values are held in little-endian order whatever stream they came from,
  // so the item headers inside are little endian too.
  uint64_t offset = 0;
  while (offset < length) {
    if (length - offset < kItemHeaderSize) return element;
    const ItemHeader header = DecodeItemHeader(value + offset, false);
    offset += kItemHeaderSize;
    if (header.tag == tags::kSequenceDelimitation) break;
    if (header.tag != tags::kItem || header.length > length - offset) return element;
    if (!element->AppendItemCopy(value + offset, header.length)) return nullptr;
    offset += header.length;
  }
  element->m_loaded = true;
  return element;
}

bool CDicomEncapsulatedPixelData::ReadValue(CStream& stream, TransferMode mode) {
  m_items.clear();
  m_itemPositions.clear();
  m_loaded = false;
  if (GetTag() != tags::kPixelData) return false;
  m_valuePosition = stream.GetPosition();
  m_streamMode = mode;
  const bool defined = !IsUndefinedLength();
  const uint64_t valueLength = GetLength();
  if (defined && valueLength == 0) return true;

  const uint64_t start = m_valuePosition;
  for (;;) {
    const uint64_t consumed = stream.GetPosition() - start;
    if (defined && consumed >= valueLength) break;
    ItemHeader header;
    if (!ReadItemHeader(stream, mode, header)) return false;
    if (header.tag == tags::kSequenceDelimitation) break;
    // Only fragments may stand here: anything else means the value is not
    // what its first item promised, and reading on would misread the rest.
    if (header.tag != tags::kItem || header.length == kUndefinedLength) return false;
    // Checked before allocating: a damaged length must not become a
    // multi-gigabyte allocation.
    if (header.length > stream.Remaining()) return false;
    if (defined && header.length > valueLength - (consumed + kItemHeaderSize)) return false;

    auto item = std::make_unique<CDicomElement>();
    item->SetTag(tags::kItem);
    if (header.length > 0) {
      auto value = TryAllocate(header.length);
      if (!value || !stream.ReadExact(value.get(), header.length)) return false;
      item->SetValue(std::move(value), header.length);
    }
    m_items.push_back(std::move(item));
  }
  m_loaded = true;
  return true;
}

Status CDicomEncapsulatedPixelData::SkipValue(CStream& stream, TransferMode mode) {
  m_items.clear();
  m_itemPositions.clear();
  m_loaded = false;
  m_valuePosition = stream.GetPosition();
  m_streamMode = mode;
  const bool defined = !IsUndefinedLength();
  const uint64_t valueEnd = m_valuePosition + GetLength();  // meaningful only when defined
  const auto at = [](uint64_t offset) { return " at offset " + std::to_string(offset); };

  // Every turn consumes at least one 8-byte header, so the walk ends.
  for (size_t index = 0;; ++index) {
    const uint64_t position = stream.GetPosition();
    const bool remember = index < kMaxItemsRememberedBySkip;
    if (defined && position >= valueEnd) {
      if (remember) RememberItemPosition(index, position);  // just past the last item
      return Ok();
    }
    ItemHeader header;
    if (!ReadItemHeader(stream, mode, header)) {
      return Error(ErrorCode::Malformed, "encapsulated pixel data ends without a sequence delimitation (item header truncated" + at(position) +
            ")");
    }
    if (header.tag == tags::kSequenceDelimitation) {
      if (remember) RememberItemPosition(index, position);
      return Ok();
    }
    if (header.tag != tags::kItem || header.length == kUndefinedLength) {
      return Error(ErrorCode::Malformed, "expected a fragment item (FFFE,E000) of defined length in the pixel data" + at(position));
    }
    if (header.length > stream.Remaining()) {
      return Error(ErrorCode::Malformed, "fragment of length " + std::to_string(header.length) + at(position) +
            " runs past the end of the file (" + std::to_string(stream.Remaining()) + " bytes left)");
    }
    if (defined && position + kItemHeaderSize + header.length > valueEnd) {
      return Error(ErrorCode::Malformed, "fragment" + at(position) + " runs past the end of the pixel data value");
    }
    if (remember) RememberItemPosition(index, position);
    stream.Seek(static_cast<int64_t>(header.length), CStream::SeekOrigin::Current);
  }
}

uint64_t CDicomEncapsulatedPixelData::EncodedSize(TransferMode mode) const {
  uint64_t size = ElementHeaderSize(mode);
  for (const auto& item : m_items) size += kItemHeaderSize + item->GetLength();
  if (IsUndefinedLength()) size += kItemHeaderSize;
  return size;
}

bool CDicomEncapsulatedPixelData::WriteElement(CStream& stream, TransferMode mode) const {
  if (GetTag() != tags::kPixelData) return false;
  // Fragments left in the source file were never read: writing the element
  // now would silently drop them.
  if (!m_loaded && m_valuePosition != kUnknownPosition) return false;
  for (const auto& item : m_items) {
    if (item->GetLength() > 0 && !item->HasValue()) return false;
  }
  uint32_t lengthField = kUndefinedLength;
  if (!IsUndefinedLength()) {
    const uint64_t valueLength = EncodedSize(mode) - ElementHeaderSize(mode);
    if (valueLength >= kUndefinedLength) return false;
    lengthField = static_cast<uint32_t>(valueLength);
  }
  // Keep the VR read from the file (OB or OW); anything that cannot frame a
  // fragment sequence is written as the standard's OB.
  const DicomVR held = GetVR();
  const DicomVR vr = held != vr::kUnknown && HasLongExplicitHeader(held) ? held : vr::OB;
  WriteElementHeader(stream, mode, GetTag(), vr, lengthField);
  for (const auto& item : m_items) {
    WriteItemHeader(stream, mode, item->GetTag(), item->GetLength());
    if (item->GetLength() > 0) stream.Write(item->GetValue(), item->GetLength());
  }
  if (IsUndefinedLength()) WriteItemHeader(stream, mode, tags::kSequenceDelimitation, 0);
  return !stream.HasFailed();
}

std::unique_ptr<CDicomElement> CDicomEncapsulatedPixelData::Clone() const {
  if (GetTag() != tags::kPixelData) return nullptr;
  auto copy = std::make_unique<CDicomEncapsulatedPixelData>();
  CopyPixelStateTo(*copy);
  copy->m_streamMode = m_streamMode;
  copy->m_declaredFrames = m_declaredFrames;
  copy->m_extendedOffsets = m_extendedOffsets;
  copy->m_itemPositions = m_itemPositions;
  copy->m_items.reserve(m_items.size());
  for (const auto& item : m_items) {
    auto itemCopy = std::make_unique<CDicomElement>();
    if (!itemCopy->CopyFrom(*item)) return nullptr;
    copy->m_items.push_back(std::move(itemCopy));
  }
  return copy;
}

void CDicomEncapsulatedPixelData::SetValueLength(uint32_t /*length*/) {}

bool CDicomEncapsulatedPixelData::FinishWrite(CStream& stream, TransferMode mode) {
  if (m_writeFrameCounter < 0) return false;
  WriteItemHeader(stream, mode, tags::kSequenceDelimitation, 0);
  if (m_reservedOffsets != 0 && m_writtenOffsets.size() == m_reservedOffsets &&
      m_writtenOffsets.back() <= UINT32_MAX && !stream.HasFailed()) {
    std::vector<uint8_t> table(4 * size_t{m_reservedOffsets});
    for (size_t i = 0; i < m_writtenOffsets.size(); ++i) {
      StoreU32(table.data() + 4 * i, static_cast<uint32_t>(m_writtenOffsets[i]), IsBigEndian(mode));
    }
    const uint64_t end = stream.GetPosition();
    stream.Seek(static_cast<int64_t>(m_offsetTablePosition), CStream::SeekOrigin::Begin);
    stream.Write(table.data(), table.size());
    stream.Seek(static_cast<int64_t>(end), CStream::SeekOrigin::Begin);
  }
  return !stream.HasFailed();
}

bool CDicomEncapsulatedPixelData::WriteFrame(CStream& stream, TransferMode mode,
                                             const uint8_t* data, uint64_t length) {
  if (length > 0 && data == nullptr) return false;
  const uint64_t paddedLength = length + (length & 1u);
  if (paddedLength >= kUndefinedLength) return false;
  if (m_writeFrameCounter < 0) {
    WriteElementHeader(stream, mode, tags::kPixelData, vr::OB, kUndefinedLength);
    m_valuePosition = stream.GetPosition();
    m_streamMode = mode;
    // An empty Basic Offset Table, unless room was reserved: readers then
    // find frames by walking the items, which is how this class reads them.
    const uint64_t tableLength = 4 * uint64_t{m_reservedOffsets};
    if (tableLength >= kUndefinedLength) return false;
    WriteItemHeader(stream, mode, tags::kItem, static_cast<uint32_t>(tableLength));
    m_offsetTablePosition = stream.GetPosition();
    const uint8_t zeros[4096] = {};
    for (uint64_t left = tableLength; left > 0; left -= std::min<uint64_t>(left, sizeof zeros)) {
      stream.Write(zeros, std::min<uint64_t>(left, sizeof zeros));
    }
    m_writtenOffsets.clear();
    m_writeFrameCounter = 0;
  } else {
    ++m_writeFrameCounter;
  }
  if (m_reservedOffsets != 0) {
    // Offsets count from the first frame's item tag.
    const uint64_t itemsStart = m_offsetTablePosition + 4 * uint64_t{m_reservedOffsets};
    m_writtenOffsets.push_back(stream.GetPosition() - itemsStart);
  }
  WriteItemHeader(stream, mode, tags::kItem, static_cast<uint32_t>(paddedLength));
  if (length > 0) stream.Write(data, length);
  if (paddedLength != length) {
    const uint8_t pad = 0;
    stream.Write(&pad, 1);
  }
  return !stream.HasFailed();
}

bool CDicomEncapsulatedPixelData::ReadNextFrame(CStream* stream, uint8_t* out, uint64_t outCapacity,
                                                uint64_t /*frameSize*/, uint64_t& outLength) {
  outLength = 0;
  const bool loaded = m_loaded;
  if (!loaded && (m_valuePosition == kUnknownPosition || stream == nullptr)) return false;
  ++m_readFrameCounter;
  if (m_readFrameCounter < 0) return false;
  if (m_declaredFrames > 0) {
    return ReadSpannedFrame(stream, static_cast<uint64_t>(m_readFrameCounter), out, outCapacity, outLength);
  }
  // Item 0 is the offset table, so frame f is item f + 1.
  const uint64_t target = static_cast<uint64_t>(m_readFrameCounter) + 1;
  if (loaded) return ReadNextFrameFromMemory(target, out, outCapacity, outLength);
  return ReadNextFrameFromStream(*stream, target, out, outCapacity, outLength);
}

bool CDicomEncapsulatedPixelData::ReadNextFrameFromMemory(uint64_t target, uint8_t* out,
                                                          uint64_t outCapacity,
                                                          uint64_t& outLength) const {
  if (target >= m_items.size()) return false;
  const CDicomElement* item = m_items[static_cast<size_t>(target)].get();
  if (item == nullptr || !item->HasValue() || item->GetLength() == 0) return false;
  outLength = item->GetLength();
  if (outLength > outCapacity || out == nullptr) return false;
  std::memcpy(out, item->GetValue(), item->GetLength());
  return true;
}

bool CDicomEncapsulatedPixelData::ReadNextFrameFromStream(CStream& stream, uint64_t target,
                                                          uint8_t* out, uint64_t outCapacity,
                                                          uint64_t& outLength) {
  // Start at the target item when its position is known, else at the last
  // item position known, else at the first item.
  size_t index = 0;
  uint64_t position = m_valuePosition;
  if (m_itemPositions.size() > target) {
    index = static_cast<size_t>(target);
    position = m_itemPositions[index];
  } else if (!m_itemPositions.empty()) {
    index = m_itemPositions.size() - 1;
    position = m_itemPositions.back();
  }
  if (position > kMaxSeekPosition || position < m_valuePosition) return false;
  stream.Seek(static_cast<int64_t>(position), CStream::SeekOrigin::Begin);

  const bool defined = !IsUndefinedLength();
  const uint64_t valueEnd = m_valuePosition + GetLength();  // meaningful only when defined
  const uint64_t streamLength = stream.GetLength();
  for (;; ++index) {
    if (defined && position >= valueEnd) return false;
    ItemHeader header;
    if (!ReadItemHeader(stream, m_streamMode, header)) return false;
    if (header.tag != tags::kItem || header.length == kUndefinedLength) return false;
    RememberItemPosition(index, position);

    const uint64_t dataStart = position + kItemHeaderSize;
    const uint64_t itemEnd = dataStart + header.length;
    if (itemEnd > streamLength || (defined && itemEnd > valueEnd)) return false;
    if (index == target) {
      RememberItemPosition(index + 1, itemEnd);
      outLength = header.length;
      if (header.length == 0 || header.length > outCapacity || out == nullptr) return false;
      return stream.ReadExact(out, header.length);
    }
    if (itemEnd > kMaxSeekPosition) return false;
    stream.Seek(static_cast<int64_t>(itemEnd), CStream::SeekOrigin::Begin);
    position = itemEnd;
  }
}

void CDicomEncapsulatedPixelData::SetFrameLayout(int64_t frames, std::vector<uint64_t> extendedOffsets) {
  m_declaredFrames = frames;
  m_extendedOffsets = std::move(extendedOffsets);
  m_spansKnown = false;
  m_spans.clear();
  m_fragments.clear();
}

std::vector<FragmentInfo> CDicomEncapsulatedPixelData::FragmentsInMemory() const {
  std::vector<FragmentInfo> fragments;
  if (m_items.size() < 2) return fragments;
  fragments.reserve(m_items.size() - 1);
  uint64_t offset = 0;
  for (size_t i = 1; i < m_items.size(); ++i) {
    const CDicomElement& item = *m_items[i];
    const uint32_t length = item.HasValue() ? item.GetLength() : 0;
    fragments.push_back({offset, length, length > 0 && EndsWithEndMarker(item.GetValue(), length)});
    offset += kItemHeaderSize + length;
  }
  return fragments;
}

std::vector<uint64_t> CDicomEncapsulatedPixelData::BasicOffsetsInMemory() const {
  std::vector<uint64_t> offsets;
  if (m_items.empty() || !m_items[0]->HasValue()) return offsets;
  const CDicomElement& table = *m_items[0];
  // Values are held little endian, whatever the stream's order.
  for (uint64_t at = 0; at + 4 <= table.GetLength(); at += 4) offsets.push_back(LoadU32(table.GetValue() + at, false));
  return offsets;
}

Result<std::vector<FrameSpan>> CDicomEncapsulatedPixelData::MapFramesInMemory(
    int64_t frames, const std::vector<uint64_t>& extendedOffsets) const {
  return MapFramesToFragments(FragmentsInMemory(), extendedOffsets.empty() ? BasicOffsetsInMemory() : extendedOffsets,
                              frames > 0 ? static_cast<uint64_t>(frames) : 1);
}

bool CDicomEncapsulatedPixelData::CopySpan(const FrameSpan& span, uint8_t* out, uint64_t outCapacity,
                                           uint64_t& outLength) const {
  outLength = 0;
  if (span.count == 0 || span.first + span.count + 1 > m_items.size()) return false;
  for (size_t i = span.first + 1; i <= span.first + span.count; ++i) outLength += m_items[i]->GetLength();
  if (outLength == 0 || outLength > outCapacity || out == nullptr) return false;
  uint64_t at = 0;
  for (size_t i = span.first + 1; i <= span.first + span.count; ++i) {
    const CDicomElement& item = *m_items[i];
    if (item.GetLength() == 0) continue;
    if (!item.HasValue()) return false;
    std::memcpy(out + at, item.GetValue(), item.GetLength());
    at += item.GetLength();
  }
  return true;
}

bool CDicomEncapsulatedPixelData::IndexFragmentsInStream(CStream& stream, std::vector<uint64_t>& basicOffsets) {
  m_fragments.clear();
  if (m_valuePosition > kMaxSeekPosition) return false;
  stream.Seek(static_cast<int64_t>(m_valuePosition), CStream::SeekOrigin::Begin);
  const bool defined = !IsUndefinedLength();
  const uint64_t valueEnd = m_valuePosition + GetLength();  // meaningful only when defined
  const uint64_t streamLength = stream.GetLength();
  for (size_t index = 0;; ++index) {
    const uint64_t position = stream.GetPosition();
    if (defined && position >= valueEnd) return true;
    ItemHeader header;
    if (!ReadItemHeader(stream, m_streamMode, header)) return !defined && index > 0 && position >= streamLength;
    if (header.tag == tags::kSequenceDelimitation) return true;
    if (header.tag != tags::kItem || header.length == kUndefinedLength) return false;
    const uint64_t dataStart = position + kItemHeaderSize;
    const uint64_t itemEnd = dataStart + header.length;
    if (itemEnd > streamLength || (defined && itemEnd > valueEnd) || itemEnd > kMaxSeekPosition) return false;
    if (index == 0) {
      // The Basic Offset Table: 32-bit offsets in the stream's byte order.
      std::vector<uint8_t> table(header.length);
      if (!stream.ReadExact(table.data(), table.size())) return false;
      for (uint64_t at = 0; at + 4 <= table.size(); at += 4) {
        basicOffsets.push_back(LoadU32(table.data() + at, IsBigEndian(m_streamMode)));
      }
      m_firstFragmentPosition = itemEnd;
      continue;
    }
    bool endMarker = false;
    if (header.length >= 2) {
      uint8_t tail[3] = {};
      const uint64_t tailLength = header.length >= 3 ? 3 : 2;
      stream.Seek(static_cast<int64_t>(itemEnd - tailLength), CStream::SeekOrigin::Begin);
      if (!stream.ReadExact(tail, tailLength)) return false;
      endMarker = EndsWithEndMarker(tail, tailLength);
    }
    m_fragments.push_back({position - m_firstFragmentPosition, header.length, endMarker});
    stream.Seek(static_cast<int64_t>(itemEnd), CStream::SeekOrigin::Begin);
  }
}

bool CDicomEncapsulatedPixelData::ReadSpannedFrame(CStream* stream, uint64_t frame, uint8_t* out,
                                                   uint64_t outCapacity, uint64_t& outLength) {
  if (!m_spansKnown) {
    Result<std::vector<FrameSpan>> spans = Error(ErrorCode::Failure, "not mapped");
    if (m_loaded) {
      spans = MapFramesInMemory(m_declaredFrames, m_extendedOffsets);
    } else {
      std::vector<uint64_t> basicOffsets;
      if (!IndexFragmentsInStream(*stream, basicOffsets)) return false;
      spans = MapFramesToFragments(m_fragments, m_extendedOffsets.empty() ? basicOffsets : m_extendedOffsets,
                                   static_cast<uint64_t>(m_declaredFrames));
    }
    if (!spans) return false;
    m_spans = std::move(*spans);
    m_spansKnown = true;
  }
  if (frame >= m_spans.size()) return false;
  const FrameSpan& span = m_spans[static_cast<size_t>(frame)];
  if (m_loaded) return CopySpan(span, out, outCapacity, outLength);
  if (span.first + span.count > m_fragments.size()) return false;
  for (size_t i = span.first; i < span.first + span.count; ++i) outLength += m_fragments[i].length;
  if (outLength == 0 || outLength > outCapacity || out == nullptr) return false;
  uint64_t at = 0;
  for (size_t i = span.first; i < span.first + span.count; ++i) {
    const FragmentInfo& fragment = m_fragments[i];
    stream->Seek(static_cast<int64_t>(m_firstFragmentPosition + fragment.offset + kItemHeaderSize),
                 CStream::SeekOrigin::Begin);
    if (!stream->ReadExact(out + at, fragment.length)) return false;
    at += fragment.length;
  }
  return true;
}

}  // namespace quillon
