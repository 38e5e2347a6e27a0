#include "dicom/DicomFileWriter.h"

#include "base/AtomicFileWriter.h"
#include "base/ByteOrder.h"
#include "base/DeflateStream.h"
#include "base/FileStream.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomPixelData.h"
#include "dicom/DicomSequence.h"
#include "dicom/ElementRules.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quillon {

namespace {

constexpr uint16_t kMetaGroup = 0x0002;

void WriteTagAndLength(CStream& stream, DicomTag tag, uint32_t length, bool bigEndian) {
  uint8_t bytes[8];
  StoreU16(bytes, TagGroup(tag), bigEndian);
  StoreU16(bytes + 2, TagElement(tag), bigEndian);
  StoreU32(bytes + 4, length, bigEndian);
  stream.Write(bytes, sizeof bytes);
}

Error CannotWrite(DicomTag tag, const std::string& why) {
  return Error(ErrorCode::Refused, FormatTag(tag) + " cannot be written: " + why);
}

/// A top-level Pixel Data value left in the file it was read from.
const CDicomPixelData* PixelsLeftInFile(const CDicomElement& element) {
  const auto* pixels = dynamic_cast<const CDicomPixelData*>(&element);
  if (pixels == nullptr || pixels->IsLoaded() || pixels->GetValuePosition() == CDicomPixelData::kUnknownPosition) {
    return nullptr;
  }
  return pixels;
}

/// The element part of CheckWritable (all a bare data set needs).
Status CheckElements(const CDicomObject& object, bool pixelsFromSource = false) {
  for (const auto& entry : object.Elements().Sorted()) {
    if (pixelsFromSource && PixelsLeftInFile(*entry.element) != nullptr) continue;
    if (Status allowed = CheckElementWriteRules(*entry.element, object.Place()); !allowed) return allowed;
  }
  return Ok();
}

}  // namespace

Status CheckWritable(const CDicomObject& object, bool pixelsFromSource) {
  if (Status elements = CheckElements(object, pixelsFromSource); !elements || object.Place() != ElementPlace::DataSet) {
    return elements;
  }
  // The meta group ends at the first element of another group, read little
  // endian. In big endian, group 0200 is stored as 02 00: the bytes of
  // group 0002 in little endian. As the first element of the data set it
  // would be read back as meta information.
  if (object.GetTransferMode() == TransferMode::ExplicitBigEndian) {
    for (const auto& entry : object.Elements().Sorted()) {
      if (TagGroup(entry.tag) == kMetaGroup) continue;
      if (TagGroup(entry.tag) == 0x0200) {
        return Error(ErrorCode::Refused, FormatTag(entry.tag) +
                                             ": a big endian data set cannot start with group 0200, which reads "
                                             "back as file meta information (group 0002).");
      }
      break;
    }
  }
  return Ok();
}

template <typename Write>
Status CDicomFileWriter::Guarded(Write&& write) {
  Status written = write();
  // A failed stream drops what follows its failure: its own error is the
  // one that explains the element that could not be written.
  if (m_stream.HasFailed()) return m_stream.State();
  return written;
}

Status CDicomFileWriter::WriteFile(const CDicomObject& object) { return WriteFileUpTo(object, UINT32_MAX); }

Status CDicomFileWriter::WriteFileUpTo(const CDicomObject& object, DicomTag last) {
  if (Status writable = CheckWritable(object, m_options.pixelSource != nullptr); !writable) return writable;
  std::string syntax;
  (void)object.GetString(tags::kTransferSyntaxUid, syntax);
  const bool deflated = syntax == uids::kDeflatedExplicitVrLittleEndian;
  if (deflated && last != UINT32_MAX) {
    // The rest of the data set could not be appended to the compressed
    // stream later.
    return Error(ErrorCode::Refused, "a deflated data set is written whole, not in parts");
  }
  return Guarded([&]() -> Status {
    WritePreamble();
    // The meta group comes right after "DICM" whatever else the object
    // holds (a command group 0000 sorts before it but belongs to the data
    // set).
    if (Status meta = WriteElements(object, TransferMode::ExplicitLittleEndian, GroupFilter::MetaOnly); !meta) {
      return meta;
    }
    if (deflated) return WriteDeflatedDataSet(object);
    return WriteElements(object, object.GetTransferMode(), GroupFilter::AllButMeta, 0, last);
  });
}

Status CDicomFileWriter::WriteDeflatedDataSet(const CDicomObject& object) {
  CDeflateStream compressed(m_stream);
  CDicomFileWriter inner(compressed, m_options);  // pixel values left in the source file are copied in too
  const Status written =
      inner.WriteElements(object, TransferMode::ExplicitLittleEndian, GroupFilter::AllButMeta, 0, UINT32_MAX);
  if (compressed.HasFailed()) return compressed.State();
  if (!written) return written;
  return compressed.Close();
}

Status CDicomFileWriter::WriteDataSetFrom(const CDicomObject& object, DicomTag first) {
  return Guarded([&] { return WriteElements(object, object.GetTransferMode(), GroupFilter::AllButMeta, first); });
}

Status CDicomFileWriter::WriteDataSet(const CDicomObject& object, TransferMode mode) {
  if (Status writable = CheckElements(object); !writable) return writable;
  return Guarded([&] { return WriteElements(object, mode, GroupFilter::All); });
}

void CDicomFileWriter::WritePreamble() {
  uint8_t prefix[132] = {};
  if (m_options.preamble != nullptr) std::memcpy(prefix, m_options.preamble->data(), m_options.preamble->size());
  std::memcpy(prefix + 128, "DICM", 4);
  m_stream.Write(prefix, sizeof prefix);
}

Status CDicomFileWriter::WriteElements(const CDicomObject& object, TransferMode mode, GroupFilter filter,
                                       DicomTag first, DicomTag last) {
  for (const auto& entry : object.Elements().Sorted()) {
    if (entry.tag < first || entry.tag > last) continue;
    const bool meta = TagGroup(entry.tag) == kMetaGroup;
    if ((filter == GroupFilter::MetaOnly && !meta) || (filter == GroupFilter::AllButMeta && meta)) continue;
    const CDicomElement& element = *entry.element;
    if (entry.tag == tags::kNumberOfFrames) m_numberOfFramesPosition = m_stream.GetPosition() + 8;
    // DS has the 8-byte header in every syntax.
    if (entry.tag == tags::kLossyImageCompressionRatio && !m_lossyRatioPosition) {
      m_lossyRatioPosition = m_stream.GetPosition() + 8;
    }
    if (const auto* sequence = dynamic_cast<const CDicomSequence*>(&element)) {
      if (Status written = WriteSequence(*sequence, mode); !written) return written;
      continue;
    }
    if (const CDicomPixelData* pixels = PixelsLeftInFile(element); pixels != nullptr && m_options.pixelSource) {
      if (Status copied = CopyPixelValue(*pixels, mode); !copied) return copied;
      continue;
    }
    if (TagElement(entry.tag) == 0x0000 && element.GetLength() == 4) {
      // The group length is what this write gives the group, not what the
      // element was read with. A group longer than 4 GiB cannot be
      // described; the value is then written as it stands.
      const uint64_t length = object.GroupLength(TagGroup(entry.tag), mode);
      if (length <= UINT32_MAX) {
        uint8_t value[4];
        StoreU32(value, static_cast<uint32_t>(length), false);
        const CDicomElement refreshed(entry.tag, element.GetVR(), value, sizeof value);
        if (!refreshed.WriteElement(m_stream, mode)) return CannotWrite(entry.tag, "its group length is damaged");
        continue;
      }
    }
    if (!element.WriteElement(m_stream, mode)) return CannotWrite(entry.tag, "its value is missing or damaged");
  }
  return Ok();
}

Status CDicomFileWriter::CopyPixelValue(const CDicomPixelData& pixels, TransferMode mode) {
  CStream& source = *m_options.pixelSource;
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  // The bytes are copied as they stand: only a value in the byte order
  // being written can be.
  if (pixels.IsBigEndianInStream() != bigEndian) {
    return CannotWrite(tags::kPixelData, "its value stayed in the source file in the other byte order; open the file "
                                         "with its pixel data to save it in this one");
  }
  const bool undefined = pixels.IsUndefinedLength();
  pixels.WriteHeader(m_stream, mode, undefined ? CDicomElement::kUndefinedLength : pixels.GetLength());
  source.Seek(static_cast<int64_t>(pixels.GetValuePosition()), CStream::SeekOrigin::Begin);
  std::vector<uint8_t> buffer(1 << 20);
  const auto copy = [&](uint64_t count) {
    while (count > 0) {
      const uint64_t chunk = std::min<uint64_t>(count, buffer.size());
      if (!source.ReadExact(buffer.data(), chunk)) return false;
      m_stream.Write(buffer.data(), chunk);
      count -= chunk;
    }
    return true;
  };
  const auto shortSource = [&] {
    return CannotWrite(tags::kPixelData, "its value ends early in the source file \"" + source.GetFilePath() +
                                             "\" (at offset " + std::to_string(source.GetPosition()) + ")");
  };
  if (!pixels.IsEncapsulated()) {
    // An undefined-length native value ends with its item delimitation.
    return copy(uint64_t{pixels.GetLength()} + (undefined ? 8 : 0)) ? Ok() : shortSource();
  }
  if (!undefined) return copy(pixels.GetLength()) ? Ok() : shortSource();
  // Fragments, each with its own length, up to the sequence delimitation.
  for (;;) {
    uint8_t header[8];
    if (!source.ReadExact(header, sizeof header)) return shortSource();
    m_stream.Write(header, sizeof header);
    const DicomTag tag = MakeTag(LoadU16(header, bigEndian), LoadU16(header + 2, bigEndian));
    if (tag == tags::kSequenceDelimitation) return Ok();
    if (tag != tags::kItem) return CannotWrite(tags::kPixelData, "its fragments in the source file are damaged");
    if (!copy(LoadU32(header + 4, bigEndian))) return shortSource();
  }
}

Status CDicomFileWriter::WriteSequence(const CDicomSequence& sequence, TransferMode mode) {
  const std::optional<uint32_t> lengthField = sequence.LengthField(mode);
  if (!lengthField) return CannotWrite(sequence.GetTag(), "the sequence is longer than 4 GiB");
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  const uint32_t headerSize = mode == TransferMode::ImplicitLittleEndian ? 8 : 12;
  uint8_t header[12] = {};
  StoreU16(header, TagGroup(sequence.GetTag()), bigEndian);
  StoreU16(header + 2, TagElement(sequence.GetTag()), bigEndian);
  if (headerSize == 8) {
    StoreU32(header + 4, *lengthField, bigEndian);
  } else {
    header[4] = static_cast<uint8_t>(sequence.GetVR() & 0xFF);
    header[5] = static_cast<uint8_t>(sequence.GetVR() >> 8);
    StoreU32(header + 8, *lengthField, bigEndian);
  }
  m_stream.Write(header, headerSize);
  for (size_t i = 0; i < sequence.GetItemCount(); ++i) {
    if (Status written = WriteItem(*sequence.GetItem(i), mode); !written) return written;
  }
  if (sequence.IsUndefinedLength()) WriteTagAndLength(m_stream, tags::kSequenceDelimitation, 0, bigEndian);
  return Ok();
}

Status CDicomFileWriter::WriteItem(const CSequenceItem& item, TransferMode mode) {
  const std::optional<uint32_t> lengthField = item.LengthField(mode);
  if (!lengthField) return CannotWrite(tags::kItem, "an item is longer than 4 GiB");
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  WriteTagAndLength(m_stream, tags::kItem, *lengthField, bigEndian);
  if (Status written = WriteElements(item, mode, GroupFilter::All); !written) return written;
  if (item.IsUndefinedLength()) WriteTagAndLength(m_stream, tags::kItemDelimitation, 0, bigEndian);
  return Ok();
}

Status SaveDicomFile(const CDicomObject& object, const std::string& path, const SaveOptions& options) {
  // An object the writer refuses is refused before a temporary file is made,
  // with the element and the reason.
  const bool fromSource = !options.pixelSourcePath.empty();
  if (Status writable = CheckWritable(object, fromSource); !writable) {
    return writable.GetError().WithContext("cannot save \"" + path + "\": ");
  }
  CFileStream source;
  if (fromSource && !source.Open(options.pixelSourcePath, CFileStream::OpenMode::Read)) {
    return Error(ErrorCode::Io, "cannot save \"" + path + "\": cannot open \"" + options.pixelSourcePath +
                                    "\" to copy its pixel data: " + std::strerror(source.LastOsError()));
  }
  const WriteOptions writeOptions{options.preamble, fromSource ? &source : nullptr};
  const Status saved = WriteFileAtomically(
      path, [&](CFileStream& stream) { return CDicomFileWriter(stream, writeOptions).WriteFile(object); });
  if (fromSource) source.Abort();  // only read from
  if (!saved && saved.GetError().Code() == ErrorCode::Refused) {
    return saved.GetError().WithContext("cannot save \"" + path + "\": ");
  }
  return saved;
}

}  // namespace quillon
