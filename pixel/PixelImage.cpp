#include "pixel/PixelImage.h"

#include "base/ByteOrder.h"
#include "dicom/DicomFileReader.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "base/FileStream.h"
#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomPixelData.h"
#include "pixel/DisplaySamples.h"
#include "pixel/NativeColourFrameDecoder.h"
#include "pixel/FrameDecoderRegistry.h"
#include "dicom/FrameFragments.h"
#include "pixel/PixelCodec.h"
#include "pixel/NativeSampleDisplay.h"
#include "pixel/PixelDataExtent.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

namespace quillon {

namespace {

constexpr DicomTag kFloatPixelData = 0x7FE00008;
constexpr DicomTag kDoubleFloatPixelData = 0x7FE00009;
constexpr DicomTag kPaletteDescriptors[3] = {0x00281101, 0x00281102, 0x00281103};
constexpr DicomTag kPaletteData[3] = {0x00281201, 0x00281202, 0x00281203};

uint16_t UInt16Or(const CDicomObject& object, DicomTag tag, uint16_t fallback) {
  uint16_t value = 0;
  return object.GetUInt16(tag, value) == DicomStatus::Success ? value : fallback;
}

bool IsOneOf(const std::string& value, std::initializer_list<const char*> choices) {
  return std::any_of(choices.begin(), choices.end(), [&value](const char* c) { return value == c; });
}

/// The photometric interpretations a display codec shows.
bool IsShownPhotometric(const std::string& photometric) {
  return IsOneOf(photometric, {"RGB", "MONOCHROME2", "MONOCHROME1", "PALETTE COLOR", "YBR_FULL"});
}

constexpr const char* kRleLossless = "1.2.840.10008.1.2.5";

}  // namespace

std::unique_ptr<CPixelCodec> ChoosePixelCodec(const CDicomObject& object, int32_t quality) {
  std::string syntax;
  std::string photometric;
  (void)object.GetString(tags::kTransferSyntaxUid, syntax);
  (void)object.GetString(tags::kPhotometricInterpretation, photometric);
  const uint16_t columns = UInt16Or(object, tags::kColumns, 0);
  const uint16_t rows = UInt16Or(object, tags::kRows, 0);
  if (columns == 0 || rows == 0) return nullptr;
  const bool knownPhotometric = IsShownPhotometric(photometric);
  CodecKind kind;
  // Two pixels sharing their chroma are shown only from native frames:
  // the compressed syntaxes' decoders deliver whole pixels.
  const bool nativeOnly = IsOneOf(photometric, {"YBR_FULL_422", "YBR_PARTIAL_422"});
  if (IsNativePixelSyntax(syntax) && (knownPhotometric || nativeOnly)) {
    kind = CodecKind::Native;
  } else if (syntax == kRleLossless && knownPhotometric) {
    kind = CodecKind::Rle;
  } else if (syntax == "1.2.840.10008.1.2.4.50") {
    kind = CodecKind::Jpeg;
  } else {
    return nullptr;
  }
  const uint16_t bitsStored = UInt16Or(object, tags::kBitsStored, 8);
  std::unique_ptr<CPixelCodec> codec =
      CreatePixelCodec(kind, photometric, columns, rows, UInt16Or(object, tags::kBitsAllocated, 8), bitsStored,
                       UInt16Or(object, tags::kSamplesPerPixel, 1), UInt16Or(object, tags::kPlanarConfiguration, 0),
                       quality);
  if (codec) {
    codec->SetSampleLayout(UInt16Or(object, tags::kHighBit, static_cast<uint16_t>(bitsStored - 1)),
                           UInt16Or(object, tags::kPixelRepresentation, 0) == 1);
  }
  return codec;
}

CPixelImage::CPixelImage() = default;

CPixelImage::~CPixelImage() { Close(); }

CFileStream* CPixelImage::Stream() const { return m_stream && m_stream->IsOpen() ? m_stream.get() : nullptr; }

uint64_t CPixelImage::StoredFrameSize() const {
  const uint64_t pixels = uint64_t{m_rows} * m_columns;
  if (m_bitsAllocated == 1 && m_samplesPerPixel == 1) return PackedBitsSize(pixels);
  // YBR_*_422: two pixels in four bytes.
  if (m_codec && (m_codec->Format() == PixelFormat::YbrFull422 || m_codec->Format() == PixelFormat::YbrPartial422)) {
    return pixels * 2;
  }
  return uint64_t{m_bitsAllocated} * m_samplesPerPixel * pixels / 8;
}

bool CPixelImage::OpenObject(const CDicomObject& source, const std::string& sourcePath) {
  Close();
  auto copy = std::make_unique<CDicomObject>();
  if (!copy->CopyFrom(&source)) return false;
  copy->SetSopClassUid(source.GetSopClassUid());
  m_object = std::move(copy);
  (void)Setup();
  m_path = sourcePath;
  return true;
}

bool CPixelImage::OpenForStoredFrames(const CDicomObject& header) {
  Close();
  auto copy = std::make_unique<CDicomObject>();
  if (!copy->CopyFrom(&header)) return false;
  copy->SetSopClassUid(header.GetSopClassUid());
  m_object = std::move(copy);
  // The attributes are read even when no display codec takes them.
  (void)ReadAttributes();
  m_lastError.clear();
  return TakePixelElement();
}

bool CPixelImage::OpenDocument(const CDicomObject& document, const std::string& sourcePath) {
  Close();
  // What Setup and the codec read: the transfer syntax and the image pixel
  // description. Nothing else is copied, least of all the pixel value.
  auto header = std::make_unique<CDicomObject>();
  TagArray copied;
  (void)document.GetTagsInGroupRange(copied, 0x0002, 0x0002);
  (void)document.GetTagsInGroupRange(copied, 0x0028, 0x0028);
  for (const DicomTag tag : copied) {
    if (!header->CopyElementFrom(tag, document)) return false;
  }
  header->SetTransferMode(document.GetTransferMode());
  header->SetSopClassUid(document.GetSopClassUid());
  m_object = std::move(header);
  m_path = sourcePath;
  if (!ReadAttributes()) return false;

  CDicomElement* element = nullptr;
  if (document.GetElement(tags::kPixelData, &element) != DicomStatus::Success || element == nullptr) {
    for (const DicomTag floatTag : {kFloatPixelData, kDoubleFloatPixelData}) {
      if (document.GetElement(floatTag, &element) == DicomStatus::Success && element != nullptr) break;
      element = nullptr;
    }
    if (element == nullptr) return false;
    m_codec->SetFloatSamples(true);
  }
  const auto* pixels = dynamic_cast<const CDicomPixelData*>(element);
  if (pixels != nullptr && !CheckExtent(*pixels)) return false;
  if (pixels != nullptr && !pixels->IsLoaded()) {
    // The value was left in the file: an element without value that knows
    // where it lies (and where its items start) reads the frames from there.
    std::unique_ptr<CDicomElement> clone = pixels->Clone();
    if (!clone) return false;
    m_pixelElement.reset(static_cast<CDicomPixelData*>(clone.release()));
    if (m_pixelElement->IsEncapsulated()) {
      static_cast<CDicomEncapsulatedPixelData&>(*m_pixelElement)
          .SetFrameLayout(m_numberOfFrames, ExtendedOffsetTable(document));
    }
    return true;
  }
  const bool encapsulated = pixels != nullptr && pixels->IsEncapsulated();
  if (!encapsulated && !m_object->IsUncompressed()) {
    // A plain element holding fragments (made by an edit, not by the
    // reader): parse them into an element of the image's own. Rare, and
    // small next to a native value.
    m_pixelElement = CDicomEncapsulatedPixelData::FromFlatValue(*element);
    return m_pixelElement != nullptr;
  }
  if (!encapsulated && !element->HasValue()) return false;
  m_sharedPixels = element;
  m_sharedEncapsulated = encapsulated;
  m_sharedFrame = -1;
  if (encapsulated) {
    Result<std::vector<FrameSpan>> spans = static_cast<const CDicomEncapsulatedPixelData*>(pixels)->MapFramesInMemory(
        m_numberOfFrames, ExtendedOffsetTable(document));
    if (spans) m_sharedSpans = std::move(*spans);
  }
  return true;
}

bool CPixelImage::OpenFile(const std::string& path) { return OpenFileAs(path, false); }

bool CPixelImage::OpenFileForNativeFrames(const std::string& path) { return OpenFileAs(path, true); }

bool CPixelImage::OpenFileAs(const std::string& path, bool nativeFramesOnly) {
  Close();
  m_nativeFramesOnly = nativeFramesOnly;
  m_object = std::make_unique<CDicomObject>();
  m_stream = std::make_unique<CFileStream>();
  if (!m_stream->Open(path, CFileStream::OpenMode::Read)) return false;
  m_path = path;
  if (!CDicomFileReader(*m_stream, {.skipPixelData = true}).ReadFile(*m_object)) {
    CloseFile(false);
    return false;
  }
  return Setup();
}

void CPixelImage::Close() {
  CloseFile(true);
  m_openError.clear();
  m_object.reset();
  m_pixelElement.reset();
  m_sharedPixels = nullptr;
  m_sharedEncapsulated = false;
  m_sharedFrame = -1;
  m_sharedSpans.clear();
  m_paletteRed.clear();
  m_paletteGreen.clear();
  m_paletteBlue.clear();
  m_codec.reset();
  m_frameDecoder.reset();
  m_nativeBuffer.reset();
  m_lastError.clear();
  m_columns = m_alignedColumns = m_rows = m_samplesPerPixel = 0;
  m_bitsAllocated = m_bitsStored = m_highBit = 0;
  m_planarConfiguration = 0;
  m_numberOfFrames = 0;
  m_frameSize = 0;
  m_framesWritten = 0;
  m_output = nullptr;
  m_bitmapInfo = BitmapInfo{};
  m_lossyRatioPosition.reset();
  m_originalFrameSize = 0;
  m_bytesWritten = 0;
  m_nativeFramesOnly = false;
  m_floatSamples = false;
}

void CPixelImage::CloseFile(bool clearPath) {
  if (m_stream) m_stream->Abort();
  if (clearPath) {
    m_path.clear();
    m_frameBuffer.reset();
    m_frameBufferSize = 0;
  }
}

bool CPixelImage::Setup() { return ReadAttributes() && TakePixelElement(); }

bool CPixelImage::CheckExtent(const CDicomPixelData& pixels) {
  const Status extent = CheckDeclaredPixelExtent(pixels, StoredFrameSize(), m_numberOfFrames);
  if (!extent) m_openError = m_lastError = extent.Message();
  return static_cast<bool>(extent);
}

bool CPixelImage::ReadAttributes() {
  m_frameBuffer.reset();
  m_frameBufferSize = 0;
  const CDicomObject& object = *m_object;
  m_columns = UInt16Or(object, tags::kColumns, 0);
  m_alignedColumns = (m_columns + 3) & ~3u;
  m_rows = UInt16Or(object, tags::kRows, 0);
  m_samplesPerPixel = UInt16Or(object, tags::kSamplesPerPixel, 1);
  m_bitsAllocated = UInt16Or(object, tags::kBitsAllocated, 0);
  m_bitsStored = UInt16Or(object, tags::kBitsStored, 0);
  m_highBit = UInt16Or(object, tags::kHighBit, 0);
  m_planarConfiguration = UInt16Or(object, tags::kPlanarConfiguration, 0);
  m_numberOfFrames = 1;
  uint32_t frames = 0;
  if (object.GetNumber(tags::kNumberOfFrames, frames) == DicomStatus::Success) {
    // The text is read as a signed number: "-3" means no frame count.
    const auto signedFrames = static_cast<int32_t>(frames);
    if (signedFrames > 0) m_numberOfFrames = signedFrames;
  }
  m_frameSize = uint64_t{m_rows} * m_samplesPerPixel * m_alignedColumns * m_bitsAllocated / 8;

  m_frameDecoder.reset();
  m_nativeBuffer.reset();
  m_lastError.clear();
  // Packed bits are shown a byte per pixel.
  if (m_bitsAllocated == 1) m_frameSize = uint64_t{m_rows} * m_samplesPerPixel * m_alignedColumns;

  bool decoded = false;
  if (!SetupFrameDecoder(decoded)) return false;
  if (!decoded) m_codec = ChoosePixelCodec(object, m_quality);
  // Native frames need no display codec: HasNativeFrames says whether
  // they can be read.
  if (!m_codec && m_nativeFramesOnly && (decoded || object.IsUncompressed())) return true;
  if (!m_codec) {
    // A syntax the display codecs know fails as it always did (size,
    // photometric interpretation); any other syntax has no decoder at all.
    std::string syntax;
    (void)object.GetString(tags::kTransferSyntaxUid, syntax);
    const bool displaySyntax = object.IsUncompressed() || syntax == kRleLossless || syntax == "1.2.840.10008.1.2.4.50";
    if (m_lastError.empty() && (m_rows == 0 || m_columns == 0 || m_bitsAllocated == 0)) {
      m_lastError = "the data set describes no image: Rows, Columns or Bits Allocated is missing or 0";
    }
    if (m_lastError.empty() && !displaySyntax) {
      m_lastError = "pixel data in transfer syntax " + DescribeTransferSyntax(syntax) + " cannot be decoded";
    }
    return false;
  }
  if (m_codec->Format() == PixelFormat::PaletteColor && !LoadPalette()) return false;
  BuildBitmapInfo();
  return true;
}

bool CPixelImage::SetupFrameDecoder(bool& used) {
  used = false;
  std::string syntax;
  (void)m_object->GetString(tags::kTransferSyntaxUid, syntax);
  // Uncompressed colour wider than a byte a sample is shown as decoded
  // wide colour is: the display codecs take a byte a sample.
  const bool wideColour = m_object->IsUncompressed() && m_samplesPerPixel == 3 &&
                          (m_bitsAllocated == 16 || m_bitsAllocated == 32) && m_bitsStored <= m_bitsAllocated;
  // 8-bit RLE keeps the display codec it always had, except for reading
  // native frames.
  if (!wideColour &&
      (!HasFrameDecoder(syntax) || (syntax == kRleLossless && m_bitsAllocated == 8 && !m_nativeFramesOnly))) {
    return true;
  }
  used = true;
  NativeFrameFormat declared{m_columns,     m_rows, m_samplesPerPixel, m_bitsAllocated, m_bitsStored,
                             UInt16Or(*m_object, tags::kPixelRepresentation, 0) == 1, {}};
  (void)m_object->GetString(tags::kPhotometricInterpretation, declared.photometric);
  if (wideColour) {
    m_frameDecoder = std::make_unique<CNativeColourFrameDecoder>(declared, m_planarConfiguration == 1);
  } else {
    auto decoder = CreateFrameDecoder(syntax, declared);
    if (!decoder) {
      m_lastError = decoder.Message();
      return false;
    }
    m_frameDecoder = std::move(*decoder);
  }
  const NativeFrameFormat shown = DisplayFormatFor(m_frameDecoder->OutputFormat());
  if (m_nativeFramesOnly && !IsShownPhotometric(shown.photometric)) return true;
  if (!IsShownPhotometric(shown.photometric)) {
    m_lastError = "decoded pixel data with photometric interpretation \"" + shown.photometric + "\" cannot be shown";
    return false;
  }
  m_codec = CreatePixelCodec(CodecKind::Native, shown.photometric, shown.columns, shown.rows, shown.bitsAllocated,
                             shown.bitsStored, shown.samplesPerPixel, 0, m_quality);
  if (!m_codec && m_nativeFramesOnly) return true;
  if (!m_codec) {
    m_lastError = "an image of " + std::to_string(shown.columns) + "x" + std::to_string(shown.rows) + " with " +
                  std::to_string(shown.samplesPerPixel) + " samples of " + std::to_string(shown.bitsAllocated) +
                  " bits cannot be shown";
    return false;
  }
  const bool reduced = shown.bitsAllocated != m_frameDecoder->OutputFormat().bitsAllocated;
  const uint16_t highBit = UInt16Or(*m_object, tags::kHighBit, static_cast<uint16_t>(shown.bitsStored - 1));
  m_codec->SetSampleLayout(reduced ? shown.bitsStored - 1 : highBit, shown.signedSamples);
  return true;
}

bool CPixelImage::TakePixelElement() {
  m_pixelElement.reset();
  std::unique_ptr<CDicomElement> taken = m_object->TakeElement(tags::kPixelData);
  if (!taken) {
    // Float and Double Float Pixel Data hold native frames in their own
    // element; read as Pixel Data, their samples taken as floating point.
    for (const DicomTag floatTag : {kFloatPixelData, kDoubleFloatPixelData}) {
      if (taken) break;
      taken = m_object->TakeElement(floatTag);
      if (taken) {
        taken->SetTag(tags::kPixelData);
        m_floatSamples = true;
        if (m_codec) m_codec->SetFloatSamples(true);
      }
    }
  }
  if (taken) {
    if (auto* pixels = dynamic_cast<CDicomPixelData*>(taken.get())) {
      (void)taken.release();
      m_pixelElement.reset(pixels);
    } else {
      m_pixelElement = CDicomPixelData::TakeOver(*taken);
    }
    if (m_pixelElement && !CheckExtent(*m_pixelElement)) m_pixelElement.reset();
    if (m_pixelElement && m_pixelElement->IsEncapsulated()) {
      static_cast<CDicomEncapsulatedPixelData&>(*m_pixelElement)
          .SetFrameLayout(m_numberOfFrames, ExtendedOffsetTable(*m_object));
    }
  } else if (!m_object->IsUncompressed()) {
    m_pixelElement = std::make_unique<CDicomEncapsulatedPixelData>();
  } else {
    // The value holds the stored frames, which are smaller than display
    // frames whenever the width is not a multiple of 4.
    uint64_t length = StoredFrameSize() * static_cast<uint64_t>(m_numberOfFrames);
    length += length % 2;  // FinishWrite pads an odd value
    if (length >= CDicomElement::kUndefinedLength) return false;
    m_pixelElement = std::make_unique<CDicomPixelData>();
    m_pixelElement->SetVR(m_bitsAllocated > 8 ? MakeVR('O', 'W') : MakeVR('O', 'B'));
    m_pixelElement->SetValueLength(static_cast<uint32_t>(length));
  }
  return m_pixelElement != nullptr;
}

bool CPixelImage::LoadPalette() {
  uint32_t length = 0;
  const uint8_t* descriptor = nullptr;
  for (DicomTag tag : kPaletteDescriptors) {
    if (m_object->GetValue(tag, length, &descriptor) != DicomStatus::Success || descriptor == nullptr ||
        length < 6) {
      return false;
    }
  }
  (void)m_object->GetValue(kPaletteDescriptors[0], length, &descriptor);
  const uint16_t entries = LoadU16(descriptor, false);
  m_paletteEntries = entries == 0 ? 65536u : entries;  // 0 stands for 2^16 entries
  m_paletteFirstMapped = LoadU16(descriptor + 2, false);
  m_paletteBits = LoadU16(descriptor + 4, false);
  if (m_paletteBits < 9) m_paletteBits = 8;

  std::vector<uint16_t>* tables[3] = {&m_paletteRed, &m_paletteGreen, &m_paletteBlue};
  for (int i = 0; i < 3; ++i) {
    const uint8_t* data = nullptr;
    if (m_object->GetValue(kPaletteData[i], length, &data) != DicomStatus::Success || data == nullptr ||
        length != uint64_t{m_paletteEntries} * 2) {
      return false;
    }
    std::vector<uint16_t>& table = *tables[i];
    table.resize(m_paletteEntries);
    for (uint32_t e = 0; e < m_paletteEntries; ++e) {
      const uint16_t value = LoadU16(data + 2 * e, false);
      table[e] = m_paletteBits == 8 ? static_cast<uint16_t>(value & 0xFF) : value;
    }
  }
  return true;
}

void CPixelImage::BuildBitmapInfo() {
  BitmapInfo& info = m_bitmapInfo;
  info = BitmapInfo{};
  info.width = static_cast<int32_t>(m_columns);
  info.height = static_cast<int32_t>(m_rows);
  info.planes = 1;
  info.bitCount = static_cast<uint16_t>(8 * m_samplesPerPixel);
  info.imageSize = m_rows * m_columns;
  info.coloursUsed = info.coloursImportant = m_samplesPerPixel == 3 ? 0 : 256;
  if (m_samplesPerPixel != 1 && m_samplesPerPixel != 2) return;
  for (uint32_t i = 0; i < 256; ++i) {
    uint8_t* entry = &info.palette[4 * i];
    switch (m_codec->Format()) {
      case PixelFormat::PaletteColor: {
        // 16-bit entries carry their intensity in the high byte; 8-bit
        // entries were reduced to their low byte when loaded.
        auto byteOf = [this, i](const std::vector<uint16_t>& table) -> uint8_t {
          if (i >= table.size()) return 0;
          return static_cast<uint8_t>(m_paletteBits == 8 ? table[i] : table[i] >> 8);
        };
        entry[0] = byteOf(m_paletteBlue);
        entry[1] = byteOf(m_paletteGreen);
        entry[2] = byteOf(m_paletteRed);
        break;
      }
      case PixelFormat::Monochrome2Byte:
      case PixelFormat::Monochrome2Word:
        entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
        break;
      case PixelFormat::Monochrome1Byte:
      case PixelFormat::Monochrome1Word:
        entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(255 - i);
        break;
      default:
        break;
    }
  }
}

uint64_t CPixelImage::FrameBufferSize() const {
  if (m_frameSize == 0 || m_frameSize > CPixelCodec::kMaxDisplaySize) return 0;
  // Twice the display frame, plus room for a compressed frame's fixed
  // overhead (JPEG headers and tables, the RLE header), which exceeds twice
  // the pixels of a very small image.
  return 2 * m_frameSize + 65536;
}

bool CPixelImage::EnsureFrameBuffer() {
  if (m_frameBuffer) return true;
  const uint64_t size = FrameBufferSize();
  if (size == 0) return false;
  try {
    m_frameBuffer = std::make_unique<uint8_t[]>(size);  // zero-filled
  } catch (const std::bad_alloc&) {
    return false;
  }
  m_frameBufferSize = size;
  return true;
}

bool CPixelImage::EnsureStreamOpen() {
  if (Stream() != nullptr) return true;
  if (m_path.empty()) return false;
  if (!m_stream) m_stream = std::make_unique<CFileStream>();
  return m_stream->Open(m_path, CFileStream::OpenMode::Read);
}

FrameStatus CPixelImage::DecodeStored(const uint8_t* stored, uint64_t storedLength, uint8_t* bitmap,
                                      uint64_t capacity, uint64_t& outLength) {
  if (bitmap == nullptr || capacity < m_frameSize) return FrameStatus::Failure;
  if (!m_codec) return FrameStatus::CodecFailed;
  outLength = m_frameSize;
  if (m_frameDecoder) {
    // Decoded into the first part of the buffer, reduced (when the display
    // codec needs it) into the second.
    const NativeFrameFormat& decodedFormat = m_frameDecoder->OutputFormat();
    const NativeFrameFormat shown = DisplayFormatFor(decodedFormat);
    const uint64_t nativeSize = decodedFormat.FrameSize();
    const bool reduced = shown.bitsAllocated != decodedFormat.bitsAllocated;
    if (!m_nativeBuffer) {
      if (nativeSize > CPixelCodec::kMaxDisplaySize) return FrameStatus::NoBuffer;
      m_nativeBuffer.reset(new (std::nothrow) uint8_t[nativeSize + (reduced ? shown.FrameSize() : 0)]);
      if (!m_nativeBuffer) return FrameStatus::NoBuffer;
    }
    if (Status decoded = m_frameDecoder->Decode(stored, storedLength, m_nativeBuffer.get(), nativeSize); !decoded) {
      m_lastError = decoded.Message();
      return FrameStatus::CodecFailed;
    }
    stored = m_nativeBuffer.get();
    storedLength = nativeSize;
    if (reduced) {
      ReduceForDisplay(decodedFormat, stored, m_nativeBuffer.get() + nativeSize);
      stored = m_nativeBuffer.get() + nativeSize;
      storedLength = shown.FrameSize();
    }
  }
  return m_codec->Decompress(stored, storedLength, bitmap) ? FrameStatus::Success : FrameStatus::CodecFailed;
}

bool CPixelImage::FindSharedFrame(int64_t index, const uint8_t*& stored, uint64_t& length) {
  if (index < 0 || m_sharedPixels == nullptr) return false;
  if (m_sharedEncapsulated) {
    const auto& pixels = static_cast<const CDicomEncapsulatedPixelData&>(*m_sharedPixels);
    if (static_cast<uint64_t>(index) >= m_sharedSpans.size()) return false;
    const FrameSpan& span = m_sharedSpans[static_cast<size_t>(index)];
    if (span.count == 1) {
      // One fragment: decoded straight from the document's bytes. Item 0
      // is the offset table.
      const CDicomElement* item = pixels.GetItem(span.first + 1);
      if (item == nullptr || !item->HasValue() || item->GetLength() == 0) return false;
      stored = item->GetValue();
      length = item->GetLength();
      return true;
    }
    // Several fragments are joined in the frame buffer.
    if (!EnsureFrameBuffer() || !pixels.CopySpan(span, m_frameBuffer.get(), m_frameBufferSize, length)) return false;
    stored = m_frameBuffer.get();
    return true;
  }
  // A native value: the frame must lie inside it.
  const uint64_t frameSize = StoredFrameSize();
  const uint64_t valueLength = m_sharedPixels->HasValue() ? m_sharedPixels->GetLength() : 0;
  const auto frame = static_cast<uint64_t>(index);
  if (frameSize == 0 || frameSize > valueLength || frame > (valueLength - frameSize) / frameSize) return false;
  stored = m_sharedPixels->GetValue() + frame * frameSize;
  length = frameSize;
  return true;
}

FrameStatus CPixelImage::ReadFrame(int32_t index, uint8_t* bitmap, uint64_t capacity, uint64_t& outLength) {
  outLength = 0;
  if (!HasPixelData()) return kNoPixelData;
  if (index < 0 || index >= m_numberOfFrames) return FrameStatus::OutOfRange;
  return ReadAndDecode(index, bitmap, capacity, outLength);
}

FrameStatus CPixelImage::ReadNextFrame(uint8_t* bitmap, uint64_t capacity, uint64_t& outLength) {
  outLength = 0;
  if (!HasPixelData()) return kNoPixelData;
  return ReadAndDecode(kNextFrame, bitmap, capacity, outLength);
}

FrameStatus CPixelImage::ReadStored(int32_t index, const uint8_t*& stored, uint64_t& storedLength) {
  if (m_sharedPixels != nullptr) {
    if (!m_codec && !m_nativeFramesOnly) return FrameStatus::CodecFailed;
    // Like an element's frame counter, this one advances on a failed read.
    m_sharedFrame = index == kNextFrame ? m_sharedFrame + 1 : index;
    return FindSharedFrame(m_sharedFrame, stored, storedLength) ? FrameStatus::Success : FrameStatus::ReadWriteFailed;
  }
  // A value held in memory needs no file.
  if (!m_pixelElement->IsLoaded() && !EnsureStreamOpen()) return FrameStatus::CannotReopen;
  if (!m_codec && !m_nativeFramesOnly) return FrameStatus::CodecFailed;
  if (!EnsureFrameBuffer()) return FrameStatus::NoBuffer;
  const bool read = index == kNextFrame
                        ? m_pixelElement->ReadNextFrame(Stream(), m_frameBuffer.get(), m_frameBufferSize,
                                                        StoredFrameSize(), storedLength)
                        : m_pixelElement->ReadFrame(Stream(), index, m_frameBuffer.get(), m_frameBufferSize,
                                                    StoredFrameSize(), storedLength);
  if (!read) {
    CloseFile(false);
    return FrameStatus::ReadWriteFailed;
  }
  stored = m_frameBuffer.get();
  return FrameStatus::Success;
}

FrameStatus CPixelImage::ReadAndDecode(int32_t index, uint8_t* bitmap, uint64_t capacity, uint64_t& outLength) {
  const uint8_t* stored = nullptr;
  uint64_t storedLength = 0;
  const FrameStatus read = ReadStored(index, stored, storedLength);
  if (read != FrameStatus::Success) return read;
  return DecodeStored(stored, storedLength, bitmap, capacity, outLength);
}

bool CPixelImage::HasNativeFrames() const {
  if (m_frameDecoder) return true;
  if (!m_object || !m_object->IsUncompressed() || m_floatSamples) return false;
  if (m_bitsAllocated != 8 && m_bitsAllocated != 16 && m_bitsAllocated != 32) return false;
  if (m_samplesPerPixel != 1 && m_samplesPerPixel != 3) return false;
  if (m_bitsStored == 0 || m_bitsStored > m_bitsAllocated || m_columns == 0 || m_rows == 0) return false;
  // Big endian values are turned little endian by their VR's word size,
  // which is not a 32-bit sample's.
  if (m_bitsAllocated == 32 && m_object->GetTransferMode() == TransferMode::ExplicitBigEndian) return false;
  std::string photometric;
  (void)m_object->GetString(tags::kPhotometricInterpretation, photometric);
  return photometric.find("_422") == std::string::npos && photometric.find("_420") == std::string::npos;
}

NativeFrameFormat CPixelImage::NativeFormat() const {
  if (m_frameDecoder) return m_frameDecoder->OutputFormat();
  NativeFrameFormat format{m_columns, m_rows, m_samplesPerPixel, m_bitsAllocated, m_bitsStored, false, {}};
  if (m_object) {
    format.signedSamples = UInt16Or(*m_object, tags::kPixelRepresentation, 0) == 1;
    (void)m_object->GetString(tags::kPhotometricInterpretation, format.photometric);
  }
  return format;
}

FrameStatus CPixelImage::ReadNativeFrame(int32_t index, uint8_t* native, uint64_t capacity, uint64_t& outLength) {
  outLength = 0;
  if (!HasPixelData()) return kNoPixelData;
  if (!HasNativeFrames()) return FrameStatus::CodecFailed;
  if (index < 0 || index >= m_numberOfFrames) return FrameStatus::OutOfRange;
  const NativeFrameFormat format = NativeFormat();
  const uint64_t nativeSize = format.FrameSize();
  if (native == nullptr || capacity < nativeSize) return FrameStatus::Failure;
  const uint8_t* stored = nullptr;
  uint64_t storedLength = 0;
  const FrameStatus read = ReadStored(index, stored, storedLength);
  if (read != FrameStatus::Success) return read;
  if (m_frameDecoder) {
    if (Status decoded = m_frameDecoder->Decode(stored, storedLength, native, capacity); !decoded) {
      m_lastError = decoded.Message();
      return FrameStatus::CodecFailed;
    }
  } else if (storedLength < nativeSize) {
    return FrameStatus::ReadWriteFailed;
  } else if (m_samplesPerPixel == 3 && m_planarConfiguration != 0) {
    // Colour by plane: every sample of a plane, then the next plane.
    const uint64_t pixels = format.PixelCount();
    const uint32_t bytes = format.BytesPerSample();
    for (uint32_t plane = 0; plane < 3; ++plane) {
      const uint8_t* from = stored + plane * pixels * bytes;
      uint8_t* to = native + plane * bytes;
      for (uint64_t i = 0; i < pixels; ++i) std::memcpy(to + i * 3 * bytes, from + i * bytes, bytes);
    }
  } else {
    std::memcpy(native, stored, nativeSize);
  }
  outLength = nativeSize;
  return FrameStatus::Success;
}

FrameStatus CPixelImage::ReadEncodedFrame(int32_t index, std::vector<uint8_t>& encoded) {
  if (!HasPixelData()) {
    encoded.clear();
    return kNoPixelData;
  }
  if (index < 0 || index >= m_numberOfFrames) {
    encoded.clear();
    return FrameStatus::OutOfRange;
  }
  if (m_sharedPixels != nullptr) {
    const uint8_t* stored = nullptr;
    uint64_t storedLength = 0;
    const FrameStatus read = ReadStored(index, stored, storedLength);
    encoded.assign(stored, read == FrameStatus::Success ? stored + storedLength : stored);
    return read;
  }
  // Straight into `encoded`, which keeps the size of the caller's last
  // frame: a conversion reads every frame here, on the one thread that
  // also writes them, and a copy through the frame buffer would cost it a
  // second pass over the whole pixel data. An encapsulated element says a
  // frame's length when the buffer is too small for it (a native frame has
  // its stored size); the frame is read again into a buffer of that
  // length, no larger than the frame buffer would be.
  if (!m_pixelElement->IsLoaded() && !EnsureStreamOpen()) return FrameStatus::CannotReopen;
  if (!m_codec && !m_nativeFramesOnly) return FrameStatus::CodecFailed;
  uint64_t length = 0;
  bool read = m_pixelElement->ReadFrame(Stream(), index, encoded.data(), encoded.size(), StoredFrameSize(), length);
  if (!read && !m_pixelElement->IsEncapsulated()) length = StoredFrameSize();
  if (!read && length > encoded.size() && length <= FrameBufferSize()) {
    try {
      encoded.resize(length);
    } catch (const std::bad_alloc&) {
      return FrameStatus::NoBuffer;
    }
    read = m_pixelElement->ReadFrame(Stream(), index, encoded.data(), encoded.size(), StoredFrameSize(), length);
  }
  if (!read) {
    encoded.clear();
    CloseFile(false);
    return FrameStatus::ReadWriteFailed;
  }
  encoded.resize(length);
  return FrameStatus::Success;
}

bool CPixelImage::WriteHeader(CStream& output) {
  m_output = nullptr;
  if (!m_object) return false;
  m_framesWritten = 0;
  m_numberOfFramesPosition.reset();
  CDicomFileWriter writer(output);
  if (!writer.WriteFileUpTo(*m_object, tags::kPixelData)) return false;
  m_numberOfFramesPosition = writer.NumberOfFramesPosition();
  m_lossyRatioPosition = writer.LossyCompressionRatioPosition();
  m_bytesWritten = 0;
  m_output = &output;
  return true;
}

FrameStatus CPixelImage::WriteFrame(const uint8_t* bitmap) {
  if (!m_object) return FrameStatus::Failure;
  if (!EnsureFrameBuffer()) return FrameStatus::NoBuffer;
  if (!m_codec) return FrameStatus::CodecFailed;
  if (!m_pixelElement || m_output == nullptr) return FrameStatus::Failure;
  uint64_t length = 0;
  if (!m_codec->Compress(bitmap, m_frameBuffer.get(), m_frameBufferSize, length)) return FrameStatus::CodecFailed;
  if (!m_pixelElement->WriteFrame(*m_output, m_object->GetTransferMode(), m_frameBuffer.get(), length)) {
    return FrameStatus::ReadWriteFailed;
  }
  ++m_framesWritten;
  m_bytesWritten += length + length % 2;
  return FrameStatus::Written;
}

FrameStatus CPixelImage::WriteStoredFrame(const uint8_t* stored, uint64_t length) {
  if (!m_object || !m_pixelElement || m_output == nullptr || stored == nullptr) return FrameStatus::Failure;
  if (!m_pixelElement->WriteFrame(*m_output, m_object->GetTransferMode(), stored, length)) {
    return FrameStatus::ReadWriteFailed;
  }
  ++m_framesWritten;
  m_bytesWritten += length + length % 2;
  return FrameStatus::Written;
}

bool CPixelImage::FinishWrite() {
  if (!m_object || !m_pixelElement || m_framesWritten <= 0 || m_output == nullptr) return false;
  CStream& output = *m_output;
  m_output = nullptr;  // borrowed only until here, whatever the outcome
  const TransferMode mode = m_object->GetTransferMode();
  if (!m_pixelElement->FinishWrite(output, mode)) return false;
  const bool native = !m_pixelElement->IsEncapsulated();
  const uint64_t written = StoredFrameSize() * static_cast<uint64_t>(m_framesWritten);
  // Values have even length: an odd native value gets one pad byte.
  if (native && written % 2 != 0) {
    const uint8_t pad = 0;
    output.Write(&pad, 1);
  }
  // The elements after the pixel data, where they stood in the source.
  if (!CDicomFileWriter(output).WriteDataSetFrom(*m_object, tags::kPixelData + 1)) return false;
  if (m_framesWritten < m_numberOfFrames) {
    uint32_t oldLength = 0;
    const uint8_t* oldValue = nullptr;
    if (m_numberOfFramesPosition &&
        m_object->GetValue(tags::kNumberOfFrames, oldLength, &oldValue) == DicomStatus::Success) {
      // Pad with spaces over the whole old value: "10" rewritten as 9
      // must read "9 ", not "90".
      std::string digits = std::to_string(m_framesWritten);
      if (digits.size() < oldLength) digits.append(oldLength - digits.size(), ' ');
      output.Seek(static_cast<int64_t>(*m_numberOfFramesPosition), CStream::SeekOrigin::Begin);
      output.Write(digits.data(), std::min<uint64_t>(digits.size(), oldLength));
    }
    if (native && m_pixelElement->GetValuePosition() != CDicomPixelData::kUnknownPosition) {
      // A native value announced all frames; its length field (the last
      // four bytes of its header) must match what was written.
      uint8_t field[4];
      StoreU32(field, static_cast<uint32_t>(written + written % 2), mode == TransferMode::ExplicitBigEndian);
      output.Seek(static_cast<int64_t>(m_pixelElement->GetValuePosition() - 4), CStream::SeekOrigin::Begin);
      output.Write(field, sizeof field);
    }
  }
  FillCompressionRatio(output);
  return static_cast<bool>(output.Flush());
}

void CPixelImage::ReserveOffsetTable(uint32_t frames) {
  if (m_pixelElement && m_pixelElement->IsEncapsulated()) {
    static_cast<CDicomEncapsulatedPixelData&>(*m_pixelElement).ReserveOffsetTable(frames);
  }
}

void CPixelImage::FillCompressionRatio(CStream& output) const {
  if (!m_lossyRatioPosition || m_originalFrameSize == 0 || m_bytesWritten == 0) return;
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  if (m_object->GetValue(tags::kLossyImageCompressionRatio, length, &value) != DicomStatus::Success ||
      value == nullptr) {
    return;
  }
  const std::string text(reinterpret_cast<const char*>(value), length);
  const size_t backslash = text.rfind('\\');
  const size_t start = backslash == std::string::npos ? 0 : backslash + 1;
  if (start >= text.size() || text.find_first_not_of(' ', start) != std::string::npos) return;
  const size_t width = text.size() - start;
  const double ratio =
      static_cast<double>(m_originalFrameSize) * m_framesWritten / static_cast<double>(m_bytesWritten);
  // As many digits as the blank holds (a decimal string has at most 16).
  std::string digits;
  for (int precision = 8; precision >= 1; --precision) {
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, "%.*g", precision, ratio);
    if (n > 0 && static_cast<size_t>(n) <= width) {
      digits.assign(buffer, static_cast<size_t>(n));
      break;
    }
  }
  if (digits.empty()) return;
  digits.resize(width, ' ');
  const uint64_t end = output.GetPosition();
  output.Seek(static_cast<int64_t>(*m_lossyRatioPosition + start), CStream::SeekOrigin::Begin);
  output.Write(digits.data(), digits.size());
  output.Seek(static_cast<int64_t>(end), CStream::SeekOrigin::Begin);
}

const BitmapInfo* CPixelImage::GetBitmapInfo() const {
  if (!m_object || !m_codec || !HasPixelData()) return nullptr;
  return &m_bitmapInfo;
}

bool CPixelImage::GetWindow(int32_t& width, int32_t& center) const {
  if (!m_codec) return false;
  m_codec->GetWindow(width, center);
  return true;
}

bool CPixelImage::SetWindow(int32_t width, int32_t center) {
  if (!m_codec) return false;
  m_codec->SetWindow(width, center);
  return true;
}

bool SuggestedWindow(const CDicomObject& object, int32_t& width, int32_t& center) {
  // Decimal strings, several values allowed: the first one counts.
  const auto first = [&object](DicomTag tag, double& value) {
    std::string text;
    if (object.GetString(tag, text) != DicomStatus::Success || text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && std::isfinite(value);
  };
  double fileCenter = 0;
  double fileWidth = 0;
  if (!first(0x00281050, fileCenter) || !first(0x00281051, fileWidth) || fileWidth < 1) return false;
  double slope = 1;
  double intercept = 0;
  if (!first(0x00281053, slope) || slope == 0) slope = 1;
  if (!first(0x00281052, intercept)) intercept = 0;
  const double storedCenter = (fileCenter - intercept) / slope;
  const double storedWidth = fileWidth / std::fabs(slope);
  if (std::fabs(storedCenter) > 65535 || storedWidth > 65535) return false;
  center = static_cast<int32_t>(std::lround(storedCenter));
  width = static_cast<int32_t>(std::lround(storedWidth));
  return true;
}

}  // namespace quillon
