/// \file
/// Tests of the XML export: the document's exact text and which elements
/// are written, the failures and that they write nothing, character sets,
/// deep nesting, save failures, and — against real peers — that every file
/// we write parses in xmllint and holds the values dcmdump prints.
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
#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace quillon {
namespace {

using namespace quillon::test;
using namespace std::string_literals;

constexpr DicomTag kPatientName = 0x00100010;
constexpr DicomTag kPatientId = 0x00100020;
constexpr DicomTag kPatientComments = 0x00104000;
constexpr DicomTag kReferencedImages = 0x00081140;
constexpr DicomTag kReferencedSopInstance = 0x00081155;
constexpr DicomTag kContentSequence = 0x0040A730;
constexpr DicomTag kCharacterSet = 0x00080005;

constexpr const char* kDictionary =
    "specific_character_set (00080005)\nreferenced_image_sequence (00081140)\n"
    "referenced_sop_instance_uid (00081155)\npatient_name (00100010)\npatient_id (00100020)\n"
    "patient_comments (00104000)\nsamples_per_pixel (00280002)\nrows (00280010)\n";

/// The whole document whose Instance holds `children` (or nothing at all).
std::string Document(const std::string& children) {
  return "<?xml version='1.0' encoding='UTF-8'?>\n"s +
         (children.empty() ? "<Instance />\n" : "<Instance>\n" + children + "</Instance>\n");
}

void ExpectAdded(std::initializer_list<Status> results) {
  int index = 0;
  for (const Status& result : results) EXPECT_TRUE(test::Succeeded(result)) << "element " << index++;
}

using Texts = std::vector<std::pair<DicomTag, std::string>>;

/// Adds to `parent` a sequence with one item per entry of `items` (an empty
/// entry gives an empty item) and returns its first item.
CSequenceItem* AddSequence(CDicomObject& parent, DicomTag tag, const std::vector<Texts>& items) {
  auto sequence = std::make_unique<CDicomSequence>(tag);
  sequence->SetVR(vr::SQ);
  for (const Texts& texts : items) {
    auto item = std::make_unique<CSequenceItem>();
    for (const auto& [t, text] : texts) EXPECT_TRUE(test::Succeeded(item->AddString(t, vr::kUnknown, text)));
    sequence->AppendItem(std::move(item));
  }
  CSequenceItem* first = sequence->GetItem(0);
  EXPECT_TRUE(test::Succeeded(parent.AddSequence(std::move(sequence))));
  return first;
}

class XmlExporterTest : public ::testing::Test {
 protected:
  void SetUp() override { UseDictionary(kDictionary); }

  void UseDictionary(const std::string& text) {
    WriteText(m_dir / "Dicom2XmlDict.txt", text);
    ASSERT_TRUE(m_dictionary.Load(m_dir / "Dicom2XmlDict.txt"));
  }

  /// The document for `object`; fails the test when the export fails.
  std::string Xml(const CDicomObject& object) {
    const Result<std::string> xml = XmlExporter(m_dictionary).ExportToString(object);
    EXPECT_TRUE(xml) << xml.Message();
    return xml ? *xml : std::string();
  }

  /// The message of an export of `object` that must fail, after checking
  /// that it left no file (nor a temporary one) behind, and that an
  /// existing file is left as it was.
  std::string Failure(const CDicomObject& object) {
    XmlExporter exporter(m_dictionary);
    const std::string output = m_dir / "dicomXml.xml";
    EXPECT_FALSE(exporter.Export(object, output));
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), 1);  // the dictionary
    WriteText(output, "the previous export");
    EXPECT_FALSE(exporter.Export(object, output));
    EXPECT_EQ(ReadBytes(output), "the previous export");
    std::filesystem::remove(output);
    const Result<std::string> xml = exporter.ExportToString(object);
    EXPECT_FALSE(xml);
    return xml.Message();
  }

  TempDir m_dir{"xml-export"};
  CXmlDictionary m_dictionary;
};

TEST_F(XmlExporterTest, WritesNamedTextsAndSequencesInTagOrderAndNothingElse) {
  // Names for binary values, a private element and absent tags (bad names
  // among them: they only matter when used), and a name in UTF-8.
  UseDictionary(std::string(kDictionary) +
                "bits (00280100)\nthickness (00700253)\ngradient (00189089)\npixels (7fe00010)\n"
                "version (00020001)\nlength (00080000)\npointer (00209165)\nprivate_value (00091001)\n"
                "not a name (00100030)\ncolumns: (00280011)\nreferenced_series_sequence (00081115)\n"
                "\xC3\xA9tude (00081030)\n");
  CDicomObject object;
  ExpectAdded({object.AddString(kPatientId, vr::LO, "x\x01y\x1Fz\x7F"),
               object.AddString(kPatientComments, vr::LT, "line 1\r\nline 2\ttab"),
               // The data dictionary's VR decides, not the stored one: a name
               // stored as UN is text, rows stored as text is US.
               object.AddValue(kPatientName, vr::UN, "A&B <C> \"D\" 'EF'", 16),
               object.AddString(0x00280010, vr::IS, "512"), object.AddString(0x00081030, vr::LO, "Thorax"),
               object.AddString(0x00080060, vr::CS, "OT"), object.AddString(0x00200013, vr::IS, "7"),
               object.AddUInt16(0x00280002, vr::US, 1), object.AddUInt16(0x00280011, vr::US, 2),
               object.AddUInt16(0x00280100, vr::US, 16), object.AddDouble(0x00189089, vr::FD, 1.5),
               object.AddValue(0x00700253, vr::FL, "\0\0\x80\x3f", 4), object.AddValue(0x7FE00010, vr::OW, "PIXELS", 6),
               object.AddValue(0x00020001, vr::OB, "\0\1", 2), object.AddUInt32(0x00209165, vr::AT, 0x00100010),
               // A private element has no VR in the data dictionary, whatever it is stored as.
               object.AddString(0x00091001, vr::LO, "PRIVATE TEXT")});
  AddSequence(object, kReferencedImages,
              {{{0x00081150, "1.2.840.10008.5.1.4.1.1.2"}, {kReferencedSopInstance, "1.2.3.1"}, {kPatientName, "A^B"}},
               {{0x00081150, "1.2.840.10008.5.1.4.1.1.2"}, {kReferencedSopInstance, "1.2.3.2"}}});
  AddSequence(object, 0x00081115, {});
  AddSequence(object, kContentSequence, {Texts{}});  // unnamed: its empty item would end the export

  const std::string xml = Xml(object);
  EXPECT_EQ(xml, Document("\t<\xC3\xA9tude>Thorax</\xC3\xA9tude>\n"
                          "\t<referenced_series_sequence />\n"
                          "\t<referenced_image_sequence>\n"
                          "\t\t<Item>\n"
                          "\t\t\t<referenced_sop_instance_uid>1.2.3.1</referenced_sop_instance_uid>\n"
                          "\t\t\t<patient_name>A^B</patient_name>\n"
                          "\t\t</Item>\n"
                          "\t\t<Item>\n"
                          "\t\t\t<referenced_sop_instance_uid>1.2.3.2</referenced_sop_instance_uid>\n"
                          "\t\t</Item>\n"
                          "\t</referenced_image_sequence>\n"
                          "\t<patient_name>A&amp;B &lt;C&gt; \"D\" 'EF'</patient_name>\n"
                          "\t<patient_id>xyz\x7F</patient_id>\n"
                          // A carriage return is a reference, so that it reads back.
                          "\t<patient_comments>line 1&#13;\nline 2\ttab</patient_comments>\n"));
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(xml.c_str(), pugi::parse_default | pugi::parse_eol));
  EXPECT_STREQ(document.child("Instance").child("patient_comments").text().get(), "line 1\r\nline 2\ttab");

  CDicomObject binaryOnly;
  ASSERT_TRUE(test::Succeeded(binaryOnly.AddUInt16(0x00280010, vr::US, 2)));
  EXPECT_EQ(Xml(binaryOnly), Document(""));
}

TEST_F(XmlExporterTest, EmptyDataSetsAndItemsAndBadNamesEndTheExportAndWriteNothing) {
  EXPECT_EQ(Failure(CDicomObject()), "Unable to get tags list");
  CDicomObject object;
  ExpectAdded({object.AddString(kPatientName, vr::PN, "Doe^John"), object.AddString(kPatientId, vr::LO, "ID1")});
  AddSequence(object, kReferencedImages, {{{kReferencedSopInstance, "1.2.3.1"}}, Texts{}});
  EXPECT_EQ(Failure(object), "Unable to get tags list");  // the empty item

  for (const std::string& bad : {"patient name"s, "1st_name"s, "ns:name"s, "name&more"s, "patient_n\xE4me"s,
                                "\x01\x02\xFF"s, "<name>"s}) {
    UseDictionary(bad + " (00100010)\n");
    EXPECT_EQ(Failure(object), "Unable to create XML node") << bad;
  }
  // A bad sequence name has its own message (and is met before its items).
  UseDictionary("patient_name (00100010)\nreferenced images (00081140)\n");
  EXPECT_EQ(Failure(object), "Unable to create root XML node");

  // A dictionary of random bytes: whatever it names, the result is a
  // well-formed document or the name failure, never anything else.
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise.push_back(static_cast<char>((i * 7919 + 13) % 256));
  UseDictionary(noise + "\npatient_id (00100020)\n");
  const Result<std::string> xml = XmlExporter(m_dictionary).ExportToString(object);
  if (xml) {
    EXPECT_TRUE(pugi::xml_document().load_string(xml->c_str())) << *xml;
  } else {
    EXPECT_EQ(xml.Message(), "Unable to create XML node");
  }
}

TEST_F(XmlExporterTest, TextIsConvertedFromTheCharacterSetInForce) {
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(object.AddString(kPatientName, vr::PN, "M\xFCller")));  // no (0008,0005)
  EXPECT_NE(Xml(object).find("<patient_name>M\xC3\xBCller</patient_name>"), std::string::npos);

  ExpectAdded({object.AddString(kCharacterSet, vr::CS, "ISO_IR 192"),
               object.AddString(kPatientName, vr::PN, "Ren\xC3\xA9^\xE5\xB1\xB1\xE7\x94\xB0")});
  // An item with its own character set; one without inherits the file's.
  AddSequence(object, kReferencedImages,
              {{{kCharacterSet, "ISO_IR 100"}, {kPatientName, "J\xF6rg"}},
               {{kPatientName, "J\xC3\xB6rg"}},
               {{kCharacterSet, "ISO_IR 144"}, {kPatientName, "Ivan \xC8"}}});
  const std::string xml = Xml(object);
  for (const char* expected : {"<patient_name>Ren\xC3\xA9^\xE5\xB1\xB1\xE7\x94\xB0</patient_name>",
                               "<specific_character_set>ISO_IR 100</specific_character_set>\n\t\t\t"
                               "<patient_name>J\xC3\xB6rg</patient_name>",
                               "<Item>\n\t\t\t<patient_name>J\xC3\xB6rg</patient_name>",
                               "<patient_name>Ivan \xEF\xBF\xBD</patient_name>"}) {
    EXPECT_NE(xml.find(expected), std::string::npos) << expected << "\n" << xml;
  }
}

TEST_F(XmlExporterTest, DeepNestingNeedsNoRecursion) {
  // Far deeper than a file may nest (the reader stops at 128 levels).
  constexpr int kDepth = 2000;
  UseDictionary("code_value (00080100)\ncontent_sequence (0040a730)\n");
  CDicomObject object;
  CDicomObject* parent = &object;
  for (int depth = 1; depth <= kDepth; ++depth) {
    parent = AddSequence(*parent, kContentSequence, {{{0x00080100, depth == kDepth ? "leaf" : std::to_string(depth)}}});
  }
  const std::string xml = Xml(object);
  int itemCount = 0;
  for (std::size_t at = xml.find("<Item>"); at != std::string::npos; at = xml.find("<Item>", at + 1)) ++itemCount;
  EXPECT_EQ(itemCount, kDepth);
  EXPECT_NE(xml.find("<code_value>leaf</code_value>"), std::string::npos);
}

TEST_F(XmlExporterTest, SaveFailuresAreReportedAndASaveReplacesTheFileWithTheString) {
  CDicomObject object;
  ASSERT_TRUE(test::Succeeded(object.AddString(kPatientName, vr::PN, "Doe^John")));
  XmlExporter exporter(m_dictionary);
  for (const std::string& target : {m_dir / "no-such-folder/dicomXml.xml", m_dir.Path().string()}) {
    const Status exported = exporter.Export(object, target);
    EXPECT_EQ(exported.Message().rfind("Unable to save XML document: ", 0), 0u) << exported.Message();
  }
  // A later export replaces the file with the same bytes as the string
  // export.
  const std::string output = m_dir / "dicomXml.xml";
  WriteText(output, "an older export");
  EXPECT_TRUE(test::Succeeded(exporter.Export(object, output)));
  EXPECT_EQ(ReadBytes(output), Xml(object));
}

// ---- Against peers ----

/// The named content of an export, flattened: "name=text" for a text,
/// "name{" ... "}" around a sequence, "[" ... "]" around an item. (The peer
/// files have no empty named sequence, so an element holding no element is
/// a text.)
using Flat = std::vector<std::string>;

void FlattenXml(const pugi::xml_node node, Flat& out) {
  for (const pugi::xml_node child : node.children()) {
    const std::string name = child.name();
    if (child.first_child().type() != pugi::node_element) {
      out.push_back(name + "=" + child.text().get());
      continue;
    }
    out.push_back(name == "Item" ? "[" : name + "{");
    FlattenXml(child, out);
    out.push_back(name == "Item" ? "]" : "}");
  }
}

/// The same from `dcmdump +U8 +L -Un`: its text values, with the names the
/// dictionary gives, unnamed sequences skipped with all they hold.
Flat FlattenDcmdump(const std::string& dump, const CXmlDictionary& dictionary) {
  static const std::regex kLine(R"(^ *\(([0-9a-f]{4}),([0-9a-f]{4})\) (\w\w) (.*)$)");
  Flat out;
  std::vector<bool> named;  // per open sequence: written, or skipped with its content
  std::istringstream lines(dump);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, kLine)) continue;
    const bool skipping = std::find(named.begin(), named.end(), false) != named.end();
    const auto tag = static_cast<DicomTag>(std::stoul(m[1].str() + m[2].str(), nullptr, 16));
    std::string rest = m[4].str();
    rest = rest.substr(0, rest.rfind('#'));
    while (!rest.empty() && rest.back() == ' ') rest.pop_back();
    std::string name;
    const bool hasName = dictionary.GetXmlName(tag, name);
    if (tag == tags::kItem || tag == tags::kItemDelimitation) {
      if (!skipping) out.push_back(tag == tags::kItem ? "[" : "]");
    } else if (tag == tags::kSequenceDelimitation) {
      if (!skipping) out.push_back("}");
      named.pop_back();
    } else if (m[3] == "SQ") {
      named.push_back(hasName);
      if (!skipping && hasName) out.push_back(name + "{");
    } else if (hasName && !skipping && IsTextVR(LookupVR(tag))) {
      out.push_back(name + "=" + (rest == "(no value available)" ? "" : rest.substr(1, rest.size() - 2)));
    }
  }
  return out;
}

// Every tag of the peer files but (0008,0005): dcmdump +U8 prints it as
// "ISO_IR 192" after converting, while the export keeps the stored value.
constexpr const char* kPeerDictionary =
    "study_date (00080020)\nacquisition_datetime (0008002a)\n"
    "study_time (00080030)\naccession_number (00080050)\nretrieve_ae_title (00080054)\n"
    "institution_address (00080081)\nstudy_description (00081030)\nreferenced_image_sequence (00081140)\n"
    "referenced_sop_instance_uid (00081155)\npatient_name (00100010)\npatient_id (00100020)\n"
    "patient_age (00101010)\npatient_weight (00101030)\npatient_comments (00104000)\n"
    "spatial_resolution (00181050)\ninstance_number (00200013)\nimage_comments (00204000)\n"
    "samples_per_pixel (00280002)\nrows (00280010)\ntext_value (0040a160)\n";

class XmlExporterPeerTest : public XmlExporterTest {
 protected:
  void SetUp() override {
    if (!HaveTool("dump2dcm") || !HaveTool("dcmdump") || !HaveTool("xmllint")) {
      GTEST_SKIP() << "DCMTK or xmllint is not installed";
    }
    UseDictionary(kPeerDictionary);
  }

  /// xmllint accepts the file at `path` without a word.
  static void ExpectWellFormed(const std::string& path) {
    const CommandResult lint = RunShell("xmllint --noout " + path);
    EXPECT_EQ(lint.exitCode, 0) << lint.err;
    EXPECT_EQ(lint.err, "");
  }
};

TEST_F(XmlExporterPeerTest, Latin1AndUtf8FilesParseAndMatchDcmdump) {
  // tests/data/xml_peer.txt holds every text VR, values with markup
  // characters, several values, an empty value, binary values, a named
  // sequence of two items and an unnamed one inside it; the character set
  // and two names vary.
  const std::string dump = ReadBytes(QUILLON_SOURCE_DIR "/tests/data/xml_peer.txt");
  for (const auto& [name, charset, patient, description] :
       {std::tuple{"latin1", "ISO_IR 100", "M\xFCller^J\xF6rg", "Br\xFCst & Thorax"},
        std::tuple{"utf8", "ISO_IR 192", "Ren\xC3\xA9^\xE5\xB1\xB1\xE7\x94\xB0", "\xCE\xB1\xCE\xB2 & <\xCE\xB3>"}}) {
    SCOPED_TRACE(name);
    // dump2dcm makes the file; we export it and compare with dcmdump.
    const std::string file = m_dir / (name + ".dcm"s);
    const std::string output = m_dir / (name + ".xml"s);
    std::string text = std::regex_replace(dump, std::regex("@CHARSET@"), charset);
    text = std::regex_replace(std::regex_replace(text, std::regex("@NAME@"), patient), std::regex("@DESCRIPTION@"),
                              description);
    WriteText(m_dir / (name + ".txt"s), text);
    const CommandResult made = RunShell("dump2dcm " + (m_dir / (name + ".txt"s)) + " " + file);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    CDicomObject object;
    ASSERT_TRUE(test::LoadInto(object, file, false));
    XmlExporter exporter(m_dictionary);
    ASSERT_TRUE(test::Succeeded(exporter.Export(object, output)));
    ExpectWellFormed(output);

    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(output.c_str()));
    Flat ours;
    FlattenXml(document.child("Instance"), ours);
    const CommandResult dcmdump = RunShell("dcmdump +U8 +L -Un " + file);
    ASSERT_EQ(dcmdump.exitCode, 0) << dcmdump.err;
    EXPECT_EQ(ours, FlattenDcmdump(dcmdump.out, m_dictionary)) << dcmdump.out << "\n" << ReadBytes(output);
    EXPECT_GT(ours.size(), 20u);
  }
}

TEST_F(XmlExporterPeerTest, FilesWithBrokenValuesStillParse) {
  CDicomObject object;
  ExpectAdded({object.AddString(kCharacterSet, vr::CS, "ISO_IR 192"),
               object.AddString(kPatientName, vr::PN, "bad\xFF\xC3(\x01\x1B$B\x08"),
               object.AddString(kPatientComments, vr::LT, "cr\rlf\nend\xEF\xBF\xBE")});
  XmlExporter exporter(m_dictionary);
  ASSERT_TRUE(test::Succeeded(exporter.Export(object, m_dir / "broken.xml")));
  ExpectWellFormed(m_dir / "broken.xml");
}

}  // namespace
}  // namespace quillon
