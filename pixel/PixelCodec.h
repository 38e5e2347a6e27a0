/// \file
/// CPixelCodec — the pixel description of one image (size, samples, bits,
/// photometric interpretation) and the conversions between a stored frame
/// (as in the Pixel Data element) and a display bitmap (bottom-up rows of
/// 8- or 24-bit pixels, each row padded to a multiple of 4 pixels). The base
/// class handles the uncompressed transfer syntaxes; the RLE and JPEG codecs
/// derive from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

/// What a codec converts, fixed at construction from the photometric
/// interpretation, the planar configuration and the bytes per pixel.
enum class PixelFormat : uint32_t {
  RgbByPixel = 0,
  RgbByPlane = 1,
  Reserved2 = 2,  ///< never produced; converted like Monochrome2Byte
  Reserved3 = 3,  ///< never produced; no conversion exists
  YbrFullByPixel = 4,
  YbrFullByPlane = 5,
  Monochrome2Byte = 6,  ///< MONOCHROME2, one byte per pixel
  Monochrome1Byte = 7,  ///< MONOCHROME1, one byte per pixel
  Monochrome2Word = 8,  ///< MONOCHROME2, more than one byte per pixel
  Monochrome1Word = 9,  ///< MONOCHROME1, more than one byte per pixel
  PaletteColor = 10,
  Unsupported = 11,  ///< any other photometric interpretation
  YbrFull422 = 12,     ///< YBR_FULL_422: Y, Y, Cb, Cr for each two pixels
  YbrPartial422 = 13,  ///< YBR_PARTIAL_422: the same, in the reduced ranges
};

/// How the JPEG codec lays out the bitmap it decodes.
enum class BitmapOrder : int32_t {
  Rgb = 0,          ///< red, green, blue
  Bgr = 2,          ///< blue, green, red
  BgrBottomUp = 3,  ///< blue, green, red, rows reversed after decoding
};

/// Kinds of codec CreatePixelCodec makes.
enum class CodecKind : int32_t { Native = 0, Jpeg = 1, Rle = 2 };

class CPixelCodec {
 public:
  /// Largest display frame accepted, in bytes. Image attributes come from
  /// untrusted files; a frame beyond this is refused rather than allocated.
  static constexpr uint64_t kMaxDisplaySize = uint64_t{1} << 30;

  /// Derives the aligned width, the display size, the format and the
  /// default window from the attributes, and makes sure the process-wide
  /// colour tables exist. The photometric interpretation is compared
  /// exactly (case-sensitive, no trimming).
  CPixelCodec(std::string photometric, uint32_t columns, uint32_t rows, uint32_t bytesPerPixel,
              uint32_t bitsAllocated, uint32_t bitsStored, uint32_t planar);
  CPixelCodec(const CPixelCodec&) = delete;
  CPixelCodec& operator=(const CPixelCodec&) = delete;
  virtual ~CPixelCodec();

  /// Display bitmap → stored frame. The base class writes the stored frame
  /// for the uncompressed syntaxes and reports the nominal display size as
  /// `outLength`; false when `outCapacity` is below the display size or the
  /// format has no conversion.
  [[nodiscard]] virtual bool Compress(const uint8_t* bitmap, uint8_t* out, uint64_t outCapacity,
                                      uint64_t& outLength);
  /// Stored frame → display bitmap of DisplaySize() bytes. False when the
  /// format has no conversion or the stored data is unusable.
  [[nodiscard]] virtual bool Decompress(const uint8_t* stored, uint64_t storedLength, uint8_t* bitmap);
  virtual bool IsLossy() const { return false; }
  virtual bool IsCompressed() const { return false; }

  /// True when the attributes describe a frame this codec can hold: non-zero
  /// size, bytes per pixel from 1 to 6 or 8, display size within
  /// kMaxDisplaySize.
  bool IsUsable() const;

  /// How a grey sample holds its value: Bits Stored bits ending at
  /// `highBit` (0028,0102), the bits around them not part of it, in two's
  /// complement when `signedSamples` (Pixel Representation 1). The window
  /// reads samples this way (a codec not told so takes High Bit = Bits
  /// Stored − 1, unsigned); a High Bit that does not fit Bits Stored and
  /// Bits Allocated counts as Bits Stored − 1. Resets the window to the
  /// default for the samples (see DefaultWindow).
  void SetSampleLayout(uint32_t highBit, bool signedSamples);
  bool SignedSamples() const { return m_signedSamples; }
  /// Grey samples of 32 or 64 bits are IEEE floating point (Float or
  /// Double Float Pixel Data), not integers.
  void SetFloatSamples(bool floatSamples) { m_floatSamples = floatSamples; }
  bool FloatSamples() const { return m_floatSamples; }
  /// The window a grey image is first shown with: the whole range Bits
  /// Stored can hold, so nothing is clipped — width 2^BitsStored, centred
  /// on the middle of the unsigned range, or on 0 for signed samples (a CT
  /// image in Hounsfield units: air dark, water mid-grey, bone bright).
  /// Colour and unknown formats have none (0, 0).
  void DefaultWindow(int32_t& width, int32_t& center) const;

  /// The window grey samples are shown through. Samples of 32 bits and
  /// more are shown over each frame's own range until a window is set.
  void SetWindow(int32_t width, int32_t center) {
    m_windowWidth = width;
    m_windowCenter = center;
    m_windowFromFrame = false;
  }
  void GetWindow(int32_t& width, int32_t& center) const {
    width = m_windowWidth;
    center = m_windowCenter;
  }
  /// When set, every grey frame decoded also leaves its samples' values in
  /// `sink` (top-down rows of Columns values, sign-extended when signed):
  /// a viewer reads values under the cursor and windows from them without
  /// decoding the frame again. Null stops it.
  void SetSampleSink(std::vector<int32_t>* sink) { m_sampleSink = sink; }

  uint32_t Columns() const { return m_columns; }
  /// Columns rounded up to a multiple of 4: the pixels of one bitmap row.
  uint32_t AlignedColumns() const { return m_alignedColumns; }
  uint32_t Rows() const { return m_rows; }
  uint32_t BytesPerPixel() const { return m_bytesPerPixel; }
  uint32_t BitsAllocated() const { return m_bitsAllocated; }
  uint32_t BitsStored() const { return m_bitsStored; }
  /// AlignedColumns × Rows × BytesPerPixel.
  uint64_t DisplaySize() const { return m_displaySize; }
  const std::string& Photometric() const { return m_photometric; }
  PixelFormat Format() const { return m_format; }
  BitmapOrder GetBitmapOrder() const { return m_bitmapOrder; }

  // ---- Conversions between a stored frame and a display bitmap ----
  // Each uses this codec's geometry, never reads or writes a bitmap row's
  // padding pixels, and returns false for null buffers or a geometry it
  // cannot convert.

  /// Stored RGB (by pixel or by plane) → 24-bit blue-green-red bitmap.
  bool RgbToBitmap(const uint8_t* stored, uint8_t* bitmap, bool byPlane) const;
  /// 24-bit bitmap → stored RGB.
  bool BitmapToRgb(const uint8_t* bitmap, uint8_t* stored, bool byPlane) const;
  /// Stored YBR_FULL → 24-bit bitmap, through the integer colour tables.
  bool YbrToBitmap(const uint8_t* stored, uint8_t* bitmap, bool byPlane) const;
  /// 24-bit bitmap → stored YBR_FULL, through the integer colour tables.
  bool BitmapToYbr(const uint8_t* bitmap, uint8_t* stored, bool byPlane) const;
  /// Single-sample stored rows (top-down, Columns pixels) → bitmap rows
  /// (bottom-up, AlignedColumns pixels): the decompress direction.
  bool ReverseRows(const uint8_t* from, uint8_t* to) const;
  /// Bitmap rows → stored rows, the compress direction. The two layouts
  /// have different row strides unless Columns is a multiple of 4, so one
  /// function cannot serve both directions.
  bool ReverseRowsToStored(const uint8_t* bitmap, uint8_t* stored) const;
  /// 8- or 16-bit grey stored frame → 8-bit bitmap through the window,
  /// each sample taken as its Bits Stored bits (sign-extended when signed).
  bool WindowToBitmap(const uint8_t* stored, uint8_t* bitmap) const;
  /// Flips a buffer top to bottom in place: rows of AlignedColumns ×
  /// BytesPerPixel bytes, or, with `planes` and more than one byte per
  /// pixel, each of three planes of Columns × Rows bytes.
  bool FlipInPlace(uint8_t* buffer, bool planes) const;

 protected:
  /// The codec's scratch buffer of DisplaySize() bytes, allocated on first
  /// use and kept; null when it cannot be allocated.
  uint8_t* WorkBuffer();

 private:

  uint32_t m_columns;
  uint32_t m_alignedColumns;
  uint32_t m_rows;
  uint32_t m_bytesPerPixel;
  uint32_t m_bitsAllocated;
  uint32_t m_bitsStored;
  uint64_t m_displaySize;
  std::string m_photometric;
  BitmapOrder m_bitmapOrder = BitmapOrder::BgrBottomUp;
  PixelFormat m_format;
  std::unique_ptr<uint8_t[]> m_workBuffer;
  std::vector<int32_t>* m_sampleSink = nullptr;
  int32_t m_windowWidth = 0;
  int32_t m_windowCenter = 0;
  uint32_t m_highBit;
  bool m_signedSamples = false;
  bool m_floatSamples = false;
  bool m_windowFromFrame = false;
};

/// Makes the codec of `kind` (native, JPEG with `quality`, RLE with
/// `planar`) for the given attributes; bytes per pixel = bitsAllocated ×
/// samplesPerPixel / 8 (1 for packed 1-bit samples). Null for an unknown kind or attributes no codec can
/// hold (see IsUsable).
std::unique_ptr<CPixelCodec> CreatePixelCodec(CodecKind kind, const std::string& photometric, uint32_t columns,
                                              uint32_t rows, uint32_t bitsAllocated, uint32_t bitsStored,
                                              uint32_t samplesPerPixel, uint32_t planar, int32_t quality);

}  // namespace quillon
