/// \file
/// CDicomFileWriter — writes a data object as a media file: preamble,
/// "DICM", the file meta information in explicit VR little endian, then
/// the data set in ascending tag order in the object's transfer mode, with
/// group lengths and the lengths of defined-length sequences and items
/// computed as it goes; under the deflated transfer syntax the data set is
/// compressed as it is written. The object is only read: what the write finds out
/// (where Number of Frames went) is the writer's own to report.
#pragma once

#include "base/Result.h"
#include "dicom/DicomTypes.h"
#include "dicom/FilePreamble.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quillon {

class CDicomObject;
class CDicomSequence;
class CSequenceItem;
class CStream;

class CDicomPixelData;

/// How a file is written besides its data set.
struct WriteOptions {
  /// The 128 bytes before "DICM"; zeros when null.
  const FilePreamble* preamble = nullptr;
  /// The file a top-level Pixel Data value left in its file is copied from
  /// (read-only, positioned anywhere); null: such a value is refused.
  CStream* pixelSource = nullptr;
};

class CDicomFileWriter {
 public:
  explicit CDicomFileWriter(CStream& stream, WriteOptions options = {}) : m_stream(stream), m_options(options) {}

  /// Writes the whole file. Refused, writing nothing, when CheckWritable
  /// refuses the object: a half-written file is of no use, and one that
  /// cannot be read back loses the user's data.
  Status WriteFile(const CDicomObject& object);
  /// As WriteFile, but the data set stops before the first element whose
  /// tag is above `last`. With WriteDataSetFrom, lets a writer put a value
  /// it writes itself (pixel data appended frame by frame) in its place
  /// among the elements. Refused for a deflated data set, which is
  /// compressed as one stream.
  Status WriteFileUpTo(const CDicomObject& object, DicomTag last);
  /// Writes the data set elements (group 0002 excluded) whose tags are at
  /// least `first`, in the object's transfer mode.
  Status WriteDataSetFrom(const CDicomObject& object, DicomTag first);
  /// Writes every element of `object` (an item's, or a bare data set) in
  /// `mode`, without preamble; refused, writing nothing, when an element
  /// breaks CheckElementWriteRules.
  Status WriteDataSet(const CDicomObject& object, TransferMode mode);

  /// Where the value of Number of Frames (0028,0008) went in the stream,
  /// once written.
  std::optional<uint64_t> NumberOfFramesPosition() const { return m_numberOfFramesPosition; }
  /// Where the value of Lossy Image Compression Ratio (0028,2112) went, the
  /// first one written, for a conversion to fill in once the compressed
  /// size is known.
  std::optional<uint64_t> LossyCompressionRatioPosition() const { return m_lossyRatioPosition; }

 private:
  enum class GroupFilter { All, MetaOnly, AllButMeta };
  /// Writes the elements of the groups `filter` takes with tags in
  /// [first, last], without the checks (made for the whole tree first).
  Status WriteElements(const CDicomObject& object, TransferMode mode, GroupFilter filter, DicomTag first = 0,
                       DicomTag last = UINT32_MAX);
  Status WriteSequence(const CDicomSequence& sequence, TransferMode mode);
  Status WriteItem(const CSequenceItem& item, TransferMode mode);
  /// The data set after the meta group, explicit VR little endian, raw
  /// deflated (the deflated transfer syntax).
  Status WriteDeflatedDataSet(const CDicomObject& object);
  void WritePreamble();
  /// Writes the Pixel Data element whose value stayed in the source file:
  /// its header, then the value bytes copied from the source (fragment by
  /// fragment up to the sequence delimitation for an undefined length).
  Status CopyPixelValue(const CDicomPixelData& pixels, TransferMode mode);
  /// Runs `write`; the stream's own error when the stream failed on the
  /// way (a full disk), else what `write` said.
  template <typename Write>
  Status Guarded(Write&& write);

  CStream& m_stream;
  WriteOptions m_options;
  std::optional<uint64_t> m_numberOfFramesPosition;
  std::optional<uint64_t> m_lossyRatioPosition;
};

/// Whether `object` can be written as a file that reads back: refused,
/// naming the first element (in tag order, at any depth) that breaks
/// CheckElementWriteRules with its place and the reason, or a big endian
/// data set starting with group 0200, which would read back as meta
/// information. With `pixelsFromSource`, a top-level Pixel Data value left
/// in its file is accepted (the writer copies it from there).
Status CheckWritable(const CDicomObject& object, bool pixelsFromSource = false);

/// Where SaveDicomFile takes what is not in the data set.
struct SaveOptions {
  /// The preamble to keep; zeros when null.
  const FilePreamble* preamble = nullptr;
  /// The file a Pixel Data value left in its file is copied from; empty:
  /// such a value is refused.
  std::string pixelSourcePath;
};

/// Saves `object` as a media file at `path`, through a temporary file that
/// replaces the old one only once complete (WriteFileAtomically). The
/// pixel source may be `path` itself: it is read before it is replaced.
Status SaveDicomFile(const CDicomObject& object, const std::string& path, const SaveOptions& options = {});

}  // namespace quillon
