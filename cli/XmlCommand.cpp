/// \file
/// "quillon-cli xml IN [--output FILE] [--dictionary FILE]": exports a DICOM
/// file as XML, the elements named by the XML dictionary. Without options
/// it behaves as the editor's export: "Dicom2XmlDict.txt" and
/// "dicomXml.xml" in the working directory — except that a working
/// directory without a dictionary falls back to the one the project ships,
/// so the command works out of the box. On any failure the message goes to
/// standard error and no file is written.
#include "cli/CliCommand.h"

#include "dicom/DicomFile.h"
#include "xml/XmlExporter.h"

#include <iostream>
#include <memory>
#include <string>

namespace quillon::cli {

namespace {

struct XmlOptions {
  std::string input;
  std::string output = kDefaultXmlOutputName;
  std::string dictionary;  ///< empty: the default search
};

int RunXml(const XmlOptions& options) {
  // The process-wide dictionary, as in the editor: it is read once per run.
  XmlExporter exporter;
  const std::string dictionary = options.dictionary.empty() ? ChooseXmlDictionary() : options.dictionary;
  if (!exporter.LoadDictionary(dictionary)) {
    std::cerr << "Dictionary file not found: " << dictionary << "\n";
    return kExitFailure;
  }
  CDicomFile file;
  if (const Status read = file.Load(options.input); !read) {
    std::cerr << "Error Reading File: " << options.input << ": " << read.Message() << "\n";
    return kExitFailure;
  }
  if (const Status exported = exporter.Export(file.DataSet(), options.output); !exported) {
    std::cerr << exported.Message() << "\n";
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace

void RegisterXmlCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<XmlOptions>();
  CLI::App* command = app.add_subcommand("xml", "Export a DICOM file as XML, elements named by the XML dictionary");
  command->add_option("input", options->input, "The DICOM file to export")->required();
  command->add_option("-o,--output", options->output, "The XML file to write")
      ->capture_default_str();
  command->add_option("-d,--dictionary", options->dictionary,
                      "The XML dictionary (default: Dicom2XmlDict.txt in the working directory, "
                      "else the one shipped with Quillon)");
  command->callback([options, &exitCode] { exitCode = RunXml(*options); });
}

}  // namespace quillon::cli
