/// \file
/// Building the XML tree of a data set with pugixml and saving it.
#include "xml/XmlExporter.h"

#include "base/AtomicFileWriter.h"
#include "dicom/DataDictionary.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "base/FileStream.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "xml/TextEncoding.h"
#include "xml/XmlDictionary.h"
#include "xml/XmlNameRules.h"

#include <pugixml.hpp>

#include <cstring>
#include <new>
#include <filesystem>
#include <string_view>
#include <vector>

namespace quillon {
namespace {

constexpr const char* kUnableToCreatePi = "Unable to create Processing Instruction ";
constexpr const char* kUnableToCreateItemNode = "Unable to create item XML node";
constexpr const char* kUnableToGetTags = "Unable to get tags list";
constexpr const char* kUnableToCreateNode = "Unable to create XML node";
constexpr const char* kUnableToSetText = "Unable to set text";
constexpr const char* kUnableToCreateRootNode = "Unable to create root XML node";
constexpr const char* kUnknownError = "Unknown error...";
constexpr const char* kUnableToSave = "Unable to save XML document: ";


/// What ends a build: one of the fixed messages above.
Error BuildFailure(const char* message) { return Error(ErrorCode::Failure, message); }

/// One data set being written: its XML element, where the walk over its
/// elements stands, and the named sequence whose items are being written.
struct ObjectFrame {
  pugi::xml_node element;
  const CDicomObject* object = nullptr;
  const std::vector<CElementMap::Entry>* entries = nullptr;
  std::size_t nextEntry = 0;
  CCharacterSet charset;
  const CDicomSequence* sequence = nullptr;
  pugi::xml_node sequenceElement;
  std::size_t nextItem = 0;
};

/// Fills a document from a data set. The walk keeps its own stack instead
/// of recursing, so the nesting of sequences the data model can hold is not
/// bounded by the thread's stack; the order of the output and of the checks
/// is that of a depth-first walk in ascending tag order.
class DocumentBuilder {
 public:
  explicit DocumentBuilder(const CXmlDictionary* dictionary) : m_dictionary(dictionary) {}

  Status Build(pugi::xml_document& document, const CDicomObject& object) {
    pugi::xml_node declaration = document.append_child(pugi::node_pi);
    if (!declaration || !declaration.set_name("xml") ||
        !declaration.set_value("version='1.0' encoding='UTF-8'")) {
      return BuildFailure(kUnableToCreatePi);
    }
    Status built = OpenObject(document, object, "Instance", CCharacterSet());
    while (built && !m_stack.empty()) built = Step();
    return built;
  }

 private:
  /// Creates the element of a data set and puts the data set on the stack.
  Status OpenObject(pugi::xml_node parent, const CDicomObject& object, const char* name,
                    const CCharacterSet& inherited) {
    ObjectFrame frame;
    frame.element = parent.append_child(name);
    if (!frame.element) return BuildFailure(kUnableToCreateItemNode);
    frame.object = &object;
    frame.entries = &object.Elements().Sorted();
    if (frame.entries->empty()) return BuildFailure(kUnableToGetTags);
    // An item may declare its own character set; otherwise it reads its
    // text in the one of the data set around it.
    frame.charset = CharsetInForce(object, inherited);
    m_stack.push_back(frame);
    return Ok();
  }

  /// Writes the next item of the open sequence, or the next element, of the
  /// data set on top of the stack, or closes it.
  Status Step() {
    ObjectFrame& frame = m_stack.back();
    if (frame.sequence != nullptr) {
      if (frame.nextItem < frame.sequence->GetItemCount()) {
        const CSequenceItem* item = frame.sequence->GetItem(frame.nextItem++);
        const CCharacterSet inherited = frame.charset;  // `frame` is invalid once the item is pushed
        return OpenObject(frame.sequenceElement, *item, "Item", inherited);
      }
      frame.sequence = nullptr;
    }
    if (frame.nextEntry == frame.entries->size()) {
      m_stack.pop_back();
      return Ok();
    }
    const CElementMap::Entry& entry = (*frame.entries)[frame.nextEntry++];
    return AddElement(frame, entry.tag, *entry.element);
  }

  Status AddElement(ObjectFrame& frame, DicomTag tag, const CDicomElement& element) {
    if (!LookupName(tag, m_name)) return Ok();
    const DicomVR vr = LookupVRForSopClass(tag, frame.object->GetSopClassUid());
    if (IsTextVR(vr)) return AddText(frame, element, vr);
    if (vr != vr::SQ) return Ok();
    if (const auto* sequence = dynamic_cast<const CDicomSequence*>(&element)) {
      if (!IsXmlNcName(m_name)) return BuildFailure(kUnableToCreateRootNode);
      frame.sequenceElement = frame.element.append_child(m_name.c_str());
      if (!frame.sequenceElement) return BuildFailure(kUnableToCreateRootNode);
      frame.sequence = sequence;
      frame.nextItem = 0;
    }
    return Ok();
  }

  Status AddText(ObjectFrame& frame, const CDicomElement& element, DicomVR vr) {
    if (!IsXmlNcName(m_name)) return BuildFailure(kUnableToCreateNode);
    m_text.clear();
    // Only the VRs that may hold the data set's set are read in it; the
    // others hold the default repertoire.
    AppendXmlText(element.GetTextView(), UsesSpecificCharacterSet(vr) ? frame.charset : CCharacterSet(),
                  DelimitersOf(vr), m_text);
    pugi::xml_node node = frame.element.append_child(m_name.c_str());
    if (!node) return BuildFailure(kUnableToCreateNode);
    pugi::xml_node text = node.append_child(pugi::node_pcdata);
    if (!text) return BuildFailure(kUnableToCreateNode);
    if (!text.set_value(m_text.data(), m_text.size())) return BuildFailure(kUnableToSetText);
    return Ok();
  }

  bool LookupName(DicomTag tag, std::string& name) const {
    if (m_dictionary != nullptr) return m_dictionary->GetXmlName(tag, name);
    return GetXmlName(tag, name) > 0;
  }

  const CXmlDictionary* m_dictionary;
  std::vector<ObjectFrame> m_stack;
  std::string m_name;  // reused for every element
  std::string m_text;
};

/// Receives the serialised document from pugixml. A carriage return can
/// reach the output only from a value — names are checked and the
/// indentation is tabs and line feeds — and a parser turns a literal one
/// into a line feed (XML 1.0, 2.11), so it is written as a character
/// reference and reads back as it was stored.
class XmlTextWriter : public pugi::xml_writer {
 public:
  void write(const void* data, std::size_t size) override {
    const char* begin = static_cast<const char*>(data);
    const char* const end = begin + size;
    while (begin < end) {
      const auto* cr = static_cast<const char*>(std::memchr(begin, '\r', static_cast<std::size_t>(end - begin)));
      const char* const stop = cr != nullptr ? cr : end;
      if (stop > begin) Put(begin, static_cast<std::size_t>(stop - begin));
      if (cr == nullptr) break;
      Put("&#13;", 5);
      begin = cr + 1;
    }
  }

 protected:
  virtual void Put(const char* data, std::size_t size) = 0;
};

class StringWriter final : public XmlTextWriter {
 public:
  explicit StringWriter(std::string& out) : m_out(out) {}

 private:
  void Put(const char* data, std::size_t size) override { m_out.append(data, size); }
  std::string& m_out;
};

/// Writes to a file stream. A stream error stays with the stream, which
/// drops what follows; the atomic writer looks at it once pugixml is done.
class StreamWriter final : public XmlTextWriter {
 public:
  explicit StreamWriter(CFileStream& stream) : m_stream(stream) {}

 private:
  void Put(const char* data, std::size_t size) override { m_stream.Write(data, size); }
  CFileStream& m_stream;
};

void SaveDocument(const pugi::xml_document& document, pugi::xml_writer& writer) {
  // The declaration is the processing instruction already in the tree;
  // pugixml must not add its own. Control characters are dropped before
  // they reach the tree; skipping them here as well keeps pugixml from ever
  // writing the references "&#01;" that XML 1.0 does not allow.
  document.save(writer, "\t",
                pugi::format_indent | pugi::format_no_declaration | pugi::format_skip_control_chars,
                pugi::encoding_utf8);
}

}  // namespace

std::string FindShippedXmlDictionary() {
  std::error_code ignored;
  // A program run from the build tree it was built in (a test, a
  // developer's run) takes the dictionary of its own sources; an installed
  // one never looks into a build tree that happens to be on the machine.
  const std::string program = std::filesystem::read_symlink("/proc/self/exe", ignored).string();
  const bool inBuildTree = !ignored && program.rfind(std::string(QUILLON_BUILD_ROOT) + "/", 0) == 0;
  for (const char* folder : {inBuildTree ? QUILLON_DATA_BUILD_DIR : "", QUILLON_DATA_INSTALL_DIR}) {
    if (*folder == '\0') continue;
    const std::filesystem::path path = std::filesystem::path(folder) / kDefaultXmlDictionaryName;
    if (std::filesystem::is_regular_file(path, ignored)) return path.string();
  }
  return {};
}

std::string ChooseXmlDictionary() {
  std::error_code ignored;
  if (std::filesystem::exists(kDefaultXmlDictionaryName, ignored)) return kDefaultXmlDictionaryName;
  const std::string shipped = FindShippedXmlDictionary();
  return shipped.empty() ? std::string(kDefaultXmlDictionaryName) : shipped;
}

XmlExporter::XmlExporter() = default;

XmlExporter::XmlExporter(const CXmlDictionary& dictionary) : m_dictionary(&dictionary) {}

XmlExporter::~XmlExporter() = default;

bool XmlExporter::LoadDictionary(const std::string& path) { return LoadXmlDictionary(path) > 0; }

Result<std::unique_ptr<pugi::xml_document>> XmlExporter::CreateDocument(const CDicomObject& object) const {
  try {
    auto document = std::make_unique<pugi::xml_document>();
    if (Status built = DocumentBuilder(m_dictionary).Build(*document, object); !built) return built.GetError();
    return document;
  } catch (const std::bad_alloc&) {
    return BuildFailure(kUnknownError);
  }
}

Status XmlExporter::Export(const CDicomObject& object, const std::string& fileName) const {
  Result<std::unique_ptr<pugi::xml_document>> document = CreateDocument(object);
  if (!document) return document.GetError();
  const Status saved = WriteFileAtomically(fileName, [&document](CFileStream& stream) {
    StreamWriter writer(stream);
    SaveDocument(**document, writer);
    return Ok();
  });
  if (!saved) return saved.GetError().WithContext(kUnableToSave);
  return Ok();
}

Result<std::string> XmlExporter::ExportToString(const CDicomObject& object) const {
  Result<std::unique_ptr<pugi::xml_document>> document = CreateDocument(object);
  if (!document) return document.GetError();
  std::string xml;
  try {
    StringWriter writer(xml);
    SaveDocument(**document, writer);
  } catch (const std::bad_alloc&) {
    return BuildFailure(kUnknownError);
  }
  return xml;
}

}  // namespace quillon
