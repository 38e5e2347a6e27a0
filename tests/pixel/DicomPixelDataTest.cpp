// Native Pixel Data: the value read into memory or left in the stream,
// frame access by index and in sequence with every bound checked, and
// frame-by-frame output byte for byte.
#include "pixel/DicomPixelData.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/MemoryStream.h"
#include "dicom/ValueRepresentation.h"
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

// Buffer and length for the frame reads.
struct FrameOut {
  explicit FrameOut(size_t capacity) : buffer(capacity) {}
  uint8_t* data() { return buffer.data(); }
  uint64_t size() const { return buffer.size(); }
  std::string text() const {
    return std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
  }
  std::vector<uint8_t> buffer;
  uint64_t length = 0;
};

// "head", then the value: three frames of 4 bytes, then "after".
constexpr uint64_t kValueStart = 4;
CMemoryStream ThreeFrameStream() {
  ByteBuilder b;
  b.Raw("head").Raw("AAAABBBBCCCC").Raw("after");
  return CMemoryStream(b.bytes);
}

TEST(DicomPixelData, NewElementIsAnEmptyObPixelData) {
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

TEST(DicomPixelData, SetValueLengthMarksUndefinedLength) {
  CDicomPixelData element;
  element.SetValueLength(kUndefined);
  EXPECT_TRUE(element.IsUndefinedLength());
  element.SetValueLength(64);
  EXPECT_FALSE(element.IsUndefinedLength());
  EXPECT_EQ(element.GetLength(), 64u);
}

TEST(DicomPixelDataRead, ReadValueRecordsThePositionAndLoads) {
  CMemoryStream stream = ThreeFrameStream();
  stream.Seek(kValueStart, CStream::SeekOrigin::Begin);
  CDicomPixelData element(*Header(12), CDicomPixelData::kUnknownPosition);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  EXPECT_TRUE(element.IsLoaded());
  EXPECT_EQ(element.GetValuePosition(), kValueStart);
  EXPECT_EQ(stream.GetPosition(), kValueStart + 12);
}

TEST(DicomPixelDataRead, FailedValueReadIsNotLoaded) {
  CMemoryStream stream = ThreeFrameStream();
  stream.Seek(kValueStart, CStream::SeekOrigin::Begin);
  CDicomPixelData element(*Header(1000), kValueStart);  // more than the stream holds
  EXPECT_FALSE(element.ReadValue(stream, kLittle));
  EXPECT_FALSE(element.IsLoaded());
}

TEST(DicomPixelDataFrames, LoadedFramesComeFromMemory) {
  CMemoryStream stream = ThreeFrameStream();
  stream.Seek(kValueStart, CStream::SeekOrigin::Begin);
  CDicomPixelData element(*Header(12), kValueStart);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  FrameOut out(4);
  ASSERT_TRUE(element.ReadFrame(nullptr, 1, out.data(), out.size(), 4, out.length));
  EXPECT_EQ(out.text(), "BBBB");
  ASSERT_TRUE(element.ReadNextFrame(nullptr, out.data(), out.size(), 4, out.length));
  EXPECT_EQ(out.text(), "CCCC");
  EXPECT_EQ(element.GetReadFrameCounter(), 2);
  EXPECT_FALSE(element.ReadNextFrame(nullptr, out.data(), out.size(), 4, out.length));
  ASSERT_TRUE(element.ReadFrame(nullptr, 0, out.data(), out.size(), 4, out.length));
  EXPECT_EQ(out.text(), "AAAA");
}

TEST(DicomPixelDataFrames, NextFrameAfterFrameOneIsFrameTwoFromTheStream) {
  CMemoryStream stream = ThreeFrameStream();
  CDicomPixelData element(*Header(12), kValueStart);
  FrameOut out(4);
  ASSERT_TRUE(element.ReadFrame(&stream, 1, out.data(), out.size(), 4, out.length));
  EXPECT_EQ(out.text(), "BBBB");
  stream.Seek(0, CStream::SeekOrigin::End);  // the stream position does not matter
  ASSERT_TRUE(element.ReadNextFrame(&stream, out.data(), out.size(), 4, out.length));
  EXPECT_EQ(out.text(), "CCCC");
  ASSERT_TRUE(element.ReadFrame(&stream, 0, out.data(), out.size(), 4, out.length));
  EXPECT_EQ(out.text(), "AAAA");
  EXPECT_FALSE(element.IsLoaded());
}

// A big-endian file stores OW words byte-swapped; a frame read straight
// from the file must come out as the same little-endian words a value read
// into memory holds.
TEST(DicomPixelDataFrames, DeferredFramesOfABigEndianFileAreSwappedLikeLoadedOnes) {
  CDicomObject source;
  ASSERT_EQ(source.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.7", "1.2.3.4", uids::kExplicitVrBigEndian,
                                         "1.2.3.5", "TEST", "TEST"),
            DicomStatus::Success);
  const uint8_t words[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};  // 2 frames of 2 words
  ASSERT_EQ(source.AddElement(std::make_unique<CDicomElement>(tags::kPixelData, vr::OW, words, 8)),
            DicomStatus::Success);
  CMemoryStream file;
  ASSERT_TRUE(source.WriteToFile(file));

  for (const bool skipPixelData : {true, false}) {
    SCOPED_TRACE(skipPixelData ? "deferred" : "loaded");
    file.Seek(0, CStream::SeekOrigin::Begin);
    CDicomObject read;
    ASSERT_TRUE(read.ReadFromFile(file, skipPixelData));
    CDicomElement* element = nullptr;
    ASSERT_EQ(read.GetElement(tags::kPixelData, &element), DicomStatus::Success);
    auto* pixels = dynamic_cast<CDicomPixelData*>(element);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->IsLoaded(), !skipPixelData);
    FrameOut out(4);
    ASSERT_TRUE(pixels->ReadFrame(&file, 1, out.data(), out.size(), 4, out.length));
    EXPECT_EQ(out.buffer, (std::vector<uint8_t>{0x05, 0x06, 0x07, 0x08}));
  }
}

TEST(DicomPixelDataFrames, DeferredReadNeedsAStreamAndAKnownPosition) {
  CMemoryStream stream = ThreeFrameStream();
  FrameOut out(4);
  CDicomPixelData positioned(*Header(12), kValueStart);
  EXPECT_FALSE(positioned.ReadFrame(nullptr, 0, out.data(), out.size(), 4, out.length));
  CDicomPixelData unpositioned(*Header(12), CDicomPixelData::kUnknownPosition);
  EXPECT_FALSE(unpositioned.ReadFrame(&stream, 0, out.data(), out.size(), 4, out.length));
  EXPECT_FALSE(unpositioned.ReadNextFrame(&stream, out.data(), out.size(), 4, out.length));
}

TEST(DicomPixelDataFrames, ShortReadAtTheEndOfTheStreamFails) {
  ByteBuilder b;
  b.Raw("AAAABB");  // the file was cut inside frame 1
  CMemoryStream stream(b.bytes);
  CDicomPixelData element(*Header(kUndefined), 0);
  FrameOut out(4);
  ASSERT_TRUE(element.ReadFrame(&stream, 0, out.data(), out.size(), 4, out.length));
  EXPECT_FALSE(element.ReadFrame(&stream, 1, out.data(), out.size(), 4, out.length));
  EXPECT_FALSE(element.ReadFrame(&stream, 5, out.data(), out.size(), 4, out.length));
}

TEST(DicomPixelDataBadInput, NegativeFrameIndexFails) {
  CMemoryStream stream = ThreeFrameStream();
  CDicomPixelData element(*Header(12), kValueStart);
  std::vector<uint8_t> out(4);
  uint64_t length = 99;
  EXPECT_FALSE(element.ReadFrame(&stream, -1, out.data(), out.size(), 4, length));
  EXPECT_FALSE(element.ReadFrame(&stream, INT32_MIN, out.data(), out.size(), 4, length));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(element.GetReadFrameCounter(), -1);
}

TEST(DicomPixelDataBadInput, FrameOffsetOverflowFails) {
  // Frame 2 × 2^63 does not fit in 64 bits. The capacity claimed is never
  // used: the overflow is found before anything is read or copied.
  FrameOut out(4);
  const uint64_t hugeFrame = uint64_t{1} << 63;
  CMemoryStream stream = ThreeFrameStream();
  CDicomPixelData deferred(*Header(kUndefined), kValueStart);
  EXPECT_FALSE(deferred.ReadFrame(&stream, 2, out.data(), kMax64, hugeFrame, out.length));
  EXPECT_EQ(stream.GetPosition(), 0u);

  stream.Seek(kValueStart, CStream::SeekOrigin::Begin);
  CDicomPixelData loaded(*Header(12), kValueStart);
  ASSERT_TRUE(loaded.ReadValue(stream, kLittle));
  EXPECT_FALSE(loaded.ReadFrame(nullptr, 2, out.data(), kMax64, hugeFrame, out.length));
  // The offset fits, but offset + frame size does not.
  EXPECT_FALSE(loaded.ReadFrame(nullptr, 1, out.data(), kMax64, kMax64 - 2, out.length));
  // Past the largest position a stream can seek to.
  CDicomPixelData farAway(*Header(kUndefined), kMax64 - 8);
  EXPECT_FALSE(farAway.ReadFrame(&stream, 1, out.data(), out.size(), 4, out.length));
}

TEST(DicomPixelDataBadInput, OutCapacityTooSmallFails) {
  CMemoryStream stream = ThreeFrameStream();
  CDicomPixelData element(*Header(12), kValueStart);
  std::vector<uint8_t> out(3, 0xEE);
  uint64_t length = 0;
  EXPECT_FALSE(element.ReadFrame(&stream, 0, out.data(), out.size(), 4, length));
  EXPECT_EQ(out, std::vector<uint8_t>(3, 0xEE));
}

TEST(DicomPixelDataBadInput, ValueShorterThanItsFramesFails) {
  FrameOut out(4);
  // In memory: 10 bytes hold frames 0 and 1 of 4 bytes, not frame 2.
  CMemoryStream stream = ThreeFrameStream();
  stream.Seek(kValueStart, CStream::SeekOrigin::Begin);
  CDicomPixelData loaded(*Header(10), kValueStart);
  ASSERT_TRUE(loaded.ReadValue(stream, kLittle));
  ASSERT_TRUE(loaded.ReadFrame(nullptr, 1, out.data(), out.size(), 4, out.length));
  EXPECT_FALSE(loaded.ReadFrame(nullptr, 2, out.data(), out.size(), 4, out.length));
  // Left in the stream: the bytes after the value are no frame, even though
  // the stream holds them.
  CDicomPixelData deferred(*Header(10), kValueStart);
  EXPECT_FALSE(deferred.ReadFrame(&stream, 2, out.data(), out.size(), 4, out.length));
}

TEST(DicomPixelDataCopy, CloneCopiesTheValueAndRestartsTheCounters) {
  CMemoryStream stream = ThreeFrameStream();
  stream.Seek(kValueStart, CStream::SeekOrigin::Begin);
  CDicomPixelData element(*Header(12), kValueStart);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  FrameOut out(4);
  ASSERT_TRUE(element.ReadFrame(nullptr, 1, out.data(), out.size(), 4, out.length));

  auto clone = element.Clone();
  auto* copy = dynamic_cast<CDicomPixelData*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_FALSE(copy->IsEncapsulated());
  EXPECT_TRUE(copy->IsLoaded());
  EXPECT_EQ(copy->GetValuePosition(), kValueStart);
  EXPECT_EQ(copy->GetReadFrameCounter(), -1);
  ASSERT_EQ(copy->GetLength(), 12u);
  EXPECT_NE(copy->GetValue(), element.GetValue());
  ASSERT_TRUE(copy->ReadNextFrame(nullptr, out.data(), out.size(), 4, out.length));
  EXPECT_EQ(out.text(), "AAAA");
}

TEST(DicomPixelDataCopy, CloneOfADeferredValueReadsFromTheSamePosition) {
  CMemoryStream stream = ThreeFrameStream();
  CDicomPixelData element(*Header(12), kValueStart);
  auto clone = element.Clone();
  auto* copy = dynamic_cast<CDicomPixelData*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_FALSE(copy->IsLoaded());
  FrameOut out(4);
  ASSERT_TRUE(copy->ReadFrame(&stream, 2, out.data(), out.size(), 4, out.length));
  EXPECT_EQ(out.text(), "CCCC");
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
  FrameOut out(4);
  ASSERT_TRUE(element->ReadFrame(nullptr, 1, out.data(), out.size(), 4, out.length));
  EXPECT_EQ(out.text(), "BBBB");

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
  FrameOut out(4);
  ASSERT_TRUE(deferred.ReadFrame(&stream, 1, out.data(), out.size(), 4, out.length));
  EXPECT_EQ(out.text(), "BBBB");
  stream.Seek(15, CStream::SeekOrigin::Begin);
  CDicomPixelData loaded(*Header(8), CDicomPixelData::kUnknownPosition);
  ASSERT_TRUE(loaded.ReadValue(stream, kLittle));
  ASSERT_TRUE(loaded.ReadFrame(nullptr, 0, out.data(), out.size(), 4, out.length));
  EXPECT_EQ(out.text(), "AAAA");
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
