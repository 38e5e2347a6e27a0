// What the element list shows: collapsing a sequence or item hides exactly
// its rows down to its end marker, a hidden row can be revealed, a filter
// shows the matches with their parents, collapse survives a rebuild, and
// Find goes backwards as it goes forwards.
#include "app/RowOutline.h"

#include "AppTestFiles.h"
#include "app/DumpRowList.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomElement.h"
#include "support/DicomFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quillon::test {
namespace {

class NestedOutline : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeNestedFile(file);
    ASSERT_TRUE(test::LoadInto(object, file, false));
    rows.Rebuild(object);
    outline.Rebuild(rows);
  }
  std::vector<int> Shown() const {
    std::vector<int> shown;
    for (int i = 0; i < outline.VisibleCount(); ++i) shown.push_back(outline.RowAt(i));
    return shown;
  }
  /// The end marker that closes the sequence or item of `row`, found from
  /// the rows' levels alone.
  int CloseOf(int row) const {
    const DumpRow& open = rows.At(static_cast<size_t>(row));
    for (size_t i = static_cast<size_t>(row) + 1; i < rows.Size(); ++i) {
      const DumpRow& r = rows.At(i);
      if (r.kind == DumpRowKind::EndMarker && r.level == open.level &&
          r.endsSequence == (open.kind == DumpRowKind::Sequence)) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }
  TempDir dir{"outline"};
  std::string file = dir / "nested.dcm";
  CDicomObject object;
  DumpRowList rows;
  CRowOutline outline;
};

TEST_F(NestedOutline, CollapsingHidesExactlyTheRowsDownToTheEndMarker) {
  const int count = static_cast<int>(rows.Size());
  EXPECT_EQ(outline.VisibleCount(), count);
  int collapsible = 0;
  for (int row = 0; row < count; ++row) {
    if (!outline.IsCollapsible(row)) {
      EXPECT_FALSE(outline.SetCollapsed(row, true)) << row;
      continue;
    }
    ++collapsible;
    const int close = CloseOf(row);
    ASSERT_GT(close, row);
    ASSERT_TRUE(outline.SetCollapsed(row, true));
    std::vector<int> expected;
    for (int i = 0; i < count; ++i) {
      if (i <= row || i > close) expected.push_back(i);
    }
    EXPECT_EQ(Shown(), expected) << "row " << row;
    EXPECT_EQ(outline.ShownIndexOf(close), -1);
    // A hidden row is shown again by revealing it.
    outline.Reveal(close - 1);
    EXPECT_EQ(outline.VisibleCount(), count);
    EXPECT_FALSE(outline.IsCollapsed(row));
  }
  EXPECT_GE(collapsible, 4);
}

TEST_F(NestedOutline, ACollapsedSequenceStaysCollapsedAfterARebuild) {
  int sequenceRow = -1;
  for (int row = 0; row < static_cast<int>(rows.Size()) && sequenceRow < 0; ++row) {
    if (rows.At(static_cast<size_t>(row)).kind == DumpRowKind::Sequence) sequenceRow = row;
  }
  ASSERT_TRUE(outline.SetCollapsed(sequenceRow, true));
  const int shown = outline.VisibleCount();
  rows.Rebuild(object);
  outline.Rebuild(rows);
  EXPECT_TRUE(outline.IsCollapsed(sequenceRow));
  EXPECT_EQ(outline.VisibleCount(), shown);
}

TEST_F(NestedOutline, AFilterShowsTheMatchesWithTheirParents) {
  for (const std::string typed : {"0008,1155", "(0008,1150)", "sop instance", "no such text anywhere", ""}) {
    const FindQuery query = FindQuery::Parse(typed);
    outline.SetFilter(query);
    std::vector<bool> expected(rows.Size(), typed.empty());
    for (size_t row = 0; row < rows.Size() && !typed.empty(); ++row) {
      if (!RowMatches(rows, row, query)) continue;
      for (int shown = static_cast<int>(row); shown >= 0; shown = outline.ParentOf(shown)) expected[static_cast<size_t>(shown)] = true;
    }
    std::vector<bool> shown(rows.Size(), false);
    for (const int row : Shown()) shown[static_cast<size_t>(row)] = true;
    EXPECT_EQ(shown, expected) << typed;
    EXPECT_EQ(outline.IsFiltering(), !typed.empty());
  }
}

TEST_F(NestedOutline, FindBackwardsIsFindForwardsReversed) {
  const FindQuery query = FindQuery::Parse("end");  // the end markers, and more
  std::vector<int> matches;
  for (size_t row = 0; row < rows.Size(); ++row) {
    if (RowMatches(rows, row, query)) matches.push_back(static_cast<int>(row));
  }
  ASSERT_GE(matches.size(), 2u);
  for (int start = -1; start < static_cast<int>(rows.Size()); ++start) {
    // The nearest match above, else round past the first row to the last.
    const int expected = start >= 0 && matches.front() < start
                             ? *std::prev(std::lower_bound(matches.begin(), matches.end(), start))
                             : matches.back();
    EXPECT_EQ(FindPreviousRow(rows, start, query), expected) << start;
  }
}

}  // namespace
}  // namespace quillon::test
