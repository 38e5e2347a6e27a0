/// \file
/// CHtJ2kFrameDecoder — frames of High-Throughput JPEG 2000
/// (1.2.840.10008.1.2.4.201, .202 and .203) through OpenJPH, into native
/// samples. Like JPEG 2000, YBR_RCT and YBR_ICT come out as RGB (OpenJPH
/// undoes the colour transform) and signed samples are stored in two's
/// complement over Bits Allocated.
///
/// OpenJPH runs in a process of its own for each frame: Debian's OpenJPH
/// 0.9 aborts on some damaged data, and that must cost a refused frame, not
/// the program. The main header is checked here first, so a frame that is
/// refused for it costs no process. The process is the helper program
/// quillon-htj2k-decoder (base/HelperProcess.h), started with posix_spawn:
/// a 512x512 16-bit frame takes about 7 ms where OpenJPH alone takes 2,
/// whatever the caller's size. Where the helper cannot be started, a fork
/// of the caller decodes (base/ChildProcess.h), with the same results; a
/// fork costs more the more memory the caller has written (25 ms with
/// 256 MB written, 65 ms with a gigabyte). bench/HtJ2kIsolationBench.cpp
/// measures both.
#pragma once

#include "pixel/FrameDecoder.h"

#include <string>

namespace quillon {

/// The installed or built helper program (FindHelperProgram); empty when
/// there is none.
std::string FindHtJ2kHelper();

class CHtJ2kFrameDecoder : public IFrameDecoder {
 public:
  /// Decodes through the program `helper`, or through a fork of the caller
  /// when it is empty or cannot be started.
  explicit CHtJ2kFrameDecoder(NativeFrameFormat declared, std::string helper = FindHtJ2kHelper());

  const NativeFrameFormat& OutputFormat() const override { return m_format; }
  /// OpenJPH's message for damaged data, as Malformed; so is a decoder
  /// that aborted, crashed or ran out of time on it.
  Status Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const override;

  /// The helper program it decodes through; empty for a fork.
  const std::string& Helper() const { return m_helper; }

 private:
  NativeFrameFormat m_format;
  std::string m_helper;
};

}  // namespace quillon
