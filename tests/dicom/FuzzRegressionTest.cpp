// Inputs the fuzzer found: each once made us write a file our own reader
// then rejected, or read back as something else. Whatever we read, in
// either mode, must save, read back, and save again to the same bytes.
#include "dicom/DicomObject.h"
#include "support/DicomFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace quillon;
using namespace quillon::test;

namespace {

TEST(FuzzRegression, WhatWeReadWeCanWriteAndReadBack) {
  const std::filesystem::path folder = std::filesystem::path(QUILLON_SOURCE_DIR) / "fuzz" / "crashes";
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".dcm") continue;
    ++inputs;
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    for (bool skipPixelData : {false, true}) {
      const std::vector<uint8_t> written = WriteToBytes(ReadFromBytes(bytes, skipPixelData).object);
      if (written.empty()) continue;  // refusing to write is fine; writing garbage is not
      const ReadResult back = ReadFromBytes(written);
      EXPECT_TRUE(back.status) << entry.path().filename() << " skip=" << skipPixelData << ": "
                               << back.status.Message();
      EXPECT_EQ(WriteToBytes(back.object), written) << entry.path().filename() << " skip=" << skipPixelData;
    }
  }
  EXPECT_GE(inputs, 4);
}

}  // namespace
