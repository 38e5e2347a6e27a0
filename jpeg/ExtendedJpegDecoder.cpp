/// \file
/// The sequential DCT process: per block a DC difference and run-length
/// coded AC coefficients, dequantised and inverse transformed. Components
/// at full size are transformed straight into the caller's buffer; halved
/// ones into a plane of their own, upsampled into the buffer once every
/// scan is decoded.
#include "jpeg/ExtendedJpegDecoder.h"

#include "jpeg/JpegBitReader.h"
#include "jpeg/JpegInverseDct.h"
#include "jpeg/JpegMarkerReader.h"
#include "jpeg/JpegUpsampler.h"
#include "jpeg/JpegZigZag.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

namespace quillon {

namespace {

std::string At(size_t offset) { return " at offset " + std::to_string(offset); }

Error Damaged(std::string message) { return Error(ErrorCode::Malformed, "JPEG data: " + std::move(message)); }
Error Unsupported(std::string message) { return Error(ErrorCode::WrongKind, "JPEG data: " + std::move(message)); }

/// What the frame marker says when it is not one this decoder reads.
std::string ProcessName(uint8_t marker) {
  switch (marker) {
    case 0xC2: return "progressive DCT";
    case 0xC3: return "lossless";
    case 0xC5: case 0xC6: case 0xC7: return "hierarchical";
    case 0xC9: case 0xCA: case 0xCB: return "arithmetic-coded";
    default: return "hierarchical arithmetic-coded";
  }
}

Status CheckFrame(const JpegFrameHeader& frame) {
  if (frame.marker != 0xC0 && frame.marker != 0xC1) {
    return Unsupported("the frame" + At(frame.offset) + " is " + ProcessName(frame.marker) + " (SOF" +
                       std::to_string(frame.marker - 0xC0) + "), not sequential DCT with Huffman coding");
  }
  if (frame.precision != 8 && frame.precision != 12) {
    return Unsupported("the DCT frame" + At(frame.offset) + " has " + std::to_string(frame.precision) +
                       "-bit samples, 8 or 12 expected");
  }
  for (uint32_t i = 0; i < frame.componentCount; ++i) {
    const JpegComponent& component = frame.components[i];
    if (component.horizontalSampling > 2 || component.verticalSampling > 2) {
      return Unsupported("component " + std::to_string(component.id) + " has sampling factors " +
                         std::to_string(component.horizontalSampling) + "x" +
                         std::to_string(component.verticalSampling) + ", at most 2x2 is supported");
    }
  }
  return Ok();
}

/// One component of a scan while it is decoded.
struct ScanComponent {
  const CJpegHuffmanTable* dc = nullptr;
  const CJpegHuffmanTable* ac = nullptr;
  std::array<uint16_t, 64> quant{};
  int16_t predictor = 0;  ///< the DC value of the previous block, as libjpeg keeps it
  const JpegComponentTarget* target = nullptr;
  uint32_t blocksAcross = 1;  ///< blocks per MCU, horizontally
  uint32_t blocksDown = 1;    ///< and vertically
};

/// Decodes the coefficients of one block (natural order) into `block`,
/// which must be zero. Damage marks the reader. True when the block has
/// AC coefficients, false when only its DC term can be nonzero.
bool DecodeBlock(CJpegBitReader& reader, ScanComponent& component, std::array<int16_t, 64>& block) {
  reader.Fill();
  // The DC value wraps in 16 bits, as libjpeg's coefficients do.
  component.predictor = static_cast<int16_t>(component.predictor + reader.DecodeDifference(*component.dc));
  block[0] = component.predictor;
  bool hasAc = false;
  for (uint32_t k = 1; k < 64;) {
    reader.Fill();
    uint32_t runSize = 0;
    const int32_t value = reader.DecodeCoefficient(*component.ac, runSize);
    const uint32_t run = runSize >> 4;
    if ((runSize & 15u) == 0) {
      if (run != 15) break;  // end of block
      k += 16;               // sixteen zeros
      continue;
    }
    k += run;
    if (k > 63) {
      reader.MarkCorrupt();
      return hasAc;
    }
    block[kJpegZigZagToNatural[k]] = static_cast<int16_t>(value);
    hasAc = true;
    ++k;
  }
  return hasAc;
}

/// Writes the part of an 8×8 block at block position (`blockX`, `blockY`)
/// that lies inside `target`.
void StoreBlock(const JpegComponentTarget& target, uint32_t blockX, uint32_t blockY,
                const std::array<uint16_t, 64>& samples) {
  const uint32_t x0 = blockX * 8;
  const uint32_t y0 = blockY * 8;
  const uint32_t width = std::min<uint32_t>(8, target.width - x0);
  const uint32_t height = std::min<uint32_t>(8, target.height - y0);
  for (uint32_t y = 0; y < height; ++y) {
    const size_t line = (size_t{y0} + y) * target.rowStride + size_t{x0} * target.step;
    if (target.words != nullptr) {
      for (uint32_t x = 0; x < width; ++x) target.words[line + x * target.step] = samples[y * 8 + x];
    } else {
      for (uint32_t x = 0; x < width; ++x) {
        target.bytes[line + x * target.step] = static_cast<uint8_t>(samples[y * 8 + x]);
      }
    }
  }
}

Status DecodeScan(const CJpegMarkerReader& markers, const JpegScanHeader& scan,
                  const std::array<JpegComponentTarget, kJpegMaxComponents>& targets, size_t& endPosition) {
  const JpegFrameHeader& frame = markers.Frame();
  // A sequential scan codes every coefficient whatever its Ss, Se, Ah and
  // Al say. Some encoders leave them 0 (pydicom's JPGExtended.dcm), which
  // libjpeg, and so DCMTK, accepts with a warning; so do we, silently.
  const bool interleaved = scan.componentCount > 1;
  std::array<ScanComponent, kJpegMaxComponents> components{};
  for (uint32_t k = 0; k < scan.componentCount; ++k) {
    const JpegComponent& declared = frame.components[scan.componentIndex[k]];
    ScanComponent& component = components[k];
    component.dc = markers.HuffmanTable(0, scan.dcTable[k]);
    component.ac = markers.HuffmanTable(1, scan.acTable[k]);
    const std::array<uint16_t, 64>* quant = markers.QuantTable(declared.quantTable);
    if (component.dc == nullptr || component.ac == nullptr || quant == nullptr) {
      return Damaged("the scan" + At(scan.offset) + " needs for component " + std::to_string(declared.id) +
                     (component.dc == nullptr   ? " DC Huffman table " + std::to_string(scan.dcTable[k])
                      : component.ac == nullptr ? " AC Huffman table " + std::to_string(scan.acTable[k])
                                                : " quantisation table " + std::to_string(declared.quantTable)) +
                     ", which is not defined");
    }
    if (component.dc->LargestSize() > 15) {
      return Damaged("DC Huffman table " + std::to_string(scan.dcTable[k]) + " of the scan" + At(scan.offset) +
                     " has a difference category above 15");
    }
    component.quant = *quant;
    component.target = &targets[scan.componentIndex[k]];
    component.blocksAcross = interleaved ? declared.horizontalSampling : 1;
    component.blocksDown = interleaved ? declared.verticalSampling : 1;
  }

  // An interleaved scan covers the image in MCUs of Hmax × Vmax blocks; a
  // scan of one component covers that component's blocks one by one.
  uint32_t mcusAcross = 0;
  uint32_t mcusDown = 0;
  if (interleaved) {
    mcusAcross = (frame.width + 8 * frame.maxHorizontalSampling - 1) / (8 * frame.maxHorizontalSampling);
    mcusDown = (frame.height + 8 * frame.maxVerticalSampling - 1) / (8 * frame.maxVerticalSampling);
  } else {
    mcusAcross = (components[0].target->width + 7) / 8;
    mcusDown = (components[0].target->height + 7) / 8;
  }

  const uint32_t interval = markers.RestartInterval();
  CJpegBitReader reader(markers.Data(), markers.Length(), markers.Position());
  std::array<int16_t, 64> block{};
  std::array<uint16_t, 64> samples{};
  uint64_t mcu = 0;
  uint32_t restartIndex = 0;
  for (uint32_t mcuY = 0; mcuY < mcusDown; ++mcuY) {
    for (uint32_t mcuX = 0; mcuX < mcusAcross; ++mcuX, ++mcu) {
      if (interval != 0 && mcu != 0 && mcu % interval == 0) {
        // Through a copy, so that `reader` itself never has its address
        // taken and stays in registers.
        CJpegBitReader restarted = reader;
        const bool found = restarted.SkipRestartMarker(restartIndex++);
        reader = restarted;
        if (!found) {
          return Damaged("restart marker RST" + std::to_string((restartIndex - 1) & 7) + " expected" +
                         At(reader.Position()) + ", before MCU " + std::to_string(mcu) + " of the scan" +
                         At(scan.offset));
        }
        for (uint32_t k = 0; k < scan.componentCount; ++k) components[k].predictor = 0;
      }
      for (uint32_t k = 0; k < scan.componentCount; ++k) {
        ScanComponent& component = components[k];
        const JpegComponentTarget& target = *component.target;
        for (uint32_t v = 0; v < component.blocksDown; ++v) {
          for (uint32_t h = 0; h < component.blocksAcross; ++h) {
            block.fill(0);
            const bool hasAc = DecodeBlock(reader, component, block);
            const uint32_t blockX = mcuX * component.blocksAcross + h;
            const uint32_t blockY = mcuY * component.blocksDown + v;
            // Blocks that only pad the last MCUs are decoded, not shown.
            if (blockX * 8 >= target.width || blockY * 8 >= target.height) continue;
            if (hasAc) {
              CJpegInverseDct::Transform(block, component.quant, frame.precision, samples);
            } else {
              samples.fill(CJpegInverseDct::FlatBlockSample(block[0], component.quant[0], frame.precision));
            }
            StoreBlock(target, blockX, blockY, samples);
          }
        }
      }
    }
    if (reader.Corrupt()) {
      return Damaged("damaged coded data (a code that no Huffman table of the scan" + At(scan.offset) +
                     " holds, or a run past the end of a block) in MCU row " + std::to_string(mcuY) +
                     " near offset " + std::to_string(reader.Offset()));
    }
    if (reader.Overrun()) {
      return Damaged("the coded data of the scan" + At(scan.offset) + " ends" + At(reader.Position()) +
                     " in MCU row " + std::to_string(mcuY) + " of " + std::to_string(mcusDown));
    }
  }
  endPosition = reader.Position();
  return Ok();
}

/// Decodes every scan, then upsamples the halved components.
Status DecodeImage(CJpegMarkerReader& markers, const JpegSampleBuffer& output) {
  const JpegFrameHeader& frame = markers.Frame();
  const bool interleavedOutput = output.layout == JpegSampleLayout::Interleaved;
  std::array<JpegComponentTarget, kJpegMaxComponents> outputTargets{};
  std::array<JpegComponentTarget, kJpegMaxComponents> decodeTargets{};
  std::array<std::unique_ptr<uint16_t[]>, kJpegMaxComponents> planes;
  for (uint32_t i = 0; i < frame.componentCount; ++i) {
    JpegComponentTarget& target = outputTargets[i];
    const size_t offset = interleavedOutput ? i : size_t{i} * frame.width * frame.height;
    target.words = output.words != nullptr ? output.words + offset : nullptr;
    target.bytes = output.bytes != nullptr ? output.bytes + offset : nullptr;
    target.step = interleavedOutput ? frame.componentCount : 1;
    target.rowStride = size_t{frame.width} * target.step;
    target.width = frame.width;
    target.height = frame.height;
    decodeTargets[i] = target;
    const JpegComponent& component = frame.components[i];
    if (component.horizontalSampling == frame.maxHorizontalSampling &&
        component.verticalSampling == frame.maxVerticalSampling) {
      continue;
    }
    // A halved component is smaller than its share of the caller's buffer,
    // which bounds this allocation.
    JpegComponentTarget& plane = decodeTargets[i];
    plane.width = frame.ComponentWidth(i);
    plane.height = frame.ComponentHeight(i);
    planes[i].reset(new (std::nothrow) uint16_t[size_t{plane.width} * plane.height]);
    if (!planes[i]) return Error(ErrorCode::OutOfMemory, "JPEG decode: no memory for a subsampled component");
    plane.words = planes[i].get();
    plane.bytes = nullptr;
    plane.step = 1;
    plane.rowStride = plane.width;
  }

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
    if (Status done = DecodeScan(markers, scan, decodeTargets, end); !done) return done;
    markers.ResumeAfterScan(end);
  }

  for (uint32_t i = 0; i < frame.componentCount; ++i) {
    if (!planes[i]) continue;
    const JpegComponent& component = frame.components[i];
    if (Status up = CJpegUpsampler::Upsample(planes[i].get(), decodeTargets[i].width, decodeTargets[i].height,
                                             frame.maxHorizontalSampling / component.horizontalSampling,
                                             frame.maxVerticalSampling / component.verticalSampling,
                                             outputTargets[i]);
        !up) {
      return up;
    }
  }
  return Ok();
}

}  // namespace

Result<JpegFrameHeader> CExtendedJpegDecoder::ReadHeader(const uint8_t* data, size_t length) {
  CJpegMarkerReader markers(data, length);
  if (Status read = markers.ReadFrameHeader(); !read) return read.GetError();
  if (Status supported = CheckFrame(markers.Frame()); !supported) return supported.GetError();
  return markers.Frame();
}

Status CExtendedJpegDecoder::Decode(const uint8_t* data, size_t length, const JpegSampleBuffer& output,
                                    JpegFrameHeader* frame) {
  // The reader holds eight Huffman tables with their lookup tables: too
  // large for the stack of a caller's worker thread.
  std::unique_ptr<CJpegMarkerReader> markers(new (std::nothrow) CJpegMarkerReader(data, length));
  if (!markers) return Error(ErrorCode::OutOfMemory, "JPEG decode: no memory for the decoder's tables");
  if (Status read = markers->ReadFrameHeader(); !read) return read;
  if (Status supported = CheckFrame(markers->Frame()); !supported) return supported;
  if (Status fits = CheckSampleBuffer(output, markers->Frame()); !fits) return fits;
  Status decoded = DecodeImage(*markers, output);
  if (decoded && frame != nullptr) *frame = markers->Frame();
  return decoded;
}

}  // namespace quillon
