/// \file
/// Whether a Pixel Data value can hold the image its data set declares.
/// Rows, Columns, Samples per Pixel, Bits Allocated and Number of Frames
/// are untrusted numbers: a file of a few kilobytes may declare gigabytes
/// of frames. Every frame buffer is sized from them, so they are checked
/// against the value actually present before anything is allocated.
#pragma once

#include "base/Result.h"

#include <cstdint>

namespace quillon {

class CDicomPixelData;

/// Succeeds when `pixels` can hold what is declared: for a native value, at
/// least one whole frame of `storedFrameSize` bytes (frames beyond the
/// value are refused when read); for an encapsulated value, at least one
/// fragment. Malformed otherwise, with the declared (`frames` frames) and
/// the present sizes in the message.
Status CheckDeclaredPixelExtent(const CDicomPixelData& pixels, uint64_t storedFrameSize, int64_t frames);

}  // namespace quillon
