/// \file
/// CPixelImage — frame-level access to the pixel data of one data set. On
/// the reading side it delivers frame n (or the next frame) as a display
/// bitmap, reading the stored frame from memory or straight from the file;
/// on the writing side it writes the data set header of a new file, appends
/// frames given as display bitmaps through the codec, and closes the pixel
/// data. Every pixel command (view, conversion, comparison) goes through it.
///
/// A pixel view opens it on the editor's document with OpenDocument, which
/// copies the few header elements it needs and reads frames from the
/// document's own Pixel Data element: a large image is never held twice.
#pragma once

#include "dicom/DicomTypes.h"
#include "dicom/FrameFragments.h"
#include "pixel/NativeFrameFormat.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class CDicomElement;
class CDicomObject;
class CDicomPixelData;
class CFileStream;
class IFrameDecoder;
class CPixelCodec;
class CStream;

/// Results of the frame operations.
enum class FrameStatus : uint32_t {
  Failure = 0,         ///< anything else (no data set, bad arguments)
  Success = 1,         ///< a frame was read
  Written = 2,         ///< a frame was written
  CannotReopen = 3,    ///< the file could not be opened again for reading
  ReadWriteFailed = 4, ///< the stored frame could not be read or written
  NoBuffer = 5,        ///< the frame buffer could not be allocated
  CodecFailed = 6,     ///< no codec, or the codec could not convert the frame
  OutOfRange = 7,      ///< frame index negative or not below the frame count
};
/// Reads report a missing Pixel Data element with the same code as a write
/// reports success.
constexpr FrameStatus kNoPixelData = FrameStatus::Written;

/// The bitmap header a display bitmap is drawn with (the layout of the
/// usual 40-byte device-independent bitmap header) and its 256-entry
/// palette of blue, green, red, 0.
struct BitmapInfo {
  uint32_t headerSize = 40;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t imageSize = 0;
  int32_t xPixelsPerMeter = 0;
  int32_t yPixelsPerMeter = 0;
  uint32_t coloursUsed = 0;
  uint32_t coloursImportant = 0;
  std::array<uint8_t, 256 * 4> palette{};
};

class CPixelImage {
 public:
  CPixelImage();
  CPixelImage(const CPixelImage&) = delete;
  CPixelImage& operator=(const CPixelImage&) = delete;
  virtual ~CPixelImage();

  /// Sets up on a copy of `source` (pixel data included, if it holds any);
  /// false when the copy fails. A data set without frame access still
  /// opens: reads then report CodecFailed. `sourcePath` is the file the
  /// object was read from, where a pixel value left in the file is read.
  bool OpenObject(const CDicomObject& source, const std::string& sourcePath = {});
  /// Sets up on a copy of `header` only to write frames given as stored
  /// bytes (WriteStoredFrame): no codec is needed, so any native format
  /// can be written. False when the copy fails or the pixel element cannot
  /// be made.
  bool OpenForStoredFrames(const CDicomObject& header);
  /// Sets up for reading on `document` without copying its pixel value:
  /// only the meta group and the image pixel description (group 0028) are
  /// copied. Frames come from the document's Pixel Data element: from its
  /// value when that is in memory, else from the document's file
  /// (`sourcePath`), where the reader left it. The document must outlive
  /// this image, and its Pixel Data element and file stay unchanged while
  /// the image is open (open again after an edit). False when the document
  /// has no pixel data or no frame access.
  bool OpenDocument(const CDicomObject& document, const std::string& sourcePath = {});
  /// Reads the data set of `path` without the pixel value (frames are read
  /// from the file on demand); false when the file cannot be read or has no
  /// frame access.
  bool OpenFile(const std::string& path);
  /// As OpenFile, for reading native frames only (ReadNativeFrame): an
  /// image no display codec shows (32-bit colour, say) opens as long as its
  /// frames can be read as native samples; display reads then report
  /// CodecFailed.
  bool OpenFileForNativeFrames(const std::string& path);
  /// Back to empty: stream closed, data set, pixel element and codec gone.
  void Close();
  /// Closes the stream; with `clearPath` also forgets the path and frees the
  /// frame buffer.
  void CloseFile(bool clearPath);

  /// Frame `index` as a display bitmap in `bitmap` (capacity at least
  /// FrameSize() bytes); `outLength` is set to FrameSize(). Frames of a
  /// syntax with a frame decoder are decoded to native samples first and
  /// shown as a native frame of their format is (16-bit grey through the
  /// window).
  FrameStatus ReadFrame(int32_t index, uint8_t* bitmap, uint64_t capacity, uint64_t& outLength);
  /// Frame `index` as native samples (see IFrameDecoder) in `native`
  /// (capacity at least NativeFormat().FrameSize()): decoded for images
  /// with a FrameDecoder(), else the stored frame of an uncompressed syntax
  /// turned little endian and colour by pixel. CodecFailed without
  /// HasNativeFrames(). `outLength` is set to the native frame's size.
  FrameStatus ReadNativeFrame(int32_t index, uint8_t* native, uint64_t capacity, uint64_t& outLength);
  /// The stored bytes of frame `index` as they are (encoded, for a
  /// compressed syntax), copied into `encoded`: what a frame decoder takes,
  /// for callers that decode frames elsewhere, such as on worker threads.
  FrameStatus ReadEncodedFrame(int32_t index, std::vector<uint8_t>& encoded);
  /// True when ReadNativeFrame can deliver frames: a frame decoder, or an
  /// uncompressed syntax holding integer samples of 8, 16 or 32 bits (not
  /// 32 in big endian), 1 or 3 per pixel, not subsampled.
  bool HasNativeFrames() const;
  /// The samples are floating point (Float or Double Float Pixel Data).
  bool FloatSamples() const { return m_floatSamples; }
  /// The format of ReadNativeFrame's frames: the decoder's output, or the
  /// image attributes for an uncompressed syntax.
  NativeFrameFormat NativeFormat() const;
  /// The decoder of the compressed syntaxes decoded to native samples
  /// (JPEG lossless, extended, JPEG-LS, JPEG 2000, HTJ2K, RLE of more than
  /// 8 bits), or null when frames take the display codec's own path.
  const IFrameDecoder* FrameDecoder() const { return m_frameDecoder.get(); }
  /// Why the last open found no frame access (a transfer syntax without
  /// decoder, a format no frame can have) or the last frame failed to
  /// decode; empty when nothing said why.
  const std::string& LastError() const { return m_lastError; }
  /// The frame after the one last read.
  FrameStatus ReadNextFrame(uint8_t* bitmap, uint64_t capacity, uint64_t& outLength);

  /// Writes the data set to `output` up to the pixel data, which WriteFrame
  /// then appends; FinishWrite writes the elements that follow it. `output`
  /// (a new file's stream, usually WriteFileAtomically's) is borrowed until
  /// FinishWrite and stays open that long; saving it is the caller's part.
  bool WriteHeader(CStream& output);
  /// Encodes a display bitmap with the codec and appends it as the next
  /// frame: Written on success.
  FrameStatus WriteFrame(const uint8_t* bitmap);
  /// Appends `length` bytes as the next frame as they are, without the
  /// codec: native samples decoded elsewhere, or a frame encoded elsewhere
  /// (one fragment). Written on success.
  FrameStatus WriteStoredFrame(const uint8_t* stored, uint64_t length);
  /// Before WriteHeader, for a compressed syntax: the Basic Offset Table
  /// gets room for `frames` offsets, filled in by FinishWrite (see
  /// CDicomEncapsulatedPixelData::ReserveOffsetTable).
  void ReserveOffsetTable(uint32_t frames);
  /// Before FinishWrite: the size of one frame uncompressed, from which
  /// FinishWrite fills in a blank last value of Lossy Image Compression
  /// Ratio (0028,2112) as that size times the frames written over the
  /// bytes of the frames written. 0 (the default) leaves the value alone.
  void SetOriginalFrameSize(uint64_t size) { m_originalFrameSize = size; }
  /// Closes the pixel data and writes the data set elements after (7FE0,0010)
  /// (private groups, trailing padding); when fewer frames were written than
  /// announced, rewrites Number of Frames in place, padded with spaces to
  /// the length of the old value, so the header never claims frames the file
  /// lacks. Flushes the stream and lets it go.
  bool FinishWrite();

  /// The bitmap header and palette, or null without data set, codec or
  /// pixel data.
  const BitmapInfo* GetBitmapInfo() const;
  bool GetWindow(int32_t& width, int32_t& center) const;
  bool SetWindow(int32_t width, int32_t center);
  /// JPEG quality handed to the codec when it is created (85 by default).
  void SetQuality(int32_t quality) { m_quality = quality; }
  int32_t GetQuality() const { return m_quality; }

  uint32_t Columns() const { return m_columns; }
  uint32_t AlignedColumns() const { return m_alignedColumns; }
  uint32_t Rows() const { return m_rows; }
  uint32_t SamplesPerPixel() const { return m_samplesPerPixel; }
  /// Planar Configuration as read (0: colour-by-pixel, else colour-by-plane).
  uint32_t PlanarConfiguration() const { return m_planarConfiguration; }
  uint32_t BitsAllocated() const { return m_bitsAllocated; }
  uint32_t BitsStored() const { return m_bitsStored; }
  int32_t NumberOfFrames() const { return m_numberOfFrames; }
  /// Size of one display bitmap: Rows × SamplesPerPixel × AlignedColumns ×
  /// BitsAllocated / 8.
  uint64_t FrameSize() const { return m_frameSize; }
  /// Size of one native frame in the file: BitsAllocated × SamplesPerPixel ×
  /// Rows × Columns / 8.
  uint64_t StoredFrameSize() const;
  const CDicomObject* Object() const { return m_object.get(); }
  CDicomObject* Object() { return m_object.get(); }
  /// The image's own Pixel Data element; null without one, and when the
  /// frames come from a document's value in memory (OpenDocument).
  CDicomPixelData* PixelElement() const { return m_pixelElement.get(); }
  /// True when frames can be looked for: an own element or a document's.
  bool HasPixelData() const { return m_pixelElement != nullptr || m_sharedPixels != nullptr; }
  CPixelCodec* Codec() const { return m_codec.get(); }
  const std::string& Path() const { return m_path; }
  /// Why the last open failed, when the pixel data cannot hold the image
  /// its data set declares (checked before any frame buffer is sized);
  /// empty otherwise.
  const std::string& OpenError() const { return m_openError; }
  /// The open stream, or null (reads open it on demand from Path()).
  CFileStream* Stream() const;

 private:
  /// Setup: the image attributes, codec, palette and bitmap header from
  /// the data set, then the Pixel Data element taken out of it.
  bool Setup();
  bool ReadAttributes();
  bool TakePixelElement();
  /// CheckDeclaredPixelExtent for the image's description; its message is
  /// kept in m_openError.
  bool CheckExtent(const CDicomPixelData& pixels);
  /// Where frame `index` of a document's value in memory lies; false when
  /// the value holds no such frame.
  bool FindSharedFrame(int64_t index, const uint8_t*& stored, uint64_t& length);
  bool LoadPalette();
  void BuildBitmapInfo();
  /// The frame buffer's size: room for any stored frame this image may
  /// have; 0 for an image of no size or too large a size.
  uint64_t FrameBufferSize() const;
  bool EnsureFrameBuffer();
  bool EnsureStreamOpen();
  FrameStatus DecodeStored(const uint8_t* stored, uint64_t storedLength, uint8_t* bitmap, uint64_t capacity,
                           uint64_t& outLength);
  /// Reads frame `index` (the one after the last read for kNextFrame) into
  /// the frame buffer and decodes it into `bitmap`.
  static constexpr int32_t kNextFrame = -1;
  FrameStatus ReadAndDecode(int32_t index, uint8_t* bitmap, uint64_t capacity, uint64_t& outLength);
  /// Reads the stored (encoded) frame `index` and points `stored` at it.
  FrameStatus ReadStored(int32_t index, const uint8_t*& stored, uint64_t& storedLength);
  /// Sets up the frame decoder and a native codec for its output when the
  /// transfer syntax calls for one; false (with LastError) when it calls
  /// for one that cannot be made. `used` says whether one was set up.
  bool SetupFrameDecoder(bool& used);
  bool OpenFileAs(const std::string& path, bool nativeFramesOnly);
  /// Writes the compression ratio into the blank last value of Lossy
  /// Image Compression Ratio, where the writer put it.
  void FillCompressionRatio(CStream& output) const;

  std::unique_ptr<CDicomObject> m_object;
  std::unique_ptr<CDicomPixelData> m_pixelElement;
  // A document's Pixel Data element whose value is in memory (OpenDocument):
  // borrowed, never changed; frames are decoded straight from its bytes.
  const CDicomElement* m_sharedPixels = nullptr;
  bool m_sharedEncapsulated = false;
  int64_t m_sharedFrame = -1;  ///< the frame last read from it
  std::vector<FrameSpan> m_sharedSpans;  ///< its fragments of each frame
  std::unique_ptr<uint8_t[]> m_frameBuffer;
  uint64_t m_frameBufferSize = 0;
  int32_t m_framesWritten = 0;
  int32_t m_quality = 85;
  BitmapInfo m_bitmapInfo;
  std::vector<uint16_t> m_paletteRed;
  std::vector<uint16_t> m_paletteGreen;
  std::vector<uint16_t> m_paletteBlue;
  uint16_t m_paletteFirstMapped = 0;
  uint16_t m_paletteBits = 0;
  uint32_t m_paletteEntries = 0;
  uint32_t m_columns = 0;
  uint32_t m_alignedColumns = 0;
  uint32_t m_rows = 0;
  uint32_t m_samplesPerPixel = 0;
  uint32_t m_bitsAllocated = 8;
  uint32_t m_bitsStored = 8;
  uint32_t m_highBit = 7;
  uint32_t m_planarConfiguration = 0;
  int32_t m_numberOfFrames = 0;
  uint64_t m_frameSize = 0;
  /// Where the writer put the value of Number of Frames, to be rewritten
  /// when fewer frames were written than announced.
  std::optional<uint64_t> m_numberOfFramesPosition;
  std::optional<uint64_t> m_lossyRatioPosition;
  uint64_t m_originalFrameSize = 0;
  uint64_t m_bytesWritten = 0;  ///< of the frames written, padded
  /// Opened for native frames only: no display codec needed.
  bool m_nativeFramesOnly = false;
  bool m_floatSamples = false;
  std::unique_ptr<CFileStream> m_stream;
  CStream* m_output = nullptr;  ///< borrowed from WriteHeader until FinishWrite
  std::string m_path;
  std::string m_openError;
  std::unique_ptr<CPixelCodec> m_codec;
  std::unique_ptr<IFrameDecoder> m_frameDecoder;
  std::unique_ptr<uint8_t[]> m_nativeBuffer;  ///< one decoded frame, for the display path
  std::string m_lastError;
};

/// The window a data set suggests for showing its grey samples: Window
/// Center and Width (0028,1050/1051, the first of several values), given in
/// the units of Rescale Slope and Intercept, turned into stored sample
/// values. False when it has none, or none that fits 16-bit samples.
bool SuggestedWindow(const CDicomObject& object, int32_t& width, int32_t& center);

/// The codec a data set's transfer syntax and photometric interpretation
/// call for, or null when its frames cannot be accessed.
std::unique_ptr<CPixelCodec> ChoosePixelCodec(const CDicomObject& object, int32_t quality);

}  // namespace quillon
