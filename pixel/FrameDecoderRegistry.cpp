#include "pixel/FrameDecoderRegistry.h"

#include "jpeg/ExtendedJpegDecoder.h"
#include "jpeg/LosslessJpegDecoder.h"
#include "pixel/HtJ2kFrameDecoder.h"
#include "pixel/Jpeg2000FrameDecoder.h"
#include "pixel/JpegLsFrameDecoder.h"
#include "pixel/OwnJpegFrameDecoder.h"
#include "pixel/RleFrameDecoder.h"

#include <algorithm>
#include <iterator>

namespace quillon {

namespace {

using Factory = std::unique_ptr<IFrameDecoder> (*)(const NativeFrameFormat&);

template <typename Decoder>
std::unique_ptr<IFrameDecoder> Make(const NativeFrameFormat& format) {
  return std::make_unique<Decoder>(format);
}

struct Registration {
  const char* uid;
  const char* name;
  Factory make;  ///< null: known by name, not decoded
};

constexpr Registration kSyntaxes[] = {
    {"1.2.840.10008.1.2.4.51", "JPEG Extended", Make<COwnJpegFrameDecoder<CExtendedJpegDecoder>>},
    {"1.2.840.10008.1.2.4.57", "JPEG Lossless", Make<COwnJpegFrameDecoder<CLosslessJpegDecoder>>},
    {"1.2.840.10008.1.2.4.70", "JPEG Lossless, First-Order Prediction",
     Make<COwnJpegFrameDecoder<CLosslessJpegDecoder>>},
    {"1.2.840.10008.1.2.4.80", "JPEG-LS Lossless", Make<CJpegLsFrameDecoder>},
    {"1.2.840.10008.1.2.4.81", "JPEG-LS Near-Lossless", Make<CJpegLsFrameDecoder>},
    {"1.2.840.10008.1.2.4.90", "JPEG 2000 Lossless", Make<CJpeg2000FrameDecoder>},
    {"1.2.840.10008.1.2.4.91", "JPEG 2000", Make<CJpeg2000FrameDecoder>},
    {"1.2.840.10008.1.2.4.201", "HTJ2K Lossless", Make<CHtJ2kFrameDecoder>},
    {"1.2.840.10008.1.2.4.202", "HTJ2K Lossless RPCL", Make<CHtJ2kFrameDecoder>},
    {"1.2.840.10008.1.2.4.203", "HTJ2K", Make<CHtJ2kFrameDecoder>},
    {"1.2.840.10008.1.2.5", "RLE Lossless", Make<CRleFrameDecoder>},
    {"1.2.840.10008.1.2.4.50", "JPEG Baseline", nullptr},
    {"1.2.840.10008.1.2.4.92", "JPEG 2000 Part 2 Multi-component Lossless", nullptr},
    {"1.2.840.10008.1.2.4.93", "JPEG 2000 Part 2 Multi-component", nullptr},
    {"1.2.840.10008.1.2.4.100", "MPEG2 Main Profile", nullptr},
    {"1.2.840.10008.1.2.4.101", "MPEG2 High Profile", nullptr},
    {"1.2.840.10008.1.2.4.102", "MPEG-4 AVC/H.264", nullptr},
    {"1.2.840.10008.1.2.4.103", "MPEG-4 AVC/H.264 BD-compatible", nullptr},
    {"1.2.840.10008.1.2.4.104", "MPEG-4 AVC/H.264 2D", nullptr},
    {"1.2.840.10008.1.2.4.105", "MPEG-4 AVC/H.264 3D", nullptr},
    {"1.2.840.10008.1.2.4.106", "MPEG-4 AVC/H.264 Stereo", nullptr},
    {"1.2.840.10008.1.2.4.107", "HEVC/H.265 Main Profile", nullptr},
    {"1.2.840.10008.1.2.4.108", "HEVC/H.265 Main 10 Profile", nullptr},
    {"1.2.840.10008.1.2.4.110", "JPEG XL Lossless", nullptr},
    {"1.2.840.10008.1.2.4.111", "JPEG XL JPEG Recompression", nullptr},
    {"1.2.840.10008.1.2.4.112", "JPEG XL", nullptr},
    {"1.2.840.10008.1.2.1.99", "Deflated Explicit VR Little Endian", nullptr},
};

const Registration* Find(const std::string& uid) {
  const auto* found = std::find_if(std::begin(kSyntaxes), std::end(kSyntaxes),
                                   [&uid](const Registration& r) { return uid == r.uid; });
  return found == std::end(kSyntaxes) ? nullptr : found;
}

}  // namespace

bool HasFrameDecoder(const std::string& transferSyntax) {
  const Registration* found = Find(transferSyntax);
  return found != nullptr && found->make != nullptr;
}

std::string DescribeTransferSyntax(const std::string& transferSyntax) {
  const Registration* found = Find(transferSyntax);
  if (found == nullptr) return transferSyntax.empty() ? std::string("(none)") : transferSyntax;
  return std::string(found->name) + " (" + transferSyntax + ")";
}

Result<std::unique_ptr<IFrameDecoder>> CreateFrameDecoder(const std::string& transferSyntax,
                                                          const NativeFrameFormat& declared) {
  const Registration* found = Find(transferSyntax);
  if (found == nullptr || found->make == nullptr) {
    return Error(ErrorCode::WrongKind,
                 "pixel data in transfer syntax " + DescribeTransferSyntax(transferSyntax) + " cannot be decoded");
  }
  const uint32_t bits = declared.bitsAllocated;
  if (declared.columns == 0 || declared.rows == 0 || (bits != 8 && bits != 16 && bits != 32) ||
      declared.bitsStored == 0 || declared.bitsStored > bits ||
      (declared.samplesPerPixel != 1 && declared.samplesPerPixel != 3)) {
    return Error(ErrorCode::WrongKind, "an image of " + std::to_string(declared.columns) + "x" +
                                           std::to_string(declared.rows) + ", " +
                                           std::to_string(declared.samplesPerPixel) + " samples, " +
                                           std::to_string(declared.bitsStored) + " of " + std::to_string(bits) +
                                           " bits cannot be decoded to native samples");
  }
  return found->make(declared);
}

}  // namespace quillon
