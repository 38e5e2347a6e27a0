/// \file
/// Reading a media file into a data object: preamble and meta group, then
/// the data set with its sequences and items. The input is untrusted: every
/// length is checked against the bytes left, nesting is limited, and the
/// first failure is recorded with its tag and offset.
#include "base/ByteOrder.h"
#include "dicom/DataDictionary.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "base/FileException.h"
#include "base/FileStream.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomPixelData.h"

#include <cstdio>
#include <cstring>

namespace quillon {

namespace {

constexpr uint64_t kPreambleSize = 128;

std::string Describe(uint64_t number) { return std::to_string(number); }

/// True when the stream holds nothing more worth reading: a file may end
/// with one stray pad byte.
bool AtEndOfStream(const CStream& stream) { return stream.Remaining() <= 1; }

bool IsItemTag(DicomTag tag) {
  return tag == tags::kItem || tag == tags::kItemDelimitation || tag == tags::kSequenceDelimitation;
}

/// True when every byte from `from` to the end of the stream is zero. The
/// position is left where it was. A non-zero byte found is remembered in
/// `context`, so later calls from positions before it need not scan.
bool IsZeroToEnd(CStream& stream, uint64_t from, CReadContext& context) {
  const uint64_t known = context.NonZeroByteAt();
  if (known != CReadContext::kNoOffset && known >= from) return false;
  const uint64_t position = stream.GetPosition();
  stream.Seek(static_cast<int64_t>(from), CStream::SeekOrigin::Begin);
  uint8_t chunk[4096];
  uint64_t offset = from;
  bool zero = true;
  for (uint64_t got = 0; zero && (got = stream.Read(chunk, sizeof chunk)) > 0; offset += got) {
    for (uint64_t i = 0; i < got && zero; ++i) {
      if (chunk[i] != 0) {
        zero = false;
        context.SetNonZeroByteAt(offset + i);
      }
    }
  }
  stream.Seek(static_cast<int64_t>(position), CStream::SeekOrigin::Begin);
  return zero;
}

/// The two VR bytes of `vr` as they stood in the stream, in hex.
std::string VrBytes(DicomVR vr) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X %02X", vr & 0xFFu, vr >> 8);
  return text;
}

/// Why a file without "DICM" after 128 bytes is refused; when it starts
/// with what looks like a data set element, says so, since that is the
/// usual case (a bare data set, without the media file header).
std::string NoPreambleReason(const uint8_t* prefix, uint64_t got) {
  std::string reason = got < kPreambleSize + 4 ? "not a DICOM file: shorter than the 128-byte preamble and \"DICM\""
                                              : "not a DICOM file: no \"DICM\" after the 128-byte preamble";
  if (got >= 8) {
    const uint16_t group = LoadU16(prefix, false);
    const bool lowGroup = group == 0x0002 || group == 0x0008;
    const bool explicitLike = IsKnownVR(static_cast<DicomVR>(prefix[4] | (prefix[5] << 8)));
    const bool implicitLike = LoadU32(prefix + 4, false) < got;
    if (lowGroup && (explicitLike || implicitLike)) {
      char tag[16];
      std::snprintf(tag, sizeof tag, "(%04X,%04X)", group, LoadU16(prefix + 2, false));
      reason += std::string("; it starts with element ") + tag +
                ", like a data set saved without the media file header, which is not read";
    }
  }
  return reason;
}

}  // namespace

CReadContext& CDicomObject::ReadContext() {
  if (m_readContext != nullptr) return *m_readContext;
  if (!m_ownReadContext) m_ownReadContext = std::make_unique<CReadContext>();
  return *m_ownReadContext;
}

const std::string& CDicomObject::GetLastReadError() const {
  static const std::string kNoError;
  return m_ownReadContext ? m_ownReadContext->GetError() : kNoError;
}

const std::vector<std::string>& CDicomObject::GetReadWarnings() const {
  static const std::vector<std::string> kNoWarnings;
  return m_ownReadContext ? m_ownReadContext->GetWarnings() : kNoWarnings;
}

bool CDicomObject::LoadFile(const std::string& path, bool skipPixelData) {
  m_readContext = nullptr;
  ReadContext().Reset();
  CFileStream file;
  if (!file.Open(path, CFileStream::OpenMode::Read)) {
    ReadContext().Fail("cannot open \"" + path + "\": " + std::strerror(file.LastOsError()));
    return false;
  }
  m_sourcePath = path;
  bool ok = false;
  try {
    ok = ReadFromFile(file, skipPixelData);
    file.Close();
  } catch (const CFileException& error) {
    file.Abort();
    m_readContext = nullptr;
    ReadContext().Fail(error.what());
    return false;
  }
  return ok;
}

bool CDicomObject::ReadFromFile(CStream& stream, bool skipPixelData) {
  m_readContext = nullptr;
  ReadContext().Reset();
  m_nestingDepth = 0;
  if (!ReadMetaGroup(stream)) return false;
  m_sourcePath = stream.GetFilePath();
  return ReadDataSet(stream, skipPixelData);
}

bool CDicomObject::ReadMetaGroup(CStream& stream) {
  m_transferMode = TransferMode::ExplicitLittleEndian;
  uint8_t prefix[kPreambleSize + 4];
  const uint64_t got = stream.Read(prefix, sizeof prefix);
  if (got < sizeof prefix || std::memcmp(prefix + kPreambleSize, "DICM", 4) != 0) {
    ReadContext().Fail(NoPreambleReason(prefix, got));
    return false;
  }
  Clear();

  bool implicitMeta = false;
  for (;;) {
    const uint64_t position = stream.GetPosition();
    if (stream.Remaining() == 0) break;  // a file of meta information only
    // Some writers put the meta group out in implicit VR. A group 0002
    // element whose VR bytes are no VR is read that way.
    uint8_t peek[6];
    const uint64_t peeked = stream.Read(peek, sizeof peek);
    stream.Seek(static_cast<int64_t>(position), CStream::SeekOrigin::Begin);
    const bool noVr = peeked == sizeof peek && LoadU16(peek, false) == 0x0002 &&
                      !IsKnownVR(static_cast<DicomVR>(peek[4] | (peek[5] << 8)));
    if (noVr && !implicitMeta) {
      ReadContext().Warn(MakeTag(0x0002, LoadU16(peek + 2, false)), position,
                         "the file meta information is in implicit VR; it was read so (it is saved in "
                         "explicit VR little endian, as the standard requires)");
      implicitMeta = true;
    }
    const TransferMode metaMode = noVr ? TransferMode::ImplicitLittleEndian : TransferMode::ExplicitLittleEndian;
    auto element = std::make_unique<CDicomElement>();
    if (!element->ReadHeader(stream, metaMode)) {
      ReadContext().Fail(element->GetTag(), position, "file meta information header is truncated");
      return false;
    }
    if (TagGroup(element->GetTag()) != 0x0002) {
      stream.Seek(static_cast<int64_t>(position), CStream::SeekOrigin::Begin);
      break;
    }
    if (!element->ReadValue(stream, metaMode)) {
      ReadContext().Fail(element->GetTag(), position,
                         "file meta information value of length " + Describe(element->GetLength()) +
                             " cannot be read (" + Describe(stream.Remaining()) + " bytes left)");
      return false;
    }
    StoreElement(std::move(element));
  }

  std::string transferSyntax;
  (void)GetString(tags::kTransferSyntaxUid, transferSyntax);
  m_transferMode = TransferModeForSyntax(transferSyntax);
  (void)GetString(tags::kMediaStorageSopClassUid, m_sopClassUid);
  ChooseDataSetEncoding(stream, !transferSyntax.empty());
  return true;
}

bool CDicomObject::ReadDataSet(CStream& stream, bool skipPixelData) {
  return ReadDataSetUntil(stream, UINT64_MAX, skipPixelData);
}

bool CDicomObject::ReadDataSetBounded(CStream& stream, uint64_t length, bool skipPixelData) {
  const uint64_t start = stream.GetPosition();
  if (!ReadDataSetUntil(stream, length > UINT64_MAX - start ? UINT64_MAX : start + length, skipPixelData)) {
    return false;
  }
  if (stream.GetPosition() > start + length) {
    ReadContext().Fail("an element runs past the end of its item at offset " + Describe(start + length));
    return false;
  }
  return true;
}

bool CDicomObject::ReadDataSetUntil(CStream& stream, uint64_t limit, bool skipPixelData) {
  for (;;) {
    if (limit != UINT64_MAX && stream.GetPosition() >= limit) return true;
    switch (ReadNextElement(stream, skipPixelData)) {
      case DicomStatus::Success: break;
      case DicomStatus::Failure: return false;
      default: return true;  // pixel data stored, end of stream, item end
    }
  }
}

DicomStatus CDicomObject::ReadNextElement(CStream& stream, bool skipPixelData) {
  const uint64_t position = stream.GetPosition();
  const bool isItem = m_nestingDepth > 0;  // items are read at depth 1 and deeper
  if (AtEndOfStream(stream)) return DicomStatus::EndOfStream;

  CDicomElement header;
  if (!header.ReadHeader(stream, m_transferMode)) {
    ReadContext().Fail(header.GetTag(), position,
                       "element header is truncated (" + Describe(stream.GetLength() - position) +
                           " bytes left)");
    return DicomStatus::Failure;
  }
  const DicomTag tag = header.GetTag();
  if (tag == 0 && header.GetLength() == 0) {
    // An empty (0000,0000) says nothing, and in implicit VR it is eight zero
    // bytes: padding. Some systems pad files to a block size with zeros,
    // which taken as elements would be that element again and again.
    if (!isItem && IsZeroToEnd(stream, position, ReadContext())) {
      ReadContext().Warn(0, position,
                         "the file ends with " + Describe(stream.GetLength() - position) +
                             " zero bytes after the last element; they were taken as padding and left out");
      stream.Seek(0, CStream::SeekOrigin::End);
      return DicomStatus::EndOfStream;
    }
    ReadContext().Warn(0, position, "an empty (0000,0000) was left out");
    return DicomStatus::Success;
  }
  if (m_transferMode == TransferMode::ImplicitLittleEndian) {
    if (header.GetVR() == vr::kUnresolved) {
      header.SetVR(CDicomElement::ImplicitVrFromValue(stream, tag, LookupVRForSopClass(tag, m_sopClassUid),
                                                      header.GetLength()));
    }
  } else if (!IsItemTag(tag) && !IsKnownVR(header.GetVR())) {
    // Damaged or non-standard VR bytes: read with the 16-bit length they
    // imply, as other toolkits do, and kept as an unknown VR (saved as UN).
    ReadContext().Warn(tag, position,
                       "the VR bytes " + VrBytes(header.GetVR()) +
                           " are not a DICOM VR; the value was read with a 16-bit length as unknown (UN)");
    header.SetVR(vr::kUnknown);
  }

  if (tag == tags::kItemDelimitation) {
    if (isItem) return kItemDelimitationMet;
    ReadContext().Fail(tag, position, "item delimitation outside of any item");
    return DicomStatus::Failure;
  }
  if (tag == tags::kItem || tag == tags::kSequenceDelimitation) {
    ReadContext().Fail(tag, position, isItem ? "item tag where an element was expected"
                                             : "item tag outside of any sequence");
    return DicomStatus::Failure;
  }
  if (TagGroup(tag) == 0x0002) {
    // The meta group ends where the data set begins; a late (0002,0010)
    // would contradict the encoding the data set is read in.
    ReadContext().Fail(tag, position, "file meta information element inside the data set");
    return DicomStatus::Failure;
  }
  if (!header.IsUndefinedLength() && header.GetLength() > stream.Remaining()) {
    ReadContext().Fail(tag, position,
                       "value length " + Describe(header.GetLength()) + " runs past the end of the file (" +
                           Describe(stream.Remaining()) + " bytes left)");
    return DicomStatus::Failure;
  }

  std::unique_ptr<CDicomElement> element;
  TransferMode valueMode = m_transferMode;
  // An undefined-length UN element in explicit VR is a sequence whose type
  // the writer did not know; its items are encoded in implicit VR.
  const bool unknownSequence = m_transferMode != TransferMode::ImplicitLittleEndian &&
                               header.GetVR() == vr::UN && header.IsUndefinedLength();
  if (header.GetVR() == vr::SQ || unknownSequence) {
    if (m_nestingDepth + 1 > CReadContext::kMaxNestingDepth) {
      ReadContext().Fail(tag, position,
                         "sequences nested deeper than " + Describe(CReadContext::kMaxNestingDepth));
      return DicomStatus::Failure;
    }
    if (unknownSequence) {
      header.SetVR(vr::SQ);
      valueMode = TransferMode::ImplicitLittleEndian;
    }
    auto sequence = std::make_unique<CDicomSequence>(header);
    sequence->SetSopClassUid(m_sopClassUid);
    sequence->JoinRead(&ReadContext(), m_nestingDepth + 1);
    element = std::move(sequence);
  } else if (tag == tags::kPixelData) {
    const uint64_t valuePosition = stream.GetPosition();
    bool encapsulated = false;
    if (header.GetLength() != 0 && stream.Remaining() >= 8) {
      CDicomElement next;
      // Fragments start with an item; an empty fragment sequence ends at once.
      if (next.ReadHeader(stream, m_transferMode)) {
        encapsulated = next.GetTag() == tags::kItem ||
                       (header.IsUndefinedLength() && next.GetTag() == tags::kSequenceDelimitation);
      }
      stream.Seek(static_cast<int64_t>(valuePosition), CStream::SeekOrigin::Begin);
    }
    if (encapsulated) {
      element = std::make_unique<CDicomEncapsulatedPixelData>(header, valuePosition, m_transferMode);
    } else {
      auto native = std::make_unique<CDicomPixelData>(header, valuePosition);
      native->SetBigEndianInStream(m_transferMode == TransferMode::ExplicitBigEndian);
      element = std::move(native);
    }
    if (skipPixelData && !isItem) {
      // The value stays in the file, for frames to be read on demand; the
      // elements after it are read as usual (private groups, trailing
      // padding), so a writer of this object does not lose them.
      std::string why;
      if (!static_cast<CDicomPixelData&>(*element).SkipValue(stream, m_transferMode, why)) {
        ReadContext().Fail(tag, position, why);
        return DicomStatus::Failure;
      }
      StoreElement(std::move(element));
      return DicomStatus::Success;
    }
  } else {
    element = std::make_unique<CDicomElement>();
    element->SetTag(tag);
    element->SetVR(header.GetVR());
    element->SetValueLength(header.GetLength());
    element->SetUndefinedLength(header.IsUndefinedLength());
  }

  const bool read = element->ReadValue(stream, valueMode);
  if (auto* sequence = dynamic_cast<CDicomSequence*>(element.get())) sequence->JoinRead(nullptr, 0);
  if (!read) {
    ReadContext().Fail(tag, position,
                       header.IsUndefinedLength()
                           ? "undefined-length value has no delimiter, or its content is malformed"
                           : "value of length " + Describe(header.GetLength()) + " cannot be read");
    return DicomStatus::Failure;
  }
  StoreElement(std::move(element));
  return DicomStatus::Success;
}

bool CDicomSequence::ReadValue(CStream& stream, TransferMode mode) {
  m_items.clear();
  if (GetLength() == 0) return true;
  const bool defined = !IsUndefinedLength();
  if (defined && GetLength() > stream.Remaining()) return false;
  const uint64_t start = stream.GetPosition();
  for (;;) {
    if (defined && stream.GetPosition() - start >= GetLength()) return true;
    auto item = std::make_unique<CSequenceItem>();
    item->SetSopClassUid(m_sopClassUid);
    switch (item->ReadItem(stream, mode, m_readContext, m_nestingDepth)) {
      case DicomStatus::Success: m_items.push_back(std::move(item)); break;
      case DicomStatus::EndOfStream:
      case kSequenceDelimitationMet: return true;
      default: return false;
    }
  }
}

DicomStatus CSequenceItem::ReadItem(CStream& stream, TransferMode mode, CReadContext* context, int depth) {
  Clear();
  SetTransferMode(mode);
  JoinRead(context, depth);
  struct LeaveRead {
    CSequenceItem& item;
    ~LeaveRead() { item.JoinRead(nullptr, 0); }
  } leave{*this};

  const uint64_t position = stream.GetPosition();
  if (AtEndOfStream(stream)) return DicomStatus::EndOfStream;
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  uint8_t header[8];
  if (!stream.ReadExact(header, sizeof header)) {
    ReadContext().Fail(0, position, "item header is truncated");
    return DicomStatus::Failure;
  }
  const DicomTag tag = MakeTag(LoadU16(header, bigEndian), LoadU16(header + 2, bigEndian));
  const uint32_t length = LoadU32(header + 4, bigEndian);
  // Kept as the little-endian word of the tag, whatever the stream's order.
  m_itemTag = uint32_t{TagGroup(tag)} | (uint32_t{TagElement(tag)} << 16);
  m_itemLength = length;
  m_undefinedLength = length == CDicomElement::kUndefinedLength;
  if (tag == tags::kSequenceDelimitation) return kSequenceDelimitationMet;
  if (tag != tags::kItem) {
    ReadContext().Fail(tag, position, "expected an item (FFFE,E000) in a sequence");
    return DicomStatus::Failure;
  }
  if (m_undefinedLength) return ReadDataSet(stream, false) ? DicomStatus::Success : DicomStatus::Failure;
  if (length > stream.Remaining()) {
    ReadContext().Fail(tag, position,
                       "item length " + Describe(length) + " runs past the end of the file (" +
                           Describe(stream.Remaining()) + " bytes left)");
    return DicomStatus::Failure;
  }
  return ReadDataSetBounded(stream, length, false) ? DicomStatus::Success : DicomStatus::Failure;
}

bool CSequenceItem::ReadFromFile(CStream& /*stream*/, bool /*skipPixelData*/) { return false; }

}  // namespace quillon
