// The seventeen character set files pydicom ships, read with pydicom as the
// reference: every text value that may hold the data set's set shows in
// `dump` and in the XML export as pydicom reads it, and encoding that text
// again gives the stored bytes.
#include "dicom/CharacterSet.h"
#include "dicom/DataDictionary.h"
#include "dicom/ValueRepresentation.h"
#include "support/Shell.h"
#include "xml/XmlDictionary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

using namespace quillon;
using namespace quillon::test;

namespace {

const std::string kCli = QUILLON_CLI_PATH;
const std::string kCharsetFiles = "/usr/lib/python3/dist-packages/pydicom/data/charset_files/";
const std::string kReference = "/usr/bin/python3 " QUILLON_SOURCE_DIR "/tests/support/pydicom_text_values.py ";

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

/// One text value as pydicom reads it.
struct ReferenceValue {
  std::string tag;  ///< "gggg,eeee"
  std::string vr;
  std::string charset;
  std::string stored;
  std::string text;  ///< each value without trailing spaces, joined by backslashes
};

std::vector<ReferenceValue> ReadReference(const std::string& file) {
  const CommandResult result = RunShell(kReference + file);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::vector<ReferenceValue> values;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    ReferenceValue value;
    std::string stored;
    std::string text;
    std::getline(fields, value.tag, '\t');
    std::getline(fields, value.vr, '\t');
    std::getline(fields, value.charset, '\t');
    std::getline(fields, stored, '\t');
    std::getline(fields, text, '\t');
    value.stored = FromHex(stored);
    value.text = FromHex(text);
    values.push_back(value);
  }
  return values;
}

/// `text` as the reference gives it: each value without trailing spaces
/// (and, for a person name, without empty trailing component groups, which
/// pydicom drops), and no trailing white space at all.
std::string Normalized(const std::string& text, bool personName = false) {
  std::string out;
  std::string value;
  const auto flush = [&] {
    while (!value.empty() && (value.back() == ' ' || (personName && value.back() == '='))) value.pop_back();
    out += value;
    value.clear();
  };
  for (const char c : text) {
    if (c == '\\') {
      flush();
      out += '\\';
    } else {
      value += c;
    }
  }
  flush();
  while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back()))) out.pop_back();
  return out;
}

std::string WithoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

/// The quoted values of the dump lines of `tag`, in order.
std::vector<std::string> DumpValuesOf(const std::string& dump, const std::string& tag) {
  const std::string prefix = tag.substr(0, 4) + " " + tag.substr(5, 4) + "   ";
  std::vector<std::string> values;
  for (size_t pos = 0; (pos = dump.find(prefix, pos)) != std::string::npos; ++pos) {
    if (pos > 0 && dump[pos - 1] != '\n' && dump[pos - 1] != ' ') continue;
    const size_t open = dump.find('"', pos);
    const size_t close = dump.find("\" \n", open);
    if (open == std::string::npos || close == std::string::npos) break;
    values.push_back(dump.substr(open + 1, close - open - 1));
  }
  return values;
}

/// The text of every element of an XML document, unescaped.
std::multiset<std::string> XmlTexts(const std::string& xml) {
  std::multiset<std::string> texts;
  for (size_t pos = 0; (pos = xml.find('>', pos)) != std::string::npos; ++pos) {
    const size_t end = xml.find('<', pos);
    if (end == std::string::npos) break;
    std::string text = xml.substr(pos + 1, end - pos - 1);
    for (const auto& [entity, character] : std::map<std::string, std::string>{
             {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&#13;", "\r"}, {"&amp;", "&"}}) {
      for (size_t at = 0; (at = text.find(entity, at)) != std::string::npos; at += character.size()) {
        text.replace(at, entity.size(), character);
      }
    }
    texts.insert(Normalized(text));
    if (Normalized(text, true) != Normalized(text)) texts.insert(Normalized(text, true));
  }
  return texts;
}

class CharsetFiles : public ::testing::TestWithParam<std::string> {};

TEST_P(CharsetFiles, TextReadsAsPydicomReadsItAndEncodesBackToTheStoredBytes) {
  const std::string file = kCharsetFiles + GetParam();
  const std::vector<ReferenceValue> reference = ReadReference(file);
  ASSERT_FALSE(reference.empty());

  const CommandResult dump = RunShell(kCli + " dump " + file);
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  TempDir dir("charset-xml");
  const CommandResult xml = RunShell(kCli + " xml " + file + " --output " + (dir / "out.xml"));
  ASSERT_EQ(xml.exitCode, 0) << xml.err;
  const std::multiset<std::string> xmlTexts = XmlTexts(ReadBytes(dir / "out.xml"));
  CXmlDictionary dictionary;
  ASSERT_TRUE(dictionary.Load(QUILLON_SOURCE_DIR "/xml/Dicom2XmlDict.txt"));

  std::map<std::string, size_t> seen;  // how many lines of each tag were matched
  bool nonAscii = false;
  for (const ReferenceValue& value : reference) {
    const std::string where = GetParam() + " " + value.tag;
    nonAscii |= std::any_of(value.stored.begin(), value.stored.end(), [](char c) { return c < 0 || c == 0x1B; });
    const std::string expected = WithoutCarriageReturns(value.text);

    const std::vector<std::string> lines = DumpValuesOf(dump.out, value.tag);
    const size_t index = seen[value.tag]++;
    ASSERT_LT(index, lines.size()) << where;
    const bool personName = value.vr == "PN";
    EXPECT_EQ(Normalized(lines[index], personName), expected) << where;

    const DicomTag tag = static_cast<DicomTag>(std::stoul(value.tag.substr(0, 4) + value.tag.substr(5, 4), nullptr, 16));
    std::string name;
    // The export writes the named elements that the data dictionary calls
    // text (a retired one has no VR there); another may hold the same text.
    if (dictionary.GetXmlName(tag, name) && IsTextVR(LookupVR(tag))) {
      EXPECT_GE(xmlTexts.count(Normalized(value.text)), 1u) << where << " in the XML";
    }

    // Encoding the text again gives the stored bytes. A file may return to
    // its first set with ESC ( B where that set is JIS X 0201 Romaji,
    // whose letters we read and write as ASCII: both escapes are the same.
    const CCharacterSet charset = CCharacterSet::FromSpecificCharacterSet(value.charset);
    const TextDelimiters delimiters = value.vr == "PN" ? TextDelimiters::PersonName : TextDelimiters::Text;
    const std::string decoded = charset.Decoded(value.stored, delimiters);
    EXPECT_EQ(Normalized(WithoutCarriageReturns(decoded), personName), expected) << where;
    const Result<std::string> encoded = charset.Encode(decoded, delimiters);
    ASSERT_TRUE(encoded) << where << ": " << encoded.Message();
    std::string stored = value.stored;
    if (value.charset.starts_with("ISO 2022 IR 13")) {
      for (size_t at = 0; (at = stored.find("\x1B(B", at)) != std::string::npos;) stored[at + 1] = '(', stored[at + 2] = 'J';
    }
    // A value whose G0 never leaves ASCII may still designate ASCII again
    // (chrKoreanMulti, whose Korean is in G1): the escape changes nothing,
    // and neither we nor pydicom write it.
    if (stored.find("\x1B$B") == std::string::npos && stored.find("\x1B$(D") == std::string::npos &&
        stored.find("\x1B(J") == std::string::npos) {
      for (size_t at = 0; (at = stored.find("\x1B(B", at)) != std::string::npos;) stored.erase(at, 3);
    }
    EXPECT_EQ(*encoded, stored) << where;
  }
  EXPECT_TRUE(nonAscii || GetParam() == "chrSQEncoding1.dcm") << "a file of only ASCII tests nothing here";
}

INSTANTIATE_TEST_SUITE_P(PydicomCharsetFiles, CharsetFiles,
                         ::testing::Values("chrArab.dcm", "chrFren.dcm", "chrFrenMulti.dcm", "chrGerm.dcm",
                                           "chrGreek.dcm", "chrH31.dcm", "chrH32.dcm", "chrHbrw.dcm", "chrI2.dcm",
                                           "chrJapMulti.dcm", "chrJapMultiExplicitIR6.dcm", "chrKoreanMulti.dcm",
                                           "chrRuss.dcm", "chrSQEncoding.dcm", "chrSQEncoding1.dcm", "chrX1.dcm",
                                           "chrX2.dcm"),
                         [](const ::testing::TestParamInfo<std::string>& file) {
                           return file.param.substr(0, file.param.find('.'));
                         });

// No public attribute of these files is left without a name.
TEST(CharsetFilesNames, EveryPublicAttributeHasAName) {
  for (const auto& entry : std::filesystem::directory_iterator(kCharsetFiles)) {
    if (entry.path().extension() != ".dcm") continue;
    const CommandResult dump = RunShell(kCli + " dump " + entry.path().string());
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    std::istringstream lines(dump.out);
    std::string line;
    while (std::getline(lines, line)) {
      const size_t start = line.find_first_not_of(' ');
      if (start == std::string::npos || line.find("Unknown tag") == std::string::npos) continue;
      const unsigned group = static_cast<unsigned>(std::stoul(line.substr(start, 4), nullptr, 16));
      EXPECT_EQ(group % 2, 1u) << entry.path().filename() << ": " << line;  // only private tags may be unknown
    }
  }
}

}  // namespace
