// The sample images, each kind the pixel view shows, drawn to look like
// something: 8-bit grey, a signed 12-bit CT with its window, MONOCHROME1,
// palette colour and RGB. The shipped samples (samples/*.dcm, made by
// samples/MakeSampleImages.cpp) and the pixel view's tests both use them.
#pragma once

#include "dicom/DicomObject.h"
#include "dicom/ValueRepresentation.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon::samples {

struct SampleImage {
  std::string name;  ///< file name in samples/
  std::unique_ptr<CDicomObject> object = std::make_unique<CDicomObject>();
};

namespace sample {

constexpr uint16_t kSize = 192;
constexpr double kLast = kSize - 1;

/// A value in [0, 1] for (x, y) in [0, 1]²: a disc with inner rings and a
/// soft gradient, frame `f` turning it a little.
inline double Phantom(double x, double y, int f) {
  const double dx = x - 0.5;
  const double dy = y - 0.5;
  const double r = std::sqrt(dx * dx + dy * dy);
  const double angle = std::atan2(dy, dx) + 0.3 * f;
  if (r > 0.45) return 0.08 * y;
  const double rings = 0.5 + 0.35 * std::cos(r * 40) * std::exp(-r * 3);
  const double spokes = 0.15 * std::cos(angle * 6);
  return std::clamp(rings + spokes * (1 - r * 2), 0.0, 1.0);
}

inline void Describe(CDicomObject& object, const std::string& photometric, uint16_t samples, uint16_t bits,
                     uint16_t stored, bool isSigned, int frames, const std::string& instance) {
  (void)object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.7", "1.3.6.1.4.1.58231.1.99." + instance,
                                     "1.2.840.10008.1.2.1", "1.3.6.1.4.1.58231.1", "QUILLON", "QUILLON");
  (void)object.AddString(0x00080008, vr::CS, "ORIGINAL\\PRIMARY");
  (void)object.AddString(0x00080060, vr::CS, "OT");
  // The patient, study and series every image file carries.
  (void)object.AddString(0x00080020, vr::DA, "20261206");
  (void)object.AddString(0x00080030, vr::TM, "120000");
  (void)object.AddString(0x00080050, vr::SH, "Q" + instance);
  (void)object.AddString(0x00080064, vr::CS, "WSD");
  (void)object.AddString(0x00080090, vr::PN, "");
  (void)object.AddString(0x00100010, vr::PN, "Sample^" + photometric);
  (void)object.AddString(0x00100020, vr::LO, "QUILLON-" + instance);
  (void)object.AddString(0x00100030, vr::DA, "");
  (void)object.AddString(0x00100040, vr::CS, "O");
  (void)object.AddString(0x0020000D, vr::UI, "1.3.6.1.4.1.58231.1.99.100");
  (void)object.AddString(0x0020000E, vr::UI, "1.3.6.1.4.1.58231.1.99.100." + instance);
  (void)object.AddString(0x00200010, vr::SH, "1");
  (void)object.AddString(0x00200011, vr::IS, instance);
  (void)object.AddString(0x00200013, vr::IS, "1");
  (void)object.AddString(0x00200020, vr::CS, "L\\F");
  (void)object.AddString(0x00200060, vr::CS, "");
  (void)object.AddUInt16(tags::kSamplesPerPixel, vr::US, samples);
  (void)object.AddString(tags::kPhotometricInterpretation, vr::CS, photometric);
  if (samples == 3) (void)object.AddUInt16(tags::kPlanarConfiguration, vr::US, 0);
  (void)object.AddString(tags::kNumberOfFrames, vr::IS, std::to_string(frames));
  (void)object.AddUInt16(tags::kRows, vr::US, kSize);
  (void)object.AddUInt16(tags::kColumns, vr::US, kSize);
  (void)object.AddUInt16(tags::kBitsAllocated, vr::US, bits);
  (void)object.AddUInt16(tags::kBitsStored, vr::US, stored);
  (void)object.AddUInt16(tags::kHighBit, vr::US, static_cast<uint16_t>(stored - 1));
  (void)object.AddUInt16(tags::kPixelRepresentation, vr::US, isSigned ? 1 : 0);
}

inline void AddPixels(CDicomObject& object, DicomVR vr, const std::vector<uint8_t>& bytes) {
  (void)object.AddValue(tags::kPixelData, vr, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

}  // namespace sample

/// 8-bit MONOCHROME2, two frames.
inline SampleImage MakeGrey8Sample() {
  SampleImage image{"grey8.dcm"};
  sample::Describe(*image.object, "MONOCHROME2", 1, 8, 8, false, 2, "1");
  std::vector<uint8_t> bytes;
  for (int f = 0; f < 2; ++f) {
    for (int y = 0; y < sample::kSize; ++y) {
      for (int x = 0; x < sample::kSize; ++x) {
        bytes.push_back(static_cast<uint8_t>(255 * sample::Phantom(x / sample::kLast, y / sample::kLast, f)));
      }
    }
  }
  sample::AddPixels(*image.object, vr::OB, bytes);
  return image;
}

/// A CT slice: signed 16-bit samples of 12 bits in Hounsfield units (air
/// -1000, lungs -800, soft tissue 40, bone 1000), with a soft-tissue window
/// in the file, two slices. The top four bits of each sample carry noise
/// a reader must ignore.
inline SampleImage MakeCtSample() {
  SampleImage image{"ct16.dcm"};
  sample::Describe(*image.object, "MONOCHROME2", 1, 16, 12, true, 2, "2");
  (void)image.object->AddString(0x00281050, vr::DS, "40");
  (void)image.object->AddString(0x00281051, vr::DS, "400");
  (void)image.object->AddString(0x00281052, vr::DS, "0");
  (void)image.object->AddString(0x00281053, vr::DS, "1");
  (void)image.object->AddString(0x00281054, vr::LO, "HU");
  std::vector<uint8_t> bytes;
  for (int f = 0; f < 2; ++f) {
    for (int y = 0; y < sample::kSize; ++y) {
      for (int x = 0; x < sample::kSize; ++x) {
        const double dx = (x - sample::kSize / 2.0) / (sample::kSize * 0.43);
        const double dy = (y - sample::kSize / 2.0) / (sample::kSize * 0.35);
        const double r = dx * dx + dy * dy;
        double hu = -1000;
        if (r < 1) hu = 40 + 20 * std::sin(x / 6.0 + f) * std::cos(y / 9.0);
        if (r < 1 && r > 0.85) hu = 1000;
        for (const double side : {-0.45, 0.45}) {
          const double lx = (dx - side) / 0.3;
          const double ly = (dy + 0.05 * f) / 0.55;
          if (lx * lx + ly * ly < 1) hu = -800 + 60 * std::cos(x / 3.0) * std::sin(y / 4.0);
        }
        const auto value = static_cast<int16_t>(std::lround(hu));
        const auto raw = static_cast<uint16_t>((static_cast<uint16_t>(value) & 0x0FFF) | ((x * 7 + y) % 16) << 12);
        bytes.push_back(static_cast<uint8_t>(raw));
        bytes.push_back(static_cast<uint8_t>(raw >> 8));
      }
    }
  }
  sample::AddPixels(*image.object, vr::OW, bytes);
  return image;
}

/// 8-bit MONOCHROME1: high values are dark.
inline SampleImage MakeMonochrome1Sample() {
  SampleImage image{"mono1.dcm"};
  sample::Describe(*image.object, "MONOCHROME1", 1, 8, 8, false, 1, "3");
  std::vector<uint8_t> bytes;
  for (int y = 0; y < sample::kSize; ++y) {
    for (int x = 0; x < sample::kSize; ++x) {
      bytes.push_back(static_cast<uint8_t>(255 * sample::Phantom(y / sample::kLast, x / sample::kLast, 1)));
    }
  }
  sample::AddPixels(*image.object, vr::OB, bytes);
  return image;
}

/// 8-bit PALETTE COLOR with a 256-entry, 16-bit lookup table (a heat scale).
inline SampleImage MakePaletteSample() {
  SampleImage image{"palette.dcm"};
  sample::Describe(*image.object, "PALETTE COLOR", 1, 8, 8, false, 1, "4");
  const uint16_t descriptor[3] = {256, 0, 16};
  std::vector<uint8_t> descriptorBytes;
  for (const uint16_t v : descriptor) {
    descriptorBytes.push_back(static_cast<uint8_t>(v));
    descriptorBytes.push_back(static_cast<uint8_t>(v >> 8));
  }
  for (int channel = 0; channel < 3; ++channel) {
    (void)image.object->AddValue(static_cast<DicomTag>(0x00281101 + channel), vr::US, descriptorBytes.data(), 6);
    std::vector<uint8_t> table;
    for (int i = 0; i < 256; ++i) {
      const double t = i / sample::kLast;
      const double level = channel == 0 ? std::min(1.0, t * 3) : channel == 1 ? std::clamp(t * 3 - 1, 0.0, 1.0)
                                                                              : std::clamp(t * 3 - 2, 0.0, 1.0);
      const auto v = static_cast<uint16_t>(std::lround(level * 65535));
      table.push_back(static_cast<uint8_t>(v));
      table.push_back(static_cast<uint8_t>(v >> 8));
    }
    (void)image.object->AddValue(static_cast<DicomTag>(0x00281201 + channel), vr::OW, table.data(),
                                static_cast<uint32_t>(table.size()));
  }
  std::vector<uint8_t> bytes;
  for (int y = 0; y < sample::kSize; ++y) {
    for (int x = 0; x < sample::kSize; ++x) {
      bytes.push_back(static_cast<uint8_t>(255 * sample::Phantom(x / sample::kLast, y / sample::kLast, 2)));
    }
  }
  sample::AddPixels(*image.object, vr::OB, bytes);
  return image;
}

/// 8-bit RGB by pixel, two frames.
inline SampleImage MakeRgbSample() {
  SampleImage image{"rgb.dcm"};
  sample::Describe(*image.object, "RGB", 3, 8, 8, false, 2, "5");
  std::vector<uint8_t> bytes;
  for (int f = 0; f < 2; ++f) {
    for (int y = 0; y < sample::kSize; ++y) {
      for (int x = 0; x < sample::kSize; ++x) {
        const double v = sample::Phantom(x / sample::kLast, y / sample::kLast, f);
        bytes.push_back(static_cast<uint8_t>(255 * std::clamp(v * 1.2, 0.0, 1.0)));
        bytes.push_back(static_cast<uint8_t>(255 * (0.3 + 0.7 * y / sample::kLast) * v));
        bytes.push_back(static_cast<uint8_t>(255 * (1 - v) * x / sample::kLast));
      }
    }
  }
  sample::AddPixels(*image.object, vr::OB, bytes);
  return image;
}

inline std::vector<SampleImage> MakeSampleImages() {
  std::vector<SampleImage> images;
  images.push_back(MakeGrey8Sample());
  images.push_back(MakeCtSample());
  images.push_back(MakeMonochrome1Sample());
  images.push_back(MakePaletteSample());
  images.push_back(MakeRgbSample());
  return images;
}

}  // namespace quillon::samples
