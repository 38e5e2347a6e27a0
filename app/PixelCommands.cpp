#include "app/PixelCommands.h"

#include "app/QuillonApp.h"
#include "app/SelectFormatDlg.h"
#include "app/UserInterface.h"
#include "pixel/PixelComparator.h"
#include "pixel/PixelDataConverter.h"

#include <filesystem>

namespace quillon {

namespace {

/// The document's file as the commands read it: it must have one, and
/// changes not saved are not in it, which the user is told first.
bool ReadyToReadFile(const CDicomImageDoc& document, const char* what, IUserInterface& ui) {
  if (document.Path().empty()) {
    ui.ShowMessage(std::string("Save the document first: ") + what + " reads its file.");
    return false;
  }
  if (!document.IsModified()) return true;
  return ui.AskOkCancel(std::string(what) + " reads " + document.Path() +
                        " as it was last saved; the changes not saved are not part of it. Continue?");
}

/// Asks where the converted file goes, until the answer is a file that no
/// open document reads (the source among them).
std::optional<std::string> AskDestination(const CQuillonApp& app, const CDicomImageDoc& document,
                                          IUserInterface& ui) {
  const std::filesystem::path source(document.Path());
  const std::string suggested =
      (source.parent_path() / (source.stem().string() + "_converted.dcm")).string();
  for (;;) {
    std::optional<std::string> path = ui.AskSavePath("Save the converted file", suggested);
    if (!path || path->empty()) return std::nullopt;
    const CDicomImageDoc* open = app.FindDocument(*path);
    if (open == nullptr) return path;
    ui.ShowMessage(*path + " is open in Quillon (" + open->Title() +
                   "); the converted file cannot replace it. Choose another file.");
  }
}

void Convert(CQuillonApp& app, CDicomImageDoc& document, CSelectFormatDlg::Purpose purpose, IUserInterface& ui) {
  if (!ReadyToReadFile(document, "The conversion", ui)) return;
  const CDicomObject& object = document.Object();
  CSelectFormatDlg dialog(purpose, IsMonochromeDocument(document),
                          [&object](ConversionMode mode) { return CanCompressPixelData(object, mode); });
  if (!ui.RunSelectFormatDialog(dialog)) return;
  const std::optional<CSelectFormatDlg::Choice> choice = dialog.GetChoice();
  if (!choice) return;
  const std::optional<std::string> destination = AskDestination(app, document, ui);
  if (!destination) return;
  DCT_STATUS result = DCT_STATUS::Failure;
  std::string writeError;
  const std::string source = document.Path();
  ui.RunWithProgress("Writing " + std::filesystem::path(*destination).filename().string(),
                     [&](const ProgressReport& report) {
                       result = ConvertPixelDataFile(
                           choice->options, source, *destination, choice->mode, choice->toMonochrome,
                           [&](int32_t done, int32_t total) { return report(done, total); }, &writeError);
                     });
  switch (result) {
    case DCT_STATUS::Success: ui.ShowStatus("Written " + *destination); break;
    case DCT_STATUS::Cancelled: ui.ShowStatus("Cancelled: nothing was written"); break;
    default:
      ui.ShowMessage(std::string("Error Saving File\n\n") + DescribeConversionStatus(result) +
                     (writeError.empty() ? "" : "\n" + writeError));
      break;
  }
}

}  // namespace

bool IsMonochromeDocument(const CDicomImageDoc& document) {
  std::string photometric;
  (void)document.Object().GetString(tags::kPhotometricInterpretation, photometric);
  return photometric.find("MONOCHROME") != std::string::npos;
}

void CompressPixelData(CQuillonApp& app, CDicomImageDoc& document, IUserInterface& ui) {
  if (!document.HasPixelData()) return;
  Convert(app, document, CSelectFormatDlg::Purpose::Compress, ui);
}

void DecompressPixelData(CQuillonApp& app, CDicomImageDoc& document, IUserInterface& ui) {
  std::string syntax;
  if (document.Object().GetString(tags::kTransferSyntaxUid, syntax) != DicomStatus::Success ||
      syntax == uids::kImplicitVrLittleEndian || syntax == uids::kExplicitVrLittleEndian) {
    return;
  }
  Convert(app, document, CSelectFormatDlg::Purpose::Decompress, ui);
}

void ComparePixelData(CDicomImageDoc& document, IUserInterface& ui) {
  if (!document.HasPixelData() || !ReadyToReadFile(document, "The comparison", ui)) return;
  const std::optional<std::string> other = ui.AskOpenPath("Select the file to compare with",
                                                              std::filesystem::path(document.Path()).parent_path().string());
  if (!other) return;
  // The comparison runs away from the window's thread: it gets its own copy
  // of what it reads of the document (the meta group and the image
  // description), never the document itself.
  CDicomObject header;
  for (const auto& entry : document.Object().Elements().Sorted()) {
    const uint16_t group = TagGroup(entry.tag);
    if (group != 0x0002 && group != 0x0028) continue;
    if (auto copy = entry.element->Clone()) header.RestoreElement(std::move(copy));
  }
  header.SetTransferMode(document.Object().GetTransferMode());
  header.SetSopClassUid(document.Object().GetSopClassUid());
  PixelComparison result;
  const std::string path = document.Path();
  ui.RunWithProgress("Comparing the pixel data", [&](const ProgressReport& report) {
    result = quillon::ComparePixelData(header, path, *other, report);
  });
  if (result.cancelled) {
    ui.ShowStatus(result.message);
  } else if (!result.compared) {
    ui.ShowMessage(result.message);
  } else if (result.differentPixels == 0) {
    ui.ShowInformation("The pixel data of " + document.Title() + " and " +
                       std::filesystem::path(*other).filename().string() + " are identical.\n\n" + result.message);
  } else {
    ui.ShowMessage(result.message + "\n" + std::to_string(result.differentPixels) +
                   " pixel(s) differ; the largest difference of one sample is " +
                   std::to_string(result.largestDifference) + ".");
  }
}

}  // namespace quillon
