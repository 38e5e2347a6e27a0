/// \file
/// CJpeg2000FrameDecoder — frames of JPEG 2000 lossless and lossy
/// (1.2.840.10008.1.2.4.90 and .91) through OpenJPEG, into native samples.
/// OpenJPEG undoes the codestream's colour transform, so YBR_RCT and
/// YBR_ICT images come out as RGB. Where the codestream and the header
/// disagree about signedness, the codestream's samples are what is stored:
/// a signed sample is written in two's complement over Bits Allocated.
#pragma once

#include "pixel/FrameDecoder.h"

namespace quillon {

/// How many threads OpenJPEG gets for one frame of `format`: the cores
/// (at most 8) for a frame large enough to share, else 1. The encoder
/// shares it.
int OpenJpegThreads(const NativeFrameFormat& format);

class CJpeg2000FrameDecoder : public IFrameDecoder {
 public:
  explicit CJpeg2000FrameDecoder(NativeFrameFormat declared);

  const NativeFrameFormat& OutputFormat() const override { return m_format; }
  /// OpenJPEG's own message for damaged data, as Malformed; WrongKind for
  /// components of different sizes (subsampled, which DICOM does not use).
  Status Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const override;

 private:
  NativeFrameFormat m_format;
};

}  // namespace quillon
