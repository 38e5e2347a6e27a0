#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ValueRepresentation.h"

#include "support/DicomFiles.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace quillon;

namespace {

// Counts live instances so tests can see that replaced elements are
// destroyed, not leaked or kept.
struct CountedElement : CDicomElement {
  static inline int live = 0;
  CountedElement(DicomTag tag, const char* text) : CDicomElement(tag, vr::LO, text, static_cast<uint32_t>(std::strlen(text))) { ++live; }
  ~CountedElement() override { --live; }
};

std::string StringOf(const CDicomObject& object, DicomTag tag) {
  std::string value;
  EXPECT_EQ(object.GetString(tag, value), DicomStatus::Success);
  return value;
}

TEST(DicomObjectElements, AddingATagTwiceKeepsTheSecondAndDestroysTheFirst) {
  CountedElement::live = 0;
  {
    CDicomObject object;
    EXPECT_TRUE(test::Succeeded(object.AddElement(std::make_unique<CountedElement>(0x00100010, "FIRST"))));
    EXPECT_TRUE(test::Succeeded(object.AddElement(std::make_unique<CountedElement>(0x00100010, "SECOND"))));
    EXPECT_EQ(CountedElement::live, 1);
    EXPECT_EQ(object.ElementCount(), 1u);
    EXPECT_EQ(StringOf(object, 0x00100010), "SECOND");
  }
  EXPECT_EQ(CountedElement::live, 0);
}

TEST(DicomObjectElements, OutOfOrderInsertsStaySortedAndLastWins) {
  CDicomObject object;
  const DicomTag tags[] = {0x7FE00010, 0x00100010, 0x00080016, 0x00100010, 0x00020010, 0x00280010, 0x00100010};
  int n = 0;
  for (DicomTag tag : tags) {
    const std::string text = "V" + std::to_string(n++);
    ASSERT_TRUE(test::Succeeded(object.AddString(tag, vr::LO, text)));
  }
  TagArray sorted;
  EXPECT_EQ(object.GetSortedTags(sorted), 5u);
  EXPECT_EQ(sorted, (TagArray{0x00020010, 0x00080016, 0x00100010, 0x00280010, 0x7FE00010}));
  EXPECT_EQ(StringOf(object, 0x00100010), "V6");
}

TEST(DicomObjectElements, SortedTagsAndGroupRanges) {
  CDicomObject object;
  (void)object.AddString(0x00100010, vr::PN, "DOE");
  (void)object.AddString(0x00080016, vr::UI, "1.2");
  (void)object.AddString(0x00020010, vr::UI, "1.2.840.10008.1.2.1");
  TagArray tags;
  EXPECT_EQ(object.GetSortedTags(tags), 3u);
  EXPECT_EQ(tags, (TagArray{0x00020010, 0x00080016, 0x00100010}));

  TagArray range{0x12345678};
  EXPECT_EQ(object.GetTagsInGroupRange(range, 0x0003, 0x0010), 2u);
  EXPECT_EQ(range, (TagArray{0x12345678, 0x00080016, 0x00100010}));
}

TEST(DicomObjectElements, GettersReportAbsenceAndKind) {
  CDicomObject object;
  (void)object.AddUInt16(0x00280010, vr::US, 512);
  CDicomSequence* sequence = nullptr;
  EXPECT_EQ(object.GetSequence(0x00280010, &sequence), DicomStatus::WrongKind);
  EXPECT_EQ(object.GetSequence(0x00081140, &sequence), DicomStatus::NotPresent);
  CDicomElement* element = nullptr;
  EXPECT_EQ(object.GetElement(0x00280010, nullptr), DicomStatus::Failure);
  EXPECT_EQ(object.GetElement(0x00280011, &element), DicomStatus::NotPresent);
  uint16_t rows = 0;
  EXPECT_EQ(object.GetUInt16(0x00280010, rows), DicomStatus::Success);
  EXPECT_EQ(rows, 512);
  std::string text;
  EXPECT_EQ(object.GetString(0x00100010, text), DicomStatus::NotPresent);
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  EXPECT_EQ(object.GetValue(0x00280010, length, &value), DicomStatus::Success);
  EXPECT_EQ(length, 2u);
  EXPECT_EQ(value[0], 0x00);
  EXPECT_EQ(value[1], 0x02);
  EXPECT_EQ(object.RemoveElement(0x00280010), DicomStatus::Success);
  EXPECT_EQ(object.RemoveElement(0x00280010), DicomStatus::NotPresent);
  EXPECT_FALSE(object.Contains(0x00280010));
}

TEST(DicomObjectElements, AddValueTakesTheDictionaryVrAndRefusesSequences) {
  CDicomObject object;
  EXPECT_TRUE(test::Succeeded(object.AddValue(0x00100010, 0, "DOE", 3)));
  CDicomElement* element = nullptr;
  ASSERT_EQ(object.GetElement(0x00100010, &element), DicomStatus::Success);
  EXPECT_EQ(element->GetVR(), vr::PN);
  EXPECT_FALSE(object.AddValue(0x00081140, 0, "x", 1));  // SQ in the dictionary
  EXPECT_FALSE(object.AddValue(0x00081140, vr::SQ, "x", 1));
  EXPECT_FALSE(object.AddElement(nullptr));

  // A SOP-class-dependent tag is never stored unresolved.
  EXPECT_TRUE(test::Succeeded(object.AddValue(0x0040A124, 0, "1.2.3", 5)));
  ASSERT_EQ(object.GetElement(0x0040A124, &element), DicomStatus::Success);
  EXPECT_EQ(element->GetVR(), vr::UI);
  (void)object.AddString(0x00020002, vr::UI, "1.2.840.10008.5.1.4.1.1.88.3");
  EXPECT_EQ(object.LookupVR(0x0040A124), vr::SQ);

  EXPECT_TRUE(test::Succeeded(object.AddString(0x00100020, vr::LO, static_cast<const char*>(nullptr))));
  ASSERT_EQ(object.GetElement(0x00100020, &element), DicomStatus::Success);
  EXPECT_FALSE(element->HasValue());
}

TEST(DicomObjectElements, TypedAddersStoreLittleEndianValues) {
  CDicomObject object;
  (void)object.AddUInt32(0x00020000, vr::UL, 0x01020304);
  (void)object.AddDouble(0x00181050, vr::FD, 1.5);
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  ASSERT_EQ(object.GetValue(0x00020000, length, &value), DicomStatus::Success);
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(value[0], 0x04);
  EXPECT_EQ(value[3], 0x01);
  ASSERT_EQ(object.GetValue(0x00181050, length, &value), DicomStatus::Success);
  ASSERT_EQ(length, 8u);
  double back = 0;
  std::memcpy(&back, value, 8);
  EXPECT_EQ(back, 1.5);
}

TEST(DicomObjectMeta, TransferSyntaxAndSopClassSideEffects) {
  CDicomObject object;
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
  (void)object.AddString(0x00020010, vr::UI, "1.2.840.10008.1.2.2");
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ExplicitBigEndian);
  (void)object.AddString(0x00020010, vr::UI, "1.2.840.10008.1.2");
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ImplicitLittleEndian);
  EXPECT_TRUE(object.IsUncompressed());
  (void)object.AddString(0x00020010, vr::UI, "not a transfer syntax");
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
  EXPECT_FALSE(object.IsUncompressed());
  (void)object.AddString(0x00020010, vr::UI, "1.2.840.10008.1.2.2");
  EXPECT_FALSE(object.IsUncompressed());  // big endian counts as not plain
  (void)object.RemoveElement(0x00020010);
  EXPECT_TRUE(object.IsUncompressed());

  (void)object.AddString(0x00020002, vr::UI, "1.2.840.10008.5.1.4.1.1.7");
  EXPECT_EQ(object.GetSopClassUid(), "1.2.840.10008.5.1.4.1.1.7");
}

TEST(DicomObjectMeta, CreateMetaInformationBuildsTheMetaGroup) {
  CDicomObject object;
  EXPECT_TRUE(test::Succeeded(object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.7", "1.2.3.4.5", "1.2.840.10008.1.2",
                                         "1.3.6.1.4.1.58231.1", "QUILLON_010", "QUILLON")));
  TagArray tags;
  object.GetSortedTags(tags);
  EXPECT_EQ(tags, (TagArray{0x00020000, 0x00020001, 0x00020002, 0x00020003, 0x00020010, 0x00020012,
                            0x00020013, 0x00020016, 0x00080016, 0x00080018}));
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ImplicitLittleEndian);
  EXPECT_EQ(object.GetSopClassUid(), "1.2.840.10008.5.1.4.1.1.7");
  EXPECT_EQ(StringOf(object, 0x00080018), "1.2.3.4.5");
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  ASSERT_EQ(object.GetValue(0x00020001, length, &value), DicomStatus::Success);
  ASSERT_EQ(length, 2u);
  EXPECT_EQ(value[0], 0x00);
  EXPECT_EQ(value[1], 0x01);

  // Group length of group 0002 is always counted in explicit VR little
  // endian: 14 (version) + 8+26 + 8+10 + 8+18 + 8+20 + 8+12 + 8+8.
  EXPECT_EQ(object.GroupLength(0x0002), 14u + 34 + 18 + 26 + 28 + 20 + 16);
  EXPECT_EQ(object.GroupLength(0x0008), 8u + 26 + 8 + 10);
}

TEST(DicomObjectSizes, GroupLengthAndContentSizeFollowTheTransferMode) {
  CDicomObject object;
  (void)object.AddUInt32(0x00080000, vr::UL, 0);
  (void)object.AddString(0x00080060, vr::CS, "MR");
  std::string hundred(100, 'x');
  (void)object.AddValue(0x00091010, vr::OB, hundred.data(), 100);
  object.SetTransferMode(TransferMode::ImplicitLittleEndian);
  EXPECT_EQ(object.GroupLength(0x0008), 10u);
  EXPECT_EQ(object.ContentSize(), 12u + 10 + 108);
  object.SetTransferMode(TransferMode::ExplicitLittleEndian);
  EXPECT_EQ(object.ContentSize(), 12u + 10 + 112);
}

TEST(DicomObjectCopy, CopyIsDeepAndKeepsModeButNotSopClass) {
  CDicomObject source;
  (void)source.AddString(0x00020002, vr::UI, "1.2.840.10008.5.1.4.1.1.7");
  (void)source.AddString(0x00020010, vr::UI, "1.2.840.10008.1.2");
  (void)source.AddString(0x00100010, vr::PN, "DOE^JOHN");
  auto sequence = std::make_unique<CDicomSequence>(0x00081140);
  auto item = std::make_unique<CSequenceItem>();
  (void)item->AddString(0x00081150, vr::UI, "1.2.3");
  sequence->AppendItem(std::move(item));
  ASSERT_TRUE(test::Succeeded(source.AddSequence(std::move(sequence))));

  CDicomObject copy;
  (void)copy.AddString(0x00200010, vr::SH, "GONE");
  ASSERT_TRUE(copy.CopyFrom(&source));
  EXPECT_FALSE(copy.Contains(0x00200010));
  EXPECT_EQ(copy.GetTransferMode(), TransferMode::ImplicitLittleEndian);
  EXPECT_EQ(copy.GetSopClassUid(), "");
  EXPECT_EQ(copy.ElementCount(), 4u);

  // Changing the source afterwards does not reach the copy.
  CDicomSequence* sourceSequence = nullptr;
  ASSERT_EQ(source.GetSequence(0x00081140, &sourceSequence), DicomStatus::Success);
  (void)sourceSequence->GetItem(0)->AddString(0x00081150, vr::UI, "9.9.9");
  CDicomSequence* copySequence = nullptr;
  ASSERT_EQ(copy.GetSequence(0x00081140, &copySequence), DicomStatus::Success);
  EXPECT_EQ(StringOf(*copySequence->GetItem(0), 0x00081150), "1.2.3");

  EXPECT_TRUE(copy.CopyFrom(nullptr));
  EXPECT_EQ(copy.ElementCount(), 4u);
  EXPECT_TRUE(copy.CopyFrom(&copy));
  EXPECT_EQ(copy.ElementCount(), 4u);
}

TEST(DicomObjectCopy, CopyElementFromAnotherObject) {
  CDicomObject source;
  CDicomObject target;
  (void)source.AddString(0x00100010, vr::PN, "DOE^JOHN");
  (void)target.AddString(0x00100010, vr::PN, "OTHER");
  EXPECT_TRUE(test::Succeeded(target.CopyElementFrom(0x00100010, source)));
  EXPECT_EQ(StringOf(target, 0x00100010), "DOE^JOHN");
  EXPECT_FALSE(target.CopyElementFrom(0x00100020, source));
}

TEST(DicomObjectCopy, ClearKeepsModeAndSopClass) {
  CDicomObject object;
  (void)object.AddString(0x00020002, vr::UI, "1.2.3");
  (void)object.AddString(0x00020010, vr::UI, "1.2.840.10008.1.2");
  object.Clear();
  EXPECT_EQ(object.ElementCount(), 0u);
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ImplicitLittleEndian);
  EXPECT_EQ(object.GetSopClassUid(), "1.2.3");
}

}  // namespace

#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomPixelData.h"

namespace {

TEST(DicomObjectPixelData, AddedPixelDataBecomesAPixelElementOfTheRightKind) {
  CDicomObject native;
  (void)native.AddString(0x00020010, vr::UI, "1.2.840.10008.1.2.1");
  (void)native.AddValue(0x7FE00010, vr::OW, "\1\2\3\4", 4);
  CDicomElement* element = nullptr;
  ASSERT_EQ(native.GetElement(0x7FE00010, &element), DicomStatus::Success);
  auto* pixels = dynamic_cast<CDicomPixelData*>(element);
  ASSERT_NE(pixels, nullptr);
  EXPECT_FALSE(pixels->IsEncapsulated());
  EXPECT_TRUE(pixels->IsLoaded());
  EXPECT_EQ(pixels->GetLength(), 4u);

  CDicomObject compressed;
  (void)compressed.AddString(0x00020010, vr::UI, "1.2.840.10008.1.2.5");
  const std::string items = std::string("\xFE\xFF\x00\xE0\0\0\0\0", 8) + std::string("\xFE\xFF\x00\xE0\4\0\0\0abcd", 12);
  (void)compressed.AddValue(0x7FE00010, vr::OB, items.data(), static_cast<uint32_t>(items.size()));
  ASSERT_EQ(compressed.GetElement(0x7FE00010, &element), DicomStatus::Success);
  pixels = dynamic_cast<CDicomPixelData*>(element);
  ASSERT_NE(pixels, nullptr);
  EXPECT_TRUE(pixels->IsEncapsulated());

  // Bytes that are not fragments are kept as they are, not dropped.
  CDicomObject damaged;
  (void)damaged.AddString(0x00020010, vr::UI, "1.2.840.10008.1.2.5");
  (void)damaged.AddValue(0x7FE00010, vr::OB, "not items", 9);
  ASSERT_EQ(damaged.GetElement(0x7FE00010, &element), DicomStatus::Success);
  EXPECT_EQ(element->GetLength(), 10u);
  ASSERT_TRUE(element->HasValue());
  EXPECT_EQ(element->GetValue()[0], 'n');
}

}  // namespace
