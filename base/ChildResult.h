/// \file
/// ChildResult — what a decoding child process leaves for its parent at the
/// start of the block it writes its output into, whether it is a fork of
/// the caller (base/ChildProcess.h) or a helper program started for the
/// purpose (base/HelperProcess.h): the step's success, or its ErrorCode and
/// message. A child that dies before it set `finished` left no result; its
/// parent judges it by how it ended (base/ChildWait.h).
#pragma once

#include "base/Result.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace quillon {

struct ChildResult {
  uint32_t finished;  ///< set last, once the rest is written
  uint32_t code;      ///< ErrorCode of a failed step
  uint32_t failed;
  char message[1012];
};

/// Where the output follows the result in the block: on the next page, so
/// that both can be mapped on their own.
constexpr uint64_t kChildOutputOffset = 4096;
static_assert(sizeof(ChildResult) <= kChildOutputOffset);

/// Writes `status` into `result` (its message cut to a kilobyte), then
/// marks it finished. Only copies bytes: a child may call it anywhere.
inline void RecordChildStatus(ChildResult& result, const Status& status) {
  if (!status) {
    result.failed = 1;
    result.code = static_cast<uint32_t>(status.GetError().Code());
    const std::string& message = status.Message();
    const size_t length = std::min(message.size(), sizeof result.message - 1);
    std::memcpy(result.message, message.data(), length);
    result.message[length] = '\0';
  }
  result.finished = 1;
}

}  // namespace quillon
