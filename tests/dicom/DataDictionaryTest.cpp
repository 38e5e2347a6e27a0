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
    // Retired rows give no VR: their bytes stay opaque.
    const DicomVR expected = (kDataDictionary[i].flags & kRetired) != 0 ? vr::kUnknown : kDataDictionary[i].vr;
    ASSERT_EQ(LookupVR(kDataDictionary[i].Tag()), expected) << std::hex << kDataDictionary[i].Tag();
  }
  for (DicomTag tag : {0x00090010u, 0x004300FFu}) EXPECT_EQ(LookupVR(tag), vr::LO);  // private creators
  for (DicomTag tag : {0x00100000u, 0x7FE00000u, 0x00000000u}) EXPECT_EQ(LookupVR(tag), vr::UL);  // group lengths
  // Every even group of a repeating range reads as its first group; odd
  // groups are private, and the retired curves (50xx) stay opaque.
  for (DicomTag tag : {0x60003000u, 0x601E3000u}) EXPECT_EQ(LookupVR(tag), vr::OW) << std::hex << tag;
  EXPECT_EQ(LookupVR(0x60020010u), vr::US);
  for (DicomTag tag : {0x00090100u, 0x00091001u, 0x00431234u, 0x60013000u, 0x50000010u}) {
    EXPECT_EQ(LookupVR(tag), vr::kUnknown) << std::hex << tag;
  }
  EXPECT_EQ(LookupVR(0x7FE00010u), vr::OB);  // pixel data, not the retired 7Fxx rows
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

// No current public element, in any group, may be missing from our table
// or differ in VR from DCMTK's dictionary as installed; retired ones have
// no VR.
TEST(DataDictionary, AgreesWithThePeerDictionary) {
  std::filesystem::path dic;
  for (const char* candidate : {"/usr/share/libdcmtk17/dicom.dic", "/usr/share/libdcmtk16/dicom.dic"}) {
    if (std::filesystem::exists(candidate)) dic = candidate;
  }
  if (dic.empty()) GTEST_SKIP() << "DCMTK dictionary not installed";
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
    if (!m[4].str().starts_with("DICOM") || element == 0) continue;  // private and generic rows
    // Where the SOP class decides, the peer lists the final VR.
    const DicomVR ours = LookupVRForSopClass(MakeTag(group, element), "");
    const bool retired = m[4].str().find("retired") != std::string::npos;
    EXPECT_EQ(VrToString(ours), retired ? "??"s : choices.count(m[3]) ? choices.at(m[3]) : m[3].str()) << line;
    checked += retired ? 0 : 1;
  }
  EXPECT_GT(checked, 4000);
}

}  // namespace
