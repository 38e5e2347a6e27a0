// The text dump of elements, sequences and data objects. Every expectation
// is a whole line (or a whole dump) to the byte: the dump is compared with
// reference dumps, so a padding, CR LF or trailing space slip is a failure.
#include "dicom/DumpText.h"

#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "support/StatusAssertions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace quillon;
using namespace std::string_literals;

namespace {

constexpr DicomTag kUnnamed = 0x00091001;  // not in the name table
constexpr uint32_t kDelimitationItemWord = 0xE0DDFFFE;  // (FFFE,E0DD) as a reader stores it

template <typename T>
std::vector<uint8_t> Numbers(std::initializer_list<T> values) {
  std::vector<uint8_t> bytes(values.size() * sizeof(T));
  std::memcpy(bytes.data(), std::data(values), bytes.size());  // the host is little endian
  return bytes;
}

std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

// The line of a kUnnamed element of `length` bytes ending in `vrAndValue`.
std::string Unnamed(const char* length, const std::string& vrAndValue) {
  return "0009 1001   " + std::string(8 - std::strlen(length), ' ') + length +
         " | Unknown tag                              | " + vrAndValue + " ";
}

// Gives `element` exactly `bytes`, with no even-length padding: values as a
// reader may hold them, including ones too short for their VR.
void SetRaw(CDicomElement& element, const std::vector<uint8_t>& bytes) {
  auto value = std::make_unique<uint8_t[]>(bytes.size());
  std::memcpy(value.get(), bytes.data(), bytes.size());
  element.SetValue(std::move(value), static_cast<uint32_t>(bytes.size()));
}

template <typename Dumped>
std::string Dump(const Dumped& dumped, int level) {
  std::string out;
  EXPECT_EQ(dumped.DumpText(out, level), DicomStatus::Success);
  return out;
}

// Integers show each value's bits as unsigned hex and as a signed decimal
// (SS sign-extended first), floating point each value in general format,
// 64-bit integers in decimal, tags as (gggg,eeee); several values are
// joined by backslashes. A value shorter than one number of its VR (as a
// damaged file can give) shows no value text: its buffer is exactly that
// short, so the sanitizers catch a read past it. Lengths show as signed
// numbers.
TEST(DumpText, ElementLines) {
  const struct {
    DicomTag tag;
    DicomVR vr;
    std::vector<uint8_t> value;
    std::string line;
    uint32_t lengthWithoutValue = 0;
  } cases[] = {
      {0x30080050, vr::UL, Numbers<uint32_t>({7}),  // a long name is never cut
       "3008 0050          4 | treatment_summary_calculated_dose_reference_sequence  | UL | 0x7 (7) "},
      {kUnnamed, vr::US, Numbers<uint16_t>({0xFFFF, 4}), Unnamed("4", "US | 0xffff (65535)\\0x4 (4)")},
      {kUnnamed, vr::SS, Numbers<int16_t>({-1}), Unnamed("2", "SS | 0xffffffff (-1)")},
      {kUnnamed, vr::UL, Numbers<uint32_t>({0xFFFFFFFF}), Unnamed("4", "UL | 0xffffffff (-1)")},
      {kUnnamed, vr::SL, Numbers<int32_t>({-5}), Unnamed("4", "SL | 0xfffffffb (-5)")},
      // (0018,1063) as stored: group then element, each little endian.
      {kUnnamed, vr::AT, {0x18, 0x00, 0x63, 0x10}, Unnamed("4", "AT | (0018,1063)")},
      // Text stops at a NUL and loses its trailing white space.
      {kUnnamed, vr::LO, Text(" A\\B \0X"s), Unnamed("7", "LO | \" A\\B\"")},
      {kUnnamed, vr::UT, Text("AB\r\n "), Unnamed("5", "UT | \"AB\"")},
      {kUnnamed, vr::FL, Numbers<float>({0.333333333f, 7.0f}), Unnamed("8", "FL | 0.333333\\7")},
      {kUnnamed, vr::FD, Numbers<double>({1234567.0}), Unnamed("8", "FD | 1.23457e+06")},
      {kUnnamed, vr::OF, Numbers<float>({2.5f, 3.0f}), Unnamed("8", "OF | 2.5,...")},
      {kUnnamed, vr::US, {0x01}, Unnamed("1", "US | ")},
      {kUnnamed, vr::SS, {0xFF}, Unnamed("1", "SS | ")},
      {kUnnamed, vr::UL, {1, 2}, Unnamed("2", "UL | ")},
      {kUnnamed, vr::AT, {0x18, 0x00}, Unnamed("2", "AT | ")},
      {kUnnamed, vr::FL, {0, 0, 0xC0}, Unnamed("3", "FL | ")},
      {kUnnamed, vr::OF, {0, 0}, Unnamed("2", "OF | ")},
      {kUnnamed, vr::FD, {1, 2, 3, 4, 5, 6, 7}, Unnamed("7", "FD | ")},
      // Binary VRs (and a plain element typed SQ) say so; other VRs that are
      // not text show nothing.
      {kUnnamed, vr::OB, Text("http://x"), Unnamed("8", "OB | Binary Data")},
      {kUnnamed, vr::UN, Text("http://x"), Unnamed("8", "UN | Binary Data")},
      {kUnnamed, vr::SQ, Text("http://x"), Unnamed("8", "SQ | Binary Data")},
      {kUnnamed, vr::kUnknown, {0x12, 0x34}, Unnamed("2", "?? | Binary Data")},
      {kUnnamed, vr::UR, Text("http://x"), Unnamed("8", "UR | \"http://x\"")},
      {kUnnamed, vr::UC, Text("a\\b "), Unnamed("4", "UC | \"a\\b\"")},
      {kUnnamed, vr::SV, Numbers<int64_t>({-3, 5}), Unnamed("16", "SV | -3\\5")},
      {kUnnamed, vr::UV, Numbers<uint64_t>({18446744073709551615u}), Unnamed("8", "UV | 18446744073709551615")},
      {kUnnamed, vr::OL, Numbers<uint32_t>({1}), Unnamed("4", "OL | Binary Data")},
      {kUnnamed, vr::OD, Numbers<double>({1.0}), Unnamed("8", "OD | Binary Data")},
      {kUnnamed, vr::OV, Numbers<uint64_t>({1}), Unnamed("8", "OV | Binary Data")},
      {kUnnamed, MakeVR('Q', 'X'), Text("http://x"), Unnamed("8", "QX | ")},
      {kUnnamed, vr::DA, {}, Unnamed("0", "DA | ")},
      {kUnnamed, vr::OB, {}, "0009 1001   (undef.) | Unknown tag                              | OB |  ",
       CDicomElement::kUndefinedLength},
      {kUnnamed, vr::OB, {}, Unnamed("-2", "OB | "), 0xFFFFFFFE},
      {kUnnamed, vr::OB, {}, "0009 1001   -2147483648 | Unknown tag                              | OB |  ", 0x80000000},
  };
  for (const auto& c : cases) {
    CDicomElement element(c.tag, c.vr, nullptr, c.lengthWithoutValue);
    element.SetUndefinedLength(c.lengthWithoutValue == CDicomElement::kUndefinedLength);
    if (!c.value.empty()) SetRaw(element, c.value);
    std::string out = "kept";  // a dump appends
    EXPECT_EQ(element.DumpText(out, 0), DicomStatus::Success);
    EXPECT_EQ(out, "kept" + c.line + "\r\n");
  }
}

// A defined-length item shows the bytes it takes in its own transfer mode
// (content plus 8-byte header), not the length it was read with. The
// delimitation item gets a line a level further out and nothing else. The
// editor's rows are the dump's lines without CR LF, made one at a time.
// (Data sets and nested sequences: the golden dump in PeerInteropTest.)
TEST(DumpText, SequenceItemsAndTheirLines) {
  CDicomSequence sequence(0x0040A043);
  sequence.SetUndefinedLength(false);
  sequence.SetValueLength(40);
  const uint8_t bytes[4] = {1, 2, 3, 4};
  for (const auto mode : {TransferMode::ExplicitLittleEndian, TransferMode::ImplicitLittleEndian}) {
    auto item = std::make_unique<CSequenceItem>();
    item->SetUndefinedLength(false);
    item->SetItemLength(999);
    item->SetTransferMode(mode);
    ASSERT_TRUE(test::Succeeded(item->AddString(0x00081150, vr::UI, "1.2.840")));  // 8 + 8
    ASSERT_TRUE(test::Succeeded(item->AddValue(kUnnamed, vr::OB, bytes, 4)));     // 12 (implicit: 8) + 4
    sequence.AppendItem(std::move(item));
  }
  auto empty = std::make_unique<CSequenceItem>();
  empty->SetUndefinedLength(false);
  empty->SetItemTag(0xE000FFFE);  // the ordinary item tag word, as a reader stores it
  sequence.AppendItem(std::move(empty));
  auto delimiter = std::make_unique<CSequenceItem>();
  delimiter->SetItemTag(kDelimitationItemWord);
  ASSERT_TRUE(test::Succeeded(delimiter->AddString(0x00080104, vr::LO, "Hidden")));
  sequence.AppendItem(std::move(delimiter));
  const std::string itemElements =
      "        0008 1150          8 | referenced_sop_class_uid                 | UI | \"1.2.840\" \r\n"
      "        0009 1001          4 | Unknown tag                              | OB | Binary Data \r\n"
      "        ---- End Item\r\n";
  EXPECT_EQ(Dump(sequence, 1),
            "    0040 a043         40 | concept_name_code_sequence               | SQ |  \r\n"
            "        **** Item: length = 0x28 (40)\r\n" + itemElements +
            "        **** Item: length = 0x24 (36)\r\n" + itemElements +
            "        **** Item: length = 0x8 (8)\r\n"
            "        ---- End Item\r\n"
            "    **** Sequence Delemition Item\r\n"
            "    ---- End Seq\r\n");
  std::string lines;
  AppendElementLine(lines, sequence, 1);
  for (size_t i = 0; i < sequence.GetItemCount(); ++i) {
    const CSequenceItem& item = *sequence.GetItem(i);
    AppendItemLine(lines += "\r\n", item, 2);
    if (item.GetItemTag() == kDelimitationItemWord) continue;
    for (const auto& entry : item.Elements().Sorted()) AppendElementLine(lines += "\r\n", *entry.element, 2);
    AppendEndItemLine(lines += "\r\n", 2);
  }
  AppendEndSequenceLine(lines += "\r\n", 1);
  EXPECT_EQ(Dump(sequence, 1), lines + "\r\n");
  EXPECT_EQ(Dump(CDicomObject(), 3), "");
}

}  // namespace
