/// \file
/// The XML export: the exact document, failures, deep nesting; against dcmdump's values and xmllint.
#include "xml/XmlExporter.h"

#include "dicom/DataDictionary.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "support/DicomFiles.h"
#include "support/Shell.h"
#include "xml/XmlDictionary.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace quillon {
namespace {

using namespace quillon::test;
using namespace std::string_literals;
using Texts = std::vector<std::pair<DicomTag, std::string>>;

constexpr DicomTag kCharacterSet = 0x00080005, kReferencedImages = 0x00081140, kReferencedInstance = 0x00081155,
                   kPatientName = 0x00100010, kPatientId = 0x00100020, kComments = 0x00104000;

/// Adds to `parent` a sequence of one item per entry of `items`; its first item.
CSequenceItem* AddSequence(CDicomObject& parent, DicomTag tag, const std::vector<Texts>& items) {
  auto sequence = std::make_unique<CDicomSequence>(tag);
  sequence->SetVR(vr::SQ);
  for (const Texts& texts : items) {
    auto item = std::make_unique<CSequenceItem>();
    for (const auto& [t, text] : texts) EXPECT_TRUE(Succeeded(item->AddString(t, vr::kUnknown, text)));
    sequence->AppendItem(std::move(item));
  }
  CSequenceItem* first = sequence->GetItem(0);
  EXPECT_TRUE(Succeeded(parent.AddSequence(std::move(sequence))));
  return first;
}

struct XmlExporterTest : ::testing::Test {
  void SetUp() override {
    UseDictionary("referenced_image_sequence (00081140)\nreferenced_sop_instance_uid (00081155)\n"
                  "patient_name (00100010)\npatient_id (00100020)\npatient_comments (00104000)\nrows (00280010)\n");
  }
  void UseDictionary(const std::string& text) {
    WriteText(m_dir / "names.txt", text);
    ASSERT_TRUE(m_dictionary.Load(m_dir / "names.txt"));
  }
  /// The document for `object`, or the message of the failure.
  std::string Xml(const CDicomObject& object) {
    const Result<std::string> xml = XmlExporter(m_dictionary).ExportToString(object);
    return xml ? *xml : xml.Message();
  }
  TempDir m_dir{"xml-export"};
  CXmlDictionary m_dictionary;
};

TEST_F(XmlExporterTest, WritesNamedTextsAndSequencesInTagOrderAndNothingElse) {
  // Names for binary values, a private element, an absent tag (a bad name only matters when used).
  UseDictionary(ReadBytes(m_dir / "names.txt") + "pixels (7fe00010)\nprivate_value (00091001)\n"
                "not a name (00100030)\nreferenced_series_sequence (00081115)\n\xC3\xA9tude (00081030)\n");
  CDicomObject object;
  // The data dictionary's VR decides, not the stored one. Characters XML
  // forbids are dropped, bytes that are not UTF-8 shown as "\xNN"; an item reads its
  // text in its own character set or in the one around it.
  for (const Status& added :
       {object.AddString(kCharacterSet, vr::CS, "ISO_IR 192"),
        object.AddString(kPatientId, vr::LO, "x\x01y\x1Fz\x7F\xC3\xBC\xFF\xC3(\x1B$B\xEF\xBF\xBE"),
        object.AddString(kComments, vr::LT, "line 1\r\nline 2\ttab"),
        object.AddValue(kPatientName, vr::UN, "A&B <C> \"D\" 'EF'", 16), object.AddString(0x00280010, vr::IS, "512"),
        object.AddString(0x00081030, vr::LO, "Thorax"), object.AddString(0x00080060, vr::CS, "OT"),
        object.AddValue(0x7FE00010, vr::OW, "PIXELS", 6), object.AddString(0x00091001, vr::LO, "PRIVATE TEXT")}) {
    EXPECT_TRUE(Succeeded(added));
  }
  AddSequence(object, kReferencedImages,
              {{{kCharacterSet, "ISO_IR 100"}, {kReferencedInstance, "1.2.3.1"}, {kPatientName, "A^\xFC"}},
               {{0x00081150, "1.2.840.10008.5.1.4.1.1.2"}, {kPatientName, "\xC3\xB6"}}});
  AddSequence(object, 0x00081115, {});
  AddSequence(object, 0x0040A730, {Texts{}});  // unnamed: its empty item would end the export
  EXPECT_EQ(Xml(object), "<?xml version='1.0' encoding='UTF-8'?>\n<Instance>\n"
                         "\t<\xC3\xA9tude>Thorax</\xC3\xA9tude>\n"
                         "\t<referenced_series_sequence />\n"
                         "\t<referenced_image_sequence>\n"
                         "\t\t<Item>\n"
                         "\t\t\t<referenced_sop_instance_uid>1.2.3.1</referenced_sop_instance_uid>\n"
                         "\t\t\t<patient_name>A^\xC3\xBC</patient_name>\n"
                         "\t\t</Item>\n\t\t<Item>\n"
                         "\t\t\t<patient_name>\xC3\xB6</patient_name>\n"
                         "\t\t</Item>\n\t</referenced_image_sequence>\n"
                         "\t<patient_name>A&amp;B &lt;C&gt; \"D\" 'EF'</patient_name>\n"
                         "\t<patient_id>xyz\x7F\xC3\xBC\\xFF\\xC3($B</patient_id>\n"
                         // A carriage return is a reference, so that it reads back.
                         "\t<patient_comments>line 1&#13;\nline 2\ttab</patient_comments>\n"
                         "</Instance>\n");
  CDicomObject binaryOnly;
  ASSERT_TRUE(Succeeded(binaryOnly.AddUInt16(0x00280010, vr::US, 2)));
  EXPECT_EQ(Xml(binaryOnly), "<?xml version='1.0' encoding='UTF-8'?>\n<Instance />\n");
}

TEST_F(XmlExporterTest, EmptyDataSetsAndItemsAndBadNamesEndTheExport) {
  EXPECT_EQ(Xml(CDicomObject()), "Unable to get tags list");
  CDicomObject object;
  ASSERT_TRUE(Succeeded(object.AddString(kPatientName, vr::PN, "Doe^John")));
  AddSequence(object, kReferencedImages, {{{kReferencedInstance, "1.2.3.1"}}, Texts{}});
  EXPECT_EQ(Xml(object), "Unable to get tags list");  // the empty item
  UseDictionary("ns:name (00100010)\n");  // an XML name, but not one without namespaces
  EXPECT_EQ(Xml(object), "Unable to create XML node");
  // A bad sequence name has its own message (and is met before its items).
  UseDictionary("patient_name (00100010)\nreferenced images (00081140)\n");
  EXPECT_EQ(Xml(object), "Unable to create root XML node");
}

TEST_F(XmlExporterTest, DeepNestingNeedsNoRecursion) {
  // Far deeper than a file may nest (the reader stops at 128 levels).
  CDicomObject object;
  CDicomObject* parent = &object;
  for (int depth = 0; depth < 2000; ++depth) {
    parent = AddSequence(*parent, kReferencedImages, {{{kPatientId, std::to_string(depth)}}});
  }
  EXPECT_NE(Xml(object).find("\n" + std::string(4001, '\t') + "<patient_id>1999</patient_id>\n"), std::string::npos);
}

/// The document an export with the shipped dictionary must be, from what
/// `dcmdump +U8 +L -Un` prints (which shows the character set it converted
/// to, where the export keeps the stored one, `charset`).
std::string ExpectedDocument(const std::string& dump, const CXmlDictionary& dictionary, const std::string& charset) {
  static const std::regex kLine(R"(^ *\(([0-9a-f]{4}),([0-9a-f]{4})\) (\w\w) (.*?) *#[^#]*$)");
  std::string xml = "<?xml version='1.0' encoding='UTF-8'?>\n<Instance>\n";
  std::vector<std::string> open{"Instance"};
  std::istringstream lines(dump);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, kLine)) continue;
    const auto tag = static_cast<DicomTag>(std::stoul(m[1].str() + m[2].str(), nullptr, 16));
    std::string name = "Item", value = m[4];
    const std::string indent(open.size(), '\t');
    if (tag == tags::kItemDelimitation || tag == tags::kSequenceDelimitation) {
      xml += indent.substr(1) + "</" + open.back() + ">\n";
      open.pop_back();
    } else if (tag == tags::kItem || (m[3] == "SQ" && dictionary.GetXmlName(tag, name))) {
      xml += indent + "<" + name + ">\n";
      open.push_back(name);
    } else if (dictionary.GetXmlName(tag, name) && IsTextVR(LookupVR(tag))) {
      value = tag == kCharacterSet ? charset : value == "(no value available)" ? "" : value.substr(1, value.size() - 2);
      for (const auto& [from, to] : {std::pair{"&", "&amp;"}, {"<", "&lt;"}, {">", "&gt;"}}) {
        value = std::regex_replace(value, std::regex(from), to);
      }
      xml += indent + "<" + name + ">" + value + "</" + name + ">\n";
    }
  }
  return xml + "</Instance>\n";
}

TEST_F(XmlExporterTest, PeersReadTheValuesWeWriteAndParseOurDocuments) {
  if (!HaveTool("dump2dcm") || !HaveTool("dcmdump") || !HaveTool("xmllint")) GTEST_SKIP() << "no DCMTK or xmllint";
  ASSERT_TRUE(m_dictionary.Load(QUILLON_SOURCE_DIR "/xml/Dicom2XmlDict.txt"));
  // tests/data/xml_peer.txt holds every text VR, values with markup characters, several values, an empty
  // value, binary values and nested sequences; dump2dcm makes the file, in two character sets.
  const std::string dump = ReadBytes(QUILLON_SOURCE_DIR "/tests/data/xml_peer.txt");
  const std::string file = m_dir / "peer.dcm";
  std::string documents;
  for (const auto& [charset, patient, description] :
       {std::tuple{"ISO_IR 100", "M\xFCller^J\xF6rg", "Br\xFCst & Thorax"},
        std::tuple{"ISO_IR 192", "Ren\xC3\xA9^\xE5\xB1\xB1\xE7\x94\xB0", "\xCE\xB1\xCE\xB2 & <\xCE\xB3>"}}) {
    const std::string output = m_dir / (charset + ".xml"s);
    std::string text = std::regex_replace(dump, std::regex("@CHARSET@"), charset);
    text = std::regex_replace(std::regex_replace(text, std::regex("@NAME@"), patient), std::regex("@DESCRIPTION@"),
                              description);
    WriteText(m_dir / "peer.txt", text);
    ASSERT_EQ(RunShell("dump2dcm " + (m_dir / "peer.txt") + " " + file).exitCode, 0);
    CDicomObject object;
    ASSERT_TRUE(LoadInto(object, file));
    ASSERT_TRUE(Succeeded(XmlExporter(m_dictionary).Export(object, output)));
    const CommandResult dcmdump = RunShell("dcmdump +U8 +L -Un " + file);
    ASSERT_EQ(dcmdump.exitCode, 0) << dcmdump.err;
    EXPECT_EQ(ReadBytes(output), ExpectedDocument(dcmdump.out, m_dictionary, charset)) << dcmdump.out;
    documents += " '" + output + "'";
  }
  const CommandResult lint = RunShell("xmllint --noout" + documents);
  EXPECT_EQ(lint.exitCode, 0) << lint.err;
  EXPECT_EQ(lint.err, "");
}

}  // namespace
}  // namespace quillon
