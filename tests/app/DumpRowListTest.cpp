// The element list's rows: the same lines as the command-line dump, the
// container of nested rows, and display text that no value can break.
#include "app/DumpRowList.h"

#include "AppTestFiles.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"

#include "support/DicomFiles.h"

#include <gtest/gtest.h>

#include <sstream>

namespace quillon::test {
namespace {

/// The nested-sequence file made by DCMTK, read, and its rows.
class NestedRows : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeNestedFile(file);
    ASSERT_TRUE(test::LoadInto(object, file, false));
    rows.Rebuild(object);
  }
  TempDir dir{"rows"};
  std::string file = dir / "nested.dcm";
  CDicomObject object;
  DumpRowList rows;
};

TEST_F(NestedRows, AreTheLinesOfTheCommandLineDump) {
  const CommandResult dump = RunShell(std::string(QUILLON_CLI_PATH) + " dump " + file);
  ASSERT_EQ(dump.exitCode, 0);
  std::istringstream lines(dump.out);
  std::string line;
  size_t index = 0;
  while (std::getline(lines, line)) {
    ASSERT_LT(index, rows.Size());
    EXPECT_EQ(rows.RawText(index), line) << "row " << index;
    ++index;
  }
  EXPECT_EQ(index, rows.Size());
}

// Float and Double Float Pixel Data rows show the image as Pixel Data's do.
TEST_F(NestedRows, FloatPixelDataRowsAreImageRows) {
  const float samples[4] = {0.5f, -1.0f, 2.0f, 3.5f};
  for (const DicomTag tag : {DicomTag{0x7FE00008}, DicomTag{0x7FE00009}}) {
    ASSERT_TRUE(object.AddValue(tag, tag == 0x7FE00008 ? vr::OF : vr::OD, samples, sizeof samples));
  }
  rows.Rebuild(object);
  for (const DicomTag tag : {DicomTag{0x7FE00008}, DicomTag{0x7FE00009}}) {
    const int row = rows.RowOf(object.Elements().Find(tag));
    ASSERT_GE(row, 0);
    EXPECT_EQ(rows.At(static_cast<size_t>(row)).kind, DumpRowKind::PixelData) << tag;
  }
}

TEST_F(NestedRows, FindTheirItemAndSequence) {
  // (0008,1140) with two items; the first holds a nested sequence and, after
  // it, (0008,1155): that element belongs to the first item, not to the
  // nested one.
  CDicomSequence* outer = nullptr;
  ASSERT_EQ(object.GetSequence(0x00081140, &outer), DicomStatus::Success);

  const int sequenceRow = rows.RowOf(outer);
  ASSERT_GE(sequenceRow, 0);
  EXPECT_EQ(rows.At(static_cast<size_t>(sequenceRow)).kind, DumpRowKind::Sequence);
  const int firstItemRow = sequenceRow + 1;
  const int secondItemRow = rows.RowOf(outer->GetItem(1));
  const int afterNested = rows.RowOf(outer->GetItem(0)->Elements().Find(0x00081155));
  ASSERT_GT(afterNested, firstItemRow);
  EXPECT_EQ(rows.ContainerItemOf(afterNested), outer->GetItem(0));
  EXPECT_EQ(rows.ContainerItemOf(secondItemRow + 1), outer->GetItem(1));
  EXPECT_EQ(rows.ContainerItemOf(sequenceRow), nullptr);

  CDicomSequence* found = nullptr;
  size_t itemIndex = 9;
  ASSERT_TRUE(rows.FindItem(secondItemRow, found, itemIndex));
  EXPECT_EQ(found, outer);
  EXPECT_EQ(itemIndex, 1u);
  EXPECT_FALSE(rows.FindItem(sequenceRow, found, itemIndex));

  // Only rows of the top-level data set yield a tag.
  EXPECT_EQ(rows.TagOfRow(sequenceRow), 0x00081140u);
  EXPECT_FALSE(rows.TagOfRow(afterNested).has_value());
  EXPECT_FALSE(rows.TagOfRow(firstItemRow).has_value());
}

TEST(DumpRowList, DisplayTextDecodesTheCharacterSetAndShowsControlCharacters) {
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00080005, vr::CS, "ISO_IR 192")));
  ASSERT_TRUE(test::Succeeded(object.AddString(0x00104000, vr::LT, "first\r\nJ\xC3\xB6rg\t!")));
  auto item = std::make_unique<CSequenceItem>();
  const CSequenceItem* inner = item.get();
  ASSERT_TRUE(test::Succeeded(item->AddString(0x00080005, vr::CS, "ISO_IR 100")));
  ASSERT_TRUE(test::Succeeded(item->AddString(0x00100010, vr::PN, "M\xFCller")));
  auto sequence = std::make_unique<CDicomSequence>(0x00081140);
  sequence->AppendItem(std::move(item));
  ASSERT_TRUE(test::Succeeded(object.AddSequence(std::move(sequence))));
  DumpRowList rows;
  rows.Rebuild(object);

  const int comment = rows.RowOf(object.Elements().Find(0x00104000));
  const std::string shown = rows.DisplayText(static_cast<size_t>(comment));
  EXPECT_NE(shown.find("first\xE2\x90\x8D\xE2\x90\x8AJ\xC3\xB6rg\xE2\x90\x89!"), std::string::npos) << shown;
  // The item declares Latin-1 for itself.
  const int name = rows.RowOf(inner->Elements().Find(0x00100010));
  ASSERT_GE(name, 0);
  EXPECT_NE(rows.DisplayText(static_cast<size_t>(name)).find("M\xC3\xBCller"), std::string::npos);
}

}  // namespace
}  // namespace quillon::test
