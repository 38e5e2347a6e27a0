#include "dicom/ValueRepresentation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

using namespace quillon;

namespace {

TEST(ValueRepresentation, CodesSpellTheLettersInLittleEndianMemory) {
  EXPECT_EQ(vr::SQ, 0x5153);
  EXPECT_EQ(vr::AE, 0x4541);
  EXPECT_EQ(vr::UL, 0x4C55);
  const DicomVR code = vr::OB;
  char letters[2];
  std::memcpy(letters, &code, 2);
  EXPECT_EQ(letters[0], 'O');
  EXPECT_EQ(letters[1], 'B');
  EXPECT_EQ(VrToString(vr::PN), "PN");
  EXPECT_EQ(VrToString(vr::kUnknown), "??");
}

TEST(ValueRepresentation, ExactlyFifteenTextVrs) {
  const std::set<DicomVR> text{vr::AE, vr::AS, vr::CS, vr::DA, vr::DS, vr::DT, vr::IS, vr::LO,
                               vr::LT, vr::PN, vr::SH, vr::ST, vr::TM, vr::UI, vr::UT};
  int count = 0;
  for (unsigned a = 'A'; a <= 'Z'; ++a) {
    for (unsigned b = 'A'; b <= 'Z'; ++b) {
      const DicomVR code = MakeVR(static_cast<char>(a), static_cast<char>(b));
      EXPECT_EQ(IsTextVR(code), text.count(code) == 1) << VrToString(code);
      count += IsTextVR(code) ? 1 : 0;
    }
  }
  EXPECT_EQ(count, 15);
  EXPECT_FALSE(IsTextVR(vr::kUnknown));
  EXPECT_FALSE(IsTextVR(vr::kUnresolved));
}

TEST(ValueRepresentation, ExplicitHeaderLength) {
  for (DicomVR code : {vr::OB, vr::OW, vr::UN, vr::UT, vr::SQ, vr::kUnknown, vr::OF, vr::UC, vr::UR, vr::OD,
                       vr::OL, vr::OV, vr::SV, vr::UV}) {
    EXPECT_TRUE(HasLongExplicitHeader(code)) << VrToString(code);
  }
  for (DicomVR code : {vr::AE, vr::US, vr::UL, vr::FD, MakeVR('X', 'X'), vr::PN, vr::UI, vr::AT, vr::kUnresolved}) {
    EXPECT_FALSE(HasLongExplicitHeader(code)) << VrToString(code);
  }
}

TEST(ValueRepresentation, PadBytes) {
  for (DicomVR code : {vr::UI, vr::OB, vr::OW}) EXPECT_EQ(GetVrProperties(code).padByte, 0x00);
  for (DicomVR code : {vr::CS, vr::PN, vr::LO, vr::UN, vr::kUnknown, vr::US, vr::AT}) {
    EXPECT_EQ(GetVrProperties(code).padByte, 0x20) << VrToString(code);
  }
}

TEST(ValueRepresentation, SwapUnitsFollowTheVr) {
  uint8_t bytes[9];
  auto fill = [&] { for (uint8_t i = 0; i < 9; ++i) bytes[i] = i; };

  fill();
  EXPECT_TRUE(SwapValueBytes(vr::FD, bytes, 9));
  EXPECT_EQ(bytes[0], 7);
  EXPECT_EQ(bytes[7], 0);
  EXPECT_EQ(bytes[8], 8);  // a trailing part shorter than a unit stays

  for (DicomVR code : {vr::UL, vr::SL, vr::FL, vr::OF}) {
    fill();
    EXPECT_TRUE(SwapValueBytes(code, bytes, 9));
    const uint8_t expected[9] = {3, 2, 1, 0, 7, 6, 5, 4, 8};
    EXPECT_EQ(std::memcmp(bytes, expected, 9), 0) << VrToString(code);
  }
  // AT is a group and an element number: two 16-bit words.
  for (DicomVR code : {vr::US, vr::SS, vr::OW, vr::AT}) {
    fill();
    EXPECT_TRUE(SwapValueBytes(code, bytes, 9));
    const uint8_t expected[9] = {1, 0, 3, 2, 5, 4, 7, 6, 8};
    EXPECT_EQ(std::memcmp(bytes, expected, 9), 0) << VrToString(code);
  }
  for (DicomVR code : {vr::OB, vr::UN, vr::CS, vr::SQ, vr::kUnknown}) {
    fill();
    EXPECT_FALSE(SwapValueBytes(code, bytes, 9));
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 1);
  }
}

}  // namespace
