#include "app/DicomImageDoc.h"

#include "app/UserInterface.h"
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
constexpr const char* kCannotSaveWithoutPixelData = "File cannot be saved without the pixel data";

std::string FileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

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

bool CDicomImageDoc::Open(const std::string& path, IUserInterface& ui) {
  CDicomFile file;
  if (Status read = file.Load(path, {.skipPixelData = !m_pixelDataRead}); !read) {
    ui.ShowMessage(std::string(kErrorReadingFile) + "\n\n" + path + "\n" + read.Message());
    m_object.Clear();
    m_rows.Clear();
    return false;
  }
  m_object = std::move(file.DataSet());
  m_path = path;
  m_title = FileNameOf(path);
  m_readWarnings = file.ReadWarnings();
  m_undo.Clear(true);
  Refresh({});
  NotifyState();
  return true;
}

bool CDicomImageDoc::Save(IUserInterface& ui) {
  if (!m_pixelDataRead) {
    ui.ShowMessage(kCannotSaveWithoutPixelData);
    return false;
  }
  if (m_path.empty()) return SaveAs(ui);
  return SaveTo(m_path, ui);
}

bool CDicomImageDoc::SaveAs(IUserInterface& ui) {
  if (!m_pixelDataRead) {
    ui.ShowMessage(kCannotSaveWithoutPixelData);
    return false;
  }
  const std::optional<std::string> path =
      ui.AskSavePath("Save " + m_title + " As", m_path.empty() ? m_title + ".dcm" : m_path);
  if (!path || path->empty()) return false;
  return SaveTo(*path, ui);
}

bool CDicomImageDoc::SaveTo(const std::string& path, IUserInterface& ui) {
  if (!m_pixelDataRead) {
    ui.ShowMessage(kCannotSaveWithoutPixelData);
    return false;
  }
  if (Status saved = SaveDicomFile(m_object, path); !saved) {
    ui.ShowMessage(std::string(kErrorSavingFile) + "\n\n" + path + "\n" + saved.Message());
    return false;
  }
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
