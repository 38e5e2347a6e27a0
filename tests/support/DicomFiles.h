/// \file
/// Reading and writing whole files in tests, with the reason of a failure
/// in the assertion's message.
#pragma once

#include "base/MemoryStream.h"
#include "dicom/DicomFile.h"
#include "dicom/DicomFileReader.h"
#include "dicom/DicomFileWriter.h"
#include "support/StatusAssertions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon::test {

/// Reads the file at `path` into `object`.
inline ::testing::AssertionResult LoadInto(CDicomObject& object, const std::string& path,
                                           bool skipPixelData = false) {
  CDicomFile file;
  const Status read = file.Load(path, {.skipPixelData = skipPixelData});
  object = std::move(file.DataSet());
  if (!read) return ::testing::AssertionFailure() << path << ": " << read.Message();
  return ::testing::AssertionSuccess();
}

/// A media file read from memory: the data set, what the read said, and
/// what it worked around.
struct ReadResult {
  CDicomObject object;
  Status status;
  std::vector<std::string> warnings;
  /// The warnings, one a line, for messages.
  std::string AllWarnings() const {
    std::string all;
    for (const std::string& warning : warnings) all += warning + "\n";
    return all;
  }
};

inline ReadResult ReadFromBytes(const std::vector<uint8_t>& bytes, bool skipPixelData = false) {
  CMemoryStream stream(bytes);
  CDicomFileReader reader(stream, {.skipPixelData = skipPixelData});
  ReadResult result;
  result.status = reader.ReadFile(result.object);
  result.warnings = reader.Warnings();
  return result;
}

/// The bytes of `object` written as a media file; empty when refused.
inline std::vector<uint8_t> WriteToBytes(const CDicomObject& object) {
  CMemoryStream stream;
  if (!CDicomFileWriter(stream).WriteFile(object)) return {};
  return stream.Data();
}

}  // namespace quillon::test
