/// \file
/// jpeg-decode-bench — the two halves of bench/run_jpeg_lossless_bench.sh:
///
///   jpeg-decode-bench make-ct FRAMES OUT.raw
///       writes FRAMES synthetic 512x512 CT slices as 16-bit little-endian
///       samples (0 … 4095), for dump2dcm to wrap and dcmcjpeg to compress;
///   jpeg-decode-bench decode IN.dcm OUT.raw [--timing]
///       decodes every frame of a JPEG lossless or extended file with our
///       decoders (jpeg/) and writes the samples as dcmdjpeg stores them
///       (16-bit little endian), so the two outputs compare byte for byte.
///       --timing prints the time of the decoding alone.
///
/// The slices look like CT to a lossless coder: air around a body of soft
/// tissue with organs, bone and noise of a dozen units, moving from slice
/// to slice. Flat or random images would make the decoder look faster or
/// slower than it is on real scans.
#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomFile.h"
#include "jpeg/ExtendedJpegDecoder.h"
#include "jpeg/LosslessJpegDecoder.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace quillon;

constexpr int kSide = 512;

/// Small deterministic noise, roughly normal (sum of uniforms).
class CNoise {
 public:
  double Next() {
    double sum = 0;
    for (int i = 0; i < 4; ++i) {
      m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
      sum += static_cast<double>(m_state >> 40) / static_cast<double>(1ull << 24);
    }
    return (sum - 2.0) * 1.73;  // about unit variance
  }

 private:
  uint64_t m_state = 88172645463325252ull;
};

int MakeCt(int frames, const char* path) {
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) {
    std::perror(path);
    return 1;
  }
  CNoise noise;
  std::vector<uint16_t> slice(size_t{kSide} * kSide);
  for (int f = 0; f < frames; ++f) {
    const double z = f / static_cast<double>(frames);
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        const double u = (x - kSide / 2) / (kSide * 0.42);
        const double v = (y - kSide / 2) / (kSide * 0.32);
        const double body = u * u + v * v;
        double value = 24;  // air, -1000 HU with the usual 1024 offset
        if (body < 1.0) {
          value = 1064 + 6 * std::sin(9 * u + 4 * z) * std::cos(7 * v);  // soft tissue
          const double organ = std::pow(u + 0.35 - 0.1 * z, 2) / 0.09 + std::pow(v + 0.1, 2) / 0.16;
          if (organ < 1.0) value = 1110 + 20 * organ;
          const double spine = std::pow(u, 2) / 0.006 + std::pow(v - 0.62, 2) / 0.01;
          if (spine < 1.0) value = 1600 + 500 * (1 - spine);
          if (body > 0.92) value = 950;  // fat under the skin
          value += 12 * noise.Next();
        } else {
          value += 4 * noise.Next();
        }
        const double clamped = value < 0 ? 0 : value > 4095 ? 4095 : value;
        slice[size_t(y) * kSide + size_t(x)] = static_cast<uint16_t>(std::lround(clamped));
      }
    }
    if (std::fwrite(slice.data(), sizeof(uint16_t), slice.size(), out) != slice.size()) {
      std::perror(path);
      std::fclose(out);
      return 1;
    }
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

int Decode(const char* inPath, const char* outPath, bool timing) {
  CDicomFile file;
  if (Status loaded = file.Load(inPath); !loaded) {
    std::fprintf(stderr, "%s: %s\n", inPath, loaded.Message().c_str());
    return 1;
  }
  CDicomElement* element = nullptr;
  (void)file.DataSet().GetElement(0x7FE00010, &element);
  const auto* pixels = dynamic_cast<const CDicomEncapsulatedPixelData*>(element);
  if (pixels == nullptr) {
    std::fprintf(stderr, "%s: no encapsulated pixel data\n", inPath);
    return 1;
  }
  FILE* out = std::fopen(outPath, "wb");
  if (out == nullptr) {
    std::perror(outPath);
    return 1;
  }
  std::vector<uint16_t> samples;
  std::chrono::steady_clock::duration decoding{};
  bool lossless = false;
  for (size_t item = 1; item < pixels->GetItemCount(); ++item) {
    const CDicomElement* fragment = pixels->GetItem(item);
    const uint8_t* data = fragment->GetValue();
    const size_t length = fragment->GetLength();
    // Every frame of a file is coded alike: the first one tells which.
    if (item == 1) lossless = CLosslessJpegDecoder::ReadHeader(data, length).HasValue();
    Result<JpegFrameHeader> header =
        lossless ? CLosslessJpegDecoder::ReadHeader(data, length) : CExtendedJpegDecoder::ReadHeader(data, length);
    if (!header) {
      std::fprintf(stderr, "%s, frame %zu: %s\n", inPath, item - 1, header.Message().c_str());
      return 1;
    }
    samples.resize(header->SampleCount());
    const JpegSampleBuffer buffer{.words = samples.data(), .capacity = samples.size()};
    const auto start = std::chrono::steady_clock::now();
    Status decoded = lossless ? CLosslessJpegDecoder::Decode(data, length, buffer)
                              : CExtendedJpegDecoder::Decode(data, length, buffer);
    decoding += std::chrono::steady_clock::now() - start;
    if (!decoded) {
      std::fprintf(stderr, "%s, frame %zu: %s\n", inPath, item - 1, decoded.Message().c_str());
      return 1;
    }
    // The samples are in host order, which is little endian here as in
    // the files dcmdjpeg writes.
    if (std::fwrite(samples.data(), sizeof(uint16_t), samples.size(), out) != samples.size()) {
      std::perror(outPath);
      std::fclose(out);
      return 1;
    }
  }
  if (timing) std::printf("decoding alone: %.3f s\n", std::chrono::duration<double>(decoding).count());
  return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "make-ct") == 0) return MakeCt(std::atoi(argv[2]), argv[3]);
  if ((argc == 4 || (argc == 5 && std::strcmp(argv[4], "--timing") == 0)) && std::strcmp(argv[1], "decode") == 0) {
    return Decode(argv[2], argv[3], argc == 5);
  }
  std::fprintf(stderr, "usage: jpeg-decode-bench make-ct FRAMES OUT.raw | decode IN.dcm OUT.raw [--timing]\n");
  return 2;
}
