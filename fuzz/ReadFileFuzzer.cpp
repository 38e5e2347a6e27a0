/// \file
/// libFuzzer entry point for the file reader. Arbitrary bytes are read as a
/// media file, with and without the pixel data. Whatever was read — all of
/// it, or what the object kept before a failure — is dumped and written to
/// memory; an output we wrote ourselves must then read back, since a file
/// this library saves and cannot open again is a file the user has lost,
/// and saving what was read back must give the same bytes again, since
/// anything else means the object changed on the way. The sanitizers catch
/// the rest (out-of-bounds access, leaks, overflow).
#include "dicom/DicomObject.h"
#include "base/FileException.h"
#include "base/MemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

using quillon::CDicomObject;
using quillon::CFileException;
using quillon::CMemoryStream;

void ReadBackOwnOutput(const CMemoryStream& written) {
  CMemoryStream input(written.Data());
  CDicomObject copy;
  bool readBack = false;
  std::string error;
  try {
    readBack = copy.ReadFromFile(input, false);
    error = copy.GetLastReadError();
  } catch (const CFileException& exception) {
    error = exception.what();
  }
  if (!readBack) {
    // Our own writer produced a file our own reader rejects.
    std::fprintf(stderr, "own output of %zu bytes does not read back: %s\n", written.Data().size(),
                 error.c_str());
    __builtin_trap();
  }
  std::string text;
  (void)copy.DumpText(text, 0);
  CMemoryStream again;
  if (!copy.WriteToFile(again) || again.Data() != written.Data()) {
    std::fprintf(stderr, "own output of %zu bytes reads back but does not save the same: %s\n",
                 written.Data().size(), copy.FindWriteProblem().c_str());
    __builtin_trap();
  }
}

void ReadDumpWrite(const uint8_t* data, size_t size, bool skipPixelData) {
  CMemoryStream input(data, size);
  CDicomObject object;
  // A failed read keeps the elements read before the failure: they must be
  // as safe to dump and write as a complete file.
  (void)object.ReadFromFile(input, skipPixelData);
  std::string text;
  (void)object.DumpText(text, 0);

  // The writer may refuse (an element without its value, such as skipped
  // pixel data); what it accepts must be a file we can read in full.
  CMemoryStream output;
  if (!object.WriteToFile(output)) return;
  ReadBackOwnOutput(output);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (const bool skipPixelData : {false, true}) {
    try {
      ReadDumpWrite(data, size, skipPixelData);
    } catch (const CFileException&) {
      // Memory streams throw only for seeks outside the stream or sizes past
      // what a vector can hold; the reader reports those through this
      // exception and the caller decides, as LoadFile does.
    }
  }
  return 0;
}
