/// \file
/// libFuzzer entry point for the file reader. Arbitrary bytes are read as a
/// media file, with and without the pixel data. Whatever was read — all of
/// it, or what the object kept before a failure — is dumped and written to
/// memory; an output we wrote ourselves must then read back, since a file
/// this library saves and cannot open again is a file the user has lost,
/// and saving what was read back must give the same bytes again, since
/// anything else means the object changed on the way. The sanitizers catch
/// the rest (out-of-bounds access, leaks, overflow).
#include "base/MemoryStream.h"
#include "dicom/DicomFileReader.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/MetaInformation.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace quillon;

/// The bytes of `object` written as a media file, or the writer's refusal.
Result<std::vector<uint8_t>> Written(const CDicomObject& object) {
  CMemoryStream stream;
  if (Status written = CDicomFileWriter(stream).WriteFile(object); !written) return written.GetError();
  return stream.Data();
}

void ReadBackOwnOutput(const std::vector<uint8_t>& written) {
  CMemoryStream input(written);
  CDicomObject copy;
  const Status readBack = CDicomFileReader(input).ReadFile(copy);
  if (!readBack) {
    // Our own writer produced a file our own reader rejects.
    std::fprintf(stderr, "own output of %zu bytes does not read back: %s\n", written.size(),
                 readBack.Message().c_str());
    __builtin_trap();
  }
  std::string text;
  (void)copy.DumpText(text, 0);
  const Result<std::vector<uint8_t>> again = Written(copy);
  if (!again || *again != written) {
    std::fprintf(stderr, "own output of %zu bytes reads back but does not save the same: %s\n", written.size(),
                 again.Message().c_str());
    __builtin_trap();
  }
}

void ReadDumpWrite(const uint8_t* data, size_t size, bool skipPixelData) {
  CMemoryStream input(data, size);
  CDicomObject object;
  // A failed read keeps the elements read before the failure: they must be
  // as safe to dump and write as a complete file.
  (void)CDicomFileReader(input, {.skipPixelData = skipPixelData}).ReadFile(object);
  std::string text;
  (void)object.DumpText(text, 0);

  // A data set read without a transfer syntax (a bare one) is saved with
  // its meta information completed, as the editor and `rewrite` save it.
  if (!object.Elements().Sorted().empty() && !object.Contains(tags::kTransferSyntaxUid)) {
    for (auto& element : MissingMetaElements(object)) object.RestoreElement(std::move(element));
  }
  // The writer may refuse (an element without its value, such as skipped
  // pixel data); what it accepts must be a file we can read in full.
  const Result<std::vector<uint8_t>> output = Written(object);
  if (output) ReadBackOwnOutput(*output);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (const bool skipPixelData : {false, true}) ReadDumpWrite(data, size, skipPixelData);
  return 0;
}
