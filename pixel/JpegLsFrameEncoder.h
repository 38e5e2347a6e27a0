/// \file
/// CreateJpegLsFrameEncoder — frames into JPEG-LS through CharLS: lossless
/// (1.2.840.10008.1.2.4.80) or near-lossless (.81), every sample within N of
/// the original. Grey and palette images keep one component, colour ones
/// are coded with the three components interleaved sample by sample; the
/// photometric interpretation is unchanged, JPEG-LS has no colour
/// transform of its own.
///
/// JPEG-LS codes unsigned samples of 2 to 16 bits. Signed samples are coded
/// as their Bits Stored bit pattern (the bits above it dropped), as DCMTK
/// does: a reader that takes the decoded pattern with Pixel Representation 1
/// gets the original values back. Near-lossless coding refuses a frame
/// of signed samples reaching within N of their largest or smallest value,
/// whose pattern could come back across the sign.
#pragma once

#include "pixel/FrameEncoder.h"

#include <memory>

namespace quillon {

/// An encoder for frames of `format`, lossless when `nearLossless` is 0.
/// WrongKind naming the reason for a format JPEG-LS in DICOM cannot hold
/// (1 bit stored, 32 bits allocated, subsampled colour, a near-lossless
/// palette image) or a bound N out of range.
Result<std::unique_ptr<IFrameEncoder>> CreateJpegLsFrameEncoder(const NativeFrameFormat& format,
                                                                int32_t nearLossless);

}  // namespace quillon
