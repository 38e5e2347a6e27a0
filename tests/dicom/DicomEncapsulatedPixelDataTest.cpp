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

// The element the reader makes of the Pixel Data header, its value left at `position`.
Element Deferred(uint32_t length, uint64_t position = 0, TransferMode mode = kLittle) {
  CDicomElement header(tags::kPixelData, vr::OB, nullptr, length);
  header.SetUndefinedLength(length == kUndefined);
  return Element(header, position, mode);
}

// An offset table with one entry (never to be taken for a frame), then
// frames "F0", "F1__", "F2", "F3", "F4".
ByteBuilder FiveFrames(bool withDelimiter = true) {
  ByteBuilder b;
  b.Item(4).U32(0);
  for (const std::string frame : {"F0", "F1__", "F2", "F3", "F4"}) b.Item(uint32_t(frame.size())).Raw(frame);
  if (withDelimiter) b.SequenceEnd();
  return b;
}

std::string ItemText(const CDicomElement* item) {
  if (item == nullptr || !item->HasValue()) return {};
  return std::string(reinterpret_cast<const char*>(item->GetValue()), item->GetLength());
}

// Frame `index` (kNext: the next one) as text, or kFailed. Fragments carry
// their own length: the frame size passed matches none.
std::string Frame(Element& element, CStream* stream, int32_t index) {
  std::vector<uint8_t> out(16);
  uint64_t length = 0;
  const bool read = index == kNext ? element.ReadNextFrame(stream, out.data(), out.size(), 999, length)
                                   : element.ReadFrame(stream, index, out.data(), out.size(), 999, length);
  return read ? std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length)) : kFailed;
}

// The value ends at its defined length or at the delimiter (not kept) and
// is written back as read. Damage fails a read into memory, keeping the
// items before it, and the frame walk in the stream there; a plain OB value
// of the same bytes is taken apart up to its own end or damage.
TEST(DicomEncapsulatedPixelDataRead, ItemsUpToTheEndOrTheDamage) {
  const ByteBuilder defined = ByteBuilder().Item(0).Item(4).Raw("ABCD").Item(2).Raw("EF").Tag(0xFFFCFFFC);
  const ByteBuilder tail = FiveFrames().Raw("tail");
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    uint32_t length;
    bool read;
    size_t items;
    std::string lastItem;
    size_t flatItems;
    bool flatLoaded;
    size_t end = 0;
  } cases[] = {
      {"defined length", defined.bytes, 30, true, 3, "EF", 3, false, 30},
      {"delimiter", tail.bytes, kUndefined, true, 6, "F4", 6, true, tail.Size() - 4},
      {"zero length", tail.bytes, 0, true, 0, "", 6, true, 0},
      // Checked against the stream before allocating: no 4 GB buffer is asked for.
      {"item beyond the stream", ByteBuilder().Item(0).Item(2).Raw("OK").Item(0xFFFFFFF0).Raw("short").bytes,
       kUndefined, false, 2, "OK", 2, false},
      {"truncated header", ByteBuilder().Item(0).Tag(tags::kItem).Byte(4).bytes, kUndefined, false, 1, "", 1, false},
      {"no delimiter", FiveFrames(false).bytes, kUndefined, false, 6, "F4", 6, true},
      {"item crossing the length", ByteBuilder().Item(0).Item(8).Raw("ABCDEFGH").bytes, 22, false, 1, "", 2, true},
      {"item delimitation", ByteBuilder().Item(0).ItemEnd().SequenceEnd().bytes, kUndefined, false, 1, "", 1, false},
      {"undefined item length", ByteBuilder().Item(0).Item(kUndefined).Raw("AB").ItemEnd().SequenceEnd().bytes,
       kUndefined, false, 1, "", 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CMemoryStream stream(c.bytes);
    Element loaded = Deferred(c.length);
    loaded.SetValueLength(1234);  // ignored: the length follows from the items
    for (int pass = 0; pass < 2; ++pass) {  // reading again replaces the items held
      stream.Seek(0, CStream::SeekOrigin::Begin);
      EXPECT_EQ(loaded.ReadValue(stream, kLittle), c.read);
      ASSERT_EQ(loaded.GetItemCount(), c.items);
    }
    EXPECT_EQ(loaded.IsLoaded(), c.read && c.items > 0);
    if (c.read) { EXPECT_EQ(stream.GetPosition(), c.end); }
    if (loaded.IsLoaded()) {
      ByteBuilder written = ByteBuilder().ExplicitHeader(tags::kPixelData, "OB", c.length);
      written.bytes.insert(written.bytes.end(), c.bytes.begin(), c.bytes.begin() + std::ptrdiff_t(c.end));
      CMemoryStream out;
      ASSERT_TRUE(loaded.WriteElement(out, kLittle));
      EXPECT_EQ(out.Data(), written.bytes);
      EXPECT_EQ(loaded.EncodedSize(kLittle), written.Size());
      EXPECT_EQ(loaded.EncodedSize(TransferMode::ImplicitLittleEndian), written.Size() - 4);  // 8-byte header
    }
    const CDicomElement plain(tags::kPixelData, vr::OB, c.bytes.data(), uint32_t(c.bytes.size()));
    const auto flat = Element::FromFlatValue(plain);
    ASSERT_NE(flat, nullptr);
    EXPECT_EQ(flat->GetItemCount(), c.flatItems);
    EXPECT_EQ(flat->IsLoaded(), c.flatLoaded);
    const auto frames = static_cast<int32_t>(c.items > 0 ? c.items - 1 : 0);
    Element deferred = Deferred(c.length);
    if (c.items > 0) {
      EXPECT_EQ(ItemText(loaded.GetItem(c.items - 1)), c.lastItem);
      EXPECT_EQ(ItemText(flat->GetItem(c.items - 1)), c.lastItem);
    }
    if (frames > 0) { EXPECT_EQ(Frame(deferred, &stream, frames - 1), c.lastItem); }
    EXPECT_EQ(Frame(deferred, &stream, frames), kFailed);
  }
}

// Big endian swaps tags and lengths, not the VR or the data; an odd frame
// is padded to even length. Read back into memory as the reader would, or
// left in the stream and walked from the position the writer recorded
// (wherever the stream stands), remembering where the items start.
TEST(DicomEncapsulatedPixelDataWrite, FramesWrittenAndReadBack) {
  for (const auto mode : {kLittle, TransferMode::ExplicitBigEndian}) {
    SCOPED_TRACE(int(mode));
    CMemoryStream stream;
    stream.Write("pre", 3);  // the data set written before the pixel data
    Element element;
    EXPECT_FALSE(element.FinishWrite(stream, mode));  // no frame yet
    EXPECT_FALSE(element.WriteFrame(stream, mode, nullptr, 2));
    for (const std::string frame : {"AAAA", "BBB", "CCCCCC", ""}) {
      ASSERT_TRUE(element.WriteFrame(stream, mode, reinterpret_cast<const uint8_t*>(frame.data()), frame.size()));
    }
    ASSERT_TRUE(element.FinishWrite(stream, mode));
    ByteBuilder expected(mode == TransferMode::ExplicitBigEndian);
    expected.Raw("pre").ExplicitHeader(tags::kPixelData, "OB", kUndefined).Item(0).Item(4).Raw("AAAA");
    expected.Item(4).Raw("BBB").Byte(0).Item(6).Raw("CCCCCC").Item(0).SequenceEnd();
    ASSERT_EQ(stream.Data(), expected.bytes);

    for (const bool load : {true, false}) {
      SCOPED_TRACE(load ? "loaded" : "deferred");
      Element back = Deferred(kUndefined, element.GetValuePosition(), mode);
      stream.Seek(load ? 15 : 0, CStream::SeekOrigin::Begin);
      if (load) { ASSERT_TRUE(back.ReadValue(stream, mode)); }
      CStream* source = load ? nullptr : &stream;
      EXPECT_EQ(Frame(back, source, 1), "BBB\0"s);
      if (!load) { EXPECT_EQ(back.GetKnownItemPositions(), (std::vector<uint64_t>{15, 23, 35, 47})); }
      EXPECT_EQ(Frame(back, source, kNext), "CCCCCC");
      EXPECT_EQ(Frame(back, source, 0), "AAAA");
      EXPECT_EQ(Frame(back, source, 3), kFailed);  // empty
      EXPECT_EQ(Frame(back, source, INT32_MAX), kFailed);
      // Too small a buffer: the needed length is reported, nothing is copied.
      std::vector<uint8_t> out(4, 0xEE);
      uint64_t length = 0;
      EXPECT_FALSE(back.ReadFrame(source, 2, out.data(), out.size(), 0, length));
      EXPECT_EQ(length, 6u);
      EXPECT_EQ(out, std::vector<uint8_t>(4, 0xEE));
      // A clone counts from the start again. Fragments left in the file were
      // never read, so writing them now would drop them.
      const std::unique_ptr<CDicomElement> clone = back.Clone();
      auto* copy = dynamic_cast<Element*>(clone.get());
      ASSERT_NE(copy, nullptr);
      EXPECT_EQ(Frame(*copy, source, kNext), "AAAA");
      if (load) { EXPECT_NE(copy->GetItem(1), back.GetItem(1)); }
      CMemoryStream written;
      EXPECT_EQ(back.WriteElement(written, mode), load);
    }
    Element unpositioned = Deferred(kUndefined, CDicomPixelData::kUnknownPosition);
    EXPECT_EQ(Frame(unpositioned, &stream, kNext), kFailed);
  }
}

}  // namespace
