/// \file
/// CJpegPixelCodec — one frame of the JPEG Baseline transfer syntax
/// (1.2.840.10008.1.2.4.50) to and from a display bitmap. The JPEG coding is
/// the baseline codec's (jpeg/); this class fits the display bitmap to it:
/// rows bottom-up and padded to a multiple of 4 pixels, blue-green-red
/// colour, one grey byte or three colour bytes per pixel. The codec is told
/// the padding and the row order, so no bitmap is copied or flipped on the
/// way in or out.
///
/// The frame read from a file is untrusted: its size and components are
/// checked against the image attributes before anything is decoded, and
/// damaged data fails instead of decoding with warnings.
#pragma once

#include "jpeg/BaselineJpegCodec.h"
#include "pixel/PixelCodec.h"

#include <cstdint>
#include <string>

namespace quillon {

class CJpegPixelCodec : public CPixelCodec {
 public:
  /// Quality used when the codec is given 0.
  static constexpr int32_t kDefaultQuality = 85;

  /// JPEG frames are always colour-by-pixel, so there is no planar flag.
  /// `quality` is the IJG quality 1 … 100 for Compress, 0 for the default.
  CJpegPixelCodec(std::string photometric, uint32_t columns, uint32_t rows, uint32_t bytesPerPixel,
                  uint32_t bitsAllocated, uint32_t bitsStored, int32_t quality);
  ~CJpegPixelCodec() override;

  /// Display bitmap → one baseline JPEG frame in `out`: grey for one byte
  /// per pixel, YCbCr 4:2:2 for three. `outLength` is always even: a frame
  /// of odd length gets one zero byte after its end-of-image marker, as a
  /// fragment must have even length. False, with nothing written past
  /// `outCapacity`, when the frame (with that pad byte) does not fit, the
  /// quality is outside 0 … 100, or the bitmap has another number of bytes
  /// per pixel (16-bit grey cannot be JPEG-coded here).
  [[nodiscard]] bool Compress(const uint8_t* bitmap, uint8_t* out, uint64_t outCapacity,
                              uint64_t& outLength) override;
  /// JPEG frame of `storedLength` bytes → display bitmap of DisplaySize()
  /// bytes. A colour frame is decoded as blue-green-red (converted from
  /// YCbCr unless the image is RGB and no JFIF or Adobe marker says
  /// otherwise); a grey frame as one byte per pixel, even when the
  /// attributes say colour (the rows are then reversed with the codec's
  /// own row length, as a frame that disagrees with its attributes always
  /// has been). Sets Quality() to the estimated quality of the frame once
  /// its header is accepted. False when the data
  /// is not a baseline 8-bit JPEG of 1 or 3 components, its width or height
  /// differs from Columns or Rows, the decoded image would not fit in the
  /// display size (a colour frame for a grey image), or the data is damaged.
  [[nodiscard]] bool Decompress(const uint8_t* stored, uint64_t storedLength, uint8_t* bitmap) override;
  bool IsLossy() const override { return true; }
  bool IsCompressed() const override { return true; }

  /// The quality Compress uses (0: kDefaultQuality), or, after a
  /// Decompress, the one estimated from that frame's luminance table (0 when
  /// the frame had none).
  int32_t Quality() const { return m_quality; }
  /// Why the last Compress or Decompress failed.
  const std::string& LastError() const { return m_lastError; }

 private:
  bool Fail(std::string message);

  CBaselineJpegCodec m_jpeg;  ///< keeps its library handles from frame to frame
  int32_t m_quality;
  std::string m_lastError;
};

}  // namespace quillon
