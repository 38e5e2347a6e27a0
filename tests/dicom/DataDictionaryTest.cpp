// The data dictionary: the table's shape, the rules answered before it, the
// tags whose VR depends on the SOP class, and a cross-check with DCMTK's
// installed dictionary.
#include "dicom/DataDictionary.h"

#include "dicom/ValueRepresentation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

using namespace quillon;

namespace {

TEST(DataDictionary, RowsAscendAndEachIsFoundByItsLookup) {
  ASSERT_GT(kDataDictionarySize, 1000u);
  EXPECT_EQ(kDataDictionary[0].Tag(), 0x00020000u);
  EXPECT_EQ(kDataDictionary[kDataDictionarySize - 2].Tag(), 0xFFFEE0DDu);
  EXPECT_EQ(kDataDictionary[kDataDictionarySize - 1].Tag(), 0u);  // the terminator
  EXPECT_EQ(kDataDictionary[kDataDictionarySize - 1].vr, 0u);
  for (size_t i = 0; i + 1 < kDataDictionarySize; ++i) {
    const DictionaryRecord& row = kDataDictionary[i];
    if (i > 0) { ASSERT_LT(kDataDictionary[i - 1].Tag(), row.Tag()) << "row " << i; }
    // Group lengths and private creators are answered by rule, so no row
    // may stand where a rule answers differently.
    ASSERT_EQ(LookupVR(row.Tag()), row.vr) << std::hex << row.Tag();
    EXPECT_TRUE(row.element != 0 || row.group == 0x0002 || row.group == 0x0004) << std::hex << row.group;
    EXPECT_EQ(row.group % 2, 0) << "private group " << std::hex << row.group;
    EXPECT_EQ(row.reserved, 0);
  }
}

TEST(DataDictionary, RulesAndTagsWithoutARow) {
  EXPECT_EQ(LookupVR(0x00090010), vr::LO);  // private creator
  for (DicomTag tag : {0x00100000u, 0x7FE00000u, 0x00000000u}) EXPECT_EQ(LookupVR(tag), vr::UL);  // group lengths
  // Private, repeating groups (no rows) and retired elements.
  for (DicomTag tag : {0x00090011u, 0x00091001u, 0x00431234u, 0x60003000u, 0x50000010u, 0x00080010u, 0x00080040u,
                       0x00200030u, 0x00200035u, 0x00200050u, 0x00280005u, 0x00280040u, 0x00280200u, 0x40000010u}) {
    EXPECT_EQ(LookupVR(tag), vr::kUnknown) << std::hex << tag;
  }
}

TEST(DataDictionary, ContextDependentTagsFollowTheSopClass) {
  const DicomTag contextTags[] = {0x0040A032, 0x0040A073, 0x0040A088, 0x0040A124, 0x0040A170, 0x0040DB73};
  const DicomVR trial[] = {vr::LO, vr::LO, vr::LO, vr::SQ, vr::CS, vr::SQ};
  const DicomVR final[] = {vr::DT, vr::SQ, vr::SQ, vr::UI, vr::SQ, vr::UL};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(LookupVR(contextTags[i]), vr::kUnresolved) << std::hex << contextTags[i];
    for (const char* uid : {"1.2.840.10008.5.1.4.1.1.88.1", "1.2.840.10008.5.1.4.1.1.88.2",
                            "1.2.840.10008.5.1.4.1.1.88.3", "1.2.840.10008.5.1.4.1.1.88.4"}) {
      EXPECT_EQ(LookupVRForSopClass(contextTags[i], uid), trial[i]);
    }
    // Whole-string comparison: a prefix of a trial class is not one.
    for (const char* uid : {"1.2.840.10008.5.1.4.1.1.2", "", "1.2.840.10008.5.1.4.1.1.88", "1.2.840.10008.5.1.4.1.1.88.33"}) {
      EXPECT_EQ(LookupVRForSopClass(contextTags[i], uid), final[i]);
    }
  }
  // Other tags pass through.
  EXPECT_EQ(LookupVRForSopClass(0x00100010, "1.2.840.10008.5.1.4.1.1.88.3"), vr::PN);
  EXPECT_EQ(LookupVRForSopClass(0x00431234, "1.2.840.10008.5.1.4.1.1.88.3"), vr::kUnknown);
}

// No current element of the groups we cover may be missing from our table
// or differ in VR from DCMTK's dictionary as installed.
TEST(DataDictionary, AgreesWithThePeerDictionary) {
  std::filesystem::path dic;
  for (const char* candidate : {"/usr/share/libdcmtk17/dicom.dic", "/usr/share/libdcmtk16/dicom.dic"}) {
    if (std::filesystem::exists(candidate)) dic = candidate;
  }
  if (dic.empty()) GTEST_SKIP() << "DCMTK dictionary not installed";
  const std::set<uint16_t> groups{0x0002, 0x0004, 0x0008, 0x0010, 0x0018, 0x0020, 0x0028, 0x0032, 0x0038,
                                  0x003A, 0x0040, 0x0050, 0x0054, 0x0060, 0x0070, 0x0088, 0x0100, 0x0400,
                                  0x2000, 0x2010, 0x2020, 0x2030, 0x2040, 0x2050, 0x2100, 0x2110, 0x2120,
                                  0x2130, 0x3002, 0x3004, 0x3006, 0x3008, 0x300A, 0x300C, 0x300E, 0x4000,
                                  0x4008, 0x4FFE, 0x5400, 0x7FE0, 0xFFFA, 0xFFFC, 0xFFFE};
  // Where the peer offers a choice of VR we hold one fixed pick.
  const std::map<std::string, std::string> choices{{"xs", "US"}, {"ox", "OW"}, {"lt", "SS"},
                                                   {"up", "UL"}, {"px", "OB"}, {"na", "??"}};
  std::ifstream in(dic);
  const std::regex row(R"(^\(([0-9A-F]{4}),([0-9A-F]{4})\)\t(\S+)\t\S+\t\S+\t(\S+))");
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    std::smatch m;
    if (!std::regex_search(line, m, row)) continue;
    const auto group = static_cast<uint16_t>(std::stoul(m[1], nullptr, 16));
    const auto element = static_cast<uint16_t>(std::stoul(m[2], nullptr, 16));
    if (!groups.count(group) || element == 0 || m[4].str().find("retired") != std::string::npos) continue;
    const DicomTag tag = MakeTag(group, element);
    const DicomVR ours = LookupVR(tag);
    if (ours == vr::kUnresolved) {
      EXPECT_EQ(LookupVRForSopClass(tag, ""), LookupVRForSopClass(tag, "1.2.3")) << line;
      continue;
    }
    EXPECT_EQ(VrToString(ours), choices.count(m[3]) ? choices.at(m[3]) : m[3].str()) << line;
    ++checked;
  }
  EXPECT_GT(checked, 2500);
}

}  // namespace
