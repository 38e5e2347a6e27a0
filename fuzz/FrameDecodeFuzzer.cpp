/// \file
/// libFuzzer entry point for the frame decoders to native samples, one
/// executable per transfer syntax (QUILLON_FUZZ_SYNTAX names it; see
/// fuzz/CMakeLists.txt). The first three bytes choose the declared image:
/// columns and rows (1 to 128 each) and the sample format (1 or 3 samples
/// of 8, 16 or 32 bits allocated). The rest is the encoded frame, copied
/// into a block of exactly its size, and the native buffer is exactly the
/// frame's size, so any read or write past either is caught.
///
/// Seeds (fuzz/corpus/<name>_frame) are frames other coders made: DCMTK's
/// and pydicom's files, and for HTJ2K, OpenJPH's own encoder (a 64x64
/// signed 16-bit grey and a 24x20 RGB frame coded reversibly, a 32x32
/// grey one irreversibly), so mutations start inside the HT block coder
/// rather than at a plain JPEG 2000 codestream it refuses.
#include "pixel/FrameDecoderRegistry.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  static constexpr uint32_t kBits[] = {8, 16, 32};
  quillon::NativeFrameFormat declared;
  declared.columns = 1 + data[0] % 128;
  declared.rows = 1 + data[1] % 128;
  declared.samplesPerPixel = (data[2] & 1) != 0 ? 3 : 1;
  declared.bitsAllocated = declared.bitsStored = kBits[(data[2] >> 1) % 3];
  declared.signedSamples = (data[2] & 0x80) != 0;
  declared.photometric = declared.samplesPerPixel == 3 ? "RGB" : "MONOCHROME2";
  auto decoder = quillon::CreateFrameDecoder(QUILLON_FUZZ_SYNTAX, declared);
  if (!decoder) __builtin_trap();  // every format above is one a decoder takes

  const size_t length = size - 3;
  auto encoded = std::make_unique<uint8_t[]>(length == 0 ? 1 : length);
  if (length != 0) std::memcpy(encoded.get(), data + 3, length);
  const uint64_t frameSize = (*decoder)->OutputFormat().FrameSize();
  auto native = std::make_unique<uint8_t[]>(frameSize);
  (void)(*decoder)->Decode(encoded.get(), length, native.get(), frameSize);
  return 0;
}
