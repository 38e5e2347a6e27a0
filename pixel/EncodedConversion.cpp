#include "pixel/EncodedConversion.h"

#include "base/AtomicFileWriter.h"
#include "base/FileSettingsStore.h"
#include "base/FileStream.h"
#include "dicom/DicomObject.h"
#include "dicom/UidGenerator.h"
#include "dicom/ValueRepresentation.h"
#include "pixel/FrameEncoderRegistry.h"
#include "pixel/OrderedFramePipeline.h"
#include "pixel/PixelCodec.h"
#include "pixel/PixelImage.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

namespace quillon {

namespace {

/// Why the native frames of `source` cannot be read, for a message.
std::string WhyNoNativeFrames(const CPixelImage& source) {
  if (source.FloatSamples()) return "floating point samples cannot be compressed";
  if (!source.LastError().empty()) return source.LastError();
  return "samples of " + std::to_string(source.BitsAllocated()) + " bits allocated, " +
         std::to_string(source.SamplesPerPixel()) + " per pixel, cannot be read as native frames";
}

/// Rewrites `header` for frames of `description`.
void SetEncodedHeader(CDicomObject& header, const EncodedImageDescription& description, uint32_t samples) {
  (void)header.AddString(tags::kTransferSyntaxUid, vr::UI, description.transferSyntax);  // sets the mode too
  (void)header.AddString(tags::kPhotometricInterpretation, vr::CS, description.photometric);
  // Encoded frames are colour by pixel; DICOM asks for 0 then.
  if (samples > 1) (void)header.AddUInt16(tags::kPlanarConfiguration, vr::US, 0);
  if (description.lossy) MarkLossyResult(header, description.lossyMethod);
}

/// Reads, encodes and appends every frame. Reading and writing stay in
/// frame order on this thread; the encoder, where the time goes, runs on
/// every core, with a few frames in memory at a time.
DCT_STATUS EncodeFrames(CPixelImage& source, const IFrameEncoder& encoder, CPixelImage& destination,
                        const ConversionProgress& progress, std::string& error) {
  const uint64_t size = source.NativeFormat().FrameSize();
  if (size == 0 || size > CPixelCodec::kMaxDisplaySize) return DCT_STATUS::OutOfMemory;
  const int32_t frames = source.NumberOfFrames();
  DCT_STATUS failure = DCT_STATUS::Failure;  // the encoder's, unless reading or writing stopped
  const COrderedFramePipeline pipeline(COrderedFramePipeline::DefaultWorkers(), 2 * size);
  const Status run = pipeline.Run(
      frames,
      [&](int32_t n, std::vector<uint8_t>& native) -> Status {
        uint64_t length = 0;
        try {
          native.resize(size);
        } catch (const std::bad_alloc&) {
          failure = DCT_STATUS::OutOfMemory;
          return Error(ErrorCode::OutOfMemory, "no memory for frame " + std::to_string(n + 1));
        }
        if (source.ReadNativeFrame(n, native.data(), size, length) != FrameStatus::Success) {
          failure = DCT_STATUS::ReadFailed;
          return Error(ErrorCode::Io, "frame " + std::to_string(n + 1) + " could not be read" +
                                          (source.LastError().empty() ? std::string() : ": " + source.LastError()));
        }
        native.resize(length);
        return Ok();
      },
      [&](const std::vector<uint8_t>& native, std::vector<uint8_t>& encoded) -> Status {
        return encoder.Encode(native.data(), native.size(), encoded);
      },
      [&](int32_t n, const std::vector<uint8_t>& encoded) {
        return AppendConvertedFrame(destination, n, frames, encoded, progress, failure);
      });
  if (run) return DCT_STATUS::Success;
  if (failure == DCT_STATUS::Failure && run.GetError().Code() == ErrorCode::OutOfMemory) {
    failure = DCT_STATUS::OutOfMemory;
  }
  if (failure == DCT_STATUS::Failure || failure == DCT_STATUS::ReadFailed || failure == DCT_STATUS::OutOfMemory) {
    error = run.Message();
  }
  return failure;
}

}  // namespace

Status AppendConvertedFrame(CPixelImage& destination, int32_t n, int32_t frames, const std::vector<uint8_t>& frame,
                            const ConversionProgress& progress, DCT_STATUS& failure) {
  if (destination.WriteStoredFrame(frame.data(), frame.size()) != FrameStatus::Written) {
    failure = DCT_STATUS::WriteFailed;
    return Error(ErrorCode::Io, "frame " + std::to_string(n + 1) + " could not be written");
  }
  if (progress && !progress(n + 1, frames)) {
    failure = DCT_STATUS::Cancelled;
    return Error(ErrorCode::Cancelled, "cancelled");
  }
  return Ok();
}

bool UsesFrameEncoder(ConversionMode mode, uint32_t bitsAllocated) {
  if (mode == ConversionMode::Rle) return bitsAllocated == 16 || bitsAllocated == 32;
  return mode == ConversionMode::JpegLossless || mode == ConversionMode::JpegLs || mode == ConversionMode::Jpeg2000;
}

void MarkLossyResult(CDicomObject& object, const std::string& method) {
  CFileSettingsStore store;
  const std::string uid = GenerateUID(&store);
  (void)object.AddString(tags::kMediaStorageSopInstanceUid, vr::UI, uid);
  (void)object.AddString(tags::kSopInstanceUid, vr::UI, uid);
  (void)object.AddString(tags::kLossyImageCompression, vr::CS, "01");
  // Earlier lossy steps keep their values; this one's comes last.
  std::string ratio;
  (void)object.GetString(tags::kLossyImageCompressionRatio, ratio);
  const size_t prefix = ratio.empty() ? 0 : ratio.size() + 1;
  if (!ratio.empty()) ratio += '\\';
  // A decimal string holds 16 characters; the blank keeps the value even.
  ratio.append(prefix % 2 == 0 ? 16 : 15, ' ');
  (void)object.AddString(tags::kLossyImageCompressionRatio, vr::DS, ratio);
  std::string methods;
  (void)object.GetString(tags::kLossyImageCompressionMethod, methods);
  if (!methods.empty()) methods += '\\';
  (void)object.AddString(tags::kLossyImageCompressionMethod, vr::CS, methods + method);
  std::string imageType;
  (void)object.GetString(tags::kImageType, imageType);
  if (imageType.empty() || imageType.find("ORIGINAL") != std::string::npos) {
    (void)object.AddString(tags::kImageType, vr::CS, "DERIVED\\SECONDARY");
  }
}

DCT_STATUS ConvertWithFrameEncoder(const ConversionOptions& options, CPixelImage& source, CDicomObject& header,
                                   ConversionMode mode, const std::string& destinationPath,
                                   const ConversionProgress& progress, std::string& error) {
  if (!source.HasNativeFrames()) {
    error = WhyNoNativeFrames(source);
    return DCT_STATUS::HeaderFailed;
  }
  const NativeFrameFormat format = source.NativeFormat();
  uint16_t highBit = 0;
  if (mode != ConversionMode::Rle && header.GetUInt16(tags::kHighBit, highBit) == DicomStatus::Success &&
      highBit + 1u != format.bitsStored) {
    // The codecs take the low Bits Stored bits of each sample.
    error = "a High Bit of " + std::to_string(highBit) + " with " + std::to_string(format.bitsStored) +
            " bits stored cannot be compressed except by RLE";
    return DCT_STATUS::HeaderFailed;
  }
  auto encoder = CreateFrameEncoder(mode, format, {options.nearLossless, options.compressionRatio});
  if (!encoder) {
    error = encoder.Message();
    return DCT_STATUS::HeaderFailed;
  }
  const EncodedImageDescription& description = (*encoder)->Description();
  SetEncodedHeader(header, description, format.samplesPerPixel);

  CPixelImage destination;
  if (!destination.OpenForStoredFrames(header) || destination.PixelElement() == nullptr) {
    return DCT_STATUS::HeaderFailed;
  }
  // The frame count comes from the file: a table for more frames than any
  // real image has would be written (zeros) before the first frame fails.
  constexpr int32_t kMaxTableFrames = 1 << 20;
  if (source.NumberOfFrames() <= kMaxTableFrames) {
    destination.ReserveOffsetTable(static_cast<uint32_t>(source.NumberOfFrames()));
  }
  if (description.lossy) destination.SetOriginalFrameSize(format.FrameSize());
  DCT_STATUS status = DCT_STATUS::WriteFailed;
  std::string frameError;
  const Status saved = WriteFileAtomically(destinationPath, [&](CFileStream& output) -> Status {
    status = DCT_STATUS::WriteFailed;
    if (!destination.WriteHeader(output)) return Error(ErrorCode::Failure, DescribeConversionStatus(status));
    status = EncodeFrames(source, **encoder, destination, progress, frameError);
    if (status == DCT_STATUS::Success && !destination.FinishWrite()) status = DCT_STATUS::WriteFailed;
    if (status != DCT_STATUS::Success) return Error(ErrorCode::Failure, DescribeConversionStatus(status));
    return Ok();
  });
  if (saved) return DCT_STATUS::Success;
  error = frameError.empty() ? saved.Message() : frameError;
  return status == DCT_STATUS::Success ? DCT_STATUS::WriteFailed : status;
}

}  // namespace quillon
