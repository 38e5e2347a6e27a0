/// \file
/// quillon-htj2k-decoder — decodes one HTJ2K frame with OpenJPH for
/// CHtJ2kFrameDecoder, in a process of its own, so that OpenJPH aborting
/// on damaged data costs the frame, not the caller's program. Its
/// arguments are the frame format (pixel/OpenJphDecoding.h); its input and
/// output are the memory files base/HelperMain.h describes.
#include "base/HelperMain.h"
#include "pixel/OpenJphDecoding.h"

using namespace quillon;

int main(int argc, char** argv) {
  SilenceOpenJph();
  RunHelperMain(argc, argv,
                [](const std::vector<std::string>& arguments, const uint8_t* input, uint64_t length, uint8_t* output,
                   uint64_t size) -> Status {
                  Result<NativeFrameFormat> format = ParseFormatArguments(arguments);
                  if (!format) return format.GetError();
                  if (format->FrameSize() != size) {
                    return Error(ErrorCode::Failure, "the output holds " + std::to_string(size) +
                                                         " bytes, the frame " + std::to_string(format->FrameSize()));
                  }
                  return DecodeWithOpenJph(*format, input, length, output);
                });
}
