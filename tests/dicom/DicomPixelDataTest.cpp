// Native Pixel Data: the value read into memory or left in the stream,
// frame access by index and in sequence with every bound checked, and
// frame-by-frame output byte for byte.
#include "dicom/DicomPixelData.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "base/MemoryStream.h"
#include "dicom/ValueRepresentation.h"
#include "support/DicomFiles.h"
#include "support/ByteBuilder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace quillon;
using quillon::test::ByteBuilder;

namespace {

constexpr auto kLittle = TransferMode::ExplicitLittleEndian;
constexpr auto kBig = TransferMode::ExplicitBigEndian;
constexpr uint32_t kUndefined = CDicomElement::kUndefinedLength;
constexpr uint64_t kMax64 = std::numeric_limits<uint64_t>::max();
// What the frame helpers give for a read that fails.
const std::string kFailed = "(failed)";

// The Pixel Data header as the reader hands it over.
std::unique_ptr<CDicomElement> Header(uint32_t length, DicomVR vr = vr::OB) {
  auto header = std::make_unique<CDicomElement>();
  header->SetTag(tags::kPixelData);
  header->SetVR(vr);
  header->SetValueLength(length);
  header->SetUndefinedLength(length == kUndefined);
  return header;
}

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

// "head", then the value: three frames of 4 bytes, then "after".
constexpr uint64_t kValueStart = 4;
CMemoryStream ThreeFrameStream() {
  ByteBuilder b;
  b.Raw("head").Raw("AAAABBBBCCCC").Raw("after");
  return CMemoryStream(b.bytes);
}

// The element the reader makes of the first `length` value bytes of
// ThreeFrameStream, read into memory.
std::unique_ptr<CDicomPixelData> Loaded(uint32_t length = 12) {
  CMemoryStream stream = ThreeFrameStream();
  stream.Seek(kValueStart, CStream::SeekOrigin::Begin);
  auto element = std::make_unique<CDicomPixelData>(*Header(length), kValueStart);
  EXPECT_TRUE(element->ReadValue(stream, kLittle));
  return element;
}

// Frame `index` of 4 bytes read into a buffer of 4, as text; kFailed when
// the read fails.
std::string Frame(CDicomPixelData& element, CStream* stream, int32_t index) {
  std::vector<uint8_t> out(4);
  uint64_t length = 0;
  if (!element.ReadFrame(stream, index, out.data(), out.size(), 4, length)) return kFailed;
  return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length));
}

// The same for the frame after the one last read.
std::string NextFrame(CDicomPixelData& element, CStream* stream) {
  std::vector<uint8_t> out(4);
  uint64_t length = 0;
  if (!element.ReadNextFrame(stream, out.data(), out.size(), 4, length)) return kFailed;
  return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length));
}

TEST(DicomPixelData, NewElementIsAnEmptyObPixelDataAndSetValueLengthMarksUndefinedLength) {
  CDicomPixelData element;
  EXPECT_EQ(element.GetTag(), tags::kPixelData);
  EXPECT_EQ(element.GetVR(), vr::OB);
  EXPECT_EQ(element.GetLength(), 0u);
  EXPECT_FALSE(element.IsUndefinedLength());
  EXPECT_FALSE(element.IsLoaded());
  EXPECT_FALSE(element.IsEncapsulated());
  EXPECT_EQ(element.GetValuePosition(), CDicomPixelData::kUnknownPosition);
  EXPECT_EQ(element.GetReadFrameCounter(), -1);
  EXPECT_EQ(element.GetWriteFrameCounter(), -1);
  element.SetValueLength(kUndefined);
  EXPECT_TRUE(element.IsUndefinedLength());
  element.SetValueLength(64);
  EXPECT_FALSE(element.IsUndefinedLength());
  EXPECT_EQ(element.GetLength(), 64u);
}

TEST(DicomPixelData, BuiltFromAHeaderKeepsTheValueInTheStream) {
  CDicomPixelData element(*Header(12, vr::OW), 4);
  EXPECT_EQ(element.GetTag(), tags::kPixelData);
  EXPECT_EQ(element.GetVR(), vr::OW);
  EXPECT_EQ(element.GetLength(), 12u);
  EXPECT_FALSE(element.IsUndefinedLength());
  EXPECT_FALSE(element.IsLoaded());
  EXPECT_EQ(element.GetValuePosition(), 4u);
  CDicomPixelData undefined(*Header(kUndefined), 0);
  EXPECT_TRUE(undefined.IsUndefinedLength());
}

TEST(DicomPixelDataRead, ReadValueRecordsThePositionAndLoadsOnlyWhenItSucceeds) {
  CMemoryStream stream = ThreeFrameStream();
  stream.Seek(kValueStart, CStream::SeekOrigin::Begin);
  CDicomPixelData element(*Header(12), CDicomPixelData::kUnknownPosition);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  EXPECT_TRUE(element.IsLoaded());
  EXPECT_EQ(element.GetValuePosition(), kValueStart);
  EXPECT_EQ(stream.GetPosition(), kValueStart + 12);

  stream.Seek(kValueStart, CStream::SeekOrigin::Begin);
  CDicomPixelData tooLong(*Header(1000), kValueStart);  // more than the stream holds
  EXPECT_FALSE(tooLong.ReadValue(stream, kLittle));
  EXPECT_FALSE(tooLong.IsLoaded());
}

// A loaded value gives its frames from memory, with no stream; one left in
// the stream is read at its value position.
TEST(DicomPixelDataFrames, FramesComeByIndexAndInSequenceFromMemoryOrTheStream) {
  for (const bool loaded : {true, false}) {
    SCOPED_TRACE(loaded ? "loaded" : "deferred");
    CMemoryStream stream = ThreeFrameStream();
    auto element = loaded ? Loaded() : std::make_unique<CDicomPixelData>(*Header(12), kValueStart);
    CStream* source = loaded ? nullptr : &stream;
    EXPECT_EQ(Frame(*element, source, 1), "BBBB");
    stream.Seek(0, CStream::SeekOrigin::End);  // the stream position does not matter
    EXPECT_EQ(NextFrame(*element, source), "CCCC");
    EXPECT_EQ(element->GetReadFrameCounter(), 2);
    EXPECT_EQ(NextFrame(*element, source), kFailed);
    EXPECT_EQ(Frame(*element, source, 0), "AAAA");
    EXPECT_EQ(element->IsLoaded(), loaded);
  }
}

// A big-endian file stores OW words byte-swapped; a frame read straight
// from the file must come out as the same little-endian words a value read
// into memory holds.
TEST(DicomPixelDataFrames, DeferredFramesOfABigEndianFileAreSwappedLikeLoadedOnes) {
  CDicomObject source;
  ASSERT_TRUE(test::Succeeded(source.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.7", "1.2.3.4", uids::kExplicitVrBigEndian,
                                         "1.2.3.5", "TEST", "TEST")));
  const uint8_t words[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};  // 2 frames of 2 words
  ASSERT_TRUE(test::Succeeded(source.AddElement(std::make_unique<CDicomElement>(tags::kPixelData, vr::OW, words, 8))));
  CMemoryStream file(test::WriteToBytes(source));

  for (const bool skipPixelData : {true, false}) {
    SCOPED_TRACE(skipPixelData ? "deferred" : "loaded");
    file.Seek(0, CStream::SeekOrigin::Begin);
    CDicomObject read;
    ASSERT_TRUE(test::Succeeded(CDicomFileReader(file, {.skipPixelData = skipPixelData}).ReadFile(read)));
    CDicomElement* element = nullptr;
    ASSERT_EQ(read.GetElement(tags::kPixelData, &element), DicomStatus::Success);
    auto* pixels = dynamic_cast<CDicomPixelData*>(element);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->IsLoaded(), !skipPixelData);
    EXPECT_EQ(Frame(*pixels, &file, 1), "\x05\x06\x07\x08");
  }
}

TEST(DicomPixelDataFrames, DeferredReadNeedsAStreamAndAKnownPosition) {
  CMemoryStream stream = ThreeFrameStream();
  CDicomPixelData positioned(*Header(12), kValueStart);
  EXPECT_EQ(Frame(positioned, nullptr, 0), kFailed);
  CDicomPixelData unpositioned(*Header(12), CDicomPixelData::kUnknownPosition);
  EXPECT_EQ(Frame(unpositioned, &stream, 0), kFailed);
  EXPECT_EQ(NextFrame(unpositioned, &stream), kFailed);
}

TEST(DicomPixelDataFrames, ShortReadAtTheEndOfTheStreamFails) {
  CMemoryStream stream(ByteBuilder().Raw("AAAABB").bytes);  // the file was cut inside frame 1
  CDicomPixelData element(*Header(kUndefined), 0);
  EXPECT_EQ(Frame(element, &stream, 0), "AAAA");
  EXPECT_EQ(Frame(element, &stream, 1), kFailed);
  EXPECT_EQ(Frame(element, &stream, 5), kFailed);
}

TEST(DicomPixelDataBadInput, NegativeIndexOrTooSmallBufferFailsCleanly) {
  CMemoryStream stream = ThreeFrameStream();
  CDicomPixelData element(*Header(12), kValueStart);
  std::vector<uint8_t> out(4, 0xEE);
  uint64_t length = 99;
  EXPECT_FALSE(element.ReadFrame(&stream, -1, out.data(), out.size(), 4, length));
  EXPECT_FALSE(element.ReadFrame(&stream, INT32_MIN, out.data(), out.size(), 4, length));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(element.GetReadFrameCounter(), -1);  // a rejected index changes nothing
  // Room for 3 bytes only: nothing is copied.
  EXPECT_FALSE(element.ReadFrame(&stream, 0, out.data(), 3, 4, length));
  EXPECT_EQ(out, std::vector<uint8_t>(4, 0xEE));
}

TEST(DicomPixelDataBadInput, FrameOffsetOverflowFails) {
  // Frame 2 × 2^63 does not fit in 64 bits. The capacity claimed is never
  // used: the overflow is found before anything is read or copied.
  std::vector<uint8_t> out(4);
  uint64_t length = 0;
  const uint64_t hugeFrame = uint64_t{1} << 63;
  CMemoryStream stream = ThreeFrameStream();
  CDicomPixelData deferred(*Header(kUndefined), kValueStart);
  EXPECT_FALSE(deferred.ReadFrame(&stream, 2, out.data(), kMax64, hugeFrame, length));
  EXPECT_EQ(stream.GetPosition(), 0u);

  auto loaded = Loaded();
  EXPECT_FALSE(loaded->ReadFrame(nullptr, 2, out.data(), kMax64, hugeFrame, length));
  // The offset fits, but offset + frame size does not.
  EXPECT_FALSE(loaded->ReadFrame(nullptr, 1, out.data(), kMax64, kMax64 - 2, length));
  // Past the largest position a stream can seek to.
  CDicomPixelData farAway(*Header(kUndefined), kMax64 - 8);
  EXPECT_EQ(Frame(farAway, &stream, 1), kFailed);
}

TEST(DicomPixelDataBadInput, ValueShorterThanItsFramesFails) {
  // In memory: 10 bytes hold frames 0 and 1 of 4 bytes, not frame 2.
  auto loaded = Loaded(10);
  EXPECT_EQ(Frame(*loaded, nullptr, 1), "BBBB");
  EXPECT_EQ(Frame(*loaded, nullptr, 2), kFailed);
  // Left in the stream: the bytes after the value are no frame, even though
  // the stream holds them.
  CMemoryStream stream = ThreeFrameStream();
  CDicomPixelData deferred(*Header(10), kValueStart);
  EXPECT_EQ(Frame(deferred, &stream, 2), kFailed);
}

TEST(DicomPixelDataCopy, CloneCopiesTheValueAndRestartsTheCounters) {
  auto element = Loaded();
  EXPECT_EQ(Frame(*element, nullptr, 1), "BBBB");

  auto clone = element->Clone();
  auto* copy = dynamic_cast<CDicomPixelData*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_FALSE(copy->IsEncapsulated());
  EXPECT_TRUE(copy->IsLoaded());
  EXPECT_EQ(copy->GetValuePosition(), kValueStart);
  EXPECT_EQ(copy->GetReadFrameCounter(), -1);
  ASSERT_EQ(copy->GetLength(), 12u);
  EXPECT_NE(copy->GetValue(), element->GetValue());
  EXPECT_EQ(NextFrame(*copy, nullptr), "AAAA");
}

TEST(DicomPixelDataCopy, CloneOfADeferredValueReadsFromTheSamePosition) {
  CMemoryStream stream = ThreeFrameStream();
  CDicomPixelData element(*Header(12), kValueStart);
  auto clone = element.Clone();
  auto* copy = dynamic_cast<CDicomPixelData*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_FALSE(copy->IsLoaded());
  EXPECT_EQ(Frame(*copy, &stream, 2), "CCCC");
}

TEST(DicomPixelDataCopy, CopyFromFailsAndCloneNeedsThePixelDataTag) {
  CDicomPixelData element;
  CDicomElement other(tags::kPixelData, vr::OB, "ABCD", 4);
  EXPECT_FALSE(element.CopyFrom(other));
  EXPECT_FALSE(element.HasValue());
  element.SetTag(0x00091010);
  EXPECT_EQ(element.Clone(), nullptr);
}

TEST(DicomPixelDataCopy, TakeOverMovesAPlainValueIn) {
  CDicomElement plain(tags::kPixelData, vr::OW, "AAAABBBB", 8);
  auto element = CDicomPixelData::TakeOver(plain);
  ASSERT_NE(element, nullptr);
  EXPECT_TRUE(element->IsLoaded());
  EXPECT_EQ(element->GetVR(), vr::OW);
  EXPECT_EQ(element->GetLength(), 8u);
  EXPECT_FALSE(plain.HasValue());
  // In memory, so frames need neither a stream nor a position.
  EXPECT_EQ(Frame(*element, nullptr, 1), "BBBB");

  CDicomElement other(0x00091010, vr::OB, "AB", 2);
  EXPECT_EQ(CDicomPixelData::TakeOver(other), nullptr);
  EXPECT_TRUE(other.HasValue());
}

TEST(DicomPixelDataWrite, FramesFollowAHeaderWithTheAnnouncedLength) {
  CMemoryStream stream;
  stream.Write("pre", 3);  // the data set written before the pixel data
  CDicomPixelData element;
  element.SetValueLength(8);
  ASSERT_TRUE(element.WriteFrame(stream, kLittle, Bytes("AAAA"), 4));
  EXPECT_EQ(element.GetValuePosition(), 15u);
  EXPECT_EQ(element.GetWriteFrameCounter(), 0);
  ASSERT_TRUE(element.WriteFrame(stream, kLittle, Bytes("BBBB"), 4));
  EXPECT_EQ(element.GetWriteFrameCounter(), 1);
  // A third frame would run past the announced length.
  EXPECT_FALSE(element.WriteFrame(stream, kLittle, Bytes("CCCC"), 4));
  EXPECT_TRUE(element.FinishWrite(stream, kLittle));

  ByteBuilder expected;
  expected.Raw("pre").ExplicitHeader(tags::kPixelData, "OB", 8).Raw("AAAABBBB");
  ASSERT_EQ(stream.Data(), expected.bytes);

  // Read back through the position the writer recorded, and as the reader would.
  CDicomPixelData deferred(*Header(8), element.GetValuePosition());
  EXPECT_EQ(Frame(deferred, &stream, 1), "BBBB");
  stream.Seek(15, CStream::SeekOrigin::Begin);
  CDicomPixelData loaded(*Header(8), CDicomPixelData::kUnknownPosition);
  ASSERT_TRUE(loaded.ReadValue(stream, kLittle));
  EXPECT_EQ(Frame(loaded, nullptr, 0), "AAAA");
}

TEST(DicomPixelDataWrite, UnannouncedLengthBecomesTheSingleFrame) {
  CMemoryStream stream;
  CDicomPixelData element;
  ASSERT_TRUE(element.WriteFrame(stream, TransferMode::ImplicitLittleEndian, Bytes("ABCDEF"), 6));
  EXPECT_EQ(element.GetLength(), 6u);
  ByteBuilder expected;
  expected.ImplicitHeader(tags::kPixelData, 6).Raw("ABCDEF");
  EXPECT_EQ(stream.Data(), expected.bytes);
}

TEST(DicomPixelDataWrite, BigEndianSwapsTheTagAndLength) {
  CMemoryStream stream;
  CDicomPixelData element;
  element.SetValueLength(4);
  const uint8_t frame[] = {0x01, 0x02, 0x03, 0x04};
  ASSERT_TRUE(element.WriteFrame(stream, kBig, frame, sizeof frame));
  const std::vector<uint8_t> expected = {0x7F, 0xE0, 0x00, 0x10, 'O',  'B',  0x00, 0x00,
                                         0x00, 0x00, 0x00, 0x04, 0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(stream.Data(), expected);
}

TEST(DicomPixelDataWrite, MissingFrameBytesWriteNothing) {
  CMemoryStream stream;
  CDicomPixelData element;
  element.SetValueLength(4);
  EXPECT_FALSE(element.WriteFrame(stream, kLittle, nullptr, 4));
  EXPECT_EQ(stream.GetLength(), 0u);
  EXPECT_EQ(element.GetWriteFrameCounter(), -1);
}

TEST(DicomPixelDataWrite, WriteElementIsThePlainLayout) {
  CDicomElement plain(tags::kPixelData, vr::OB, "ABCD", 4);
  auto element = CDicomPixelData::TakeOver(plain);
  ASSERT_NE(element, nullptr);
  CMemoryStream out;
  ASSERT_TRUE(element->WriteElement(out, kLittle));
  ByteBuilder expected;
  expected.ExplicitHeader(tags::kPixelData, "OB", 4).Raw("ABCD");
  EXPECT_EQ(out.Data(), expected.bytes);
  EXPECT_EQ(element->EncodedSize(kLittle), 16u);
  // A value left in the file cannot be written from here.
  CDicomPixelData deferred(*Header(12), kValueStart);
  CMemoryStream none;
  EXPECT_FALSE(deferred.WriteElement(none, kLittle));
}

}  // namespace
