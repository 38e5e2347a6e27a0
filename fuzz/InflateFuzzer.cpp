/// \file
/// libFuzzer entry point for deflated data sets. The input is taken as the
/// compressed bytes after the file meta information: it is inflated on its
/// own (within a bound of 1 MiB, which the reader must keep to however
/// well the input compresses), and whatever inflates must deflate and
/// inflate back to the same bytes; then the same bytes are read as the
/// data set of a file under the deflated transfer syntax, and what reads
/// is written again and must read back.
#include "base/DeflateStream.h"
#include "base/Inflate.h"
#include "base/MemoryStream.h"
#include "dicom/DicomFileReader.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace quillon;

constexpr uint64_t kMaxInflated = uint64_t{1} << 20;

void CheckRoundTrip(const std::vector<uint8_t>& plain) {
  CMemoryStream compressed;
  CDeflateStream deflate(compressed);
  deflate.Write(plain.data(), plain.size());
  if (!deflate.Close()) std::abort();
  compressed.Seek(0, CStream::SeekOrigin::Begin);
  std::vector<uint8_t> again;
  if (!InflateRaw(compressed, kMaxInflated, again) || again != plain) std::abort();
}

/// Preamble, "DICM" and a meta group naming the deflated syntax.
std::vector<uint8_t> DeflatedFileHeader() {
  const std::string syntax = "1.2.840.10008.1.2.1.99";  // even length: no pad
  std::vector<uint8_t> file(128, 0);
  for (const char c : std::string("DICM")) file.push_back(static_cast<uint8_t>(c));
  const uint8_t header[8] = {0x02, 0x00, 0x10, 0x00, 'U', 'I', static_cast<uint8_t>(syntax.size()), 0x00};
  file.insert(file.end(), header, header + sizeof header);
  file.insert(file.end(), syntax.begin(), syntax.end());
  return file;
}

void ReadAsFile(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file = DeflatedFileHeader();
  file.insert(file.end(), data, data + size);
  CMemoryStream input(std::move(file));
  CDicomObject object;
  ReadOptions options;
  options.maxInflatedSize = kMaxInflated;
  if (!CDicomFileReader(input, options).ReadFile(object)) return;
  CMemoryStream output;
  if (!CDicomFileWriter(output).WriteFile(object)) return;  // the writer may refuse what it cannot write back
  output.Seek(0, CStream::SeekOrigin::Begin);
  CDicomObject again;
  if (!CDicomFileReader(output, options).ReadFile(again)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CMemoryStream input(data, size);
  std::vector<uint8_t> plain;
  if (InflateRaw(input, kMaxInflated, plain)) {
    if (plain.size() > kMaxInflated) std::abort();
    CheckRoundTrip(plain);
  }
  ReadAsFile(data, size);
  return 0;
}
