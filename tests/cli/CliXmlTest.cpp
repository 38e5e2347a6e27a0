// The xml command as a user runs it: its defaults in the working directory,
// the fallback to the shipped dictionary, what it prints when it fails, and
// that a failure writes nothing. Documents are compared byte for byte; the
// export's own tests run xmllint on what it writes.
#include "support/ByteBuilder.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using namespace quillon;
using namespace quillon::test;
using namespace std::string_literals;

namespace {

const std::string kCli = QUILLON_CLI_PATH;

constexpr const char* kExpected =
    "<?xml version='1.0' encoding='UTF-8'?>\n"
    "<Instance>\n"
    "\t<modality>OT</modality>\n"
    "\t<referenced_image_sequence>\n"
    "\t\t<Item>\n"
    "\t\t\t<referenced_sop_instance_uid>1.2.3.4</referenced_sop_instance_uid>\n"
    "\t\t</Item>\n"
    "\t</referenced_image_sequence>\n"
    "\t<patient_name>M\xC3\xBCller^J\xC3\xB6rg &amp; Co</patient_name>\n"
    "</Instance>\n";

class CliXml : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile("in.dcm", [](ByteBuilder& b) {
      b.ExplicitHeader(0x00081140, "SQ", 0xFFFFFFFF).Item();
      b.Explicit(0x00081150, "UI", std::string("1.2.840.10008.5.1.4.1.1.2\0", 26));
      b.Explicit(0x00081155, "UI", "1.2.3.4\0"s).ItemEnd().SequenceEnd();
      b.Explicit(0x00100010, "PN", "M\xFCller^J\xF6rg & Co");
    });
    WriteText(m_dir / "Dicom2XmlDict.txt",
              "modality (00080060)\nreferenced_image_sequence (00081140)\n"
              "referenced_sop_instance_uid (00081155)\npatient_name (00100010)\nrows (00280010)\n");
  }

  /// Writes a media file (explicit VR little endian, modality "OT") with
  /// the elements `body` adds after (0008,0060).
  template <typename Body>
  void WriteFile(const std::string& name, Body body) {
    ByteBuilder b;
    b.Meta("1.2.840.10008.1.2.1").Explicit(0x00080060, "CS", "OT");
    body(b);
    WriteText(m_dir / name, std::string(b.bytes.begin(), b.bytes.end()));
  }

  /// Runs quillon-cli with `arguments` in the test's folder.
  CommandResult Run(const std::string& arguments) {
    return RunShell("cd " + m_dir.Path().string() + " && " + kCli + " " + arguments);
  }

  TempDir m_dir{"cli-xml"};
};

TEST_F(CliXml, DefaultsAreTheWorkingDirectoryFilesAndBothCanBeNamed) {
  CommandResult r = Run("xml in.dcm");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadBytes(m_dir / "dicomXml.xml"), kExpected);

  std::filesystem::rename(m_dir / "Dicom2XmlDict.txt", m_dir / "names.txt");
  WriteText(m_dir / "dicomXml.xml", "an older export");
  r = Run("xml in.dcm --output out.xml --dictionary names.txt");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadBytes(m_dir / "out.xml"), kExpected);
  EXPECT_EQ(ReadBytes(m_dir / "dicomXml.xml"), "an older export");
}

TEST_F(CliXml, WithoutADictionaryInTheWorkingDirectoryTheShippedOneIsUsed) {
  std::filesystem::remove(m_dir / "Dicom2XmlDict.txt");
  const CommandResult r = Run("xml in.dcm");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // The shipped dictionary names every element of the file.
  EXPECT_EQ(ReadBytes(m_dir / "dicomXml.xml"),
            "<?xml version='1.0' encoding='UTF-8'?>\n"
            "<Instance>\n"
            "\t<file_sop_class_uid>1.2.840.10008.5.1.4.1.1.7</file_sop_class_uid>\n"
            "\t<file_transfer_syntax_uid>1.2.840.10008.1.2.1</file_transfer_syntax_uid>\n"
            "\t<modality>OT</modality>\n"
            "\t<referenced_image_sequence>\n"
            "\t\t<Item>\n"
            "\t\t\t<referenced_sop_class_uid>1.2.840.10008.5.1.4.1.1.2</referenced_sop_class_uid>\n"
            "\t\t\t<referenced_sop_instance_uid>1.2.3.4</referenced_sop_instance_uid>\n"
            "\t\t</Item>\n"
            "\t</referenced_image_sequence>\n"
            "\t<patient_name>M\xC3\xBCller^J\xC3\xB6rg &amp; Co</patient_name>\n"
            "</Instance>\n");
}

TEST_F(CliXml, FailuresSayWhyAndLeaveThePreviousExportAsItWas) {
  WriteFile("empty-item.dcm", [](ByteBuilder& b) {
    b.ExplicitHeader(0x00081140, "SQ", 0xFFFFFFFF).Item().ItemEnd().SequenceEnd();
  });
  WriteText(m_dir / "dicomXml.xml", "an older export");
  // Unreadable input is checked with the other file commands.
  for (const auto& [arguments, message] : std::vector<std::pair<std::string, std::string>>{
           {"xml in.dcm --dictionary missing.txt", "Dictionary file not found: missing.txt\n"},
           {"xml empty-item.dcm", "Unable to get tags list\n"},
           {"xml in.dcm --output no-folder/out.xml", "Unable to save XML document: "}}) {
    const CommandResult r = Run(arguments);
    EXPECT_EQ(r.exitCode, 1) << arguments;
    EXPECT_EQ(r.out, "") << arguments;
    // The message, or a message starting so, on one line.
    EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_EQ(ReadBytes(m_dir / "dicomXml.xml"), "an older export") << arguments;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), 4);  // no temporary left
  }
}

}  // namespace
