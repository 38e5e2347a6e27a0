/// \file
/// CreateJpeg2000FrameEncoder — frames into a bare JPEG 2000 codestream (no
/// JP2 boxes, as DICOM stores it) through OpenJPEG: lossless with the
/// reversible 5/3 wavelet (1.2.840.10008.1.2.4.90) or lossy with the
/// irreversible 9/7 one at a chosen compression ratio (.91).
///
/// RGB images are coded through the codestream's component transform, the
/// reversible one (photometric YBR_RCT) when lossless, the irreversible one
/// (YBR_ICT) when lossy: decorrelating the colours makes the codestream
/// markedly smaller, and the header then says what the codestream holds.
/// OpenJPEG-based readers (GDCM, pydicom's) undo the transform as the
/// codestream's COD segment signals and give RGB back; RGB declared over a
/// transformed codestream is the mismatch pydicom warns about, and RGB with
/// the transform off would cost a third more bytes. YBR_FULL images are
/// coded as they are.
#pragma once

#include "pixel/FrameEncoder.h"

#include <memory>

namespace quillon {

/// An encoder for frames of `format`: lossless when `compressionRatio` is 0,
/// else lossy at that ratio (above 1) of the native size. WrongKind naming
/// the reason for a format this encoder cannot hold (32 bits allocated,
/// more than 16 stored, subsampled colour, a lossy palette image) or a
/// ratio out of range.
Result<std::unique_ptr<IFrameEncoder>> CreateJpeg2000FrameEncoder(const NativeFrameFormat& format,
                                                                  double compressionRatio);

}  // namespace quillon
