// Encapsulated Pixel Data: reading the fragment items (defined and undefined
// length, in memory and left in the stream), frame access, frame-by-frame
// output byte for byte, and damaged input.
#include "dicom/DicomEncapsulatedPixelData.h"

#include "dicom/DicomElement.h"
#include "base/MemoryStream.h"
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

// The frame size is for native frames; fragments carry their own length, so
// every read here passes one that matches no fragment.
constexpr uint64_t kAnyFrameSize = 999;
// What the frame helpers give for a read that fails.
const std::string kFailed = "(failed)";

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

std::string ItemText(const CDicomElement* item) {
  if (item == nullptr || !item->HasValue()) return {};
  return std::string(reinterpret_cast<const char*>(item->GetValue()), item->GetLength());
}

// The element the reader makes of `value` (at offset 0 of its stream),
// read into memory.
std::unique_ptr<CDicomEncapsulatedPixelData> Loaded(const ByteBuilder& value, uint32_t length = kUndefined) {
  CMemoryStream stream(value.bytes);
  auto element = std::make_unique<CDicomEncapsulatedPixelData>(*Header(length), 0);
  EXPECT_TRUE(element->ReadValue(stream, kLittle));
  return element;
}

// Frame `index` read into a buffer of `capacity` bytes, as text; kFailed
// when the read fails.
std::string Frame(CDicomEncapsulatedPixelData& element, CStream* stream, int32_t index, uint64_t capacity = 16) {
  std::vector<uint8_t> out(capacity);
  uint64_t length = 0;
  if (!element.ReadFrame(stream, index, out.data(), out.size(), kAnyFrameSize, length)) return kFailed;
  return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length));
}

// The same for the frame after the one last read.
std::string NextFrame(CDicomEncapsulatedPixelData& element, CStream* stream) {
  std::vector<uint8_t> out(16);
  uint64_t length = 0;
  if (!element.ReadNextFrame(stream, out.data(), out.size(), kAnyFrameSize, length)) return kFailed;
  return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length));
}

TEST(DicomEncapsulatedPixelData, NewElementIsEmptyUndefinedLengthObWhateverLengthIsSet) {
  CDicomEncapsulatedPixelData element;
  EXPECT_EQ(element.GetTag(), tags::kPixelData);
  EXPECT_EQ(element.GetVR(), vr::OB);
  EXPECT_TRUE(element.IsEncapsulated());
  EXPECT_FALSE(element.IsLoaded());
  EXPECT_EQ(element.GetValuePosition(), CDicomPixelData::kUnknownPosition);
  EXPECT_EQ(element.GetReadFrameCounter(), -1);
  EXPECT_EQ(element.GetWriteFrameCounter(), -1);
  EXPECT_EQ(element.GetItemCount(), 0u);
  EXPECT_EQ(element.EncodedSize(kLittle), 20u);
  element.SetValueLength(1234);  // the length follows from the items
  EXPECT_EQ(element.GetLength(), 0u);
  EXPECT_TRUE(element.IsUndefinedLength());
}

TEST(DicomEncapsulatedPixelDataRead, DefinedLengthStopsExactlyAtTheLengthWithoutDelimiter) {
  ByteBuilder b;
  b.Item(0).Item(4).Raw("ABCD").Item(2).Raw("EF");
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
  // Reading again replaces the items held.
  stream.Seek(0, CStream::SeekOrigin::Begin);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  EXPECT_EQ(element.GetItemCount(), 6u);
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

TEST(DicomEncapsulatedPixelDataFrames, FrameZeroIsItemOneAndNextFrameFollowsTheLastRead) {
  auto element = Loaded(FiveFrames());
  EXPECT_EQ(Frame(*element, nullptr, 0), "F0");  // never the offset table
  EXPECT_EQ(Frame(*element, nullptr, 1), "F1__");
  EXPECT_EQ(Frame(*element, nullptr, 2), "F2");
  EXPECT_EQ(NextFrame(*element, nullptr), "F3");
  EXPECT_EQ(element->GetReadFrameCounter(), 3);
  EXPECT_EQ(NextFrame(*element, nullptr), "F4");
  EXPECT_EQ(NextFrame(*element, nullptr), kFailed);
}

TEST(DicomEncapsulatedPixelDataFrames, BadRequestsFailCleanly) {
  // An offset table, an empty fragment, then one of 6 bytes.
  auto element = Loaded(ByteBuilder().Item(0).Item(0).Item(6).Raw("ABCDEF").SequenceEnd());
  std::vector<uint8_t> out(4, 0xEE);
  uint64_t length = 7;

  EXPECT_FALSE(element->ReadFrame(nullptr, -1, out.data(), out.size(), 0, length));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(element->GetReadFrameCounter(), -1);  // a rejected index changes nothing

  EXPECT_FALSE(element->ReadFrame(nullptr, 0, out.data(), out.size(), 0, length));  // empty
  // Too small a buffer: the needed length is reported, nothing is copied.
  EXPECT_FALSE(element->ReadFrame(nullptr, 1, out.data(), out.size(), 0, length));
  EXPECT_EQ(length, 6u);
  EXPECT_EQ(out, std::vector<uint8_t>(4, 0xEE));
  EXPECT_EQ(Frame(*element, nullptr, 2), kFailed);
  EXPECT_EQ(Frame(*element, nullptr, INT32_MAX), kFailed);
}

TEST(DicomEncapsulatedPixelDataDeferred, FramesComeFromTheStreamAndItemPositionsAreRemembered) {
  ByteBuilder b;
  b.Raw("prefix..");  // the value does not start at offset 0
  const uint64_t valuePosition = b.Size();
  Append(b, FiveFrames());
  CMemoryStream stream(b.bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), valuePosition);
  EXPECT_FALSE(element.IsLoaded());

  // Wherever the stream stands, the walk starts from the value position.
  stream.Seek(0, CStream::SeekOrigin::End);
  EXPECT_EQ(Frame(element, &stream, 2), "F2");
  // Items 0..3 were walked (offset table 12 bytes, F0 10, F1 12, F2 10), and
  // the end of item 3 is where item 4 starts.
  EXPECT_EQ(element.GetKnownItemPositions(), (std::vector<uint64_t>{8, 20, 30, 42, 52}));

  EXPECT_EQ(NextFrame(element, &stream), "F3");
  EXPECT_EQ(Frame(element, &stream, 0), "F0");
  EXPECT_EQ(Frame(element, &stream, 4), "F4");
  EXPECT_EQ(element.GetKnownItemPositions(), (std::vector<uint64_t>{8, 20, 30, 42, 52, 62, 72}));
  // After the last fragment comes the delimiter: there is no frame 5.
  EXPECT_EQ(NextFrame(element, &stream), kFailed);
  EXPECT_EQ(Frame(element, &stream, 5), kFailed);
  EXPECT_EQ(Frame(element, &stream, 9), kFailed);
}

TEST(DicomEncapsulatedPixelDataDeferred, DefinedLengthBoundsTheWalk) {
  ByteBuilder b;
  b.Item(0).Item(2).Raw("F0");
  const auto valueLength = static_cast<uint32_t>(b.Size());
  b.Item(2).Raw("XX");  // after the value: not a frame of this element
  CMemoryStream stream(b.bytes);
  CDicomEncapsulatedPixelData element(*Header(valueLength), 0);
  EXPECT_EQ(Frame(element, &stream, 0), "F0");
  EXPECT_EQ(Frame(element, &stream, 1), kFailed);
}

TEST(DicomEncapsulatedPixelDataDeferred, NeedsAStreamAndAPosition) {
  CMemoryStream stream(FiveFrames().bytes);
  CDicomEncapsulatedPixelData positioned(*Header(kUndefined), 0);
  EXPECT_EQ(Frame(positioned, nullptr, 0), kFailed);
  CDicomEncapsulatedPixelData unpositioned(*Header(kUndefined), CDicomPixelData::kUnknownPosition);
  EXPECT_EQ(Frame(unpositioned, &stream, 0), kFailed);
  EXPECT_EQ(NextFrame(unpositioned, &stream), kFailed);
}

TEST(DicomEncapsulatedPixelDataDeferred, DamagedItemsFail) {
  const std::vector<uint8_t> damaged[] = {
      ByteBuilder().Item(0).Item(100).Raw("ABCD").bytes,                 // fragment past the end of the stream
      ByteBuilder().Item(0).Tag(tags::kItem).U16(2).bytes,               // truncated item header
      ByteBuilder().Item(0).Item(kUndefined).Raw("AB").ItemEnd().bytes,  // undefined item length
  };
  for (const std::vector<uint8_t>& bytes : damaged) {
    CMemoryStream stream(bytes);
    CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
    EXPECT_EQ(Frame(element, &stream, 0), kFailed) << testing::PrintToString(bytes);
  }
  // A fragment too large for the buffer: its length is still reported.
  CMemoryStream stream(ByteBuilder().Item(0).Item(4).Raw("ABCD").bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 0);
  std::vector<uint8_t> out(3);
  uint64_t length = 0;
  EXPECT_FALSE(element.ReadFrame(&stream, 0, out.data(), out.size(), 0, length));
  EXPECT_EQ(length, 4u);
}

// Every damage fails the read and leaves the element not loaded, holding
// the complete items before the damage.
TEST(DicomEncapsulatedPixelDataBadInput, DamagedValueFailsKeepingTheItemsBeforeTheDamage) {
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    uint32_t length;
    size_t itemsKept;
    std::string lastKept;
  } cases[] = {
      // Checked against the stream before allocating: no 4 GB buffer is asked for.
      {"item length beyond the stream", ByteBuilder().Item(0).Item(2).Raw("OK").Item(0xFFFFFFF0).Raw("short").bytes,
       kUndefined, 2, "OK"},
      {"truncated item header", ByteBuilder().Item(0).Tag(tags::kItem).Byte(4).bytes, kUndefined, 1, ""},
      {"no delimiter before the end of the stream", FiveFrames(false).bytes, kUndefined, 6, "F4"},
      {"item crossing the defined length", ByteBuilder().Item(0).Item(8).Raw("ABCDEFGH").bytes, 22, 1, ""},
      {"item delimitation in place of an item", ByteBuilder().Item(0).ItemEnd().SequenceEnd().bytes, kUndefined, 1,
       ""},
      {"item of undefined length", ByteBuilder().Item(0).Item(kUndefined).Raw("AB").ItemEnd().SequenceEnd().bytes,
       kUndefined, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CMemoryStream stream(c.bytes);
    CDicomEncapsulatedPixelData element(*Header(c.length), 0);
    EXPECT_FALSE(element.ReadValue(stream, kLittle));
    EXPECT_FALSE(element.IsLoaded());
    ASSERT_EQ(element.GetItemCount(), c.itemsKept);
    EXPECT_EQ(ItemText(element.GetItem(c.itemsKept - 1)), c.lastKept);
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
  for (int32_t f = 0; f < 3; ++f) EXPECT_EQ(Frame(loaded, nullptr, f, 8), frames[f]);
  // And left in the stream, found through the position the writer recorded.
  CDicomEncapsulatedPixelData deferred(*Header(kUndefined), element.GetValuePosition());
  EXPECT_EQ(Frame(deferred, &stream, 1), "BB");
  EXPECT_EQ(NextFrame(deferred, &stream), "CCCCCC");
  EXPECT_EQ(NextFrame(deferred, &stream), kFailed);
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

  CDicomEncapsulatedPixelData loaded(*Header(kUndefined), 12);
  stream.Seek(12, CStream::SeekOrigin::Begin);
  ASSERT_TRUE(loaded.ReadValue(stream, kBig));
  EXPECT_EQ(Frame(loaded, nullptr, 0), "\x01\x02\x03\x04");
  // Left in the stream, the item headers are read in the stream's order.
  CDicomEncapsulatedPixelData deferred(*Header(kUndefined), 12, kBig);
  EXPECT_EQ(Frame(deferred, &stream, 0), "\x01\x02\x03\x04");
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
  value.Item(0).Item(4).Raw("ABCD");
  auto element = Loaded(value, static_cast<uint32_t>(value.Size()));
  // Encapsulated pixel data belongs to explicit VR; a data set that was
  // found to be implicit VR gives it the 8-byte implicit header.
  EXPECT_EQ(element->EncodedSize(kLittle), 12u + 20u);
  EXPECT_EQ(element->EncodedSize(TransferMode::ImplicitLittleEndian), 8u + 20u);

  CMemoryStream out;
  ASSERT_TRUE(element->WriteElement(out, kLittle));
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
  auto element = Loaded(FiveFrames());
  EXPECT_EQ(Frame(*element, nullptr, 3), "F3");

  auto clone = element->Clone();
  auto* copy = dynamic_cast<CDicomEncapsulatedPixelData*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->IsLoaded());
  EXPECT_TRUE(copy->IsUndefinedLength());
  EXPECT_EQ(copy->GetValuePosition(), 0u);
  EXPECT_EQ(copy->GetReadFrameCounter(), -1);
  ASSERT_EQ(copy->GetItemCount(), 6u);
  EXPECT_NE(copy->GetItem(2), element->GetItem(2));
  EXPECT_EQ(ItemText(copy->GetItem(2)), "F1__");
  EXPECT_EQ(NextFrame(*copy, nullptr), "F0");
}

TEST(DicomEncapsulatedPixelDataCopy, CloneOfADeferredValueReadsFromTheSamePosition) {
  ByteBuilder b;
  b.Raw("xx");
  Append(b, FiveFrames());
  CMemoryStream stream(b.bytes);
  CDicomEncapsulatedPixelData element(*Header(kUndefined), 2, kLittle);
  auto clone = element.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(Frame(dynamic_cast<CDicomEncapsulatedPixelData&>(*clone), &stream, 1), "F1__");
}

TEST(DicomEncapsulatedPixelDataCopy, CopyFromFailsAndCloneNeedsThePixelDataTag) {
  CDicomEncapsulatedPixelData element;
  CDicomElement other(tags::kPixelData, vr::OB, "ABCD", 4);
  EXPECT_FALSE(element.CopyFrom(other));
  element.SetTag(0x00091010);
  EXPECT_EQ(element.Clone(), nullptr);
}

TEST(DicomEncapsulatedPixelDataFlat, FragmentsAreParsedOutOfAPlainValueWithOrWithoutDelimiter) {
  for (const bool withDelimiter : {true, false}) {
    SCOPED_TRACE(withDelimiter);
    const ByteBuilder value = FiveFrames(withDelimiter);
    CDicomElement plain(tags::kPixelData, vr::OB, value.bytes.data(), static_cast<uint32_t>(value.Size()));
    auto element = CDicomEncapsulatedPixelData::FromFlatValue(plain);
    ASSERT_NE(element, nullptr);
    EXPECT_TRUE(element->IsLoaded());
    EXPECT_EQ(element->GetItemCount(), 6u);
    EXPECT_TRUE(plain.HasValue());  // the source is not touched
    EXPECT_EQ(Frame(*element, nullptr, 4), "F4");
  }
}

TEST(DicomEncapsulatedPixelDataFlat, DamagedValueGivesTheItemsBeforeTheDamageNotLoaded) {
  const auto fromFlat = [](const ByteBuilder& value, DicomTag tag = tags::kPixelData) {
    const CDicomElement plain(tag, vr::OB, value.bytes.data(), static_cast<uint32_t>(value.Size()));
    return CDicomEncapsulatedPixelData::FromFlatValue(plain);
  };
  ByteBuilder overlong;
  overlong.Item(0).Item(2).Raw("AB").Item(50).Raw("CD");  // the last item is longer than the value
  auto element = fromFlat(overlong);
  ASSERT_NE(element, nullptr);
  EXPECT_FALSE(element->IsLoaded());
  EXPECT_EQ(element->GetItemCount(), 2u);

  ByteBuilder truncated;
  truncated.Item(0).Byte(0xFE).Byte(0xFF);
  element = fromFlat(truncated);
  ASSERT_NE(element, nullptr);
  EXPECT_FALSE(element->IsLoaded());
  EXPECT_EQ(element->GetItemCount(), 1u);

  EXPECT_EQ(fromFlat(overlong, 0x00091010), nullptr);
}

}  // namespace
