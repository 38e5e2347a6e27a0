/// \file
/// CJpegMarkerReader — walks the marker segments of one JPEG image (a DICOM
/// frame) for our own decoders: the frame header, the Huffman and
/// quantisation tables, the restart interval and each scan header, with
/// every length, count and table index checked against its segment and the
/// data before anything is read from it. Application and comment segments
/// are stepped over. Tables may be redefined between scans; each scan is
/// decoded with the tables defined before it.
///
/// The reader checks what the JPEG format itself requires; what a process
/// allows (precision, sampling, predictor) is the decoder's to check.
/// Failures are Malformed errors that name the segment and its offset, or
/// WrongKind for well-formed data that no decoder here handles (a second
/// frame of a hierarchical image, a DNL segment, arithmetic coding
/// conditioning).
#pragma once

#include "base/Result.h"
#include "jpeg/JpegFrameHeader.h"
#include "jpeg/JpegHuffmanTable.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillon {

class CJpegMarkerReader {
 public:
  /// Reads `data` (`length` bytes), which must outlive the reader's use.
  CJpegMarkerReader(const uint8_t* data, size_t length);

  /// Reads from the start-of-image marker up to and including the frame
  /// header; tables defined before it are kept.
  [[nodiscard]] Status ReadFrameHeader();
  /// Reads the segments after the frame header or after a scan's data up
  /// to the next scan header, which it checks against the frame. True with
  /// `scan` filled in and Position() at the scan's first data byte; false
  /// at the end-of-image marker or at the end of the data.
  [[nodiscard]] Result<bool> ReadNextScan(JpegScanHeader& scan);
  /// Continues after a scan's entropy-coded data: `position` is where its
  /// decoder stopped reading. Bytes up to the next marker that are not
  /// one (data the decoder did not need) are stepped over, as are stray
  /// restart markers.
  void ResumeAfterScan(size_t position);

  const JpegFrameHeader& Frame() const { return m_frame; }
  /// Huffman table `index` (0 … 3) of class 0 (DC and lossless) or 1 (AC);
  /// null when no DHT segment has defined it.
  const CJpegHuffmanTable* HuffmanTable(uint32_t tableClass, uint32_t index) const;
  /// Quantisation table `index` (0 … 3) in natural (row-major) order; null
  /// when no DQT segment has defined it.
  const std::array<uint16_t, 64>* QuantTable(uint32_t index) const;
  /// Ri of the last DRI segment: MCUs per restart interval (0: none).
  uint32_t RestartInterval() const { return m_restartInterval; }
  /// Offset of the next byte to read.
  size_t Position() const { return m_position; }
  const uint8_t* Data() const { return m_data; }
  size_t Length() const { return m_length; }

 private:
  /// Reads the next marker (after any fill bytes) into `marker`, its offset
  /// into `markerOffset`.
  Status NextMarker(uint8_t& marker, size_t& markerOffset);
  /// Reads a segment's length field; sets `payload` and `payloadLength`
  /// and moves past the segment.
  Status SegmentPayload(uint8_t marker, size_t markerOffset, const uint8_t*& payload, size_t& payloadLength);
  /// Handles a table, restart or ignorable segment; Malformed or WrongKind
  /// for a marker that has no place among them.
  Status ReadMiscellaneousSegment(uint8_t marker, size_t markerOffset);
  Status ReadFrameSegment(uint8_t marker, const uint8_t* payload, size_t length, size_t markerOffset);
  Status ReadScanSegment(const uint8_t* payload, size_t length, size_t markerOffset, JpegScanHeader& scan);
  Status ReadHuffmanSegment(const uint8_t* payload, size_t length, size_t markerOffset);
  Status ReadQuantSegment(const uint8_t* payload, size_t length, size_t markerOffset);

  const uint8_t* m_data;
  size_t m_length;
  size_t m_position = 0;
  bool m_haveFrame = false;
  JpegFrameHeader m_frame;
  std::array<std::array<CJpegHuffmanTable, 4>, 2> m_huffman{};
  std::array<std::array<bool, 4>, 2> m_huffmanDefined{};
  std::array<std::array<uint16_t, 64>, 4> m_quant{};
  std::array<bool, 4> m_quantDefined{};
  uint32_t m_restartInterval = 0;
};

}  // namespace quillon
