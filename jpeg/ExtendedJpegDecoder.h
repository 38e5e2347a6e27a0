/// \file
/// CExtendedJpegDecoder — decodes sequential DCT JPEG images with Huffman
/// coding at 8 or 12 bits per sample (SOF0 and SOF1): the DICOM transfer
/// syntax "JPEG Extended (Process 2 & 4)" (1.2.840.10008.1.2.4.51), whose
/// 12-bit images libjpeg-turbo 2.1, which Debian 12 ships, cannot decode.
/// (8-bit baseline images also decode here; CBaselineJpegCodec does them
/// faster.)
///
/// What it decodes: 1 … 4 components with sampling factors 1 or 2, in one
/// interleaved scan or one scan per component, with or without restart
/// intervals, up to four Huffman tables of each class. The transform is
/// libjpeg's default integer IDCT and subsampled components are
/// interpolated as libjpeg does, so the samples equal DCMTK's (dcmdjpeg).
/// No colour conversion: the components come out as coded (YCbCr, mostly,
/// for colour images; the caller knows the photometric interpretation),
/// each at the full image size, in the layout the caller asks for.
///
/// The data is untrusted: every segment is checked before it is read, the
/// image size against the caller's buffer before anything is allocated or
/// decoded, and damaged entropy-coded data is a Malformed error naming the
/// offset. Besides fixed-size tables, only subsampled components take
/// memory of their own (a plane of their subsampled size, never more than
/// the caller's buffer holds).
///
///   auto header = CExtendedJpegDecoder::ReadHeader(data, length);
///   std::vector<uint16_t> samples(header->SampleCount());
///   Status done = CExtendedJpegDecoder::Decode(
///       data, length, {.words = samples.data(), .capacity = samples.size()});
#pragma once

#include "base/Result.h"
#include "jpeg/JpegFrameHeader.h"
#include "jpeg/JpegSampleBuffer.h"

#include <cstddef>
#include <cstdint>

namespace quillon {

class CExtendedJpegDecoder {
 public:
  /// Reads the frame header of `data`, after the segments before it, and
  /// checks that this decoder can decode the frame. Malformed for data that
  /// is no well-formed JPEG up to its frame header, WrongKind for another
  /// coding process (progressive, lossless, arithmetic, hierarchical: the
  /// message names it), another precision than 8 or 12 bits, or sampling
  /// factors above 2.
  [[nodiscard]] static Result<JpegFrameHeader> ReadHeader(const uint8_t* data, size_t length);

  /// Decodes the image in `data` into `output`, which must hold its
  /// SampleCount() samples: `bytes` may be used only for 8-bit images.
  /// Failure (and nothing written) for an unusable buffer, OutOfMemory when
  /// a subsampled component's plane cannot be had; otherwise as ReadHeader,
  /// or Malformed for damage found while decoding, after which the buffer
  /// holds a partial image. On success, when `frame` is given, it receives
  /// the frame header.
  [[nodiscard]] static Status Decode(const uint8_t* data, size_t length, const JpegSampleBuffer& output,
                                     JpegFrameHeader* frame = nullptr);
};

}  // namespace quillon
