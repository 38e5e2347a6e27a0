/// \file
/// Which fragments of an encapsulated Pixel Data value make up which frame.
/// Writers store a frame as one fragment or as several, with or without an
/// offset table: a Basic Offset Table (the first item) or an Extended
/// Offset Table (7FE0,0001). The frames are found as other toolkits find
/// them: by the offset table when it has one entry per frame, else one
/// frame per fragment when there are as many of each, else by the JPEG end
/// marker (FF D9, which also ends JPEG 2000 codestreams) closing each
/// frame's last fragment.
#pragma once

#include "base/Result.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon {

class CDicomObject;

/// One fragment (an item after the offset table) of an encapsulated value.
struct FragmentInfo {
  /// Offset of the item's header from the first fragment's item header: the
  /// unit both offset tables count in.
  uint64_t offset = 0;
  uint32_t length = 0;
  /// The fragment's data ends with FF D9 (a trailing pad byte ignored).
  bool endsWithEndMarker = false;
};

/// The fragments of one frame: `count` fragments from index `first` (0 is
/// the first fragment after the offset table).
struct FrameSpan {
  size_t first = 0;
  size_t count = 0;
};

/// The span of each of `frames` frames (at least 1). `offsetTable` is the
/// Extended Offset Table when there is one, else the Basic Offset Table
/// (empty when the value has none); it is used when it has one ascending
/// entry per frame, each at the start of a fragment. With fewer fragments
/// than frames, the frames present are one fragment each and the list is
/// shorter than `frames`. Malformed when no fragment is present, or when
/// there are more fragments than frames and nothing tells how they group.
Result<std::vector<FrameSpan>> MapFramesToFragments(const std::vector<FragmentInfo>& fragments,
                                                    const std::vector<uint64_t>& offsetTable, uint64_t frames);

/// The offsets of the Extended Offset Table (7FE0,0001) of `object`, empty
/// when it has none (or one whose length is no multiple of 8).
std::vector<uint64_t> ExtendedOffsetTable(const CDicomObject& object);

/// True when the `length` bytes at `data` end with the JPEG end marker FF D9,
/// or with FF D9 and one zero pad byte.
bool EndsWithEndMarker(const uint8_t* data, uint64_t length);

}  // namespace quillon
