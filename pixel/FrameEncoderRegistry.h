/// \file
/// The one place that knows which IFrameEncoder writes which conversion
/// mode: adding a codec adds a file and a line here. A mode that no encoder
/// of native frames serves, or a format the mode's syntax cannot hold, is
/// refused with a message saying why, before anything is written.
#pragma once

#include "base/Result.h"
#include "pixel/FrameEncoder.h"
#include "pixel/PixelDataConverter.h"

#include <cstdint>
#include <memory>

namespace quillon {

struct FrameEncoderOptions {
  /// JPEG-LS: the largest error allowed per sample (0: lossless).
  int32_t nearLossless = 0;
  /// JPEG 2000: the compression ratio aimed at (0: lossless).
  double compressionRatio = 0;
};

/// The encoder of native frames of `format` for `mode` (Rle, JpegLossless,
/// JpegLs, Jpeg2000). WrongKind naming the mode for any other mode or one
/// this build has no encoder for; WrongKind saying why for a format the
/// mode's syntax cannot hold or options out of range.
[[nodiscard]] Result<std::unique_ptr<IFrameEncoder>> CreateFrameEncoder(ConversionMode mode,
                                                                        const NativeFrameFormat& format,
                                                                        const FrameEncoderOptions& options = {});

/// True when `mode` is one CreateFrameEncoder serves (whether or not the
/// image fits it).
bool HasFrameEncoder(ConversionMode mode);

}  // namespace quillon
