// Small uncompressed image files made with our own writer, for the pixel
// tests: any size, samples, bit depth, frame count and encoding, with a
// deterministic, natural-looking pattern (smooth gradients and some texture,
// so lossy coding behaves as on real images).
#pragma once

#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "dicom/ValueRepresentation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon::test {

struct ImageRecipe {
  uint16_t columns = 16;
  uint16_t rows = 8;
  uint16_t samples = 1;
  uint16_t bitsAllocated = 8;
  uint16_t bitsStored = 8;
  int frames = 1;
  std::string photometric = "MONOCHROME2";
  std::string transferSyntax = "1.2.840.10008.1.2.1";
  bool writeNumberOfFrames = true;
  std::string imageType = "ORIGINAL\\PRIMARY";
};

/// The stored sample values of every frame, in file order, colour by pixel.
inline std::vector<uint8_t> MakePixelBytes(const ImageRecipe& recipe) {
  std::vector<uint8_t> bytes;
  for (int f = 0; f < recipe.frames; ++f) {
    for (uint64_t i = 0; i < uint64_t{recipe.columns} * recipe.rows * recipe.samples; ++i) {
      const uint64_t pixel = i / recipe.samples;
      const auto sample = static_cast<uint32_t>(i % recipe.samples);
      const double x = static_cast<double>(pixel % recipe.columns);
      const double y = static_cast<double>(pixel / recipe.columns);
      const double value = 128 + 60 * std::sin((x + 3 * f) / 7.0 + sample) + 40 * std::cos((y + 2 * sample) / 5.0) +
                           static_cast<double>((pixel * 37 + sample * 11) % 9);
      const auto v = static_cast<uint32_t>(std::clamp(value, 0.0, 255.0));
      const uint32_t wide = (v << 4) | (pixel % 16);
      if (recipe.bitsAllocated == 16) bytes.push_back(static_cast<uint8_t>(wide));
      bytes.push_back(static_cast<uint8_t>(recipe.bitsAllocated == 16 ? wide >> 8 : v));
    }
  }
  return bytes;
}

inline void FillImageObject(CDicomObject& object, const ImageRecipe& recipe, const std::vector<uint8_t>& pixels) {
  (void)object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.7", "1.2.826.0.1.3680043.2.1125.7.0",
                                     recipe.transferSyntax, "1.3.6.1.4.1.58231.1", "QUILLON", "QUILLON");
  (void)object.AddString(0x00080008, vr::CS, recipe.imageType);
  (void)object.AddString(0x00080060, vr::CS, "OT");
  (void)object.AddString(0x00100010, vr::PN, "Test^Image");
  (void)object.AddString(0x00200013, vr::IS, "1");
  (void)object.AddUInt16(0x00280002, vr::US, recipe.samples);
  (void)object.AddString(0x00280004, vr::CS, recipe.photometric);
  if (recipe.samples == 3) (void)object.AddUInt16(0x00280006, vr::US, 0);
  if (recipe.writeNumberOfFrames) (void)object.AddString(0x00280008, vr::IS, std::to_string(recipe.frames));
  (void)object.AddUInt16(0x00280010, vr::US, recipe.rows);
  (void)object.AddUInt16(0x00280011, vr::US, recipe.columns);
  (void)object.AddUInt16(0x00280100, vr::US, recipe.bitsAllocated);
  (void)object.AddUInt16(0x00280101, vr::US, recipe.bitsStored);
  (void)object.AddUInt16(0x00280102, vr::US, static_cast<uint16_t>(recipe.bitsStored - 1));
  (void)object.AddUInt16(0x00280103, vr::US, 0);
  (void)object.AddValue(0x7FE00010, recipe.bitsAllocated == 16 ? vr::OW : vr::OB, pixels.data(),
                        static_cast<uint32_t>(pixels.size()));
}

/// Writes the image file; returns its stored sample bytes.
inline std::vector<uint8_t> MakeImageFile(const std::string& path, const ImageRecipe& recipe) {
  const std::vector<uint8_t> pixels = MakePixelBytes(recipe);
  CDicomObject object;
  FillImageObject(object, recipe, pixels);
  if (!SaveDicomFile(object, path)) return {};
  return pixels;
}

}  // namespace quillon::test
