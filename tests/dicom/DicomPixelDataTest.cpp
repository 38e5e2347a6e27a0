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
constexpr int32_t kNext = INT32_MIN;  // Frame(): the frame after the one last read
const std::string kFailed = "(failed)";

// The element the reader makes of the Pixel Data header, its value left at
// `position`.
std::unique_ptr<CDicomPixelData> Deferred(uint32_t length, uint64_t position) {
  CDicomElement header(tags::kPixelData, vr::OB, nullptr, length);
  header.SetUndefinedLength(length == kUndefined);
  return std::make_unique<CDicomPixelData>(header, position);
}

// "head", then the value: frames of 4 bytes "AAAA", "BBBB", "CCCC", then "after".
constexpr uint64_t kValueStart = 4;
CMemoryStream ThreeFrameStream() { return CMemoryStream(ByteBuilder().Raw("headAAAABBBBCCCCafter").bytes); }

// The first `length` value bytes of ThreeFrameStream read into memory.
std::unique_ptr<CDicomPixelData> Loaded(uint32_t length) {
  CMemoryStream stream = ThreeFrameStream();
  stream.Seek(kValueStart, CStream::SeekOrigin::Begin);
  auto element = Deferred(length, CDicomPixelData::kUnknownPosition);
  EXPECT_TRUE(element->ReadValue(stream, kLittle));
  EXPECT_EQ(element->GetValuePosition(), kValueStart);
  return element;
}

// Frame `index` (kNext: the next one) of 4 bytes, as text; kFailed when
// the read fails.
std::string Frame(CDicomPixelData& element, CStream* stream, int32_t index) {
  std::vector<uint8_t> out(4);
  uint64_t length = 0;
  const bool read = index == kNext ? element.ReadNextFrame(stream, out.data(), out.size(), 4, length)
                                   : element.ReadFrame(stream, index, out.data(), out.size(), 4, length);
  return read ? std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length)) : kFailed;
}

// A loaded value gives its frames from memory, with no stream; one left in
// the stream is read at its value position, wherever the stream stands.
// 10 bytes hold frames 0 and 1 but not frame 2, even though the stream
// holds the bytes after the value. A clone counts from the start again.
TEST(DicomPixelDataFrames, ByIndexAndInSequenceWithinTheValue) {
  for (const bool loaded : {true, false}) {
    SCOPED_TRACE(loaded ? "loaded" : "deferred");
    CMemoryStream stream = ThreeFrameStream();
    auto element = loaded ? Loaded(10) : Deferred(10, kValueStart);
    CStream* source = loaded ? nullptr : &stream;
    EXPECT_EQ(Frame(*element, source, 1), "BBBB");
    stream.Seek(0, CStream::SeekOrigin::End);
    EXPECT_EQ(Frame(*element, source, 0), "AAAA");
    EXPECT_EQ(Frame(*element, source, kNext), "BBBB");
    EXPECT_EQ(element->GetReadFrameCounter(), 1);
    EXPECT_EQ(Frame(*element, source, kNext), kFailed);
    const std::unique_ptr<CDicomElement> clone = element->Clone();
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
  CDicomObject source;
  ASSERT_TRUE(test::Succeeded(source.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.7", "1.2.3.4",
                                                           uids::kExplicitVrBigEndian, "1.2.3.5", "TEST", "TEST")));
  const uint8_t words[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};  // 2 frames of 2 words
  ASSERT_TRUE(test::Succeeded(source.AddElement(std::make_unique<CDicomElement>(tags::kPixelData, vr::OW, words, 8))));
  CMemoryStream file(test::WriteToBytes(source));
  for (const bool skipPixelData : {true, false}) {
    file.Seek(0, CStream::SeekOrigin::Begin);
    CDicomObject read;
    ASSERT_TRUE(test::Succeeded(CDicomFileReader(file, {.skipPixelData = skipPixelData}).ReadFile(read)));
    auto* pixels = dynamic_cast<CDicomPixelData*>(read.Elements().Find(tags::kPixelData));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->IsLoaded(), !skipPixelData);
    EXPECT_EQ(Frame(*pixels, &file, 1), "\x05\x06\x07\x08") << skipPixelData;
  }
}

// An overflow is found before anything is read or copied: the capacity
// claimed is never used.
TEST(DicomPixelDataBadInput, BadRequestsShortStreamsAndOverflowsFail) {
  CMemoryStream stream = ThreeFrameStream();
  auto element = Deferred(12, kValueStart);
  std::vector<uint8_t> out(4, 0xEE);
  uint64_t length = 99;
  EXPECT_FALSE(element->ReadFrame(&stream, -1, out.data(), out.size(), 4, length));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(element->GetReadFrameCounter(), -1);  // a rejected index changes nothing
  EXPECT_FALSE(element->ReadFrame(&stream, 0, out.data(), 3, 4, length));  // room for 3 bytes only
  EXPECT_EQ(out, std::vector<uint8_t>(4, 0xEE));
  EXPECT_EQ(Frame(*element, nullptr, 0), kFailed);  // left in the stream, but none given
  auto unpositioned = Deferred(12, CDicomPixelData::kUnknownPosition);
  EXPECT_EQ(Frame(*unpositioned, &stream, 0), kFailed);
  EXPECT_EQ(Frame(*unpositioned, &stream, kNext), kFailed);
  // An undefined length is bounded by the stream alone: cut inside frame 1.
  CMemoryStream cut(ByteBuilder().Raw("AAAABB").bytes);
  auto undefined = Deferred(kUndefined, 0);
  EXPECT_EQ(Frame(*undefined, &cut, 0), "AAAA");
  EXPECT_EQ(Frame(*undefined, &cut, 1), kFailed);

  const uint64_t hugeFrame = uint64_t{1} << 63;  // frame 2 starts past 2^64
  stream.Seek(0, CStream::SeekOrigin::Begin);
  auto deferred = Deferred(kUndefined, kValueStart);
  EXPECT_FALSE(deferred->ReadFrame(&stream, 2, out.data(), kMax64, hugeFrame, length));
  EXPECT_EQ(stream.GetPosition(), 0u);
  auto loaded = Loaded(12);
  EXPECT_FALSE(loaded->ReadFrame(nullptr, 2, out.data(), kMax64, hugeFrame, length));
  EXPECT_FALSE(loaded->ReadFrame(nullptr, 1, out.data(), kMax64, kMax64 - 2, length));  // offset + size
  auto farAway = Deferred(kUndefined, kMax64 - 8);  // past the largest seek position
  EXPECT_EQ(Frame(*farAway, &stream, 1), kFailed);
}

TEST(DicomPixelDataCopy, TakeOverMovesThePlainValueAndOnlyPixelDataIsHandled) {
  CDicomElement plain(tags::kPixelData, vr::OW, "AAAABBBB", 8);
  auto element = CDicomPixelData::TakeOver(plain);
  ASSERT_NE(element, nullptr);
  EXPECT_FALSE(plain.HasValue());  // a large image is never held twice
  EXPECT_EQ(Frame(*element, nullptr, 1), "BBBB");
  EXPECT_FALSE(element->CopyFrom(CDicomElement(tags::kPixelData, vr::OB, "ABCD", 4)));
  CDicomElement other(0x00091010, vr::OB, "AB", 2);
  EXPECT_EQ(CDicomPixelData::TakeOver(other), nullptr);
  EXPECT_TRUE(other.HasValue());
  auto deferred = Deferred(12, kValueStart);
  CMemoryStream out;
  EXPECT_FALSE(deferred->WriteElement(out, kLittle));  // the value is still in the file
  deferred->SetTag(0x00091010);
  EXPECT_EQ(deferred->Clone(), nullptr);
}

// Without an announced length the single frame is the value. Big endian
// swaps the tag and the length.
TEST(DicomPixelDataWrite, FramesFollowAHeaderWithTheAnnouncedLength) {
  CMemoryStream stream;
  stream.Write("pre", 3);  // the data set written before the pixel data
  CDicomPixelData element;
  const auto* frames = reinterpret_cast<const uint8_t*>("AAAABBBBCCCC");
  EXPECT_FALSE(element.WriteFrame(stream, kLittle, nullptr, 4));  // no frame bytes: nothing written
  element.SetValueLength(kUndefined);
  EXPECT_TRUE(element.IsUndefinedLength());
  element.SetValueLength(8);
  EXPECT_FALSE(element.IsUndefinedLength());
  ASSERT_TRUE(element.WriteFrame(stream, kLittle, frames, 4));
  ASSERT_TRUE(element.WriteFrame(stream, kLittle, frames + 4, 4));
  EXPECT_EQ(element.GetWriteFrameCounter(), 1);
  EXPECT_FALSE(element.WriteFrame(stream, kLittle, frames + 8, 4));  // past the announced length
  EXPECT_TRUE(element.FinishWrite(stream, kLittle));
  ASSERT_EQ(stream.Data(), ByteBuilder().Raw("pre").ExplicitHeader(tags::kPixelData, "OB", 8).Raw("AAAABBBB").bytes);
  EXPECT_EQ(Frame(*Deferred(8, element.GetValuePosition()), &stream, 1), "BBBB");

  for (const auto mode : {TransferMode::ImplicitLittleEndian, TransferMode::ExplicitBigEndian}) {
    CMemoryStream single;
    CDicomPixelData unannounced;
    ASSERT_TRUE(unannounced.WriteFrame(single, mode, frames, 6));
    const ByteBuilder header = mode == TransferMode::ImplicitLittleEndian
                                   ? ByteBuilder().ImplicitHeader(tags::kPixelData, 6)
                                   : ByteBuilder(true).ExplicitHeader(tags::kPixelData, "OB", 6);
    EXPECT_EQ(single.Data(), ByteBuilder(header).Raw("AAAABB").bytes);
  }
}

}  // namespace
