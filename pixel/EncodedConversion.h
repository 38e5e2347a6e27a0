/// \file
/// The conversion through a frame encoder: native frames of any depth read
/// from the source (uncompressed or decoded), encoded by the IFrameEncoder
/// of the mode, written one fragment per frame. RLE of images of 16 or 32 bits
/// allocated, JPEG Lossless, JPEG-LS and JPEG 2000 go this way; the 8-bit
/// display modes keep their own path.
#pragma once

#include "base/Result.h"
#include "pixel/PixelDataConverter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

class CDicomObject;
class CPixelImage;

/// True when `mode` on an image of `bitsAllocated` goes through a frame
/// encoder: the modes of every depth, and RLE of 16 or 32 bits (8 bits take
/// the display path, other sizes are refused there).
bool UsesFrameEncoder(ConversionMode mode, uint32_t bitsAllocated);

/// Converts the frames of `source` (opened for native frames) into
/// `destinationPath`; `header` is the source data set without its pixel
/// data, rewritten here for the encoded result. HeaderFailed, with the
/// reason in `error`, when the image cannot be read as native frames or
/// the mode cannot hold it; otherwise as ConvertPixelDataFile.
DCT_STATUS ConvertWithFrameEncoder(const ConversionOptions& options, CPixelImage& source, CDicomObject& header,
                                   ConversionMode mode, const std::string& destinationPath,
                                   const ConversionProgress& progress, std::string& error);

/// Marks `object` as the lossy image it becomes: new SOP Instance UID (and
/// Media Storage SOP Instance UID), Lossy Image Compression "01", `method`
/// appended to Lossy Image Compression Method and a blank value appended
/// to Lossy Image Compression Ratio (which CPixelImage::FinishWrite fills
/// in), Image Type DERIVED\SECONDARY when it was ORIGINAL or absent.
void MarkLossyResult(CDicomObject& object, const std::string& method);

/// The last step of a frame of a conversion pipeline: appends frame `n`
/// (of `frames`) to `destination` as stored, then reports progress. The
/// error stops the pipeline, with `failure` set to WriteFailed or
/// Cancelled for the caller's code.
Status AppendConvertedFrame(CPixelImage& destination, int32_t n, int32_t frames, const std::vector<uint8_t>& frame,
                            const ConversionProgress& progress, DCT_STATUS& failure);

}  // namespace quillon
