#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomPixelData.h"
#include "dicom/DicomSequence.h"
#include "base/MemoryStream.h"
#include "dicom/DicomFileReader.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/ValueRepresentation.h"
#include "support/ByteBuilder.h"
#include "support/DicomFiles.h"

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::ByteBuilder;

namespace {

const char* kImplicit = "1.2.840.10008.1.2";
const char* kExplicit = "1.2.840.10008.1.2.1";
const char* kBigEndian = "1.2.840.10008.1.2.2";

/// Reads a whole file from `b` into `object`; `warnings` (if given) gets
/// what the read worked around.
Status Read(const ByteBuilder& b, CDicomObject& object, bool skipPixelData = false,
            std::vector<std::string>* warnings = nullptr) {
  CMemoryStream stream(b.bytes);
  CDicomFileReader reader(stream, {.skipPixelData = skipPixelData});
  Status read = reader.ReadFile(object);
  if (warnings != nullptr) *warnings = reader.Warnings();
  return read;
}

std::string StringOf(const CDicomObject& object, DicomTag tag) {
  std::string value;
  EXPECT_EQ(object.GetString(tag, value), DicomStatus::Success) << std::hex << tag;
  return value;
}

TEST(DataSetReaderPrefix, RequiresPreambleAndDicm) {
  ByteBuilder b;
  b.Meta(kExplicit).Explicit(0x00100010, "PN", "DOE^JOHN");
  b.bytes[129] = 'X';  // "DXCM"
  CDicomObject object;
  const Status read = Read(b, object);
  EXPECT_FALSE(read);
  EXPECT_NE(read.Message().find("DICM"), std::string::npos);

  ByteBuilder tiny;
  tiny.Raw("DICM");
  EXPECT_FALSE(Read(tiny, object));
  ByteBuilder empty;
  EXPECT_FALSE(Read(empty, object));
}

TEST(DataSetReaderPrefix, MetaGroupChoosesTheTransferMode) {
  ByteBuilder noSyntax;
  noSyntax.bytes.insert(noSyntax.bytes.end(), 128, 0);
  noSyntax.Raw("DICM").Explicit(0x00020002, "UI", "1.2.3.4").Explicit(0x00100010, "PN", "DOE^JOHN");
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(noSyntax, object)));
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
  EXPECT_EQ(object.GetSopClassUid(), "1.2.3.4");
  EXPECT_EQ(StringOf(object, 0x00100010), "DOE^JOHN");

  ByteBuilder implicit;
  implicit.Meta(kImplicit).Implicit(0x00100010, "DOE^JOHN").Implicit(0x00280010, std::string("\0\2", 2));
  ASSERT_TRUE(test::Succeeded(Read(implicit, object)));
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ImplicitLittleEndian);
  uint16_t rows = 0;
  EXPECT_EQ(object.GetUInt16(0x00280010, rows), DicomStatus::Success);
  EXPECT_EQ(rows, 512);
  CDicomElement* element = nullptr;
  ASSERT_EQ(object.GetElement(0x00100010, &element), DicomStatus::Success);
  EXPECT_EQ(element->GetVR(), vr::PN);  // VR from the dictionary

  // A file of meta information only is a valid, empty data set.
  ByteBuilder metaOnly;
  metaOnly.Meta(kExplicit);
  ASSERT_TRUE(test::Succeeded(Read(metaOnly, object)));
  EXPECT_EQ(object.ElementCount(), 4u);
}

TEST(DataSetReaderPrefix, BigEndianValuesAreSwappedButNotTheMetaGroup) {
  ByteBuilder b(true);
  b.Meta(kBigEndian).Explicit(0x00280010, "US", std::string("\0\1", 2)).Explicit(0x00100010, "PN", "DOE^JOHN");
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(b, object)));
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ExplicitBigEndian);
  uint16_t rows = 0;
  EXPECT_EQ(object.GetUInt16(0x00280010, rows), DicomStatus::Success);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(StringOf(object, 0x00100010), "DOE^JOHN");
  EXPECT_EQ(StringOf(object, 0x00020010), kBigEndian);
}

TEST(DataSetReaderPrefix, BigEndianAtValuesAreSwappedWordByWord) {
  // (0020,9165) Dimension Index Pointer naming (0010,0020): group, then
  // element, each a 16-bit word in the stream's byte order.
  ByteBuilder b(true);
  b.Meta(kBigEndian).Explicit(0x00209165, "AT", std::string("\x00\x10\x00\x20\x00\x28\x00\x10", 8));
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(b, object)));
  const uint8_t* value = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(object.GetValue(0x00209165, length, &value), DicomStatus::Success);
  ASSERT_EQ(length, 8u);
  // Held as a little-endian file holds it: 10 00 20 00, not 20 00 10 00.
  EXPECT_EQ(std::vector<uint8_t>(value, value + 8), (std::vector<uint8_t>{0x10, 0, 0x20, 0, 0x28, 0, 0x10, 0}));
}

TEST(DataSetReaderImplicit, DictionarySequenceWithoutItemsIsPlainBytes) {
  ByteBuilder b;
  b.Meta(kImplicit).ImplicitHeader(0x00081140, 0).Implicit(0x00100010, "DOE^JOHN");
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(b, object)));
  CDicomElement* element = nullptr;
  ASSERT_EQ(object.GetElement(0x00081140, &element), DicomStatus::Success);
  EXPECT_EQ(element->GetVR(), vr::kUnknown);
  EXPECT_EQ(element->GetLength(), 0u);
  EXPECT_EQ(StringOf(object, 0x00100010), "DOE^JOHN");
}

TEST(DataSetReaderImplicit, PrivateUndefinedLengthWithItemsIsASequence) {
  ByteBuilder b;
  b.Meta(kImplicit).ImplicitHeader(0x00091010, 0xFFFFFFFF);
  b.Item().Implicit(0x00100010, "DOE^JOHN").ItemEnd().SequenceEnd();
  b.Implicit(0x00100020, "ID42");
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(b, object)));
  CDicomSequence* sequence = nullptr;
  ASSERT_EQ(object.GetSequence(0x00091010, &sequence), DicomStatus::Success);
  ASSERT_EQ(sequence->GetItemCount(), 1u);
  EXPECT_EQ(StringOf(*sequence->GetItem(0), 0x00100010), "DOE^JOHN");
  EXPECT_EQ(StringOf(object, 0x00100020), "ID42");
}

// Sequences the dictionary does not call sequences: retired tags (VR 0 in
// the table), tags it does not know in even groups, and any element of
// undefined length whose value starts with an item. Each used to end the
// read at its sequence delimitation ("item tag outside of any sequence").
TEST(DataSetReaderImplicit, UnknownAndRetiredTagsWithItemsAreSequencesInAnyGroup) {
  struct Case {
    const char* name;
    DicomTag tag;
    uint32_t length;
  };
  const std::string inner = std::string("\x08\x00\x50\x11\x06\x00\x00\x00", 8) + std::string("1.2.3\0", 6);
  for (const Case& c : {Case{"retired, undefined length", 0x00081145, 0xFFFFFFFF},
                        Case{"unknown even tag", 0x00209999, 0xFFFFFFFF},
                        Case{"known non-sequence tag", 0x00101000, 0xFFFFFFFF},
                        Case{"retired, defined length", 0x00081145, 8 + 14}}) {
    ByteBuilder b;
    b.Meta(kImplicit).ImplicitHeader(c.tag, c.length);
    if (c.length == 0xFFFFFFFF) {
      b.Item().Raw(inner).ItemEnd().SequenceEnd();
    } else {
      b.Item(14).Raw(inner);
    }
    b.Implicit(0x00209998, "ABCD");  // after the sequence, so it is read in
    CDicomObject object;
    ASSERT_TRUE(test::Succeeded(Read(b, object))) << c.name;
    CDicomSequence* sequence = nullptr;
    ASSERT_EQ(object.GetSequence(c.tag, &sequence), DicomStatus::Success) << c.name;
    ASSERT_EQ(sequence->GetItemCount(), 1u) << c.name;
    EXPECT_EQ(StringOf(*sequence->GetItem(0), 0x00081150), "1.2.3") << c.name;
    EXPECT_TRUE(object.Contains(0x00209998)) << c.name;
  }
  // Pixel Data of undefined length is encapsulated pixel data, never a
  // sequence of data sets.
  ByteBuilder pixels;
  pixels.Meta(kImplicit).ImplicitHeader(0x7FE00010, 0xFFFFFFFF).Item(0).Item(4).Raw("abcd").SequenceEnd();
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(pixels, object)));
  CDicomSequence* sequence = nullptr;
  EXPECT_EQ(object.GetSequence(0x7FE00010, &sequence), DicomStatus::WrongKind);
}

TEST(DataSetReaderImplicit, ContextDependentTagFollowsTheSopClass) {
  for (const auto& [sopClass, expectSequence] :
       {std::pair{"1.2.840.10008.5.1.4.1.1.88.3", true}, std::pair{"1.2.840.10008.5.1.4.1.1.88.22", false}}) {
    ByteBuilder b;
    b.Meta(kImplicit, sopClass);
    if (expectSequence) {
      b.ImplicitHeader(0x0040A124, 0xFFFFFFFF).Item().Implicit(0x00100010, "X^Y ").ItemEnd().SequenceEnd();
    } else {
      b.Implicit(0x0040A124, "1.2.3.4.");
    }
    CDicomObject object;
    ASSERT_TRUE(test::Succeeded(Read(b, object)));
    CDicomElement* element = nullptr;
    ASSERT_EQ(object.GetElement(0x0040A124, &element), DicomStatus::Success);
    EXPECT_EQ(element->GetVR(), expectSequence ? vr::SQ : vr::UI) << sopClass;
  }
}

TEST(DataSetReaderSequences, DelimitersAndDefinedLengthsEndSequencesAndItems) {
  ByteBuilder b;
  b.Meta(kExplicit);
  // Undefined-length sequence with an undefined-length item.
  b.ExplicitHeader(0x00081140, "SQ", 0xFFFFFFFF).Item().Explicit(0x00081150, "UI", "1.2.3.4.").ItemEnd();
  b.SequenceEnd();
  // Defined-length sequence holding a defined-length item, no delimiters.
  const std::string element = "1.2.3.4.";  // 8-byte header + 8 bytes
  b.ExplicitHeader(0x00081199, "SQ", 8 + 16).Item(16).Explicit(0x00081150, "UI", element);
  b.Explicit(0x00100010, "PN", "DOE^JOHN");
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(b, object)));
  CDicomSequence* first = nullptr;
  CDicomSequence* second = nullptr;
  ASSERT_EQ(object.GetSequence(0x00081140, &first), DicomStatus::Success);
  ASSERT_EQ(object.GetSequence(0x00081199, &second), DicomStatus::Success);
  EXPECT_TRUE(first->IsUndefinedLength());
  EXPECT_TRUE(first->GetItem(0)->IsUndefinedLength());
  EXPECT_FALSE(second->IsUndefinedLength());
  ASSERT_EQ(second->GetItemCount(), 1u);
  EXPECT_FALSE(second->GetItem(0)->IsUndefinedLength());
  EXPECT_EQ(second->GetItem(0)->GetItemLength(), 16u);
  EXPECT_EQ(second->GetItem(0)->GetItemTag(), 0xE000FFFEu);
  EXPECT_EQ(StringOf(*second->GetItem(0), 0x00081150), "1.2.3.4.");
  EXPECT_EQ(StringOf(object, 0x00100010), "DOE^JOHN");
}

TEST(DataSetReaderSequences, UnknownUndefinedLengthIsReadAsAnImplicitSequence) {
  ByteBuilder b;
  b.Meta(kExplicit).ExplicitHeader(0x00091010, "UN", 0xFFFFFFFF);
  b.Item().Implicit(0x00100010, "DOE^JOHN").ItemEnd().SequenceEnd();
  b.Explicit(0x00100020, "LO", "ID42");
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(b, object)));
  CDicomSequence* sequence = nullptr;
  ASSERT_EQ(object.GetSequence(0x00091010, &sequence), DicomStatus::Success);
  EXPECT_EQ(sequence->GetVR(), vr::SQ);
  ASSERT_EQ(sequence->GetItemCount(), 1u);
  EXPECT_EQ(StringOf(*sequence->GetItem(0), 0x00100010), "DOE^JOHN");
  EXPECT_EQ(StringOf(object, 0x00100020), "ID42");
}

TEST(DataSetReaderValues, UndefinedLengthValueEndsAtItsDelimiter) {
  ByteBuilder b;
  b.Meta(kExplicit).ExplicitHeader(0x00091011, "OB", 0xFFFFFFFF).Raw("abcdef").ItemEnd();
  b.Explicit(0x00100010, "PN", "DOE^JOHN");
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(b, object)));
  CDicomElement* element = nullptr;
  ASSERT_EQ(object.GetElement(0x00091011, &element), DicomStatus::Success);
  EXPECT_TRUE(element->IsUndefinedLength());
  EXPECT_EQ(element->GetLength(), 6u);
  EXPECT_EQ(StringOf(object, 0x00100010), "DOE^JOHN");  // the delimiter did not end the data set
}

TEST(DataSetReaderValues, LaterDuplicateWinsAndOddLengthsAreKept) {
  ByteBuilder b;
  b.Meta(kExplicit).Explicit(0x00100010, "PN", "FIRST").Explicit(0x00100020, "LO", "X")
      .Explicit(0x00100010, "PN", "SECOND");
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(b, object)));
  EXPECT_EQ(StringOf(object, 0x00100010), "SECOND");
  CDicomElement* element = nullptr;
  ASSERT_EQ(object.GetElement(0x00100020, &element), DicomStatus::Success);
  EXPECT_EQ(element->GetLength(), 1u);  // read as stored, not padded
}

// Skipping the pixel data once stopped the read at its header, so every
// element after it (private groups, trailing padding) was lost to whoever
// wrote the object again.
TEST(DataSetReaderPixelData, SkippingStepsOverTheValueAndReadsWhatFollows) {
  const std::string padding(4, '\0');
  ByteBuilder native;
  native.Meta(kExplicit).Explicit(0x00280010, "US", std::string("\2\0", 2));
  const uint64_t nativeValue = native.Size() + 12;
  native.Explicit(0x7FE00010, "OW", std::string(8, '\x11')).Explicit(0x7FE10010, "LO", "PRIVATE ")
      .Explicit(0xFFFCFFFC, "OB", padding);

  ByteBuilder encapsulated;  // undefined length: items up to the delimiter
  encapsulated.Meta("1.2.840.10008.1.2.5").ExplicitHeader(0x7FE00010, "OB", 0xFFFFFFFF);
  const uint64_t fragmentsStart = encapsulated.Size();
  encapsulated.Item(0).Item(4).Raw("AAAA").Item(2).Raw("BB").SequenceEnd();
  encapsulated.Explicit(0x7FE10010, "LO", "PRIVATE ").Explicit(0xFFFCFFFC, "OB", padding);

  ByteBuilder defined;  // defined length: items up to the length, no delimiter
  defined.Meta("1.2.840.10008.1.2.5").ExplicitHeader(0x7FE00010, "OB", 8 + 8 + 4);
  defined.Item(0).Item(4).Raw("AAAA").Explicit(0xFFFCFFFC, "OB", padding);

  ByteBuilder undefinedNative;  // framed as any undefined-length value
  undefinedNative.Meta(kExplicit).ExplicitHeader(0x7FE00010, "OB", 0xFFFFFFFF).Raw("ABCD").ItemEnd();
  undefinedNative.Explicit(0xFFFCFFFC, "OB", padding);

  for (const auto& [name, bytes] : {std::pair{"native", native}, std::pair{"encapsulated", encapsulated},
                                    std::pair{"defined encapsulated", defined},
                                    std::pair{"undefined native", undefinedNative}}) {
    SCOPED_TRACE(name);
    CDicomObject skipped;
    ASSERT_TRUE(test::Succeeded(Read(bytes, skipped, true)));
    EXPECT_TRUE(skipped.Contains(0xFFFCFFFC));
    CDicomElement* element = nullptr;
    ASSERT_EQ(skipped.GetElement(0x7FE00010, &element), DicomStatus::Success);
    auto* pixels = dynamic_cast<CDicomPixelData*>(element);
    ASSERT_NE(pixels, nullptr);
    EXPECT_FALSE(pixels->IsLoaded());
    EXPECT_FALSE(pixels->HasValue());

    CDicomObject full;
    ASSERT_TRUE(test::Succeeded(Read(bytes, full, false)));
    EXPECT_EQ(full.ElementCount(), skipped.ElementCount());
  }

  CDicomObject object;
  ASSERT_TRUE(Read(native, object, true));
  EXPECT_EQ(StringOf(object, 0x7FE10010), "PRIVATE");
  CDicomElement* element = nullptr;
  ASSERT_EQ(object.GetElement(0x7FE00010, &element), DicomStatus::Success);
  EXPECT_EQ(static_cast<CDicomPixelData*>(element)->GetValuePosition(), nativeValue);
  EXPECT_EQ(element->GetLength(), 8u);

  // The walk remembers where each fragment item starts (and where the
  // items end), so frames are found without walking again.
  ASSERT_TRUE(Read(encapsulated, object, true));
  EXPECT_EQ(StringOf(object, 0x7FE10010), "PRIVATE");
  ASSERT_EQ(object.GetElement(0x7FE00010, &element), DicomStatus::Success);
  auto* fragments = dynamic_cast<CDicomEncapsulatedPixelData*>(element);
  ASSERT_NE(fragments, nullptr);
  EXPECT_EQ(fragments->GetKnownItemPositions(),
            (std::vector<uint64_t>{fragmentsStart, fragmentsStart + 8, fragmentsStart + 20, fragmentsStart + 30}));
  CMemoryStream stream(encapsulated.bytes);
  uint8_t frame[4] = {};
  uint64_t length = 0;
  ASSERT_TRUE(fragments->ReadFrame(&stream, 1, frame, sizeof frame, 0, length));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(frame), length), "BB");
  EXPECT_FALSE(fragments->ReadFrame(&stream, 2, frame, sizeof frame, 0, length));
}

// Stepped over or read, a damaged pixel value is an error that says where,
// never a hang or a silently shortened object.
TEST(DataSetReaderPixelData, DamagedValuesFailWhetherSkippedOrRead) {
  const auto encapsulated = [] {
    ByteBuilder b;
    b.Meta("1.2.840.10008.1.2.5").ExplicitHeader(0x7FE00010, "OB", 0xFFFFFFFF).Item(0);
    return b;
  };
  std::vector<std::pair<const char*, ByteBuilder>> cases;
  {
    ByteBuilder b = encapsulated();
    b.Item(4).Raw("AAAA");
    cases.emplace_back("no sequence delimitation", b);
  }
  {
    ByteBuilder b = encapsulated();
    b.Item(4).Raw("AA");
    cases.emplace_back("fragment cut short", b);
  }
  {
    ByteBuilder b = encapsulated();
    b.Item(4).Raw("AAAA").Raw(std::string("\xFE\xFF", 2));
    cases.emplace_back("item header cut short", b);
  }
  {
    ByteBuilder b = encapsulated();
    b.Item(4).Raw("AAAA").Explicit(0x00100010, "PN", "DOE^JOHN").SequenceEnd();
    cases.emplace_back("element among the fragments", b);
  }
  {
    ByteBuilder b = encapsulated();
    b.Item(0xFFFFFFFF).Raw("AAAA").SequenceEnd();
    cases.emplace_back("fragment of undefined length", b);
  }
  {
    ByteBuilder b;
    b.Meta("1.2.840.10008.1.2.5").ExplicitHeader(0x7FE00010, "OB", 8 + 8 + 2).Item(0).Item(4).Raw("AAAA");
    cases.emplace_back("fragment past the defined length", b);
  }
  {
    ByteBuilder b;
    b.Meta(kExplicit).ExplicitHeader(0x7FE00010, "OB", 0xFFFFFFFF).Raw(std::string(100, 'x'));
    cases.emplace_back("undefined native value without delimitation", b);
  }
  {
    ByteBuilder b;
    b.Meta(kExplicit).ExplicitHeader(0x7FE00010, "OW", 64).Raw(std::string(16, 'x'));
    cases.emplace_back("native value cut short", b);
  }
  for (auto& [name, bytes] : cases) {
    for (const bool skip : {true, false}) {
      CDicomObject object;
      const Status read = Read(bytes, object, skip);
      EXPECT_FALSE(read) << name << (skip ? " (skipped)" : " (read)");
      EXPECT_NE(read.Message().find("offset"), std::string::npos)
          << name << (skip ? " (skipped)" : " (read)") << ": " << read.Message();
    }
  }
}

TEST(DataSetReaderEnd, StreamEndingAfterTheLastElementOrOneStrayByteIsSuccess) {
  ByteBuilder b;
  b.Meta(kExplicit).Explicit(0x00100010, "PN", "DOE^JOHN");
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(b, object)));
  EXPECT_EQ(StringOf(object, 0x00100010), "DOE^JOHN");

  b.Byte(0);
  EXPECT_TRUE(test::Succeeded(Read(b, object)));
}

// The command group (0000,xxxx), (0000,0000) included, is legal in a data
// set; peers read it. It used to fail the read at (0000,0000).
TEST(DataSetReaderValues, CommandGroupElementsAreReadKeptAndWrittenBackIdentically) {
  for (const char* syntax : {kImplicit, kExplicit, kBigEndian}) {
    const bool big = std::string(syntax) == kBigEndian;
    const bool implicit = std::string(syntax) == kImplicit;
    ByteBuilder b(big);
    b.Meta(syntax);
    const std::string groupLength = big ? std::string("\0\0\0\x0a", 4) : std::string("\x0a\0\0\0", 4);
    const std::string command = big ? std::string("\0\1", 2) : std::string("\1\0", 2);
    if (implicit) {
      b.Implicit(0x00000000, groupLength).Implicit(0x00000100, command).Implicit(0x00100010, "DOE^JOHN");
    } else {
      b.Explicit(0x00000000, "UL", groupLength).Explicit(0x00000100, "US", command);
      b.Explicit(0x00100010, "PN", "DOE^JOHN");
    }
    CDicomObject object;
    ASSERT_TRUE(test::Succeeded(Read(b, object))) << syntax;
    uint16_t field = 0;
    EXPECT_EQ(object.GetUInt16(0x00000100, field), DicomStatus::Success) << syntax;
    EXPECT_EQ(field, 1) << syntax;
    ASSERT_TRUE(object.Contains(0x00000000)) << syntax;
    EXPECT_EQ(test::WriteToBytes(object), b.bytes) << syntax;
  }
}

// Lenience that real archives need: each file reads, with a warning that
// says what was worked around.
TEST(DataSetReaderLenience, VrBytesThatAreNoVrAreReadAsUnknownWithAWarning) {
  for (const std::string& vrBytes : {std::string("\0\0", 2), std::string("  "), std::string("lo")}) {
    ByteBuilder b;
    b.Meta(kExplicit).Explicit(0x00080060, "CS", "OT");
    const std::string where = "(0009,1001) at offset " + std::to_string(b.Size()) + ": the VR bytes ";
    b.Tag(0x00091001).Raw(vrBytes).U16(4).Raw("abcd");
    b.Explicit(0x00100010, "PN", "DOE^JOHN");
    CDicomObject object;
    std::vector<std::string> warnings;
    ASSERT_TRUE(test::Succeeded(Read(b, object, false, &warnings)));
    CDicomElement* element = nullptr;
    ASSERT_EQ(object.GetElement(0x00091001, &element), DicomStatus::Success);
    EXPECT_EQ(element->GetVR(), vr::kUnknown);
    EXPECT_EQ(element->GetLength(), 4u);
    EXPECT_EQ(StringOf(object, 0x00100010), "DOE^JOHN");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind(where, 0), 0u) << warnings[0];
  }
}

TEST(DataSetReaderLenience, ZeroPaddingAtTheEndIsLeftOutWithAWarning) {
  for (const char* syntax : {kImplicit, kExplicit}) {
    ByteBuilder b;
    b.Meta(syntax);
    if (std::string(syntax) == kImplicit) {
      b.Implicit(0x00100010, "DOE^JOHN");
    } else {
      b.Explicit(0x00100010, "PN", "DOE^JOHN");
    }
    const size_t end = b.Size();
    b.bytes.resize(end + 100, 0);
    CDicomObject object;
    std::vector<std::string> warnings;
    ASSERT_TRUE(test::Succeeded(Read(b, object, false, &warnings))) << syntax;
    EXPECT_FALSE(object.Contains(0x00000000)) << syntax;
    EXPECT_EQ(StringOf(object, 0x00100010), "DOE^JOHN");
    ASSERT_EQ(warnings.size(), 1u) << syntax;
    EXPECT_NE(warnings[0].find("ends with 100 zero bytes"), std::string::npos);

    // Eight zeros followed by more elements: an empty (0000,0000), which
    // says nothing and is left out too (kept, it could not be told from
    // padding once saved in implicit VR).
    b.bytes.resize(end);
    b.Raw(std::string(8, '\0'));
    if (std::string(syntax) == kImplicit) {
      b.Implicit(0x00100020, "ID");
    } else {
      b.Explicit(0x00100020, "LO", "ID");
    }
    ASSERT_TRUE(test::Succeeded(Read(b, object, false, &warnings))) << syntax;
    EXPECT_FALSE(object.Contains(0x00000000)) << syntax;
    EXPECT_EQ(StringOf(object, 0x00100020), "ID");
    ASSERT_EQ(warnings.size(), 1u) << syntax;
    EXPECT_EQ(warnings[0], "(0000,0000) at offset " + std::to_string(end) +
                                               ": an empty (0000,0000) was left out");
  }
}

TEST(DataSetReaderLenience, ImplicitVrMetaGroupIsRead) {
  ByteBuilder b;
  b.bytes.insert(b.bytes.end(), 128, 0);
  const std::string syntax = std::string(kExplicit) + '\0';
  b.Raw("DICM").Implicit(0x00020000, std::string("\x1c\0\0\0", 4)).Implicit(0x00020010, syntax);
  b.Explicit(0x00100010, "PN", "DOE^JOHN");
  CDicomObject object;
  std::vector<std::string> warnings;
  ASSERT_TRUE(test::Succeeded(Read(b, object, false, &warnings)));
  EXPECT_EQ(StringOf(object, 0x00020010), kExplicit);
  EXPECT_EQ(StringOf(object, 0x00100010), "DOE^JOHN");
  CDicomElement* element = nullptr;
  ASSERT_EQ(object.GetElement(0x00020010, &element), DicomStatus::Success);
  EXPECT_EQ(element->GetVR(), vr::UI);  // from the dictionary
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("implicit VR"), std::string::npos);
}

TEST(DataSetReaderLenience, ABareDataSetWithoutPreambleStaysAnErrorThatSaysSo) {
  ByteBuilder b;
  b.Explicit(0x00020010, "UI", std::string(kExplicit) + '\0').Explicit(0x00080060, "CS", "OT");
  b.bytes.resize(200, 0);
  CDicomObject object;
  EXPECT_EQ(Read(b, object).Message(),
            "not a DICOM file: no \"DICM\" after the 128-byte preamble; it starts with element (0002,0010), "
            "like a data set saved without the media file header, which is not read");
}

// Untrusted input: each case fails cleanly with a reason naming the place.
TEST(DataSetReaderBadInput, LengthsBeyondTheStreamFailBeforeAllocating) {
  struct Case {
    const char* name;
    ByteBuilder bytes;
  };
  std::vector<Case> cases;
  {
    ByteBuilder b;
    b.Meta(kExplicit).ExplicitHeader(0x00091010, "OB", 0xFFFFFFF0).Raw("abcd");
    cases.push_back({"huge value", b});
  }
  {
    ByteBuilder b;
    b.Meta(kExplicit).ExplicitHeader(0x00081140, "SQ", 0x7FFFFFF0).Item(8).Raw("abcd");
    cases.push_back({"huge sequence", b});
  }
  {
    ByteBuilder b;
    b.Meta(kExplicit).ExplicitHeader(0x00081140, "SQ", 0xFFFFFFFF).Item(0x7FFFFFF0).Raw("abcd");
    cases.push_back({"huge item", b});
  }
  {
    ByteBuilder b;
    b.Meta(kExplicit).ExplicitHeader(0x00020099, "OB", 0x7FFFFFF0);
    cases.push_back({"huge meta value", b});
  }
  {
    ByteBuilder b;
    b.Meta(kImplicit).ImplicitHeader(0x00100010, 0x40000000).Raw("DOE");
    cases.push_back({"huge implicit value", b});
  }
  for (const Case& c : cases) {
    CDicomObject object;
    const Status read = Read(c.bytes, object);
    EXPECT_FALSE(read) << c.name;
    EXPECT_EQ(read.GetError().Code(), ErrorCode::Malformed) << c.name;
  }
}

TEST(DataSetReaderBadInput, MalformedStructureFails) {
  std::vector<std::pair<const char*, ByteBuilder>> cases;
  {
    ByteBuilder b;
    b.Meta(kExplicit).ExplicitHeader(0x00091010, "OB", 0xFFFFFFFF).Raw("no delimiter anywhere");
    cases.emplace_back("undefined value without delimiter", b);
  }
  {
    ByteBuilder b;
    b.Meta(kExplicit).Explicit(0x00100010, "PN", "DOE^JOHN").ItemEnd().Explicit(0x00100020, "LO", "ID");
    cases.emplace_back("item delimiter at top level", b);
  }
  {
    ByteBuilder b;
    b.Meta(kExplicit).Item(4).Raw("abcd");
    cases.emplace_back("item at top level", b);
  }
  {
    ByteBuilder b;
    b.Meta(kExplicit).ExplicitHeader(0x00081140, "SQ", 0xFFFFFFFF).Explicit(0x00100010, "PN", "DOE^JOHN");
    cases.emplace_back("element where an item should be", b);
  }
  {
    ByteBuilder b;
    b.Meta(kExplicit).ExplicitHeader(0x00081140, "SQ", 0xFFFFFFFF).Item(4).Explicit(0x00100010, "PN", "DOE^JOHN");
    b.SequenceEnd();
    cases.emplace_back("element longer than its item", b);
  }
  {
    ByteBuilder b;
    b.Meta(kExplicit).Explicit(0x00100010, "PN", "DOE^JOHN").Raw(std::string("\x10\x00\x20", 3));
    cases.emplace_back("truncated header", b);
  }
  {
    ByteBuilder b;
    b.Meta(kExplicit).ExplicitHeader(0x00100010, "PN", 8).Raw("DOE");
    cases.emplace_back("truncated value", b);
  }
  for (auto& [name, bytes] : cases) {
    CDicomObject object;
    const Status read = Read(bytes, object);
    EXPECT_FALSE(read) << name;
    EXPECT_NE(read.Message().find("offset"), std::string::npos) << name << ": " << read.Message();
  }
}

TEST(DataSetReaderBadInput, DeepNestingIsRefused) {
  auto nested = [](int depth) {
    ByteBuilder b;
    b.Meta(kExplicit);
    for (int i = 0; i < depth; ++i) b.ExplicitHeader(0x00081140, "SQ", 0xFFFFFFFF).Item();
    for (int i = 0; i < depth; ++i) b.ItemEnd().SequenceEnd();
    return b;
  };
  CDicomObject object;
  EXPECT_TRUE(test::Succeeded(Read(nested(CReadContext::kMaxNestingDepth), object)));
  EXPECT_NE(Read(nested(CReadContext::kMaxNestingDepth + 1), object).Message().find("nested deeper"),
            std::string::npos);
  EXPECT_FALSE(Read(nested(100000), object));  // no stack overflow
}

TEST(DataSetReaderBadInput, ReversedElementOrderIsSortedNotQuadratic) {
  ByteBuilder b;
  b.Meta(kExplicit);
  for (uint16_t element = 60000; element >= 1000; --element) b.Explicit(MakeTag(0x0011, element), "SH", "ab");
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(Read(b, object)));
  TagArray tags;
  object.GetSortedTags(tags);
  EXPECT_EQ(tags.size(), 59001u + 4);
  EXPECT_TRUE(std::is_sorted(tags.begin(), tags.end()));
}

}  // namespace
