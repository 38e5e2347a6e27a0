// Encapsulated Pixel Data: reading the fragment items (defined and undefined
// length, in memory and left in the stream), frame access, frame-by-frame
// output byte for byte, and damaged input.
#include "pixel/DicomEncapsulatedPixelData.h"

#include "dicom/DicomElement.h"
#include "dicom/MemoryStream.h"
#include "dicom/ValueRepresentation.h"
#include "support/ByteBuilder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace quillon;
using quillon::test::ByteBuilder;

namespace {

constexpr auto kLittle = TransferMode::ExplicitLittleEndian;
constexpr auto kBig = TransferMode::ExplicitBigEndian;
constexpr uint32_t kUndefined = CDicomElement::kUndefinedLength;

// The Pixel Data header as the reader hands it over.
std::unique_ptr<CDicomElement> Header(uint32_t length) {
  auto header = std::make_unique<CDicomElement>();
  header->SetTag(tags::kPixelData);
  header->SetVR(vr::OB);
  header->SetValueLength(length);
  header->SetUndefinedLength(length == kUndefined);
  return header;
}

// An item holding `data` (which the tests keep even-length).
ByteBuilder& Fragment(ByteBuilder& b, const std::string& data) {
  return b.Item(static_cast<uint32_t>(data.size())).Raw(data);
}

// An offset table with one entry (which must never be mistaken for a
// frame), then frames "F0", "F1__", "F2", "F3", "F4".
ByteBuilder FiveFrames(bool withDelimiter = true) {
  ByteBuilder b;
  b.Item(4).U32(0);
  for (const char* frame : {"F0", "F1__", "F2", "F3", "F4"}) Fragment(b, frame);
  if (withDelimiter) b.SequenceEnd();
  return b;
}

void Append(ByteBuilder& b, const ByteBuilder& tail) {
  b.bytes.insert(b.bytes.end(), tail.bytes.begin(), tail.bytes.end());
}

std::string Text(const std::vector<uint8_t>& buffer, uint64_t length) {
  return std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
}

std::string ItemText(const CDicomElement* item) {
  if (item == nullptr || !item->HasValue()) return {};
  return std::string(reinterpret_cast<const char*>(item->GetValue()), item->GetLength());
}

// Buffer and length for the frame reads.
struct FrameOut {
  explicit FrameOut(size_t capacity) : buffer(capacity) {}
  uint8_t* data() { return buffer.data(); }
  uint64_t size() const { return buffer.size(); }
  std::string text() const { return Text(buffer, length); }
  std::vector<uint8_t> buffer;
  uint64_t length = 0;
};

TEST(DicomEncapsulatedPixelData, NewElementIsEmptyUndefinedLengthOb) {
  CDicomEncapsulatedPixelData element;
  EXPECT_EQ(element.GetTag(), tags::kPixelData);
  EXPECT_EQ(element.GetVR(), vr::OB);
  EXPECT_TRUE(element.IsUndefinedLength());
  EXPECT_TRUE(element.IsEncapsulated());
  EXPECT_FALSE(element.IsLoaded());
  EXPECT_EQ(element.GetValuePosition(), CDicomPixelData::kUnknownPosition);
  EXPECT_EQ(element.GetReadFrameCounter(), -1);
  EXPECT_EQ(element.GetWriteFrameCounter(), -1);
  EXPECT_EQ(element.GetItemCount(), 0u);
  EXPECT_EQ(element.EncodedSize(kLittle), 20u);
}

TEST(DicomEncapsulatedPixelData, SetValueLengthIsIgnored) {
  CDicomEncapsulatedPixelData element;
  element.SetValueLength(1234);
  EXPECT_EQ(element.GetLength(), 0u);
  EXPECT_TRUE(element.IsUndefinedLength());
}

TEST(DicomEncapsulatedPixelDataRead, DefinedLengthStopsExactlyAtTheLengthWithoutDelimiter) {
  ByteBuilder b;
  b.Item(0);
  Fragment(b, "ABCD");
  Fragment(b, "EF");
  const auto valueLength = static_cast<uint32_t>(b.Size());  // 8 + 12 + 10
  // What follows is not part of the value and must not be read as an item.
  b.ExplicitHeader(0xFFFCFFFC, "OB", 2).U16(0);
  CMemoryStream stream(b.bytes);

  CDicomEncapsulatedPixelData element(*Header(valueLength), 0);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  EXPECT_TRUE(element.IsLoaded());
  EXPECT_EQ(stream.GetPosition(), 30u);
  ASSERT_EQ(element.GetItemCount(), 3u);
  EXPECT_EQ(element.GetItem(0)->GetLength(), 0u);
  EXPECT_EQ(element.GetItem(0)->GetTag(), tags::kItem);
  EXPECT_EQ(ItemText(element.GetItem(1)), "ABCD");
  EXPECT_EQ(ItemText(element.GetItem(2)), "EF");
  EXPECT_EQ(element.GetItem(3), nullptr);
}

TEST(DicomEncapsulatedPixelDataRead, UndefinedLengthEndsAtTheDelimiterWhichIsNotKept) {
  ByteBuilder b = FiveFrames();
  b.Raw("tail");
  CMemoryStream stream(b.bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  EXPECT_EQ(element.GetItemCount(), 6u);
  EXPECT_EQ(stream.GetPosition(), b.Size() - 4);
  EXPECT_EQ(element.GetValuePosition(), 0u);
}

TEST(DicomEncapsulatedPixelDataRead, ZeroDefinedLengthReadsNothing) {
  CMemoryStream stream(FiveFrames().bytes);
  CDicomEncapsulatedPixelData element(*Header(0), 0);
  EXPECT_TRUE(element.ReadValue(stream, kLittle));
  EXPECT_EQ(element.GetItemCount(), 0u);
  EXPECT_EQ(stream.GetPosition(), 0u);
  EXPECT_FALSE(element.IsLoaded());
}

TEST(DicomEncapsulatedPixelDataRead, OtherTagThanPixelDataFails) {
  CMemoryStream stream(FiveFrames().bytes);
  auto header = Header(kUndefined);
  header->SetTag(0x00091010);
  CDicomEncapsulatedPixelData element(*header, 0);
  EXPECT_FALSE(element.ReadValue(stream, kLittle));
  EXPECT_EQ(stream.GetPosition(), 0u);
}

TEST(DicomEncapsulatedPixelDataRead, RereadingReplacesTheItemsHeld) {
  CMemoryStream stream(FiveFrames().bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  stream.Seek(0, CStream::SeekOrigin::Begin);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  EXPECT_EQ(element.GetItemCount(), 6u);
}

TEST(DicomEncapsulatedPixelDataFrames, FrameZeroIsItemOneNeverTheOffsetTable) {
  CMemoryStream stream(FiveFrames().bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  FrameOut out(16);
  // The frame size is for native frames; fragments carry their own length.
  ASSERT_TRUE(element.ReadFrame(nullptr, 0, out.data(), out.size(), 999, out.length));
  EXPECT_EQ(out.text(), "F0");
  ASSERT_TRUE(element.ReadFrame(nullptr, 1, out.data(), out.size(), 999, out.length));
  EXPECT_EQ(out.text(), "F1__");
}

TEST(DicomEncapsulatedPixelDataFrames, NextFrameAfterFrameTwoIsFrameThree) {
  CMemoryStream stream(FiveFrames().bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  FrameOut out(16);
  ASSERT_TRUE(element.ReadFrame(nullptr, 2, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "F2");
  ASSERT_TRUE(element.ReadNextFrame(nullptr, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "F3");
  EXPECT_EQ(element.GetReadFrameCounter(), 3);
  ASSERT_TRUE(element.ReadNextFrame(nullptr, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "F4");
  EXPECT_FALSE(element.ReadNextFrame(nullptr, out.data(), out.size(), 0, out.length));
}

TEST(DicomEncapsulatedPixelDataFrames, BadRequestsFailCleanly) {
  ByteBuilder b;
  b.Item(0).Item(0);  // offset table and an empty fragment
  Fragment(b, "ABCDEF");
  b.SequenceEnd();
  CMemoryStream stream(b.bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  std::vector<uint8_t> out(4, 0xEE);
  uint64_t length = 7;

  EXPECT_FALSE(element.ReadFrame(nullptr, -1, out.data(), out.size(), 0, length));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(element.GetReadFrameCounter(), -1);  // a rejected index changes nothing

  EXPECT_FALSE(element.ReadFrame(nullptr, 0, out.data(), out.size(), 0, length));  // empty
  // Too small a buffer: the needed length is reported, nothing is copied.
  EXPECT_FALSE(element.ReadFrame(nullptr, 1, out.data(), out.size(), 0, length));
  EXPECT_EQ(length, 6u);
  EXPECT_EQ(out, std::vector<uint8_t>(4, 0xEE));
  EXPECT_FALSE(element.ReadFrame(nullptr, 2, out.data(), out.size(), 0, length));
  EXPECT_FALSE(element.ReadFrame(nullptr, INT32_MAX, out.data(), out.size(), 0, length));
}

TEST(DicomEncapsulatedPixelDataDeferred, FramesComeFromTheStreamAndItemPositionsAreRemembered) {
  ByteBuilder b;
  b.Raw("prefix..");  // the value does not start at offset 0
  const uint64_t valuePosition = b.Size();
  Append(b, FiveFrames());
  CMemoryStream stream(b.bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), valuePosition);
  EXPECT_FALSE(element.IsLoaded());

  FrameOut out(16);
  // Wherever the stream stands, the walk starts from the value position.
  stream.Seek(0, CStream::SeekOrigin::End);
  ASSERT_TRUE(element.ReadFrame(&stream, 2, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "F2");
  // Items 0..3 were walked (offset table 12 bytes, F0 10, F1 12, F2 10), and
  // the end of item 3 is where item 4 starts.
  const std::vector<uint64_t> walked = {8, 20, 30, 42, 52};
  EXPECT_EQ(element.GetKnownItemPositions(), walked);

  ASSERT_TRUE(element.ReadNextFrame(&stream, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "F3");
  ASSERT_TRUE(element.ReadFrame(&stream, 0, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "F0");
  ASSERT_TRUE(element.ReadFrame(&stream, 4, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "F4");
  const std::vector<uint64_t> all = {8, 20, 30, 42, 52, 62, 72};
  EXPECT_EQ(element.GetKnownItemPositions(), all);
  // After the last fragment comes the delimiter: there is no frame 5.
  EXPECT_FALSE(element.ReadNextFrame(&stream, out.data(), out.size(), 0, out.length));
  EXPECT_FALSE(element.ReadFrame(&stream, 5, out.data(), out.size(), 0, out.length));
  EXPECT_FALSE(element.ReadFrame(&stream, 9, out.data(), out.size(), 0, out.length));
}

TEST(DicomEncapsulatedPixelDataDeferred, DefinedLengthBoundsTheWalk) {
  ByteBuilder b;
  b.Item(0);
  Fragment(b, "F0");
  const auto valueLength = static_cast<uint32_t>(b.Size());
  Fragment(b, "XX");  // after the value: not a frame of this element
  CMemoryStream stream(b.bytes);
  CDicomEncapsulatedPixelData element(*Header(valueLength), 0);
  FrameOut out(4);
  ASSERT_TRUE(element.ReadFrame(&stream, 0, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "F0");
  EXPECT_FALSE(element.ReadFrame(&stream, 1, out.data(), out.size(), 0, out.length));
}

TEST(DicomEncapsulatedPixelDataDeferred, NeedsAStreamAndAPosition) {
  CMemoryStream stream(FiveFrames().bytes);
  FrameOut out(16);
  CDicomEncapsulatedPixelData positioned(*Header(kUndefined), 0);
  EXPECT_FALSE(positioned.ReadFrame(nullptr, 0, out.data(), out.size(), 0, out.length));
  CDicomEncapsulatedPixelData unpositioned(*Header(kUndefined), CDicomPixelData::kUnknownPosition);
  EXPECT_FALSE(unpositioned.ReadFrame(&stream, 0, out.data(), out.size(), 0, out.length));
  EXPECT_FALSE(unpositioned.ReadNextFrame(&stream, out.data(), out.size(), 0, out.length));
}

TEST(DicomEncapsulatedPixelDataDeferred, DamagedItemsFail) {
  FrameOut out(16);
  {
    ByteBuilder b;
    b.Item(0).Item(100).Raw("ABCD");  // fragment runs past the end of the stream
    CMemoryStream stream(b.bytes);
    CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
    EXPECT_FALSE(element.ReadFrame(&stream, 0, out.data(), out.size(), 0, out.length));
  }
  {
    ByteBuilder b;
    b.Item(0).Tag(tags::kItem).U16(2);  // truncated header
    CMemoryStream stream(b.bytes);
    CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
    EXPECT_FALSE(element.ReadFrame(&stream, 0, out.data(), out.size(), 0, out.length));
  }
  {
    ByteBuilder b;
    b.Item(0).Item(kUndefined).Raw("AB").ItemEnd();
    CMemoryStream stream(b.bytes);
    CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
    EXPECT_FALSE(element.ReadFrame(&stream, 0, out.data(), out.size(), 0, out.length));
  }
  {
    ByteBuilder b;
    b.Item(0).Item(4).Raw("ABCD");  // a fragment too large for the buffer
    CMemoryStream stream(b.bytes);
    CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
    EXPECT_FALSE(element.ReadFrame(&stream, 0, out.data(), 3, 0, out.length));
    EXPECT_EQ(out.length, 4u);
  }
}

TEST(DicomEncapsulatedPixelDataBadInput, ItemLengthBeyondTheStreamFailsBeforeAllocating) {
  ByteBuilder b;
  b.Item(0);
  Fragment(b, "OK");
  b.Item(0xFFFFFFF0).Raw("short");
  CMemoryStream stream(b.bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
  EXPECT_FALSE(element.ReadValue(stream, kLittle));
  EXPECT_FALSE(element.IsLoaded());
  // The items before the damage stay.
  ASSERT_EQ(element.GetItemCount(), 2u);
  EXPECT_EQ(ItemText(element.GetItem(1)), "OK");
}

TEST(DicomEncapsulatedPixelDataBadInput, TruncatedItemHeaderFails) {
  ByteBuilder b;
  b.Item(0).Tag(tags::kItem).Byte(4);
  CMemoryStream stream(b.bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
  EXPECT_FALSE(element.ReadValue(stream, kLittle));
  EXPECT_EQ(element.GetItemCount(), 1u);
}

TEST(DicomEncapsulatedPixelDataBadInput, MissingDelimiterAtTheEndOfTheStreamFails) {
  CMemoryStream stream(FiveFrames(false).bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
  EXPECT_FALSE(element.ReadValue(stream, kLittle));
  EXPECT_FALSE(element.IsLoaded());
  EXPECT_EQ(element.GetItemCount(), 6u);  // every complete item is kept
}

TEST(DicomEncapsulatedPixelDataBadInput, ItemCrossingTheDefinedLengthFails) {
  ByteBuilder b;
  b.Item(0);
  Fragment(b, "ABCDEFGH");
  CMemoryStream stream(b.bytes);
  CDicomEncapsulatedPixelData element(*Header(static_cast<uint32_t>(b.Size() - 2)), 0);
  EXPECT_FALSE(element.ReadValue(stream, kLittle));
}

TEST(DicomEncapsulatedPixelDataBadInput, NonItemTagOrUndefinedItemLengthFails) {
  {
    ByteBuilder b;
    b.Item(0).ItemEnd().SequenceEnd();
    CMemoryStream stream(b.bytes);
    CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
    EXPECT_FALSE(element.ReadValue(stream, kLittle));
  }
  {
    ByteBuilder b;
    b.Item(0).Item(kUndefined).Raw("AB").ItemEnd().SequenceEnd();
    CMemoryStream stream(b.bytes);
    CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
    EXPECT_FALSE(element.ReadValue(stream, kLittle));
  }
}

TEST(DicomEncapsulatedPixelDataWrite, ThreeFramesThenFinishGiveTheExactLayout) {
  CMemoryStream stream;
  stream.Write("pre", 3);  // the data set written before the pixel data
  CDicomEncapsulatedPixelData element;
  const std::string frames[] = {"AAAA", "BB", "CCCCCC"};
  for (const std::string& frame : frames) {
    ASSERT_TRUE(element.WriteFrame(stream, kLittle, reinterpret_cast<const uint8_t*>(frame.data()),
                                   frame.size()));
  }
  EXPECT_EQ(element.GetWriteFrameCounter(), 2);
  ASSERT_TRUE(element.FinishWrite(stream, kLittle));

  ByteBuilder expected;
  expected.Raw("pre").ExplicitHeader(tags::kPixelData, "OB", kUndefined).Item(0);
  for (const std::string& frame : frames) Fragment(expected, frame);
  expected.SequenceEnd();
  ASSERT_EQ(stream.Data(), expected.bytes);
  EXPECT_EQ(element.GetValuePosition(), 3u + 12u);

  // Read back as the reader would: the header, then the value.
  CDicomEncapsulatedPixelData loaded(*Header(kUndefined), 15);
  stream.Seek(15, CStream::SeekOrigin::Begin);
  ASSERT_TRUE(loaded.ReadValue(stream, kLittle));
  EXPECT_EQ(stream.GetPosition(), stream.GetLength());
  ASSERT_EQ(loaded.GetItemCount(), 4u);
  FrameOut out(8);
  for (int32_t f = 0; f < 3; ++f) {
    ASSERT_TRUE(loaded.ReadFrame(nullptr, f, out.data(), out.size(), 0, out.length));
    EXPECT_EQ(out.text(), frames[f]);
  }
  // And left in the stream, found through the position the writer recorded.
  CDicomEncapsulatedPixelData deferred(*Header(kUndefined), element.GetValuePosition());
  ASSERT_TRUE(deferred.ReadFrame(&stream, 1, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "BB");
  ASSERT_TRUE(deferred.ReadNextFrame(&stream, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "CCCCCC");
  EXPECT_FALSE(deferred.ReadNextFrame(&stream, out.data(), out.size(), 0, out.length));
}

TEST(DicomEncapsulatedPixelDataWrite, BigEndianSwapsTagsAndLengthsButNotTheVrOrData) {
  CMemoryStream stream;
  CDicomEncapsulatedPixelData element;
  const uint8_t frame[] = {0x01, 0x02, 0x03, 0x04};
  ASSERT_TRUE(element.WriteFrame(stream, kBig, frame, sizeof frame));
  ASSERT_TRUE(element.FinishWrite(stream, kBig));
  const std::vector<uint8_t> expected = {
      0x7F, 0xE0, 0x00, 0x10, 'O',  'B',  0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,  // header
      0xFF, 0xFE, 0xE0, 0x00, 0x00, 0x00, 0x00, 0x00,                          // offset table
      0xFF, 0xFE, 0xE0, 0x00, 0x00, 0x00, 0x00, 0x04, 0x01, 0x02, 0x03, 0x04,  // frame
      0xFF, 0xFE, 0xE0, 0xDD, 0x00, 0x00, 0x00, 0x00,                          // delimiter
  };
  ASSERT_EQ(stream.Data(), expected);

  FrameOut out(4);
  CDicomEncapsulatedPixelData loaded(*Header(kUndefined), 12);
  stream.Seek(12, CStream::SeekOrigin::Begin);
  ASSERT_TRUE(loaded.ReadValue(stream, kBig));
  ASSERT_TRUE(loaded.ReadFrame(nullptr, 0, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.buffer, std::vector<uint8_t>(frame, frame + 4));
  // Left in the stream, the item headers are read in the stream's order.
  CDicomEncapsulatedPixelData deferred(*Header(kUndefined), 12, kBig);
  out.buffer.assign(4, 0);
  ASSERT_TRUE(deferred.ReadFrame(&stream, 0, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.buffer, std::vector<uint8_t>(frame, frame + 4));
}

TEST(DicomEncapsulatedPixelDataWrite, OddFragmentIsPaddedToEvenLength) {
  CMemoryStream stream;
  CDicomEncapsulatedPixelData element;
  ASSERT_TRUE(element.WriteFrame(stream, kLittle, reinterpret_cast<const uint8_t*>("XYZ"), 3));
  ByteBuilder expected;
  expected.ExplicitHeader(tags::kPixelData, "OB", kUndefined).Item(0).Item(4).Raw("XYZ").Byte(0);
  EXPECT_EQ(stream.Data(), expected.bytes);
}

TEST(DicomEncapsulatedPixelDataWrite, NothingIsWrittenForBadCalls) {
  CMemoryStream stream;
  CDicomEncapsulatedPixelData element;
  EXPECT_FALSE(element.FinishWrite(stream, kLittle));  // no frame to close
  EXPECT_FALSE(element.WriteFrame(stream, kLittle, nullptr, 2));
  EXPECT_EQ(stream.GetLength(), 0u);
  EXPECT_EQ(element.GetWriteFrameCounter(), -1);
}

TEST(DicomEncapsulatedPixelDataWrite, WriteElementRoundTripsWhatWasRead) {
  ByteBuilder file;
  file.ExplicitHeader(tags::kPixelData, "OB", kUndefined);
  Append(file, FiveFrames());
  CMemoryStream in(file.bytes);
  in.Seek(12, CStream::SeekOrigin::Begin);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 12);
  ASSERT_TRUE(element.ReadValue(in, kLittle));
  EXPECT_EQ(element.EncodedSize(kLittle), file.Size());

  CMemoryStream out;
  ASSERT_TRUE(element.WriteElement(out, kLittle));
  EXPECT_EQ(out.Data(), file.bytes);
}

TEST(DicomEncapsulatedPixelDataWrite, DefinedLengthIsComputedFromTheItems) {
  ByteBuilder value;
  value.Item(0);
  Fragment(value, "ABCD");
  CMemoryStream in(value.bytes);
  CDicomEncapsulatedPixelData element(*Header(static_cast<uint32_t>(value.Size())), 0);
  ASSERT_TRUE(element.ReadValue(in, kLittle));
  // Encapsulated pixel data only exists in explicit VR: the same size in
  // every mode.
  EXPECT_EQ(element.EncodedSize(kLittle), 12u + 20u);
  EXPECT_EQ(element.EncodedSize(TransferMode::ImplicitLittleEndian), 12u + 20u);

  CMemoryStream out;
  ASSERT_TRUE(element.WriteElement(out, kLittle));
  ByteBuilder expected;
  expected.ExplicitHeader(tags::kPixelData, "OB", 20);
  Append(expected, value);
  EXPECT_EQ(out.Data(), expected.bytes);
}

TEST(DicomEncapsulatedPixelDataWrite, EmptyElementWritesHeaderAndDelimiter) {
  CDicomEncapsulatedPixelData element;
  CMemoryStream out;
  ASSERT_TRUE(element.WriteElement(out, kLittle));
  ByteBuilder expected;
  expected.ExplicitHeader(tags::kPixelData, "OB", kUndefined).SequenceEnd();
  EXPECT_EQ(out.Data(), expected.bytes);

  element.SetTag(0x00091010);
  CMemoryStream none;
  EXPECT_FALSE(element.WriteElement(none, kLittle));
  EXPECT_EQ(none.GetLength(), 0u);
}

TEST(DicomEncapsulatedPixelDataCopy, CloneCopiesItemsAndRestartsTheCounters) {
  CMemoryStream stream(FiveFrames().bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  FrameOut out(16);
  ASSERT_TRUE(element.ReadFrame(nullptr, 3, out.data(), out.size(), 0, out.length));

  auto clone = element.Clone();
  auto* copy = dynamic_cast<CDicomEncapsulatedPixelData*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->IsLoaded());
  EXPECT_TRUE(copy->IsUndefinedLength());
  EXPECT_EQ(copy->GetValuePosition(), 0u);
  EXPECT_EQ(copy->GetReadFrameCounter(), -1);
  ASSERT_EQ(copy->GetItemCount(), 6u);
  EXPECT_NE(copy->GetItem(2), element.GetItem(2));
  EXPECT_EQ(ItemText(copy->GetItem(2)), "F1__");
  ASSERT_TRUE(copy->ReadNextFrame(nullptr, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "F0");
}

TEST(DicomEncapsulatedPixelDataCopy, CloneOfADeferredValueReadsFromTheSamePosition) {
  ByteBuilder b;
  b.Raw("xx");
  Append(b, FiveFrames());
  CMemoryStream stream(b.bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 2, kLittle);
  auto clone = element.Clone();
  ASSERT_NE(clone, nullptr);
  auto& copy = dynamic_cast<CDicomEncapsulatedPixelData&>(*clone);
  FrameOut out(16);
  ASSERT_TRUE(copy.ReadFrame(&stream, 1, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "F1__");
}

TEST(DicomEncapsulatedPixelDataCopy, CopyFromFailsAndCloneNeedsThePixelDataTag) {
  CDicomEncapsulatedPixelData element;
  CDicomElement other(tags::kPixelData, vr::OB, "ABCD", 4);
  EXPECT_FALSE(element.CopyFrom(other));
  element.SetTag(0x00091010);
  EXPECT_EQ(element.Clone(), nullptr);
}

TEST(DicomEncapsulatedPixelDataFlat, FragmentsAreParsedOutOfAPlainValue) {
  const ByteBuilder value = FiveFrames();
  CDicomElement plain(tags::kPixelData, vr::OB, value.bytes.data(),
                      static_cast<uint32_t>(value.Size()));
  auto element = CDicomEncapsulatedPixelData::FromFlatValue(plain);
  ASSERT_NE(element, nullptr);
  EXPECT_TRUE(element->IsLoaded());
  EXPECT_EQ(element->GetItemCount(), 6u);
  EXPECT_TRUE(plain.HasValue());  // the source is not touched
  FrameOut out(16);
  ASSERT_TRUE(element->ReadFrame(nullptr, 4, out.data(), out.size(), 0, out.length));
  EXPECT_EQ(out.text(), "F4");
}

TEST(DicomEncapsulatedPixelDataFlat, ValueWithoutDelimiterEndsAtItsEnd) {
  const ByteBuilder value = FiveFrames(false);
  CDicomElement plain(tags::kPixelData, vr::OB, value.bytes.data(),
                      static_cast<uint32_t>(value.Size()));
  auto element = CDicomEncapsulatedPixelData::FromFlatValue(plain);
  ASSERT_NE(element, nullptr);
  EXPECT_TRUE(element->IsLoaded());
  EXPECT_EQ(element->GetItemCount(), 6u);
}

TEST(DicomEncapsulatedPixelDataFlat, DamagedValueGivesTheItemsBeforeTheDamageNotLoaded) {
  ByteBuilder value;
  value.Item(0);
  Fragment(value, "AB");
  value.Item(50).Raw("CD");  // longer than the value
  CDicomElement plain(tags::kPixelData, vr::OB, value.bytes.data(),
                      static_cast<uint32_t>(value.Size()));
  auto element = CDicomEncapsulatedPixelData::FromFlatValue(plain);
  ASSERT_NE(element, nullptr);
  EXPECT_FALSE(element->IsLoaded());
  EXPECT_EQ(element->GetItemCount(), 2u);

  ByteBuilder truncated;
  truncated.Item(0).Byte(0xFE).Byte(0xFF);
  CDicomElement plainTruncated(tags::kPixelData, vr::OB, truncated.bytes.data(),
                               static_cast<uint32_t>(truncated.Size()));
  auto fromTruncated = CDicomEncapsulatedPixelData::FromFlatValue(plainTruncated);
  ASSERT_NE(fromTruncated, nullptr);
  EXPECT_FALSE(fromTruncated->IsLoaded());
  EXPECT_EQ(fromTruncated->GetItemCount(), 1u);

  CDicomElement notPixel(0x00091010, vr::OB, value.bytes.data(), 8);
  EXPECT_EQ(CDicomEncapsulatedPixelData::FromFlatValue(notPixel), nullptr);
}

}  // namespace
