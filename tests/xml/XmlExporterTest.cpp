/// \file
/// Tests of the XML export: the document's shape and exact text, which
/// elements are written, the failures and that they write nothing, broken
/// dictionaries and values, and — against real peers — that every file we
/// write parses in xmllint and holds the values dcmdump prints.
#include "xml/XmlExporter.h"

#include "base/AtomicFileWriter.h"
#include "dicom/DataDictionary.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "support/DicomFiles.h"
#include "support/ByteBuilder.h"
#include "support/Shell.h"
#include "xml/XmlDictionary.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace quillon {
namespace {

using namespace quillon::test;
using namespace std::string_literals;

constexpr const char* kHeader = "<?xml version='1.0' encoding='UTF-8'?>\n";

constexpr DicomTag kPatientName = 0x00100010;
constexpr DicomTag kPatientId = 0x00100020;
constexpr DicomTag kPatientComments = 0x00104000;
constexpr DicomTag kReferencedImages = 0x00081140;
constexpr DicomTag kReferencedSopClass = 0x00081150;
constexpr DicomTag kReferencedSopInstance = 0x00081155;
constexpr DicomTag kContentSequence = 0x0040A730;
constexpr DicomTag kCharacterSet = 0x00080005;

constexpr const char* kDictionary =
    "specific_character_set (00080005)\n"
    "referenced_image_sequence (00081140)\n"
    "referenced_sop_instance_uid (00081155)\n"
    "patient_name (00100010)\n"
    "patient_id (00100020)\n"
    "patient_comments (00104000)\n"
    "samples_per_pixel (00280002)\n"
    "rows (00280010)\n";

/// The whole document whose Instance holds `children` (or nothing at all).
std::string Document(const std::string& children) {
  return std::string(kHeader) + (children.empty() ? "<Instance />\n" : "<Instance>\n" + children + "</Instance>\n");
}

constexpr const char* kJohnLine = "\t<patient_name>Doe^John</patient_name>\n";

using Texts = std::vector<std::pair<DicomTag, std::string>>;

std::unique_ptr<CSequenceItem> MakeItem(const Texts& texts) {
  auto item = std::make_unique<CSequenceItem>();
  for (const auto& [tag, text] : texts) EXPECT_EQ(item->AddString(tag, vr::kUnknown, text), DicomStatus::Success);
  return item;
}

std::unique_ptr<CDicomSequence> MakeSequence(DicomTag tag, std::vector<std::unique_ptr<CSequenceItem>> items) {
  auto sequence = std::make_unique<CDicomSequence>(tag);
  sequence->SetVR(vr::SQ);
  for (auto& item : items) sequence->AppendItem(std::move(item));
  return sequence;
}

/// Adds a sequence with one item per entry of `items` (an empty entry gives
/// an empty item).
void AddSequence(CDicomObject& object, DicomTag tag, const std::vector<Texts>& items) {
  std::vector<std::unique_ptr<CSequenceItem>> made;
  for (const Texts& texts : items) made.push_back(MakeItem(texts));
  ASSERT_EQ(object.AddSequence(MakeSequence(tag, std::move(made))), DicomStatus::Success);
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
    XmlExporter exporter(m_dictionary);
    std::string xml;
    EXPECT_TRUE(exporter.ExportToString(object, xml)) << exporter.GetLastError();
    EXPECT_EQ(exporter.GetLastError(), "");
    return xml;
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
    std::string xml = "untouched";
    EXPECT_FALSE(exporter.ExportToString(object, xml));
    EXPECT_EQ(xml, "");
    return exporter.GetLastError();
  }

  TempDir m_dir{"xml-export"};
  CXmlDictionary m_dictionary;
};

TEST_F(XmlExporterTest, WritesTheDocumentShapeExactly) {
  CDicomObject object;
  ASSERT_EQ(object.AddString(kPatientId, vr::LO, "ID1"), DicomStatus::Success);
  ASSERT_EQ(object.AddString(kPatientName, vr::PN, "Doe^John"), DicomStatus::Success);
  ASSERT_EQ(object.AddUInt16(0x00280010, vr::US, 512), DicomStatus::Success);
  AddSequence(object, kReferencedImages,
              {{{kReferencedSopClass, "1.2.840.10008.5.1.4.1.1.2"}, {kReferencedSopInstance, "1.2.3.1"},
                {kPatientName, "A^B"}},
               {{kReferencedSopClass, "1.2.840.10008.5.1.4.1.1.2"}, {kReferencedSopInstance, "1.2.3.2"}}});

  EXPECT_EQ(Xml(object), Document("\t<referenced_image_sequence>\n"
                                  "\t\t<Item>\n"
                                  "\t\t\t<referenced_sop_instance_uid>1.2.3.1</referenced_sop_instance_uid>\n"
                                  "\t\t\t<patient_name>A^B</patient_name>\n"
                                  "\t\t</Item>\n"
                                  "\t\t<Item>\n"
                                  "\t\t\t<referenced_sop_instance_uid>1.2.3.2</referenced_sop_instance_uid>\n"
                                  "\t\t</Item>\n"
                                  "\t</referenced_image_sequence>\n"
                                  "\t<patient_name>Doe^John</patient_name>\n"
                                  "\t<patient_id>ID1</patient_id>\n"));
}

TEST_F(XmlExporterTest, UnnamedTagsAndBinaryValuesGiveAnEmptyInstance) {
  UseDictionary(std::string(kDictionary) +
                "bits (00280100)\nthickness (00700253)\ngradient (00189089)\n"
                "pixels (7fe00010)\nversion (00020001)\nlength (00080000)\npointer (00209165)\n"
                "private_creator (00090010)\nprivate_value (00091001)\n");
  CDicomObject object;
  ASSERT_EQ(object.AddString(0x00080060, vr::CS, "OT"), DicomStatus::Success);
  ASSERT_EQ(object.AddString(0x00200013, vr::IS, "7"), DicomStatus::Success);
  ASSERT_EQ(object.AddUInt16(0x00280002, vr::US, 1), DicomStatus::Success);
  ASSERT_EQ(object.AddUInt16(0x00280010, vr::US, 2), DicomStatus::Success);
  ASSERT_EQ(object.AddUInt16(0x00280100, vr::US, 16), DicomStatus::Success);
  ASSERT_EQ(object.AddDouble(0x00189089, vr::FD, 1.5), DicomStatus::Success);
  ASSERT_EQ(object.AddValue(0x00700253, vr::FL, "\0\0\x80\x3f", 4), DicomStatus::Success);
  ASSERT_EQ(object.AddValue(0x7FE00010, vr::OW, "PIXELS", 6), DicomStatus::Success);
  ASSERT_EQ(object.AddValue(0x00020001, vr::OB, "\0\1", 2), DicomStatus::Success);
  ASSERT_EQ(object.AddUInt32(0x00209165, vr::AT, 0x00100010), DicomStatus::Success);
  // A private element has no VR in the data dictionary, whatever it is stored as.
  ASSERT_EQ(object.AddString(0x00091001, vr::LO, "PRIVATE TEXT"), DicomStatus::Success);
  EXPECT_EQ(Xml(object), Document(""));
}

TEST_F(XmlExporterTest, TheDictionaryVrDecidesNotTheStoredOne) {
  CDicomObject object;
  // A name stored as UN (as a reader without the VR would keep it) is text
  // by the dictionary; "rows" stored as text is US by the dictionary.
  ASSERT_EQ(object.AddValue(kPatientName, vr::UN, "Doe^Jane", 8), DicomStatus::Success);
  ASSERT_EQ(object.AddString(0x00280010, vr::IS, "512"), DicomStatus::Success);
  EXPECT_EQ(Xml(object), Document("\t<patient_name>Doe^Jane</patient_name>\n"));
}

TEST_F(XmlExporterTest, EmptyDataSetOrItemEndsTheExportAndWritesNothing) {
  EXPECT_EQ(Failure(CDicomObject()), "Unable to get tags list");
  CDicomObject object;
  ASSERT_EQ(object.AddString(kPatientName, vr::PN, "Doe^John"), DicomStatus::Success);
  AddSequence(object, kReferencedImages, {{{kReferencedSopInstance, "1.2.3.1"}}, Texts{}});
  EXPECT_EQ(Failure(object), "Unable to get tags list");
}

TEST_F(XmlExporterTest, SequenceWithoutItemsIsAnEmptyElementAndUnnamedOnesAreNeverVisited) {
  CDicomObject object;
  AddSequence(object, kReferencedImages, {});
  AddSequence(object, kContentSequence, {Texts{}});  // its empty item would end the export
  EXPECT_EQ(Xml(object), Document("\t<referenced_image_sequence />\n"));
}

TEST_F(XmlExporterTest, ElementsComeOutInAscendingTagOrderWhateverTheFileOrder) {
  ByteBuilder b;
  b.Meta("1.2.840.10008.1.2.1");
  b.Explicit(kPatientComments, "LT", "last").Explicit(kPatientId, "LO", "ID").Explicit(kPatientName, "PN", "Name");
  b.Explicit(kCharacterSet, "CS", "ISO_IR 100");
  const std::string file = m_dir / "reversed.dcm";
  WriteText(file, std::string(b.bytes.begin(), b.bytes.end()));
  CDicomObject object;
  ASSERT_TRUE(test::LoadInto(object, file, false));
  EXPECT_EQ(Xml(object), Document("\t<specific_character_set>ISO_IR 100</specific_character_set>\n"
                                  "\t<patient_name>Name</patient_name>\n"
                                  "\t<patient_id>ID</patient_id>\n"
                                  "\t<patient_comments>last</patient_comments>\n"));
}

TEST_F(XmlExporterTest, NamesThatAreNotXmlNamesEndTheExport) {
  CDicomObject object;
  ASSERT_EQ(object.AddString(kPatientName, vr::PN, "Doe^John"), DicomStatus::Success);
  for (const std::string& bad : {"patient name"s, "1st_name"s, "ns:name"s, "name&more"s, "patient_n\xE4me"s,
                                "\x01\x02\xFF"s, "<name>"s}) {
    UseDictionary(bad + " (00100010)\n");
    EXPECT_EQ(Failure(object), "Unable to create XML node") << bad;
  }
  // A bad sequence name has its own message.
  AddSequence(object, kReferencedImages, {{{kReferencedSopInstance, "1.2.3"}}});
  UseDictionary("patient_name (00100010)\nreferenced images (00081140)\n");
  EXPECT_EQ(Failure(object), "Unable to create root XML node");
}

TEST_F(XmlExporterTest, BadNamesOnlyMatterWhenUsed) {
  // Names of absent tags and of binary values are never made into elements.
  UseDictionary("patient_name (00100010)\nnot a name (00100020)\nrows: (00280010)\n");
  CDicomObject object;
  ASSERT_EQ(object.AddString(kPatientName, vr::PN, "Doe^John"), DicomStatus::Success);
  ASSERT_EQ(object.AddUInt16(0x00280010, vr::US, 2), DicomStatus::Success);
  EXPECT_EQ(Xml(object), Document(kJohnLine));
}

TEST_F(XmlExporterTest, BrokenDictionariesGiveDefinedDocuments) {
  CDicomObject object;
  ASSERT_EQ(object.AddString(kPatientName, vr::PN, "Doe^John"), DicomStatus::Success);
  ASSERT_EQ(object.AddString(kPatientId, vr::LO, "ID1"), DicomStatus::Success);

  // Duplicate tags: the last line wins.
  UseDictionary("first (00100010)\nsecond (00100010)\n");
  EXPECT_EQ(Xml(object), Document("\t<second>Doe^John</second>\n"));

  // A line longer than 1023 characters loses its end, here the tag: it
  // names nothing. A long name that fits is used as it is.
  const std::string longName(1010, 'n');
  UseDictionary(std::string(1030, 'x') + " (00100010)\n" + longName + " (00100020)\n");
  EXPECT_EQ(Xml(object), Document("\t<" + longName + ">ID1</" + longName + ">\n"));

  // Binary bytes: a NUL ends the line's text; names in UTF-8 are names.
  UseDictionary("patient_name\0 (00100010)\npatient_\xC3\xAF\x64 (00100020)\n"s);
  EXPECT_EQ(Xml(object), Document("\t<patient_\xC3\xAF\x64>ID1</patient_\xC3\xAF\x64>\n"));

  // A file of random bytes: whatever it names, the result is a document or
  // the name failure, never anything else.
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise.push_back(static_cast<char>((i * 7919 + 13) % 256));
  UseDictionary(noise + "\npatient_id (00100020)\n");
  XmlExporter exporter(m_dictionary);
  std::string xml;
  if (!exporter.ExportToString(object, xml)) {
    EXPECT_EQ(exporter.GetLastError(), "Unable to create XML node");
  }
}

TEST_F(XmlExporterTest, ValuesAreEscapedAndHoldOnlyXmlCharacters) {
  CDicomObject object;
  ASSERT_EQ(object.AddString(kPatientName, vr::PN, "A&B <C> \"D\" 'E'"), DicomStatus::Success);
  ASSERT_EQ(object.AddString(kPatientId, vr::LO, "x\x01y\x1Fz\x7F"), DicomStatus::Success);
  ASSERT_EQ(object.AddString(kPatientComments, vr::LT, "line 1\r\nline 2\ttab"), DicomStatus::Success);
  const std::string xml = Xml(object);
  EXPECT_NE(xml.find("<patient_name>A&amp;B &lt;C&gt; \"D\" 'E'</patient_name>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<patient_id>xyz\x7F</patient_id>"), std::string::npos) << xml;
  // A carriage return is written as a reference so that it reads back.
  EXPECT_NE(xml.find("<patient_comments>line 1&#13;\nline 2\ttab</patient_comments>"), std::string::npos) << xml;
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(xml.c_str(), pugi::parse_default | pugi::parse_eol));
  EXPECT_STREQ(document.child("Instance").child("patient_comments").text().get(), "line 1\r\nline 2\ttab");
}

TEST_F(XmlExporterTest, TextIsConvertedFromTheCharacterSetInForce) {
  CDicomObject object;
  ASSERT_EQ(object.AddString(kPatientName, vr::PN, "M\xFCller"), DicomStatus::Success);  // no (0008,0005)
  EXPECT_NE(Xml(object).find("<patient_name>M\xC3\xBCller</patient_name>"), std::string::npos);

  ASSERT_EQ(object.AddString(kCharacterSet, vr::CS, "ISO_IR 192"), DicomStatus::Success);
  ASSERT_EQ(object.AddString(kPatientName, vr::PN, "Ren\xC3\xA9^\xE5\xB1\xB1\xE7\x94\xB0"), DicomStatus::Success);
  ASSERT_EQ(object.AddString(kPatientId, vr::LO, "bad\xC3(\xFF"), DicomStatus::Success);
  // An item with its own character set; one without inherits the file's.
  AddSequence(object, kReferencedImages,
              {{{kCharacterSet, "ISO_IR 100"}, {kPatientName, "J\xF6rg"}},
               {{kPatientName, "J\xC3\xB6rg"}},
               {{kCharacterSet, "ISO_IR 144"}, {kPatientName, "Ivan \xC8"}}});
  const std::string xml = Xml(object);
  for (const char* expected : {"<patient_name>Ren\xC3\xA9^\xE5\xB1\xB1\xE7\x94\xB0</patient_name>",
                               "<patient_id>bad\xEF\xBF\xBD(\xEF\xBF\xBD</patient_id>",
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
  std::unique_ptr<CSequenceItem> inner = MakeItem({{0x00080100, "leaf"}});
  for (int depth = kDepth - 1; depth > 0; --depth) {
    std::vector<std::unique_ptr<CSequenceItem>> items;
    items.push_back(std::move(inner));
    inner = MakeItem({{0x00080100, std::to_string(depth)}});
    ASSERT_EQ(inner->AddSequence(MakeSequence(kContentSequence, std::move(items))), DicomStatus::Success);
  }
  CDicomObject object;
  std::vector<std::unique_ptr<CSequenceItem>> items;
  items.push_back(std::move(inner));
  ASSERT_EQ(object.AddSequence(MakeSequence(kContentSequence, std::move(items))), DicomStatus::Success);
  const std::string xml = Xml(object);
  int itemCount = 0;
  for (std::size_t at = xml.find("<Item>"); at != std::string::npos; at = xml.find("<Item>", at + 1)) ++itemCount;
  EXPECT_EQ(itemCount, kDepth);
  EXPECT_NE(xml.find("<code_value>leaf</code_value>"), std::string::npos);
}

TEST_F(XmlExporterTest, SaveFailuresAreReportedAndASaveReplacesTheFileWithTheString) {
  CDicomObject object;
  ASSERT_EQ(object.AddString(kPatientName, vr::PN, "Doe^John"), DicomStatus::Success);
  XmlExporter exporter(m_dictionary);
  EXPECT_FALSE(exporter.Export(object, m_dir / "no-such-folder/dicomXml.xml"));
  EXPECT_EQ(exporter.GetLastError().rfind("Unable to save XML document: ", 0), 0u) << exporter.GetLastError();
  EXPECT_FALSE(exporter.Export(object, m_dir.Path().string()));
  EXPECT_EQ(exporter.GetLastError().rfind("Unable to save XML document: ", 0), 0u) << exporter.GetLastError();
  // A later success clears the message, and the file holds the same bytes
  // as the string export.
  const std::string output = m_dir / "dicomXml.xml";
  WriteText(output, "an older export");
  EXPECT_TRUE(exporter.Export(object, output));
  EXPECT_EQ(exporter.GetLastError(), "");
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
  const auto skipping = [&named] { return std::find(named.begin(), named.end(), false) != named.end(); };
  std::istringstream lines(dump);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, kLine)) continue;
    const auto tag = static_cast<DicomTag>(std::stoul(m[1].str() + m[2].str(), nullptr, 16));
    std::string rest = m[4].str();
    rest = rest.substr(0, rest.rfind('#'));
    while (!rest.empty() && rest.back() == ' ') rest.pop_back();
    std::string name;
    const bool hasName = dictionary.GetXmlName(tag, name);
    if (tag == tags::kItem) {
      if (!skipping()) out.push_back("[");
    } else if (tag == tags::kItemDelimitation) {
      if (!skipping()) out.push_back("]");
    } else if (tag == tags::kSequenceDelimitation) {
      if (!skipping()) out.push_back("}");
      named.pop_back();
    } else if (m[3] == "SQ") {
      named.push_back(hasName);
      if (!skipping()) out.push_back(name + "{");
    } else if (hasName && !skipping() && IsTextVR(LookupVR(tag))) {
      const std::string value = rest == "(no value available)" ? "" : rest.substr(1, rest.size() - 2);
      out.push_back(name + "=" + value);
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

  /// Makes a file with dump2dcm from `dump`, exports it, checks the export
  /// with xmllint and compares its values with dcmdump's.
  void CheckAgainstPeers(const std::string& name, const std::string& dump) {
    const std::string source = m_dir / (name + ".txt");
    const std::string file = m_dir / (name + ".dcm");
    const std::string output = m_dir / (name + ".xml");
    WriteText(source, dump);
    const CommandResult made = RunShell("dump2dcm " + source + " " + file);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    CDicomObject object;
    ASSERT_TRUE(test::LoadInto(object, file, false));
    XmlExporter exporter(m_dictionary);
    ASSERT_TRUE(exporter.Export(object, output)) << exporter.GetLastError();

    const CommandResult lint = RunShell("xmllint --noout " + output);
    EXPECT_EQ(lint.exitCode, 0) << lint.err;
    EXPECT_EQ(lint.err, "");

    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(output.c_str()));
    Flat ours;
    FlattenXml(document.child("Instance"), ours);

    const CommandResult dcmdump = RunShell("dcmdump +U8 +L -Un " + file);
    ASSERT_EQ(dcmdump.exitCode, 0) << dcmdump.err;
    const Flat theirs = FlattenDcmdump(dcmdump.out, m_dictionary);
    EXPECT_EQ(ours, theirs) << dcmdump.out << "\n" << ReadBytes(output);
    EXPECT_GT(ours.size(), 20u);
  }
};

/// A data set with every text VR, values with markup characters, several
/// values, an empty value, binary values, a named sequence of two items and
/// an unnamed one inside it; `charset` and the two names vary.
std::string PeerDump(const std::string& charset, const std::string& patientName, const std::string& description) {
  return "(0002,0010) UI =LittleEndianExplicit\n"
         "(0008,0005) CS [" + charset + "]\n"
         "(0008,0016) UI =SecondaryCaptureImageStorage\n"
         "(0008,0018) UI [1.2.826.0.1.3680043.2.1143.77]\n"
         "(0008,0020) DA [20240131]\n"
         "(0008,002a) DT [20240131101530.25]\n"
         "(0008,0030) TM [101530]\n"
         "(0008,0050) SH [ACC & <1>]\n"
         "(0008,0054) AE [STORE_SCP]\n"
         "(0008,0081) ST [1 Main Street \"North\"]\n"
         "(0008,1030) LO [" + description + "]\n"
         "(0008,1140) SQ (Sequence with undefined length)\n"
         "  (fffe,e000) na (Item with undefined length)\n"
         "    (0008,1150) UI =CTImageStorage\n"
         "    (0008,1155) UI [1.2.3.4.7]\n"
         "    (0040,a160) UT [inside the first item]\n"
         "    (0040,a730) SQ (Sequence with undefined length)\n"
         "      (fffe,e000) na (Item with undefined length)\n"
         "        (0040,a160) UT [hidden, the sequence has no name]\n"
         "      (fffe,e00d) na (ItemDelimitationItem)\n"
         "    (fffe,e0dd) na (SequenceDelimitationItem)\n"
         "  (fffe,e00d) na (ItemDelimitationItem)\n"
         "  (fffe,e000) na (Item with undefined length)\n"
         "    (0008,1155) UI [1.2.3.4.8]\n"
         "    (0010,0010) PN [" + patientName + "]\n"
         "  (fffe,e00d) na (ItemDelimitationItem)\n"
         "(fffe,e0dd) na (SequenceDelimitationItem)\n"
         "(0010,0010) PN [" + patientName + "]\n"
         "(0010,0020) LO [ID-42]\n"
         "(0010,1010) AS [042Y]\n"
         "(0010,1030) DS [72.5]\n"
         "(0010,4000) LT [comments with 'apostrophes' and a > sign]\n"
         "(0018,1050) DS [0.25\\0.5]\n"
         "(0020,0013) IS [7]\n"
         "(0020,4000) LT []\n"
         "(0028,0002) US 1\n"
         "(0028,0010) US 2\n"
         "(0040,a160) UT [free text]\n";
}

TEST_F(XmlExporterPeerTest, Latin1FileMatchesDcmdump) {
  CheckAgainstPeers("latin1", PeerDump("ISO_IR 100", "M\xFCller^J\xF6rg", "Br\xFCst & Thorax"));
}

TEST_F(XmlExporterPeerTest, Utf8FileMatchesDcmdump) {
  CheckAgainstPeers("utf8", PeerDump("ISO_IR 192", "Ren\xC3\xA9^\xE5\xB1\xB1\xE7\x94\xB0", "\xCE\xB1\xCE\xB2 & <\xCE\xB3>"));
}

TEST_F(XmlExporterPeerTest, FilesWithBrokenValuesStillParse) {
  CDicomObject object;
  ASSERT_EQ(object.AddString(kCharacterSet, vr::CS, "ISO_IR 192"), DicomStatus::Success);
  ASSERT_EQ(object.AddString(kPatientName, vr::PN, "bad\xFF\xC3(\x01\x1B$B\x08"), DicomStatus::Success);
  ASSERT_EQ(object.AddString(kPatientComments, vr::LT, "cr\rlf\nend\xEF\xBF\xBE"), DicomStatus::Success);
  XmlExporter exporter(m_dictionary);
  const std::string output = m_dir / "broken.xml";
  ASSERT_TRUE(exporter.Export(object, output)) << exporter.GetLastError();
  const CommandResult lint = RunShell("xmllint --noout " + output);
  EXPECT_EQ(lint.exitCode, 0) << lint.err;
  EXPECT_EQ(lint.err, "");
}

}  // namespace
}  // namespace quillon
