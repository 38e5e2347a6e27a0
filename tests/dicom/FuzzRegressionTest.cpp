// Inputs the fuzzer found: each once made us write a file our own reader
// then rejected, or read back as something else. Whatever we read, in
// either mode, must save, read back, and save again to the same bytes.
#include "dicom/DicomObject.h"
#include "support/DicomFiles.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace quillon::test;

namespace {

TEST(FuzzRegression, WhatWeReadWeCanWriteAndReadBack) {
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(QUILLON_SOURCE_DIR) + "/fuzz/crashes")) {
    if (entry.path().extension() != ".dcm") continue;
    ++inputs;
    const std::string input = ReadBytes(entry.path().string());
    for (bool skip : {false, true}) {
      SCOPED_TRACE(entry.path().filename().string() + (skip ? " skipping pixel data" : ""));
      const std::vector<uint8_t> written = WriteToBytes(ReadFromBytes({input.begin(), input.end()}, skip).object);
      if (written.empty()) continue;  // refusing to write is fine; writing garbage is not
      const ReadResult back = ReadFromBytes(written);
      EXPECT_TRUE(Succeeded(back.status));
      EXPECT_EQ(WriteToBytes(back.object), written);
    }
  }
  EXPECT_GE(inputs, 4);
}

}  // namespace
