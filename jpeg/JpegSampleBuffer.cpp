/// \file
/// The check of a decoder's output buffer against the frame it is to hold.
#include "jpeg/JpegSampleBuffer.h"

#include <string>

namespace quillon {

Status CheckSampleBuffer(const JpegSampleBuffer& output, const JpegFrameHeader& frame) {
  if ((output.words == nullptr) == (output.bytes == nullptr)) {
    return Error(ErrorCode::Failure, "JPEG decode: set exactly one of the 16-bit and the 8-bit sample buffer");
  }
  if (output.bytes != nullptr && frame.precision > 8) {
    return Error(ErrorCode::Failure, "JPEG decode: " + std::to_string(frame.precision) +
                                         "-bit samples do not fit in an 8-bit sample buffer");
  }
  if (output.capacity < frame.SampleCount()) {
    return Error(ErrorCode::Failure, "JPEG decode: the image of " + std::to_string(frame.width) + " x " +
                                         std::to_string(frame.height) + " x " +
                                         std::to_string(frame.componentCount) + " samples does not fit in a buffer of " +
                                         std::to_string(output.capacity));
  }
  return Ok();
}

}  // namespace quillon
