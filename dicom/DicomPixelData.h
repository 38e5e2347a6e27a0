/// \file
/// CDicomPixelData — the Pixel Data element (7FE0,0010) holding native
/// (uncompressed) frames as one contiguous value, and the base of the
/// encapsulated kind. Besides being an element of the data set it gives
/// frame-level access: a frame can be read from the value in memory or, when
/// the reader left the value in the file, straight from the stream at the
/// recorded value position; frames can be appended to an output stream one
/// at a time so a multi-frame image never has to be held whole in memory.
#pragma once

#include "base/Result.h"
#include "dicom/DicomElement.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quillon {

class CStream;

class CDicomPixelData : public CDicomElement {
 public:
  /// The value position of an element whose value was never in a stream.
  static constexpr uint64_t kUnknownPosition = UINT64_MAX;

  /// An empty Pixel Data element: tag (7FE0,0010), VR OB, no value, not
  /// loaded, position unknown, no frame read or written yet.
  CDicomPixelData();
  /// Built from the Pixel Data header the reader just met: tag, VR and
  /// length copied (undefined length exactly when the length field is
  /// 0xFFFFFFFF); `valuePosition` is the stream position of the first value
  /// byte. The value itself is not read here.
  CDicomPixelData(const CDicomElement& header, uint64_t valuePosition);
  ~CDicomPixelData() override;

  /// Turns a plain Pixel Data element into a native one: header and value
  /// are taken over (the source is left without value) and the element is
  /// loaded when a value came with it. Null when the source is not Pixel
  /// Data or its value cannot be taken.
  static std::unique_ptr<CDicomPixelData> TakeOver(CDicomElement& source);

  /// Records the stream position as the value position and reads the value
  /// as a plain element does; the element is loaded exactly when that read
  /// succeeds. Writing and sizing are those of a plain element.
  [[nodiscard]] bool ReadValue(CStream& stream, TransferMode mode) override;
  /// Steps over the value that follows the header just read, leaving it in
  /// the stream (not loaded), so that the elements after it can be read;
  /// frames are then read from the stream on demand. A defined length is
  /// stepped over whole; an undefined one up to the item delimitation after
  /// it. Records the value position. A Malformed error, with the reason,
  /// when the value does not fit in the stream.
  virtual Status SkipValue(CStream& stream, TransferMode mode);
  /// Always false: pixel data is duplicated with Clone, which knows the
  /// frame state.
  [[nodiscard]] bool CopyFrom(const CDicomElement& source) override;
  /// A copy of a Pixel Data element (any other tag gives null): header,
  /// value position, loaded state and a value held in memory; the frame
  /// counters start afresh. Null when the value cannot be copied.
  std::unique_ptr<CDicomElement> Clone() const override;
  /// Sets the value length the frames will fill (native output announces
  /// frame size × number of frames before the first frame); 0xFFFFFFFF
  /// marks the length undefined, any other value defined.
  void SetValueLength(uint32_t length) override;

  /// Ends a frame-by-frame output. Nothing is left to write for a native
  /// value, so this always succeeds.
  [[nodiscard]] virtual bool FinishWrite(CStream& stream, TransferMode mode);
  /// Appends one frame of `length` bytes to `stream`. The first call writes
  /// the element header with the value length (set it to the size of all
  /// frames first; a length of 0 becomes `length`, for a single frame) and
  /// records the value position. The bytes are written as given, without
  /// swapping. False, writing nothing, when the frame would run past the
  /// announced length; false too when the stream fails (its State() says
  /// why).
  [[nodiscard]] virtual bool WriteFrame(CStream& stream, TransferMode mode, const uint8_t* data,
                                        uint64_t length);
  /// Reads frame `frameIndex` (0-based) into `out` and makes it the current
  /// frame for ReadNextFrame. `frameSize` is the stored size of one native
  /// frame. A value in memory needs no stream; a value left in the file is
  /// read from `stream` at the value position. `outLength` is set to the
  /// frame's length as soon as that is known (also when `out` is then found
  /// too small) and to 0 otherwise. False for a negative index, a frame
  /// beyond the value, a frame that does not fit in `outCapacity`, or a
  /// short read (a failed stream reads short); the frame counter is left
  /// advanced by a failed read.
  [[nodiscard]] virtual bool ReadFrame(CStream* stream, int32_t frameIndex, uint8_t* out,
                                       uint64_t outCapacity, uint64_t frameSize,
                                       uint64_t& outLength);
  /// Reads the frame after the one last read (frame 0 on a fresh element),
  /// as ReadFrame does.
  [[nodiscard]] virtual bool ReadNextFrame(CStream* stream, uint8_t* out, uint64_t outCapacity,
                                           uint64_t frameSize, uint64_t& outLength);

  /// Marks a value left in a big-endian stream: frames read from the
  /// stream are then swapped to the little-endian order a value in memory
  /// has (words of OW; OB bytes stay as they are).
  void SetBigEndianInStream(bool bigEndian) { m_bigEndianInStream = bigEndian; }
  bool IsBigEndianInStream() const { return m_bigEndianInStream; }

  virtual bool IsEncapsulated() const { return false; }
  /// The value is in memory (frames come from memory rather than the stream).
  virtual bool IsLoaded() const { return m_loaded && HasValue(); }
  /// Stream position of the first value byte; kUnknownPosition when the
  /// value was never read from or written to a stream.
  uint64_t GetValuePosition() const { return m_valuePosition; }
  /// Index of the frame last delivered; -1 before the first read.
  int64_t GetReadFrameCounter() const { return m_readFrameCounter; }
  /// Frames appended so far minus one; -1 before the first write.
  int64_t GetWriteFrameCounter() const { return m_writeFrameCounter; }

 protected:
  /// A buffer of `length` bytes, or null when it cannot be had.
  static std::unique_ptr<uint8_t[]> TryAllocate(uint64_t length);
  /// Copies the state shared by both kinds into a clone.
  void CopyPixelStateTo(CDicomPixelData& copy) const;

  bool m_loaded = false;
  bool m_bigEndianInStream = false;
  uint64_t m_valuePosition = kUnknownPosition;
  int64_t m_readFrameCounter = -1;
  int64_t m_writeFrameCounter = -1;

 private:
  /// Value bytes already appended by WriteFrame (checked against the
  /// announced length so an output never claims fewer bytes than it holds).
  uint64_t m_bytesWritten = 0;
};

}  // namespace quillon
