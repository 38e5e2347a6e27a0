// Inputs the fuzzer found: each once made us write a file our own reader
// then rejected, or read back as something else. Whatever we read, in
// either mode, must save, read back, and save again to the same bytes.
#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/MetaInformation.h"
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
      ReadResult read = ReadFromBytes({input.begin(), input.end()}, skip);
      // A bare data set is saved with its meta information completed, as
      // every save of this program does.
      if (!read.object.Elements().Sorted().empty() && !read.object.Contains(quillon::tags::kTransferSyntaxUid)) {
        for (auto& element : quillon::MissingMetaElements(read.object)) read.object.RestoreElement(std::move(element));
      }
      const std::vector<uint8_t> written = WriteToBytes(read.object);
      if (written.empty()) continue;  // refusing to write is fine; writing garbage is not
      const ReadResult back = ReadFromBytes(written);
      EXPECT_TRUE(Succeeded(back.status));
      EXPECT_EQ(WriteToBytes(back.object), written);
    }
  }
  EXPECT_GE(inputs, 4);
}

}  // namespace
