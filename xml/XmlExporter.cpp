/// \file
/// Building the XML tree of a data set with pugixml and saving it.
#include "xml/XmlExporter.h"

#include "base/AtomicFileWriter.h"
#include "dicom/DataDictionary.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "base/FileException.h"
#include "base/FileStream.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "xml/TextEncoding.h"
#include "xml/XmlDictionary.h"
#include "xml/XmlNameRules.h"

#include <pugixml.hpp>

#include <cstring>
#include <exception>
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


/// What ends a build: one of the fixed messages above. Thrown inside the
/// builder, caught in CreateDocument.
struct ExportFailure {
  const char* message;
};

/// One data set being written: its XML element, where the walk over its
/// elements stands, and the named sequence whose items are being written.
struct ObjectFrame {
  pugi::xml_node element;
  const CDicomObject* object = nullptr;
  const std::vector<CElementMap::Entry>* entries = nullptr;
  std::size_t nextEntry = 0;
  TextCharset charset = TextCharset::Latin1;
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

  void Build(pugi::xml_document& document, const CDicomObject& object) {
    pugi::xml_node declaration = document.append_child(pugi::node_pi);
    if (!declaration || !declaration.set_name("xml") ||
        !declaration.set_value("version='1.0' encoding='UTF-8'")) {
      throw ExportFailure{kUnableToCreatePi};
    }
    OpenObject(document, object, "Instance", TextCharset::Latin1);
    while (!m_stack.empty()) Step();
  }

 private:
  /// Creates the element of a data set and puts the data set on the stack.
  void OpenObject(pugi::xml_node parent, const CDicomObject& object, const char* name, TextCharset inherited) {
    ObjectFrame frame;
    frame.element = parent.append_child(name);
    if (!frame.element) throw ExportFailure{kUnableToCreateItemNode};
    frame.object = &object;
    frame.entries = &object.Elements().Sorted();
    if (frame.entries->empty()) throw ExportFailure{kUnableToGetTags};
    // An item may declare its own character set; otherwise it reads its
    // text in the one of the data set around it.
    frame.charset = CharsetInForce(object, inherited);
    m_stack.push_back(frame);
  }

  /// Writes the next item of the open sequence, or the next element, of the
  /// data set on top of the stack, or closes it.
  void Step() {
    ObjectFrame& frame = m_stack.back();
    if (frame.sequence != nullptr) {
      if (frame.nextItem < frame.sequence->GetItemCount()) {
        const CSequenceItem* item = frame.sequence->GetItem(frame.nextItem++);
        OpenObject(frame.sequenceElement, *item, "Item", frame.charset);  // `frame` is invalid from here
        return;
      }
      frame.sequence = nullptr;
    }
    if (frame.nextEntry == frame.entries->size()) {
      m_stack.pop_back();
      return;
    }
    const CElementMap::Entry& entry = (*frame.entries)[frame.nextEntry++];
    AddElement(frame, entry.tag, *entry.element);
  }

  void AddElement(ObjectFrame& frame, DicomTag tag, const CDicomElement& element) {
    if (!LookupName(tag, m_name)) return;
    const DicomVR vr = LookupVRForSopClass(tag, frame.object->GetSopClassUid());
    if (IsTextVR(vr)) {
      AddText(frame, element);
    } else if (vr == vr::SQ) {
      if (const auto* sequence = dynamic_cast<const CDicomSequence*>(&element)) {
        if (!IsXmlNcName(m_name)) throw ExportFailure{kUnableToCreateRootNode};
        frame.sequenceElement = frame.element.append_child(m_name.c_str());
        if (!frame.sequenceElement) throw ExportFailure{kUnableToCreateRootNode};
        frame.sequence = sequence;
        frame.nextItem = 0;
      }
    }
  }

  void AddText(ObjectFrame& frame, const CDicomElement& element) {
    if (!IsXmlNcName(m_name)) throw ExportFailure{kUnableToCreateNode};
    m_text.clear();
    AppendXmlText(element.GetTextView(), frame.charset, m_text);
    pugi::xml_node node = frame.element.append_child(m_name.c_str());
    if (!node) throw ExportFailure{kUnableToCreateNode};
    pugi::xml_node text = node.append_child(pugi::node_pcdata);
    if (!text) throw ExportFailure{kUnableToCreateNode};
    if (!text.set_value(m_text.data(), m_text.size())) throw ExportFailure{kUnableToSetText};
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

/// Writes to a file stream. A stream error is kept rather than thrown
/// through pugixml, which is not written to be unwound through; the saver
/// rethrows it once pugixml has returned.
class StreamWriter final : public XmlTextWriter {
 public:
  explicit StreamWriter(CFileStream& stream) : m_stream(stream) {}
  void RethrowFailure() const {
    if (m_failure) std::rethrow_exception(m_failure);
  }

 private:
  void Put(const char* data, std::size_t size) override {
    if (m_failure) return;
    try {
      m_stream.Write(data, size);
    } catch (...) {
      m_failure = std::current_exception();
    }
  }
  CFileStream& m_stream;
  std::exception_ptr m_failure;
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
  for (const char* folder : {QUILLON_DATA_BUILD_DIR, QUILLON_DATA_INSTALL_DIR}) {
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

bool XmlExporter::CreateDocument(const CDicomObject& object) {
  try {
    m_document = std::make_unique<pugi::xml_document>();
    DocumentBuilder(m_dictionary).Build(*m_document, object);
    return true;
  } catch (const ExportFailure& failure) {
    m_lastError = failure.message;
  } catch (...) {
    m_lastError = kUnknownError;
  }
  m_document.reset();
  return false;
}

bool XmlExporter::Export(const CDicomObject& object, const std::string& fileName) {
  m_lastError.clear();
  if (!CreateDocument(object)) return false;
  std::string error;
  bool saved = false;
  try {
    saved = WriteFileAtomically(
        fileName,
        [this](CFileStream& stream) {
          try {
            StreamWriter writer(stream);
            SaveDocument(*m_document, writer);
            writer.RethrowFailure();
            return true;
          } catch (const CFileException&) {
            throw;  // the writer reports it with its cause and path
          } catch (...) {
            return false;  // so the writer still removes its temporary file
          }
        },
        error);
  } catch (...) {
    error = "unexpected failure";
  }
  m_document.reset();
  if (!saved) m_lastError = kUnableToSave + error;
  return saved;
}

bool XmlExporter::ExportToString(const CDicomObject& object, std::string& xml) {
  xml.clear();
  m_lastError.clear();
  if (!CreateDocument(object)) return false;
  try {
    StringWriter writer(xml);
    SaveDocument(*m_document, writer);
  } catch (...) {
    xml.clear();
    m_lastError = kUnknownError;
  }
  m_document.reset();
  return m_lastError.empty();
}

}  // namespace quillon
