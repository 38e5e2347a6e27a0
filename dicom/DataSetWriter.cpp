/// \file
/// Writing a data object as a media file: preamble, "DICM", then every
/// element in ascending tag order with group lengths recomputed at every
/// level, sequences and items framed as the data model records them.
#include "base/ByteOrder.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "base/Stream.h"
#include "dicom/ValueRepresentation.h"

#include <cstring>

namespace quillon {

namespace {

void WriteTagAndLength(CStream& stream, DicomTag tag, uint32_t length, bool bigEndian) {
  uint8_t bytes[8];
  StoreU16(bytes, TagGroup(tag), bigEndian);
  StoreU16(bytes + 2, TagElement(tag), bigEndian);
  StoreU32(bytes + 4, length, bigEndian);
  stream.Write(bytes, sizeof bytes);
}

template <typename Write>
bool WriteOrAbort(CStream& stream, Write&& write) {
  try {
    return write();
  } catch (...) {
    stream.Abort();
    throw;
  }
}

}  // namespace

std::string CDicomObject::FindElementProblem() const {
  for (const auto& entry : m_elements.Sorted()) {
    std::string problem = CheckElementWriteRules(*entry.element, Place());
    if (!problem.empty()) return problem;
  }
  return {};
}

std::string CDicomObject::FindWriteProblem() const {
  std::string problem = FindElementProblem();
  if (!problem.empty() || Place() != ElementPlace::DataSet) return problem;
  // The meta group ends at the first element of another group, read little
  // endian. In big endian, group 0200 is stored as 02 00: the bytes of
  // group 0002 in little endian. As the first element of the data set it
  // would be read back as meta information.
  if (m_transferMode == TransferMode::ExplicitBigEndian) {
    for (const auto& entry : m_elements.Sorted()) {
      if (TagGroup(entry.tag) == 0x0002) continue;
      if (TagGroup(entry.tag) == 0x0200) {
        return FormatTag(entry.tag) + ": a big endian data set cannot start with group 0200, which reads back as "
                                      "file meta information (group 0002).";
      }
      break;
    }
  }
  return {};
}

bool CDicomObject::WriteToFile(CStream& stream) {
  // Refuse before the first byte: a half-written file is of no use, and
  // one that cannot be read back loses the user's data.
  if (!FindWriteProblem().empty()) return false;
  if (!WritePreamble(stream)) return false;
  // The meta group comes right after "DICM" whatever else the object holds
  // (a command group 0000 sorts before it but belongs to the data set).
  return WriteElements(stream, TransferMode::ExplicitLittleEndian, GroupFilter::MetaOnly) &&
         WriteElements(stream, m_transferMode, GroupFilter::AllButMeta);
}

bool CDicomObject::WriteToFileUpTo(CStream& stream, DicomTag last) {
  if (!FindWriteProblem().empty()) return false;
  if (!WritePreamble(stream)) return false;
  return WriteElements(stream, TransferMode::ExplicitLittleEndian, GroupFilter::MetaOnly) &&
         WriteElements(stream, m_transferMode, GroupFilter::AllButMeta, 0, last);
}

bool CDicomObject::WriteDataSetFrom(CStream& stream, DicomTag first) {
  return WriteElements(stream, m_transferMode, GroupFilter::AllButMeta, first);
}

bool CDicomObject::WritePreamble(CStream& stream) {
  uint8_t prefix[132] = {};
  std::memcpy(prefix + 128, "DICM", 4);
  return WriteOrAbort(stream, [&] {
    stream.Write(prefix, sizeof prefix);
    return true;
  });
}

bool CDicomObject::WriteDataSet(CStream& stream, TransferMode mode) {
  if (!FindElementProblem().empty()) return false;
  return WriteElements(stream, mode, GroupFilter::All);
}

bool CDicomObject::WriteElements(CStream& stream, TransferMode mode, GroupFilter filter, DicomTag first,
                                 DicomTag last) {
  for (const auto& entry : m_elements.Sorted()) {
    if (entry.tag < first || entry.tag > last) continue;
    const bool meta = TagGroup(entry.tag) == 0x0002;
    if ((filter == GroupFilter::MetaOnly && !meta) || (filter == GroupFilter::AllButMeta && meta)) continue;
    CDicomElement& element = *entry.element;
    if (TagElement(entry.tag) == 0x0000 && element.GetLength() == 4) {
      // A group longer than 4 GiB cannot be described; leave the value.
      const uint64_t length = GroupLength(TagGroup(entry.tag), mode);
      if (length <= UINT32_MAX) (void)element.SetUInt32(static_cast<uint32_t>(length));
    }
    if (entry.tag == tags::kNumberOfFrames) m_numberOfFramesPosition = stream.GetPosition() + 8;
    if (auto* sequence = dynamic_cast<CDicomSequence*>(&element)) sequence->RecordLengths(mode);
    if (!element.WriteElement(stream, mode)) return false;
  }
  return true;
}

bool CDicomSequence::WriteElement(CStream& stream, TransferMode mode) const {
  if (GetVR() != vr::SQ && GetTag() != tags::kPixelData) return false;
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  const uint32_t headerSize = mode == TransferMode::ImplicitLittleEndian ? 8 : 12;
  uint32_t lengthField = kUndefinedLength;
  if (!IsUndefinedLength()) {
    const uint64_t length = EncodedSize(mode) - headerSize;
    if (length >= kUndefinedLength) return false;  // cannot be described in 32 bits
    lengthField = static_cast<uint32_t>(length);
  }
  return WriteOrAbort(stream, [&] {
    uint8_t header[12] = {};
    StoreU16(header, TagGroup(GetTag()), bigEndian);
    StoreU16(header + 2, TagElement(GetTag()), bigEndian);
    if (headerSize == 8) {
      StoreU32(header + 4, lengthField, bigEndian);
    } else {
      header[4] = static_cast<uint8_t>(GetVR() & 0xFF);
      header[5] = static_cast<uint8_t>(GetVR() >> 8);
      StoreU32(header + 8, lengthField, bigEndian);
    }
    stream.Write(header, headerSize);
    for (const auto& item : m_items) {
      if (!item->WriteItem(stream, mode)) return false;
    }
    if (IsUndefinedLength()) WriteTagAndLength(stream, tags::kSequenceDelimitation, 0, bigEndian);
    return true;
  });
}

bool CSequenceItem::WriteItem(CStream& stream, TransferMode mode) {
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  uint32_t lengthField = CDicomElement::kUndefinedLength;
  if (!m_undefinedLength) {
    const uint64_t length = ContentSize(mode);
    if (length >= CDicomElement::kUndefinedLength) return false;
    lengthField = static_cast<uint32_t>(length);
  }
  return WriteOrAbort(stream, [&] {
    WriteTagAndLength(stream, tags::kItem, lengthField, bigEndian);
    if (!WriteElements(stream, mode, GroupFilter::All)) return false;
    if (m_undefinedLength) WriteTagAndLength(stream, tags::kItemDelimitation, 0, bigEndian);
    return true;
  });
}

bool CSequenceItem::WriteToFile(CStream& /*stream*/) { return false; }

void CDicomSequence::RecordLengths(TransferMode mode) {
  if (!IsUndefinedLength()) {
    const uint32_t headerSize = mode == TransferMode::ImplicitLittleEndian ? 8 : 12;
    const uint64_t length = EncodedSize(mode) - headerSize;
    if (length < kUndefinedLength) SetValueLength(static_cast<uint32_t>(length));
  }
  for (const auto& item : m_items) {
    item->SetTransferMode(mode);
    if (!item->IsUndefinedLength()) {
      const uint64_t length = item->ContentSize(mode);
      if (length < kUndefinedLength) item->SetItemLength(static_cast<uint32_t>(length));
    }
  }
}

}  // namespace quillon
