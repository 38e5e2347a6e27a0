/// \file
/// CBaselineJpegCodec — encodes and decodes 8-bit baseline sequential JPEG
/// images (ITU-T T.81, Huffman coding), the format of the DICOM transfer
/// syntax 1.2.840.10008.1.2.4.50. The coding itself is libjpeg-turbo's
/// (through its TurboJPEG API, with its SIMD paths); this layer adds what a
/// DICOM reader needs on top of it: every size is checked against the
/// buffers before the library touches them, damaged data is an error rather
/// than a warning, and the quality of a frame is estimated from its
/// quantisation tables so that a recompression can keep it.
///
/// One call works on one JpegRequest, a plain record the caller fills in
/// and the codec completes. A codec object keeps its library handles (and
/// a scratch buffer) from one frame to the next; it is not thread-safe.
/// A failed operation never spoils the next one.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

/// Outcome of a codec operation. Anything but Success is a failure; the
/// codec's LastError() then says what went wrong.
enum class JpegStatus : uint32_t {
  /// The operation completed.
  Success = 0,
  /// The request itself is unusable: a null buffer, a zero or oversized
  /// dimension, a channel count other than 1 or 3, a colour order that does
  /// not match the channel count, or a quality outside 1 … 100.
  InvalidRequest = 1,
  /// A buffer is too small: the compressed image does not fit in the JPEG
  /// capacity, or the bitmap capacity is below (row pitch × height). Nothing
  /// is written past either buffer.
  BufferTooSmall = 2,
  /// The JPEG data is damaged: no start-of-image marker, a marker segment
  /// running past the data, a truncated or corrupt scan. Warnings of the
  /// JPEG library count as damage.
  CorruptData = 3,
  /// A well-formed JPEG this codec does not handle: a process other than
  /// baseline or extended sequential Huffman, a sample precision other than
  /// 8 bits, a component count other than 1 or 3, or a CMYK/YCCK image.
  Unsupported = 4,
  /// The JPEG image's width or height differs from the bitmap's.
  SizeMismatch = 5,
  /// The JPEG library could not be set up or failed while encoding.
  LibraryFailure = 6,
};

/// Byte order of the samples of one bitmap pixel.
enum class JpegColourOrder : uint32_t {
  Grey = 0,  ///< one byte per pixel
  Rgb = 1,   ///< red, green, blue
  Bgr = 2,   ///< blue, green, red (the order of a display bitmap)
};

/// Colour space of the components of a JPEG image.
enum class JpegColourSpace : uint32_t {
  Unknown = 0,
  Grey = 1,
  YCbCr = 2,
  Rgb = 3,   ///< three components stored without colour transform
  Cmyk = 4,  ///< four components: never encoded, refused when decoding
  Ycck = 5,  ///< four components: never encoded, refused when decoding
};

/// Chrominance subsampling of a JPEG image.
enum class JpegSubsampling : uint32_t {
  None = 0,   ///< every component at full resolution (and every grey image)
  S422 = 1,   ///< chrominance halved horizontally: what colour images are written with
  S420 = 2,   ///< chrominance halved in both directions
  Other = 3,  ///< any other sampling
};

/// One encode or decode. Value-initialise it, fill in the fields the
/// operation reads, and read back the ones it reports.
struct JpegRequest {
  // ---- The bitmap (uncompressed side) ----

  /// The image to encode (WriteImage reads it).
  const uint8_t* bitmapIn = nullptr;
  /// Where the decoded image goes (ReadImage writes it).
  uint8_t* bitmapOut = nullptr;
  /// Bytes at bitmapOut; ReadImage refuses to decode when the image with its
  /// padding (row pitch × height) would not fit.
  uint64_t bitmapCapacity = 0;
  uint32_t bitmapWidth = 0;   ///< pixels per row
  uint32_t bitmapHeight = 0;  ///< rows
  /// Bytes after the last pixel of each row, never read or written; the row
  /// pitch is bitmapWidth × bitmapChannels + bitmapRowPadding.
  uint32_t bitmapRowPadding = 0;
  /// 1 (grey) or 3 (colour). When decoding, a grey JPEG into 3 channels
  /// repeats the grey level and a colour JPEG into 1 channel gives its
  /// luminance.
  uint32_t bitmapChannels = 0;
  JpegColourOrder bitmapColourOrder = JpegColourOrder::Grey;
  /// The first row in memory is the image's last row (a display bitmap).
  bool bitmapBottomUp = false;
  /// The container says the three components are red, green and blue as
  /// they stand (a DICOM Photometric Interpretation of RGB). ReadHeader and
  /// ReadImage then take them so unless a JFIF or Adobe marker says YCbCr:
  /// libjpeg would guess YCbCr from the component ids of a frame with no
  /// such marker and convert colours the encoder never transformed.
  bool componentsDeclaredRgb = false;

  // ---- The JPEG data (compressed side) ----

  /// The JPEG data to read (ReadHeader, ReadImage) and its length in bytes.
  const uint8_t* jpegIn = nullptr;
  uint64_t jpegInLength = 0;
  /// Where WriteImage puts the JPEG data, and how many bytes it may use.
  uint8_t* jpegOut = nullptr;
  uint64_t jpegOutCapacity = 0;
  /// Bytes written by WriteImage.
  uint64_t jpegOutLength = 0;

  // ---- Image parameters (set by WriteImage, reported by ReadHeader and
  //      ReadImage) ----

  uint32_t jpegWidth = 0;
  uint32_t jpegHeight = 0;
  uint32_t jpegChannels = 0;  ///< number of components
  JpegColourSpace jpegColourSpace = JpegColourSpace::Unknown;
  JpegSubsampling jpegSubsampling = JpegSubsampling::None;
  /// WriteImage: the IJG quality, 1 … 100. ReadHeader and ReadImage: the IJG
  /// quality whose scaled standard luminance table comes closest to the
  /// frame's luminance table; 0 when the frame holds no such table before
  /// its first scan.
  int32_t quality = 0;
};

/// What the marker segments before the first scan say about a JPEG image,
/// read directly from the data (the JPEG library does not expose the
/// quantisation tables or the coding process).
struct JpegFrameInfo {
  uint8_t frameMarker = 0;  ///< second byte of the SOFn marker (0xC0 for baseline)
  uint32_t precision = 0;   ///< bits per sample
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t components = 0;
  /// Quantisation table of the first component (the luminance one), in
  /// natural (row-major) order; valid when hasLuminanceTable.
  std::array<uint16_t, 64> luminanceTable{};
  bool hasLuminanceTable = false;
  /// A JFIF segment (APP0 "JFIF"): its components are YCbCr or grey.
  bool jfifMarker = false;
  /// An Adobe segment (APP14 "Adobe"), and its colour transform (0: none,
  /// 1: YCbCr, 2: YCCK); -1 without one.
  int32_t adobeTransform = -1;
};

class CBaselineJpegCodec {
 public:
  CBaselineJpegCodec();
  ~CBaselineJpegCodec();
  CBaselineJpegCodec(const CBaselineJpegCodec&) = delete;
  CBaselineJpegCodec& operator=(const CBaselineJpegCodec&) = delete;

  /// Encodes the whole bitmap as one baseline JPEG image of the same size:
  /// one channel gives a grey image, three channels a YCbCr image with 4:2:2
  /// subsampling. Sets jpegOutLength and the image parameters. When the data
  /// does not fit in jpegOutCapacity the result is BufferTooSmall and no
  /// byte past the capacity is written.
  [[nodiscard]] JpegStatus WriteImage(JpegRequest& request);
  /// Reads the parameters of the JPEG data (size, components, colour space,
  /// subsampling, estimated quality) without decoding it. Fails unless the
  /// data is a JPEG this codec can decode.
  [[nodiscard]] JpegStatus ReadHeader(JpegRequest& request);
  /// Decodes the whole image into the bitmap, after checking the header
  /// again (it also reports the parameters): the JPEG's size must equal the
  /// bitmap's, and the padded bitmap must fit in bitmapCapacity. Padding
  /// bytes are left untouched.
  [[nodiscard]] JpegStatus ReadImage(JpegRequest& request);

  /// What went wrong in the last failed operation, for messages.
  const std::string& LastError() const { return m_lastError; }

  /// Walks the marker segments of `data` up to the first scan. Success, or
  /// CorruptData for data that is not a well-formed JPEG stream (a missing
  /// start-of-image, a segment running past the data, a malformed frame or
  /// table segment, no frame header before the scan); `error` then says
  /// which segment at which offset.
  [[nodiscard]] static JpegStatus ScanFrame(const uint8_t* data, uint64_t length, JpegFrameInfo& info,
                                            std::string& error);
  /// The IJG quality (1 … 100) whose scaling of the standard luminance table
  /// (ITU-T T.81 Annex K, as libjpeg scales it for baseline) is closest to
  /// `table` (natural order) by the sum of absolute differences.
  static int32_t EstimateQuality(const std::array<uint16_t, 64>& table);
  /// The standard luminance table as libjpeg scales it for `quality`
  /// (clamped to 1 … 100), in natural order.
  static std::array<uint16_t, 64> ScaledLuminanceTable(int32_t quality);

 private:
  struct HandleDeleter {
    void operator()(void* handle) const;
  };
  using Handle = std::unique_ptr<void, HandleDeleter>;

  /// Checks the request's JPEG input and reads its parameters into it.
  /// `keepsComponents`, when given, is set when TurboJPEG would convert
  /// from YCbCr where the request's components are to stay as coded.
  JpegStatus InspectHeader(JpegRequest& request, bool* keepsComponents = nullptr);
  /// Decodes a three-component image without colour conversion (our own
  /// DCT decoder, which interpolates as libjpeg does) into the bitmap.
  JpegStatus ReadComponentsAsCoded(JpegRequest& request, uint64_t pitch);
  JpegStatus Fail(JpegStatus status, std::string message);
  /// The library error text of `handle`, or a fallback.
  static std::string LibraryError(void* handle);

  /// Made on the first encode or decode and reused for every later frame;
  /// dropped after a library failure (a failed TurboJPEG handle can carry
  /// its state into the next image) and made again on the next call.
  Handle m_compressor;
  Handle m_decompressor;
  /// Encoder output when the caller's buffer is below the library's
  /// worst-case bound; kept for the next frame.
  std::vector<uint8_t> m_scratch;
  std::string m_lastError;
};

}  // namespace quillon
