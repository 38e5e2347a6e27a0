// The VR table: codes, text VRs, header sizes, pad bytes and swap units.
#include "dicom/ValueRepresentation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

using namespace quillon;

namespace {

TEST(ValueRepresentation, CodesTextHeadersPaddingAndSwapUnits) {
  const DicomVR ob = vr::OB;  // the letters in little-endian memory
  EXPECT_EQ(std::memcmp(&ob, "OB", 2), 0);
  EXPECT_EQ(VrToString(vr::PN), "PN");
  EXPECT_EQ(VrToString(vr::kUnknown), "??");
  const std::set<DicomVR> text{vr::AE, vr::AS, vr::CS, vr::DA, vr::DS, vr::DT, vr::IS, vr::LO,
                               vr::LT, vr::PN, vr::SH, vr::ST, vr::TM, vr::UC, vr::UI, vr::UR, vr::UT};
  const std::set<DicomVR> longHeader{vr::OB, vr::OD, vr::OF, vr::OL, vr::OV, vr::OW, vr::SQ,
                                     vr::SV, vr::UC, vr::UN, vr::UR, vr::UT, vr::UV};
  for (char a = 'A'; a <= 'Z'; ++a) {
    for (char b = 'A'; b <= 'Z'; ++b) {
      const DicomVR code = MakeVR(a, b);
      EXPECT_EQ(IsTextVR(code), text.count(code) == 1) << a << b;
      EXPECT_EQ(HasLongExplicitHeader(code), longHeader.count(code) == 1) << a << b;
    }
  }
  EXPECT_TRUE(HasLongExplicitHeader(vr::kUnknown));
  EXPECT_FALSE(IsTextVR(vr::kUnknown) || IsTextVR(vr::kUnresolved) || HasLongExplicitHeader(vr::kUnresolved));
  for (DicomVR code : {vr::UI, vr::OB, vr::OW}) EXPECT_EQ(GetVrProperties(code).padByte, 0x00);
  for (DicomVR code : {vr::CS, vr::PN, vr::UN, vr::kUnknown, vr::US}) EXPECT_EQ(GetVrProperties(code).padByte, 0x20);
  // A trailing part shorter than a unit stays. AT is a group and an
  // element number: two 16-bit words.
  const std::vector<uint8_t> by8{7, 6, 5, 4, 3, 2, 1, 0, 8}, by4{3, 2, 1, 0, 7, 6, 5, 4, 8},
      by2{1, 0, 3, 2, 5, 4, 7, 6, 8}, none{0, 1, 2, 3, 4, 5, 6, 7, 8};
  const std::pair<DicomVR, const std::vector<uint8_t>&> cases[] = {
      {vr::FD, by8}, {vr::OD, by8}, {vr::UV, by8},  {vr::UL, by4},  {vr::OL, by4},  {vr::SL, by4},
      {vr::FL, by4}, {vr::OF, by4}, {vr::US, by2},  {vr::SS, by2},  {vr::OW, by2},  {vr::AT, by2},
      {vr::OB, none}, {vr::UN, none}, {vr::CS, none}, {vr::SQ, none}, {vr::kUnknown, none}};
  for (const auto& [code, expected] : cases) {
    std::vector<uint8_t> bytes = none;
    EXPECT_EQ(SwapValueBytes(code, bytes.data(), bytes.size()), &expected != &none) << VrToString(code);
    EXPECT_EQ(bytes, expected) << VrToString(code);
  }
}

}  // namespace
