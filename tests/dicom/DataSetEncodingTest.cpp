// The encoding of the data set is taken from its first elements when the
// meta group names none, or names one they do not parse in; the caller gets
// a warning, and (0002,0010) is made to name the encoding found, so the
// file is right once saved. Before, such files failed half-way (or at their
// first element) with a misleading reason.
#include "dicom/DicomObject.h"
#include "support/ByteBuilder.h"
#include "support/DicomFiles.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;

namespace {

const char* kImplicit = "1.2.840.10008.1.2";
const char* kExplicit = "1.2.840.10008.1.2.1";
const char* kBigEndian = "1.2.840.10008.1.2.2";

enum class Body { Implicit, Explicit, BigEndian };

/// A meta group naming `syntax` (none when null) and a data set of three
/// elements encoded as `body` says.
ByteBuilder File(const char* syntax, Body body) {
  ByteBuilder b(body == Body::BigEndian);
  if (syntax != nullptr) {
    b.Meta(syntax);
  } else {
    ByteBuilder meta;  // always little endian
    meta.bytes.resize(128, 0);
    b.bytes = meta.Raw("DICM").Explicit(0x00020002, "UI", std::string("1.2.840.10008.5.1.4.1.1.7") + '\0').bytes;
  }
  const std::string rows = body == Body::BigEndian ? std::string("\x02\x00", 2) : std::string("\x00\x02", 2);
  if (body == Body::Implicit) return b.Implicit(0x00080060, "OT").Implicit(0x00100010, "DOE^JOHN").Implicit(0x00280010, rows);
  return b.Explicit(0x00080060, "CS", "OT").Explicit(0x00100010, "PN", "DOE^JOHN").Explicit(0x00280010, "US", rows);
}

TEST(DataSetEncoding, TheEncodingTheDataSetHasWinsOverTheOneAnnounced) {
  const struct {
    const char* syntax;
    Body body;
    TransferMode expected;
    const char* syntaxAfter;  // (0002,0010) after the read
    const char* warning;      // a part of it; empty: no warning
  } cases[] = {
      {kExplicit, Body::Implicit, TransferMode::ImplicitLittleEndian, kImplicit,
       "the Transfer Syntax UID (0002,0010) is 1.2.840.10008.1.2.1 (explicit VR little endian), but the data set "
       "is in implicit VR little endian; it was read as such, and (0002,0010) was set to 1.2.840.10008.1.2"},
      {kImplicit, Body::Explicit, TransferMode::ExplicitLittleEndian, kExplicit,
       "(implicit VR little endian), but the data set is in explicit VR little endian"},
      {kExplicit, Body::BigEndian, TransferMode::ExplicitBigEndian, kBigEndian,
       "but the data set is in explicit VR big endian"},
      {kBigEndian, Body::Explicit, TransferMode::ExplicitLittleEndian, kExplicit,
       "(explicit VR big endian), but the data set is in explicit VR little endian"},
      {nullptr, Body::Implicit, TransferMode::ImplicitLittleEndian, kImplicit,
       "the file meta information has no Transfer Syntax UID (0002,0010); the data set was read as implicit VR "
       "little endian, the encoding its first elements show, and (0002,0010) was set to 1.2.840.10008.1.2"},
      {nullptr, Body::BigEndian, TransferMode::ExplicitBigEndian, kBigEndian, "was read as explicit VR big endian"},
      {nullptr, Body::Explicit, TransferMode::ExplicitLittleEndian, kExplicit, "was read as explicit VR little endian"},
      {kImplicit, Body::Implicit, TransferMode::ImplicitLittleEndian, kImplicit, ""},
      {kExplicit, Body::Explicit, TransferMode::ExplicitLittleEndian, kExplicit, ""},
      {kBigEndian, Body::BigEndian, TransferMode::ExplicitBigEndian, kBigEndian, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.syntax ? c.syntax : "no syntax") + " announced, body " +
                 std::to_string(static_cast<int>(c.body)));
    const ReadResult read = ReadFromBytes(File(c.syntax, c.body).bytes);
    ASSERT_TRUE(Succeeded(read.status));
    EXPECT_EQ(read.object.GetTransferMode(), c.expected);
    std::string name;
    std::string syntax;
    uint16_t rows = 0;
    EXPECT_EQ(read.object.GetString(0x00100010, name), DicomStatus::Success);
    EXPECT_EQ(name, "DOE^JOHN");
    EXPECT_EQ(read.object.GetUInt16(0x00280010, rows), DicomStatus::Success);
    EXPECT_EQ(rows, 512);
    EXPECT_EQ(read.object.GetString(0x00020010, syntax), DicomStatus::Success);
    EXPECT_EQ(syntax, c.syntaxAfter);
    ASSERT_EQ(read.warnings.size(), *c.warning ? 1u : 0u) << read.AllWarnings();
    EXPECT_NE(read.AllWarnings().find(c.warning), std::string::npos) << read.AllWarnings();
    // Saved, the data set is written as it was found, under a (0002,0010)
    // that names it: the file a correct writer would have made.
    if (c.syntax) {
      EXPECT_EQ(WriteToBytes(read.object), File(c.syntaxAfter, c.body).bytes);
    }
  }
}

TEST(DataSetEncoding, ACompressedSyntaxIsTrusted) {
  // It also names the compression of the pixel data, which no other UID
  // would keep; a data set that is not in it fails to read, as in other
  // toolkits.
  const ReadResult read = ReadFromBytes(File("1.2.840.10008.1.2.4.50", Body::Implicit).bytes);
  EXPECT_FALSE(read.status);
  EXPECT_EQ(read.object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
}

TEST(DataSetEncoding, DamageIsNoSignOfAnotherEncoding) {
  // Explicit VR whose fifth element has damaged VR bytes: the encoding
  // announced walks four elements. Big endian walks clean, though not as
  // far: the first length, 02 00, is 512 to it, which lands in the zero
  // padding.
  ByteBuilder late;
  late.Meta(kExplicit).Explicit(0x00080060, "CS", "OT").Explicit(0x00100010, "PN", "DOE^JOHN");
  late.Explicit(0x00100020, "LO", "SEED-0").Explicit(0x00180050, "DS", "1.25");
  late.Tag(0x00200000).Raw(std::string("\0\0", 2)).U16(0).bytes.resize(late.Size() + 600, 0);
  // Explicit VR whose first element has damaged VR bytes: explicit VR
  // stumbles at once, implicit VR takes the VR bytes and the 16-bit length
  // for a length past the end. It stays explicit, with a warning about the
  // VR bytes.
  ByteBuilder first;
  first.Meta(kExplicit).Tag(0x00091001).Raw(std::string("\0\0", 2)).U16(4).Raw("abcd");
  first.Explicit(0x00100010, "PN", "DOE^JOHN");
  // Implicit VR whose first value is long enough for its length's low
  // bytes to spell "LO": the dictionary does not give the tag LO, so the
  // announced implicit encoding stands.
  ByteBuilder spelled;
  spelled.Meta(kImplicit).Implicit(0x00091001, std::string(0x4F4C, 'x')).Implicit(0x00100010, "DOE^JOHN");
  for (const auto& [bytes, mode, warning] :
       {std::tuple{late, TransferMode::ExplicitLittleEndian, "(0020,0000) at offset 272: the VR bytes 00 00"},
        std::tuple{first, TransferMode::ExplicitLittleEndian, "the VR bytes 00 00 are not a DICOM VR"},
        std::tuple{spelled, TransferMode::ImplicitLittleEndian, ""}}) {
    const ReadResult read = ReadFromBytes(bytes.bytes);
    ASSERT_TRUE(Succeeded(read.status));
    EXPECT_EQ(read.object.GetTransferMode(), mode);
    std::string name;
    EXPECT_EQ(read.object.GetString(0x00100010, name), DicomStatus::Success);
    EXPECT_EQ(name, "DOE^JOHN");
    EXPECT_EQ(read.AllWarnings().empty(), *warning == '\0') << read.AllWarnings();
    EXPECT_NE(read.AllWarnings().find(warning), std::string::npos) << read.AllWarnings();
  }
}

}  // namespace
