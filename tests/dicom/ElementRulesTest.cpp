// What the data model accepts, decided in one place: each rule says why,
// the accepted neighbours show where its line is drawn, and the adders
// refuse what the rules refuse.
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ElementRules.h"
#include "dicom/ValueRepresentation.h"
#include "support/StatusAssertions.h"

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::Succeeded;
using namespace std::string_literals;

namespace {

constexpr ElementPlace kDataSet = ElementPlace::DataSet;
constexpr ElementPlace kItem = ElementPlace::Item;

TEST(ElementRules, EachRuleSaysWhyAndItsNeighboursPass) {
  const struct {
    DicomTag tag;
    DicomVR vr;
    uint64_t length;
    bool hasValue;
    ElementPlace place;
    const char* reason;  // the start of it; empty: accepted
  } cases[] = {
      {0xFFFEE000, vr::kUnknown, 0, false, kDataSet,
       "(FFFE,E000) is the item tag: it starts an item of a sequence and cannot be stored as an element."},
      {0xFFFEE0DD, vr::OB, 2, true, kItem, "(FFFE,E0DD) is a delimitation tag"},
      {0xFFFE0002, vr::UI, 4, true, kDataSet, ""},  // group FFFE, not an item tag
      {0x00020010, vr::UI, 20, true, kItem, "(0002,0010) belongs to the file meta information (group 0002)"},
      {0x00020010, vr::UI, 20, true, kDataSet, ""},
      {0x00020099, vr::SQ, 0, false, kDataSet,
       "(0002,0099) cannot be a sequence: the file meta information (group 0002) holds no sequences."},
      {0x00081140, vr::SQ, 4, true, kDataSet, "(0008,1140) is a sequence: it holds items, not value bytes."},
      {0x00081140, vr::SQ, 0, false, kItem, ""},
      {0x00100010, vr::PN, 8, false, kItem, "(0010,0010) has a length of 8 bytes but no value."},
      {0x00100010, vr::PN, 0, false, kDataSet, ""},
      {0x00000000, vr::UL, 0, false, kDataSet, "(0000,0000) is the command group length: it needs its value."},
      {0x00000000, vr::UL, 4, true, kItem, ""},
      {0x00000100, vr::US, 2, true, kDataSet, ""},
      {0x00091001, vr::OB, 0xFFFFFFFF, true, kDataSet,
       "(0009,1001): a value of 4294967295 bytes is too long for an element (at most 4294967294)."},
      {0x0040A124, vr::kUnresolved, 4, true, kDataSet,
       "The VR of (0040,A124) depends on the SOP class and has not been chosen."},
      {0x00091001, MakeVR('X', 'X'), 2, true, kDataSet, "(0009,1001): \"XX\" is not a DICOM value representation."},
      {0x00091001, MakeVR('\0', '\x01'), 2, true, kDataSet, "(0009,1001): 0x0100 is not a DICOM value representation."},
      {0x00091001, vr::kUnknown, 3, true, kItem, ""},  // written as UN
      {0x00204000, vr::LT, 70000, true, kDataSet,
       "(0020,4000): a LT value can be at most 65535 bytes long, since explicit VR files give it a 16-bit length "
       "(this one has 70000)."},
      {0x00204000, vr::LT, 0xFFFF, true, kDataSet, ""},
      {0x00204000, vr::UT, 70000, true, kDataSet, ""},  // a 32-bit length
      {0x7FE00010, vr::SQ, 0, false, kDataSet,
       "(7FE0,0010) Pixel Data holds pixels or compressed fragments, not a sequence of items."},
  };
  for (const auto& c : cases) {
    const std::string reason = CheckElementRules(c.tag, c.vr, c.length, c.hasValue, c.place).Message();
    EXPECT_EQ(reason.rfind(c.reason, 0), 0u) << FormatTag(c.tag) << ": " << reason;
    EXPECT_EQ(reason.empty(), *c.reason == '\0') << FormatTag(c.tag) << ": " << reason;
  }
  // The writer's rules are a subset: a long short-VR value read from an
  // implicit VR file is written as UN.
  EXPECT_TRUE(Succeeded(CheckElementWriteRules(0x00204000, vr::LT, 70000, true, kDataSet)));
  EXPECT_FALSE(CheckElementWriteRules(0x00020010, vr::UI, 20, true, kItem));
}

// Each refusal is of something the writer used to put out with success and
// the reader then refused, or read back as something else.
TEST(ElementRules, AddersRefuseWhatCannotBeWrittenBackAndChangeNothing) {
  CDicomObject object;
  CSequenceItem item;
  ASSERT_TRUE(Succeeded(object.AddString(tags::kTransferSyntaxUid, vr::UI, "1.2.840.10008.1.2")));
  auto holdingMeta = std::make_unique<CDicomSequence>(0x00081140);
  holdingMeta->AppendItem(std::make_unique<CSequenceItem>());
  ASSERT_TRUE(holdingMeta->GetItem(0)->CopyFrom(&object));  // copying bypasses the item's own adders
  auto notSq = std::make_unique<CDicomSequence>(0x0040A731);
  notSq->SetVR(vr::OB);
  const std::string isSequence = "(0008,1140) is a sequence: it holds items, not value bytes.";
  const std::string metaInItem = "(0002,0010) belongs to the file meta information (group 0002), which exists only "
                                 "at the top of a file, not inside a sequence item.";
  const std::string longest(65535, 'x');  // padded to 65536, one more than a 16-bit length holds
  for (const auto& [refused, reason] : {
           std::pair{object.AddValue(0x00081140, vr::kUnknown, "x", 1), isSequence},
           std::pair{object.AddValue(0x00081140, vr::SQ, "x", 1), isSequence},
           std::pair{object.AddElement(std::make_unique<CDicomElement>(0xFFFEE00D, vr::kUnknown, nullptr, 0)),
                     std::string("(FFFE,E00D) is a delimitation tag, which the writer puts out itself: it cannot be "
                                 "stored as an element.")},
           std::pair{object.AddValue(0x00204000, vr::LT, longest.data(), 65535),
                     std::string("(0020,4000): a LT value can be at most 65535 bytes long, since explicit VR files "
                                 "give it a 16-bit length (this one has 65536).")},
           std::pair{item.AddString(tags::kTransferSyntaxUid, vr::UI, "1.2.840.10008.1.2"), metaInItem},
           std::pair{item.CopyElementFrom(tags::kTransferSyntaxUid, object), metaInItem},
           std::pair{object.AddSequence(std::move(holdingMeta)), "(0008,1140) item 1: " + metaInItem},
           std::pair{object.AddSequence(std::move(notSq)), "(0040,A731) holds items but its VR is OB, not SQ."s},
           std::pair{object.AddSequence(nullptr), std::string("no sequence to add")},
           std::pair{object.AddElement(nullptr), std::string("no element to add")}}) {
    EXPECT_EQ(refused.Message(), reason);
    EXPECT_EQ(refused.GetError().Code(), ErrorCode::Refused) << reason;
  }
  EXPECT_EQ(object.ElementCount() + item.ElementCount(), 1u);
  EXPECT_EQ(item.GetTransferMode(), TransferMode::ExplicitLittleEndian);  // no side effect either
  EXPECT_TRUE(Succeeded(item.AddUInt32(0x00000000, vr::UL, 0)));
  EXPECT_TRUE(Succeeded(CDicomObject().CopyElementFrom(tags::kTransferSyntaxUid, object)));
  EXPECT_FALSE(CDicomSequence(0x00081140).CopyFrom(CDicomElement()));  // sequences are cloned, not copied into
}

}  // namespace
