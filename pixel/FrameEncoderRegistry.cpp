#include "pixel/FrameEncoderRegistry.h"

#include "pixel/Jpeg2000FrameEncoder.h"
#include "pixel/JpegLsFrameEncoder.h"
#include "pixel/LosslessJpegFrameEncoder.h"
#include "pixel/RleFrameEncoder.h"

#include <algorithm>
#include <iterator>
#include <string>

namespace quillon {

namespace {

using Factory = Result<std::unique_ptr<IFrameEncoder>> (*)(const NativeFrameFormat&, const FrameEncoderOptions&);

struct Registration {
  ConversionMode mode;
  const char* name;
  Factory make;  ///< null: known by name, not built
};

constexpr Registration kEncoders[] = {
    {ConversionMode::Rle, "RLE",
     [](const NativeFrameFormat& f, const FrameEncoderOptions&) { return CRleFrameEncoder::Create(f); }},
    {ConversionMode::JpegLossless, "JPEG Lossless",
     [](const NativeFrameFormat& f, const FrameEncoderOptions&) { return CLosslessJpegFrameEncoder::Create(f); }},
    {ConversionMode::JpegLs, "JPEG-LS",
     [](const NativeFrameFormat& f, const FrameEncoderOptions& o) { return CreateJpegLsFrameEncoder(f, o.nearLossless); }},
    {ConversionMode::Jpeg2000, "JPEG 2000",
     [](const NativeFrameFormat& f, const FrameEncoderOptions& o) {
       return CreateJpeg2000FrameEncoder(f, o.compressionRatio);
     }},
};

const Registration* Find(ConversionMode mode) {
  const auto* found = std::find_if(std::begin(kEncoders), std::end(kEncoders),
                                   [mode](const Registration& r) { return r.mode == mode; });
  return found == std::end(kEncoders) ? nullptr : found;
}

}  // namespace

bool HasFrameEncoder(ConversionMode mode) {
  const Registration* found = Find(mode);
  return found != nullptr && found->make != nullptr;
}

Result<std::unique_ptr<IFrameEncoder>> CreateFrameEncoder(ConversionMode mode, const NativeFrameFormat& format,
                                                          const FrameEncoderOptions& options) {
  if (mode == ConversionMode::JpegLs && (options.nearLossless < 0 || options.nearLossless > 255)) {
    return Error(ErrorCode::WrongKind, "the JPEG-LS near-lossless error " + std::to_string(options.nearLossless) +
                                           " is outside 0 to 255");
  }
  if (mode == ConversionMode::Jpeg2000 && options.compressionRatio != 0 && !(options.compressionRatio > 1)) {
    return Error(ErrorCode::WrongKind, "a JPEG 2000 compression ratio must be above 1 (0 for lossless)");
  }
  const Registration* found = Find(mode);
  if (found == nullptr) {
    return Error(ErrorCode::WrongKind, "conversion mode " + std::to_string(static_cast<uint32_t>(mode)) +
                                           " has no encoder of native frames");
  }
  if (found->make == nullptr) {
    return Error(ErrorCode::WrongKind, std::string(found->name) + " compression is not available in this build");
  }
  return found->make(format, options);
}

}  // namespace quillon
