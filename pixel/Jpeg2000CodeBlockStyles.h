/// \file
/// ScanCodeBlockStyles — which kinds of code block a JPEG 2000 frame's
/// coding style segments (COD, COC) ask for, in its main header and in
/// every tile-part header, before OpenJPEG decodes it.
///
/// Debian's OpenJPEG 2.5 decodes both classic and high-throughput (HTJ2K)
/// code blocks, but keeps one set of block buffers per thread whose size
/// the two block decoders count in different units: a classic block after
/// an HT block overwrites the heap (up to eight kilobytes). A frame whose
/// segments mix the two must therefore never reach it; one whose blocks
/// are all HT can go to the HTJ2K decoder instead.
///
/// The walk reads the marker segments as OpenJPEG does, so it finds every
/// segment OpenJPEG would act on: in the main header an unknown marker is
/// stepped over two bytes at a time up to the next known one, and a
/// tile-part's data is skipped by its length (Psot; 0 for the rest of the
/// codestream). Where OpenJPEG would stop on an error, so does the walk:
/// what follows is never decoded.
#pragma once

#include <cstdint>

namespace quillon {

struct CodeBlockStyles {
  /// Where the codestream (SOC) starts: 0 for a bare codestream, after
  /// the contiguous codestream box's header for a JP2 file.
  uint64_t codestream = 0;
  bool classic = false;          ///< a COD or COC asks for classic code blocks
  bool highThroughput = false;   ///< a COD or COC asks for HT code blocks
};

CodeBlockStyles ScanCodeBlockStyles(const uint8_t* data, uint64_t length);

/// A JP2 file (some writers wrap the codestream) starts with its signature
/// box; a bare codestream with SOC, FF 4F.
bool IsJp2File(const uint8_t* data, uint64_t length);

}  // namespace quillon
