// One-frame-per-fragment encapsulated DICOM files written byte by byte,
// for the peers (dcmdjpls, gdcmconv) to decode what our encoders make. No
// Quillon writer is involved, so a fault in ours cannot hide one in the
// encoders.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace quillon::test {

struct EncapsulatedImage {
  std::string transferSyntax;
  std::string photometric;
  uint32_t columns = 0, rows = 0, samplesPerPixel = 1, bitsAllocated = 8, bitsStored = 8;
  bool signedSamples = false;
  std::vector<std::vector<uint8_t>> frames;  ///< one encoded frame each
};

namespace detail {

inline void PutU16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void PutU32(std::string& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}
/// An explicit VR little endian element with a short length; text values
/// padded to even length (UI with a zero, others with a space).
inline void PutText(std::string& out, uint32_t tag, const char* vr, std::string value) {
  if (value.size() % 2 != 0) value.push_back(std::string(vr) == "UI" ? '\0' : ' ');
  PutU16(out, tag >> 16);
  PutU16(out, tag & 0xFFFF);
  out.append(vr, 2);
  PutU16(out, static_cast<uint32_t>(value.size()));
  out += value;
}
inline void PutUs(std::string& out, uint32_t tag, uint32_t value) {
  std::string v;
  PutU16(v, value);
  PutText(out, tag, "US", v);
}

}  // namespace detail

/// `image` as a Part 10 file: the meta group, the image attributes and
/// the frames as fragments after an empty Basic Offset Table.
inline void WriteEncapsulatedFile(const std::string& path, const EncapsulatedImage& image) {
  using namespace detail;
  const std::string sopClass = "1.2.840.10008.5.1.4.1.1.7", sopInstance = "1.2.826.0.1.3680043.2.1125.1";
  std::string meta;
  PutU16(meta, 0x0002);
  PutU16(meta, 0x0001);
  meta += "OB";
  PutU16(meta, 0);
  PutU32(meta, 2);
  meta.append("\0\1", 2);
  PutText(meta, 0x00020002, "UI", sopClass);
  PutText(meta, 0x00020003, "UI", sopInstance);
  PutText(meta, 0x00020010, "UI", image.transferSyntax);
  PutText(meta, 0x00020012, "UI", "1.2.826.0.1.3680043.2.1125.2");
  std::string out(128, '\0');
  out += "DICM";
  std::string length;
  PutU32(length, static_cast<uint32_t>(meta.size()));
  PutText(out, 0x00020000, "UL", length);
  out += meta;
  PutText(out, 0x00080016, "UI", sopClass);
  PutText(out, 0x00080018, "UI", sopInstance);
  PutUs(out, 0x00280002, image.samplesPerPixel);
  PutText(out, 0x00280004, "CS", image.photometric);
  if (image.samplesPerPixel > 1) PutUs(out, 0x00280006, 0);
  PutText(out, 0x00280008, "IS", std::to_string(image.frames.size()));
  PutUs(out, 0x00280010, image.rows);
  PutUs(out, 0x00280011, image.columns);
  PutUs(out, 0x00280100, image.bitsAllocated);
  PutUs(out, 0x00280101, image.bitsStored);
  PutUs(out, 0x00280102, image.bitsStored - 1);
  PutUs(out, 0x00280103, image.signedSamples ? 1 : 0);
  PutU16(out, 0x7FE0);
  PutU16(out, 0x0010);
  out += "OB";
  PutU16(out, 0);
  PutU32(out, 0xFFFFFFFF);
  const auto item = [&out](uint32_t tag, uint32_t size) {
    PutU16(out, 0xFFFE);
    PutU16(out, tag);
    PutU32(out, size);
  };
  item(0xE000, 0);
  for (const std::vector<uint8_t>& frame : image.frames) {
    item(0xE000, static_cast<uint32_t>((frame.size() + 1) / 2 * 2));
    out.append(frame.begin(), frame.end());
    if (frame.size() % 2 != 0) out.push_back('\0');
  }
  item(0xE0DD, 0);
  std::ofstream(path, std::ios::binary) << out;
}

}  // namespace quillon::test
