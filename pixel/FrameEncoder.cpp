#include "pixel/FrameEncoder.h"

namespace quillon {

Error RefuseFormat(std::string_view codec, const NativeFrameFormat& format, const std::string& why) {
  return Error(ErrorCode::WrongKind, std::string(codec) + " cannot hold an image of " +
                                         std::to_string(format.samplesPerPixel) + " samples, " +
                                         std::to_string(format.bitsStored) + " of " +
                                         std::to_string(format.bitsAllocated) + " bits, " +
                                         (format.photometric.empty() ? "no photometric interpretation"
                                                                     : format.photometric) +
                                         ": " + why);
}

bool EncodablePhotometric(const std::string& photometric, uint32_t samples, bool lossless) {
  if (samples == 1) {
    return photometric == "MONOCHROME1" || photometric == "MONOCHROME2" ||
           (lossless && photometric == "PALETTE COLOR");
  }
  return photometric == "RGB" || photometric == "YBR_FULL";
}

}  // namespace quillon
