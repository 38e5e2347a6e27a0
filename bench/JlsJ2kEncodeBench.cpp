/// \file
/// jls-j2k-encode-bench — our JPEG-LS and JPEG 2000 encoders over every
/// frame of a native file, for bench/run_jls_j2k_encode_bench.sh (the
/// conversion mode that will do this is wired elsewhere):
///
///   jls-j2k-encode-bench jls|j2k N|R IN.dcm FRAMES COLUMNS ROWS BITS_ALLOCATED BITS_STORED SIGNED OUT.dcm
///
/// reads IN.dcm (uncompressed, colour by pixel) with our reader, encodes
/// each frame (JPEG-LS with near-lossless bound N, JPEG 2000 at ratio R, 0
/// meaning lossless) and writes OUT.dcm with one fragment per frame, for
/// the peers to decode and compare.
#include "dicom/DicomFile.h"
#include "pixel/Jpeg2000FrameEncoder.h"
#include "pixel/JpegLsFrameEncoder.h"
#include "support/EncapsulatedFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  using namespace quillon;
  if (argc != 11 || (std::strcmp(argv[1], "jls") != 0 && std::strcmp(argv[1], "j2k") != 0)) {
    std::fprintf(stderr, "usage: jls-j2k-encode-bench jls|j2k N|R IN.dcm FRAMES COLUMNS ROWS BITS_ALLOCATED "
                         "BITS_STORED SIGNED OUT.dcm\n");
    return 2;
  }
  const bool jls = std::strcmp(argv[1], "jls") == 0;
  NativeFrameFormat format;
  const auto frames = std::strtoul(argv[4], nullptr, 10);
  format.columns = static_cast<uint32_t>(std::strtoul(argv[5], nullptr, 10));
  format.rows = static_cast<uint32_t>(std::strtoul(argv[6], nullptr, 10));
  format.bitsAllocated = static_cast<uint32_t>(std::strtoul(argv[7], nullptr, 10));
  format.bitsStored = static_cast<uint32_t>(std::strtoul(argv[8], nullptr, 10));
  format.signedSamples = std::strcmp(argv[9], "1") == 0;
  format.photometric = "MONOCHROME2";
  auto encoder = jls ? CreateJpegLsFrameEncoder(format, std::atoi(argv[2]))
                     : CreateJpeg2000FrameEncoder(format, std::strtod(argv[2], nullptr));
  if (!encoder) {
    std::fprintf(stderr, "%s\n", encoder.Message().c_str());
    return 1;
  }
  CDicomFile file;
  if (Status loaded = file.Load(argv[3]); !loaded) {
    std::fprintf(stderr, "%s: %s\n", argv[3], loaded.Message().c_str());
    return 1;
  }
  CDicomElement* pixels = nullptr;
  (void)file.DataSet().GetElement(0x7FE00010, &pixels);
  if (pixels == nullptr || pixels->GetValue() == nullptr || pixels->GetLength() < frames * format.FrameSize()) {
    std::fprintf(stderr, "%s: no native pixel data of %lu frames\n", argv[3], frames);
    return 1;
  }
  test::EncapsulatedImage image{(*encoder)->Description().transferSyntax,
                                (*encoder)->Description().photometric,
                                format.columns,
                                format.rows,
                                1,
                                format.bitsAllocated,
                                format.bitsStored,
                                format.signedSamples,
                                {}};
  image.frames.resize(frames);
  for (unsigned long f = 0; f < frames; ++f) {
    const uint8_t* native = pixels->GetValue() + f * format.FrameSize();
    if (Status done = (*encoder)->Encode(native, format.FrameSize(), image.frames[f]); !done) {
      std::fprintf(stderr, "frame %lu: %s\n", f, done.Message().c_str());
      return 1;
    }
  }
  test::WriteEncapsulatedFile(argv[10], image);
  return 0;
}
