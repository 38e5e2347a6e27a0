/// \file
/// DecodeWithOpenJph — one HTJ2K frame through OpenJPH into native samples,
/// the part of CHtJ2kFrameDecoder that must never run in the user's
/// process: Debian's OpenJPH 0.9 asserts (and so aborts) on some damaged
/// packet data. The decoder runs it in the helper program
/// quillon-htj2k-decoder (helpers/), or in a fork of the caller when the
/// helper cannot be started; both build it from this one file.
#pragma once

#include "base/Result.h"
#include "pixel/NativeFrameFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

/// Points OpenJPH's messages where nothing shows them (a tool's standard
/// error is its user's) and makes its errors throw instead of exiting.
/// OpenJPH's handlers are process-wide: they are set once per process.
void SilenceOpenJph();

/// Decodes the `length` bytes of `encoded` into `native` (the format's
/// FrameSize() bytes). A frame of another geometry is WrongKind; OpenJPH's
/// messages for damaged data come back as Malformed. SilenceOpenJph must
/// have run.
[[nodiscard]] Status DecodeWithOpenJph(const NativeFrameFormat& format, const uint8_t* encoded, uint64_t length,
                                       uint8_t* native);

/// The helper's arguments for `format`: columns, rows, samples per pixel,
/// bits allocated, bits stored, and 1 for signed samples (else 0); and the
/// format they give back (without its photometric interpretation, which
/// decoding does not use). Failure for arguments of another shape.
std::vector<std::string> FormatArguments(const NativeFrameFormat& format);
Result<NativeFrameFormat> ParseFormatArguments(const std::vector<std::string>& arguments);

}  // namespace quillon
