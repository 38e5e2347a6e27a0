#include "app/DicomImageDoc.h"

#include "app/UserInterface.h"
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

/// Gives every defined-length sequence and item of `object` the length a
/// save would write, so that after a change the rows show the lengths of
/// the file the document would become, not those of the file it came from.
void RecordSequenceLengths(CDicomObject& object, TransferMode mode) {
  for (const auto& entry : object.Elements().Sorted()) {
    auto* sequence = dynamic_cast<CDicomSequence*>(entry.element.get());
    if (sequence == nullptr) continue;
    sequence->RecordLengths(mode);
    for (size_t i = 0; i < sequence->GetItemCount(); ++i) {
      if (CSequenceItem* item = sequence->GetItem(i)) RecordSequenceLengths(*item, mode);
    }
  }
}

/// Transfer syntaxes whose pixel data is a plain value, not fragments.
bool IsNativeSyntax(const std::string& uid) {
  return uid == uids::kImplicitVrLittleEndian || uid == uids::kExplicitVrLittleEndian ||
         uid == uids::kExplicitVrBigEndian;
}

}  // namespace

bool PixelDataMatchesTransferSyntax(const CDicomObject& object) {
  const auto* pixels = dynamic_cast<const CDicomPixelData*>(object.Elements().Find(tags::kPixelData));
  if (pixels == nullptr) return true;
  std::string syntax;
  const bool hasSyntax = object.GetString(tags::kTransferSyntaxUid, syntax) == DicomStatus::Success;
  const bool encapsulatedSyntax = hasSyntax && !IsNativeSyntax(syntax);
  return pixels->IsEncapsulated() == encapsulatedSyntax;
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
  if (!m_object.LoadFile(path, !m_pixelDataRead)) {
    ui.ShowMessage(std::string(kErrorReadingFile) + "\n\n" + path + "\n" + m_object.GetLastReadError());
    m_object.Clear();
    m_rows.Clear();
    return false;
  }
  m_path = path;
  m_title = FileNameOf(path);
  m_readWarnings = m_object.GetReadWarnings();
  m_undo.Clear(true);
  Refresh(nullptr);
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
  std::string error;
  if (!SaveDicomFile(m_object, path, error)) {
    ui.ShowMessage(std::string(kErrorSavingFile) + "\n\n" + path + "\n" + error);
    return false;
  }
  m_path = path;
  m_title = FileNameOf(path);
  m_undo.SetClean();
  NotifyState();
  return true;
}

bool CDicomImageDoc::HasPixelData() const { return m_object.Contains(tags::kPixelData); }

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
  RecordSequenceLengths(m_object, m_object.GetTransferMode());
  Refresh(nullptr);
  NotifyState();
}

void CDicomImageDoc::Redo() {
  if (!m_undo.CanRedo()) return;
  m_undo.Redo();
  RecordSequenceLengths(m_object, m_object.GetTransferMode());
  Refresh(nullptr);
  NotifyState();
}

void CDicomImageDoc::Commit(std::unique_ptr<CEditCommand> applied, const void* focus) {
  if (!applied) return;
  m_undo.Push(std::move(applied));
  RecordSequenceLengths(m_object, m_object.GetTransferMode());
  Refresh(focus);
  NotifyState();
}

void CDicomImageDoc::Refresh(const void* focus) {
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
