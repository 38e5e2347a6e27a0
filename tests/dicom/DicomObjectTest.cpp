// The data set's own rules: what adding an element does besides storing
// it, and what the getters say of elements that are missing or of another
// kind. (Copies, sizes and lengths are the round trip property's to show.)
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ValueRepresentation.h"
#include "support/StatusAssertions.h"

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::Succeeded;

namespace {

TEST(DicomObject, TheMetaGroupSetsTheTransferModeAndTheSopClass) {
  CDicomObject object;
  EXPECT_TRUE(object.IsUncompressed());
  const struct {
    const char* syntax;
    TransferMode mode;
    bool uncompressed;
  } cases[] = {
      {"1.2.840.10008.1.2", TransferMode::ImplicitLittleEndian, true},
      {"1.2.840.10008.1.2.1", TransferMode::ExplicitLittleEndian, true},
      {"1.2.840.10008.1.2.2", TransferMode::ExplicitBigEndian, false},  // not plain either
      {"not a transfer syntax", TransferMode::ExplicitLittleEndian, false},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Succeeded(object.AddString(tags::kTransferSyntaxUid, vr::UI, c.syntax)));
    EXPECT_EQ(object.GetTransferMode(), c.mode) << c.syntax;
    EXPECT_EQ(object.IsUncompressed(), c.uncompressed) << c.syntax;
  }
  EXPECT_EQ(object.RemoveElement(tags::kTransferSyntaxUid), DicomStatus::Success);
  EXPECT_EQ(object.RemoveElement(tags::kTransferSyntaxUid), DicomStatus::NotPresent);
  EXPECT_TRUE(object.IsUncompressed());

  // A tag whose VR depends on the SOP class is never stored unresolved.
  ASSERT_TRUE(Succeeded(object.AddValue(0x0040A124, vr::kUnknown, "1.2.3", 5)));
  EXPECT_EQ(object.Elements().Find(0x0040A124)->GetVR(), vr::UI);
  ASSERT_TRUE(Succeeded(object.AddString(tags::kMediaStorageSopClassUid, vr::UI, "1.2.840.10008.5.1.4.1.1.88.3")));
  EXPECT_EQ(object.GetSopClassUid(), "1.2.840.10008.5.1.4.1.1.88.3");
  EXPECT_EQ(object.LookupVR(0x0040A124), vr::SQ);
  // A sequence added takes the class along, for the VR lookups in its items.
  auto sequence = std::make_unique<CDicomSequence>(0x0040A730);
  const CDicomSequence* added = sequence.get();
  ASSERT_TRUE(Succeeded(object.AddSequence(std::move(sequence))));
  EXPECT_EQ(added->GetSopClassUid(), "1.2.840.10008.5.1.4.1.1.88.3");
}

TEST(DicomObject, AddersTakeTheDictionaryVrAndRefuseWhatIsNoElement) {
  CDicomObject object;
  ASSERT_TRUE(Succeeded(object.AddValue(0x00100010, vr::kUnknown, "DOE", 3)));
  EXPECT_EQ(object.Elements().Find(0x00100010)->GetVR(), vr::PN);
  ASSERT_TRUE(Succeeded(object.AddString(0x00100020, vr::LO, static_cast<const char*>(nullptr))));
  EXPECT_FALSE(object.Elements().Find(0x00100020)->HasValue());

  auto notSq = std::make_unique<CDicomSequence>(0x0040A731);
  notSq->SetVR(vr::OB);
  for (const auto& [refused, reason] : {
           std::pair{object.AddValue(0x00081140, vr::kUnknown, "x", 1),
                     "(0008,1140) is a sequence: it holds items, not value bytes."},
           std::pair{object.AddValue(0x00081140, vr::SQ, "x", 1),
                     "(0008,1140) is a sequence: it holds items, not value bytes."},
           std::pair{object.AddValue(0x00280010, vr::US, nullptr, 2), "(0028,0010) has a length of 2 bytes but no value."},
           std::pair{object.AddSequence(std::move(notSq)), "(0040,A731) holds items but its VR is OB, not SQ."},
           std::pair{object.AddSequence(nullptr), "no sequence to add"},
           std::pair{object.AddElement(nullptr), "no element to add"},
       }) {
    EXPECT_EQ(refused.Message(), reason);
    EXPECT_EQ(refused.GetError().Code(), ErrorCode::Refused) << reason;
  }
  EXPECT_EQ(object.ElementCount(), 2u);
  EXPECT_FALSE(CDicomSequence(0x00081140).CopyFrom(CDicomElement()));  // sequences are cloned, not copied into
}

TEST(DicomObject, GettersSayWhatIsMissingOrOfAnotherKind) {
  CDicomObject object;
  ASSERT_TRUE(Succeeded(object.AddUInt16(0x00280010, vr::US, 512)));
  ASSERT_TRUE(Succeeded(object.AddString(0x00080060, vr::CS, "OT")));
  CDicomSequence* sequence = nullptr;
  CDicomElement* element = nullptr;
  EXPECT_EQ(object.GetSequence(0x00280010, &sequence), DicomStatus::WrongKind);
  EXPECT_EQ(object.GetSequence(0x00081140, &sequence), DicomStatus::NotPresent);
  EXPECT_EQ(object.GetElement(0x00280010, nullptr), DicomStatus::Failure);
  EXPECT_EQ(object.GetElement(0x00280011, &element), DicomStatus::NotPresent);
  std::string text = "stale";
  EXPECT_EQ(object.GetString(0x00100010, text), DicomStatus::NotPresent);
  EXPECT_EQ(text, "");
  uint32_t length = 7;
  const uint8_t* value = nullptr;
  EXPECT_EQ(object.GetValue(0x00280010, length, &value), DicomStatus::Success);
  ASSERT_EQ(length, 2u);
  EXPECT_EQ(value[0] | value[1] << 8, 512);
  EXPECT_EQ(object.GetValue(0x00280011, length, &value), DicomStatus::NotPresent);
  EXPECT_EQ(length, 0u);

  TagArray range{0x12345678};
  EXPECT_EQ(object.GetTagsInGroupRange(range, 0x0003, 0x0010), 1u);
  EXPECT_EQ(range, (TagArray{0x12345678, 0x00080060}));
  object.SetTransferMode(TransferMode::ImplicitLittleEndian);
  EXPECT_EQ(object.GroupLength(0x0028), 10u);
}

}  // namespace
