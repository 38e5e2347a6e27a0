// What adding an element to a data set does besides storing it, and what
// is refused. (Copies and sizes are the round trip property's to show.)
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ValueRepresentation.h"
#include "support/StatusAssertions.h"

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::Succeeded;

namespace {

// VR 0 takes the dictionary's VR; one that depends on the SOP class is never
// stored unresolved, and a sequence takes the class along for the lookups
// in its items.
TEST(DicomObject, AddedValuesTakeTheVrOfTheDictionaryAndTheSopClass) {
  CDicomObject object;
  ASSERT_TRUE(Succeeded(object.AddValue(0x0040A124, vr::kUnknown, "1.2.3", 5)));
  ASSERT_TRUE(Succeeded(object.AddValue(0x00100010, vr::kUnknown, "DOE", 3)));
  ASSERT_TRUE(Succeeded(object.AddString(0x00100020, vr::LO, static_cast<const char*>(nullptr))));
  EXPECT_EQ(object.Elements().Find(0x0040A124)->GetVR(), vr::UI);
  EXPECT_EQ(object.Elements().Find(0x00100010)->GetVR(), vr::PN);
  EXPECT_FALSE(object.Elements().Find(0x00100020)->HasValue());
  ASSERT_TRUE(Succeeded(object.AddString(tags::kMediaStorageSopClassUid, vr::UI, "1.2.840.10008.5.1.4.1.1.88.3")));
  EXPECT_EQ(object.LookupVR(0x0040A124), vr::SQ);
  auto sequence = std::make_unique<CDicomSequence>(0x0040A730);
  const CDicomSequence* added = sequence.get();
  ASSERT_TRUE(Succeeded(object.AddSequence(std::move(sequence))));
  EXPECT_EQ(added->GetSopClassUid(), "1.2.840.10008.5.1.4.1.1.88.3");
}

// Each refusal is of something the writer used to put out with success and
// the reader then refused, or read back as something else.
TEST(DicomObject, AddersRefuseWhatCannotBeWrittenBackAndChangeNothing) {
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
           std::pair{object.AddSequence(std::move(notSq)), std::string("(0040,A731) holds items but its VR is OB, not SQ.")},
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
