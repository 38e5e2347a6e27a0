// The dump and rewrite commands on real files: what they print, how they
// exit; and for every command that reads a file (dump, rewrite, xml), that
// an unreadable one says why and writes nothing.
#include "support/ByteBuilder.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quillon::test;

namespace {

const std::string kCli = QUILLON_CLI_PATH;

struct CliFileCommands : ::testing::Test {
  void SetUp() override {
    ByteBuilder b;
    b.Meta("1.2.840.10008.1.2.1").Explicit(0x00100010, "PN", "DOE^JOHN");
    b.Explicit(0x7FE00010, "OB", "PIXELS").Explicit(0xFFFCFFFC, "OB", std::string(2, '\0'));
    WriteText(m_file, std::string(b.bytes.begin(), b.bytes.end()));
    // The meta group says explicit VR; the data set is implicit.
    ByteBuilder lying;
    lying.Meta("1.2.840.10008.1.2.1").Implicit(0x00080060, "OT").Implicit(0x00100010, "DOE^JOHN");
    WriteText(m_dir / "lying.dcm", std::string(lying.bytes.begin(), lying.bytes.end()));
    WriteText(m_dir / "junk.dcm", "this is not a DICOM file at all");
  }
  long FileCount() const { return std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}); }

  TempDir m_dir{"cli-files"};
  const std::string m_file = m_dir / "in.dcm";
};

TEST_F(CliFileCommands, DumpPrintsLinesWithPlainNewlinesAndWarningsOnStandardError) {
  const CommandResult r = RunShell(kCli + " dump " + m_file);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
  EXPECT_NE(r.out.find("0010 0010          8 | patient_name                             | PN | \"DOE^JOHN\" \n"),
            std::string::npos) << r.out;
  EXPECT_NE(r.out.find("fffc fffc"), std::string::npos);
  EXPECT_EQ(r.err, "");  // a clean file warns of nothing
  // The pixel value is stepped over; what follows it is still dumped.
  const CommandResult skipped = RunShell(kCli + " dump --no-pixel-data " + m_file);
  ASSERT_EQ(skipped.exitCode, 0);
  EXPECT_NE(skipped.out.find("7fe0 0010          6 | pixel_data                               | OB |  \n"),
            std::string::npos) << skipped.out;
  EXPECT_NE(skipped.out.find("fffc fffc"), std::string::npos) << skipped.out;

  const std::string lying = m_dir / "lying.dcm";
  const CommandResult warned = RunShell(kCli + " dump " + lying);
  ASSERT_EQ(warned.exitCode, 0) << warned.err;
  EXPECT_NE(warned.out.find("| patient_name "), std::string::npos) << warned.out;
  EXPECT_EQ(warned.out.find("Warning"), std::string::npos);
  EXPECT_EQ(warned.err.rfind("Warning: " + lying + ": the Transfer Syntax UID (0002,0010) is 1.2.840.10008.1.2.1", 0),
            0u) << warned.err;
  EXPECT_EQ(std::count(warned.err.begin(), warned.err.end(), '\n'), 1) << warned.err;
}

TEST_F(CliFileCommands, UnreadableFilesSayWhyExitOneAndWriteNothing) {
  const std::string out = m_dir / "out.dcm";
  for (const std::string& command : {std::string("dump %"), "rewrite % " + out, "xml % --output " + out}) {
    for (const auto& [name, reason] : {std::pair{"junk.dcm", ": not a DICOM file"}, {"missing.dcm", ": cannot open"}}) {
      std::string arguments = command;
      arguments.replace(arguments.find('%'), 1, m_dir / name);
      const CommandResult r = RunShell(kCli + " " + arguments);
      EXPECT_EQ(r.exitCode, 1) << arguments;
      EXPECT_EQ(r.out, "") << arguments;
      EXPECT_EQ(r.err.rfind("Error Reading File: " + (m_dir / name) + reason, 0), 0u) << r.err;
      EXPECT_EQ(FileCount(), 3) << arguments;  // in.dcm, lying.dcm, junk.dcm
    }
  }
  // Among several files, the readable ones are still dumped.
  const CommandResult r = RunShell(kCli + " dump " + m_file + " " + (m_dir / "junk.dcm"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("# " + m_file + "\n"), std::string::npos);
  EXPECT_NE(r.out.find("| patient_name "), std::string::npos) << r.out;
}

TEST_F(CliFileCommands, DumpOfAFileCutShortPrintsWhatItReadThenTheError) {
  const std::string whole = ReadBytes(m_file);
  const std::string cut = m_dir / "cut.dcm";
  WriteText(cut, whole.substr(0, whole.size() - 16));  // the last element and 2 bytes of the pixel value
  const CommandResult r = RunShell(kCli + " dump " + cut);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("| patient_name "), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("Error Reading File: " + cut + ": "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("at least 2 bytes are missing"), std::string::npos) << r.err;
}

TEST_F(CliFileCommands, RewriteSavesTheSameFile) {
  const std::string out = m_dir / "out.dcm";
  const CommandResult r = RunShell(kCli + " rewrite " + m_file + " " + out);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadBytes(out), ReadBytes(m_file));
  // In place: the input is replaced whole.
  ASSERT_EQ(RunShell(kCli + " rewrite " + out + " " + out).exitCode, 0);
  EXPECT_EQ(ReadBytes(out), ReadBytes(m_file));
}

// A bare data set (pydicom's rtstruct.dcm) saved again gets the file meta
// information it lacked, so that DCMTK and pydicom read the result.
TEST_F(CliFileCommands, RewriteOfABareDataSetCompletesItsMetaInformation) {
  const std::string out = m_dir / "rtstruct.dcm";
  const CommandResult r =
      RunShell(kCli + " rewrite /usr/lib/python3/dist-packages/pydicom/data/test_files/rtstruct.dcm " + out);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("completed from the data set:\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\n(0002,0010) Transfer Syntax UID: 1.2.840.10008.1.2\n"), std::string::npos) << r.err;
  EXPECT_NE(RunShell("dcmdump " + out).out.find("=LittleEndianImplicit"), std::string::npos);
  EXPECT_EQ(RunShell("/usr/bin/python3 -c \"import pydicom; print(pydicom.dcmread('" + out +
                     "').file_meta.TransferSyntaxUID)\"")
                .out,
            "1.2.840.10008.1.2\n");
}

}  // namespace
