#include "pixel/PixelDataConverter.h"

#include "base/AtomicFileWriter.h"
#include "base/FileStream.h"
#include "dicom/DicomObject.h"
#include "base/FileSettingsStore.h"
#include "dicom/UidGenerator.h"
#include "dicom/ValueRepresentation.h"
#include "pixel/BaselineJpegFrameDecoder.h"
#include "pixel/FrameDecoder.h"
#include "pixel/FrameDecoderRegistry.h"
#include "pixel/OrderedFramePipeline.h"
#include "pixel/DeflatedConversion.h"
#include "pixel/EncodedConversion.h"
#include "pixel/FrameEncoderRegistry.h"
#include "pixel/PixelCodec.h"
#include "pixel/PixelImage.h"
#include "pixel/RleFrameDecoder.h"

#include <memory>
#include <new>
#include <string>

namespace quillon {

namespace {

constexpr const char* kRleLossless = "1.2.840.10008.1.2.5";
constexpr const char* kJpegBaseline = "1.2.840.10008.1.2.4.50";

// Group 7FE0 besides the pixel data: its group length and the offset tables
// of an encapsulated value describe the pixel data the conversion replaces.
constexpr DicomTag kPixelGroupLength = 0x7FE00000;
constexpr DicomTag kExtendedOffsetTable = 0x7FE00001;
constexpr DicomTag kExtendedOffsetTableLengths = 0x7FE00002;
constexpr DicomTag kEncapsulatedPixelDataValueTotalLength = 0x7FE00003;

void SetTransferSyntax(CDicomObject& object, const char* uid) {
  (void)object.AddString(tags::kTransferSyntaxUid, vr::UI, uid);  // also sets the transfer mode
}

/// A zeroed buffer of `size` bytes, or null when the memory cannot be had.
std::unique_ptr<uint8_t[]> TryAllocate(uint64_t size) {
  try {
    return std::make_unique<uint8_t[]>(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

/// Why `mode` cannot encode the image `object` describes, or success.
Status CheckModeFitsImage(const CDicomObject& object, ConversionMode mode) {
  uint16_t bitsAllocated = 8;
  (void)object.GetUInt16(tags::kBitsAllocated, bitsAllocated);
  CDicomElement* floatPixels = nullptr;
  const bool floatSamples = object.GetElement(0x7FE00008, &floatPixels) == DicomStatus::Success ||
                            object.GetElement(0x7FE00009, &floatPixels) == DicomStatus::Success;
  if (bitsAllocated == 1 || bitsAllocated >= 32 || floatSamples) {
    // Shown through a window, these samples have no display bitmap to
    // code them back from.
    return Error(ErrorCode::Refused, "images of " + std::to_string(bitsAllocated) + " bits allocated" +
                                         (floatSamples ? " in floating point" : "") + " are shown, not converted");
  }
  const bool rle = mode == ConversionMode::Rle || mode == ConversionMode::YbrFullRle;
  if (rle && bitsAllocated % 8 != 0) {
    // RLE compresses whole bytes of each sample; other toolkits cannot
    // decode segments cut from samples of other sizes.
    return Error(ErrorCode::Refused, "RLE needs whole bytes per sample, and Bits Allocated is " +
                                         std::to_string(bitsAllocated));
  }
  return Ok();
}

}  // namespace

const char* DescribeConversionStatus(DCT_STATUS status) {
  switch (status) {
    case DCT_STATUS::Success: return "The conversion succeeded";
    case DCT_STATUS::Failure: return "The source data set could not be read or converted to monochrome";
    case DCT_STATUS::HeaderFailed:
      return "The image cannot be converted this way (the mode cannot hold its samples, or its frames cannot be "
             "read)";
    case DCT_STATUS::OutOfMemory: return "Not enough memory for a frame";
    case DCT_STATUS::ReadFailed: return "The source file or one of its frames could not be read";
    case DCT_STATUS::WriteFailed: return "The destination file could not be written";
    case DCT_STATUS::Cancelled: return "The conversion was cancelled; no destination file was written";
  }
  return "Unknown conversion result";
}

namespace {

uint16_t UInt16Or(const CDicomObject& object, DicomTag tag, uint16_t fallback) {
  uint16_t value = 0;
  return object.GetUInt16(tag, value) == DicomStatus::Success ? value : fallback;
}

/// The frames of `object` can be read: a display codec takes them, or a
/// frame decoder turns them into native samples.
bool FramesReadable(const CDicomObject& object, const std::string& syntax) {
  const bool wideRle = syntax == kRleLossless && UInt16Or(object, tags::kBitsAllocated, 8) != 8;
  return (!wideRle && ChoosePixelCodec(object, 0) != nullptr) || HasFrameDecoder(syntax);
}

}  // namespace

bool CanDecompressPixelData(const CDicomObject& object) {
  std::string syntax;
  if (object.GetString(tags::kTransferSyntaxUid, syntax) != DicomStatus::Success) return false;
  if (syntax == uids::kImplicitVrLittleEndian || syntax == uids::kExplicitVrLittleEndian) return false;
  // Big endian frames are rewritten through the display codec: 8 bits only.
  if (syntax == uids::kExplicitVrBigEndian) return UInt16Or(object, tags::kBitsAllocated, 0) == 8;
  return FramesReadable(object, syntax);
}

bool CanCompressPixelData(const CDicomObject& object) {
  for (const ConversionMode mode : {ConversionMode::Rle, ConversionMode::JpegLossless, ConversionMode::JpegLossy}) {
    if (CanCompressPixelData(object, mode)) return true;
  }
  return false;
}

bool CanCompressPixelData(const CDicomObject& object, ConversionMode mode) {
  std::string syntax;
  (void)object.GetString(tags::kTransferSyntaxUid, syntax);
  const uint16_t bitsAllocated = UInt16Or(object, tags::kBitsAllocated, 0);
  CDicomElement* floatPixels = nullptr;
  if (object.GetElement(0x7FE00008, &floatPixels) == DicomStatus::Success ||
      object.GetElement(0x7FE00009, &floatPixels) == DicomStatus::Success) {
    return false;
  }
  if (mode == ConversionMode::Deflate) return object.IsUncompressed();
  if (!UsesFrameEncoder(mode, bitsAllocated)) {
    return mode != ConversionMode::Uncompressed && bitsAllocated == 8 && FramesReadable(object, syntax);
  }
  if (bitsAllocated != 8 && bitsAllocated != 16 && bitsAllocated != 32) return false;
  const uint16_t samples = UInt16Or(object, tags::kSamplesPerPixel, 1);
  const uint16_t bitsStored = UInt16Or(object, tags::kBitsStored, bitsAllocated);
  std::string photometric;
  (void)object.GetString(tags::kPhotometricInterpretation, photometric);
  // The frames as native samples: uncompressed, or decoded.
  const bool readable = object.IsUncompressed() ? photometric.find("_42") == std::string::npos
                                                : HasFrameDecoder(syntax);
  if (!readable || !HasFrameEncoder(mode)) return false;
  const bool signedSamples = UInt16Or(object, tags::kPixelRepresentation, 0) == 1;
  const NativeFrameFormat format{UInt16Or(object, tags::kColumns, 0), UInt16Or(object, tags::kRows, 0), samples,
                                 bitsAllocated, bitsStored, signedSamples, photometric};
  return static_cast<bool>(CreateFrameEncoder(mode, format));
}

void ApplyTransferSyntaxChoice(const ConversionOptions& options, CDicomObject& object) {
  switch (options.transferSyntaxChoice) {
    case TransferSyntaxChoice::Unchanged: {
      std::string syntax;
      (void)object.GetString(tags::kTransferSyntaxUid, syntax);
      if (syntax != uids::kImplicitVrLittleEndian && syntax != uids::kExplicitVrLittleEndian) {
        SetTransferSyntax(object, uids::kExplicitVrLittleEndian);
      } else {
        SetTransferSyntax(object, syntax.c_str());
      }
      break;
    }
    case TransferSyntaxChoice::Explicit: SetTransferSyntax(object, uids::kExplicitVrLittleEndian); break;
    case TransferSyntaxChoice::Implicit: SetTransferSyntax(object, uids::kImplicitVrLittleEndian); break;
  }
}

bool UpdateImageHeader(const ConversionOptions& options, CDicomObject& object, ConversionMode mode,
                       bool toMonochrome) {
  if (static_cast<uint32_t>(mode) > static_cast<uint32_t>(ConversionMode::RgbPlanar)) return false;
  std::string imageType;
  (void)object.GetString(tags::kImageType, imageType);
  uint16_t bitsAllocated = 0;
  (void)object.GetUInt16(tags::kBitsAllocated, bitsAllocated);
  uint16_t samples = 1;
  if (object.GetUInt16(tags::kSamplesPerPixel, samples) != DicomStatus::Success) {
    // Read as one sample: the result says so, since readers of a
    // compressed result need it to decode.
    samples = 1;
    (void)object.AddUInt16(tags::kSamplesPerPixel, vr::US, samples);
  }
  if (bitsAllocated == 16) return false;
  if (!CheckModeFitsImage(object, mode)) return false;

  if (toMonochrome) {
    if (!options.keepInstanceUid) {
      CFileSettingsStore store;
      const std::string uid = GenerateUID(&store);
      (void)object.AddString(tags::kMediaStorageSopInstanceUid, vr::UI, uid);
      (void)object.AddString(tags::kSopInstanceUid, vr::UI, uid);
    }
    (void)object.AddString(tags::kPhotometricInterpretation, vr::CS, "MONOCHROME2");
    (void)object.RemoveElement(tags::kPlanarConfiguration);
    (void)object.AddUInt16(tags::kSamplesPerPixel, vr::US, 1);
    samples = 1;
  }
  if (imageType.empty() || imageType.find("ORIGINAL") != std::string::npos) {
    (void)object.AddString(tags::kImageType, vr::CS, "DERIVED\\SECONDARY");
  }

  const char* photometric = "RGB";
  int planar = -1;  // -1: leave as it is
  switch (mode) {
    case ConversionMode::Uncompressed: ApplyTransferSyntaxChoice(options, object); break;
    case ConversionMode::YbrFull:
      ApplyTransferSyntaxChoice(options, object);
      photometric = "YBR_FULL";
      planar = 1;
      break;
    case ConversionMode::YbrFullRle:
      SetTransferSyntax(object, kRleLossless);
      photometric = "YBR_FULL";
      planar = 1;
      break;
    case ConversionMode::JpegLossy:
      SetTransferSyntax(object, kJpegBaseline);
      photometric = "YBR_FULL_422";
      // JPEG frames are colour by pixel, and DICOM asks them to say so.
      planar = 0;
      MarkLossyResult(object, "ISO_10918_1");
      break;
    case ConversionMode::Rle:
      SetTransferSyntax(object, kRleLossless);
      planar = 1;
      break;
    case ConversionMode::RgbPixelInterleave:
      ApplyTransferSyntaxChoice(options, object);
      planar = 0;
      break;
    case ConversionMode::RgbPlanar:
      ApplyTransferSyntaxChoice(options, object);
      planar = 1;
      break;
    case ConversionMode::Deflate:  // refused above: it keeps the header
    case ConversionMode::JpegLossless:
    case ConversionMode::JpegLs:
    case ConversionMode::Jpeg2000:
      break;  // refused above: they go through a frame encoder
  }
  if (samples != 1) {
    (void)object.AddString(tags::kPhotometricInterpretation, vr::CS, photometric);
    if (planar >= 0) (void)object.AddUInt16(tags::kPlanarConfiguration, vr::US, static_cast<uint16_t>(planar));
  }
  return true;
}

namespace {

/// Replaces a 24-bit display bitmap by its luminance as an 8-bit display
/// bitmap of the same geometry.
class CMonochromeReducer {
 public:
  CMonochromeReducer(uint32_t columns, uint32_t rows)
      : m_colour(CreatePixelCodec(CodecKind::Native, "RGB", columns, rows, 8, 8, 3, 1, 0)),
        m_grey(CreatePixelCodec(CodecKind::Native, "MONOCHROME2", columns, rows, 8, 8, 1, 0, 0)) {}
  bool IsReady() const { return m_colour && m_grey; }
  /// `planes` holds DisplaySize of the colour codec; the Y plane comes first.
  bool Reduce(const uint8_t* colourBitmap, uint8_t* planes, uint8_t* greyBitmap) const {
    return m_colour->BitmapToYbr(colourBitmap, planes, true) && m_grey->ReverseRows(planes, greyBitmap);
  }

 private:
  std::unique_ptr<CPixelCodec> m_colour;
  std::unique_ptr<CPixelCodec> m_grey;
};

/// Reads every frame of `source`, reduced to its luminance when asked,
/// and appends it to `destination`.
DCT_STATUS CopyFrames(CPixelImage& source, CPixelImage& destination, bool toMonochrome,
                      const ConversionProgress& progress) {
  const uint64_t bufferSize = 2 * source.FrameSize();
  if (bufferSize == 0 || bufferSize > 2 * CPixelCodec::kMaxDisplaySize) return DCT_STATUS::OutOfMemory;
  std::unique_ptr<uint8_t[]> frame = TryAllocate(bufferSize);
  if (!frame) return DCT_STATUS::OutOfMemory;
  std::unique_ptr<uint8_t[]> planes;
  std::unique_ptr<uint8_t[]> grey;
  std::unique_ptr<CMonochromeReducer> reducer;
  if (toMonochrome) {
    reducer = std::make_unique<CMonochromeReducer>(source.Columns(), source.Rows());
    if (!reducer->IsReady()) return DCT_STATUS::Failure;
    planes = TryAllocate(bufferSize);
    grey = TryAllocate(bufferSize);
    if (!planes || !grey) return DCT_STATUS::OutOfMemory;
  }
  const int32_t frames = source.NumberOfFrames();
  for (int32_t n = 0; n < frames; ++n) {
    uint64_t length = 0;
    if (source.ReadFrame(n, frame.get(), bufferSize, length) != FrameStatus::Success) return DCT_STATUS::ReadFailed;
    const uint8_t* bitmap = frame.get();
    if (reducer) {
      if (!reducer->Reduce(frame.get(), planes.get(), grey.get())) return DCT_STATUS::Failure;
      bitmap = grey.get();
    }
    if (destination.WriteFrame(bitmap) != FrameStatus::Written) return DCT_STATUS::WriteFailed;
    if (progress && !progress(n + 1, frames)) return DCT_STATUS::Cancelled;
  }
  return DCT_STATUS::Success;
}

/// Sets the header of a decompression to native samples: an uncompressed
/// syntax, the photometric interpretation of the decoded samples, colour
/// by pixel. The image is the same (decoding is exact or, for a lossy
/// source, what any decoder gives), so its type and instance stay.
void SetNativeHeader(const ConversionOptions& options, CDicomObject& object, const NativeFrameFormat& format) {
  ApplyTransferSyntaxChoice(options, object);
  (void)object.AddString(tags::kPhotometricInterpretation, vr::CS, format.photometric);
  if (format.samplesPerPixel > 1) (void)object.AddUInt16(tags::kPlanarConfiguration, vr::US, 0);
}

/// Decodes every frame of `source` to native samples and appends it to
/// `destination` as it is. Frames are read and written in order on this
/// thread and decoded on all cores: the codecs, not the disk, are what a
/// decompression waits for. Only a few frames are in memory at a time.
DCT_STATUS CopyNativeFrames(CPixelImage& source, const IFrameDecoder& decoder, CPixelImage& destination,
                            const ConversionProgress& progress, std::string& error) {
  const uint64_t size = decoder.OutputFormat().FrameSize();
  if (size == 0 || size > CPixelCodec::kMaxDisplaySize) return DCT_STATUS::OutOfMemory;
  const int32_t frames = source.NumberOfFrames();
  DCT_STATUS failure = DCT_STATUS::ReadFailed;  // the step that stopped, for the caller's code
  const COrderedFramePipeline pipeline(COrderedFramePipeline::DefaultWorkers(), 2 * size);
  const Status run = pipeline.Run(
      frames,
      [&](int32_t n, std::vector<uint8_t>& encoded) -> Status {
        if (source.ReadEncodedFrame(n, encoded) == FrameStatus::Success) return Ok();
        failure = DCT_STATUS::ReadFailed;
        return Error(ErrorCode::Io, "frame " + std::to_string(n + 1) + " could not be read");
      },
      [&](const std::vector<uint8_t>& encoded, std::vector<uint8_t>& native) -> Status {
        try {
          native.resize(size);
        } catch (const std::bad_alloc&) {
          return Error(ErrorCode::OutOfMemory, "no memory for a decoded frame");
        }
        return decoder.Decode(encoded.data(), encoded.size(), native.data(), native.size());
      },
      [&](int32_t n, const std::vector<uint8_t>& native) {
        return AppendConvertedFrame(destination, n, frames, native, progress, failure);
      });
  if (run) return DCT_STATUS::Success;
  // A frame that does not decode is one that could not be read: the
  // default above, since only the read and write steps set it.
  if (failure == DCT_STATUS::ReadFailed) error = run.Message();
  return failure;
}

/// For decompressing an 8-bit RLE or JPEG Baseline image, which the
/// display path decodes one frame at a time: a frame decoder that gives
/// the very samples the display path writes, so the frames can be decoded
/// on all cores. Null where the two could differ: colour written by plane,
/// RLE colour other than RGB (the display path turns it into RGB), images
/// other than 8-bit unsigned.
std::unique_ptr<IFrameDecoder> EightBitFrameDecoder(const CPixelImage& source) {
  // Without a frame decoder of its own, the image attributes as declared.
  const NativeFrameFormat format = source.NativeFormat();
  if (format.samplesPerPixel == 3 && source.PlanarConfiguration() != 0) return nullptr;
  if (!CBaselineJpegFrameDecoder::Decodes(format)) return nullptr;  // 8-bit unsigned, 1 or 3 samples
  std::string syntax;
  (void)source.Object()->GetString(tags::kTransferSyntaxUid, syntax);
  if (syntax == kJpegBaseline) return std::make_unique<CBaselineJpegFrameDecoder>(format);
  const bool plain = format.photometric == "MONOCHROME1" || format.photometric == "MONOCHROME2" ||
                     (format.samplesPerPixel == 3 && format.photometric == "RGB");
  if (syntax == kRleLossless && plain) return std::make_unique<CRleFrameDecoder>(format);
  return nullptr;
}

/// Writes the converted file to `output`: the header, every frame of
/// `source` recoded by `destination` (or decoded by `decoder` and stored
/// as it is), and what follows the pixel data. `frameError` says why a
/// frame could not be read or decoded, where the frame copy knows it.
DCT_STATUS WriteConverted(CPixelImage& source, CPixelImage& destination, bool toMonochrome,
                          const IFrameDecoder* decoder, const ConversionProgress& progress, CStream& output,
                          std::string& frameError) {
  if (!destination.WriteHeader(output)) return DCT_STATUS::WriteFailed;
  if (const DCT_STATUS copied = decoder != nullptr
                                    ? CopyNativeFrames(source, *decoder, destination, progress, frameError)
                                    : CopyFrames(source, destination, toMonochrome, progress);
      copied != DCT_STATUS::Success) {
    return copied;
  }
  return destination.FinishWrite() ? DCT_STATUS::Success : DCT_STATUS::WriteFailed;
}

DCT_STATUS Convert(const ConversionOptions& options, const std::string& sourcePath,
                   const std::string& destinationPath, ConversionMode mode, bool toMonochrome,
                   const ConversionProgress& progress, std::string& error) {
  CPixelImage source;
  source.SetQuality(options.quality);
  // The modes of the frame encoders read native frames, which need no
  // display codec; RLE goes that way for images of 16 or 32 bits.
  const bool encoderOnly = UsesFrameEncoder(mode, 8);
  bool sourceOpened = encoderOnly ? source.OpenFileForNativeFrames(sourcePath) : source.OpenFile(sourcePath);
  if (!sourceOpened && mode == ConversionMode::Rle) {
    // An image no display codec shows may still be coded from native frames.
    sourceOpened = source.OpenFileForNativeFrames(sourcePath) && UsesFrameEncoder(mode, source.BitsAllocated());
    if (!sourceOpened) (void)source.OpenFile(sourcePath);  // for its own error
  }
  if (!sourceOpened) {
    error = source.LastError();
    return source.Object() != nullptr && source.Stream() != nullptr ? DCT_STATUS::Failure : DCT_STATUS::ReadFailed;
  }
  CDicomObject header;
  if (!header.CopyFrom(source.Object())) return DCT_STATUS::Failure;
  header.SetSopClassUid(source.Object()->GetSopClassUid());
  if (uint64_t{source.BitsAllocated()} * source.SamplesPerPixel() / 8 == 0) toMonochrome = false;
  // Only colour images can be reduced to their luminance.
  if (source.SamplesPerPixel() != 3) toMonochrome = false;
  for (const DicomTag tag : {tags::kPixelData, kPixelGroupLength, kExtendedOffsetTable, kExtendedOffsetTableLengths,
                             kEncapsulatedPixelDataValueTotalLength}) {
    (void)header.RemoveElement(tag);
  }
  if (UsesFrameEncoder(mode, source.BitsAllocated())) {
    if (toMonochrome) {
      error = "reduction to monochrome is made only with the 8-bit modes";
      return DCT_STATUS::HeaderFailed;
    }
    return ConvertWithFrameEncoder(options, source, header, mode, destinationPath, progress, error);
  }
  // The syntaxes decoded to native samples decompress losslessly at any
  // bit depth; the display path (8-bit only) does the rest.
  const bool native = mode == ConversionMode::Uncompressed && !toMonochrome && source.FrameDecoder() != nullptr;
  if (native) {
    SetNativeHeader(options, header, source.FrameDecoder()->OutputFormat());
  } else {
    if (Status fits = CheckModeFitsImage(header, mode); !fits) {
      error = fits.Message();
      return DCT_STATUS::HeaderFailed;
    }
    if (!UpdateImageHeader(options, header, mode, toMonochrome)) return DCT_STATUS::HeaderFailed;
  }

  // The display path's header, with the frames decoded on all cores.
  const std::unique_ptr<IFrameDecoder> eightBit =
      !native && mode == ConversionMode::Uncompressed && !toMonochrome ? EightBitFrameDecoder(source) : nullptr;
  const IFrameDecoder* decoder = native ? source.FrameDecoder() : eightBit.get();

  CPixelImage destination;
  destination.SetQuality(options.quality);
  const bool opened = decoder != nullptr ? destination.OpenForStoredFrames(header)
                                         : destination.OpenObject(header) && destination.Codec() != nullptr;
  if (!opened || destination.PixelElement() == nullptr) return DCT_STATUS::HeaderFailed;
  if (mode == ConversionMode::JpegLossy) {
    // The ratio is of the 8-bit samples the JPEG frames stand for.
    destination.SetOriginalFrameSize(uint64_t{destination.Columns()} * destination.Rows() *
                                     destination.SamplesPerPixel());
  }
  // Through the one atomic save: a failed, cancelled or killed conversion
  // leaves no file behind.
  DCT_STATUS status = DCT_STATUS::WriteFailed;
  std::string frameError;
  const Status saved = WriteFileAtomically(destinationPath, [&](CFileStream& output) -> Status {
    status = WriteConverted(source, destination, toMonochrome, decoder, progress, output, frameError);
    if (status != DCT_STATUS::Success) return Error(ErrorCode::Failure, DescribeConversionStatus(status));
    return Ok();
  });
  if (saved) return DCT_STATUS::Success;
  // A write failure says why itself; a read failure by what the source met.
  if (status == DCT_STATUS::Success || status == DCT_STATUS::WriteFailed) {
    error = saved.Message();
  } else {
    error = frameError.empty() ? source.LastError() : frameError;
  }
  return status == DCT_STATUS::Success ? DCT_STATUS::WriteFailed : status;
}

}  // namespace

DCT_STATUS ConvertPixelDataFile(const ConversionOptions& options, const std::string& sourcePath,
                                const std::string& destinationPath, ConversionMode mode, bool toMonochrome,
                                const ConversionProgress& progress, std::string* writeError) {
  std::string error;
  const DCT_STATUS status = mode == ConversionMode::Deflate
                                ? ConvertToDeflated(sourcePath, destinationPath, progress, error)
                                : Convert(options, sourcePath, destinationPath, mode, toMonochrome, progress, error);
  if (writeError != nullptr) *writeError = status == DCT_STATUS::Success ? std::string() : error;
  return status;
}

}  // namespace quillon
