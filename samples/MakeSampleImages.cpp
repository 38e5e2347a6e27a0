/// \file
/// Writes the sample images the editor opens on first run and the pixel
/// view's screenshots show, into the folder given: 8-bit grey, a signed CT
/// with its window, MONOCHROME1, palette colour, and RGB (stored RLE
/// compressed, so the sample set also shows a compressed file).
#include "dicom/DicomFileWriter.h"
#include "pixel/PixelDataConverter.h"
#include "samples/SampleImages.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
  using namespace quillon;
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-sample-images FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  for (samples::SampleImage& image : samples::MakeSampleImages()) {
    const std::string path = (folder / image.name).string();
    if (const Status saved = SaveDicomFile(*image.object, path); !saved) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), saved.Message().c_str());
      return 1;
    }
    if (image.name == "rgb.dcm") {
      const std::string compressed = (folder / "rgb-rle.dcm").string();
      if (ConvertPixelDataFile(ConversionOptions{}, path, compressed, ConversionMode::Rle, false) !=
          DCT_STATUS::Success) {
        std::fprintf(stderr, "%s: the RLE copy failed\n", compressed.c_str());
        return 1;
      }
      std::filesystem::remove(path);
    }
  }
  return 0;
}
