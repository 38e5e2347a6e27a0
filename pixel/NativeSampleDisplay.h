/// \file
/// Display conversions for the native sample formats the byte-per-sample
/// paths of CPixelCodec do not cover: 1-bit samples packed eight to a byte
/// (segmentations, overlays stored as images), 32-bit integer and 32- or
/// 64-bit floating point grey samples (RT dose, parametric maps: Float and
/// Double Float Pixel Data), and YBR_FULL_422 / YBR_PARTIAL_422 stored
/// uncompressed (two pixels share one Cb and one Cr). Each writes the
/// bottom-up display bitmap CPixelCodec defines (rows of `alignedColumns`
/// pixels) and checks the stored length it is given first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

/// Bytes a frame of `pixels` 1-bit samples takes: eight to a byte, the last
/// byte partly used.
constexpr uint64_t PackedBitsSize(uint64_t pixels) { return (pixels + 7) / 8; }

/// Packed 1-bit grey samples (the first pixel in the lowest bit of the
/// first byte) → 8-bit bitmap of 0 and 255. False when `storedLength` is
/// short.
bool PackedBitsToBitmap(const uint8_t* stored, uint64_t storedLength, size_t columns, size_t rows,
                        size_t alignedColumns, uint8_t* bitmap);

/// Two pixels' Y, Y, Cb, Cr → 24-bit blue-green-red bitmap. `partial`: the
/// samples use the reduced ranges of YBR_PARTIAL_422 (Y 16 to 235, chroma
/// 16 to 240). False for an odd number of columns or a short frame.
bool Ybr422ToBitmap(const uint8_t* stored, uint64_t storedLength, size_t columns, size_t rows,
                    size_t alignedColumns, bool partial, uint8_t* bitmap);

/// How a wide grey sample is stored (little endian, as values are held).
enum class WideSample { Unsigned32, Signed32, Float32, Float64 };

/// Bytes one wide sample takes.
constexpr size_t WideSampleSize(WideSample kind) { return kind == WideSample::Float64 ? 8 : 4; }

/// Wide grey samples → 8-bit bitmap through the window of `width` and
/// `center` (the same mapping as 8- and 16-bit samples), or, when
/// `windowFromFrame`, through the window spanning the frame's smallest to
/// largest value (these samples have no range that fits one window; NaN
/// shows black). Integer samples keep their Bits Stored bits below
/// `highBit`. False when `storedLength` is short.
bool WideSamplesToBitmap(const uint8_t* stored, uint64_t storedLength, size_t columns, size_t rows,
                         size_t alignedColumns, WideSample kind, uint32_t bitsStored, uint32_t highBit,
                         int32_t width, int32_t center, bool windowFromFrame, uint8_t* bitmap);

}  // namespace quillon
