// Documents for the editor's tests: a file made by DCMTK from a text dump
// (nested sequences, two items, a private group, pixel data), opened as a
// document.
#pragma once

#include "app/DicomImageDoc.h"
#include "support/FakeUserInterface.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace quillon::test {

inline const std::string kAppDataDir = std::string(QUILLON_SOURCE_DIR) + "/tests/data/";
/// Files no one here wrote: pydicom's test files (Debian's python3-pydicom).
inline const std::string kPydicomFiles = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";

/// Makes the nested-sequence file with dump2dcm at `path`.
inline void MakeNestedFile(const std::string& path) {
  ASSERT_EQ(RunShell("dump2dcm " + kAppDataDir + "nested_sequences.txt " + path).exitCode, 0);
}

/// The index of the first row whose text holds `text`, or -1.
inline int RowHolding(const CDicomImageDoc& document, const std::string& text) {
  for (size_t i = 0; i < document.Rows().Size(); ++i) {
    if (document.Rows().RawText(i).find(text) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace quillon::test
