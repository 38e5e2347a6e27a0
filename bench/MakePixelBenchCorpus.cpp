/// \file
/// make-pixel-bench-corpus OUTDIR — writes the deterministic images that
/// bench/run_pixel_bench.sh compresses and decompresses:
///
///  - rgb.dcm:  100 frames of 640x480 8-bit RGB, colour-by-pixel;
///  - grey.dcm: 200 frames of 512x512 8-bit MONOCHROME2.
///
/// Both are explicit VR little endian. The content looks like a photograph
/// to a codec: smooth shapes, edges and a little noise, moving from frame to
/// frame. A flat or pure-noise image would make RLE or JPEG look faster or
/// slower than it is on real images.
#include "base/AtomicFileWriter.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "base/FileStream.h"
#include "dicom/ValueRepresentation.h"
#include "dicom/DicomPixelData.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace quillon;

constexpr const char* kUidBase = "1.3.6.1.4.1.58231.1.901";
constexpr const char* kTrueColourMultiFrame = "1.2.840.10008.5.1.4.1.1.7.4";
constexpr const char* kGreyByteMultiFrame = "1.2.840.10008.5.1.4.1.1.7.2";

struct ImageShape {
  const char* name;
  const char* sopClass;
  uint16_t rows;
  uint16_t columns;
  uint16_t samples;
  int frames;
};

bool Check(const Status& status, const char* what) {
  if (status) return true;
  std::fprintf(stderr, "make-pixel-bench-corpus: cannot add %s\n", what);
  return false;
}

/// A scene larger than one frame: each frame is a window onto it, shifted a
/// little, so frames differ the way a pan or a cine loop does.
class CScene {
 public:
  CScene(int width, int height)
      : m_width(width), m_height(height), m_pixels(size_t(width) * size_t(height) * 3) {
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const double fx = x / double(width), fy = y / double(height);
        const double shade = 0.5 + 0.25 * std::sin(6.0 * fx + 2.0 * fy) + 0.2 * std::cos(9.0 * fy - 3.0 * fx);
        const bool disc = (x - width / 3) * (x - width / 3) + (y - height / 2) * (y - height / 2) <
                          (height / 5) * (height / 5);
        const bool bar = x % 97 < 9;
        uint8_t* pixel = &m_pixels[(size_t(y) * size_t(width) + size_t(x)) * 3];
        for (int c = 0; c < 3; ++c) {
          noise = noise * 1103515245u + 12345u;
          const int grain = int((noise >> 16) % 7) - 3;
          double level = 255.0 * shade * (0.8 + 0.1 * c);
          if (disc) level = 200.0 - 60.0 * c;
          if (bar) level *= 0.4;
          const int value = int(level) + grain;
          pixel[c] = uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
        }
      }
    }
  }

  const uint8_t* At(int x, int y) const { return &m_pixels[(size_t(y) * size_t(m_width) + size_t(x)) * 3]; }
  int Width() const { return m_width; }
  int Height() const { return m_height; }

 private:
  int m_width;
  int m_height;
  std::vector<uint8_t> m_pixels;
};

void FillFrame(const CScene& scene, const ImageShape& shape, int index, std::vector<uint8_t>& frame) {
  const int spanX = scene.Width() - shape.columns, spanY = scene.Height() - shape.rows;
  const int left = (index * 3) % spanX, top = (index * 2) % spanY;
  size_t out = 0;
  for (int y = 0; y < shape.rows; ++y) {
    for (int x = 0; x < shape.columns; ++x) {
      const uint8_t* pixel = scene.At(left + x, top + y);
      if (shape.samples == 3) {
        frame[out++] = pixel[0];
        frame[out++] = pixel[1];
        frame[out++] = pixel[2];
      } else {
        frame[out++] = uint8_t((pixel[0] * 77 + pixel[1] * 150 + pixel[2] * 29) >> 8);
      }
    }
  }
}

bool WriteImage(const std::string& folder, const ImageShape& shape, int serial) {
  const std::string path = folder + "/" + shape.name;
  const std::string uid = std::string(kUidBase) + "." + std::to_string(serial);
  CDicomObject object;
  (void)object.CreateMetaInformation(shape.sopClass, uid + ".1", uids::kExplicitVrLittleEndian, uid + ".9",
                                     "QUILLON_BENCH", "BENCH");
  bool ok = true;
  ok &= Check(object.AddString(0x00080060, vr::CS, "OT"), "CS");
  ok &= Check(object.AddString(0x00100010, vr::PN, "Bench^Pixels"), "PN");
  ok &= Check(object.AddString(0x0020000D, vr::UI, uid + ".3"), "UI");
  ok &= Check(object.AddString(0x0020000E, vr::UI, uid + ".4"), "UI");
  ok &= Check(object.AddUInt16(0x00280002, vr::US, shape.samples), "US");
  ok &= Check(object.AddString(0x00280004, vr::CS, shape.samples == 3 ? "RGB" : "MONOCHROME2"), "CS");
  if (shape.samples == 3) ok &= Check(object.AddUInt16(0x00280006, vr::US, 0), "US");
  ok &= Check(object.AddString(tags::kNumberOfFrames, vr::IS, std::to_string(shape.frames)), "IS");
  ok &= Check(object.AddUInt16(0x00280010, vr::US, shape.rows), "US");
  ok &= Check(object.AddUInt16(0x00280011, vr::US, shape.columns), "US");
  ok &= Check(object.AddUInt16(0x00280100, vr::US, 8), "US");
  ok &= Check(object.AddUInt16(0x00280101, vr::US, 8), "US");
  ok &= Check(object.AddUInt16(0x00280102, vr::US, 7), "US");
  ok &= Check(object.AddUInt16(0x00280103, vr::US, 0), "US");
  if (!ok) return false;

  const CScene scene(shape.columns + 320, shape.rows + 240);
  const uint64_t frameSize = uint64_t{shape.rows} * shape.columns * shape.samples;
  std::vector<uint8_t> frame(frameSize);
  CDicomPixelData pixels;
  pixels.SetVR(vr::OB);
  pixels.SetValueLength(static_cast<uint32_t>(frameSize * static_cast<uint64_t>(shape.frames)));
  const Status saved = WriteFileAtomically(path, [&](CFileStream& stream) -> Status {
    if (Status header = CDicomFileWriter(stream).WriteFile(object); !header) return header;
    for (int i = 0; i < shape.frames; ++i) {
      FillFrame(scene, shape, i, frame);
      if (!pixels.WriteFrame(stream, object.GetTransferMode(), frame.data(), frame.size())) {
        return stream.HasFailed() ? stream.State() : Status(Error(ErrorCode::Failure, "a frame does not fit"));
      }
    }
    if (!pixels.FinishWrite(stream, object.GetTransferMode()) && !stream.HasFailed()) {
      return Error(ErrorCode::Failure, "the pixel data cannot be closed");
    }
    return stream.State();
  });
  if (!saved) {
    std::fprintf(stderr, "make-pixel-bench-corpus: %s: %s\n", path.c_str(), saved.Message().c_str());
    return false;
  }
  std::printf("%s: %d frames of %ux%u, %u sample(s)\n", path.c_str(), shape.frames, shape.columns, shape.rows,
              shape.samples);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-pixel-bench-corpus OUTDIR\n");
    return 2;
  }
  const ImageShape rgb{"rgb.dcm", kTrueColourMultiFrame, 480, 640, 3, 100};
  const ImageShape grey{"grey.dcm", kGreyByteMultiFrame, 512, 512, 1, 200};
  const bool rgbOk = WriteImage(argv[1], rgb, 1);
  const bool greyOk = WriteImage(argv[1], grey, 2);
  return rgbOk && greyOk ? 0 : 1;
}
