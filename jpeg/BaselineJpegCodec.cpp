/// \file
/// The baseline JPEG codec over libjpeg-turbo's TurboJPEG API, and the
/// marker walk that reads what that API does not report: the coding
/// process, the sample precision and the quantisation tables.
#include "jpeg/BaselineJpegCodec.h"

#include "jpeg/ExtendedJpegDecoder.h"

#include <turbojpeg.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

namespace quillon {

namespace {

/// libjpeg refuses images with a side above this (JPEG_MAX_DIMENSION).
constexpr uint32_t kMaxDimension = 65500;

/// The standard luminance quantisation table of ITU-T T.81 Annex K, in
/// natural order; libjpeg scales it by the quality for table 0.
constexpr std::array<uint16_t, 64> kStandardLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,   //
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,   //
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,   //
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

/// Natural-order position of the k-th coefficient in zig-zag order: the
/// order in which a DQT segment lists a table.
constexpr std::array<uint8_t, 64> kZigZagToNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,   //
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,  //
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,  //
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
  return text;
}

/// Start-of-frame markers: C0 … CF except DHT (C4), JPG (C8) and DAC (CC).
bool IsFrameMarker(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

/// Markers that stand alone, without a length: TEM and RST0 … RST7.
bool IsStandaloneMarker(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

uint32_t ReadBigEndian16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }

/// Reads the tables of one DQT segment into `tables`.
bool ReadQuantisationTables(const uint8_t* payload, uint64_t length, uint64_t segmentOffset,
                            std::array<std::array<uint16_t, 64>, 4>& tables, std::array<bool, 4>& defined,
                            std::string& error) {
  uint64_t p = 0;
  while (p < length) {
    const unsigned precision = payload[p] >> 4;
    const unsigned id = payload[p] & 0x0Fu;
    ++p;
    if (precision > 1 || id > 3) {
      error = "DQT segment at offset " + std::to_string(segmentOffset) + " defines table " + std::to_string(id) +
              " with precision code " + std::to_string(precision) + " (tables 0-3, precision 0 or 1 expected)";
      return false;
    }
    const uint64_t bytes = precision == 0 ? 64 : 128;
    if (length - p < bytes) {
      error = "DQT segment at offset " + std::to_string(segmentOffset) + " ends inside table " + std::to_string(id);
      return false;
    }
    for (size_t k = 0; k < 64; ++k) {
      const uint8_t* entry = payload + p + (precision == 0 ? k : 2 * k);
      tables[id][kZigZagToNatural[k]] =
          static_cast<uint16_t>(precision == 0 ? entry[0] : ReadBigEndian16(entry));
    }
    defined[id] = true;
    p += bytes;
  }
  return true;
}

/// Reads a start-of-frame segment; `luminanceTableId` is the quantisation
/// table of its first component.
bool ReadFrameHeader(uint8_t marker, const uint8_t* payload, uint64_t length, uint64_t segmentOffset,
                     JpegFrameInfo& info, unsigned& luminanceTableId, std::string& error) {
  const std::string where = "frame header " + Hex(marker) + " at offset " + std::to_string(segmentOffset);
  if (length < 6) {
    error = where + " is " + std::to_string(length) + " bytes long, at least 6 expected";
    return false;
  }
  const uint32_t components = payload[5];
  if (components == 0 || length != 6 + 3 * uint64_t{components}) {
    error = where + " lists " + std::to_string(components) + " components in " + std::to_string(length) + " bytes";
    return false;
  }
  luminanceTableId = payload[8];
  if (luminanceTableId > 3) {
    error = where + " gives its first component quantisation table " + std::to_string(luminanceTableId);
    return false;
  }
  info.frameMarker = marker;
  info.precision = payload[0];
  info.height = ReadBigEndian16(payload + 1);
  info.width = ReadBigEndian16(payload + 3);
  info.components = components;
  return true;
}

}  // namespace

void CBaselineJpegCodec::HandleDeleter::operator()(void* handle) const { tjDestroy(handle); }

CBaselineJpegCodec::CBaselineJpegCodec() = default;
CBaselineJpegCodec::~CBaselineJpegCodec() = default;

JpegStatus CBaselineJpegCodec::Fail(JpegStatus status, std::string message) {
  m_lastError = std::move(message);
  return status;
}

std::string CBaselineJpegCodec::LibraryError(void* handle) {
  const char* text = tjGetErrorStr2(handle);
  return text != nullptr && *text != '\0' ? std::string(text) : std::string("unknown JPEG library error");
}

std::array<uint16_t, 64> CBaselineJpegCodec::ScaledLuminanceTable(int32_t quality) {
  const int32_t q = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
  // libjpeg's jpeg_quality_scaling and jpeg_add_quant_table with
  // force_baseline, which is how TurboJPEG and most encoders set quality.
  const int32_t scale = q < 50 ? 5000 / q : 200 - 2 * q;
  std::array<uint16_t, 64> table{};
  for (size_t i = 0; i < 64; ++i) {
    int32_t value = (int32_t{kStandardLuminance[i]} * scale + 50) / 100;
    value = value < 1 ? 1 : (value > 255 ? 255 : value);
    table[i] = static_cast<uint16_t>(value);
  }
  return table;
}

int32_t CBaselineJpegCodec::EstimateQuality(const std::array<uint16_t, 64>& table) {
  int32_t best = 0;
  uint64_t bestDistance = std::numeric_limits<uint64_t>::max();
  for (int32_t quality = 1; quality <= 100; ++quality) {
    const std::array<uint16_t, 64> candidate = ScaledLuminanceTable(quality);
    uint64_t distance = 0;
    for (size_t i = 0; i < 64; ++i) {
      distance += static_cast<uint64_t>(std::abs(int32_t{table[i]} - int32_t{candidate[i]}));
    }
    if (distance < bestDistance) {
      bestDistance = distance;
      best = quality;
    }
  }
  return best;
}

JpegStatus CBaselineJpegCodec::ScanFrame(const uint8_t* data, uint64_t length, JpegFrameInfo& info,
                                         std::string& error) {
  info = JpegFrameInfo{};
  if (data == nullptr || length < 4 || data[0] != 0xFF || data[1] != 0xD8) {
    error = "no JPEG start-of-image marker at offset 0";
    return JpegStatus::CorruptData;
  }
  std::array<std::array<uint16_t, 64>, 4> tables{};
  std::array<bool, 4> defined{};
  bool haveFrame = false;
  unsigned luminanceTableId = 0;
  uint64_t pos = 2;
  for (;;) {
    if (pos >= length) {
      error = "JPEG data ends at offset " + std::to_string(pos) + " before its first scan";
      return JpegStatus::CorruptData;
    }
    if (data[pos] != 0xFF) {
      error = "expected a JPEG marker at offset " + std::to_string(pos) + ", found byte " + Hex(data[pos]);
      return JpegStatus::CorruptData;
    }
    const uint64_t markerOffset = pos;
    while (pos < length && data[pos] == 0xFF) ++pos;  // fill bytes may precede any marker
    if (pos >= length) {
      error = "JPEG data ends inside the marker at offset " + std::to_string(markerOffset);
      return JpegStatus::CorruptData;
    }
    const uint8_t marker = data[pos++];
    if (IsStandaloneMarker(marker)) continue;
    if (marker == 0x00 || marker == 0xD8 || marker == 0xD9) {
      error = "unexpected marker " + Hex(marker) + " at offset " + std::to_string(markerOffset) +
              " before the first scan";
      return JpegStatus::CorruptData;
    }
    if (length - pos < 2) {
      error = "JPEG data ends inside the length of segment " + Hex(marker) + " at offset " +
              std::to_string(markerOffset);
      return JpegStatus::CorruptData;
    }
    const uint64_t segmentLength = ReadBigEndian16(data + pos);
    if (segmentLength < 2 || segmentLength > length - pos) {
      error = "segment " + Hex(marker) + " at offset " + std::to_string(markerOffset) + " claims " +
              std::to_string(segmentLength) + " bytes, " + std::to_string(length - pos) + " remain";
      return JpegStatus::CorruptData;
    }
    const uint8_t* payload = data + pos + 2;
    const uint64_t payloadLength = segmentLength - 2;
    if (marker == 0xDB) {
      if (!ReadQuantisationTables(payload, payloadLength, markerOffset, tables, defined, error)) {
        return JpegStatus::CorruptData;
      }
    } else if (IsFrameMarker(marker)) {
      if (haveFrame) {
        error = "second frame header " + Hex(marker) + " at offset " + std::to_string(markerOffset);
        return JpegStatus::CorruptData;
      }
      if (!ReadFrameHeader(marker, payload, payloadLength, markerOffset, info, luminanceTableId, error)) {
        return JpegStatus::CorruptData;
      }
      haveFrame = true;
    } else if (marker == 0xE0 && payloadLength >= 5 && std::memcmp(payload, "JFIF", 5) == 0) {
      info.jfifMarker = true;
    } else if (marker == 0xEE && payloadLength >= 12 && std::memcmp(payload, "Adobe", 5) == 0) {
      info.adobeTransform = payload[11];
    } else if (marker == 0xDA) {
      if (!haveFrame) {
        error = "scan at offset " + std::to_string(markerOffset) + " comes before any frame header";
        return JpegStatus::CorruptData;
      }
      break;
    }
    pos += segmentLength;
  }
  if (defined[luminanceTableId]) {
    info.luminanceTable = tables[luminanceTableId];
    info.hasLuminanceTable = true;
  }
  return JpegStatus::Success;
}

JpegStatus CBaselineJpegCodec::InspectHeader(JpegRequest& request, bool* keepsComponents) {
  if (request.jpegInLength == 0) return Fail(JpegStatus::CorruptData, "no JPEG data (length 0)");
  if (request.jpegIn == nullptr) return Fail(JpegStatus::InvalidRequest, "no JPEG data buffer");
  if (request.jpegInLength > std::numeric_limits<unsigned long>::max()) {
    return Fail(JpegStatus::InvalidRequest, "JPEG data too long");
  }

  JpegFrameInfo info;
  std::string error;
  if (const JpegStatus status = ScanFrame(request.jpegIn, request.jpegInLength, info, error);
      status != JpegStatus::Success) {
    return Fail(status, std::move(error));
  }
  // Baseline (C0) and extended sequential Huffman (C1) code 8-bit images
  // alike; progressive, lossless, hierarchical and arithmetic-coded images
  // are not part of this transfer syntax.
  if (info.frameMarker != 0xC0 && info.frameMarker != 0xC1) {
    return Fail(JpegStatus::Unsupported,
                "JPEG coding process " + Hex(info.frameMarker) + " is not baseline sequential Huffman");
  }
  if (info.precision != 8) {
    return Fail(JpegStatus::Unsupported,
                "JPEG sample precision is " + std::to_string(info.precision) + " bits, 8 expected");
  }
  if (info.components != 1 && info.components != 3) {
    return Fail(JpegStatus::Unsupported,
                "JPEG image has " + std::to_string(info.components) + " components, 1 or 3 expected");
  }
  if (info.width == 0 || info.height == 0) {
    return Fail(JpegStatus::Unsupported, "JPEG frame header gives no image size (" + std::to_string(info.width) +
                                             " x " + std::to_string(info.height) + ")");
  }

  if (!m_decompressor) m_decompressor.reset(tjInitDecompress());
  if (!m_decompressor) return Fail(JpegStatus::LibraryFailure, "JPEG decoder: " + LibraryError(nullptr));
  int width = 0;
  int height = 0;
  int subsampling = -1;
  int colourSpace = -1;
  if (tjDecompressHeader3(m_decompressor.get(), request.jpegIn, static_cast<unsigned long>(request.jpegInLength),
                          &width, &height, &subsampling, &colourSpace) != 0) {
    std::string message = "JPEG header: " + LibraryError(m_decompressor.get());
    // TurboJPEG leaves a decoder that failed inside a header in mid-header
    // state, and the next header it reads (from other data) fails too. A
    // failed handle is dropped; the next frame gets a new one.
    m_decompressor.reset();
    return Fail(JpegStatus::CorruptData, std::move(message));
  }
  if (width != static_cast<int>(info.width) || height != static_cast<int>(info.height)) {
    return Fail(JpegStatus::CorruptData, "JPEG header size disagrees with its frame header");
  }

  switch (colourSpace) {
    case TJCS_GRAY: request.jpegColourSpace = JpegColourSpace::Grey; break;
    case TJCS_YCbCr: request.jpegColourSpace = JpegColourSpace::YCbCr; break;
    case TJCS_RGB: request.jpegColourSpace = JpegColourSpace::Rgb; break;
    default:
      return Fail(JpegStatus::Unsupported, "JPEG colour space " + std::to_string(colourSpace) + " is not supported");
  }
  // TurboJPEG takes three components for YCbCr on a JFIF marker, an Adobe
  // marker of transform 1, and also when there is neither and the component
  // ids are not 'R', 'G', 'B' (a guess). Only that guess gives way to a
  // container that says RGB.
  const bool keep = request.componentsDeclaredRgb && request.jpegColourSpace == JpegColourSpace::YCbCr &&
                    info.components == 3 && !info.jfifMarker && info.adobeTransform == -1;
  if (keep) request.jpegColourSpace = JpegColourSpace::Rgb;
  if (keepsComponents != nullptr) *keepsComponents = keep;
  switch (subsampling) {
    case TJSAMP_444:
    case TJSAMP_GRAY: request.jpegSubsampling = JpegSubsampling::None; break;
    case TJSAMP_422: request.jpegSubsampling = JpegSubsampling::S422; break;
    case TJSAMP_420: request.jpegSubsampling = JpegSubsampling::S420; break;
    default: request.jpegSubsampling = JpegSubsampling::Other; break;
  }
  request.jpegWidth = info.width;
  request.jpegHeight = info.height;
  request.jpegChannels = info.components;
  request.quality = info.hasLuminanceTable ? EstimateQuality(info.luminanceTable) : 0;
  return JpegStatus::Success;
}

namespace {

/// Checks the bitmap half of a request and works out its row pitch and
/// TurboJPEG pixel format; an empty string means the bitmap is usable.
std::string CheckBitmap(const JpegRequest& request, int& pitch, int& pixelFormat) {
  if (request.bitmapWidth == 0 || request.bitmapHeight == 0 || request.bitmapWidth > kMaxDimension ||
      request.bitmapHeight > kMaxDimension) {
    return "bitmap size " + std::to_string(request.bitmapWidth) + " x " + std::to_string(request.bitmapHeight) +
           " is outside 1 ... " + std::to_string(kMaxDimension);
  }
  if (request.bitmapChannels == 1 && request.bitmapColourOrder == JpegColourOrder::Grey) {
    pixelFormat = TJPF_GRAY;
  } else if (request.bitmapChannels == 3 && request.bitmapColourOrder == JpegColourOrder::Rgb) {
    pixelFormat = TJPF_RGB;
  } else if (request.bitmapChannels == 3 && request.bitmapColourOrder == JpegColourOrder::Bgr) {
    pixelFormat = TJPF_BGR;
  } else {
    return "bitmap of " + std::to_string(request.bitmapChannels) + " channels in colour order " +
           std::to_string(static_cast<uint32_t>(request.bitmapColourOrder)) +
           " (1 grey or 3 RGB/BGR channels expected)";
  }
  const uint64_t rowPitch =
      uint64_t{request.bitmapWidth} * request.bitmapChannels + uint64_t{request.bitmapRowPadding};
  if (rowPitch > static_cast<uint64_t>(INT_MAX)) return "bitmap row pitch too large";
  pitch = static_cast<int>(rowPitch);
  return {};
}

}  // namespace

JpegStatus CBaselineJpegCodec::WriteImage(JpegRequest& request) {
  m_lastError.clear();
  request.jpegOutLength = 0;
  if (request.bitmapIn == nullptr || request.jpegOut == nullptr) {
    return Fail(JpegStatus::InvalidRequest, "no bitmap or no output buffer");
  }
  int pitch = 0;
  int pixelFormat = TJPF_UNKNOWN;
  if (std::string error = CheckBitmap(request, pitch, pixelFormat); !error.empty()) {
    return Fail(JpegStatus::InvalidRequest, std::move(error));
  }
  if (request.quality < 1 || request.quality > 100) {
    return Fail(JpegStatus::InvalidRequest, "quality " + std::to_string(request.quality) + " is outside 1 ... 100");
  }
  const bool grey = request.bitmapChannels == 1;
  const int subsampling = grey ? TJSAMP_GRAY : TJSAMP_422;
  const int width = static_cast<int>(request.bitmapWidth);
  const int height = static_cast<int>(request.bitmapHeight);

  if (!m_compressor) m_compressor.reset(tjInitCompress());
  if (!m_compressor) return Fail(JpegStatus::LibraryFailure, "JPEG encoder: " + LibraryError(nullptr));

  // With TJFLAG_NOREALLOC TurboJPEG takes the destination to hold its
  // worst-case bound, whatever size it is told, and writes past a smaller
  // buffer without noticing. So it only ever gets a buffer of that bound:
  // the caller's when it is large enough (the usual case, no copy), else our
  // scratch buffer, copied out only when the result fits.
  const unsigned long bound = tjBufSize(width, height, subsampling);
  if (bound == static_cast<unsigned long>(-1)) {
    return Fail(JpegStatus::InvalidRequest, "JPEG encoder: " + LibraryError(nullptr));
  }
  const bool direct = request.jpegOutCapacity >= bound;
  if (!direct && m_scratch.size() < bound) {
    try {
      m_scratch.resize(bound);
    } catch (const std::bad_alloc&) {
      return Fail(JpegStatus::LibraryFailure, "out of memory for " + std::to_string(bound) + " bytes of JPEG output");
    }
  }
  unsigned char* const target = direct ? request.jpegOut : m_scratch.data();
  unsigned char* buffer = target;
  unsigned long size = bound;
  // The accurate DCT costs little with SIMD and keeps the error of medical
  // images as low as the quality allows.
  const int flags = TJFLAG_NOREALLOC | TJFLAG_ACCURATEDCT | (request.bitmapBottomUp ? TJFLAG_BOTTOMUP : 0);
  if (tjCompress2(m_compressor.get(), request.bitmapIn, width, pitch, height, pixelFormat, &buffer, &size,
                  subsampling, request.quality, flags) != 0) {
    std::string error = "JPEG encoder: " + LibraryError(m_compressor.get());
    m_compressor.reset();  // a failed handle may keep state from the failed image
    return Fail(JpegStatus::LibraryFailure, std::move(error));
  }
  if (buffer != target || size > bound) {
    return Fail(JpegStatus::LibraryFailure, "JPEG encoder replaced or overran its output buffer");
  }
  if (!direct) {
    if (size > request.jpegOutCapacity) {
      return Fail(JpegStatus::BufferTooSmall, "JPEG data of " + std::to_string(size) + " bytes does not fit in " +
                                                  std::to_string(request.jpegOutCapacity) + " bytes");
    }
    std::memcpy(request.jpegOut, target, size);
  }
  request.jpegOutLength = size;
  request.jpegWidth = request.bitmapWidth;
  request.jpegHeight = request.bitmapHeight;
  request.jpegChannels = request.bitmapChannels;
  request.jpegColourSpace = grey ? JpegColourSpace::Grey : JpegColourSpace::YCbCr;
  request.jpegSubsampling = grey ? JpegSubsampling::None : JpegSubsampling::S422;
  return JpegStatus::Success;
}

JpegStatus CBaselineJpegCodec::ReadHeader(JpegRequest& request) {
  m_lastError.clear();
  return InspectHeader(request);
}

JpegStatus CBaselineJpegCodec::ReadImage(JpegRequest& request) {
  m_lastError.clear();
  if (request.bitmapOut == nullptr) return Fail(JpegStatus::InvalidRequest, "no bitmap buffer");
  int pitch = 0;
  int pixelFormat = TJPF_UNKNOWN;
  if (std::string error = CheckBitmap(request, pitch, pixelFormat); !error.empty()) {
    return Fail(JpegStatus::InvalidRequest, std::move(error));
  }
  bool keepsComponents = false;
  if (const JpegStatus status = InspectHeader(request, &keepsComponents); status != JpegStatus::Success) {
    return status;
  }

  // Given a smaller destination TurboJPEG would scale the image down to fit,
  // which is never what a frame of known size wants.
  if (request.jpegWidth != request.bitmapWidth || request.jpegHeight != request.bitmapHeight) {
    return Fail(JpegStatus::SizeMismatch, "JPEG image is " + std::to_string(request.jpegWidth) + " x " +
                                              std::to_string(request.jpegHeight) + ", the bitmap " +
                                              std::to_string(request.bitmapWidth) + " x " +
                                              std::to_string(request.bitmapHeight));
  }
  const uint64_t needed = uint64_t(static_cast<uint32_t>(pitch)) * request.bitmapHeight;
  if (needed > request.bitmapCapacity) {
    return Fail(JpegStatus::BufferTooSmall, "decoded image needs " + std::to_string(needed) + " bytes, the bitmap holds " +
                                                std::to_string(request.bitmapCapacity));
  }
  if (keepsComponents) return ReadComponentsAsCoded(request, static_cast<uint32_t>(pitch));
  const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS | TJFLAG_ACCURATEDCT |
                    (request.bitmapBottomUp ? TJFLAG_BOTTOMUP : 0);
  if (tjDecompress2(m_decompressor.get(), request.jpegIn, static_cast<unsigned long>(request.jpegInLength),
                    request.bitmapOut, static_cast<int>(request.bitmapWidth), pitch,
                    static_cast<int>(request.bitmapHeight), pixelFormat, flags) != 0) {
    std::string error = "JPEG image: " + LibraryError(m_decompressor.get());
    m_decompressor.reset();  // as after a failed header: never reuse a failed handle
    return Fail(JpegStatus::CorruptData, std::move(error));
  }
  return JpegStatus::Success;
}

JpegStatus CBaselineJpegCodec::ReadComponentsAsCoded(JpegRequest& request, uint64_t pitch) {
  // TurboJPEG cannot leave out the colour conversion of a frame it takes
  // for YCbCr; our extended decoder never converts, and uses libjpeg's
  // integer IDCT and upsampling, so the samples are what libjpeg gives
  // when told the components are RGB.
  const uint64_t width = request.jpegWidth;
  const uint64_t samples = width * request.jpegHeight * 3;
  std::unique_ptr<uint8_t[]> coded(new (std::nothrow) uint8_t[samples]);
  if (!coded) return Fail(JpegStatus::LibraryFailure, "no memory for a decoded JPEG frame");
  if (const Status done = CExtendedJpegDecoder::Decode(request.jpegIn, static_cast<size_t>(request.jpegInLength),
                                                       {.bytes = coded.get(), .capacity = samples});
      !done) {
    return Fail(JpegStatus::CorruptData, "JPEG image: " + done.Message());
  }
  const bool grey = request.bitmapChannels == 1;
  const bool bgr = request.bitmapColourOrder == JpegColourOrder::Bgr;
  for (uint64_t y = 0; y < request.jpegHeight; ++y) {
    const uint8_t* in = coded.get() + y * width * 3;
    const uint64_t row = request.bitmapBottomUp ? request.jpegHeight - 1 - y : y;
    uint8_t* out = request.bitmapOut + row * pitch;
    for (uint64_t x = 0; x < width; ++x, in += 3) {
      if (grey) {
        // As libjpeg's RGB to grey: the luminance of the three.
        *out++ = static_cast<uint8_t>((19595u * in[0] + 38470u * in[1] + 7471u * in[2] + 32768u) >> 16);
      } else {
        *out++ = in[bgr ? 2 : 0];
        *out++ = in[1];
        *out++ = in[bgr ? 0 : 2];
      }
    }
  }
  return JpegStatus::Success;
}

}  // namespace quillon
