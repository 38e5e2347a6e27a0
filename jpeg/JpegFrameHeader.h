/// \file
/// The headers of a JPEG stream that our own decoders work from: the frame
/// header (the SOFn segment: precision, size, components) and the header of
/// one scan (the SOS segment: which components, which tables, and the
/// process-specific parameters). CJpegMarkerReader fills them in after
/// checking every field against its segment; the decoders then check what
/// their process allows.
#pragma once

#include <array>
#include <cstdint>

namespace quillon {

/// The most components a frame may have here. DICOM images have one or
/// three; four covers CMYK. The JPEG format allows 255, which no image of
/// a medical archive uses, and each component costs the decoders a table.
inline constexpr uint32_t kJpegMaxComponents = 4;

/// One component of a frame, as the frame header declares it.
struct JpegComponent {
  uint8_t id = 0;                  ///< Ci, which scan headers name the component by
  uint8_t horizontalSampling = 1;  ///< Hi, 1 … 4
  uint8_t verticalSampling = 1;    ///< Vi, 1 … 4
  uint8_t quantTable = 0;          ///< Tqi, 0 … 3 (the lossless process has none)
};

/// A frame header (SOFn).
struct JpegFrameHeader {
  /// Second byte of the SOFn marker: 0xC0 baseline, 0xC1 extended
  /// sequential, 0xC2 progressive, 0xC3 lossless (Huffman); 0xC5 … 0xC7 and
  /// 0xCD … 0xCF are hierarchical, 0xC9 … 0xCB and 0xCD … 0xCF arithmetic.
  uint8_t marker = 0;
  uint32_t precision = 0;  ///< P, bits per sample
  uint32_t width = 0;      ///< X, samples per line
  uint32_t height = 0;     ///< Y, lines; 0 means a DNL segment gives it later
  uint32_t componentCount = 0;
  std::array<JpegComponent, kJpegMaxComponents> components{};
  uint32_t maxHorizontalSampling = 1;  ///< the largest Hi
  uint32_t maxVerticalSampling = 1;    ///< the largest Vi
  uint64_t offset = 0;                 ///< of the SOFn marker in the data, for messages

  /// Samples of the whole image at full resolution: width × height ×
  /// components, the size of every decoder's output.
  uint64_t SampleCount() const { return uint64_t{width} * height * componentCount; }
  /// Samples per line of component `index` after its subsampling:
  /// ⌈X × Hi / Hmax⌉.
  uint32_t ComponentWidth(uint32_t index) const {
    return static_cast<uint32_t>((uint64_t{width} * components[index].horizontalSampling + maxHorizontalSampling - 1) /
                                 maxHorizontalSampling);
  }
  /// Lines of component `index` after its subsampling: ⌈Y × Vi / Vmax⌉.
  uint32_t ComponentHeight(uint32_t index) const {
    return static_cast<uint32_t>((uint64_t{height} * components[index].verticalSampling + maxVerticalSampling - 1) /
                                 maxVerticalSampling);
  }
};

/// A scan header (SOS).
struct JpegScanHeader {
  uint32_t componentCount = 0;  ///< Ns, 1 … 4
  /// Position of each scan component in the frame header's list.
  std::array<uint8_t, kJpegMaxComponents> componentIndex{};
  std::array<uint8_t, kJpegMaxComponents> dcTable{};  ///< Tdj, 0 … 3 (the lossless tables too)
  std::array<uint8_t, kJpegMaxComponents> acTable{};  ///< Taj, 0 … 3
  /// Ss: the first coefficient of a DCT scan, the predictor of a lossless one.
  uint8_t spectralStart = 0;
  uint8_t spectralEnd = 0;         ///< Se
  uint8_t approximationHigh = 0;   ///< Ah
  /// Al: the successive-approximation bit of a DCT scan, the point
  /// transform of a lossless one.
  uint8_t approximationLow = 0;
  uint64_t offset = 0;  ///< of the SOS marker in the data, for messages
};

}  // namespace quillon
