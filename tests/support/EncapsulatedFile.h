// Encapsulated DICOM files written byte by byte, one fragment per frame,
// for the peers to decode what our encoders make: no Quillon writer is
// involved, so a fault in ours cannot hide one in the encoders.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace quillon::test {

struct EncapsulatedImage {
  std::string transferSyntax, photometric;
  uint32_t columns = 0, rows = 0, samplesPerPixel = 1, bitsAllocated = 8, bitsStored = 8;
  bool signedSamples = false;
  std::vector<std::vector<uint8_t>> frames;
};

/// Sample `i` of a native frame as a reader takes it: its Bits Stored
/// bits, sign-extended when signed.
inline int32_t SampleValue(const uint8_t* frame, uint32_t bitsAllocated, uint32_t bitsStored, bool isSigned,
                           uint64_t i) {
  uint32_t raw = bitsAllocated == 16 ? uint32_t{frame[2 * i]} | uint32_t{frame[2 * i + 1]} << 8 : frame[i];
  raw &= (1u << bitsStored) - 1;
  const uint32_t sign = isSigned ? 1u << (bitsStored - 1) : 0;
  return static_cast<int32_t>(raw ^ sign) - static_cast<int32_t>(sign);
}

/// `image` as a DICOM file (PS3.10): meta group, image attributes, and the frames
/// after an empty Basic Offset Table.
inline void WriteEncapsulatedFile(const std::string& path, const EncapsulatedImage& image) {
  const auto le = [](uint32_t v, int bytes) {
    std::string s;
    for (int b = 0; b < bytes; ++b) s.push_back(static_cast<char>(v >> (8 * b)));
    return s;
  };
  // An explicit VR element with a short length, its value padded to even.
  const auto element = [&le](uint32_t tag, const std::string& vr, std::string value) {
    if (value.size() % 2 != 0) value.push_back(vr == "UI" ? '\0' : ' ');
    return le(tag >> 16, 2) + le(tag & 0xFFFF, 2) + vr + le(static_cast<uint32_t>(value.size()), 2) + value;
  };
  const auto us = [&](uint32_t tag, uint32_t v) { return element(tag, "US", le(v, 2)); };
  const std::string sopClass = "1.2.840.10008.5.1.4.1.1.7", sopInstance = "1.2.826.0.1.3680043.2.1125.1";
  const std::string meta = le(0x0002, 2) + le(0x0001, 2) + "OB" + le(0, 2) + le(2, 4) + std::string("\0\1", 2) +
                           element(0x00020002, "UI", sopClass) + element(0x00020003, "UI", sopInstance) +
                           element(0x00020010, "UI", image.transferSyntax) +
                           element(0x00020012, "UI", "1.2.826.0.1.3680043.2.1125.2");
  std::string out = std::string(128, '\0') + "DICM" + element(0x00020000, "UL", le(uint32_t(meta.size()), 4)) + meta +
                    element(0x00080016, "UI", sopClass) + element(0x00080018, "UI", sopInstance) +
                    us(0x00280002, image.samplesPerPixel) + element(0x00280004, "CS", image.photometric) +
                    (image.samplesPerPixel > 1 ? us(0x00280006, 0) : "") +
                    element(0x00280008, "IS", std::to_string(image.frames.size())) + us(0x00280010, image.rows) +
                    us(0x00280011, image.columns) + us(0x00280100, image.bitsAllocated) +
                    us(0x00280101, image.bitsStored) + us(0x00280102, image.bitsStored - 1) +
                    us(0x00280103, image.signedSamples ? 1 : 0) + le(0x7FE0, 2) + le(0x0010, 2) + "OB" + le(0, 2) +
                    le(0xFFFFFFFF, 4) + le(0xFFFE, 2) + le(0xE000, 2) + le(0, 4);
  for (const std::vector<uint8_t>& frame : image.frames) {
    out += le(0xFFFE, 2) + le(0xE000, 2) + le(static_cast<uint32_t>((frame.size() + 1) / 2 * 2), 4);
    out.append(frame.begin(), frame.end());
    if (frame.size() % 2 != 0) out.push_back('\0');
  }
  out += le(0xFFFE, 2) + le(0xE0DD, 2) + le(0, 4);
  std::ofstream(path, std::ios::binary) << out;
}

}  // namespace quillon::test
