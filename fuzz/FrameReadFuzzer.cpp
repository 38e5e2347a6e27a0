/// \file
/// libFuzzer entry point for frame access on arbitrary files: the bytes are
/// read as a file, then every frame the header announces (up to a few) is
/// read through the image layer and its codec, native, RLE or JPEG. Image
/// attributes and pixel data come from the input, so sizes, frame counts,
/// palettes and fragments are all untrusted. Frames are read both from an
/// image's own copy of the data set and straight from the data set (the
/// pixel view's way, OpenDocument), and their stored bytes as a conversion
/// reads them, into one buffer reused from frame to frame.
#include "dicom/DicomObject.h"
#include "base/MemoryStream.h"
#include "dicom/DicomFileReader.h"
#include "pixel/PixelImage.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quillon::CMemoryStream stream(data, size);
  quillon::CDicomObject object;
  if (!quillon::CDicomFileReader(stream).ReadFile(object)) return 0;
  for (const bool shared : {false, true}) {
    quillon::CPixelImage image;
    const bool opened = shared ? image.OpenDocument(object) : image.OpenObject(object);
    if (!opened || image.FrameSize() == 0 || image.FrameSize() > (uint64_t{1} << 26)) continue;
    auto bitmap = std::make_unique_for_overwrite<uint8_t[]>(image.FrameSize());
    const int32_t frames = image.NumberOfFrames() < 4 ? image.NumberOfFrames() : 4;
    for (int32_t f = 0; f < frames; ++f) {
      uint64_t length = 0;
      (void)image.ReadFrame(f, bitmap.get(), image.FrameSize(), length);
    }
    std::vector<uint8_t> encoded;
    for (int32_t f = frames - 1; f >= 0; --f) (void)image.ReadEncodedFrame(f, encoded);
  }
  return 0;
}
