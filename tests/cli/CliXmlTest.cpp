// The xml command as a user runs it: its defaults in the working directory,
// the fallback to the shipped dictionary, what it prints when it fails, and
// that a failure writes nothing. The export's own tests check the document.
#include "support/ByteBuilder.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quillon::test;
using namespace std::string_literals;

namespace {

constexpr const char* kExpected =
    "<?xml version='1.0' encoding='UTF-8'?>\n<Instance>\n\t<modality>OT</modality>\n"
    "\t<referenced_image_sequence>\n\t\t<Item>\n"
    "\t\t\t<referenced_sop_instance_uid>1.2.3.4</referenced_sop_instance_uid>\n"
    "\t\t</Item>\n\t</referenced_image_sequence>\n"
    "\t<patient_name>M\xC3\xBCller^J\xC3\xB6rg &amp; Co</patient_name>\n</Instance>\n";

struct CliXml : ::testing::Test {
  void SetUp() override {
    WriteFile("in.dcm", {{0x00081150, "1.2.840.10008.5.1.4.1.1.2\0"s}, {0x00081155, "1.2.3.4\0"s}});
    WriteFile("empty-item.dcm", {});
    WriteText(m_dir / "Dicom2XmlDict.txt",
              "modality (00080060)\nreferenced_image_sequence (00081140)\n"
              "referenced_sop_instance_uid (00081155)\npatient_name (00100010)\n");
  }
  /// Writes a media file holding modality "OT", a sequence of one item with
  /// `item` (UI values) and a patient name.
  void WriteFile(const std::string& name, const std::vector<std::pair<uint32_t, std::string>>& item) {
    ByteBuilder b;
    b.Meta("1.2.840.10008.1.2.1").Explicit(0x00080060, "CS", "OT");
    b.ExplicitHeader(0x00081140, "SQ", 0xFFFFFFFF).Item();
    for (const auto& [tag, value] : item) b.Explicit(tag, "UI", value);
    b.ItemEnd().SequenceEnd().Explicit(0x00100010, "PN", "M\xFCller^J\xF6rg & Co");
    WriteText(m_dir / name, std::string(b.bytes.begin(), b.bytes.end()));
  }
  /// Runs quillon-cli with `arguments` in the test's folder.
  CommandResult Run(const std::string& arguments) {
    return RunShell("cd " + m_dir.Path().string() + " && " + QUILLON_CLI_PATH + " " + arguments);
  }

  TempDir m_dir{"cli-xml"};
};

TEST_F(CliXml, DefaultsAreTheWorkingDirectoryFilesAndBothCanBeNamed) {
  CommandResult r = Run("xml in.dcm");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(ReadBytes(m_dir / "dicomXml.xml"), kExpected);

  std::filesystem::rename(m_dir / "Dicom2XmlDict.txt", m_dir / "names.txt");
  WriteText(m_dir / "dicomXml.xml", "an older export");
  r = Run("xml in.dcm --output out.xml --dictionary names.txt");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadBytes(m_dir / "out.xml"), kExpected);
  EXPECT_EQ(ReadBytes(m_dir / "dicomXml.xml"), "an older export");

  // Without a dictionary in the working directory, the shipped one names
  // every element of the file.
  ASSERT_EQ(Run("xml in.dcm").exitCode, 0);
  const std::string xml = ReadBytes(m_dir / "dicomXml.xml");
  for (const char* line : {"\t<file_sop_class_uid>1.2.840.10008.5.1.4.1.1.7</file_sop_class_uid>\n",
                           "\t\t\t<referenced_sop_class_uid>1.2.840.10008.5.1.4.1.1.2</referenced_sop_class_uid>\n",
                           "\t\t\t<referenced_sop_instance_uid>1.2.3.4</referenced_sop_instance_uid>\n"}) {
    EXPECT_NE(xml.find(line), std::string::npos) << xml;
  }
}

TEST_F(CliXml, FailuresSayWhyAndLeaveThePreviousExportAsItWas) {
  WriteText(m_dir / "dicomXml.xml", "an older export");
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
    EXPECT_EQ(ReadBytes(m_dir / "dicomXml.xml"), "an older export") << arguments;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), 4);  // no temporary left
  }
}

}  // namespace
