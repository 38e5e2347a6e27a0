// Native frames of every depth the encoders take, for their round trips:
// smooth areas, runs, noise and the extremes of the sample range, so both
// PackBits run kinds and every Huffman category size occur.
#pragma once

#include "dicom/DicomObject.h"
#include "dicom/ValueRepresentation.h"
#include "pixel/NativeFrameFormat.h"
#include "support/ImageFixtures.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::test {

struct DepthCase {
  const char* name;
  uint32_t bitsAllocated;
  uint32_t bitsStored;
  bool signedSamples;
};

inline const std::vector<DepthCase> kDepthCases = {
    {"8", 8, 8, false},         {"12 in 16", 16, 12, false}, {"12 in 16 signed", 16, 12, true},
    {"16 signed", 16, 16, true}, {"16", 16, 16, false},       {"32", 32, 32, false},
};

/// One native frame of `format`, little endian, colour by pixel; signed
/// samples sign-extended to Bits Allocated as files store them.
inline std::vector<uint8_t> MakeNativeFrame(const NativeFrameFormat& format, uint32_t seed) {
  std::vector<uint8_t> bytes;
  const uint32_t bytesPerSample = format.BytesPerSample();
  const uint64_t range = format.bitsStored >= 32 ? 0x100000000ull : uint64_t{1} << format.bitsStored;
  uint32_t state = seed * 2654435761u + 1;
  for (uint64_t i = 0; i < format.SampleCount(); ++i) {
    state = state * 1664525u + 1013904223u;
    const uint64_t pixel = i / format.samplesPerPixel;
    const uint64_t x = pixel % format.columns;
    const uint64_t y = pixel / format.columns;
    uint64_t value = 0;
    if (y % 4 == 1) {
      value = x < format.columns / 2 ? 0 : range - 1;  // runs, at both extremes
    } else if (y % 4 == 2) {
      value = state % range;  // noise over the whole range
    } else {
      value = (x * range / (format.columns + 1) + y * 3 + state % 5) % range;  // a gradient with grain
    }
    uint64_t stored = value;
    if (format.signedSamples && format.bitsStored < 32 && (value & (range >> 1)) != 0) {
      stored = value | ~(range - 1);  // sign extension
    }
    for (uint32_t b = 0; b < bytesPerSample; ++b) bytes.push_back(static_cast<uint8_t>(stored >> (8 * b)));
  }
  return bytes;
}

/// `native` with every sample cut to its Bits Stored bits: what lossless
/// JPEG keeps of a signed sample below its sign extension.
inline std::vector<uint8_t> MaskedToBitsStored(const NativeFrameFormat& format, std::vector<uint8_t> native) {
  const uint32_t bytes = format.BytesPerSample();
  for (size_t i = 0; i + bytes <= native.size(); i += bytes) {
    uint64_t value = 0;
    for (uint32_t b = 0; b < bytes; ++b) value |= uint64_t{native[i + b]} << (8 * b);
    if (format.bitsStored < 64) value &= (uint64_t{1} << format.bitsStored) - 1;
    for (uint32_t b = 0; b < bytes; ++b) native[i + b] = static_cast<uint8_t>(value >> (8 * b));
  }
  return native;
}

/// Writes `frames` frames of `format` as an uncompressed file at `path`;
/// returns their bytes, one frame after the other.
inline std::vector<uint8_t> MakeNativeImageFile(const std::string& path, const NativeFrameFormat& format, int frames) {
  std::vector<uint8_t> pixels;
  for (int f = 0; f < frames; ++f) {
    const std::vector<uint8_t> frame = MakeNativeFrame(format, static_cast<uint32_t>(f) + 1);
    pixels.insert(pixels.end(), frame.begin(), frame.end());
  }
  const ImageRecipe recipe{.columns = static_cast<uint16_t>(format.columns),
                           .rows = static_cast<uint16_t>(format.rows),
                           .samples = static_cast<uint16_t>(format.samplesPerPixel),
                           .bitsAllocated = static_cast<uint16_t>(format.bitsAllocated),
                           .bitsStored = static_cast<uint16_t>(format.bitsStored),
                           .frames = frames,
                           .photometric = format.photometric};
  CDicomObject object;
  FillImageObject(object, recipe, pixels);
  (void)object.AddUInt16(0x00280103, vr::US, format.signedSamples ? 1 : 0);
  (void)object.AddValue(0x7FE00010, format.bitsAllocated == 8 ? vr::OB : vr::OW, pixels.data(),
                        static_cast<uint32_t>(pixels.size()));
  if (!SaveDicomFile(object, path)) return {};
  return pixels;
}

}  // namespace quillon::test
