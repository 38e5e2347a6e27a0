/// \file
/// Native frames the display codecs cannot take as they are — colour of
/// more than 8 bits, grey of 32 — reduced to ones they can, for showing
/// only (decompression and comparison keep every bit). Colour keeps its
/// top 8 stored bits; 32-bit grey is stretched from the frame's smallest to
/// its largest value over 16 bits, so a dose grid of small values still
/// shows its shape.
#pragma once

#include "pixel/NativeFrameFormat.h"

#include <cstdint>

namespace quillon {

/// The format `decoded` is shown as: itself when a display codec takes it.
NativeFrameFormat DisplayFormatFor(const NativeFrameFormat& decoded);

/// Writes the frame `native` of format `decoded` into `display` in the
/// format DisplayFormatFor(decoded) (a buffer of its FrameSize()).
void ReduceForDisplay(const NativeFrameFormat& decoded, const uint8_t* native, uint8_t* display);

}  // namespace quillon
