/// \file
/// The deflate conversion: the same data set, its pixel data native, saved
/// under the deflated transfer syntax. No frame is recoded, so it does not
/// go through the frame-by-frame conversion; the data set is compressed as
/// one stream on its way to the file.
#pragma once

#include "pixel/PixelDataConverter.h"

#include <string>

namespace quillon {

/// Converts `sourcePath` (any syntax whose pixel data is native, or no
/// pixel data) into a deflated `destinationPath`, through the atomic save.
/// HeaderFailed, with the reason in `error`, for compressed pixel data
/// (decompress it first); ReadFailed when the source cannot be read;
/// Cancelled when `progress` says stop before the file is written.
DCT_STATUS ConvertToDeflated(const std::string& sourcePath, const std::string& destinationPath,
                             const ConversionProgress& progress, std::string& error);

}  // namespace quillon
