/// \file
/// CLosslessJpegDecoder — decodes lossless JPEG images (ITU-T T.81 Annex H,
/// Huffman coding, SOF3): the DICOM transfer syntaxes "JPEG Lossless,
/// Non-Hierarchical" (1.2.840.10008.1.2.4.57, any predictor) and its
/// first-order prediction form (1.2.840.10008.1.2.4.70, predictor 1).
/// libjpeg-turbo 2.1, which Debian 12 ships, has no lossless decoder.
///
/// What it decodes: 2 … 16 bits per sample; 1 … 4 components of the same
/// size (DICOM uses 1 or 3); predictors 1 … 7; any point transform;
/// restart intervals of whole lines; one scan of interleaved components or
/// one scan per component (or anything between). The samples come out as
/// decoded (the caller maps bits stored, signedness and colour), in the
/// layout the caller asks for.
///
/// The data is untrusted: every segment is checked before it is read, the
/// image size against the caller's buffer before anything is decoded, and
/// damaged entropy-coded data (a code no table has, data that ends too
/// early, a missing restart marker) is a Malformed error naming the offset,
/// found at the latest at the end of the line it damages. No input makes
/// the decoder write outside the caller's buffer or work longer than the
/// image size needs.
///
///   auto header = CLosslessJpegDecoder::ReadHeader(data, length);
///   // check header->width, height, componentCount, precision against the
///   // DICOM attributes, size the buffer
///   std::vector<uint16_t> samples(header->SampleCount());
///   Status done = CLosslessJpegDecoder::Decode(
///       data, length, {.words = samples.data(), .capacity = samples.size()});
#pragma once

#include "base/Result.h"
#include "jpeg/JpegFrameHeader.h"
#include "jpeg/JpegSampleBuffer.h"

#include <cstddef>
#include <cstdint>

namespace quillon {

class CLosslessJpegDecoder {
 public:
  /// Reads the frame header of `data`, after the segments before it, and
  /// checks that this decoder can decode the frame. Malformed for data that
  /// is no well-formed JPEG up to its frame header, WrongKind for another
  /// coding process (the message names it) or a lossless frame it does not
  /// handle (components of different sizes, more than 4 components).
  [[nodiscard]] static Result<JpegFrameHeader> ReadHeader(const uint8_t* data, size_t length);

  /// Decodes the image in `data` into `output`, which must hold its
  /// SampleCount() samples: `bytes` may be used only for a precision of at
  /// most 8 bits. Failure (and nothing written) for an unusable buffer;
  /// otherwise as ReadHeader, or Malformed for damage found while decoding,
  /// after which the buffer holds a partial image. On success, when `frame`
  /// is given, it receives the frame header.
  [[nodiscard]] static Status Decode(const uint8_t* data, size_t length, const JpegSampleBuffer& output,
                                     JpegFrameHeader* frame = nullptr);
};

}  // namespace quillon
