#include "pixel/OrderedFramePipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace quillon {
namespace {

/// A transform whose frames take uneven times, so workers finish out of
/// order: frame n's output is its input byte plus one, and its length.
Status SlowIncrement(const std::vector<uint8_t>& input, std::vector<uint8_t>& output) {
  const uint8_t frame = input.at(0);
  std::this_thread::sleep_for(std::chrono::microseconds((frame * 7919) % 5 * 300));
  if (frame == 200) return Error(ErrorCode::Malformed, "frame 200 is damaged");
  output.assign(frame % 3 + 1, static_cast<uint8_t>(frame + 1));
  return Ok();
}

struct Case {
  unsigned workers;
  int32_t frames;
  int32_t readFailsAt;  ///< -1: never
  int32_t damagedFrame;  ///< made to fail in the transform; -1: none
};

class OrderedFramePipelineTest : public ::testing::TestWithParam<Case> {};

TEST_P(OrderedFramePipelineTest, WritesEveryFrameInOrderUpToTheFirstFailure) {
  const Case c = GetParam();
  const COrderedFramePipeline pipeline(c.workers, 1024);
  std::atomic<int32_t> written{0};
  int32_t furthestAhead = 0;
  std::vector<int32_t> order;
  const Status status = pipeline.Run(
      c.frames,
      [&](int32_t n, std::vector<uint8_t>& input) -> Status {
        furthestAhead = std::max(furthestAhead, n - written.load());
        if (n == c.readFailsAt) return Error(ErrorCode::Io, "cannot read frame " + std::to_string(n));
        input.assign(1, static_cast<uint8_t>(n == c.damagedFrame ? 200 : n));
        return Ok();
      },
      SlowIncrement,
      [&](int32_t n, const std::vector<uint8_t>& output) -> Status {
        EXPECT_EQ(output, std::vector<uint8_t>(static_cast<size_t>(n % 3 + 1), static_cast<uint8_t>(n + 1))) << "frame " << n;
        order.push_back(n);
        ++written;
        return Ok();
      });

  int32_t expectedWritten = c.frames;
  if (c.readFailsAt >= 0) expectedWritten = std::min(expectedWritten, c.readFailsAt);
  if (c.damagedFrame >= 0) expectedWritten = std::min(expectedWritten, c.damagedFrame);
  ASSERT_EQ(static_cast<int32_t>(order.size()), expectedWritten);
  for (int32_t n = 0; n < expectedWritten; ++n) EXPECT_EQ(order[static_cast<size_t>(n)], n);
  EXPECT_LE(furthestAhead, static_cast<int32_t>(2 * c.workers));
  if (expectedWritten == c.frames) {
    EXPECT_TRUE(status) << status.Message();
  } else {
    ASSERT_FALSE(status);
    const bool damagedFirst = c.damagedFrame >= 0 && (c.readFailsAt < 0 || c.damagedFrame < c.readFailsAt);
    EXPECT_EQ(status.Message(), damagedFirst ? "frame 200 is damaged" : "cannot read frame " +
                                                                               std::to_string(c.readFailsAt));
  }
}

INSTANTIATE_TEST_SUITE_P(Frames, OrderedFramePipelineTest,
                         ::testing::Values(Case{1, 0, -1, -1}, Case{1, 9, -1, 4}, Case{2, 1, -1, -1},
                                           Case{2, 50, -1, -1}, Case{4, 50, -1, -1}, Case{3, 40, 17, -1},
                                           Case{3, 40, -1, 23}, Case{2, 40, 30, 12}, Case{4, 40, 12, 30}));

TEST(OrderedFramePipelineLimits, LargeFramesRunOneAtATime) {
  // Frames of a gigabyte: a second one in flight would double the memory.
  const COrderedFramePipeline pipeline(4, uint64_t{1} << 30);
  int32_t furthestAhead = 0;
  int32_t written = 0;
  ASSERT_TRUE(pipeline.Run(
      6,
      [&](int32_t n, std::vector<uint8_t>& input) -> Status {
        furthestAhead = std::max(furthestAhead, n - written);
        input.assign(1, static_cast<uint8_t>(n));
        return Ok();
      },
      SlowIncrement, [&](int32_t, const std::vector<uint8_t>&) -> Status {
        ++written;
        return Ok();
      }));
  EXPECT_EQ(written, 6);
  EXPECT_EQ(furthestAhead, 0);
}

}  // namespace
}  // namespace quillon
