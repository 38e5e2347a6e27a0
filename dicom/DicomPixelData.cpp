#include "dicom/DicomPixelData.h"

#include "base/Stream.h"
#include "dicom/ValueRepresentation.h"

#include <cstring>
#include <limits>
#include <new>

namespace quillon {

namespace {

constexpr uint64_t kMaxSeekPosition = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

}  // namespace

CDicomPixelData::CDicomPixelData() {
  SetTag(tags::kPixelData);
  SetVR(vr::OB);
}

CDicomPixelData::CDicomPixelData(const CDicomElement& header, uint64_t valuePosition)
    : m_valuePosition(valuePosition) {
  CopyHeaderFrom(header);
  SetUndefinedLength(header.GetLength() == kUndefinedLength);
}

CDicomPixelData::~CDicomPixelData() = default;

std::unique_ptr<uint8_t[]> CDicomPixelData::TryAllocate(uint64_t length) {
  if (length == 0) return nullptr;
  try {
    return std::make_unique_for_overwrite<uint8_t[]>(length);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::unique_ptr<CDicomPixelData> CDicomPixelData::TakeOver(CDicomElement& source) {
  if (source.GetTag() != tags::kPixelData) return nullptr;
  auto element = std::make_unique<CDicomPixelData>();
  element->CopyHeaderFrom(source);
  // The value moves, so a large image is never held twice.
  const uint32_t length = source.GetLength();
  element->SetValue(source.ReleaseValue(), length);
  if (!element->HasValue()) element->SetValueLength(length);
  element->m_loaded = element->HasValue();
  source.ClearValue();
  return element;
}

bool CDicomPixelData::ReadValue(CStream& stream, TransferMode mode) {
  m_valuePosition = stream.GetPosition();
  m_loaded = CDicomElement::ReadValue(stream, mode);
  return m_loaded;
}

Status CDicomPixelData::SkipValue(CStream& stream, TransferMode mode) {
  m_valuePosition = stream.GetPosition();
  m_loaded = false;
  uint64_t extent = GetLength();
  if (IsUndefinedLength()) {
    // Native pixel data has no business with an undefined length; it is
    // framed as any other such value is (the loaded read does the same).
    const uint64_t length = FindValueEnd(stream, mode);
    if (length == 0 || length >= kUndefinedLength) {
      return Error(ErrorCode::Malformed, "undefined-length pixel data has no item delimitation after it");
    }
    CDicomElement::SetValueLength(static_cast<uint32_t>(length));
    extent = length + 8;  // the delimitation belongs to the value
  }
  if (extent > stream.Remaining()) {
    return Error(ErrorCode::Malformed, "pixel data of length " + std::to_string(extent) + " runs past the end of the file (" +
          std::to_string(stream.Remaining()) + " bytes left)");
  }
  stream.Seek(static_cast<int64_t>(extent), CStream::SeekOrigin::Current);
  return Ok();
}

bool CDicomPixelData::CopyFrom(const CDicomElement& /*source*/) { return false; }

void CDicomPixelData::CopyPixelStateTo(CDicomPixelData& copy) const {
  copy.CopyHeaderFrom(*this);
  copy.m_valuePosition = m_valuePosition;
  copy.m_loaded = m_loaded;
  copy.m_bigEndianInStream = m_bigEndianInStream;
}

std::unique_ptr<CDicomElement> CDicomPixelData::Clone() const {
  if (GetTag() != tags::kPixelData) return nullptr;
  auto copy = std::make_unique<CDicomPixelData>();
  CopyPixelStateTo(*copy);
  if (HasValue() && GetLength() > 0) {
    auto value = TryAllocate(GetLength());
    if (!value) return nullptr;
    std::memcpy(value.get(), GetValue(), GetLength());
    copy->SetValue(std::move(value), GetLength());
  }
  return copy;
}

void CDicomPixelData::SetValueLength(uint32_t length) {
  CDicomElement::SetValueLength(length);
  SetUndefinedLength(length == kUndefinedLength);
}

bool CDicomPixelData::FinishWrite(CStream& /*stream*/, TransferMode /*mode*/) { return true; }

bool CDicomPixelData::WriteFrame(CStream& stream, TransferMode mode, const uint8_t* data,
                                 uint64_t length) {
  if (length > 0 && data == nullptr) return false;
  const bool firstFrame = m_writeFrameCounter < 0;
  if (firstFrame && GetLength() == 0) {
    // A single frame whose caller did not announce a length: the frame is
    // the whole value.
    if (length >= kUndefinedLength) return false;
    CDicomElement::SetValueLength(static_cast<uint32_t>(length));
  }
  const uint64_t written = firstFrame ? 0 : m_bytesWritten;
  if (!IsUndefinedLength() && length > uint64_t{GetLength()} - written) return false;
  if (firstFrame) {
    WriteHeader(stream, mode, IsUndefinedLength() ? kUndefinedLength : GetLength());
    m_valuePosition = stream.GetPosition();
    m_writeFrameCounter = 0;
    m_bytesWritten = 0;
  } else {
    ++m_writeFrameCounter;
  }
  if (length > 0) stream.Write(data, length);
  m_bytesWritten += length;
  return !stream.HasFailed();
}

bool CDicomPixelData::ReadFrame(CStream* stream, int32_t frameIndex, uint8_t* out,
                                uint64_t outCapacity, uint64_t frameSize, uint64_t& outLength) {
  outLength = 0;
  if (frameIndex < 0) return false;
  // A deferred value can only be found through its position; a value in
  // memory needs neither the position nor the stream.
  if (!IsLoaded() && (m_valuePosition == kUnknownPosition || stream == nullptr)) return false;
  m_readFrameCounter = int64_t{frameIndex} - 1;
  return ReadNextFrame(stream, out, outCapacity, frameSize, outLength);
}

bool CDicomPixelData::ReadNextFrame(CStream* stream, uint8_t* out, uint64_t outCapacity,
                                    uint64_t frameSize, uint64_t& outLength) {
  outLength = 0;
  if (outCapacity < frameSize || (frameSize > 0 && out == nullptr)) return false;
  const bool loaded = IsLoaded();
  if (!loaded && (m_valuePosition == kUnknownPosition || stream == nullptr)) return false;
  ++m_readFrameCounter;
  outLength = frameSize;

  const auto frameNumber = static_cast<uint64_t>(m_readFrameCounter);
  if (frameSize != 0 && frameNumber > std::numeric_limits<uint64_t>::max() / frameSize) return false;
  const uint64_t offset = frameNumber * frameSize;
  // The frame must lie inside the value, in memory or in the file: a value
  // shorter than its frames is a damaged file, not a reason to read what
  // follows it. Only an undefined length (unknown extent) is taken on trust.
  const bool boundedByLength = loaded || !IsUndefinedLength();
  if (boundedByLength &&
      (offset > GetLength() || frameSize > uint64_t{GetLength()} - offset)) {
    return false;
  }
  if (frameSize == 0) return true;
  if (loaded) {
    std::memcpy(out, GetValue() + offset, frameSize);
    return true;
  }
  if (m_valuePosition > kMaxSeekPosition || offset > kMaxSeekPosition - m_valuePosition) return false;
  stream->Seek(static_cast<int64_t>(m_valuePosition + offset), CStream::SeekOrigin::Begin);
  if (!stream->ReadExact(out, frameSize)) return false;
  if (m_bigEndianInStream) SwapValueBytes(GetVR(), out, frameSize);
  return true;
}

}  // namespace quillon
