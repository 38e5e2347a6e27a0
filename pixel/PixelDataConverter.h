/// \file
/// Re-encoding the pixel data of a file into a new file: compressed (RLE,
/// baseline JPEG, lossless JPEG, JPEG-LS, JPEG 2000), decompressed, between RGB and YBR_FULL, between colour
/// by pixel and by plane, or reduced to monochrome. Works file to file,
/// frame by frame, through two CPixelImage objects, so a large multi-frame
/// file is never held whole in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

class CDicomObject;

/// Result of a conversion.
enum class DCT_STATUS : uint32_t {
  /// The source data set could not be read, or a frame could not be turned
  /// into monochrome.
  Failure = 0,
  Success = 1,
  /// The header could not be updated (16-bit images are never converted) or
  /// the output could not be prepared from it.
  HeaderFailed = 2,
  /// No memory for a frame buffer.
  OutOfMemory = 3,
  /// The source could not be opened, or one of its frames not read.
  ReadFailed = 4,
  /// The destination could not be created, written or finished.
  WriteFailed = 5,
  /// The progress callback asked to stop; no destination was written.
  Cancelled = 6,
};

/// What a result code means, in words for the user.
const char* DescribeConversionStatus(DCT_STATUS status);

/// What the pixel data becomes.
enum class ConversionMode : uint32_t {
  Uncompressed = 0,
  YbrFull = 1,
  YbrFullRle = 2,
  JpegLossy = 3,
  Rle = 4,
  RgbPixelInterleave = 5,
  RgbPlanar = 6,
  /// The data set unchanged, its pixel data native, under the deflated
  /// transfer syntax (explicit VR little endian, compressed as a whole).
  Deflate = 7,
  /// JPEG Lossless, First-Order Prediction (2 to 16 bits stored).
  JpegLossless = 8,
  /// JPEG-LS, lossless or near-lossless (ConversionOptions::nearLossless).
  JpegLs = 9,
  /// JPEG 2000, lossless or lossy (ConversionOptions::compressionRatio).
  Jpeg2000 = 10,
};

/// Transfer syntax of an uncompressed result.
enum class TransferSyntaxChoice : uint32_t {
  Unchanged = 0,  ///< keep implicit or explicit VR little endian, else explicit
  Explicit = 1,   ///< explicit VR little endian
  Implicit = 2,   ///< implicit VR little endian
};

struct ConversionOptions {
  int32_t quality = 85;
  TransferSyntaxChoice transferSyntaxChoice = TransferSyntaxChoice::Unchanged;
  /// Keep the SOP Instance UID when reducing to monochrome (a new one is
  /// made otherwise: the result is a different image).
  bool keepInstanceUid = false;
  /// JPEG-LS: the largest error allowed per sample, 0 (lossless) to 255.
  int32_t nearLossless = 0;
  /// JPEG 2000: the compression ratio aimed at, above 1; 0 for lossless.
  double compressionRatio = 0;
};

/// Called after each frame with the frames done and the frames in all;
/// returns whether to go on. It runs on the converting thread: an editor
/// that converts on a worker thread polls its cancel flag here.
using ConversionProgress = std::function<bool(int32_t done, int32_t total)>;

/// Converts `sourcePath` into `destinationPath`. The destination is written
/// through a temporary file in its folder and appears only when the whole
/// conversion succeeded; on failure or when `progress` returns false
/// (Cancelled) nothing is left behind. The source is only read. Every
/// element of the source is carried over, those after the pixel data
/// included, except the pixel data itself and what the conversion rewrites
/// (the header changes of UpdateImageHeader, and the group length and
/// offset tables of group 7FE0, which described the old pixel data).
/// Conversions may run on worker threads, several at once. On failure,
/// `writeError` (when given) says why where that is known: the destination
/// is a folder or a device, its folder is missing, the disk is full; the
/// source's transfer syntax cannot be decoded, a frame is damaged, a mode
/// cannot encode the image, the pixel data is shorter than the image
/// declared. Decompressing (Uncompressed, no monochrome) a syntax with a
/// frame decoder keeps the samples as decoded, at any bit depth.
///
/// RLE of images of 16 or 32 bits allocated, JPEG Lossless, JPEG-LS and JPEG
/// 2000 encode native samples, read at any depth from an uncompressed or a
/// decoded source, through the mode's IFrameEncoder: one fragment per
/// frame, a filled Basic Offset Table, colour by pixel, the sample
/// description unchanged. A lossy result (baseline JPEG included) is a new
/// image: new SOP Instance UID, Lossy Image Compression "01", its ratio
/// (original over compressed size) and method appended to those the source
/// had.
DCT_STATUS ConvertPixelDataFile(const ConversionOptions& options, const std::string& sourcePath,
                                const std::string& destinationPath, ConversionMode mode, bool toMonochrome,
                                const ConversionProgress& progress = {}, std::string* writeError = nullptr);

/// Edits the image header of `object` for `mode` (transfer syntax,
/// photometric interpretation, planar configuration, lossy flag, image
/// type, and for monochrome samples per pixel and new instance UIDs).
/// False for 16-bit images and unknown modes.
bool UpdateImageHeader(const ConversionOptions& options, CDicomObject& object, ConversionMode mode,
                       bool toMonochrome);

/// Whether a conversion of the pixel data of `object` can succeed, so the
/// editor offers only those. Decompress: a compressed syntax whose frames
/// we decode (8-bit RLE and baseline JPEG through the display codecs, the
/// others to native samples at any depth). Compress: integer samples of
/// 8, 16 or 32 bits allocated whose frames we can read; with a mode, whether
/// that mode can hold them (the 8-bit display modes need 8 bits, JPEG
/// Lossless at most 16, an encoder must exist).
bool CanDecompressPixelData(const CDicomObject& object);
bool CanCompressPixelData(const CDicomObject& object);
bool CanCompressPixelData(const CDicomObject& object, ConversionMode mode);

/// Sets (0002,0010) and the transfer mode for an uncompressed result.
void ApplyTransferSyntaxChoice(const ConversionOptions& options, CDicomObject& object);

}  // namespace quillon
