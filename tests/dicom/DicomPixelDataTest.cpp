// Native Pixel Data: the value read into memory or left in the stream,
// frame access with every bound checked, and frame-by-frame output.
#include "dicom/DicomPixelData.h"

#include "base/MemoryStream.h"
#include "dicom/DicomObject.h"
#include "dicom/ValueRepresentation.h"
#include "support/ByteBuilder.h"
#include "support/DicomFiles.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace quillon;
using quillon::test::ByteBuilder;

namespace {

constexpr auto kLittle = TransferMode::ExplicitLittleEndian;
constexpr uint32_t kUndefined = CDicomElement::kUndefinedLength;
constexpr uint64_t kMax64 = std::numeric_limits<uint64_t>::max();
constexpr uint64_t kHugeFrame = uint64_t{1} << 63;  // frame 2 starts past 2^64
constexpr int32_t kNext = INT32_MIN;                 // Frame(): the frame after the one last read
const std::string kFailed = "(failed)";

// The element the reader makes of the Pixel Data header, its value left at `position`.
std::unique_ptr<CDicomPixelData> Deferred(uint32_t length, uint64_t position) {
  CDicomElement header(tags::kPixelData, vr::OB, nullptr, length);
  header.SetUndefinedLength(length == kUndefined);
  return std::make_unique<CDicomPixelData>(header, position);
}

// Frame `index` (kNext: the next one) of 4 bytes as text, or kFailed.
std::string Frame(CDicomPixelData& element, CStream* stream, int32_t index) {
  std::vector<uint8_t> out(4);
  uint64_t length = 0;
  const bool read = index == kNext ? element.ReadNextFrame(stream, out.data(), out.size(), 4, length)
                                   : element.ReadFrame(stream, index, out.data(), out.size(), 4, length);
  return read ? std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length)) : kFailed;
}

// Frames come from memory, or from the stream at the value position wherever
// the stream stands. 10 bytes hold frames 0 and 1 but not frame 2, though
// the stream holds more. An overflowing frame offset is found before
// anything is read or copied (the capacity claimed is never used).
TEST(DicomPixelDataFrames, ByIndexAndInSequenceWithinTheValue) {
  for (const bool loaded : {true, false}) {
    SCOPED_TRACE(loaded ? "loaded" : "deferred");
    CMemoryStream stream(ByteBuilder().Raw("headAAAABBBBCCCCafter").bytes);
    stream.Seek(4, CStream::SeekOrigin::Begin);
    auto element = Deferred(10, loaded ? CDicomPixelData::kUnknownPosition : 4);
    if (loaded) { ASSERT_TRUE(element->ReadValue(stream, kLittle)); }
    EXPECT_EQ(element->GetValuePosition(), 4u);
    CStream* source = loaded ? nullptr : &stream;
    EXPECT_EQ(Frame(*element, source, 1), "BBBB");
    stream.Seek(0, CStream::SeekOrigin::End);
    EXPECT_EQ(Frame(*element, source, 0), "AAAA");
    EXPECT_EQ(Frame(*element, source, kNext), "BBBB");
    EXPECT_EQ(element->GetReadFrameCounter(), 1);
    EXPECT_EQ(Frame(*element, source, kNext), kFailed);
    std::vector<uint8_t> out(4);
    uint64_t length = 0;
    EXPECT_FALSE(element->ReadFrame(source, 2, out.data(), kMax64, kHugeFrame, length));
    EXPECT_FALSE(element->ReadFrame(source, 1, out.data(), kMax64, kMax64 - 2, length));  // offset + size
    const std::unique_ptr<CDicomElement> clone = element->Clone();  // counts from the start again
    auto* copy = dynamic_cast<CDicomPixelData*>(clone.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->IsLoaded(), loaded);
    EXPECT_EQ(Frame(*copy, source, kNext), "AAAA");
  }
}

// A big-endian file stores OW words byte-swapped; a frame read straight
// from the file must come out as the same little-endian words a value read
// into memory holds.
TEST(DicomPixelDataFrames, DeferredFramesOfABigEndianFileAreSwappedLikeLoadedOnes) {
  ByteBuilder bytes(true);
  bytes.Meta(uids::kExplicitVrBigEndian).ExplicitHeader(tags::kPixelData, "OW", 8);
  for (uint8_t b = 1; b <= 8; ++b) bytes.Byte(b);  // words 0x0102 0x0304, 0x0506 0x0708
  CMemoryStream file(bytes.bytes);
  for (const bool skipPixelData : {true, false}) {
    file.Seek(0, CStream::SeekOrigin::Begin);
    CDicomObject read;
    ASSERT_TRUE(test::Succeeded(CDicomFileReader(file, {.skipPixelData = skipPixelData}).ReadFile(read)));
    auto* pixels = dynamic_cast<CDicomPixelData*>(read.Elements().Find(tags::kPixelData));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->IsLoaded(), !skipPixelData);
    EXPECT_EQ(Frame(*pixels, &file, 1), "\x06\x05\x08\x07") << skipPixelData;
  }
}

TEST(DicomPixelDataBadInput, BadRequestsAndShortStreamsFail) {
  CMemoryStream stream(ByteBuilder().Raw("AAAABB").bytes);  // cut inside frame 1
  auto element = Deferred(8, 0);
  std::vector<uint8_t> out(4, 0xEE);
  uint64_t length = 99;
  EXPECT_FALSE(element->ReadFrame(&stream, -1, out.data(), out.size(), 4, length));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(element->GetReadFrameCounter(), -1);  // a rejected index changes nothing
  EXPECT_FALSE(element->ReadFrame(&stream, 0, out.data(), 3, 4, length));  // room for 3 bytes only
  EXPECT_EQ(out, std::vector<uint8_t>(4, 0xEE));
  EXPECT_EQ(Frame(*element, nullptr, 0), kFailed);  // left in the stream, but none given
  EXPECT_EQ(Frame(*element, &stream, 0), "AAAA");
  EXPECT_EQ(Frame(*element, &stream, 1), kFailed);
  EXPECT_FALSE(Deferred(100, 0)->SkipValue(stream, kLittle));  // skipped, it still must fit in the file
  auto unpositioned = Deferred(8, CDicomPixelData::kUnknownPosition);
  EXPECT_EQ(Frame(*unpositioned, &stream, kNext), kFailed);
  // An undefined length is bounded by the stream alone.
  auto undefined = Deferred(kUndefined, 0);
  EXPECT_EQ(Frame(*undefined, &stream, 1), kFailed);
  stream.Seek(0, CStream::SeekOrigin::Begin);
  EXPECT_FALSE(undefined->ReadFrame(&stream, 2, out.data(), kMax64, kHugeFrame, length));
  EXPECT_EQ(stream.GetPosition(), 0u);
  auto farAway = Deferred(kUndefined, kMax64 - 8);  // past the largest seek position
  EXPECT_EQ(Frame(*farAway, &stream, 1), kFailed);
}

// A plain value moves in (a large image is never held twice); frames past the announced length are refused.
TEST(DicomPixelData, TakeOverCopyAndWrite) {
  CDicomElement plain(tags::kPixelData, vr::OW, "AAAABBBB", 8);
  auto element = CDicomPixelData::TakeOver(plain);
  ASSERT_NE(element, nullptr);
  EXPECT_FALSE(plain.HasValue());
  EXPECT_EQ(Frame(*element, nullptr, 1), "BBBB");
  EXPECT_FALSE(element->CopyFrom(CDicomElement(tags::kPixelData, vr::OB, "ABCD", 4)));
  CMemoryStream stream;
  EXPECT_FALSE(Deferred(12, 4)->WriteElement(stream, kLittle));

  const auto* frames = reinterpret_cast<const uint8_t*>("AAAABBBBCCCC");
  CDicomPixelData written;
  EXPECT_FALSE(written.WriteFrame(stream, kLittle, nullptr, 4));  // no frame bytes: nothing written
  written.SetValueLength(8);
  ASSERT_TRUE(written.WriteFrame(stream, kLittle, frames, 4));
  ASSERT_TRUE(written.WriteFrame(stream, kLittle, frames + 4, 4));
  EXPECT_EQ(written.GetWriteFrameCounter(), 1);
  EXPECT_FALSE(written.WriteFrame(stream, kLittle, frames + 8, 4));  // past the announced length
  EXPECT_TRUE(written.FinishWrite(stream, kLittle));
  EXPECT_EQ(stream.Data(), ByteBuilder().ExplicitHeader(tags::kPixelData, "OB", 8).Raw("AAAABBBB").bytes);
  // Without an announced length the single frame is the value.
  CMemoryStream single;
  CDicomPixelData unannounced;
  ASSERT_TRUE(unannounced.WriteFrame(single, TransferMode::ImplicitLittleEndian, frames, 6));
  EXPECT_EQ(single.Data(), ByteBuilder().ImplicitHeader(tags::kPixelData, 6).Raw("AAAABB").bytes);
}

}  // namespace
