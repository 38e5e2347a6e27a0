// Files other systems write that are no complete media file: bare data
// sets (no preamble, "DICM" or meta group) are read when their first
// elements parse, with a warning; files cut short fail saying how much is
// missing, and keep what was read when asked to. Checked against pydicom,
// which reads all of them.
#include "dicom/DicomFile.h"
#include "dicom/DicomPixelData.h"
#include "support/ByteBuilder.h"
#include "support/DicomFiles.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;

namespace {

const std::string kPydicomFiles = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";

/// What pydicom reads as `keyword` in `path` (its own reading of a file it
/// accepts without a preamble).
std::string PydicomValue(const std::string& path, const std::string& keyword) {
  const CommandResult result = RunShell("/usr/bin/python3 -c 'import pydicom,sys; d=pydicom.dcmread(sys.argv[1], "
                                      "force=True); print(d." + keyword + ", end=\"\")' " + path);
  return result.exitCode == 0 ? result.out : "(pydicom failed: " + result.err + ")";
}

TEST(BareDataSet, IsReadInTheEncodingItsElementsShowWithAWarning) {
  struct Case {
    const char* file;
    const char* encoding;
  };
  for (const Case& c : {Case{"rtstruct.dcm", "implicit VR little endian"},
                        Case{"ExplVR_LitEndNoMeta.dcm", "explicit VR little endian"},
                        Case{"ExplVR_BigEndNoMeta.dcm", "explicit VR big endian"}}) {
    SCOPED_TRACE(c.file);
    const std::string path = kPydicomFiles + c.file;
    CDicomFile file;
    ASSERT_TRUE(file.Load(path)) << file.Load(path).Message();
    ASSERT_EQ(file.ReadWarnings().size(), 1u);
    EXPECT_NE(file.ReadWarnings()[0].find(std::string("bare data set in ") + c.encoding), std::string::npos)
        << file.ReadWarnings()[0];
    std::string modality;
    EXPECT_EQ(file.DataSet().GetString(0x00080060, modality), DicomStatus::Success);
    EXPECT_EQ(modality, PydicomValue(path, "Modality"));
    EXPECT_FALSE(file.DataSet().Contains(tags::kTransferSyntaxUid));  // nothing is made up while reading
  }
}

TEST(BareDataSet, AMetaGroupWithoutPreambleIsReadAndTextIsStillRefused) {
  ByteBuilder bare;
  bare.Explicit(0x00020010, "UI", std::string(uids::kImplicitVrLittleEndian) + '\0')
      .Implicit(0x00080060, "OT")
      .Implicit(0x00100010, "DOE^JOHN");
  const ReadResult read = ReadFromBytes(bare.bytes);
  ASSERT_TRUE(read.status) << read.status.Message();
  std::string name;
  EXPECT_EQ(read.object.GetString(0x00100010, name), DicomStatus::Success);
  EXPECT_EQ(name, "DOE^JOHN");
  EXPECT_NE(read.AllWarnings().find("no 128-byte preamble"), std::string::npos);

  const std::string text = "this is not a DICOM file at all, just some words";
  const ReadResult junk = ReadFromBytes(std::vector<uint8_t>(text.begin(), text.end()));
  EXPECT_EQ(junk.status.GetError().Code(), ErrorCode::Malformed);
}

// Cut anywhere past the meta group, a file fails saying how much is
// missing; kept, what was read before the cut is there (the pixel data
// left in the file when its value is what was cut).
TEST(FileCutShort, SaysHowMuchIsMissingAndKeepsWhatWasRead) {
  TempDir dir("cut-short");
  const std::string whole = ReadBytes(kPydicomFiles + "CT_small.dcm");
  struct Case {
    size_t cut;       // bytes taken off the end
    bool exact;       // the cut lies in the last element: all of it is missing from it
    bool pixelsKept;  // the cut lies in or after the pixel value
  };
  // The file ends with 138 bytes of trailing padding after the pixel data.
  for (const Case c : {Case{100, true, true}, Case{whole.size() / 2, false, true},
                       Case{whole.size() - 700, false, false}}) {
    SCOPED_TRACE(c.cut);
    const std::string path = dir / "cut.dcm";
    WriteText(path, whole.substr(0, whole.size() - c.cut));
    CDicomFile strict;
    EXPECT_FALSE(strict.Load(path));
    EXPECT_EQ(strict.DataSet().ElementCount(), 0u);
    CDicomFile partial;
    const Status read = partial.Load(path, {}, OnCutShort::KeepWhatWasRead);
    EXPECT_FALSE(read);
    ASSERT_TRUE(partial.MissingBytes().has_value()) << read.Message();
    EXPECT_GE(*partial.MissingBytes(), 1u);
    EXPECT_LE(*partial.MissingBytes(), c.cut);
    if (c.exact) {
      EXPECT_EQ(*partial.MissingBytes(), c.cut);
    }
    EXPECT_TRUE(partial.DataSet().Contains(0x00080016));
    EXPECT_EQ(partial.DataSet().Contains(tags::kPixelData), c.pixelsKept);
  }
}

}  // namespace
