/// \file
/// COrderedFramePipeline — runs the expensive middle step of a frame-by-frame
/// job (decoding, encoding) on several threads while the reading before it
/// and the writing after it stay on the calling thread, in frame order.
/// Files are read and written through one stream each, which is neither
/// thread-safe nor seekable in a useful way for out-of-order writes, while
/// a codec call on one frame shares nothing with the next: so only the
/// codec step runs in parallel.
///
/// At most a few frames are in flight at any time (twice the workers, and
/// fewer when frames are large), so a conversion still holds a bounded
/// amount of memory however many frames the file has.
#pragma once

#include "base/Result.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace quillon {

class COrderedFramePipeline {
 public:
  /// Reads frame `index` into `input` (calling thread, ascending order).
  using Read = std::function<Status(int32_t index, std::vector<uint8_t>& input)>;
  /// Turns `input` into `output` (any worker thread, any order). Must not
  /// touch anything another frame's call touches.
  using Transform = std::function<Status(const std::vector<uint8_t>& input, std::vector<uint8_t>& output)>;
  /// Takes frame `index`'s output (calling thread, ascending order).
  using Write = std::function<Status(int32_t index, const std::vector<uint8_t>& output)>;

  /// `frameBytes` is what one frame's input and output take together, at
  /// most: it bounds how many frames may be in flight.
  COrderedFramePipeline(unsigned workers, uint64_t frameBytes);

  /// Runs the three steps over frames 0 … count − 1. Stops at the first
  /// failure of any step (the frames after it are not written) and returns
  /// it; failures of the transform come back in frame order, so the error
  /// reported is the one of the first frame that failed.
  Status Run(int32_t count, const Read& read, const Transform& transform, const Write& write) const;

  /// Workers a pipeline gets by default: the machine's cores, a few at most.
  static unsigned DefaultWorkers();

 private:
  unsigned m_workers;
  unsigned m_window;  ///< frames in flight at most
};

}  // namespace quillon
