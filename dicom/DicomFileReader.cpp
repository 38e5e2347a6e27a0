#include "dicom/DicomFileReader.h"

#include "base/ByteOrder.h"
#include "base/Inflate.h"
#include "base/MemoryStream.h"
#include "base/Stream.h"
#include "dicom/DataDictionary.h"
#include "dicom/DataSetEncoding.h"
#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomPixelData.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"

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


CDicomFileReader::CDicomFileReader(CStream& stream, ReadOptions options, OnCutShort onCutShort)
    : m_stream(stream), m_options(options), m_onCutShort(onCutShort) {}

Error CDicomFileReader::Fail(DicomTag tag, uint64_t offset, const std::string& what) const {
  if (m_stream.HasFailed()) return m_stream.State().GetError();
  return Error(ErrorCode::Malformed, DescribePlace(tag, offset) + what);
}

Status CDicomFileReader::ReadFile(CDicomObject& object) {
  if (Status meta = ReadMetaGroup(object); !meta) return meta;
  std::string syntax;
  (void)object.GetString(tags::kTransferSyntaxUid, syntax);
  if (syntax == uids::kDeflatedExplicitVrLittleEndian) return ReadDeflatedDataSet(object);
  return ReadDataSet(object);
}

Status CDicomFileReader::ReadDeflatedDataSet(CDicomObject& object) {
  const uint64_t start = m_stream.GetPosition();
  std::vector<uint8_t> inflated;
  if (Status inflate = InflateRaw(m_stream, m_options.maxInflatedSize, inflated); !inflate) {
    if (m_stream.HasFailed()) return m_stream.State();
    return inflate.GetError().WithContext("data set at offset " + Describe(start) + ": ");
  }
  CMemoryStream plain(std::move(inflated));
  // The pixel value cannot be left in the file to be read later: it lies
  // inside the compressed stream.
  CDicomFileReader inner(plain, {.skipPixelData = false});
  const Status read = inner.ReadDataSet(object);
  for (const std::string& warning : inner.Warnings()) m_context.Warn(warning);
  if (!read) return read.GetError().WithContext("in the inflated data set: ");
  return Ok();
}

Status CDicomFileReader::Finish(Status read) const {
  // A read error of the disk looks like the end of the file to whatever
  // met it; the stream knows better.
  if (m_stream.HasFailed()) return m_stream.State();
  return read;
}

Error CDicomFileReader::Truncated(DicomTag tag, uint64_t offset, const std::string& what, uint64_t missing) {
  if (!m_stream.HasFailed()) m_missingBytes = missing;
  return Fail(tag, offset, what);
}

Status CDicomFileReader::ReadMetaGroup(CDicomObject& object) {
  m_context.Reset();
  m_missingBytes.reset();
  m_preamble.fill(0);
  object.SetTransferMode(TransferMode::ExplicitLittleEndian);
  const uint64_t start = m_stream.GetPosition();
  uint8_t prefix[kPreambleSize + 4];
  const uint64_t got = m_stream.Read(prefix, sizeof prefix);
  if (got < sizeof prefix || std::memcmp(prefix + kPreambleSize, "DICM", 4) != 0) {
    return StartBareDataSet(object, start, prefix, got);
  }
  std::memcpy(m_preamble.data(), prefix, kPreambleSize);
  object.Clear();
  if (Status meta = ReadMetaElements(object); !meta) return meta;
  std::string transferSyntax;
  (void)object.GetString(tags::kTransferSyntaxUid, transferSyntax);
  object.SetTransferMode(TransferModeForSyntax(transferSyntax));
  std::string sopClassUid;
  (void)object.GetString(tags::kMediaStorageSopClassUid, sopClassUid);
  object.SetSopClassUid(sopClassUid);
  ChooseDataSetEncoding(m_stream, object, !transferSyntax.empty(), m_context);
  return Finish(Ok());
}

Status CDicomFileReader::ReadMetaElements(CDicomObject& object) {
  bool implicitMeta = false;
  // Once (0002,0010) names the deflated syntax, what follows the meta group
  // is compressed: it ends where (0002,0000) says, and bytes too few for an
  // element header are the compressed stream, not a truncated element.
  bool deflated = false;
  uint64_t deflatedMetaEnd = UINT64_MAX;
  for (;;) {
    const uint64_t position = m_stream.GetPosition();
    if (m_stream.Remaining() == 0) break;  // a file of meta information only
    if (deflated && (position >= deflatedMetaEnd || m_stream.Remaining() < 8)) break;
    // Some writers put the meta group out in implicit VR. A group 0002
    // element whose VR bytes are no VR is read that way.
    uint8_t peek[6];
    const uint64_t peeked = m_stream.Read(peek, sizeof peek);
    m_stream.Seek(static_cast<int64_t>(position), CStream::SeekOrigin::Begin);
    const bool noVr = peeked == sizeof peek && LoadU16(peek, false) == 0x0002 &&
                      !IsKnownVR(static_cast<DicomVR>(peek[4] | (peek[5] << 8)));
    if (noVr && !implicitMeta) {
      m_context.Warn(MakeTag(0x0002, LoadU16(peek + 2, false)), position,
                     "the file meta information is in implicit VR; it was read so (it is saved in "
                     "explicit VR little endian, as the standard requires)");
      implicitMeta = true;
    }
    const TransferMode metaMode = noVr ? TransferMode::ImplicitLittleEndian : TransferMode::ExplicitLittleEndian;
    auto element = std::make_unique<CDicomElement>();
    if (!element->ReadHeader(m_stream, metaMode)) {
      return Truncated(element->GetTag(), position, "file meta information header is truncated",
                       8 - std::min<uint64_t>(8, m_stream.GetLength() - position));
    }
    if (TagGroup(element->GetTag()) != 0x0002) {
      m_stream.Seek(static_cast<int64_t>(position), CStream::SeekOrigin::Begin);
      break;
    }
    const uint64_t left = m_stream.Remaining();
    if (!element->ReadValue(m_stream, metaMode)) {
      const uint64_t length = element->GetLength();
      const std::string what = "file meta information value of length " + Describe(length) +
                               " cannot be read (" + Describe(left) + " bytes left)";
      if (!element->IsUndefinedLength() && length > left) return Truncated(element->GetTag(), position, what, length - left);
      return Fail(element->GetTag(), position, what);
    }
    if (element->GetTag() == tags::kTransferSyntaxUid) {
      std::string syntax;
      (void)element->GetString(syntax);
      deflated = syntax == uids::kDeflatedExplicitVrLittleEndian;
    } else if (const uint8_t* value = element->GetValue();
               element->GetTag() == 0x00020000 && element->GetLength() == 4 && value != nullptr) {
      deflatedMetaEnd = m_stream.GetPosition() + LoadU32(value, false);
    }
    object.StoreElement(std::move(element));
  }
  return Ok();
}

Status CDicomFileReader::StartBareDataSet(CDicomObject& object, uint64_t start, const uint8_t* prefix, uint64_t got) {
  m_stream.Seek(static_cast<int64_t>(start), CStream::SeekOrigin::Begin);
  // A meta group is explicit VR little endian whatever the data set after
  // it is in: its first header says whether there is one.
  const bool metaFirst = got >= 8 && LoadU16(prefix, false) == 0x0002 &&
                         IsKnownVR(static_cast<DicomVR>(prefix[4] | (prefix[5] << 8)));
  const std::optional<TransferMode> mode =
      m_stream.HasFailed() ? std::nullopt
      : metaFirst          ? std::optional(TransferMode::ExplicitLittleEndian)
                           : DetectBareDataSetEncoding(m_stream);
  if (!mode) return Finish(Error(ErrorCode::Malformed, NoPreambleReason(prefix, got)));
  object.Clear();
  if (metaFirst) {
    // The meta group without the preamble and "DICM" before it.
    m_context.Warn("the file has no 128-byte preamble and \"DICM\" before its file meta information; it was read "
                   "without them (they are written when it is saved)");
    if (Status meta = ReadMetaElements(object); !meta) return meta;
    std::string transferSyntax;
    (void)object.GetString(tags::kTransferSyntaxUid, transferSyntax);
    object.SetTransferMode(TransferModeForSyntax(transferSyntax));
    std::string sopClassUid;
    (void)object.GetString(tags::kMediaStorageSopClassUid, sopClassUid);
    object.SetSopClassUid(sopClassUid);
    ChooseDataSetEncoding(m_stream, object, !transferSyntax.empty(), m_context);
    return Finish(Ok());
  }
  m_context.Warn(std::string("the file has no 128-byte preamble, \"DICM\" or file meta information: it was read "
                             "as a bare data set in ") +
                 DescribeEncoding(*mode) + " (the file meta information is made from the data set when it is saved)");
  object.SetTransferMode(*mode);
  return Finish(Ok());
}

Status CDicomFileReader::ReadDataSet(CDicomObject& object) {
  const Status read = Finish(ReadElements(object, UINT64_MAX, 0));
  // A compressed syntax is explicit VR whatever encoding its data set was
  // found in: the object is saved as its syntax says.
  std::string syntax;
  (void)object.GetString(tags::kTransferSyntaxUid, syntax);
  if (!syntax.empty() && !IsNativePixelSyntax(syntax)) object.SetTransferMode(TransferModeForSyntax(syntax));
  return read;
}

Status CDicomFileReader::ReadElements(CDicomObject& object, uint64_t limit, int depth) {
  for (;;) {
    if (limit != UINT64_MAX && m_stream.GetPosition() >= limit) return Ok();
    Result<Step> step = ReadNextElement(object, depth);
    if (!step) return step.GetError();
    if (*step != Step::Element) return Ok();  // the end of the stream, or of the item
  }
}

Result<CDicomFileReader::Step> CDicomFileReader::ReadNextElement(CDicomObject& object, int depth) {
  const uint64_t position = m_stream.GetPosition();
  const bool isItem = depth > 0;
  const TransferMode mode = object.GetTransferMode();
  if (AtEndOfStream(m_stream)) return Step::End;

  CDicomElement header;
  if (!header.ReadHeader(m_stream, mode)) {
    const uint64_t left = m_stream.GetLength() - position;
    return Truncated(header.GetTag(), position, "element header is truncated (" + Describe(left) + " bytes left)",
                     8 - std::min<uint64_t>(8, left));
  }
  const DicomTag tag = header.GetTag();
  if (tag == 0 && header.GetLength() == 0) {
    // An empty (0000,0000) says nothing, and in implicit VR it is eight zero
    // bytes: padding. Some systems pad files to a block size with zeros,
    // which taken as elements would be that element again and again.
    if (!isItem && IsZeroToEnd(m_stream, position, m_context)) {
      m_context.Warn(0, position,
                     "the file ends with " + Describe(m_stream.GetLength() - position) +
                         " zero bytes after the last element; they were taken as padding and left out");
      m_stream.Seek(0, CStream::SeekOrigin::End);
      return Step::End;
    }
    m_context.Warn(0, position, "an empty (0000,0000) was left out");
    return Step::Element;
  }
  if (mode == TransferMode::ImplicitLittleEndian) {
    if (header.GetVR() == vr::kUnresolved) {
      header.SetVR(CDicomElement::ImplicitVrFromValue(m_stream, tag, LookupVRForSopClass(tag, object.GetSopClassUid()),
                                                      header.GetLength()));
    }
  } else if (!IsItemTag(tag) && !IsKnownVR(header.GetVR())) {
    // Damaged or non-standard VR bytes: read with the 16-bit length they
    // imply, as other toolkits do, and kept as an unknown VR (saved as UN).
    m_context.Warn(tag, position,
                   "the VR bytes " + VrBytes(header.GetVR()) +
                       " are not a DICOM VR; the value was read with a 16-bit length as unknown (UN)");
    header.SetVR(vr::kUnknown);
  }

  if (tag == tags::kItemDelimitation) {
    if (isItem) return Step::ItemEnd;
    return Fail(tag, position, "item delimitation outside of any item");
  }
  if (tag == tags::kItem || tag == tags::kSequenceDelimitation) {
    return Fail(tag, position, isItem ? "item tag where an element was expected" : "item tag outside of any sequence");
  }
  if (TagGroup(tag) == 0x0002) {
    // The meta group ends where the data set begins; a late (0002,0010)
    // would contradict the encoding the data set is read in.
    return Fail(tag, position, "file meta information element inside the data set");
  }
  if (!header.IsUndefinedLength() && header.GetLength() > m_stream.Remaining()) {
    const uint64_t left = m_stream.Remaining();
    if (tag == tags::kPixelData && !isItem && m_onCutShort == OnCutShort::KeepWhatWasRead) {
      // The frames that are there can still be looked at: the value stays
      // in the file, where they are read on demand.
      object.StoreElement(std::make_unique<CDicomPixelData>(header, m_stream.GetPosition()));
      m_stream.Seek(0, CStream::SeekOrigin::End);
    }
    return Truncated(tag, position,
                     "value length " + Describe(header.GetLength()) + " runs past the end of the file (" +
                         Describe(left) + " bytes left)",
                     header.GetLength() - left);
  }

  // An undefined-length UN element in explicit VR is a sequence whose type
  // the writer did not know; its items are encoded in implicit VR.
  const bool unknownSequence =
      mode != TransferMode::ImplicitLittleEndian && header.GetVR() == vr::UN && header.IsUndefinedLength();
  if (header.GetVR() == vr::SQ || unknownSequence) {
    if (depth + 1 > CReadContext::kMaxNestingDepth) {
      return Fail(tag, position, "sequences nested deeper than " + Describe(CReadContext::kMaxNestingDepth));
    }
    TransferMode itemMode = mode;
    if (unknownSequence) {
      header.SetVR(vr::SQ);
      itemMode = TransferMode::ImplicitLittleEndian;
    }
    auto sequence = std::make_unique<CDicomSequence>(header);
    sequence->SetSopClassUid(object.GetSopClassUid());
    if (Status read = ReadSequence(*sequence, itemMode, depth + 1); !read) {
      if (KeepsPartial()) object.StoreElement(std::move(sequence));
      return read.GetError();
    }
    object.StoreElement(std::move(sequence));
    return Step::Element;
  }

  std::unique_ptr<CDicomElement> element;
  if (tag == tags::kPixelData) {
    const uint64_t valuePosition = m_stream.GetPosition();
    bool encapsulated = false;
    if (header.GetLength() != 0 && m_stream.Remaining() >= 8) {
      CDicomElement next;
      // Fragments start with an item; an empty fragment sequence ends at once.
      if (next.ReadHeader(m_stream, mode)) {
        encapsulated = next.GetTag() == tags::kItem ||
                       (header.IsUndefinedLength() && next.GetTag() == tags::kSequenceDelimitation);
      }
      m_stream.Seek(static_cast<int64_t>(valuePosition), CStream::SeekOrigin::Begin);
    }
    std::unique_ptr<CDicomPixelData> pixels;
    if (encapsulated) {
      pixels = std::make_unique<CDicomEncapsulatedPixelData>(header, valuePosition, mode);
    } else {
      pixels = std::make_unique<CDicomPixelData>(header, valuePosition);
      pixels->SetBigEndianInStream(mode == TransferMode::ExplicitBigEndian);
    }
    if (m_options.skipPixelData && !isItem) {
      // The value stays in the file, for frames to be read on demand; the
      // elements after it are read as usual (private groups, trailing
      // padding), so a writer of this object does not lose them.
      if (Status skipped = pixels->SkipValue(m_stream, mode); !skipped) {
        return Fail(tag, position, skipped.Message());
      }
      object.StoreElement(std::move(pixels));
      return Step::Element;
    }
    element = std::move(pixels);
  } else {
    element = std::make_unique<CDicomElement>();
    element->SetTag(tag);
    element->SetVR(header.GetVR());
    element->SetValueLength(header.GetLength());
    element->SetUndefinedLength(header.IsUndefinedLength());
  }

  if (!element->ReadValue(m_stream, mode)) {
    return Fail(tag, position,
                header.IsUndefinedLength() ? "undefined-length value has no delimiter, or its content is malformed"
                                           : "value of length " + Describe(header.GetLength()) + " cannot be read");
  }
  object.StoreElement(std::move(element));
  return Step::Element;
}

Status CDicomFileReader::ReadSequence(CDicomSequence& sequence, TransferMode mode, int depth) {
  sequence.ClearItems();
  if (sequence.GetLength() == 0) return Ok();
  const bool defined = !sequence.IsUndefinedLength();
  const uint64_t start = m_stream.GetPosition();
  for (;;) {
    if (defined && m_stream.GetPosition() - start >= sequence.GetLength()) return Ok();
    auto item = std::make_unique<CSequenceItem>();
    item->SetSopClassUid(sequence.GetSopClassUid());
    Result<Step> step = ReadItem(*item, mode, depth);
    if (!step) {
      if (KeepsPartial()) sequence.AppendItem(std::move(item));
      return step.GetError();
    }
    if (*step != Step::Element) return Ok();  // the sequence delimitation, or the end of the stream
    sequence.AppendItem(std::move(item));
  }
}

Result<CDicomFileReader::Step> CDicomFileReader::ReadItem(CSequenceItem& item, TransferMode mode, int depth) {
  item.SetTransferMode(mode);
  const uint64_t position = m_stream.GetPosition();
  if (AtEndOfStream(m_stream)) return Step::End;
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  uint8_t header[8];
  if (!m_stream.ReadExact(header, sizeof header)) {
    return Truncated(0, position, "item header is truncated", sizeof header - (m_stream.GetLength() - position));
  }
  const DicomTag tag = MakeTag(LoadU16(header, bigEndian), LoadU16(header + 2, bigEndian));
  const uint32_t length = LoadU32(header + 4, bigEndian);
  // Kept as the little-endian word of the tag, whatever the stream's order.
  item.SetItemTag(uint32_t{TagGroup(tag)} | (uint32_t{TagElement(tag)} << 16));
  item.SetItemLength(length);
  item.SetUndefinedLength(length == CDicomElement::kUndefinedLength);
  if (tag == tags::kSequenceDelimitation) return Step::SequenceEnd;
  if (tag != tags::kItem) return Fail(tag, position, "expected an item (FFFE,E000) in a sequence");
  if (item.IsUndefinedLength()) {
    if (Status read = ReadElements(item, UINT64_MAX, depth); !read) return read.GetError();
    return Step::Element;
  }
  if (length > m_stream.Remaining()) {
    const uint64_t left = m_stream.Remaining();
    if (m_onCutShort == OnCutShort::KeepWhatWasRead) {
      // What the item holds before the end is read all the same.
      (void)ReadElements(item, UINT64_MAX, depth);
    }
    m_missingBytes.reset();
    return Truncated(tag, position,
                     "item length " + Describe(length) + " runs past the end of the file (" + Describe(left) +
                         " bytes left)",
                     length - left);
  }
  const uint64_t start = m_stream.GetPosition();
  if (Status read = ReadElements(item, start + length, depth); !read) return read.GetError();
  if (m_stream.GetPosition() > start + length) {
    return Error(ErrorCode::Malformed,
                 "an element runs past the end of its item at offset " + Describe(start + length));
  }
  return Step::Element;
}

}  // namespace quillon
