// The reader on hand-made streams: what each framing is read as, what it
// works around (with a warning naming the place), and damaged input, which
// fails with the tag and offset instead of a crash or a shortened object.
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ReadContext.h"
#include "dicom/ValueRepresentation.h"
#include "support/ByteBuilder.h"
#include "support/DicomFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quillon;
using namespace quillon::test;
using namespace std::string_literals;

namespace {

const std::string kImplicit = uids::kImplicitVrLittleEndian;
const std::string kExplicit = uids::kExplicitVrLittleEndian;
const std::string kBigEndian = uids::kExplicitVrBigEndian;
const std::string kRle = "1.2.840.10008.1.2.5";

ByteBuilder File(const std::string& syntax, bool big = false, const std::string& sop = "1.2.840.10008.5.1.4.1.1.7") {
  return std::move(ByteBuilder(big).Meta(syntax, sop));
}

TEST(DataSetReader, WhatIsNoMediaFileIsRefusedSayingWhy) {
  const std::string noDicm = "not a DICOM file: no \"DICM\" after the 128-byte preamble";
  ByteBuilder dxcm = File(kExplicit);
  dxcm.bytes[129] = 'X';
  for (const auto& [bytes, reason] :
       {std::pair{dxcm, noDicm},
        std::pair{ByteBuilder().Raw("DICM"), "not a DICOM file: shorter than the 128-byte preamble and \"DICM\""s}}) {
    const ReadResult read = ReadFromBytes(bytes.bytes);
    EXPECT_EQ(read.status.Message(), reason);
    EXPECT_EQ(read.status.GetError().Code(), ErrorCode::Malformed);
  }
}

// Each stream reads with the warning given, or none; saved, it reads back
// clean and, where nothing was worked around, as the same bytes.
TEST(DataSetReader, FramingsAreReadAsWhatTheyAre) {
  struct Case {
    std::string name;
    ByteBuilder bytes;
    DicomTag tag;
    DicomVR vr;
    uint32_t size;             // items of a sequence, else the value length
    std::string value = {};    // the value held, when given
    std::string warning = {};  // empty: none
    bool sameBytes = true;
    bool skipPixelData = false;
  };
  std::vector<Case> cases = {
      {"meta information only", File(kExplicit), 0x00020010, vr::UI, 20, kExplicit + '\0'},
      {"big endian: AT is two words, each swapped",
       File(kBigEndian, true).ExplicitHeader(0x00209165, "AT", 4).U16(0x0010).U16(0x0020), 0x00209165, vr::AT, 4,
       "\x10\0\x20\0"s},
      {"implicit: a dictionary sequence without items is plain bytes",
       File(kImplicit).ImplicitHeader(0x00081140, 0).Implicit(0x00100010, "DOE^JOHN"), 0x00081140, vr::kUnknown, 0},
      {"implicit: Pixel Data of undefined length is fragments, not a sequence",
       File(kImplicit).ImplicitHeader(0x7FE00010, 0xFFFFFFFF).Item(0).Item(4).Raw("abcd").SequenceEnd(), 0x7FE00010,
       vr::OB, 0xFFFFFFFF},
      {"explicit: an undefined-length value ends at its delimiter; odd lengths stay",
       File(kExplicit).ExplicitHeader(0x00091011, "OB", 0xFFFFFFFF).Raw("abcdefgh").ItemEnd()
           .Explicit(0x00100020, "LO", "X"), 0x00091011, vr::OB, 8},
      {"explicit: UN of undefined length is a sequence of implicit VR items",
       File(kExplicit).ExplicitHeader(0x00091010, "UN", 0xFFFFFFFF).Item().Implicit(0x00100010, "DOE^JOHN").ItemEnd()
           .SequenceEnd().Explicit(0x00100020, "LO", "ID42"), 0x00091010, vr::SQ, 1, "", "", false},
      {"one stray byte at the end", File(kExplicit).Explicit(0x00100010, "PN", "DOE^JOHN").Byte(0), 0x00100010,
       vr::PN, 8, "", "", false},
  };
  // The command group, (0000,0000) included, is legal in a data set and
  // peers read it; it used to fail the read at (0000,0000). The dictionary
  // covers every group, so implicit VR reads its VR too.
  for (const std::string& syntax : {kImplicit, kExplicit, kBigEndian}) {
    ByteBuilder b = File(syntax, syntax == kBigEndian);
    if (syntax == kImplicit) b.ImplicitHeader(0x00000000, 4).U32(10).ImplicitHeader(0x00000100, 2).U16(1);
    if (syntax != kImplicit) b.ExplicitHeader(0x00000000, "UL", 4).U32(10).ExplicitHeader(0x00000100, "US", 2).U16(1);
    cases.push_back({"command group in " + syntax, b, 0x00000100, vr::US, 2,
                     "\1\0"s});
  }
  // Sequences the dictionary does not call sequences: private and retired
  // tags, unknown tags in even groups, and any element of undefined length
  // whose value starts with an item. Each used to end the read at its
  // sequence delimitation ("item tag outside of any sequence").
  const std::string uid = "\x08\x00\x50\x11\x06\x00\x00\x00" "1.2.3\0"s;
  for (const auto& [tag, undefined] : {std::pair{0x00091010u, true}, std::pair{0x00081145u, true},
                                       std::pair{0x00209999u, true}, std::pair{0x00101000u, true},
                                       std::pair{0x00081145u, false}}) {
    ByteBuilder b = File(kImplicit);
    if (undefined) b.ImplicitHeader(tag, 0xFFFFFFFF).Item().Raw(uid).ItemEnd().SequenceEnd();
    if (!undefined) b.ImplicitHeader(tag, 8 + 14).Item(14).Raw(uid);
    cases.push_back({"implicit: items make " + FormatTag(tag) + " a sequence", b.Implicit(0x00291010, "ABCD"), tag,
                     vr::SQ, 1});
  }
  for (const auto& [sopClass, expected] :
       {std::pair{"1.2.840.10008.5.1.4.1.1.88.3", vr::SQ}, std::pair{"1.2.840.10008.5.1.4.1.1.88.22", vr::UI}}) {
    ByteBuilder b = File(kImplicit, false, sopClass);
    if (expected == vr::SQ) b.ImplicitHeader(0x0040A124, 0xFFFFFFFF).Item().Implicit(0x00100010, "X^Y ").ItemEnd();
    cases.push_back({"implicit: (0040,A124) in SOP class "s + sopClass,
                     expected == vr::SQ ? b.SequenceEnd() : b.Implicit(0x0040A124, "1.2.3.4."), 0x0040A124, expected,
                     expected == vr::SQ ? 1u : 8u});
  }

  // Lenience that real archives need, each with a warning naming the place.
  for (const auto& [vrBytes, hex] : {std::pair{"\0\0"s, "00 00"}, std::pair{"lo"s, "6C 6F"}}) {
    ByteBuilder b = File(kExplicit);
    const std::string where = "(0009,1001) at offset " + std::to_string(b.Size());
    cases.push_back({"VR bytes "s + hex, b.Tag(0x00091001).Raw(vrBytes).U16(4).Raw("abcd"), 0x00091001, vr::kUnknown,
                     4, "", where + ": the VR bytes " + hex + " are not a DICOM VR; the value was read with a 16-bit "
                                                              "length as unknown (UN)", false});
  }
  for (const std::string& syntax : {kImplicit, kExplicit}) {
    ByteBuilder b = File(syntax);
    const std::string where = "(0000,0000) at offset " + std::to_string(b.Size()) + ": ";
    ByteBuilder padded = b;
    padded.bytes.resize(b.Size() + 100, 0);
    cases.push_back({"zero padding in " + syntax, padded, 0x00020002, vr::UI, 26, "",
                     where + "the file ends with 100 zero bytes after the last element; they were taken as padding "
                             "and left out", false});
    // Eight zeros before more elements: an empty (0000,0000), left out too
    // (kept, it could not be told from padding once saved in implicit VR).
    b.Raw(std::string(8, '\0'));
    cases.push_back({"empty (0000,0000) in " + syntax,
                     syntax == kImplicit ? b.Implicit(0x00100020, "ID") : b.Explicit(0x00100020, "LO", "ID"),
                     0x00100020, vr::LO, 2, "", where + "an empty (0000,0000) was left out", false});
  }
  ByteBuilder implicitMeta;
  implicitMeta.bytes.resize(128, 0);
  implicitMeta.Raw("DICM").Implicit(0x00020000, "\x1c\0\0\0"s).Implicit(0x00020010, kExplicit + '\0');
  cases.push_back({"meta group in implicit VR", implicitMeta.Explicit(0x00100010, "PN", "DOE^JOHN"), 0x00020010,
                   vr::UI, 20, "", "(0002,0000) at offset 132: the file meta information is in implicit VR; it was "
                                   "read so (it is saved in explicit VR little endian, as the standard requires)",
                   false});
  // Skipping the pixel data once stopped the read at its header, so every
  // element after it was lost to whoever wrote the object again.
  ByteBuilder native = File(kExplicit).Explicit(0x7FE00010, "OW", std::string(8, '\x11'));
  ByteBuilder fragments = File(kRle).ExplicitHeader(0x7FE00010, "OB", 0xFFFFFFFF).Item(0).Item(4).Raw("AAAA");
  ByteBuilder defined = File(kRle).ExplicitHeader(0x7FE00010, "OB", 8 + 8 + 4).Item(0).Item(4).Raw("AAAA");
  ByteBuilder undefinedNative = File(kExplicit).ExplicitHeader(0x7FE00010, "OB", 0xFFFFFFFF).Raw("ABCD").ItemEnd();
  for (ByteBuilder* pixels : {&native, &fragments.Item(2).Raw("BB").SequenceEnd(), &defined, &undefinedNative}) {
    pixels->Explicit(0x7FE10010, "LO", "PRIVATE ").Explicit(0xFFFCFFFC, "OB", std::string(4, '\0'));
    cases.push_back({"skipped Pixel Data", *pixels, 0xFFFCFFFC, vr::OB, 4, "", "", false, true});
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult read = ReadFromBytes(c.bytes.bytes, c.skipPixelData);
    ASSERT_TRUE(Succeeded(read.status));
    EXPECT_EQ(read.AllWarnings(), c.warning.empty() ? "" : c.warning + "\n");
    const CDicomElement* element = read.object.Elements().Find(c.tag);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->GetVR(), c.vr);
    const auto* sequence = dynamic_cast<const CDicomSequence*>(element);
    EXPECT_EQ(sequence ? sequence->GetItemCount() : element->GetLength(), c.size);
    if (!c.value.empty()) {
      ASSERT_TRUE(element->HasValue());
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(element->GetValue()), element->GetLength()), c.value);
    }
    if (c.skipPixelData) {
      EXPECT_FALSE(read.object.Elements().Find(tags::kPixelData)->HasValue());
      continue;
    }
    const std::vector<uint8_t> written = WriteToBytes(read.object);
    EXPECT_EQ(c.sameBytes ? c.bytes.bytes : written, written);
    const ReadResult back = ReadFromBytes(written);
    EXPECT_TRUE(Succeeded(back.status));
    EXPECT_EQ(back.AllWarnings(), "");
  }
}

// Untrusted input fails, skipping the pixel data or not, naming the offset;
// lengths beyond the stream fail before anything is allocated for them.
TEST(DataSetReader, DamagedInputFailsNamingTheOffset) {
  const auto fragments = [] { return File(kRle).ExplicitHeader(0x7FE00010, "OB", 0xFFFFFFFF).Item(0); };
  const auto sequence = [] { return File(kExplicit).ExplicitHeader(0x00081140, "SQ", 0xFFFFFFFF); };
  const std::pair<const char*, ByteBuilder> cases[] = {
      {"huge value", File(kExplicit).ExplicitHeader(0x00091010, "OB", 0xFFFFFFF0).Raw("abcd")},
      {"huge sequence", File(kExplicit).ExplicitHeader(0x00081140, "SQ", 0x7FFFFFF0).Item(8).Raw("abcd")},
      {"huge item", sequence().Item(0x7FFFFFF0).Raw("abcd")},
      {"huge meta value", File(kExplicit).ExplicitHeader(0x00020099, "OB", 0x7FFFFFF0)},
      {"huge implicit value", File(kImplicit).ImplicitHeader(0x00100010, 0x40000000).Raw("DOE")},
      {"undefined length, no delimiter", File(kExplicit).ExplicitHeader(0x00091010, "OB", 0xFFFFFFFF).Raw("abc, xyz")},
      {"item delimiter at top level", File(kExplicit).Explicit(0x00100010, "PN", "DOE^JOHN").ItemEnd()},
      {"item at top level", File(kExplicit).Item(4).Raw("abcd")},
      {"element where an item should be", sequence().Explicit(0x00100010, "PN", "DOE^JOHN")},
      {"element longer than its item", sequence().Item(4).Explicit(0x00100010, "PN", "DOE^JOHN").SequenceEnd()},
      {"meta element in the data set", File(kExplicit).Explicit(0x00100010, "PN", "").Explicit(0x00020003, "UI", "1")},
      {"truncated header", File(kExplicit).Explicit(0x00100010, "PN", "DOE").Raw("\x10\x00\x20"s)},
      {"fragments without sequence delimitation", fragments().Item(4).Raw("AAAA")},
      {"fragment cut short", fragments().Item(4).Raw("AA")},
      {"fragment item header cut short", fragments().Item(4).Raw("AAAA").Raw("\xFE\xFF"s)},
      {"element among the fragments", fragments().Item(4).Raw("AAAA").Explicit(0x00100010, "PN", "DOE").SequenceEnd()},
      {"fragment of undefined length", fragments().Item(0xFFFFFFFF).Raw("AAAA").SequenceEnd()},
      {"fragment past the defined length", File(kRle).ExplicitHeader(0x7FE00010, "OB", 18).Item(0).Item(4).Raw("AAAA")},
      {"native pixels without delimitation", File(kExplicit).ExplicitHeader(0x7FE00010, "OB", 0xFFFFFFFF).Raw("xyz")},
      {"native pixels cut short", File(kExplicit).ExplicitHeader(0x7FE00010, "OW", 64).Raw(std::string(16, 'x'))},
  };
  for (const auto& [name, bytes] : cases) {
    for (const bool skip : {false, true}) {
      const ReadResult read = ReadFromBytes(bytes.bytes, skip);
      EXPECT_EQ(read.status.GetError().Code(), ErrorCode::Malformed) << name << " skip=" << skip;
      EXPECT_NE(read.status.Message().find("at offset"), std::string::npos) << name << ": " << read.status.Message();
    }
  }
}

TEST(DataSetReader, NestingDeeperThanTheLimitIsRefusedWithoutOverflowingTheStack) {
  auto nested = [](int depth) {
    ByteBuilder b = File(kExplicit);
    for (int i = 0; i < depth; ++i) b.ExplicitHeader(0x00081140, "SQ", 0xFFFFFFFF).Item();
    for (int i = 0; i < depth; ++i) b.ItemEnd().SequenceEnd();
    return b.bytes;
  };
  EXPECT_TRUE(Succeeded(ReadFromBytes(nested(CReadContext::kMaxNestingDepth)).status));
  EXPECT_NE(ReadFromBytes(nested(CReadContext::kMaxNestingDepth + 1)).status.Message().find("nested deeper"),
            std::string::npos);
  EXPECT_FALSE(ReadFromBytes(nested(100000)).status);
}

// Sorted once at the end, not on every insert: 59,000 elements in reverse
// order read in well under a second. Of a tag given twice the later wins.
TEST(DataSetReader, ReversedOrderIsSortedNotQuadraticAndLaterDuplicatesWin) {
  ByteBuilder b = File(kExplicit).Explicit(0x00110010, "SH", "FIRST").Explicit(0x00110010, "SH", "SECOND");
  for (uint16_t element = 60000; element >= 1000; --element) b.Explicit(MakeTag(0x0011, element), "SH", "ab");
  const ReadResult read = ReadFromBytes(b.Explicit(0x00110010, "SH", "THIRD").bytes);
  ASSERT_TRUE(Succeeded(read.status));
  TagArray tags;
  EXPECT_EQ(read.object.GetSortedTags(tags), 4u + 59001 + 1);
  EXPECT_TRUE(std::is_sorted(tags.begin(), tags.end()));
  std::string kept;
  EXPECT_EQ(read.object.GetString(0x00110010, kept), DicomStatus::Success);
  EXPECT_EQ(kept, "THIRD");
}

}  // namespace
