// The encoding of the data set is taken from its first elements when the
// meta group names none, or one they do not parse in (such files used to
// fail half-way); a warning says so, and (0002,0010) is made to name it.
#include "dicom/DicomObject.h"
#include "support/ByteBuilder.h"
#include "support/DicomFiles.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;

namespace {

const std::pair<std::string, std::string> kEncodings[] = {{uids::kImplicitVrLittleEndian, "implicit VR little endian"},
                                                          {uids::kExplicitVrLittleEndian, "explicit VR little endian"},
                                                          {uids::kExplicitVrBigEndian, "explicit VR big endian"}};

/// A meta group naming `syntax` (none when empty) and a data set of three
/// elements in the encoding `body` of kEncodings.
ByteBuilder File(const std::string& syntax, int body) {
  ByteBuilder b(body == 2);
  b.Meta(syntax);
  if (syntax.empty()) b.bytes.resize(b.Size() - 8);  // the empty (0002,0010) Meta() put last
  const std::string rows = body == 2 ? std::string("\x02\x00", 2) : std::string("\x00\x02", 2);
  if (body == 0) return b.Implicit(0x00080060, "OT").Implicit(0x00100010, "DOE^JOHN").Implicit(0x00280010, rows);
  return b.Explicit(0x00080060, "CS", "OT").Explicit(0x00100010, "PN", "DOE^JOHN").Explicit(0x00280010, "US", rows);
}

TEST(DataSetEncoding, TheEncodingTheDataSetHasWinsOverTheOneAnnounced) {
  for (int announced = -1; announced < 3; ++announced) {  // -1: no (0002,0010)
    for (int body = 0; body < 3; ++body) {
      const std::string syntax = announced < 0 ? "" : kEncodings[announced].first;
      const auto& [found, name] = kEncodings[body];
      SCOPED_TRACE("announced " + syntax + ", found " + found);
      const ReadResult read = ReadFromBytes(File(syntax, body).bytes);
      ASSERT_TRUE(Succeeded(read.status));
      EXPECT_EQ(read.object.GetTransferMode(), TransferModeForSyntax(found));
      // Saved, the data set is as it was found, under a (0002,0010) that
      // names it: the file a correct writer would have made.
      EXPECT_EQ(WriteToBytes(read.object), File(found, body).bytes);
      const std::string set = ", and (0002,0010) was set to " + found + "\n";
      if (announced < 0) {
        EXPECT_EQ(read.AllWarnings(), "the file meta information has no Transfer Syntax UID (0002,0010); the data set "
                                      "was read as " + name + ", the encoding its first elements show" + set);
      } else if (announced != body) {
        EXPECT_EQ(read.AllWarnings(), "the Transfer Syntax UID (0002,0010) is " + syntax + " (" +
                                          kEncodings[announced].second + "), but the data set is in " + name +
                                          "; it was read as such" + set);
      } else {
        EXPECT_EQ(read.AllWarnings(), "");
      }
    }
  }
}

TEST(DataSetEncoding, DamageIsNoSignOfAnotherEncodingAndACompressedSyntaxStays) {
  // Explicit VR whose fifth element has damaged VR bytes: big endian walks
  // clean but not as far (the first length, 02 00, is 512 to it).
  ByteBuilder late;
  late.Meta(uids::kExplicitVrLittleEndian).Explicit(0x00080060, "CS", "OT").Explicit(0x00100010, "PN", "DOE^JOHN");
  late.Explicit(0x00100020, "LO", "SEED-0").Explicit(0x00180050, "DS", "1.25");
  late.Tag(0x00200000).Raw(std::string("\0\0", 2)).U16(0);
  late.bytes.resize(late.Size() + 600, 0);
  // Implicit VR whose first value is long enough for its length's low
  // bytes to spell "LO": the dictionary does not give the tag LO.
  ByteBuilder spelled;
  spelled.Meta(uids::kImplicitVrLittleEndian).Implicit(0x00091001, std::string(0x4F4C, 'x'));
  spelled.Implicit(0x00100010, "DOE^JOHN");
  const std::string lateWarnings =
      "(0020,0000) at offset 272: the VR bytes 00 00 are not a DICOM VR; the value was read with a 16-bit length as "
      "unknown (UN)\n(0000,0000) at offset 280: the file ends with 600 zero bytes after the last element; they were "
      "taken as padding and left out\n";
  for (const auto& [bytes, mode, warnings] : {std::tuple{late, TransferMode::ExplicitLittleEndian, lateWarnings},
                                              std::tuple{spelled, TransferMode::ImplicitLittleEndian, std::string()}}) {
    const ReadResult read = ReadFromBytes(bytes.bytes);
    ASSERT_TRUE(Succeeded(read.status));
    EXPECT_EQ(read.object.GetTransferMode(), mode);
    EXPECT_TRUE(read.object.Contains(0x00100010));
    EXPECT_EQ(read.AllWarnings(), warnings);
  }
  // A compressed syntax also names the compression of the pixel data, which
  // no other UID would keep: it stays, an implicit VR data set under it is
  // read as such with a warning, and the object is saved in explicit VR as
  // the syntax says.
  const std::string jpeg = "1.2.840.10008.1.2.4.50";
  const ReadResult compressed = ReadFromBytes(File(jpeg, 0).bytes);
  ASSERT_TRUE(Succeeded(compressed.status));
  EXPECT_TRUE(compressed.object.Contains(0x00280010));
  EXPECT_EQ(compressed.object.GetTransferMode(), TransferMode::ExplicitLittleEndian);
  EXPECT_EQ(WriteToBytes(compressed.object), File(jpeg, 1).bytes);
  EXPECT_EQ(compressed.AllWarnings(), "the Transfer Syntax UID (0002,0010) is " + jpeg +
                                          " (explicit VR little endian), but the data set is in implicit VR little "
                                          "endian; it was read as such, and is saved in explicit VR as the transfer "
                                          "syntax requires\n");
}

}  // namespace
