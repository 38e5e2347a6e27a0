// De-identification of data sets: what each row of the profile does to an
// element under each option, at the top and inside sequence items; what
// the result records; which images are reported as possibly showing
// burned-in text; and, as a property, that random data sets de-identified
// twice under one key come out byte for byte the same.
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ElementRules.h"
#include "dicom/UidValidation.h"
#include "dicom/ValueRepresentation.h"
#include "edit/DateShift.h"
#include "edit/DeidentificationProfile.h"
#include "edit/Deidentifier.h"
#include "edit/UidMap.h"
#include "support/DicomFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace quillon;

namespace {

const UidMapKey kKey = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                        17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
constexpr DicomTag kReferencedImages = 0x00081140;
constexpr DicomTag kVoiLutSequence = 0x00283010;  // not in the table: its items are processed

CDicomObject CtImage() {
  CDicomObject object;
  EXPECT_TRUE(test::Succeeded(object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.2", "1.2.3.4.5",
                                                           "1.2.840.10008.1.2.1", "1.2.3", "TEST", "AE")));
  return object;
}

/// What the element is after de-identification.
enum class Outcome { Removed, Value, NewUid, Kept };

struct ElementCase {
  const char* what;
  DicomTag tag;
  DicomVR vr;
  const char* original;
  std::vector<ProfileOption> options;
  bool keepPrivate;
  Outcome outcome;
  const char* value;  ///< for Outcome::Value
};

// Study date of 2020-03-01 moved back by the patient's offset, checked
// separately; here every case that does not depend on the key.
const ElementCase kElementCases[] = {
    {"Z empties", 0x00100010, vr::PN, "DOE^JANE", {}, false, Outcome::Value, ""},
    {"Z/D takes the dummy", 0x00100020, vr::LO, "12345", {}, false, Outcome::Value, "ANONYMIZED"},
    {"X/D on a date takes a dummy date", 0x00080021, vr::DA, "20200301", {}, false, Outcome::Value, "19000101"},
    {"X/Z takes the empty value", 0x00080032, vr::TM, "101500", {}, false, Outcome::Value, ""},
    {"X/Z/D takes the dummy", 0x00080080, vr::LO, "General", {}, false, Outcome::Value, "ANONYMIZED"},
    {"X removes", 0x00101010, vr::AS, "045Y", {}, false, Outcome::Removed, ""},
    {"U replaces", 0x0020000D, vr::UI, "1.2.3.7", {}, false, Outcome::NewUid, ""},
    {"an attribute not in the table stays", 0x00080060, vr::CS, "CT", {}, false, Outcome::Kept, ""},
    {"private attributes go", 0x00091010, vr::LO, "SECRET", {}, false, Outcome::Removed, ""},
    {"private attributes stay when asked", 0x00091010, vr::LO, "SECRET", {}, true, Outcome::Kept, ""},
    {"Retain UIDs keeps a U row", 0x0020000D, vr::UI, "1.2.3.7", {ProfileOption::RetainUids}, false, Outcome::Kept,
     ""},
    {"Retain Institution Identity", 0x00080080, vr::LO, "General", {ProfileOption::RetainInstitutionIdentity},
     false, Outcome::Kept, ""},
    {"Retain Device Identity", 0x00181000, vr::LO, "SN-1", {ProfileOption::RetainDeviceIdentity}, false,
     Outcome::Kept, ""},
    {"Retain Patient Characteristics keeps the age", 0x00101010, vr::AS, "045Y",
     {ProfileOption::RetainPatientCharacteristics}, false, Outcome::Kept, ""},
    {"an option that does not name the row changes nothing", 0x00101010, vr::AS, "045Y",
     {ProfileOption::RetainUids}, false, Outcome::Removed, ""},
    {"Full Dates keeps dates", 0x00080021, vr::DA, "20200301", {ProfileOption::RetainLongitudinalFullDates}, false,
     Outcome::Kept, ""},
    {"Modified Dates keeps times of day", 0x00080032, vr::TM, "101500",
     {ProfileOption::RetainLongitudinalModifiedDates}, false, Outcome::Kept, ""},
    {"Clean Descriptors removes rather than guesses", 0x00081030, vr::LO, "Head of J. Doe",
     {ProfileOption::CleanDescriptors}, false, Outcome::Removed, ""},
};

class ElementTreatment : public ::testing::TestWithParam<ElementCase> {};

TEST_P(ElementTreatment, AtTheTopAndInsideItems) {
  const ElementCase& c = GetParam();
  CDicomObject object = CtImage();
  const std::string original(c.original);
  ASSERT_TRUE(test::Succeeded(object.AddValue(c.tag, c.vr, original.data(), static_cast<uint32_t>(original.size()))));
  auto sequence = std::make_unique<CDicomSequence>(kVoiLutSequence);
  auto item = std::make_unique<CSequenceItem>();
  ASSERT_TRUE(test::Succeeded(item->AddValue(c.tag, c.vr, original.data(), static_cast<uint32_t>(original.size()))));
  sequence->AppendItem(std::move(item));
  ASSERT_TRUE(test::Succeeded(object.AddSequence(std::move(sequence))));

  DeidentifyOptions options;
  options.keepPrivate = c.keepPrivate;
  for (const ProfileOption option : c.options) options.Set(option);
  CUidMap uids(kKey);
  ASSERT_TRUE(CDeidentifier(options, uids).Apply(object)) << c.what;

  CDicomSequence* kept = nullptr;
  ASSERT_EQ(object.GetSequence(kVoiLutSequence, &kept), DicomStatus::Success) << c.what;
  for (const CDicomObject* where : {static_cast<CDicomObject*>(&object), static_cast<CDicomObject*>(kept->GetItem(0))}) {
    std::string value;
    const bool present = where->GetString(c.tag, value) == DicomStatus::Success;
    ASSERT_EQ(present, c.outcome != Outcome::Removed) << c.what;
    switch (c.outcome) {
      case Outcome::Value: EXPECT_EQ(value, c.value) << c.what; break;
      case Outcome::Kept: EXPECT_EQ(value, original) << c.what; break;
      case Outcome::NewUid:
        EXPECT_NE(value, original) << c.what;
        EXPECT_TRUE(IsValidUid(value)) << value;
        break;
      case Outcome::Removed: break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Profile, ElementTreatment, ::testing::ValuesIn(kElementCases));

TEST(Deidentifier, RecordsWhatWasDoneAndTheMetaGroupFollowsTheNewInstance) {
  struct Case {
    std::vector<ProfileOption> options;
    std::vector<std::string> codes;
    const char* dates;
  };
  const Case cases[] = {
      {{}, {"113100"}, "REMOVED"},
      {{ProfileOption::RetainUids, ProfileOption::RetainLongitudinalModifiedDates},
       {"113100", "113110", "113107"},
       "MODIFIED"},
      {{ProfileOption::RetainLongitudinalFullDates, ProfileOption::CleanDescriptors},
       {"113100", "113106", "113105"},
       "UNMODIFIED"},
  };
  for (const Case& c : cases) {
    CDicomObject object = CtImage();
    DeidentifyOptions options;
    for (const ProfileOption option : c.options) options.Set(option);
    CUidMap uids(kKey);
    ASSERT_TRUE(CDeidentifier(options, uids).Apply(object));
    std::string text;
    ASSERT_EQ(object.GetString(0x00120062, text), DicomStatus::Success);
    EXPECT_EQ(text, "YES");
    ASSERT_EQ(object.GetString(0x00280303, text), DicomStatus::Success);
    EXPECT_EQ(text, c.dates);
    ASSERT_EQ(object.GetString(0x00120063, text), DicomStatus::Success);
    EXPECT_EQ(text.rfind("Basic Application Confidentiality Profile", 0), 0u) << text;
    CDicomSequence* methods = nullptr;
    ASSERT_EQ(object.GetSequence(0x00120064, &methods), DicomStatus::Success);
    std::vector<std::string> codes;
    for (size_t i = 0; i < methods->GetItemCount(); ++i) {
      ASSERT_EQ(methods->GetItem(i)->GetString(0x00080100, codes.emplace_back()), DicomStatus::Success);
    }
    EXPECT_EQ(std::set(codes.begin(), codes.end()), std::set(c.codes.begin(), c.codes.end()));
    std::string instance;
    std::string meta;
    ASSERT_EQ(object.GetString(tags::kSopInstanceUid, instance), DicomStatus::Success);
    ASSERT_EQ(object.GetString(tags::kMediaStorageSopInstanceUid, meta), DicomStatus::Success);
    EXPECT_EQ(meta, instance);
    EXPECT_EQ(instance == "1.2.3.4.5", options.Has(ProfileOption::RetainUids)) << instance;
  }
}

TEST(Deidentifier, ModifiedDatesMoveEveryDateOfAPatientByOneOffset) {
  CUidMap uids(kKey);
  DeidentifyOptions options;
  options.Set(ProfileOption::RetainLongitudinalModifiedDates);
  std::vector<std::string> studyDates;
  for (const char* date : {"20200301", "20200311"}) {
    CDicomObject object = CtImage();
    ASSERT_TRUE(test::Succeeded(object.AddString(0x00100020, vr::LO, "PAT-1")));
    ASSERT_TRUE(test::Succeeded(object.AddString(0x00080020, vr::DA, date)));
    ASSERT_TRUE(CDeidentifier(options, uids).Apply(object));
    ASSERT_EQ(object.GetString(0x00080020, studyDates.emplace_back()), DicomStatus::Success);
  }
  // Moved back by the patient's offset; ten days apart before and after.
  EXPECT_EQ(studyDates[0], ShiftDates("20200301", vr::DA, uids.DateShiftDays("PAT-1")).value_or("none"));
  EXPECT_NE(studyDates[0], "20200301");
  EXPECT_EQ(studyDates[1], ShiftDates(studyDates[0], vr::DA, 10).value_or("none"));
}

TEST(Deidentifier, ImagesThatMayShowBurnedInTextAreReported) {
  struct Case {
    const char* sopClass;
    const char* burnedIn;  ///< null: the attribute is absent
    bool reported;
  };
  const Case cases[] = {
      {"1.2.840.10008.5.1.4.1.1.2", nullptr, false},  // CT
      {"1.2.840.10008.5.1.4.1.1.2", "YES", true},
      {"1.2.840.10008.5.1.4.1.1.7", nullptr, true},  // secondary capture
      {"1.2.840.10008.5.1.4.1.1.7", "NO", false},
      {"1.2.840.10008.5.1.4.1.1.6.1", nullptr, true},  // ultrasound
      {"1.2.840.10008.5.1.4.1.1.7.2", nullptr, true},  // multi-frame secondary capture
      {"1.2.840.10008.5.1.4.1.1.77.1.1", nullptr, false},  // endoscopy, no capture
  };
  for (const Case& c : cases) {
    CDicomObject object;
    ASSERT_TRUE(test::Succeeded(object.AddString(tags::kSopClassUid, vr::UI, c.sopClass)));
    if (c.burnedIn != nullptr) {
      ASSERT_TRUE(test::Succeeded(object.AddString(0x00280301, vr::CS, c.burnedIn)));
    }
    EXPECT_EQ(!BurnedInAnnotationReason(object).empty(), c.reported) << c.sopClass << " " << (c.burnedIn ? c.burnedIn : "-");
  }
}

/// Random data sets of the table's attributes (and some it does not list),
/// with values valid for their VRs, nested up to three items deep.
class RandomDataSet {
 public:
  explicit RandomDataSet(uint32_t seed) : m_random(seed) {}

  CDicomObject Make() {
    CDicomObject object = CtImage();
    Fill(object, 0);
    return object;
  }

 private:
  size_t Pick(size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(m_random); }
  std::string Value(DicomVR vr) {
    switch (vr) {
      case vr::UI: return "1.2." + std::to_string(Pick(5)) + "." + std::to_string(Pick(1000));
      case vr::DA: return "20" + std::to_string(10 + Pick(10)) + "0" + std::to_string(1 + Pick(9)) + "15";
      case vr::TM: return "1" + std::to_string(Pick(10)) + "3000";
      case vr::DT: return "2019071" + std::to_string(Pick(10)) + "101010";
      case vr::US: return std::string(2, static_cast<char>(Pick(200)));
      case vr::SQ: return {};
      default: return "V" + std::to_string(Pick(100));
    }
  }
  void Fill(CDicomObject& object, int depth) {
    const auto rows = ProfileRows();
    for (size_t n = 0; n < 12; ++n) {
      const ProfileRow& row = rows[Pick(rows.size())];
      if (TagGroup(row.tag) == 0x0002 || TagGroup(row.tag) == 0x0000 || row.vr == 0) continue;
      if (row.vr == vr::SQ || Pick(8) == 0) {
        if (depth >= 3) continue;
        auto sequence = std::make_unique<CDicomSequence>(row.vr == vr::SQ ? row.tag : kReferencedImages);
        for (size_t i = Pick(3); i > 0; --i) {
          auto item = std::make_unique<CSequenceItem>();
          Fill(*item, depth + 1);
          sequence->AppendItem(std::move(item));
        }
        (void)object.AddSequence(std::move(sequence));
        continue;
      }
      const DicomVR vr = row.vr == vr::UI || row.vr == vr::DA || row.vr == vr::TM || row.vr == vr::DT ||
                                 row.vr == vr::US
                             ? row.vr
                             : vr::LO;
      const std::string value = Value(vr);
      (void)object.AddValue(row.tag, vr, value.data(), static_cast<uint32_t>(value.size()));
    }
    const std::string secret = "PRIVATE";
    (void)object.AddValue(0x00091010 + static_cast<DicomTag>(Pick(4)), vr::LO, secret.data(), 7);
  }

  std::mt19937 m_random;
};

/// Every element at every depth, called with its tag.
void ForEachElement(const CDicomObject& object, const std::function<void(DicomTag)>& visit) {
  for (const auto& entry : object.Elements().Sorted()) {
    visit(entry.tag);
    if (const auto* sequence = dynamic_cast<const CDicomSequence*>(entry.element.get())) {
      for (size_t i = 0; i < sequence->GetItemCount(); ++i) ForEachElement(*sequence->GetItem(i), visit);
    }
  }
}

TEST(DeidentifierProperty, TwiceWithOneKeyGivesTheSameBytesAndLeavesNothingTheProfileRemoves) {
  const std::vector<DeidentifyOptions> optionSets = [] {
    std::vector<DeidentifyOptions> sets(3);
    sets[1].Set(ProfileOption::RetainLongitudinalModifiedDates);
    sets[1].Set(ProfileOption::CleanStructuredContent);
    sets[2].Set(ProfileOption::RetainPatientCharacteristics);
    sets[2].keepPrivate = true;
    return sets;
  }();
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    const DeidentifyOptions& options = optionSets[seed % optionSets.size()];
    std::vector<std::vector<uint8_t>> outputs;
    for (int run = 0; run < 2; ++run) {
      CDicomObject object = RandomDataSet(seed).Make();
      CUidMap uids(kKey);  // a new map each run: only the key is shared
      ASSERT_TRUE(CDeidentifier(options, uids).Apply(object)) << "seed " << seed;
      outputs.push_back(test::WriteToBytes(object));
      ASSERT_FALSE(outputs.back().empty()) << "seed " << seed;
      ForEachElement(object, [&](DicomTag tag) {
        const ProfileRow* row = FindProfileRow(tag);
        if (row == nullptr || (options.keepPrivate && (TagGroup(tag) & 1u) != 0)) return;
        bool optionKeeps = false;
        for (size_t i = 0; i < kProfileOptionCount; ++i) {
          const auto option = static_cast<ProfileOption>(i);
          optionKeeps = optionKeeps || (options.Has(option) && row->For(option) != ProfileAction::None);
        }
        EXPECT_TRUE(optionKeeps || row->basic != ProfileAction::Remove)
            << "seed " << seed << ": " << FormatTag(tag) << " should be gone";
      });
    }
    EXPECT_EQ(outputs[0], outputs[1]) << "seed " << seed;
  }
}

}  // namespace
