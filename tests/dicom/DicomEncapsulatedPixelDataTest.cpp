// Encapsulated Pixel Data: fragments read into memory or left in the
// stream, frame access, frame-by-frame output byte for byte, damaged input.
#include "dicom/DicomEncapsulatedPixelData.h"

#include "base/MemoryStream.h"
#include "dicom/ValueRepresentation.h"
#include "support/ByteBuilder.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

using namespace quillon;
using namespace std::string_literals;
using quillon::test::ByteBuilder;

namespace {

constexpr auto kLittle = TransferMode::ExplicitLittleEndian;
constexpr uint32_t kUndefined = CDicomElement::kUndefinedLength;
constexpr int32_t kNext = INT32_MIN;  // Frame(): the frame after the one last read
const std::string kFailed = "(failed)";

using Element = CDicomEncapsulatedPixelData;

// The element the reader makes of the Pixel Data header, its value left at
// `position` of a stream in `mode`.
Element Deferred(uint32_t length, uint64_t position = 0, TransferMode mode = kLittle,
                 DicomTag tag = tags::kPixelData) {
  CDicomElement header(tag, vr::OB, nullptr, length);
  header.SetUndefinedLength(length == kUndefined);
  return Element(header, position, mode);
}

// After `b`: an offset table with one entry (never to be taken for a
// frame), then frames "F0", "F1__", "F2", "F3", "F4".
ByteBuilder FiveFrames(bool withDelimiter = true, ByteBuilder b = ByteBuilder()) {
  b.Item(4).U32(0);
  for (const std::string frame : {"F0", "F1__", "F2", "F3", "F4"}) {
    b.Item(static_cast<uint32_t>(frame.size())).Raw(frame);
  }
  if (withDelimiter) b.SequenceEnd();
  return b;
}

std::string ItemText(const CDicomElement* item) {
  if (item == nullptr || !item->HasValue()) return {};
  return std::string(reinterpret_cast<const char*>(item->GetValue()), item->GetLength());
}

// Frame `index` (kNext: the next one) read into `capacity` bytes, as text;
// kFailed when the read fails. Fragments carry their own length, so the
// frame size passed matches none.
std::string Frame(Element& element, CStream* stream, int32_t index, uint64_t capacity = 16) {
  std::vector<uint8_t> out(capacity);
  uint64_t length = 0;
  const bool read = index == kNext ? element.ReadNextFrame(stream, out.data(), out.size(), 999, length)
                                   : element.ReadFrame(stream, index, out.data(), out.size(), 999, length);
  return read ? std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length)) : kFailed;
}

// A read ends at the defined length or at the delimiter (which is not kept).
// Damage fails it, leaving the element not loaded with the complete items
// before the damage.
TEST(DicomEncapsulatedPixelDataRead, ItemsUpToTheEndOrTheDamage) {
  ByteBuilder defined;
  defined.Item(0).Item(4).Raw("ABCD").Item(2).Raw("EF").ExplicitHeader(0xFFFCFFFC, "OB", 2).U16(0);
  const ByteBuilder tail = FiveFrames().Raw("tail");
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    uint32_t length;
    bool read;
    size_t items;
    std::string lastItem;
    int64_t end = -1;
  } cases[] = {
      {"defined length", defined.bytes, 30, true, 3, "EF", 30},
      {"delimiter", tail.bytes, kUndefined, true, 6, "F4", static_cast<int64_t>(tail.Size() - 4)},
      {"zero length", tail.bytes, 0, true, 0, "", 0},
      // Checked against the stream before allocating: no 4 GB buffer is asked for.
      {"item beyond the stream", ByteBuilder().Item(0).Item(2).Raw("OK").Item(0xFFFFFFF0).Raw("short").bytes,
       kUndefined, false, 2, "OK"},
      {"truncated item header", ByteBuilder().Item(0).Tag(tags::kItem).Byte(4).bytes, kUndefined, false, 1, ""},
      {"no delimiter", FiveFrames(false).bytes, kUndefined, false, 6, "F4"},
      {"item crossing the length", ByteBuilder().Item(0).Item(8).Raw("ABCDEFGH").bytes, 22, false, 1, ""},
      {"item delimitation", ByteBuilder().Item(0).ItemEnd().SequenceEnd().bytes, kUndefined, false, 1, ""},
      {"undefined item length", ByteBuilder().Item(0).Item(kUndefined).Raw("AB").ItemEnd().SequenceEnd().bytes,
       kUndefined, false, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CMemoryStream stream(c.bytes);
    Element element = Deferred(c.length);
    for (int pass = 0; pass < 2; ++pass) {  // reading again replaces the items held
      stream.Seek(0, CStream::SeekOrigin::Begin);
      EXPECT_EQ(element.ReadValue(stream, kLittle), c.read);
      ASSERT_EQ(element.GetItemCount(), c.items);
    }
    EXPECT_EQ(element.IsLoaded(), c.read && c.items > 0);
    if (c.end >= 0) EXPECT_EQ(stream.GetPosition(), static_cast<uint64_t>(c.end));
    EXPECT_EQ(element.GetItem(c.items), nullptr);
    if (c.items > 0) EXPECT_EQ(ItemText(element.GetItem(c.items - 1)), c.lastItem);
  }
}

// Loaded, frames come from the items; left in the stream, from a walk that
// starts at the value position wherever the stream stands, and remembers
// where the items start.
TEST(DicomEncapsulatedPixelDataFrames, FrameFIsItemFPlusOneFromMemoryOrTheStream) {
  const ByteBuilder bytes = FiveFrames(true, ByteBuilder().Raw("prefix.."));
  for (const bool loaded : {true, false}) {
    SCOPED_TRACE(loaded ? "loaded" : "deferred");
    CMemoryStream stream(bytes.bytes);
    stream.Seek(8, CStream::SeekOrigin::Begin);
    Element element = Deferred(kUndefined, 8);
    if (loaded) ASSERT_TRUE(element.ReadValue(stream, kLittle));
    CStream* source = loaded ? nullptr : &stream;
    stream.Seek(0, CStream::SeekOrigin::End);
    EXPECT_EQ(Frame(element, source, 2), "F2");
    if (!loaded) EXPECT_EQ(element.GetKnownItemPositions(), (std::vector<uint64_t>{8, 20, 30, 42, 52}));
    EXPECT_EQ(Frame(element, source, kNext), "F3");
    EXPECT_EQ(element.GetReadFrameCounter(), 3);
    EXPECT_EQ(Frame(element, source, 0), "F0");
    EXPECT_EQ(Frame(element, source, 4), "F4");
    EXPECT_EQ(Frame(element, source, 1), "F1__");
    EXPECT_EQ(Frame(element, source, 4), "F4");
    EXPECT_EQ(Frame(element, source, kNext), kFailed);  // the delimiter comes next
    EXPECT_EQ(Frame(element, source, 9), kFailed);
    EXPECT_EQ(Frame(element, source, INT32_MAX), kFailed);
    EXPECT_EQ(element.IsLoaded(), loaded);
  }
}

TEST(DicomEncapsulatedPixelDataFrames, BadRequestsFailCleanly) {
  // An offset table, an empty fragment, then one of 6 bytes.
  const ByteBuilder bytes = ByteBuilder().Item(0).Item(0).Item(6).Raw("ABCDEF").SequenceEnd();
  for (const bool loaded : {true, false}) {
    SCOPED_TRACE(loaded ? "loaded" : "deferred");
    CMemoryStream stream(bytes.bytes);
    Element element = Deferred(kUndefined);
    if (loaded) ASSERT_TRUE(element.ReadValue(stream, kLittle));
    std::vector<uint8_t> out(4, 0xEE);
    uint64_t length = 7;
    EXPECT_FALSE(element.ReadFrame(&stream, -1, out.data(), out.size(), 0, length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(element.GetReadFrameCounter(), -1);  // a rejected index changes nothing
    EXPECT_EQ(Frame(element, &stream, 0), kFailed);  // empty
    // Too small a buffer: the needed length is reported, nothing is copied.
    EXPECT_FALSE(element.ReadFrame(&stream, 1, out.data(), out.size(), 0, length));
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0xEE));
    EXPECT_EQ(Frame(element, &stream, 1), "ABCDEF");
  }
  // Left in the stream, a value needs both the stream and its position.
  CMemoryStream stream(bytes.bytes);
  Element positioned = Deferred(kUndefined);
  EXPECT_EQ(Frame(positioned, nullptr, 1), kFailed);
  Element unpositioned = Deferred(kUndefined, CDicomPixelData::kUnknownPosition);
  EXPECT_EQ(Frame(unpositioned, &stream, 1), kFailed);
  EXPECT_EQ(Frame(unpositioned, &stream, kNext), kFailed);
}

TEST(DicomEncapsulatedPixelDataFrames, DamagedItemsInTheStreamFail) {
  const std::vector<uint8_t> twoFrames = ByteBuilder().Item(0).Item(2).Raw("F0").Item(2).Raw("XX").bytes;
  const struct {
    std::vector<uint8_t> bytes;
    uint32_t length;
    int32_t frame;
    std::string expected;
  } cases[] = {
      {ByteBuilder().Item(0).Item(100).Raw("ABCD").bytes, kUndefined, 0, kFailed},  // past the stream
      {ByteBuilder().Item(0).Tag(tags::kItem).U16(2).bytes, kUndefined, 0, kFailed},  // truncated header
      {ByteBuilder().Item(0).Item(kUndefined).Raw("AB").ItemEnd().bytes, kUndefined, 0, kFailed},
      {twoFrames, 18, 0, "F0"},
      {twoFrames, 18, 1, kFailed},  // after the defined length
      {twoFrames, 20, 1, kFailed},  // crossing it
  };
  for (const auto& c : cases) {
    CMemoryStream stream(c.bytes);
    Element element = Deferred(c.length);
    EXPECT_EQ(Frame(element, &stream, c.frame), c.expected) << testing::PrintToString(c.bytes);
  }
}

// Big endian swaps tags and lengths, not the VR or the data. An odd frame
// is padded to even length.
TEST(DicomEncapsulatedPixelDataWrite, FramesThenFinishGiveTheExactLayout) {
  for (const auto mode : {kLittle, TransferMode::ExplicitBigEndian}) {
    const bool big = mode == TransferMode::ExplicitBigEndian;
    SCOPED_TRACE(big);
    CMemoryStream stream;
    stream.Write("pre", 3);  // the data set written before the pixel data
    Element element;
    EXPECT_FALSE(element.FinishWrite(stream, mode));  // no frame yet
    EXPECT_FALSE(element.WriteFrame(stream, mode, nullptr, 2));
    EXPECT_EQ(element.GetWriteFrameCounter(), -1);
    for (const std::string frame : {"AAAA", "BBB", "CCCCCC"}) {
      ASSERT_TRUE(element.WriteFrame(stream, mode, reinterpret_cast<const uint8_t*>(frame.data()), frame.size()));
    }
    EXPECT_EQ(element.GetWriteFrameCounter(), 2);
    ASSERT_TRUE(element.FinishWrite(stream, mode));
    ByteBuilder expected(big);
    expected.Raw("pre").ExplicitHeader(tags::kPixelData, "OB", kUndefined).Item(0).Item(4).Raw("AAAA");
    expected.Item(4).Raw("BBB").Byte(0).Item(6).Raw("CCCCCC").SequenceEnd();
    ASSERT_EQ(stream.Data(), expected.bytes);
    EXPECT_EQ(element.GetValuePosition(), 3u + 12u);

    // Read back as the reader would, and left in the stream, found through
    // the position the writer recorded.
    Element loaded = Deferred(kUndefined, 15);
    stream.Seek(15, CStream::SeekOrigin::Begin);
    ASSERT_TRUE(loaded.ReadValue(stream, mode));
    EXPECT_EQ(stream.GetPosition(), stream.GetLength());
    EXPECT_EQ(Frame(loaded, nullptr, 0), "AAAA");
    EXPECT_EQ(Frame(loaded, nullptr, 1), "BBB\0"s);
    Element deferred = Deferred(kUndefined, element.GetValuePosition(), mode);
    EXPECT_EQ(Frame(deferred, &stream, 1), "BBB\0"s);
    EXPECT_EQ(Frame(deferred, &stream, kNext), "CCCCCC");
    EXPECT_EQ(Frame(deferred, &stream, kNext), kFailed);
  }
}

// An undefined length is written with its delimiter; a defined one is
// computed from the items. A data set found to be implicit VR gives the
// element the 8-byte implicit header.
TEST(DicomEncapsulatedPixelDataWrite, WriteElementGivesBackWhatWasRead) {
  for (const uint32_t length : {kUndefined, 64u}) {
    SCOPED_TRACE(length);
    ByteBuilder file = FiveFrames(length == kUndefined, ByteBuilder().ExplicitHeader(tags::kPixelData, "OB", length));
    CMemoryStream in(file.bytes);
    in.Seek(12, CStream::SeekOrigin::Begin);
    Element element = Deferred(length, 12);
    element.SetValueLength(1234);  // ignored: the length follows from the items
    ASSERT_TRUE(element.ReadValue(in, kLittle));
    EXPECT_EQ(element.EncodedSize(kLittle), file.Size());
    EXPECT_EQ(element.EncodedSize(TransferMode::ImplicitLittleEndian), file.Size() - 4);
    CMemoryStream out;
    ASSERT_TRUE(element.WriteElement(out, kLittle));
    EXPECT_EQ(out.Data(), file.bytes);
  }
  Element empty;
  EXPECT_EQ(empty.EncodedSize(kLittle), 20u);
  CMemoryStream out;
  ASSERT_TRUE(empty.WriteElement(out, kLittle));
  EXPECT_EQ(out.Data(), ByteBuilder().ExplicitHeader(tags::kPixelData, "OB", kUndefined).SequenceEnd().bytes);
  // Fragments left in the file were never read: writing would drop them.
  EXPECT_FALSE(Deferred(kUndefined).WriteElement(out, kLittle));
}

TEST(DicomEncapsulatedPixelDataCopy, CloneCopiesItemsOrPositionAndOnlyPixelDataIsHandled) {
  CMemoryStream stream(FiveFrames(true, ByteBuilder().Raw("xx")).bytes);
  Element deferred = Deferred(kUndefined, 2);
  std::unique_ptr<CDicomElement> clone = deferred.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(Frame(dynamic_cast<Element&>(*clone), &stream, 1), "F1__");

  stream.Seek(2, CStream::SeekOrigin::Begin);
  Element element = Deferred(kUndefined, 2);
  ASSERT_TRUE(element.ReadValue(stream, kLittle));
  EXPECT_EQ(Frame(element, nullptr, 3), "F3");
  clone = element.Clone();
  auto* copy = dynamic_cast<Element*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->IsLoaded());
  EXPECT_EQ(copy->GetReadFrameCounter(), -1);
  ASSERT_EQ(copy->GetItemCount(), 6u);
  EXPECT_NE(copy->GetItem(2), element.GetItem(2));
  EXPECT_EQ(ItemText(copy->GetItem(2)), "F1__");
  EXPECT_EQ(Frame(*copy, nullptr, kNext), "F0");
  EXPECT_FALSE(element.CopyFrom(CDicomElement(tags::kPixelData, vr::OB, "ABCD", 4)));

  Element other = Deferred(kUndefined, 0, kLittle, 0x00091010);
  stream.Seek(2, CStream::SeekOrigin::Begin);
  EXPECT_FALSE(other.ReadValue(stream, kLittle));
  EXPECT_EQ(stream.GetPosition(), 2u);
  EXPECT_FALSE(other.WriteElement(stream, kLittle));
  EXPECT_EQ(other.Clone(), nullptr);
  EXPECT_EQ(Element::FromFlatValue(CDicomElement(0x00091010, vr::OB, "ABCD", 4)), nullptr);
}

// A plain OB value holding fragments is taken apart into items, up to any
// damage; the source is not touched.
TEST(DicomEncapsulatedPixelDataFlat, FragmentsOfAPlainValueUpToTheDamage) {
  const struct {
    ByteBuilder value;
    bool loaded;
    size_t items;
  } cases[] = {
      {FiveFrames(true), true, 6},
      {FiveFrames(false), true, 6},
      {ByteBuilder().Item(0).Item(2).Raw("AB").Item(50).Raw("CD"), false, 2},  // longer than the value
      {ByteBuilder().Item(0).Byte(0xFE).Byte(0xFF), false, 1},                 // truncated item header
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.items);
    const CDicomElement plain(tags::kPixelData, vr::OB, c.value.bytes.data(), static_cast<uint32_t>(c.value.Size()));
    auto element = Element::FromFlatValue(plain);
    ASSERT_NE(element, nullptr);
    EXPECT_TRUE(plain.HasValue());
    EXPECT_EQ(element->IsLoaded(), c.loaded);
    EXPECT_EQ(element->GetItemCount(), c.items);
    if (c.loaded) EXPECT_EQ(Frame(*element, nullptr, 4), "F4");
  }
}

}  // namespace
