/// \file
/// A Status as a test assertion, with the error's message when it failed.
#pragma once

#include "base/Result.h"

#include <gtest/gtest.h>

namespace quillon::test {

/// Success, or a failure carrying the status's message.
inline ::testing::AssertionResult Succeeded(const Status& status) {
  if (status) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << status.Message();
}

}  // namespace quillon::test
