/// \file
/// DCMTK as the reference for our JPEG decoders: images made into DICOM
/// files with dump2dcm, compressed with dcmcjpeg (or JPEG streams wrapped
/// with img2dcm), decoded with dcmdjpeg, and the fragments and decoded
/// samples taken out of the files with dcmdump +W. No Quillon code touches
/// the files, so the reference owes nothing to us.
#pragma once

#include "base/Result.h"
#include "jpeg/JpegSampleBuffer.h"
#include "jpeg/JpegTestStreams.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace quillon::test {

inline bool HaveDcmtk() { return HaveTool("dcmcjpeg") && HaveTool("dcmdjpeg") && HaveTool("img2dcm"); }

inline void RunPeer(const std::string& command) {
  const CommandResult result = RunShell(command);
  ASSERT_EQ(result.exitCode, 0) << command << ": " << result.err;
}

inline Bytes ReadFile(const std::string& path) {
  const std::string text = ReadBytes(path);
  return Bytes(text.begin(), text.end());
}

/// `image` as an uncompressed DICOM file `dir`/NAME.dcm (8 or 16 bits
/// allocated, colour by pixel).
inline std::string WriteSource(const TempDir& dir, const std::string& name, const TestImage& image) {
  const bool wide = image.bits > 8;
  std::string raw;
  for (const uint16_t sample : image.samples) {
    raw.push_back(static_cast<char>(sample & 0xFF));
    if (wide) raw.push_back(static_cast<char>(sample >> 8));
  }
  WriteText(dir / (name + ".raw"), raw);
  const std::string allocated = wide ? "16" : "8";
  WriteText(dir / (name + ".txt"),
            "(0008,0016) UI =SecondaryCaptureImageStorage\n(0008,0018) UI [1.2.3.4]\n"
            "(0028,0002) US " + std::to_string(image.components) +
                "\n(0028,0004) CS [" + (image.components == 3 ? "RGB" : "MONOCHROME2") +
                "]\n(0028,0006) US 0\n(0028,0010) US " + std::to_string(image.height) +
                "\n(0028,0011) US " + std::to_string(image.width) + "\n(0028,0100) US " + allocated +
                "\n(0028,0101) US " + std::to_string(image.bits) + "\n(0028,0102) US " +
                std::to_string(image.bits - 1) + "\n(0028,0103) US 0\n(7fe0,0010) " + (wide ? "OW" : "OB") +
                " =" + dir / (name + ".raw") + "\n");
  const std::string path = dir / (name + ".dcm");
  RunPeer("dump2dcm -q " + dir / (name + ".txt") + " " + path);
  return path;
}

/// The first frame's fragment of an encapsulated file.
inline Bytes FirstFragment(const TempDir& dir, const std::string& path) {
  const std::string out = dir / "fragments";
  RunPeer("rm -rf " + out + " && mkdir " + out + " && dcmdump -q +W " + out + " " + path + " >/dev/null");
  return ReadFile(out + "/" + std::filesystem::path(path).filename().string() + ".1.raw");
}

/// What dcmdjpeg decodes `path` to, colour by pixel without colour
/// conversion: `count` samples of 8 or 16 bits, as the file's size says.
inline std::vector<uint16_t> DcmtkSamples(const TempDir& dir, const std::string& path, size_t count) {
  const std::string decoded = dir / "decoded.dcm", out = dir / "decoded";
  RunPeer("dcmdjpeg +cn +px " + path + " " + decoded);
  RunPeer("rm -rf " + out + " && mkdir " + out + " && dcmdump -q +W " + out + " " + decoded + " >/dev/null");
  const Bytes raw = ReadFile(out + "/decoded.dcm.0.raw");
  std::vector<uint16_t> samples;
  const bool wide = raw.size() >= 2 * count;
  for (size_t i = 0; i < count && i * (wide ? 2 : 1) + (wide ? 1 : 0) < raw.size(); ++i) {
    samples.push_back(wide ? static_cast<uint16_t>(raw[2 * i] | raw[2 * i + 1] << 8) : raw[i]);
  }
  return samples;
}

/// A JPEG stream wrapped into a DICOM file by img2dcm.
inline std::string WrapJpeg(const TempDir& dir, const std::string& name, const Bytes& jpeg) {
  WriteText(dir / (name + ".jpg"), std::string(jpeg.begin(), jpeg.end()));
  const std::string path = dir / (name + ".dcm");
  RunPeer("img2dcm -q -i JPEG " + dir / (name + ".jpg") + " " + path);
  return path;
}

/// `jpeg` decoded by `Decoder` into a buffer of exactly the image's size
/// (so ASan sees a write past it), 16-bit or 8-bit samples.
template <typename Decoder, typename Sample = uint16_t>
Result<std::vector<uint16_t>> Decode(const Bytes& jpeg, JpegSampleLayout layout = JpegSampleLayout::Interleaved) {
  auto header = Decoder::ReadHeader(jpeg.data(), jpeg.size());
  if (!header) return header.GetError();
  const size_t count = header->SampleCount();
  std::unique_ptr<Sample[]> samples(new Sample[count]);
  JpegSampleBuffer buffer{.capacity = count, .layout = layout};
  if constexpr (sizeof(Sample) == 1) {
    buffer.bytes = samples.get();
  } else {
    buffer.words = samples.get();
  }
  if (Status done = Decoder::Decode(jpeg.data(), jpeg.size(), buffer); !done) return done.GetError();
  return std::vector<uint16_t>(samples.get(), samples.get() + count);
}

/// Interleaved samples of `components` rearranged plane by plane.
inline std::vector<uint16_t> Planar(const std::vector<uint16_t>& interleaved, uint32_t components) {
  std::vector<uint16_t> planar(interleaved.size());
  const size_t pixels = interleaved.size() / components;
  for (size_t i = 0; i < interleaved.size(); ++i) planar[i % components * pixels + i / components] = interleaved[i];
  return planar;
}

/// Checks that `jpeg` decodes to `expected` in both layouts, and with 8-bit
/// samples when they fit.
template <typename Decoder>
void ExpectDecodes(const Bytes& jpeg, const std::vector<uint16_t>& expected, uint32_t components, uint32_t bits) {
  auto interleaved = Decode<Decoder>(jpeg);
  ASSERT_TRUE(interleaved) << interleaved.Message();
  EXPECT_EQ(*interleaved, expected);
  auto planar = Decode<Decoder>(jpeg, JpegSampleLayout::Planar);
  ASSERT_TRUE(planar) << planar.Message();
  EXPECT_EQ(*planar, Planar(expected, components));
  if (bits <= 8) {
    auto bytes = Decode<Decoder, uint8_t>(jpeg);
    ASSERT_TRUE(bytes) << bytes.Message();
    EXPECT_EQ(*bytes, expected);
  }
}

}  // namespace quillon::test
