// The pieces de-identification and batch editing stand on: tag paths,
// values typed as text checked against their VR, dates moved by days,
// SHA-256 and HMAC against published vectors, and the keyed UID map with
// its file.
#include "dicom/UidGenerator.h"
#include "dicom/UidValidation.h"
#include "dicom/ValueRepresentation.h"
#include "edit/DateShift.h"
#include "edit/Sha256.h"
#include "edit/TagPath.h"
#include "edit/UidMap.h"
#include "edit/ValueEncoder.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon;

namespace {

TEST(TagPath, ReadsStepsAndRefusesWhatIsNoPath) {
  struct Case {
    const char* text;
    std::vector<DicomTag> tags;  ///< empty: refused
    std::vector<TagPathStep::Items> items;
    size_t lastIndex;
  };
  using I = TagPathStep::Items;
  const Case cases[] = {
      {"(0010,0010)", {0x00100010}, {I::None}, 0},
      {"0010,0010", {0x00100010}, {I::None}, 0},
      {"00100010", {0x00100010}, {I::None}, 0},
      {"(0008,1140)[0].(0008,1150)", {0x00081140, 0x00081150}, {I::One, I::None}, 0},
      {"(0008,1140)[*].(0008,1155)", {0x00081140, 0x00081155}, {I::All, I::None}, 0},
      {"(0040,A730)[2].(0040,A730)[*].(0040,A160)", {0x0040A730, 0x0040A730, 0x0040A160},
       {I::One, I::All, I::None}, 0},
      {"(0008,1140)[3]", {0x00081140}, {I::One}, 3},
      {"", {}, {}, 0},
      {"(0010,001)", {}, {}, 0},
      {"(0008,1140).(0008,1150)", {}, {}, 0},  // no item on the way
      {"(0008,1140)[x].(0008,1150)", {}, {}, 0},
      {"(0008,1140)[0].", {}, {}, 0},
  };
  for (const Case& c : cases) {
    const Result<TagPath> path = ParseTagPath(c.text);
    ASSERT_EQ(static_cast<bool>(path), !c.tags.empty()) << c.text;
    if (!path) {
      EXPECT_NE(path.Message().find(c.text), std::string::npos) << path.Message();
      continue;
    }
    ASSERT_EQ(path->steps.size(), c.tags.size()) << c.text;
    for (size_t i = 0; i < c.tags.size(); ++i) {
      EXPECT_EQ(path->steps[i].tag, c.tags[i]) << c.text;
      EXPECT_EQ(path->steps[i].items, c.items[i]) << c.text;
    }
    EXPECT_EQ(path->Last().index, c.lastIndex) << c.text;
  }
}

TEST(ValueEncoder, AcceptsWhatTheVrAllowsAndSaysWhyOtherwise) {
  struct Case {
    const char* text;
    DicomVR vr;
    const char* charset;  ///< the value of (0008,0005)
    const char* bytes;  ///< null: refused
    size_t length;
  };
  const Case cases[] = {
      {"Anon^Patient", vr::PN, "ISO_IR 100", "Anon^Patient", 12},
      {"M\xC3\xBCller", vr::PN, "ISO_IR 100", "M\xFCller", 6},
      {"M\xC3\xBCller", vr::PN, "ISO_IR 192", "M\xC3\xBCller", 7},
      {"\xE5\xB1\xB1\xE7\x94\xB0", vr::PN, "ISO_IR 100", nullptr, 0},  // not in Latin-1
      {"M\xC3\xBCller", vr::CS, "ISO_IR 192", nullptr, 0},
      {"ORIGINAL\\PRIMARY", vr::CS, "ISO_IR 100", "ORIGINAL\\PRIMARY", 16},
      {"lower", vr::CS, "ISO_IR 100", nullptr, 0},
      {"20240229", vr::DA, "ISO_IR 100", "20240229", 8},
      {"20230229", vr::DA, "ISO_IR 100", nullptr, 0},
      {"235960.5", vr::TM, "ISO_IR 100", "235960.5", 8},
      {"2400", vr::TM, "ISO_IR 100", nullptr, 0},
      {"20240101120000.123456+0100", vr::DT, "ISO_IR 100", "20240101120000.123456+0100", 26},
      {"045Y", vr::AS, "ISO_IR 100", "045Y", 4},
      {"-12.5\\1e3", vr::DS, "ISO_IR 100", "-12.5\\1e3", 9},
      {"twelve", vr::DS, "ISO_IR 100", nullptr, 0},
      {"2147483648", vr::IS, "ISO_IR 100", nullptr, 0},
      {"1.2.840.10008.1.2", vr::UI, "ISO_IR 100", "1.2.840.10008.1.2", 17},
      {"1.02.3", vr::UI, "ISO_IR 100", nullptr, 0},
      {"ABCDEFGHIJKLMNOPQ", vr::SH, "ISO_IR 100", nullptr, 0},  // 17 > 16
      {"line\nbreak", vr::LO, "ISO_IR 100", nullptr, 0},
      {"line\nbreak", vr::LT, "ISO_IR 100", "line\nbreak", 10},
      {"512\\1", vr::US, "ISO_IR 100", "\x00\x02\x01\x00", 4},
      {"-1", vr::SS, "ISO_IR 100", "\xFF\xFF", 2},
      {"1.5", vr::FL, "ISO_IR 100", "\x00\x00\xC0\x3F", 4},
      {"(0010,0010)", vr::AT, "ISO_IR 100", "\x10\x00\x10\x00", 4},
      {"00", vr::OB, "ISO_IR 100", nullptr, 0},
  };
  for (const Case& c : cases) {
    const Result<std::string> bytes = EncodeValue(c.text, c.vr, CCharacterSet::FromSpecificCharacterSet(c.charset));
    ASSERT_EQ(static_cast<bool>(bytes), c.bytes != nullptr) << c.text << " as " << VrToString(c.vr)
                                                            << (bytes ? "" : ": " + bytes.Message());
    if (bytes) {
      EXPECT_EQ(*bytes, std::string(c.bytes, c.length)) << c.text;
    } else {
      EXPECT_FALSE(bytes.Message().empty());
    }
  }
}

TEST(DateShift, MovesDatesByWholeDaysAndRefusesWhatIsNoDate) {
  struct Case {
    const char* value;
    DicomVR vr;
    int days;
    const char* shifted;  ///< null: refused
  };
  const Case cases[] = {
      {"20240301", vr::DA, -1, "20240229"},
      {"20230301", vr::DA, -1, "20230228"},
      {"2024.03.01", vr::DA, -1, "20240229"},
      {"20240301\\20240302", vr::DA, -2, "20240228\\20240229"},
      {"", vr::DA, -5, ""},
      {"20240301120000.5+0100", vr::DT, -1, "20240229120000.5+0100"},
      {"2024", vr::DT, -1, nullptr},
      {"99991231", vr::DA, 1, nullptr},  // past what four digits hold
      {"101500", vr::kUnknown, -1, "101500"},  // a time read without VR stays
      {"20240301", vr::kUnknown, -1, "20240229"},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> shifted = ShiftDates(c.value, c.vr, c.days);
    ASSERT_EQ(shifted.has_value(), c.shifted != nullptr) << c.value;
    if (shifted) {
      EXPECT_EQ(*shifted, c.shifted) << c.value;
    }
  }
}

std::string Hex(const Sha256Digest& digest) {
  std::string text;
  for (const uint8_t byte : digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

TEST(Sha256, MatchesPublishedVectors) {
  EXPECT_EQ(Hex(Sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Hex(Sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  // Two blocks, and a message given in parts.
  CSha256 parts;
  parts.Update("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq");
  parts.Update("");
  EXPECT_EQ(Hex(parts.Finish()), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // HMAC: RFC 4231 cases 2 and 6 (a key longer than a block).
  EXPECT_EQ(Hex(HmacSha256("Jefe", "what do ya want for nothing?")),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_EQ(Hex(HmacSha256(std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First")),
            "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST(UidMap, SameOriginalSameUidOnlyUnderTheSameKey) {
  UidMapKey key{};
  key[0] = 7;
  CUidMap first(key);
  CUidMap again(key);
  key[31] = 1;
  CUidMap other(key);
  const std::string root = OrganisationUidRoot();
  for (const char* original : {"1.2.3", "1.2.840.113619.2.55.3.604688119.969.1268071029.320", ""}) {
    const std::string uid = first.NewUid(original);
    EXPECT_TRUE(IsValidUid(uid)) << uid;
    EXPECT_LE(uid.size(), 64u);
    EXPECT_EQ(uid.rfind(root + ".2.", 0), 0u) << uid;
    EXPECT_EQ(again.NewUid(original), uid);
    EXPECT_NE(other.NewUid(original), uid);
  }
  EXPECT_NE(first.NewUid("1.2.3"), first.NewUid("1.2.4"));
  EXPECT_EQ(first.DateShiftDays("A"), again.DateShiftDays("A"));
}

TEST(UidMapFile, KeepsTheKeyAcrossRunsAndRecordsWhatWasDerived) {
  test::TempDir dir("uid-map");
  const std::string path = dir / "run.map";
  std::string uid;
  {
    Result<std::unique_ptr<CUidMap>> map = CUidMap::FromFile(path);
    ASSERT_TRUE(map) << map.Message();
    uid = (*map)->NewUid("1.2.3");
    (void)(*map)->DateShiftDays("PAT-1");
    ASSERT_TRUE((*map)->Flush());
  }
  Result<std::unique_ptr<CUidMap>> reopened = CUidMap::FromFile(path);
  ASSERT_TRUE(reopened) << reopened.Message();
  EXPECT_EQ((*reopened)->NewUid("1.2.3"), uid);
  ASSERT_TRUE((*reopened)->Flush());
  const std::string text = test::ReadBytes(path);
  EXPECT_NE(text.find("\nuid 1.2.3 " + uid + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" PAT-1\n"), std::string::npos) << text;

  test::WriteText(dir / "bad.map", "uid 1.2.3 4.5.6\n");
  const Result<std::unique_ptr<CUidMap>> bad = CUidMap::FromFile(dir / "bad.map");
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.GetError().Code(), ErrorCode::Malformed);
  EXPECT_NE(bad.Message().find("bad.map"), std::string::npos) << bad.Message();
}

}  // namespace
