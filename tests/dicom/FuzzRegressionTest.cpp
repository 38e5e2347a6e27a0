// Inputs the fuzzer found: each once made us write a file our own reader
// then rejected, or read back as something else. Whatever we read, in
// either mode, must save, read back, and save again to the same bytes.
#include "dicom/DicomObject.h"
#include "base/MemoryStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace quillon;

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
      CMemoryStream source(bytes);
      CDicomObject object;
      (void)object.ReadFromFile(source, skipPixelData);
      CMemoryStream written;
      if (!object.WriteToFile(written)) continue;  // refusing to write is fine; writing garbage is not
      CMemoryStream again(written.Data());
      CDicomObject back;
      EXPECT_TRUE(back.ReadFromFile(again, false))
          << entry.path().filename() << " skip=" << skipPixelData << ": " << back.GetLastReadError();
      CMemoryStream rewritten;
      EXPECT_TRUE(back.WriteToFile(rewritten)) << entry.path().filename() << ": " << back.FindWriteProblem();
      EXPECT_EQ(rewritten.Data(), written.Data()) << entry.path().filename() << " skip=" << skipPixelData;
    }
  }
  EXPECT_GE(inputs, 4);
}

}  // namespace
