// Batch editing: the edits of CDataSetEditor at tag paths into sequence
// items, and the batch's plan and run over folders (the tree mirrored,
// originals never replaced unless in place, files that are no DICOM
// skipped, failures counted with their reason).
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ValueRepresentation.h"
#include "edit/BatchPlan.h"
#include "edit/BatchRunner.h"
#include "edit/DataSetEditor.h"
#include "edit/UidMap.h"
#include "support/DicomFiles.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace quillon;

namespace {

constexpr DicomTag kReferencedImages = 0x00081140;
constexpr DicomTag kReferencedClass = 0x00081150;
constexpr DicomTag kReferencedInstance = 0x00081155;

/// A data set with a two-item Referenced Image Sequence and a private
/// element at the top and in the second item.
CDicomObject WithReferences(const char* charset = nullptr) {
  CDicomObject object;
  EXPECT_TRUE(test::Succeeded(object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.2", "1.2.3.4.5",
                                                           "1.2.840.10008.1.2.1", "1.2.3", "TEST", "AE")));
  if (charset != nullptr) {
    EXPECT_TRUE(test::Succeeded(object.AddString(0x00080005, vr::CS, charset)));
  }
  EXPECT_TRUE(test::Succeeded(object.AddString(0x00100010, vr::PN, "DOE^JANE")));
  EXPECT_TRUE(test::Succeeded(object.AddString(0x0020000D, vr::UI, "1.2.3.100")));
  EXPECT_TRUE(test::Succeeded(object.AddString(0x00091010, vr::LO, "PRIVATE")));
  auto sequence = std::make_unique<CDicomSequence>(kReferencedImages);
  for (const char* instance : {"1.2.3.10", "1.2.3.11"}) {
    auto item = std::make_unique<CSequenceItem>();
    EXPECT_TRUE(test::Succeeded(item->AddString(kReferencedClass, vr::UI, "1.2.840.10008.5.1.4.1.1.2")));
    EXPECT_TRUE(test::Succeeded(item->AddString(kReferencedInstance, vr::UI, instance)));
    EXPECT_TRUE(test::Succeeded(item->AddString(0x00100010, vr::PN, "DOE^JANE")));
    sequence->AppendItem(std::move(item));
  }
  EXPECT_TRUE(test::Succeeded(sequence->GetItem(1)->AddString(0x00091010, vr::LO, "PRIVATE")));
  EXPECT_TRUE(test::Succeeded(object.AddSequence(std::move(sequence))));
  return object;
}

/// The value at a path written "TAG" or "TAG[i].TAG", or "-" when absent.
std::string ValueAt(const CDicomObject& object, DicomTag tag, int item = -1, DicomTag inner = 0) {
  const CDicomObject* where = &object;
  if (item >= 0) {
    CDicomSequence* sequence = nullptr;
    if (object.GetSequence(tag, &sequence) != DicomStatus::Success) return "-";
    where = sequence->GetItem(static_cast<size_t>(item));
    if (where == nullptr) return "-";
    tag = inner;
  }
  std::string value;
  return where->GetString(tag, value) == DicomStatus::Success ? value : "-";
}

struct EditCase {
  const char* what;
  std::vector<std::string> sets;
  std::vector<std::string> replaces;
  std::vector<std::string> erasures;
  const char* charset;
  /// The values afterwards: name at the top, name in item 0 and 1, the
  /// instance of item 0 and 1, private at the top and in item 1.
  std::vector<std::string> expected;
};

const EditCase kEditCases[] = {
    {"set at the top", {"(0010,0010)=Anon^Patient"}, {}, {}, nullptr,
     {"Anon^Patient", "DOE^JANE", "DOE^JANE", "1.2.3.10", "1.2.3.11", "PRIVATE", "PRIVATE"}},
    {"set in one item", {"(0008,1140)[0].(0008,1155)=1.2.9"}, {}, {}, nullptr,
     {"DOE^JANE", "DOE^JANE", "DOE^JANE", "1.2.9", "1.2.3.11", "PRIVATE", "PRIVATE"}},
    {"set in every item", {"(0008,1140)[*].(0010,0010)=X"}, {}, {}, nullptr,
     {"DOE^JANE", "X", "X", "1.2.3.10", "1.2.3.11", "PRIVATE", "PRIVATE"}},
    {"replace only where present", {}, {"(0008,1140)[*].(0010,0020)=ID", "(0010,0010)=R"}, {}, nullptr,
     {"R", "DOE^JANE", "DOE^JANE", "1.2.3.10", "1.2.3.11", "PRIVATE", "PRIVATE"}},
    {"erase in one item", {}, {}, {"(0008,1140)[1].(0008,1155)"}, nullptr,
     {"DOE^JANE", "DOE^JANE", "DOE^JANE", "1.2.3.10", "-", "PRIVATE", "PRIVATE"}},
    {"erase an item", {}, {}, {"(0008,1140)[0]"}, nullptr,
     {"DOE^JANE", "DOE^JANE", "-", "1.2.3.11", "-", "PRIVATE", "-"}},
    {"values go into the character set", {"(0010,0010)=M\xC3\xBCller"}, {}, {}, "ISO_IR 100",
     {"M\xFCller", "DOE^JANE", "DOE^JANE", "1.2.3.10", "1.2.3.11", "PRIVATE", "PRIVATE"}},
};

class DataSetEdits : public ::testing::TestWithParam<EditCase> {};

TEST_P(DataSetEdits, ReachIntoSequenceItems) {
  const EditCase& c = GetParam();
  CDataSetEditor editor;
  for (const std::string& text : c.sets) {
    auto parsed = ParseAssignment(text);
    ASSERT_TRUE(parsed) << parsed.Message();
    editor.Set(parsed->first, parsed->second);
  }
  for (const std::string& text : c.replaces) {
    auto parsed = ParseAssignment(text);
    ASSERT_TRUE(parsed) << parsed.Message();
    editor.Replace(parsed->first, parsed->second);
  }
  for (const std::string& text : c.erasures) editor.Erase(*ParseTagPath(text));
  CDicomObject object = WithReferences(c.charset);
  ASSERT_TRUE(test::Succeeded(editor.Apply(object))) << c.what;
  CDicomElement* name = nullptr;
  ASSERT_EQ(object.GetElement(0x00100010, &name), DicomStatus::Success);
  const std::vector<std::string> actual = {
      std::string(name->GetTextView().substr(0, name->GetTextView().find_last_not_of(' ') + 1)),
      ValueAt(object, kReferencedImages, 0, 0x00100010), ValueAt(object, kReferencedImages, 1, 0x00100010),
      ValueAt(object, kReferencedImages, 0, kReferencedInstance), ValueAt(object, kReferencedImages, 1, kReferencedInstance),
      ValueAt(object, 0x00091010), ValueAt(object, kReferencedImages, 1, 0x00091010)};
  EXPECT_EQ(actual, c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Editor, DataSetEdits, ::testing::ValuesIn(kEditCases));

TEST(DataSetEditor, ErasesAtEveryDepthAndRenewsUidsConsistently) {
  UidMapKey key{};
  CUidMap uids(key);
  CDataSetEditor editor;
  editor.EraseEverywhere(0x00100010);
  editor.ErasePrivate();
  editor.RenewUids(uids);
  CDicomObject first = WithReferences();
  CDicomObject second = WithReferences();
  ASSERT_TRUE(test::Succeeded(editor.Apply(first)));
  ASSERT_TRUE(test::Succeeded(editor.Apply(second)));
  for (const auto& [tag, item] : {std::pair{DicomTag{0x00100010}, -1}, {0x00091010, -1}, {0x00100010, 0}, {0x00091010, 1}}) {
    EXPECT_EQ(ValueAt(first, item < 0 ? tag : kReferencedImages, item, tag), "-") << FormatTag(tag);
  }
  EXPECT_EQ(ValueAt(first, 0x0020000D), uids.NewUid("1.2.3.100"));
  EXPECT_EQ(ValueAt(first, 0x0020000D), ValueAt(second, 0x0020000D));
  EXPECT_EQ(ValueAt(first, tags::kSopInstanceUid), ValueAt(first, tags::kMediaStorageSopInstanceUid));
  EXPECT_NE(ValueAt(first, tags::kSopInstanceUid), "1.2.3.4.5");
}

TEST(DataSetEditor, RefusesBadValuesNamingThePath) {
  const struct {
    const char* assignment;
    const char* reason;
  } cases[] = {
      {"(0010,0030)=1st of May", "(0010,0030)"},
      {"(0008,1140)[0].(0008,1155)=1.02", "(0008,1140)[0].(0008,1155)"},
      {"(0010,0010)[0].(0010,0020)=X", "is no sequence"},
      {"(0008,1140)=X", "is a sequence"},
      {"(0009,1099)=X", "is not known"},
      {"(0010,0010)=\xE5\xB1\xB1", "(0010,0010)"},
  };
  for (const auto& c : cases) {
    auto parsed = ParseAssignment(c.assignment);
    ASSERT_TRUE(parsed) << parsed.Message();
    CDataSetEditor editor;
    editor.Set(parsed->first, parsed->second);
    CDicomObject object = WithReferences();
    const Status status = editor.Apply(object);
    ASSERT_FALSE(status) << c.assignment;
    EXPECT_NE(status.Message().find(c.reason), std::string::npos) << status.Message();
  }
  EXPECT_FALSE(ParseAssignment("(0010,0010)"));
}

struct BatchFolders : ::testing::Test {
  void SetUp() override {
    std::filesystem::create_directories(m_dir / "in/a/b");
    const std::vector<uint8_t> bytes = test::WriteToBytes(WithReferences());
    for (const char* name : {"in/one.dcm", "in/a/two.dcm", "in/a/b/three"}) {
      test::WriteText(m_dir / name, std::string(bytes.begin(), bytes.end()));
    }
    test::WriteText(m_dir / "in/a/notes.txt", "not DICOM");
    std::string broken(bytes.begin(), bytes.begin() + 200);
    test::WriteText(m_dir / "in/a/b/broken.dcm", broken);
  }
  test::TempDir m_dir{"batch"};
};

TEST_F(BatchFolders, MirrorTheTreeAndNeverReplaceOriginalsUnlessInPlace) {
  const Result<BatchPlan> plan = PlanBatch({m_dir / "in"}, m_dir / "out", false);
  ASSERT_TRUE(plan) << plan.Message();
  std::vector<std::string> targets;
  for (const BatchFile& file : plan->files) targets.push_back(std::filesystem::relative(file.target, m_dir.Path()));
  EXPECT_EQ(targets, (std::vector<std::string>{"out/a/b/broken.dcm", "out/a/b/three", "out/a/notes.txt",
                                               "out/a/two.dcm", "out/one.dcm"}));
  // Refused: nowhere to write, and results over their sources.
  EXPECT_FALSE(PlanBatch({m_dir / "in"}, "", false));
  EXPECT_FALSE(PlanBatch({m_dir / "in"}, m_dir / "in", false));
  EXPECT_FALSE(PlanBatch({m_dir / "in/one.dcm"}, m_dir / "in", false));
  // An output inside the input is no input; a missing input is a failure.
  const Result<BatchPlan> inside = PlanBatch({m_dir / "in", m_dir / "missing"}, m_dir / "in/a", false);
  ASSERT_TRUE(inside) << inside.Message();
  ASSERT_EQ(inside->files.size(), 1u);
  ASSERT_EQ(inside->failures.size(), 1u);
  // Two sources for one target: the second is refused, not overwritten.
  const Result<BatchPlan> clash = PlanBatch({m_dir / "in/one.dcm", m_dir / "in/a/b/three", m_dir / "in/one.dcm"},
                                            m_dir / "out", false);
  ASSERT_TRUE(clash);
  EXPECT_EQ(clash->files.size(), 2u);
  EXPECT_EQ(clash->failures.size(), 1u);
  const Result<BatchPlan> inPlace = PlanBatch({m_dir / "in"}, "", true);
  ASSERT_TRUE(inPlace);
  for (const BatchFile& file : inPlace->files) EXPECT_EQ(file.source, file.target);
}

TEST_F(BatchFolders, RunCountsWrittenSkippedAndFailedFiles) {
  const std::string original = test::ReadBytes(m_dir / "in/one.dcm");
  CDataSetEditor editor;
  editor.Set(*ParseTagPath("(0010,0010)"), "EDITED");
  const BatchEdit edit = [&editor](CDicomObject& dataSet, std::vector<std::string>& notes) {
    notes.push_back("noted");
    return editor.Apply(dataSet);
  };
  for (const unsigned jobs : {1u, 3u}) {
    std::filesystem::remove_all(m_dir / "out");
    size_t reports = 0;
    const BatchSummary summary = RunBatch(*PlanBatch({m_dir / "in"}, m_dir / "out", false), edit, jobs,
                                          [&reports](size_t done, size_t total) {
                                            EXPECT_LE(done, total);
                                            ++reports;
                                            return true;
                                          });
    EXPECT_EQ(reports, 5u);
    EXPECT_EQ(summary.written, 3u);
    EXPECT_EQ(summary.notDicom, std::vector<std::string>{m_dir / "in/a/notes.txt"});
    ASSERT_EQ(summary.failures.size(), 1u);
    EXPECT_EQ(summary.failures[0].first, m_dir / "in/a/b/broken.dcm");
    EXPECT_EQ(summary.notes.size(), 3u);
    EXPECT_FALSE(summary.cancelled);
    EXPECT_NE(summary.Describe(10).find("3 of 5 files written, 1 skipped (not DICOM), 1 failed"), std::string::npos)
        << summary.Describe(10);
    CDicomObject result;
    ASSERT_TRUE(test::LoadInto(result, m_dir / "out/a/b/three"));
    EXPECT_EQ(ValueAt(result, 0x00100010), "EDITED");
    EXPECT_FALSE(std::filesystem::exists(m_dir / "out/a/b/broken.dcm"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "out/a/notes.txt"));
  }
  EXPECT_EQ(test::ReadBytes(m_dir / "in/one.dcm"), original);
  // Stopping after the first file starts no other.
  const BatchSummary stopped = RunBatch(*PlanBatch({m_dir / "in"}, m_dir / "out2", false), edit, 1,
                                        [](size_t, size_t) { return false; });
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_LE(stopped.written + stopped.notDicom.size() + stopped.failures.size(), 1u);
}

}  // namespace
