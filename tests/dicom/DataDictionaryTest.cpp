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
using namespace std::string_literals;

namespace {

// Group lengths and private creators are answered by rule, so no row may
// stand where a rule answers differently; the lookup bisects, so the rows
// must ascend.
TEST(DataDictionary, EveryRowIsFoundByItsLookupAndRulesComeFirst) {
  EXPECT_EQ(kDataDictionary[kDataDictionarySize - 1].Tag(), 0u);  // the terminator
  for (size_t i = 0; i + 1 < kDataDictionarySize; ++i) {
    ASSERT_EQ(LookupVR(kDataDictionary[i].Tag()), kDataDictionary[i].vr) << std::hex << kDataDictionary[i].Tag();
  }
  EXPECT_EQ(LookupVR(0x00090010), vr::LO);  // private creator
  for (DicomTag tag : {0x00100000u, 0x7FE00000u, 0x00000000u}) EXPECT_EQ(LookupVR(tag), vr::UL);  // group lengths
  // Private tags and the repeating groups have no rows.
  for (DicomTag tag : {0x00090011u, 0x00091001u, 0x00431234u, 0x60003000u, 0x50000010u}) {
    EXPECT_EQ(LookupVR(tag), vr::kUnknown) << std::hex << tag;
  }
}

// Six tags changed their VR after the structured reporting trial; the SOP
// class is compared whole, so a prefix of a trial class is not one.
TEST(DataDictionary, ContextDependentTagsFollowTheSopClass) {
  const struct {
    DicomTag tag;
    DicomVR trial, final;
  } rows[] = {{0x0040A032, vr::LO, vr::DT}, {0x0040A073, vr::LO, vr::SQ}, {0x0040A088, vr::LO, vr::SQ},
              {0x0040A124, vr::SQ, vr::UI}, {0x0040A170, vr::CS, vr::SQ}, {0x0040DB73, vr::SQ, vr::UL}};
  const std::string sr = "1.2.840.10008.5.1.4.1.1.88";
  for (const auto& row : rows) {
    EXPECT_EQ(LookupVR(row.tag), vr::kUnresolved) << std::hex << row.tag;
    for (const char* trial : {".1", ".2", ".3", ".4"}) EXPECT_EQ(LookupVRForSopClass(row.tag, sr + trial), row.trial);
    for (const std::string& other : {""s, "1.2.840.10008.5.1.4.1.1.2"s, sr, sr + ".33"}) {
      EXPECT_EQ(LookupVRForSopClass(row.tag, other), row.final) << other;
    }
  }
  EXPECT_EQ(LookupVRForSopClass(0x00100010, sr + ".3"), vr::PN);  // other tags pass through
  EXPECT_EQ(LookupVRForSopClass(0x00431234, sr + ".3"), vr::kUnknown);
}

// No current element of the groups we cover may be missing from our table
// or differ in VR from DCMTK's dictionary as installed; retired ones have
// no VR.
TEST(DataDictionary, AgreesWithThePeerDictionary) {
  std::filesystem::path dic;
  for (const char* candidate : {"/usr/share/libdcmtk17/dicom.dic", "/usr/share/libdcmtk16/dicom.dic"}) {
    if (std::filesystem::exists(candidate)) dic = candidate;
  }
  if (dic.empty()) GTEST_SKIP() << "DCMTK dictionary not installed";
  const std::set<uint16_t> groups{0x0002, 0x0004, 0x0008, 0x0010, 0x0018, 0x0020, 0x0028, 0x0032, 0x0038, 0x003A,
                                  0x0040, 0x0050, 0x0054, 0x0060, 0x0070, 0x0088, 0x0100, 0x0400, 0x2000, 0x2010,
                                  0x2020, 0x2030, 0x2040, 0x2050, 0x2100, 0x2110, 0x2120, 0x2130, 0x3002, 0x3004,
                                  0x3006, 0x3008, 0x300A, 0x300C, 0x300E, 0x4000, 0x4008, 0x4FFE, 0x5400, 0x7FE0,
                                  0xFFFA, 0xFFFC, 0xFFFE};
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
    if (!groups.count(group) || element == 0) continue;
    // Where the SOP class decides, the peer lists the final VR.
    const DicomVR ours = LookupVRForSopClass(MakeTag(group, element), "");
    const bool retired = m[4].str().find("retired") != std::string::npos;
    EXPECT_EQ(VrToString(ours), retired ? "??"s : choices.count(m[3]) ? choices.at(m[3]) : m[3].str()) << line;
    checked += retired ? 0 : 1;
  }
  EXPECT_GT(checked, 2500);
}

}  // namespace
