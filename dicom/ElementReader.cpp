/// \file
/// Reading one element from a stream: its header in each of the three
/// encodings, and its value. The input is untrusted: every length is checked
/// against the bytes left in the stream before anything is allocated.
#include "base/ByteOrder.h"
#include "dicom/DataDictionary.h"
#include "dicom/DicomElement.h"
#include "base/Stream.h"
#include "dicom/ValueRepresentation.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quillon {

namespace {

bool IsItemTag(DicomTag tag) {
  return tag == tags::kItem || tag == tags::kItemDelimitation || tag == tags::kSequenceDelimitation;
}

/// True when the next 8 bytes hold an item or sequence delimitation tag:
/// the sign that a value is a sequence. The position is left unchanged.
bool NextIsItemOrSequenceEnd(CStream& stream) {
  uint8_t peek[8];
  const uint64_t got = stream.Read(peek, sizeof peek);
  stream.Seek(-static_cast<int64_t>(got), CStream::SeekOrigin::Current);
  if (got < 4) return false;
  const DicomTag tag = MakeTag(LoadU16(peek, false), LoadU16(peek + 2, false));
  return tag == tags::kItem || tag == tags::kSequenceDelimitation;
}

}  // namespace

bool CDicomElement::ReadHeader(CStream& stream, TransferMode mode) {
  m_undefinedLength = false;
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  uint8_t header[12];
  if (!stream.ReadExact(header, 8)) return false;
  m_tag = MakeTag(LoadU16(header, bigEndian), LoadU16(header + 2, bigEndian));

  if (mode == TransferMode::ImplicitLittleEndian) {
    m_length = LoadU32(header + 4, false);
    // A VR that depends on the SOP class is resolved by the data set, which
    // knows the class, and then judged by the same rule.
    const DicomVR dictionaryVr = LookupVR(m_tag);
    m_vr = dictionaryVr == vr::kUnresolved ? dictionaryVr
                                            : ImplicitVrFromValue(stream, m_tag, dictionaryVr, m_length);
  } else if (IsItemTag(m_tag)) {
    m_vr = vr::kUnknown;
    m_length = LoadU32(header + 4, bigEndian);
  } else {
    m_vr = static_cast<DicomVR>(header[4] | (header[5] << 8));
    if (m_vr != vr::kUnknown && HasLongExplicitHeader(m_vr)) {
      if (!stream.ReadExact(header + 8, 4)) return false;
      m_length = LoadU32(header + 8, bigEndian);
    } else {
      m_length = LoadU16(header + 6, bigEndian);
    }
  }
  m_undefinedLength = m_length == kUndefinedLength;
  return true;
}

uint64_t CDicomElement::FindValueEnd(CStream& stream, TransferMode mode) {
  // The delimiter as it appears in the stream: (FFFE,E00D) and a zero length.
  uint8_t delimiter[8] = {};
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  StoreU16(delimiter, 0xFFFE, bigEndian);
  StoreU16(delimiter + 2, 0xE00D, bigEndian);

  const uint64_t start = stream.GetPosition();
  constexpr size_t kChunk = 64 * 1024;
  std::vector<uint8_t> window;
  window.reserve(kChunk + sizeof delimiter);
  uint64_t windowStart = start;  // stream offset of window[0]
  uint64_t found = 0;
  bool done = false;
  while (!done) {
    const size_t kept = window.size();
    window.resize(kept + kChunk);
    const uint64_t got = stream.Read(window.data() + kept, kChunk);
    window.resize(kept + got);
    const auto hit = std::search(window.begin(), window.end(), std::begin(delimiter), std::end(delimiter));
    if (hit != window.end()) {
      found = windowStart + static_cast<uint64_t>(hit - window.begin()) - start;
      done = true;
    } else if (got == 0) {
      done = true;
    } else if (window.size() >= sizeof delimiter) {
      // Keep the last 7 bytes: a delimiter may straddle two chunks.
      const size_t keep = sizeof delimiter - 1;
      windowStart += window.size() - keep;
      window.erase(window.begin(), window.end() - static_cast<std::ptrdiff_t>(keep));
    }
  }
  stream.Seek(static_cast<int64_t>(start), CStream::SeekOrigin::Begin);
  return found;
}

DicomVR CDicomElement::ImplicitVrFromValue(CStream& stream, DicomTag tag, DicomVR dictionaryVr, uint32_t length) {
  if (IsItemTag(tag)) return vr::kUnknown;
  if (dictionaryVr == vr::SQ) {
    // The dictionary may call an element a sequence that the file holds as
    // plain bytes; only an item or delimiter at the value's start says SQ.
    return NextIsItemOrSequenceEnd(stream) ? vr::SQ : vr::kUnknown;
  }
  // A retired, unknown or private tag whose value starts with an item is a
  // sequence the dictionary does not know, in any group. So is any element
  // of undefined length that starts with one: only sequences (and Pixel
  // Data, read on its own) may have an undefined length. Peeking at a value
  // of length 0 would look at the next element instead.
  const bool mayBeSequence = (dictionaryVr == vr::kUnknown && length != 0) ||
                             (length == kUndefinedLength && tag != tags::kPixelData);
  if (mayBeSequence && NextIsItemOrSequenceEnd(stream)) return vr::SQ;
  return dictionaryVr;
}

bool CDicomElement::ReadValue(CStream& stream, TransferMode mode) {
  m_value.Reset();
  if (m_vr == vr::SQ) return false;
  if (m_length == 0) {
    m_undefinedLength = false;
    return true;
  }
  uint64_t length = m_length;
  m_undefinedLength = m_length == kUndefinedLength;
  if (m_undefinedLength) {
    length = FindValueEnd(stream, mode);
    if (length == 0 || length >= kUndefinedLength) {
      m_length = 0;
      return false;
    }
  }
  if (length > stream.Remaining()) {
    m_length = 0;
    return false;
  }
  if (!m_value.Allocate(length)) {
    m_length = 0;
    return false;
  }
  uint8_t* value = m_value.Data();
  if (!stream.ReadExact(value, length)) {
    m_value.Reset();
    m_length = 0;
    return false;
  }
  // The item delimitation after an undefined-length value belongs to this
  // element; leaving it would end the enclosing data set.
  if (m_undefinedLength) stream.Seek(8, CStream::SeekOrigin::Current);
  if (mode == TransferMode::ExplicitBigEndian && TagGroup(m_tag) != 0x0002) {
    SwapValueBytes(m_vr, value, length);
  }
  m_length = static_cast<uint32_t>(length);
  return true;
}

}  // namespace quillon
