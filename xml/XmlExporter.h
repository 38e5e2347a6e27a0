/// \file
/// XmlExporter — writes a data set as an XML document whose element names
/// come from the XML dictionary (XmlDictionary.h). The document is (with
/// tabs for indentation):
///
///     <?xml version='1.0' encoding='UTF-8'?>
///     <Instance>
///       <patient_name>Doe^John</patient_name>
///       <referenced_image_sequence>
///         <Item>
///           <referenced_sop_instance_uid>1.2.3</referenced_sop_instance_uid>
///         </Item>
///       </referenced_image_sequence>
///     </Instance>
///
/// "Instance" is the top-level data set. Each element the dictionary names
/// becomes a child in ascending tag order: a character-string value as its
/// text, a sequence as an element holding one "Item" per item, filled by
/// the same rules. Everything else — tags without a name, binary VRs, VRs
/// the data dictionary does not know — is left out. The VR that decides is
/// the data dictionary's for the data set's SOP class, not the one stored
/// with the element. No attributes, no namespaces.
///
/// Values are converted from the character set of their data set (the
/// nearest (0008,0005), see TextEncoding.h) to UTF-8, characters XML
/// forbids are dropped, and the file is replaced whole or not at all, so a
/// file that exists is always a complete, well-formed document.
#pragma once

#include "base/Result.h"
#include "dicom/DicomTypes.h"

#include <memory>
#include <string>

namespace pugi {
class xml_document;
}

namespace quillon {

class CDicomObject;
class CXmlDictionary;

/// The file the export writes when the caller names none (working directory).
inline constexpr const char* kDefaultXmlOutputName = "dicomXml.xml";
/// The XML dictionary looked for in the working directory.
inline constexpr const char* kDefaultXmlDictionaryName = "Dicom2XmlDict.txt";

/// The XML dictionary the project ships: for a program run from the build
/// tree it was built in, the copy in that tree's share/quillon (the
/// dictionary of its own sources); else, and as a fallback, the installed
/// one; empty when neither exists.
std::string FindShippedXmlDictionary();

/// The XML dictionary an export uses: "Dicom2XmlDict.txt" in the working
/// directory when it exists, else the shipped one. When neither exists the
/// working-directory name is returned, so the failure names the file the
/// user is expected to provide.
std::string ChooseXmlDictionary();

class XmlExporter {
 public:
  /// An exporter that names elements from the process-wide dictionary
  /// (LoadDictionary, then GetXmlName of XmlDictionary.h).
  XmlExporter();
  /// An exporter that names elements from \p dictionary, which must outlive
  /// it. The process-wide dictionary is then not consulted.
  explicit XmlExporter(const CXmlDictionary& dictionary);
  ~XmlExporter();
  XmlExporter(const XmlExporter&) = delete;
  XmlExporter& operator=(const XmlExporter&) = delete;

  /// Loads the process-wide dictionary from \p path (LoadXmlDictionary: the
  /// file is read once per run, later calls succeed without reading it).
  /// True when the dictionary is loaded.
  [[nodiscard]] bool LoadDictionary(const std::string& path);

  /// Builds the document for \p object and saves it to \p fileName through
  /// a temporary file beside it, renamed over the target at the end. When
  /// building or saving fails, the error says why and the target is
  /// untouched (an existing file stays as it was, a missing one is not
  /// created).
  ///
  /// Building fails with these messages:
  /// - "Unable to get tags list": the data set, or an item of a named
  ///   sequence, holds no element.
  /// - "Unable to create XML node": the dictionary name of a text element
  ///   is not an XML name (XmlNameRules.h, colons refused).
  /// - "Unable to create root XML node": the same for a sequence.
  /// - "Unknown error...": anything else went wrong (out of memory).
  /// - "Unable to create item XML node", "Unable to create Processing
  ///   Instruction ", "Unable to set text": the XML library could not make
  ///   a node (out of memory).
  /// Saving fails with "Unable to save XML document: " and the reason.
  Status Export(const CDicomObject& object, const std::string& fileName) const;

  /// As Export, but the document is returned (the same bytes the file
  /// would hold).
  Result<std::string> ExportToString(const CDicomObject& object) const;

 private:
  /// Builds the whole tree of the document.
  Result<std::unique_ptr<pugi::xml_document>> CreateDocument(const CDicomObject& object) const;

  /// Where names come from; null for the process-wide dictionary.
  const CXmlDictionary* m_dictionary = nullptr;
};

}  // namespace quillon
