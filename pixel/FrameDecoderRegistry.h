/// \file
/// The one place that knows which IFrameDecoder decodes which transfer
/// syntax: adding a codec adds a file and a line here, not a case in every
/// caller. Callers ask for a decoder for the syntax and the format the
/// image header declares; a syntax without one is refused with a message
/// naming it.
#pragma once

#include "base/Result.h"
#include "pixel/FrameDecoder.h"

#include <memory>
#include <string>

namespace quillon {

/// True when CreateFrameDecoder has a decoder for `transferSyntax`.
bool HasFrameDecoder(const std::string& transferSyntax);

/// The decoder for frames of `transferSyntax` declared as `declared`.
/// WrongKind, naming the syntax, for a syntax without decoder; WrongKind
/// too for a declared format no native frame can have (no size, Bits
/// Allocated not 8, 16 or 32, Bits Stored above it, samples other than 1
/// or 3).
[[nodiscard]] Result<std::unique_ptr<IFrameDecoder>> CreateFrameDecoder(const std::string& transferSyntax,
                                                                        const NativeFrameFormat& declared);

/// The name of a transfer syntax for messages ("JPEG 2000 Image
/// Compression"), or the UID itself when it is not one we know.
std::string DescribeTransferSyntax(const std::string& transferSyntax);

}  // namespace quillon
