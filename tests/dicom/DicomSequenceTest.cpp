#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ValueRepresentation.h"

#include "support/DicomFiles.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

std::unique_ptr<CSequenceItem> ItemWith(const std::string& uid) {
  auto item = std::make_unique<CSequenceItem>();
  (void)item->AddString(0x00081150, vr::UI, uid);
  return item;
}

TEST(DicomSequence, ConstructionFromAHeader) {
  CDicomSequence empty;
  EXPECT_EQ(empty.GetVR(), vr::SQ);
  EXPECT_TRUE(empty.IsUndefinedLength());
  EXPECT_EQ(empty.GetTag(), 0u);

  CDicomElement header;
  header.SetTag(0x00081140);
  header.SetVR(vr::SQ);
  header.SetValueLength(CDicomElement::kUndefinedLength);
  EXPECT_TRUE(CDicomSequence(header).IsUndefinedLength());
  header.SetValueLength(42);
  CDicomSequence defined(header);
  EXPECT_FALSE(defined.IsUndefinedLength());
  EXPECT_EQ(defined.GetLength(), 42u);
  EXPECT_EQ(defined.GetTag(), 0x00081140u);
}

TEST(DicomSequence, EmptySequenceSizes) {
  CDicomSequence undefinedLength(0x00081140);
  EXPECT_EQ(undefinedLength.EncodedSize(TransferMode::ExplicitLittleEndian), 20u);
  EXPECT_EQ(undefinedLength.EncodedSize(TransferMode::ImplicitLittleEndian), 16u);
  undefinedLength.SetUndefinedLength(false);
  EXPECT_EQ(undefinedLength.EncodedSize(TransferMode::ExplicitLittleEndian), 12u);
  EXPECT_EQ(undefinedLength.EncodedSize(TransferMode::ImplicitLittleEndian), 8u);
}

TEST(DicomSequence, SizeCountsItemsAndNestedSequences) {
  CDicomSequence outer(0x00081140);
  outer.AppendItem(ItemWith("1.2.3"));  // element 8 + 6 = 14; item 8 + 14 + 8 = 30
  auto nestedItem = ItemWith("1.2.3.4");  // element 8 + 8 = 16
  auto inner = std::make_unique<CDicomSequence>(0x00081199);
  auto innerItem = std::make_unique<CSequenceItem>();
  innerItem->SetUndefinedLength(false);
  inner->AppendItem(std::move(innerItem));  // 8
  ASSERT_TRUE(test::Succeeded(nestedItem->AddSequence(std::move(inner))));
  outer.AppendItem(std::move(nestedItem));  // 16 + inner (12 + 8 + 8 = 28) + 16 = 60
  EXPECT_EQ(outer.EncodedSize(TransferMode::ExplicitLittleEndian), 12u + 30 + 60 + 8);
  // Implicit: element 8+6, item 30; nested: 16 + (8 + 8 + 8) + 16 = 56
  EXPECT_EQ(outer.EncodedSize(TransferMode::ImplicitLittleEndian), 8u + 30 + 56 + 8);
}

TEST(DicomSequence, ItemAccessAndRemoval) {
  CDicomSequence sequence(0x00081140);
  sequence.AppendItem(ItemWith("1"));
  sequence.AppendItem(ItemWith("2"));
  sequence.AppendItem(ItemWith("3"));
  sequence.AppendItem(nullptr);  // ignored
  EXPECT_EQ(sequence.GetItemCount(), 3u);
  EXPECT_EQ(sequence.GetItem(3), nullptr);
  EXPECT_EQ(sequence.RemoveItem(3), DicomStatus::Failure);
  EXPECT_EQ(sequence.RemoveItem(0), DicomStatus::Success);
  std::string uid;
  ASSERT_EQ(sequence.GetItem(0)->GetString(0x00081150, uid), DicomStatus::Success);
  EXPECT_EQ(uid, "2");
  sequence.ClearItems();
  EXPECT_EQ(sequence.GetItemCount(), 0u);
}

TEST(DicomSequence, CloneIsDeep) {
  CDicomSequence sequence(0x00081140);
  sequence.SetSopClassUid("1.2.840.10008.5.1.4.1.1.88.3");
  sequence.SetUndefinedLength(false);
  auto item = ItemWith("1.2.3");
  item->SetItemTag(0xE000FFFE);
  item->SetItemLength(14);
  item->SetUndefinedLength(false);
  sequence.AppendItem(std::move(item));

  std::unique_ptr<CDicomElement> clone = sequence.Clone();
  auto* copy = dynamic_cast<CDicomSequence*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetTag(), 0x00081140u);
  EXPECT_FALSE(copy->IsUndefinedLength());
  EXPECT_EQ(copy->GetSopClassUid(), "1.2.840.10008.5.1.4.1.1.88.3");
  ASSERT_EQ(copy->GetItemCount(), 1u);
  EXPECT_NE(copy->GetItem(0), sequence.GetItem(0));
  EXPECT_EQ(copy->GetItem(0)->GetItemTag(), 0xE000FFFEu);
  EXPECT_EQ(copy->GetItem(0)->GetItemLength(), 14u);
  EXPECT_FALSE(copy->GetItem(0)->IsUndefinedLength());
  (void)sequence.GetItem(0)->AddString(0x00081150, vr::UI, "changed");
  std::string uid;
  ASSERT_EQ(copy->GetItem(0)->GetString(0x00081150, uid), DicomStatus::Success);
  EXPECT_EQ(uid, "1.2.3");

  CDicomElement plain;
  EXPECT_FALSE(sequence.CopyFrom(plain));
}

TEST(DicomSequence, AddSequenceHandsOverTheSopClass) {
  CDicomObject object;
  (void)object.AddString(0x00020002, vr::UI, "1.2.840.10008.5.1.4.1.1.88.1");
  auto sequence = std::make_unique<CDicomSequence>(0x0040A730);
  CDicomSequence* raw = sequence.get();
  ASSERT_TRUE(test::Succeeded(object.AddSequence(std::move(sequence))));
  EXPECT_EQ(raw->GetSopClassUid(), "1.2.840.10008.5.1.4.1.1.88.1");

  auto notSq = std::make_unique<CDicomSequence>(0x0040A731);
  notSq->SetVR(vr::OB);
  EXPECT_FALSE(object.AddSequence(std::move(notSq)));
  EXPECT_FALSE(object.AddSequence(nullptr));
}

}  // namespace
