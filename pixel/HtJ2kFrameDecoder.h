/// \file
/// CHtJ2kFrameDecoder — frames of High-Throughput JPEG 2000
/// (1.2.840.10008.1.2.4.201, .202 and .203) through OpenJPH, into native
/// samples. Like JPEG 2000, YBR_RCT and YBR_ICT come out as RGB (OpenJPH
/// undoes the colour transform) and signed samples are stored in two's
/// complement over Bits Allocated.
///
/// OpenJPH runs in a child process for each frame (base/ChildProcess.h):
/// Debian's OpenJPH 0.9 aborts on some damaged data, and that must cost a
/// refused frame, not the program. That costs a fork and an exit per
/// frame: about 2 ms in a small process, and about 0.1 ms more for every
/// megabyte of memory the caller has written (a tenth of a second with a
/// gigabyte in use; bench/HtJ2kIsolationBench.cpp measures it).
#pragma once

#include "pixel/FrameDecoder.h"

namespace quillon {

class CHtJ2kFrameDecoder : public IFrameDecoder {
 public:
  explicit CHtJ2kFrameDecoder(NativeFrameFormat declared);

  const NativeFrameFormat& OutputFormat() const override { return m_format; }
  /// OpenJPH's message for damaged data, as Malformed; so is a decoder
  /// that aborted, crashed or ran out of time on it.
  Status Decode(const uint8_t* encoded, uint64_t length, uint8_t* native, uint64_t capacity) const override;

 private:
  NativeFrameFormat m_format;
};

}  // namespace quillon
