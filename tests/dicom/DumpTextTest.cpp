// The text dump of elements, sequences and data objects. Every expectation
// is a whole line (or a whole dump) to the byte: the dump is compared with
// reference dumps, so a padding, CR LF or trailing space slip is a failure.
#include "dicom/DumpText.h"
#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"

#include "support/DicomFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

using namespace quillon;

namespace {

// The item tag word a reader stores for a sequence delimitation item.
constexpr uint32_t kSequenceDelimitationWord = 0xE0DDFFFE;

// A tag that is not in the name table.
constexpr DicomTag kPrivateTag = 0x00091001;

std::string Dump(const CDicomElement& element, int level = 0) {
  std::string out;
  EXPECT_EQ(element.DumpText(out, level), DicomStatus::Success);
  return out;
}

std::string Dump(const CDicomObject& object, int level = 0) {
  std::string out;
  EXPECT_EQ(object.DumpText(out, level), DicomStatus::Success);
  return out;
}

// An element holding exactly `bytes`, with no even-length padding: values
// as a reader may hold them, including ones too short for their VR.
std::unique_ptr<CDicomElement> RawElement(DicomTag tag, DicomVR vr, const std::vector<uint8_t>& bytes) {
  auto element = std::make_unique<CDicomElement>();
  element->SetTag(tag);
  element->SetVR(vr);
  auto value = std::make_unique<uint8_t[]>(bytes.size());
  if (!bytes.empty()) std::memcpy(value.get(), bytes.data(), bytes.size());
  element->SetValue(std::move(value), static_cast<uint32_t>(bytes.size()));
  return element;
}

std::unique_ptr<CDicomElement> TextElement(DicomTag tag, DicomVR vr, const std::string& text) {
  return RawElement(tag, vr, std::vector<uint8_t>(text.begin(), text.end()));
}

template <typename T>
std::vector<uint8_t> BytesOf(std::initializer_list<T> values) {
  std::vector<uint8_t> bytes(values.size() * sizeof(T));
  std::memcpy(bytes.data(), std::data(values), bytes.size());  // the host is little endian
  return bytes;
}

// The whole line of an element under kPrivateTag, `length` bytes long, with
// `vrAndValue` (such as "US | 0x3 (3)") in the last two columns.
std::string PrivateLine(size_t length, const std::string& vrAndValue) {
  char head[32];
  std::snprintf(head, sizeof head, "0009 1001   %8zu", length);
  return std::string(head) + " | Unknown tag                              | " + vrAndValue + " \r\n";
}

// Elements under kPrivateTag holding `bytes` and how their line must end.
struct ValueCase {
  DicomVR vr;
  std::vector<uint8_t> bytes;
  std::string shown;
};

void ExpectShown(const std::vector<ValueCase>& cases) {
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(Dump(*RawElement(kPrivateTag, c.vr, c.bytes)), PrivateLine(c.bytes.size(), c.shown));
  }
}

std::unique_ptr<CSequenceItem> UndefinedItem() { return std::make_unique<CSequenceItem>(); }

std::unique_ptr<CSequenceItem> DefinedItem() {
  auto item = std::make_unique<CSequenceItem>();
  item->SetUndefinedLength(false);
  return item;
}

// ---- Element lines ----

TEST(DumpTextElement, PersonNameLine) {
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00100010, vr::PN, "Doe^John")));
  EXPECT_EQ(Dump(object),
            "0010 0010          8 | patient_name                             | PN | \"Doe^John\" \r\n");
}

TEST(DumpTextElement, AppendsIndentedFourSpacesPerLevelWithoutTouchingWhatIsThere) {
  CDicomElement element(0x00100010, vr::PN, "Doe^John", 8);
  std::string out = "earlier text\r\n";
  EXPECT_EQ(element.DumpText(out, 2), DicomStatus::Success);
  EXPECT_EQ(out,
            "earlier text\r\n"
            "        0010 0010          8 | patient_name                             | PN | \"Doe^John\" \r\n");
}

// Integers show their bits as unsigned hex and the same bits as a signed
// decimal; SS is sign-extended first.
TEST(DumpTextElement, IntegersShowTheFirstValueInHexAndSignedDecimal) {
  ExpectShown({
      {vr::US, BytesOf<uint16_t>({512}), "US | 0x200 (512)"},
      {vr::US, BytesOf<uint16_t>({0xFFFF}), "US | 0xffff (65535)"},
      {vr::US, BytesOf<uint16_t>({3, 4}), "US | 0x3 (3)"},
      {vr::SS, BytesOf<int16_t>({-1}), "SS | 0xffffffff (-1)"},
      {vr::SS, BytesOf<int16_t>({-32768}), "SS | 0xffff8000 (-32768)"},
      {vr::SS, BytesOf<int16_t>({32767}), "SS | 0x7fff (32767)"},
      {vr::UL, BytesOf<uint32_t>({0xFFFFFFFF}), "UL | 0xffffffff (-1)"},
      {vr::UL, BytesOf<uint32_t>({0x12345678}), "UL | 0x12345678 (305419896)"},
      {vr::SL, BytesOf<int32_t>({-5}), "SL | 0xfffffffb (-5)"},
      // (0018,1063) as stored: group then element, each little endian, so
      // the group lands in the low half.
      {vr::AT, {0x18, 0x00, 0x63, 0x10}, "AT | 0x10630018 (274923544)"},
  });
}

TEST(DumpTextElement, FloatingPointShowsTheFirstValueInGeneralFormat) {
  ExpectShown({
      {vr::FL, BytesOf<float>({0.333333333f}), "FL | 0.333333"},
      {vr::FL, BytesOf<float>({1.5f, 7.0f}), "FL | 1.5"},
      {vr::FD, BytesOf<double>({0.1}), "FD | 0.1"},
      {vr::FD, BytesOf<double>({1234567.0}), "FD | 1.23457e+06"},
      {vr::FD, BytesOf<double>({-2.5e-10}), "FD | -2.5e-10"},
      {vr::OF, BytesOf<float>({2.5f, 3.0f}), "OF | 2.5,..."},
  });
}

// A value shorter than one number of its VR (as a damaged file can give)
// shows no value text: reading the number would run past the buffer, which
// the sanitizers would catch here since the buffers are exactly that short.
TEST(DumpTextElement, ValueTooShortForItsVrShowsNoValueText) {
  ExpectShown({
      {vr::US, {0x01}, "US | "},
      {vr::SS, {0xFF}, "SS | "},
      {vr::UL, {1, 2}, "UL | "},
      {vr::SL, {1, 2, 3}, "SL | "},
      {vr::AT, {0x18, 0x00}, "AT | "},
      {vr::FL, {0, 0, 0xC0}, "FL | "},
      {vr::OF, {0, 0}, "OF | "},
      {vr::FD, {0, 0}, "FD | "},
      {vr::FD, BytesOf<float>({1.0f}), "FD | "},
  });
}

TEST(DumpTextElement, BinaryVrsShowBinaryDataAndOtherVrsNoValueText) {
  const std::vector<uint8_t> bytes = {'h', 't', 't', 'p', ':', '/', '/', 'x'};
  ExpectShown({
      {vr::OB, bytes, "OB | Binary Data"},
      {vr::OW, bytes, "OW | Binary Data"},
      {vr::UN, bytes, "UN | Binary Data"},
      {vr::SQ, bytes, "SQ | Binary Data"},  // a plain element typed SQ that holds raw bytes
      {vr::kUnknown, {0x12, 0x34}, "?? | Binary Data"},
      {vr::UR, bytes, "UR | "},
      {vr::UC, bytes, "UC | "},
      {vr::OD, bytes, "OD | "},
      {MakeVR('Q', 'X'), bytes, "QX | "},
  });
}

TEST(DumpTextElement, ElementWithoutValueShowsNoValueText) {
  EXPECT_EQ(Dump(CDicomElement(kPrivateTag, vr::kUnknown, nullptr, 0)), PrivateLine(0, "?? | "));
  EXPECT_EQ(Dump(CDicomElement(kPrivateTag, vr::DA, nullptr, 0)), PrivateLine(0, "DA | "));
}

TEST(DumpTextElement, EveryTextVrIsQuoted) {
  const DicomVR textVrs[] = {vr::AE, vr::AS, vr::CS, vr::DA, vr::DS, vr::DT, vr::IS, vr::LO,
                             vr::LT, vr::PN, vr::SH, vr::ST, vr::TM, vr::UI, vr::UT};
  for (const DicomVR code : textVrs) {
    const std::string letters = VrToString(code);
    EXPECT_EQ(Dump(*TextElement(kPrivateTag, code, "AB")), PrivateLine(2, letters + " | \"AB\"")) << letters;
  }
}

TEST(DumpTextElement, TextValueKeepsBackslashesAndDropsPadding) {
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00080008, vr::CS, "ORIGINAL\\PRIMARY ")));
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00080016, vr::UI, "1.2.840.10008.5.1.4.1.1.2")));
  EXPECT_EQ(Dump(object),
            "0008 0008         18 | image_type                               | CS | \"ORIGINAL\\PRIMARY\" \r\n"
            "0008 0016         26 | sop_class_uid                            | UI | \"1.2.840.10008.5.1.4.1.1.2\" \r\n");
}

// The dump shows text values exactly as GetString gives them.
TEST(DumpTextElement, TextValueMatchesGetString) {
  const std::string values[] = {
      "AB  ", "AB\t ", "A\\B ", std::string("1.2\0", 4), std::string("X\0YZ", 4),
      "  ",   " A",    "",      std::string("A \0 ", 4), "A\r\n ",
  };
  for (const std::string& value : values) {
    const auto element = TextElement(kPrivateTag, vr::LO, value);
    std::string text;
    ASSERT_EQ(element->GetString(text), DicomStatus::Success);
    EXPECT_EQ(Dump(*element), PrivateLine(value.size(), "LO | \"" + text + "\""));
  }
}

// An unknown tag is named "Unknown tag"; names are padded to the column
// but a longer name is never cut.
TEST(DumpTextElement, NameColumnIsPaddedButNeverCut) {
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00090010, vr::LO, "ACME")));
  ASSERT_TRUE(test::Succeeded(object.AddUInt32(0x30080050, vr::UL, 7)));
  EXPECT_EQ(Dump(object),
            "0009 0010          4 | Unknown tag                              | LO | \"ACME\" \r\n"
            "3008 0050          4 | treatment_summary_calculated_dose_reference_sequence  | UL | 0x7 (7) \r\n");
}

TEST(DumpTextElement, LengthColumnShowsUndefOrTheLengthAsASignedNumber) {
  CDicomElement element(kPrivateTag, vr::OB, nullptr, 0);
  element.SetUndefinedLength(true);
  EXPECT_EQ(Dump(element),
            "0009 1001   (undef.) | Unknown tag                              | OB |  \r\n");
  element.SetUndefinedLength(false);
  element.SetValueLength(0xFFFFFFFE);
  EXPECT_EQ(Dump(element),
            "0009 1001         -2 | Unknown tag                              | OB |  \r\n");
  // Wider than the column: the rest of the line moves right.
  element.SetValueLength(0x80000000);
  EXPECT_EQ(Dump(element),
            "0009 1001   -2147483648 | Unknown tag                              | OB |  \r\n");
}

// ---- Data objects ----

TEST(DumpTextObject, EmptyObjectDumpsNothing) {
  CDicomObject object;
  std::string out = "kept";
  EXPECT_EQ(object.DumpText(out, 3), DicomStatus::Success);
  EXPECT_EQ(out, "kept");
}

TEST(DumpTextObject, ElementsInAscendingTagOrder) {
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00100010, vr::PN, "X")));
  ASSERT_TRUE(test::Succeeded(object.AddUInt16(0x00280010, vr::US, 2)));
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00080016, vr::UI, "1.2")));
  EXPECT_EQ(Dump(object, 1),
            "    0008 0016          4 | sop_class_uid                            | UI | \"1.2\" \r\n"
            "    0010 0010          2 | patient_name                             | PN | \"X\" \r\n"
            "    0028 0010          2 | rows                                     | US | 0x2 (2) \r\n");
}

// ---- Sequences and items ----

TEST(DumpTextSequence, EmptySequence) {
  CDicomSequence sequence(0x00081140);
  EXPECT_EQ(Dump(sequence),
            "0008 1140   (undef.) | referenced_image_sequence                | SQ |  \r\n"
            "---- End Seq\r\n");
}

TEST(DumpTextSequence, ItemsAndTheDelimitationItemAtLevelOne) {
  auto first = UndefinedItem();
  ASSERT_TRUE(test::Succeeded(first->AddString(0x0040A170, vr::CS, "A")));
  auto second = DefinedItem();
  ASSERT_TRUE(test::Succeeded(second->AddString(0x00080104, vr::LO, "Hi")));
  auto delimiter = UndefinedItem();
  delimiter->SetItemTag(kSequenceDelimitationWord);
  // Whatever such an item holds is not dumped: it gets its own line only.
  ASSERT_TRUE(test::Succeeded(delimiter->AddString(0x00080104, vr::LO, "Hidden")));
  CDicomSequence sequence(0x0040A730);
  sequence.AppendItem(std::move(first));
  sequence.AppendItem(std::move(second));
  sequence.AppendItem(std::move(delimiter));
  EXPECT_EQ(Dump(sequence, 1),
            "    0040 a730   (undef.) | observations_sequence                    | SQ |  \r\n"
            "        **** Item: length = 0xffffffff (-1)\r\n"
            "        0040 a170          2 | observation_class                        | CS | \"A\" \r\n"
            "        ---- End Item\r\n"
            "        **** Item: length = 0x12 (18)\r\n"
            "        0008 0104          2 | code_meaning                             | LO | \"Hi\" \r\n"
            "        ---- End Item\r\n"
            "    **** Sequence Delemition Item\r\n"
            "    ---- End Seq\r\n");
}

// A defined-length item shows its content size in its own transfer mode
// plus the 8-byte item header, not the length it was read with.
TEST(DumpTextSequence, DefinedLengthItemShowsItsEncodedSize) {
  auto explicitItem = DefinedItem();
  explicitItem->SetItemLength(999);
  ASSERT_TRUE(test::Succeeded(explicitItem->AddString(0x00081150, vr::UI, "1.2.840")));  // 8 + 8
  const uint8_t bytes[4] = {1, 2, 3, 4};
  ASSERT_TRUE(test::Succeeded(explicitItem->AddValue(kPrivateTag, vr::OB, bytes, 4)));  // 12 + 4
  auto implicitItem = DefinedItem();
  implicitItem->SetTransferMode(TransferMode::ImplicitLittleEndian);
  ASSERT_TRUE(test::Succeeded(implicitItem->AddString(0x00081150, vr::UI, "1.2.840")));  // 8 + 8
  ASSERT_TRUE(test::Succeeded(implicitItem->AddValue(kPrivateTag, vr::OB, bytes, 4)));  // 8 + 4
  CDicomSequence sequence(0x00081140);
  sequence.AppendItem(std::move(explicitItem));
  sequence.AppendItem(std::move(implicitItem));
  auto emptyItem = DefinedItem();
  emptyItem->SetItemTag(0xE000FFFE);  // the ordinary item tag word, as a reader stores it
  sequence.AppendItem(std::move(emptyItem));
  EXPECT_EQ(Dump(sequence),
            "0008 1140   (undef.) | referenced_image_sequence                | SQ |  \r\n"
            "    **** Item: length = 0x28 (40)\r\n"
            "    0008 1150          8 | referenced_sop_class_uid                 | UI | \"1.2.840\" \r\n"
            "    0009 1001          4 | Unknown tag                              | OB | Binary Data \r\n"
            "    ---- End Item\r\n"
            "    **** Item: length = 0x24 (36)\r\n"
            "    0008 1150          8 | referenced_sop_class_uid                 | UI | \"1.2.840\" \r\n"
            "    0009 1001          4 | Unknown tag                              | OB | Binary Data \r\n"
            "    ---- End Item\r\n"
            "    **** Item: length = 0x8 (8)\r\n"
            "    ---- End Item\r\n"
            "---- End Seq\r\n");
}

TEST(DumpTextSequence, NestedSequencesTwoLevelsDeep) {
  // Inner item: two SH elements of 4 bytes, 12 bytes each: 24 + 8 = 32.
  auto innerItem = DefinedItem();
  ASSERT_TRUE(test::Succeeded(innerItem->AddString(0x00080100, vr::SH, "T-1")));
  ASSERT_TRUE(test::Succeeded(innerItem->AddString(0x00080102, vr::SH, "SRT")));
  auto inner = std::make_unique<CDicomSequence>(0x0040A043);
  inner->SetUndefinedLength(false);
  inner->SetValueLength(32);
  inner->AppendItem(std::move(innerItem));

  auto outerItem = UndefinedItem();
  ASSERT_TRUE(test::Succeeded(outerItem->AddString(0x0040A170, vr::CS, "CODE")));
  ASSERT_TRUE(test::Succeeded(outerItem->AddSequence(std::move(inner))));
  auto outer = std::make_unique<CDicomSequence>(0x0040A730);
  outer->AppendItem(std::move(outerItem));

  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00100010, vr::PN, "X")));
  ASSERT_TRUE(test::Succeeded(object.AddSequence(std::move(outer))));
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00080016, vr::UI, "1.2")));
  EXPECT_EQ(Dump(object),
            "0008 0016          4 | sop_class_uid                            | UI | \"1.2\" \r\n"
            "0010 0010          2 | patient_name                             | PN | \"X\" \r\n"
            "0040 a730   (undef.) | observations_sequence                    | SQ |  \r\n"
            "    **** Item: length = 0xffffffff (-1)\r\n"
            "    0040 a043         32 | concept_name_code_sequence               | SQ |  \r\n"
            "        **** Item: length = 0x20 (32)\r\n"
            "        0008 0100          4 | code_value                               | SH | \"T-1\" \r\n"
            "        0008 0102          4 | coding_scheme_designator                 | SH | \"SRT\" \r\n"
            "        ---- End Item\r\n"
            "    ---- End Seq\r\n"
            "    0040 a170          4 | observation_class                        | CS | \"CODE\" \r\n"
            "    ---- End Item\r\n"
            "---- End Seq\r\n");
}

TEST(DumpTextSequence, DumpOfACloneIsTheSame) {
  auto item = DefinedItem();
  ASSERT_TRUE(test::Succeeded(item->AddUInt16(0x00280010, vr::US, 512)));
  CDicomSequence sequence(0x00081140);
  sequence.AppendItem(std::move(item));
  const std::unique_ptr<CDicomElement> copy = sequence.Clone();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Dump(*copy), Dump(sequence));
  EXPECT_EQ(Dump(*copy),
            "0008 1140   (undef.) | referenced_image_sequence                | SQ |  \r\n"
            "    **** Item: length = 0x12 (18)\r\n"
            "    0028 0010          2 | rows                                     | US | 0x200 (512) \r\n"
            "    ---- End Item\r\n"
            "---- End Seq\r\n");
}

// The editor's rows are made line by line; each must be the dump's own line
// without its CR LF, at every level.
TEST(DumpTextLines, EachLineFormatterGivesTheDumpsLineWithoutItsEnd) {
  auto item = DefinedItem();
  ASSERT_TRUE(test::Succeeded(item->AddUInt16(0x00280010, vr::US, 512)));
  CDicomSequence sequence(0x00081140);
  sequence.AppendItem(std::move(item));
  auto delimiter = UndefinedItem();
  delimiter->SetItemTag(kSequenceDelimitationWord);
  sequence.AppendItem(std::move(delimiter));

  for (const int level : {0, 2}) {
    std::string lines;
    AppendElementLine(lines, sequence, level);
    lines += "\r\n";
    AppendItemLine(lines, *sequence.GetItem(0), level + 1);
    lines += "\r\n";
    AppendElementLine(lines, *sequence.GetItem(0)->Elements().Find(0x00280010), level + 1);
    lines += "\r\n";
    AppendEndItemLine(lines, level + 1);
    lines += "\r\n";
    AppendItemLine(lines, *sequence.GetItem(1), level + 1);
    lines += "\r\n";
    AppendEndSequenceLine(lines, level);
    lines += "\r\n";
    EXPECT_EQ(lines, Dump(sequence, level));
  }
}

}  // namespace
