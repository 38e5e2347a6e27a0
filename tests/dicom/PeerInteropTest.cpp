// Cross-checks against DCMTK and GDCM: files they make read and save back
// byte for byte, and what we write parses in their tools without a warning
// and holds the same elements and values.
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ValueRepresentation.h"
#include "support/ByteBuilder.h"
#include "support/DicomFiles.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;
using namespace std::string_literals;

namespace {

const std::string kDataDir = std::string(QUILLON_SOURCE_DIR) + "/tests/data/";

class PeerInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"dump2dcm", "dcmdump", "dcmconv", "img2dcm"}) {
      if (!HaveTool(tool)) GTEST_SKIP() << "DCMTK tools are not installed";
    }
  }

  /// dcmdump's lines from the data set on; fails on any complaint.
  static std::string DataSetDump(const std::string& path) {
    const CommandResult dump = RunShell("dcmdump " + path);
    EXPECT_EQ(dump.exitCode, 0) << path;
    EXPECT_EQ(dump.err, "") << path;
    const size_t start = dump.out.find("# Dicom-Data-Set");
    return start == std::string::npos ? dump.out : dump.out.substr(start);
  }

  TempDir m_dir{"peer"};
  bool gdcmInstalled = HaveTool("gdcmconv") && HaveTool("gdcmdump");
};

// The command group with (0000,0000), a retired sequence in implicit VR and
// AT values in big endian: what this reader used to refuse or garble.
constexpr const char* kLenience =
    "(0000,0000) UL 10\n(0000,0100) US 1\n(0008,0016) UI =SecondaryCaptureImageStorage\n"
    "(0008,0018) UI [1.2.3.4.5.6]\n(0008,1145) SQ (Sequence with undefined length)\n"
    "  (fffe,e000) na (Item with undefined length)\n    (0008,1150) UI =CTImageStorage\n"
    "  (fffe,e00d) na (ItemDelimitationItem)\n(fffe,e0dd) na (SequenceDelimitationItem)\n"
    "(0010,0010) PN [Doe^John]\n(0020,9165) AT (0010,0020)\\(0028,0010)\n";

TEST_F(PeerInterop, PeerFilesSaveBackByteForByte) {
  WriteText(m_dir / "lenience.txt", kLenience);
  const std::vector<uint8_t> bmp = ByteBuilder().Raw("BM").U32(54 + 24).U32(0).U32(54).U32(40).U32(4).U32(2).U16(1)
                                      .U16(24).U32(0).U32(24).U32(0).U32(0).U32(0).U32(0).Raw(std::string(24, 'Z'))
                                      .bytes;  // a 4x2 24-bit BMP
  WriteText(m_dir / "in.bmp", std::string(bmp.begin(), bmp.end()));
  const auto dcmtk = [&](const std::string& text, const std::string& syntax, const std::string& lengths) {
    const std::string made = m_dir / "made.dcm";
    return "dump2dcm " + lengths + " " + text + " " + made + " && dcmconv " + syntax + " " + lengths + " " + made;
  };
  // Commands that write the file named last, and whether our explicit VR
  // copy is compared with dcmconv's (not from implicit VR: our dictionary
  // has no rows for group 0000, so its VRs are unknown there).
  std::vector<std::pair<std::string, bool>> cases;
  const std::string nested = kDataDir + "nested_sequences.txt";
  for (const std::string lengths : {"+e", "-e"}) {
    for (const std::string syntax : {"+te", "+ti", "+tb"}) {
      cases.emplace_back(dcmtk(nested, syntax, lengths), syntax == "+tb" && lengths == "-e");
      if (lengths == "-e") cases.emplace_back(dcmtk(m_dir / "lenience.txt", syntax, lengths), syntax != "+ti");
    }
  }
  const std::string gdcm = dcmtk(nested, "+te", "-e") + " " + (m_dir / "gdcm.dcm") + " && gdcmconv ";
  for (const char* flag : {"--implicit ", "--explicit "}) {
    if (gdcmInstalled) cases.emplace_back(gdcm + flag + (m_dir / "gdcm.dcm"), false);
  }
  cases.emplace_back("img2dcm -i BMP " + (m_dir / "in.bmp"), false);
  for (const auto& [make, toExplicit] : cases) {
    SCOPED_TRACE(make);
    const std::string source = m_dir / "source.dcm";
    const std::string ours = m_dir / "ours.dcm";
    ASSERT_EQ(RunShell(make + " " + source).exitCode, 0);
    CDicomObject object;
    ASSERT_TRUE(LoadInto(object, source));
    ASSERT_TRUE(Succeeded(SaveDicomFile(object, ours)));
    EXPECT_EQ(ReadBytes(ours), ReadBytes(source));
    if (!toExplicit) continue;
    ASSERT_TRUE(Succeeded(object.AddString(0x00020010, vr::UI, "1.2.840.10008.1.2.1")));
    ASSERT_TRUE(Succeeded(SaveDicomFile(object, ours)));
    ASSERT_EQ(RunShell("dcmconv -e +te " + source + " " + (m_dir / "theirs.dcm")).exitCode, 0);
    EXPECT_EQ(DataSetDump(ours), DataSetDump(m_dir / "theirs.dcm"));
  }
}

TEST_F(PeerInterop, WhatWeWriteParsesInPeersWithTheSameValues) {
  for (const char* syntax : {"1.2.840.10008.1.2", "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.2"}) {
    SCOPED_TRACE(syntax);
    CDicomObject object;
    ASSERT_TRUE(Succeeded(object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.7", "1.2.826.0.1.3680043.2.1.7",
                                                       syntax, "1.3.6.1.4.1.58231.1", "QUILLON", "QUILLON_AE")));
    (void)object.AddUInt32(0x00080000, vr::UL, 0);  // group lengths, recomputed on writing
    (void)object.AddUInt32(0x00100000, vr::UL, 0);
    (void)object.AddString(0x00080060, vr::CS, "OT");
    (void)object.AddString(0x00100010, vr::PN, "Doe^Jane");  // 8 bytes
    (void)object.AddString(0x00100020, vr::LO, "ODD");        // padded with a space
    (void)object.AddUInt16(0x00280010, vr::US, 512);
    (void)object.AddDouble(0x00189087, vr::FD, 1000.5);
    (void)object.AddString(0x00090010, vr::LO, "QUILLON");
    (void)object.AddValue(0x00091001, vr::kUnknown, "abc", 3);  // private, no VR: UN, padded with a space
    auto sequence = std::make_unique<CDicomSequence>(0x00081140);
    sequence->AppendItem(std::make_unique<CSequenceItem>());
    (void)sequence->GetItem(0)->AddString(0x00081155, vr::UI, "1.2.3.5");
    ASSERT_TRUE(Succeeded(object.AddSequence(std::move(sequence))));
    const std::string output = m_dir / "ours.dcm";
    ASSERT_TRUE(Succeeded(SaveDicomFile(object, output)));

    const std::string dump = DataSetDump(output);
    for (const char* expected : {"(0010,0000) UL 28 ", "(0010,0010) PN [Doe^Jane]", "(0010,0020) LO [ODD]",
                                 "(0028,0010) US 512", "(0018,9087) FD 1000.5", "(0008,1155) UI [1.2.3.5]",
                                 "(0009,0010) LO [QUILLON]", "61\\62\\63\\20  "}) {
      EXPECT_NE(dump.find(expected), std::string::npos) << "lacks " << expected << "\n" << dump;
    }
    // DCMTK agrees on the group lengths we computed: its own recomputation
    // leaves the data set as we wrote it.
    ASSERT_EQ(RunShell("dcmconv +g= -e " + output + " " + (m_dir / "again.dcm")).exitCode, 0);
    EXPECT_EQ(DataSetDump(m_dir / "again.dcm"), dump);
    const CommandResult gdcm = RunShell("gdcmdump " + output);
    EXPECT_TRUE(!gdcmInstalled || (gdcm.exitCode == 0 && gdcm.err.empty())) << gdcm.err;
  }
  // DCMTK stops half-way through a data set whose meta group names the wrong
  // encoding; read and saved by us, the file is one it reads in full.
  const std::vector<uint8_t> lying = ByteBuilder().Meta("1.2.840.10008.1.2.1").Implicit(0x00100010, "Doe^John")
                                         .Implicit(0x00280010, "\0\2"s).bytes;
  WriteText(m_dir / "lying.dcm", std::string(lying.begin(), lying.end()));
  EXPECT_NE(RunShell("dcmdump " + (m_dir / "lying.dcm")).exitCode, 0);
  CDicomObject object;
  ASSERT_TRUE(LoadInto(object, m_dir / "lying.dcm"));
  ASSERT_TRUE(Succeeded(SaveDicomFile(object, m_dir / "ours.dcm")));
  EXPECT_NE(DataSetDump(m_dir / "ours.dcm").find("(0028,0010) US 512"), std::string::npos);
}

TEST_F(PeerInterop, DumpOfNestedSequencesMatchesTheGoldenText) {
  const std::string source = m_dir / "golden.dcm";
  ASSERT_EQ(RunShell("dump2dcm -e " + kDataDir + "nested_sequences.txt " + source).exitCode, 0);
  const CommandResult dump = RunShell(std::string(QUILLON_CLI_PATH) + " dump " + source);
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  // From the data set on: the meta group names the DCMTK version.
  const size_t dataSet = dump.out.find("\n0008 ");
  ASSERT_NE(dataSet, std::string::npos);
  EXPECT_EQ(dump.out.substr(dataSet + 1), ReadBytes(kDataDir + "nested_sequences.dump"));
}

}  // namespace
