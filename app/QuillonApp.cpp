#include "app/QuillonApp.h"

#include "app/SelectDestinationDlg.h"
#include "app/UserInterface.h"

#include <algorithm>
#include <filesystem>

namespace quillon {

namespace {

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  if (std::filesystem::equivalent(a, b, error)) return true;
  return !error ? false : a == b;
}

}  // namespace

CQuillonApp::CQuillonApp(ISettingsStore& settings) : m_settings(settings), m_recentFiles(settings) {
  m_recentFiles.Load();
}

CQuillonApp::~CQuillonApp() = default;

CDicomImageDoc& CQuillonApp::NewDocument() {
  auto document = std::make_unique<CDicomImageDoc>(true, &m_settings);
  document->SetTitle("DICOM" + std::to_string(++m_untitledCount));
  m_documents.push_back(std::move(document));
  return *m_documents.back();
}

CDicomImageDoc* CQuillonApp::FindDocument(const std::string& path) const {
  for (const auto& document : m_documents) {
    if (!document->Path().empty() && SameFile(document->Path(), path)) return document.get();
  }
  return nullptr;
}

std::string CQuillonApp::OpenDialogFolder() const {
  const std::string& last =
      !m_lastDocumentPath.empty() || m_recentFiles.Entries().empty() ? m_lastDocumentPath : m_recentFiles.Entries().front();
  return last.empty() ? std::string() : std::filesystem::path(last).parent_path().string();
}

CDicomImageDoc* CQuillonApp::OpenDocument(const std::string& path, IUserInterface& ui) {
  if (CDicomImageDoc* open = FindDocument(path)) return open;
  auto document = std::make_unique<CDicomImageDoc>(m_allowReadPixelData, &m_settings);
  if (!document->Open(path, ui)) {
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
      m_recentFiles.Remove(path);
      if (m_recentFilesChanged) m_recentFilesChanged();
    }
    return nullptr;
  }
  AddRecentFile(path);
  m_documents.push_back(std::move(document));
  return m_documents.back().get();
}

void CQuillonApp::AddRecentFile(const std::string& path) {
  m_lastDocumentPath = path;
  m_recentFiles.Add(path);
  if (m_recentFilesChanged) m_recentFilesChanged();
}

bool CQuillonApp::SaveDocument(CDicomImageDoc& document, SaveMode mode, IUserInterface& ui) {
  if (!(mode == SaveMode::Save ? document.Save(ui) : document.SaveAs(ui))) return false;
  AddRecentFile(document.Path());
  return true;
}

bool CQuillonApp::QuerySaveChanges(CDicomImageDoc& document, IUserInterface& ui) {
  if (!document.IsModified()) return true;
  switch (ui.AskSaveChanges(document.Title())) {
    case IUserInterface::SaveChoice::Save: return SaveDocument(document, SaveMode::Save, ui);
    case IUserInterface::SaveChoice::Discard: return true;
    case IUserInterface::SaveChoice::Cancel: return false;
  }
  return false;
}

bool CQuillonApp::CloseDocument(CDicomImageDoc& document, IUserInterface& ui) {
  if (!QuerySaveChanges(document, ui)) return false;
  DiscardDocument(document);
  return true;
}

bool CQuillonApp::QueryCloseAll(IUserInterface& ui) {
  for (const auto& document : m_documents) {
    if (!QuerySaveChanges(*document, ui)) return false;
  }
  return true;
}

void CQuillonApp::DiscardDocument(CDicomImageDoc& document) {
  m_documents.erase(std::remove_if(m_documents.begin(), m_documents.end(),
                                   [&](const auto& held) { return held.get() == &document; }),
                    m_documents.end());
}

std::vector<CDicomImageDoc*> CQuillonApp::OtherDocuments(const CDicomImageDoc& source) const {
  std::vector<CDicomImageDoc*> others;
  for (const auto& document : m_documents) {
    if (document.get() != &source) others.push_back(document.get());
  }
  return others;
}

void CQuillonApp::CopyElement(CDicomImageDoc& source, int row, IUserInterface& ui) {
  const std::optional<DicomTag> tag = source.Rows().TagOfRow(row);
  if (!tag) return;
  const std::vector<CDicomImageDoc*> others = OtherDocuments(source);
  if (others.empty()) {
    ui.ShowMessage("Cannot find the destination object");
    return;
  }
  CDicomImageDoc* destination = others.front();
  if (others.size() > 1) {
    std::vector<std::string> titles;
    for (const CDicomImageDoc* other : others) titles.push_back(other->Title());
    CSelectDestinationDlg dialog(std::move(titles));
    if (!ui.RunSelectDestinationDialog(dialog)) return;
    destination = others[static_cast<size_t>(dialog.Chosen())];
  }
  (void)destination->ReceiveElement(*tag, source, ui);
}

CDicomImageDoc* CQuillonApp::CreateCopy(const CDicomImageDoc& source, IUserInterface& ui) {
  CDicomImageDoc& copy = NewDocument();
  if (!copy.ReceiveCopyOf(source, ui)) {
    DiscardDocument(copy);
    return nullptr;
  }
  return &copy;
}

bool CQuillonApp::IsEnabled(CommandId id, const CommandContext& context) const {
  const CDicomImageDoc* document = context.document;
  const bool list = document != nullptr && context.dumpView;
  switch (id) {
    case CommandId::EditElement: return list && document->CanEditElement(context.row);
    case CommandId::RemoveElement: return list && document->CanRemoveElement(context.row);
    case CommandId::InsertElement: return list;
    case CommandId::CopyElement:
      return list && document->Rows().TagOfRow(context.row).has_value() && m_documents.size() > 1;
    case CommandId::InsertSequence: return list;
    case CommandId::AddItem: return list && document->CanAddItem(context.row);
    case CommandId::NewMetaInfo: return document != nullptr && document->IsEmpty();
    case CommandId::CreateCopy:
    case CommandId::DeleteAll:
    case CommandId::DeidentifyDocument:
    case CommandId::ConvertTextToUtf8: return document != nullptr && !document->IsEmpty();
    case CommandId::ShowPixelData:
    case CommandId::CompressPixelData:
    case CommandId::ComparePixelData: return document != nullptr && document->HasPixelData();
    case CommandId::CheckValues: return document != nullptr;
    case CommandId::DecompressPixelData: {
      if (document == nullptr) return false;
      std::string syntax;
      return document->Object().GetString(tags::kTransferSyntaxUid, syntax) == DicomStatus::Success &&
             syntax != uids::kImplicitVrLittleEndian && syntax != uids::kExplicitVrLittleEndian;
    }
    case CommandId::XmlExport:
    case CommandId::FileClose:
    case CommandId::FileSave:
    case CommandId::FileSaveAs:
    case CommandId::WindowNew:
    case CommandId::WindowArrange:
    case CommandId::WindowCascade:
    case CommandId::WindowTile: return document != nullptr;
    case CommandId::FilePrint:
    case CommandId::FilePrintPreview:
    case CommandId::EditFind:
    case CommandId::EditFindNext:
    case CommandId::EditFindPrevious: return list;
    case CommandId::EditCopy: return list && document->Rows().IsValid(context.row);
    case CommandId::EditUndo: return document != nullptr && document->CanUndo();
    case CommandId::EditRedo: return document != nullptr && document->CanRedo();
    case CommandId::EditCut:
    case CommandId::EditPaste:
    case CommandId::NextFrame:
    case CommandId::PrevFrame:
    case CommandId::None: return false;  // the pixel view answers for its frames itself
    case CommandId::FileNew:
    case CommandId::FileOpen:
    case CommandId::OpenFolder:
    case CommandId::FilePrintSetup:
    case CommandId::RecentFile:
    case CommandId::AllowReadPixelData:
    case CommandId::DeidentifyFolder:
    case CommandId::AppAbout:
    case CommandId::AppExit:
    case CommandId::ViewToolbar:
    case CommandId::ViewStatusBar: return true;
  }
  return false;
}

bool CQuillonApp::IsChecked(CommandId id) const {
  return id == CommandId::AllowReadPixelData && m_allowReadPixelData;
}

}  // namespace quillon
