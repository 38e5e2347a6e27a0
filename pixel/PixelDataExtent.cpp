#include "pixel/PixelDataExtent.h"

#include "dicom/DicomEncapsulatedPixelData.h"

#include <string>
#include <vector>

namespace quillon {

Status CheckDeclaredPixelExtent(const CDicomPixelData& pixels, uint64_t storedFrameSize, int64_t frames) {
  if (frames <= 0 || storedFrameSize == 0) {
    return Error(ErrorCode::Malformed, "the image pixel description declares an empty image");
  }
  const auto count = static_cast<uint64_t>(frames);
  const std::string declared = std::to_string(count) + (count == 1 ? " frame" : " frames") + " of " +
                               std::to_string(storedFrameSize) + " bytes";
  if (pixels.IsEncapsulated()) {
    const auto& encapsulated = static_cast<const CDicomEncapsulatedPixelData&>(pixels);
    // Item 0 is the offset table. A value left in the file knows where the
    // items it stepped over start, and the position just past the last.
    const std::vector<uint64_t>& known = encapsulated.GetKnownItemPositions();
    const bool noFragment = encapsulated.IsLoaded() ? encapsulated.GetItemCount() < 2 : !known.empty() && known.size() < 3;
    if (noFragment) {
      return Error(ErrorCode::Malformed,
                   "the image pixel description declares " + declared + ", but the compressed pixel data holds no fragment");
    }
    return Ok();
  }
  if (pixels.IsUndefinedLength()) return Ok();  // fragments under a native syntax: the frame reads say more
  const uint64_t length = pixels.GetLength();
  // Not one frame present: every buffer sized from the declaration would
  // be out of all proportion to the file. A value holding some of the
  // frames shows those (the frame reads refuse the rest).
  if (length < storedFrameSize) {
    return Error(ErrorCode::Malformed, "the image pixel description declares " + declared + " (" +
                                           (storedFrameSize <= UINT64_MAX / count
                                                ? std::to_string(storedFrameSize * count) + " bytes"
                                                : std::string("more than 2^64 bytes")) +
                                           "), but the Pixel Data value holds " + std::to_string(length) +
                                           " bytes, not one whole frame");
  }
  return Ok();
}

}  // namespace quillon
