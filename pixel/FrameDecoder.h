/// \file
/// IFrameDecoder — turns one encoded frame of a compressed transfer syntax
/// into native samples: exactly the bytes an Explicit VR Little Endian file
/// would store for that frame, colour by pixel. Everything that shows,
/// compares or decompresses frames of these syntaxes goes through it, so
/// each codec library is wrapped once. CreateFrameDecoder (in
/// FrameDecoderRegistry.h) picks the implementation by transfer syntax.
///
/// The encoded frame is untrusted: a decoder checks the size, components
/// and precision its data declares against the format it was made for
/// before it writes a sample, and never writes past that format's
/// FrameSize().
#pragma once

#include "base/Result.h"
#include "pixel/NativeFrameFormat.h"

#include <cstdint>

namespace quillon {

class IFrameDecoder {
 public:
  virtual ~IFrameDecoder() = default;

  /// The format of the frames Decode produces.
  virtual const NativeFrameFormat& OutputFormat() const = 0;

  /// Decodes `length` bytes of one frame into `native`, which must hold
  /// OutputFormat().FrameSize() bytes. Failure for a buffer that is too
  /// small; Malformed for damaged data; WrongKind for data of another
  /// size, component count or precision than the format (the message says
  /// which). After a failure the buffer holds a partial frame.
  [[nodiscard]] virtual Status Decode(const uint8_t* encoded, uint64_t length, uint8_t* native,
                                      uint64_t capacity) const = 0;
};

}  // namespace quillon
