/// \file
/// The lossless JPEG process: each sample is a prediction from its decoded
/// neighbours (left Ra, above Rb, above-left Rc) plus a Huffman-coded
/// difference, modulo 2^16. The line loops are instantiated per predictor
/// and sample type, so the prediction costs no branch per sample.
#include "jpeg/LosslessJpegDecoder.h"

#include "jpeg/JpegBitReader.h"
#include "jpeg/JpegMarkerReader.h"

#include <limits>
#include <memory>
#include <new>
#include <string>

namespace quillon {

namespace {

std::string At(size_t offset) { return " at offset " + std::to_string(offset); }

Error Damaged(std::string message) { return Error(ErrorCode::Malformed, "JPEG data: " + std::move(message)); }
Error Unsupported(std::string message) {
  return Error(ErrorCode::WrongKind, "lossless JPEG: " + std::move(message));
}

/// Predictor 0 stands for the first line of the image or of a restart
/// interval, where every sample but the first is predicted from its left
/// neighbour.
template <int kPredictor>
inline int32_t Predict(int32_t a, int32_t b, int32_t c) {
  if constexpr (kPredictor <= 1) return a;
  if constexpr (kPredictor == 2) return b;
  if constexpr (kPredictor == 3) return c;
  if constexpr (kPredictor == 4) return a + b - c;
  if constexpr (kPredictor == 5) return a + ((b - c) >> 1);
  if constexpr (kPredictor == 6) return b + ((a - c) >> 1);
  return (a + b) >> 1;
}

/// One line of a scan: where each scan component's samples of the line go,
/// and how to decode them.
template <typename Sample>
struct LineJob {
  std::array<Sample*, kJpegMaxComponents> line{};
  std::array<const CJpegHuffmanTable*, kJpegMaxComponents> table{};
  uint32_t components = 0;
  uint32_t width = 0;
  size_t step = 1;       ///< samples from one pixel to the next
  size_t rowStride = 0;  ///< samples from one line to the next
  /// The prediction of a line's first sample in the first line: 2^(P−Pt−1).
  int32_t initial = 0;
};

/// Decoded samples wrap modulo 2^16; an 8-bit buffer keeps the low byte,
/// which is the whole value for every image of at most 8 bits.
template <typename Sample>
constexpr int32_t kSampleMask = std::numeric_limits<Sample>::max();

template <typename Sample, int kPredictor>
void DecodeSingleComponentLine(CJpegBitReader& shared, const LineJob<Sample>& job) {
  CJpegBitReader reader = shared;  // a local copy stays in registers
  const uint32_t width = job.width;
  Sample* const line = job.line[0];
  // A first line has nothing above it (and may be the buffer's first).
  const Sample* const above = kPredictor == 0 ? line : line - job.rowStride;
  const CJpegHuffmanTable& table = *job.table[0];
  const size_t step = job.step;
  reader.Fill();
  int32_t a = ((kPredictor == 0 ? job.initial : int32_t{above[0]}) + reader.DecodeDifference(table)) & kSampleMask<Sample>;
  line[0] = static_cast<Sample>(a);
  for (uint32_t x = 1; x < width; ++x) {
    int32_t prediction = a;
    if constexpr (kPredictor >= 2) {
      prediction = Predict<kPredictor>(a, above[x * step], above[(x - 1) * step]);
    }
    reader.Fill();
    a = (prediction + reader.DecodeDifference(table)) & kSampleMask<Sample>;
    line[x * step] = static_cast<Sample>(a);
  }
  shared = reader;
}

template <typename Sample, int kPredictor>
void DecodeInterleavedLine(CJpegBitReader& shared, const LineJob<Sample>& job) {
  CJpegBitReader reader = shared;  // a local copy stays in registers
  const uint32_t width = job.width;
  const size_t step = job.step;
  const uint32_t count = job.components;
  std::array<int32_t, kJpegMaxComponents> a{};
  for (uint32_t k = 0; k < count; ++k) {
    const Sample* above = kPredictor == 0 ? job.line[k] : job.line[k] - job.rowStride;
    reader.Fill();
    a[k] = ((kPredictor == 0 ? job.initial : int32_t{above[0]}) + reader.DecodeDifference(*job.table[k])) &
           kSampleMask<Sample>;
    job.line[k][0] = static_cast<Sample>(a[k]);
  }
  for (uint32_t x = 1; x < width; ++x) {
    for (uint32_t k = 0; k < count; ++k) {
      Sample* const line = job.line[k];
      int32_t prediction = a[k];
      if constexpr (kPredictor >= 2) {
        const Sample* const above = line - job.rowStride;
        prediction = Predict<kPredictor>(a[k], above[x * step], above[(x - 1) * step]);
      }
      reader.Fill();
      a[k] = (prediction + reader.DecodeDifference(*job.table[k])) & kSampleMask<Sample>;
      line[x * step] = static_cast<Sample>(a[k]);
    }
  }
  shared = reader;
}

template <typename Sample>
using LineDecoder = void (*)(CJpegBitReader&, const LineJob<Sample>&);

template <typename Sample, int kPredictor>
LineDecoder<Sample> LineDecoderOf(uint32_t components) {
  return components == 1 ? &DecodeSingleComponentLine<Sample, kPredictor>
                         : &DecodeInterleavedLine<Sample, kPredictor>;
}

/// The line decoder of `predictor` (0 … 7, 0 for a first line).
template <typename Sample>
LineDecoder<Sample> LineDecoderFor(uint32_t predictor, uint32_t components) {
  switch (predictor) {
    case 0: return LineDecoderOf<Sample, 0>(components);
    case 1: return LineDecoderOf<Sample, 1>(components);
    case 2: return LineDecoderOf<Sample, 2>(components);
    case 3: return LineDecoderOf<Sample, 3>(components);
    case 4: return LineDecoderOf<Sample, 4>(components);
    case 5: return LineDecoderOf<Sample, 5>(components);
    case 6: return LineDecoderOf<Sample, 6>(components);
    default: return LineDecoderOf<Sample, 7>(components);
  }
}

/// Checks what this decoder handles of a frame the marker reader accepted.
Status CheckFrame(const JpegFrameHeader& frame) {
  if (frame.marker != 0xC3) {
    return Error(ErrorCode::WrongKind, "JPEG data: the frame" + At(frame.offset) + " is coded with process " +
                                           std::to_string(frame.marker - 0xC0) + " (SOF" +
                                           std::to_string(frame.marker - 0xC0) + "), not lossless Huffman (SOF3)");
  }
  if (frame.precision < 2 || frame.precision > 16) {
    return Damaged("the lossless frame" + At(frame.offset) + " has " + std::to_string(frame.precision) +
                   "-bit samples, 2 to 16 allowed");
  }
  for (uint32_t i = 1; i < frame.componentCount; ++i) {
    if (frame.components[i].horizontalSampling != frame.components[0].horizontalSampling ||
        frame.components[i].verticalSampling != frame.components[0].verticalSampling) {
      return Unsupported("the components differ in their sampling factors (a subsampled lossless image)");
    }
  }
  return Ok();
}

/// Decodes one scan into `output` (already checked against the frame).
template <typename Sample>
Status DecodeScan(const CJpegMarkerReader& markers, const JpegScanHeader& scan, Sample* samples,
                  JpegSampleLayout layout, size_t& endPosition) {
  const JpegFrameHeader& frame = markers.Frame();
  const uint32_t predictor = scan.spectralStart;
  const uint32_t pointTransform = scan.approximationLow;
  if (predictor < 1 || predictor > 7) {
    return Damaged("the lossless scan" + At(scan.offset) + " selects predictor " + std::to_string(predictor) +
                   ", 1 to 7 allowed");
  }
  if (pointTransform >= frame.precision) {
    return Damaged("the lossless scan" + At(scan.offset) + " has a point transform of " +
                   std::to_string(pointTransform) + " for " + std::to_string(frame.precision) + "-bit samples");
  }
  if (scan.componentCount > 1 &&
      (frame.components[0].horizontalSampling != 1 || frame.components[0].verticalSampling != 1)) {
    return Unsupported("the interleaved scan" + At(scan.offset) + " has components of sampling factors " +
                       std::to_string(frame.components[0].horizontalSampling) + "x" +
                       std::to_string(frame.components[0].verticalSampling));
  }
  const uint32_t width = frame.width;
  const uint32_t height = frame.height;
  // Every MCU of these scans is one pixel, so a restart interval of whole
  // lines is a multiple of the width. Others would restart the prediction
  // in mid-line, which no encoder of medical images writes.
  const uint32_t interval = markers.RestartInterval();
  if (interval % width != 0) {
    return Unsupported("the restart interval of " + std::to_string(interval) + " pixels is no whole number of " +
                       std::to_string(width) + "-pixel lines");
  }
  const uint32_t linesPerInterval = interval / width;

  const bool interleaved = layout == JpegSampleLayout::Interleaved;
  LineJob<Sample> job;
  job.components = scan.componentCount;
  job.width = width;
  job.step = interleaved ? frame.componentCount : 1;
  job.rowStride = size_t{width} * job.step;
  job.initial = int32_t{1} << (frame.precision - pointTransform - 1);
  std::array<Sample*, kJpegMaxComponents> first{};
  for (uint32_t k = 0; k < scan.componentCount; ++k) {
    const uint32_t index = scan.componentIndex[k];
    const CJpegHuffmanTable* table = markers.HuffmanTable(0, scan.dcTable[k]);
    if (table == nullptr) {
      return Damaged("the scan" + At(scan.offset) + " uses Huffman table " + std::to_string(scan.dcTable[k]) +
                     ", which is not defined");
    }
    if (table->LargestSize() > 16) {
      return Damaged("Huffman table " + std::to_string(scan.dcTable[k]) + " of the scan" + At(scan.offset) +
                     " has a difference category above 16");
    }
    job.table[k] = table;
    first[k] = samples + (interleaved ? index : size_t{index} * width * height);
  }

  const LineDecoder<Sample> firstLine = LineDecoderFor<Sample>(0, scan.componentCount);
  const LineDecoder<Sample> otherLine = LineDecoderFor<Sample>(predictor, scan.componentCount);
  CJpegBitReader reader(markers.Data(), markers.Length(), markers.Position());
  uint32_t restartIndex = 0;
  for (uint32_t y = 0; y < height; ++y) {
    bool startsInterval = y == 0;
    if (linesPerInterval != 0 && y != 0 && y % linesPerInterval == 0) {
      if (!reader.SkipRestartMarker(restartIndex++)) {
        return Damaged("restart marker RST" + std::to_string((restartIndex - 1) & 7) + " expected" +
                       At(reader.Position()) + ", before line " + std::to_string(y) + " of the scan" +
                       At(scan.offset));
      }
      startsInterval = true;
    }
    for (uint32_t k = 0; k < scan.componentCount; ++k) job.line[k] = first[k] + y * job.rowStride;
    (startsInterval ? firstLine : otherLine)(reader, job);
    if (reader.Corrupt()) {
      return Damaged("a code that no Huffman table of the scan" + At(scan.offset) + " holds, in line " +
                     std::to_string(y) + " near offset " + std::to_string(reader.Offset()));
    }
    if (reader.Overrun()) {
      return Damaged("the coded data of the scan" + At(scan.offset) + " ends" + At(reader.Position()) +
                     " in line " + std::to_string(y) + " of " + std::to_string(height));
    }
  }

  if (pointTransform != 0) {
    for (uint32_t k = 0; k < scan.componentCount; ++k) {
      for (uint32_t y = 0; y < height; ++y) {
        Sample* line = first[k] + y * job.rowStride;
        for (uint32_t x = 0; x < width; ++x) {
          line[x * job.step] = static_cast<Sample>(line[x * job.step] << pointTransform);
        }
      }
    }
  }
  endPosition = reader.Position();
  return Ok();
}

template <typename Sample>
Status DecodeScans(CJpegMarkerReader& markers, Sample* samples, JpegSampleLayout layout) {
  const JpegFrameHeader& frame = markers.Frame();
  const uint32_t all = (1u << frame.componentCount) - 1;
  uint32_t decoded = 0;
  while (decoded != all) {
    JpegScanHeader scan;
    Result<bool> next = markers.ReadNextScan(scan);
    if (!next) return next.GetError();
    if (!*next) {
      return Damaged("the image ends" + At(markers.Position()) + " before every component has been decoded");
    }
    for (uint32_t k = 0; k < scan.componentCount; ++k) {
      const uint32_t bit = 1u << scan.componentIndex[k];
      if ((decoded & bit) != 0) {
        return Damaged("the scan" + At(scan.offset) + " decodes component " +
                       std::to_string(frame.components[scan.componentIndex[k]].id) + " a second time");
      }
      decoded |= bit;
    }
    size_t end = 0;
    if (Status done = DecodeScan(markers, scan, samples, layout, end); !done) return done;
    markers.ResumeAfterScan(end);
  }
  return Ok();
}

}  // namespace

Result<JpegFrameHeader> CLosslessJpegDecoder::ReadHeader(const uint8_t* data, size_t length) {
  CJpegMarkerReader markers(data, length);
  if (Status read = markers.ReadFrameHeader(); !read) return read.GetError();
  if (Status supported = CheckFrame(markers.Frame()); !supported) return supported.GetError();
  return markers.Frame();
}

Status CLosslessJpegDecoder::Decode(const uint8_t* data, size_t length, const JpegSampleBuffer& output,
                                    JpegFrameHeader* frame) {
  // The reader holds eight Huffman tables with their lookup tables: too
  // large for the stack of a caller's worker thread.
  std::unique_ptr<CJpegMarkerReader> markers(new (std::nothrow) CJpegMarkerReader(data, length));
  if (!markers) return Error(ErrorCode::OutOfMemory, "JPEG decode: no memory for the decoder's tables");
  if (Status read = markers->ReadFrameHeader(); !read) return read;
  if (Status supported = CheckFrame(markers->Frame()); !supported) return supported;
  if (Status fits = CheckSampleBuffer(output, markers->Frame()); !fits) return fits;
  Status decoded = output.words != nullptr ? DecodeScans(*markers, output.words, output.layout)
                                           : DecodeScans(*markers, output.bytes, output.layout);
  if (decoded && frame != nullptr) *frame = markers->Frame();
  return decoded;
}

}  // namespace quillon
