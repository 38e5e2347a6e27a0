// The encoding of the data set is taken from its first elements when the
// meta group names none, or names one they do not parse in; the caller gets
// a warning, and (0002,0010) is made to name the encoding found. Before,
// such files failed half-way (or at their first element) with a misleading
// reason.
#include "dicom/DicomObject.h"
#include "support/ByteBuilder.h"
#include "support/DicomFiles.h"

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::ByteBuilder;
using quillon::test::ReadFromBytes;
using quillon::test::ReadResult;

namespace {

const char* kImplicit = "1.2.840.10008.1.2";
const char* kExplicit = "1.2.840.10008.1.2.1";
const char* kBigEndian = "1.2.840.10008.1.2.2";
const char* kJpegBaseline = "1.2.840.10008.1.2.4.50";

enum class Body { Implicit, Explicit, BigEndian };

/// A meta group naming `syntax` (none when null) and a data set of three
/// elements encoded as `body` says.
ByteBuilder File(const char* syntax, Body body) {
  ByteBuilder b(body == Body::BigEndian);
  if (syntax != nullptr) {
    b.Meta(syntax);
  } else {
    ByteBuilder meta;  // always little endian
    meta.bytes.insert(meta.bytes.end(), 128, 0);
    meta.Raw("DICM").Explicit(0x00020002, "UI", std::string("1.2.840.10008.5.1.4.1.1.7") + '\0');
    b.bytes = meta.bytes;
  }
  const std::string rows = body == Body::BigEndian ? std::string("\x02\x00", 2) : std::string("\x00\x02", 2);
  if (body == Body::Implicit) {
    b.Implicit(0x00080060, "OT").Implicit(0x00100010, "DOE^JOHN").Implicit(0x00280010, rows);
  } else {
    b.Explicit(0x00080060, "CS", "OT").Explicit(0x00100010, "PN", "DOE^JOHN").Explicit(0x00280010, "US", rows);
  }
  return b;
}

TEST(DataSetEncoding, TheEncodingTheDataSetHasWinsOverTheOneAnnounced) {
  struct Case {
    const char* name;
    const char* syntax;
    Body body;
    TransferMode expected;
    const char* syntaxAfter;  // (0002,0010) after the read
    const char* warning;      // empty: no warning
  };
  const Case cases[] = {
      {"explicit announced, implicit found", kExplicit, Body::Implicit, TransferMode::ImplicitLittleEndian,
       kImplicit,
       "the Transfer Syntax UID (0002,0010) is 1.2.840.10008.1.2.1 (explicit VR little endian), but the data set "
       "is in implicit VR little endian; it was read as such, and (0002,0010) was set to 1.2.840.10008.1.2"},
      {"implicit announced, explicit found", kImplicit, Body::Explicit, TransferMode::ExplicitLittleEndian, kExplicit,
       "(implicit VR little endian), but the data set is in explicit VR little endian"},
      {"little endian announced, big endian found", kExplicit, Body::BigEndian, TransferMode::ExplicitBigEndian,
       kBigEndian, "but the data set is in explicit VR big endian"},
      {"big endian announced, little endian found", kBigEndian, Body::Explicit, TransferMode::ExplicitLittleEndian,
       kExplicit, "(explicit VR big endian), but the data set is in explicit VR little endian"},
      {"no syntax, implicit", nullptr, Body::Implicit, TransferMode::ImplicitLittleEndian, kImplicit,
       "the file meta information has no Transfer Syntax UID (0002,0010); the data set was read as implicit VR "
       "little endian, the encoding its first elements show, and (0002,0010) was set to 1.2.840.10008.1.2"},
      {"no syntax, big endian", nullptr, Body::BigEndian, TransferMode::ExplicitBigEndian, kBigEndian,
       "was read as explicit VR big endian"},
      {"no syntax, explicit", nullptr, Body::Explicit, TransferMode::ExplicitLittleEndian, kExplicit,
       "was read as explicit VR little endian"},
      {"implicit as announced", kImplicit, Body::Implicit, TransferMode::ImplicitLittleEndian, kImplicit, ""},
      {"explicit as announced", kExplicit, Body::Explicit, TransferMode::ExplicitLittleEndian, kExplicit, ""},
      {"big endian as announced", kBigEndian, Body::BigEndian, TransferMode::ExplicitBigEndian, kBigEndian, ""},
  };
  for (const Case& c : cases) {
    const ReadResult read = ReadFromBytes(File(c.syntax, c.body).bytes);
    const CDicomObject& object = read.object;
    ASSERT_TRUE(read.status) << c.name << ": " << read.status.Message();
    EXPECT_EQ(object.GetTransferMode(), c.expected) << c.name;
    std::string name;
    EXPECT_EQ(object.GetString(0x00100010, name), DicomStatus::Success) << c.name;
    EXPECT_EQ(name, "DOE^JOHN") << c.name;
    uint16_t rows = 0;
    EXPECT_EQ(object.GetUInt16(0x00280010, rows), DicomStatus::Success) << c.name;
    EXPECT_EQ(rows, 512) << c.name;
    std::string syntax;
    EXPECT_EQ(object.GetString(0x00020010, syntax), DicomStatus::Success) << c.name;
    EXPECT_EQ(syntax, c.syntaxAfter) << c.name;
    if (std::string(c.warning).empty()) {
      EXPECT_EQ(read.AllWarnings(), "") << c.name;
    } else {
      ASSERT_EQ(read.warnings.size(), 1u) << c.name << ": " << read.AllWarnings();
      EXPECT_NE(read.warnings[0].find(c.warning), std::string::npos) << c.name << ": " << read.AllWarnings();
    }
  }
}

TEST(DataSetEncoding, ACompressedSyntaxIsTrusted) {
  // It also names the compression of the pixel data, which no other UID
  // would keep; a data set that is not in it fails to read, as in other
  // toolkits.
  const ReadResult read = ReadFromBytes(File(kJpegBaseline, Body::Implicit).bytes);
  EXPECT_FALSE(read.status);
  EXPECT_EQ(read.object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
}

TEST(DataSetEncoding, ALaterDamagedElementIsNoSignOfAnotherEncoding) {
  // Explicit VR little endian whose fifth element has damaged VR bytes:
  // the encoding announced walks four elements. Big endian walks clean,
  // though not as far: the first length, 02 00, is 512 to it, which lands
  // in the zero padding.
  ByteBuilder b;
  b.Meta(kExplicit).Explicit(0x00080060, "CS", "OT").Explicit(0x00100010, "PN", "Doe^Jane");
  b.Explicit(0x00100020, "LO", "SEED-0").Explicit(0x00180050, "DS", "1.25");
  b.Tag(0x00200000).Raw(std::string("\0\0", 2)).U16(0);
  b.bytes.resize(b.Size() + 600, 0);
  const ReadResult read = ReadFromBytes(b.bytes);
  ASSERT_TRUE(read.status) << read.status.Message();
  EXPECT_EQ(read.object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
  std::string name;
  EXPECT_EQ(read.object.GetString(0x00100010, name), DicomStatus::Success);
  EXPECT_EQ(name, "Doe^Jane");
}

TEST(DataSetEncoding, WhenNoEncodingParsesTheAnnouncedOneStands) {
  // Explicit VR whose first element has damaged VR bytes: explicit VR
  // stumbles at once, implicit VR takes the VR bytes and the 16-bit length
  // for a length past the end. It stays explicit, with a warning about the
  // VR bytes.
  ByteBuilder damaged;
  damaged.Meta(kExplicit).Tag(0x00091001).Raw(std::string("\0\0", 2)).U16(4).Raw("abcd");
  damaged.Explicit(0x00100010, "PN", "DOE^JOHN");
  const ReadResult first = ReadFromBytes(damaged.bytes);
  ASSERT_TRUE(first.status) << first.status.Message();
  EXPECT_EQ(first.object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
  EXPECT_TRUE(first.object.Contains(0x00100010));
  ASSERT_EQ(first.warnings.size(), 1u) << first.AllWarnings();
  EXPECT_NE(first.warnings[0].find("the VR bytes 00 00 are not a DICOM VR"), std::string::npos);

  // Implicit VR whose first value is long enough for its length's low
  // bytes to spell "LO": the dictionary does not give the tag LO, so the
  // announced implicit encoding stands.
  ByteBuilder longValue;
  longValue.Meta(kImplicit).Implicit(0x00091001, std::string(0x4F4C, 'x')).Implicit(0x00100010, "DOE^JOHN");
  const ReadResult second = ReadFromBytes(longValue.bytes);
  ASSERT_TRUE(second.status) << second.status.Message();
  EXPECT_EQ(second.object.GetTransferMode(), TransferMode::ImplicitLittleEndian);
  EXPECT_EQ(second.AllWarnings(), "");
}

TEST(DataSetEncoding, AFileReadDespiteItsMetaGroupIsSavedRight) {
  // The data set is written as it was found, under a (0002,0010) that now
  // names it: the file a correct writer would have made.
  const ReadResult read = ReadFromBytes(File(kExplicit, Body::Implicit).bytes);
  ASSERT_TRUE(read.status) << read.status.Message();
  EXPECT_EQ(test::WriteToBytes(read.object), File(kImplicit, Body::Implicit).bytes);
}

}  // namespace
