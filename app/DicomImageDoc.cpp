#include "app/DicomImageDoc.h"

#include "app/EditCommand.h"
#include "dicom/MetaInformation.h"
#include "app/UserInterface.h"
#include "dicom/CharacterSet.h"
#include "dicom/DicomFile.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomPixelData.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"

#include <algorithm>
#include <filesystem>

namespace quillon {

namespace {

constexpr const char* kErrorReadingFile = "Error Reading File";
constexpr const char* kErrorSavingFile = "Error Saving File";

std::string FileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

/// A top-level Pixel Data value that stayed in the file it was read from.
bool HasPixelsLeftInFile(const CDicomObject& object) {
  const auto* pixels = dynamic_cast<const CDicomPixelData*>(object.Elements().Find(tags::kPixelData));
  return pixels != nullptr && !pixels->IsLoaded() && pixels->GetValuePosition() != CDicomPixelData::kUnknownPosition;
}

bool SamePath(const std::string& a, const std::string& b) {
  std::error_code error;
  if (std::filesystem::equivalent(a, b, error)) return true;
  return a == b;
}

/// Transfer syntaxes whose pixel data is a plain value, not fragments.
bool IsNativeSyntax(const std::string& uid) { return IsNativePixelSyntax(uid); }

}  // namespace

Status CheckPixelEncodingAfter(const CDicomObject& object, DicomTag tag, const CDicomElement* element) {
  if (tag != tags::kTransferSyntaxUid && tag != tags::kPixelData) return Ok();
  const CDicomElement* syntaxElement =
      tag == tags::kTransferSyntaxUid ? element : object.Elements().Find(tags::kTransferSyntaxUid);
  // A plain Pixel Data element is stored as the kind the syntax calls for
  // (or kept plain, which has no kind to disagree): only an element that
  // already is pixel data of one kind can contradict the syntax.
  const auto* pixels = dynamic_cast<const CDicomPixelData*>(
      tag == tags::kPixelData ? element : object.Elements().Find(tags::kPixelData));
  if (pixels == nullptr) return Ok();
  std::string syntax;
  if (syntaxElement != nullptr) (void)syntaxElement->GetString(syntax);
  const bool encapsulatedSyntax = syntaxElement != nullptr && !IsNativeSyntax(syntax);
  if (pixels->IsEncapsulated() == encapsulatedSyntax) return Ok();
  // Rewriting the transfer syntax does not re-encode the pixel data; a file
  // saved so would claim one encoding and hold another.
  return Error(ErrorCode::Refused,
               std::string("This change is refused: the pixel data is ") +
                   (pixels->IsEncapsulated() ? "compressed (encapsulated)" : "not compressed") +
                   ", and the transfer syntax (0002,0010) would be " +
                   (syntaxElement != nullptr ? "\"" + syntax + "\"" : std::string("absent")) +
                   ".\nTo change how the pixel data is encoded, use Tools > Compress Pixel Data or "
                   "Decompress Pixel Data.");
}

CDicomImageDoc::CDicomImageDoc(bool pixelDataRead, ISettingsStore* settings)
    : m_pixelDataRead(pixelDataRead), m_settings(settings) {}

CDicomImageDoc::~CDicomImageDoc() {
  // The undo history holds elements that point into nothing the data set
  // needs; it goes first so no change outlives what it changed.
  m_undo.Clear(true);
}

void CDicomImageDoc::AddObserver(IDocumentObserver* observer) {
  if (observer != nullptr && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
    m_observers.push_back(observer);
  }
}

void CDicomImageDoc::RemoveObserver(IDocumentObserver* observer) {
  m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

void CDicomImageDoc::SetTitle(std::string title) {
  m_title = std::move(title);
  NotifyState();
}

std::string CDicomImageDoc::WindowTitle() const {
  if (m_readOnly) return m_title + " (read-only: the file is cut short)";
  if (!m_pixelDataRead) return m_title + " (pixel data not read)";
  return m_title;
}

bool CDicomImageDoc::Open(const std::string& path, IUserInterface& ui) {
  CDicomFile file;
  const Status read = file.Load(path, {.skipPixelData = !m_pixelDataRead}, OnCutShort::KeepWhatWasRead);
  if (!read && !file.MissingBytes()) {
    ui.ShowMessage(std::string(kErrorReadingFile) + "\n\n" + path + "\n" + read.Message());
    m_object.Clear();
    m_rows.Clear();
    return false;
  }
  m_readOnly = !read;
  if (m_readOnly) {
    // What is there can be looked at (and saved elsewhere); saving over the
    // file would lose the part the reader could not make sense of.
    ui.ShowMessage("The file is cut short: at least " + std::to_string(*file.MissingBytes()) +
                   " bytes are missing.\n\n" + path + "\n" + read.Message() +
                   "\n\nIt is opened read-only with the elements before the cut; Save As saves them to "
                   "another file.");
  }
  m_object = std::move(file.DataSet());
  m_path = path;
  m_pixelSource = path;
  m_preamble = file.Preamble();
  m_title = FileNameOf(path);
  m_readWarnings = file.ReadWarnings();
  if (HasUndeclaredNonAsciiText(m_object)) {
    m_readWarnings.push_back(
        "text holds bytes beyond ASCII but no Specific Character Set (0008,0005) declares them; shown as Latin-1");
  }
  m_undo.Clear(true);
  Refresh({});
  NotifyState();
  return true;
}

bool CDicomImageDoc::Save(IUserInterface& ui) {
  if (m_path.empty()) return SaveAs(ui);
  if (m_readOnly) {
    ui.ShowMessage(m_title + " is read-only: the file is cut short, and saving over it would lose what could not "
                             "be read. Use Save As to save the elements that were read to another file.");
    return false;
  }
  return SaveTo(m_path, ui);
}

bool CDicomImageDoc::SaveAs(IUserInterface& ui) {
  const std::optional<std::string> path =
      ui.AskSavePath("Save " + m_title + " As", m_path.empty() ? m_title + ".dcm" : m_path);
  if (!path || path->empty()) return false;
  if (m_readOnly && !m_path.empty() && SamePath(*path, m_path)) {
    ui.ShowMessage(m_title + " is read-only: choose another file to save the elements that were read.");
    return false;
  }
  return SaveTo(*path, ui);
}

bool CDicomImageDoc::PrepareSave(IUserInterface& ui) {
  if (IsEmpty()) {
    ui.ShowMessage("There is nothing to save: the data set is empty, and a file without elements cannot be read "
                   "by any DICOM program. Undo the change that emptied it, or insert elements (Object > New "
                   "MetaInfo starts a data set).");
    return false;
  }
  std::vector<std::unique_ptr<CDicomElement>> missing = MissingMetaElements(m_object);
  if (missing.empty()) return true;
  const std::string added = DescribeMetaElements(missing);
  auto group = std::make_unique<CCommandGroup>("Complete File Meta Information");
  for (auto& element : missing) {
    const DicomTag tag = element->GetTag();
    if (auto change = CElementChange::Apply(m_object, tag, std::move(element), {})) group->Add(std::move(change));
  }
  Commit(std::move(group), {});
  ui.ShowMessage("The file meta information was incomplete; without it other programs cannot read the file. "
                 "These elements were added from the data set before saving (Undo removes them):\n\n" + added);
  return true;
}

bool CDicomImageDoc::ReloadWithoutPixelData(const std::string& path, IUserInterface& ui) {
  CDicomFile file;
  if (Status read = file.Load(path, {.skipPixelData = true}); !read) {
    ui.ShowMessage(std::string(kErrorReadingFile) + "\n\n" + path + "\n" + read.Message());
    return false;
  }
  m_object = std::move(file.DataSet());
  m_pixelSource = path;
  m_undo.Clear(true);
  return true;
}

bool CDicomImageDoc::SaveTo(const std::string& path, IUserInterface& ui) {
  if (!PrepareSave(ui)) return false;
  const bool copiesPixels = HasPixelsLeftInFile(m_object) && !m_pixelSource.empty();
  SaveOptions options;
  options.preamble = &m_preamble;
  if (copiesPixels) options.pixelSourcePath = m_pixelSource;
  if (Status saved = SaveDicomFile(m_object, path, options); !saved) {
    ui.ShowMessage(std::string(kErrorSavingFile) + "\n\n" + path + "\n" + saved.Message());
    return false;
  }
  // The saved file is complete: read-only was about the file cut short.
  m_readOnly = false;
  if (copiesPixels && !ReloadWithoutPixelData(path, ui)) return false;
  m_path = path;
  m_title = FileNameOf(path);
  m_undo.SetClean();
  // The rows show the lengths the file now holds (group lengths included,
  // which a file read unchanged may have had wrong).
  RecordLengths();
  Refresh({});
  NotifyState();
  return true;
}

bool CDicomImageDoc::HasPixelData() const {
  // Float and Double Float Pixel Data hold frames too.
  return m_object.Contains(tags::kPixelData) || m_object.Contains(0x7FE00008) || m_object.Contains(0x7FE00009);
}

bool CDicomImageDoc::CanEditElement(int row) const {
  const std::optional<DicomTag> tag = m_rows.TagOfRow(row);
  return tag && m_object.Contains(*tag);
}

bool CDicomImageDoc::CanRemoveElement(int row) const {
  return m_rows.IsValid(row) && m_rows.At(static_cast<size_t>(row)).kind != DumpRowKind::EndMarker;
}

bool CDicomImageDoc::CanAddItem(int row) const {
  return m_rows.IsValid(row) && m_rows.SequenceAt(static_cast<size_t>(row)) != nullptr;
}

void CDicomImageDoc::Undo() {
  if (!m_undo.CanUndo()) return;
  m_undo.Undo();
  RecordLengths();
  Refresh({});
  NotifyState();
}

void CDicomImageDoc::Redo() {
  if (!m_undo.CanRedo()) return;
  m_undo.Redo();
  RecordLengths();
  Refresh({});
  NotifyState();
}

void CDicomImageDoc::Commit(std::unique_ptr<CEditCommand> applied, const RowFocus& focus) {
  if (!applied) return;
  m_undo.Push(std::move(applied));
  RecordLengths();
  Refresh(focus);
  NotifyState();
}

void CDicomImageDoc::RecordLengths() { m_object.RecordEncodedLengths(m_object.GetTransferMode()); }

void CDicomImageDoc::Refresh(const RowFocus& focus) {
  m_rows.Rebuild(m_object);
  // Observers may go away while being told (a view closing itself).
  const std::vector<IDocumentObserver*> observers = m_observers;
  for (IDocumentObserver* observer : observers) observer->OnRowsRebuilt(*this, focus);
}

void CDicomImageDoc::NotifyState() {
  const std::vector<IDocumentObserver*> observers = m_observers;
  for (IDocumentObserver* observer : observers) observer->OnStateChanged(*this);
}

CDicomObject& CDicomImageDoc::ContainerOf(int row) {
  CSequenceItem* item = m_rows.ContainerItemOf(row);
  if (item != nullptr) return *item;
  return m_object;
}

}  // namespace quillon
