// The encoding of the data set is taken from its first elements when the
// meta group names none, or names one they do not parse in; the caller gets
// a warning, and (0002,0010) is made to name the encoding found. Before,
// such files failed half-way (or at their first element) with a misleading
// reason.
#include "dicom/DicomObject.h"
#include "base/MemoryStream.h"
#include "support/ByteBuilder.h"

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::ByteBuilder;

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

std::string Warnings(const CDicomObject& object) {
  std::string all;
  for (const std::string& warning : object.GetReadWarnings()) all += warning + "\n";
  return all;
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
    const ByteBuilder b = File(c.syntax, c.body);
    CMemoryStream stream(b.bytes);
    CDicomObject object;
    ASSERT_TRUE(object.ReadFromFile(stream, false)) << c.name << ": " << object.GetLastReadError();
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
      EXPECT_EQ(Warnings(object), "") << c.name;
    } else {
      ASSERT_EQ(object.GetReadWarnings().size(), 1u) << c.name << ": " << Warnings(object);
      EXPECT_NE(object.GetReadWarnings()[0].find(c.warning), std::string::npos) << c.name << ": " << Warnings(object);
    }
  }
}

TEST(DataSetEncoding, ACompressedSyntaxIsTrusted) {
  // It also names the compression of the pixel data, which no other UID
  // would keep; a data set that is not in it fails to read, as in other
  // toolkits.
  const ByteBuilder b = File(kJpegBaseline, Body::Implicit);
  CMemoryStream stream(b.bytes);
  CDicomObject object;
  EXPECT_FALSE(object.ReadFromFile(stream, false));
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
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
  CMemoryStream stream(b.bytes);
  CDicomObject object;
  ASSERT_TRUE(object.ReadFromFile(stream, false)) << object.GetLastReadError();
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
  std::string name;
  EXPECT_EQ(object.GetString(0x00100010, name), DicomStatus::Success);
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
  CMemoryStream first(damaged.bytes);
  CDicomObject object;
  ASSERT_TRUE(object.ReadFromFile(first, false)) << object.GetLastReadError();
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
  EXPECT_TRUE(object.Contains(0x00100010));
  ASSERT_EQ(object.GetReadWarnings().size(), 1u) << Warnings(object);
  EXPECT_NE(object.GetReadWarnings()[0].find("the VR bytes 00 00 are not a DICOM VR"), std::string::npos);

  // Implicit VR whose first value is long enough for its length's low
  // bytes to spell "LO": the dictionary does not give the tag LO, so the
  // announced implicit encoding stands.
  ByteBuilder longValue;
  longValue.Meta(kImplicit).Implicit(0x00091001, std::string(0x4F4C, 'x')).Implicit(0x00100010, "DOE^JOHN");
  CMemoryStream second(longValue.bytes);
  ASSERT_TRUE(object.ReadFromFile(second, false)) << object.GetLastReadError();
  EXPECT_EQ(object.GetTransferMode(), TransferMode::ImplicitLittleEndian);
  EXPECT_EQ(Warnings(object), "");
}

TEST(DataSetEncoding, AFileReadDespiteItsMetaGroupIsSavedRight) {
  // The data set is written as it was found, under a (0002,0010) that now
  // names it: the file a correct writer would have made.
  const ByteBuilder b = File(kExplicit, Body::Implicit);
  CMemoryStream source(b.bytes);
  CDicomObject object;
  ASSERT_TRUE(object.ReadFromFile(source, false)) << object.GetLastReadError();
  CMemoryStream written;
  ASSERT_TRUE(object.WriteToFile(written));
  EXPECT_EQ(written.Data(), File(kImplicit, Body::Implicit).bytes);
}

}  // namespace
