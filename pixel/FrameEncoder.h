/// \file
/// IFrameEncoder — turns one native frame (exactly the bytes an Explicit VR
/// Little Endian file stores for it, colour by pixel, see NativeFrameFormat)
/// into one encoded frame of a compressed transfer syntax. The mirror of
/// IFrameDecoder: each codec library is wrapped once, and the conversion
/// asks CreateFrameEncoder (FrameEncoderRegistry.h) for the encoder of the
/// mode the user chose, whatever the bit depth.
///
/// An encoder is made for one format and refuses at construction (through
/// the registry) what its syntax cannot hold, so a conversion fails before
/// it writes anything rather than on frame 1.
#pragma once

#include "base/Result.h"
#include "pixel/NativeFrameFormat.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

/// What the header of an encoded image says besides its transfer syntax.
struct EncodedImageDescription {
  std::string transferSyntax;
  /// The photometric interpretation of the encoded samples (YBR_RCT when a
  /// JPEG 2000 encoder applies its reversible colour transform, say).
  std::string photometric;
  /// Lossy output: the result is another image, with a new SOP Instance
  /// UID, Lossy Image Compression "01", its ratio and method.
  bool lossy = false;
  /// Lossy Image Compression Method (0028,2114): "ISO_10918_1",
  /// "ISO_14495_1", "ISO_15444_1"; empty when lossless.
  std::string lossyMethod;
};

class IFrameEncoder {
 public:
  virtual ~IFrameEncoder() = default;

  /// The syntax and header the encoded frames need.
  virtual const EncodedImageDescription& Description() const = 0;

  /// Encodes one native frame of `length` bytes (the format's FrameSize())
  /// into `encoded`, replacing its contents. The result is one whole frame
  /// (one fragment); the caller pads it to even length.
  [[nodiscard]] virtual Status Encode(const uint8_t* native, uint64_t length,
                                      std::vector<uint8_t>& encoded) const = 0;
};

/// The refusal of an encoder made for a format its syntax cannot hold:
/// "<codec> cannot hold an image of 1 samples, 12 of 16 bits, MONOCHROME2:
/// <why>", so the user learns both what the image is and what is missing.
Error RefuseFormat(std::string_view codec, const NativeFrameFormat& format, const std::string& why);

/// The photometric interpretations a JPEG-LS or JPEG 2000 image may have
/// with `samples` samples per pixel; a palette image only when lossless,
/// as its indices must stay exact.
bool EncodablePhotometric(const std::string& photometric, uint32_t samples, bool lossless);

}  // namespace quillon
