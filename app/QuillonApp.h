/// \file
/// CQuillonApp — the editor as a whole, without its windows: the open
/// documents, the "Allow Read Pixel Data" setting, the recent files, the
/// commands that involve more than one document (Copy, Create Copy), the
/// save questions before closing or quitting, and which command is enabled
/// when.
#pragma once

#include "app/CommandIds.h"
#include "app/DicomImageDoc.h"
#include "app/RecentFileList.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

class ISettingsStore;
class IUserInterface;

/// What the user is looking at when a command's state is asked for.
struct CommandContext {
  /// The document of the active window, or null.
  const CDicomImageDoc* document = nullptr;
  /// The selected row of its element list (-1 for none, or when the active
  /// window is not an element list).
  int row = -1;
  /// The active window is an element list (else a pixel view, or none).
  bool dumpView = false;
};

class CQuillonApp {
 public:
  explicit CQuillonApp(ISettingsStore& settings);
  ~CQuillonApp();
  CQuillonApp(const CQuillonApp&) = delete;
  CQuillonApp& operator=(const CQuillonApp&) = delete;

  ISettingsStore& Settings() { return m_settings; }
  const CRecentFileList& RecentFiles() const { return m_recentFiles; }
  /// Called whenever the recent files change (a file opened, saved under
  /// a new name, or found gone), so the window layer can list them anew.
  void OnRecentFilesChanged(std::function<void()> listener) { m_recentFilesChanged = std::move(listener); }

  /// Whether documents opened from now on read their pixel data. On at
  /// every start, never stored.
  bool AllowReadPixelData() const { return m_allowReadPixelData; }
  void ToggleAllowReadPixelData() { m_allowReadPixelData = !m_allowReadPixelData; }

  const std::vector<std::unique_ptr<CDicomImageDoc>>& Documents() const { return m_documents; }
  /// A new, empty document named "DICOM1", "DICOM2", ...
  CDicomImageDoc& NewDocument();
  /// Opens `path` as a document, or gives the document that already has it
  /// open. Null, after telling the user why, when it cannot be read.
  CDicomImageDoc* OpenDocument(const std::string& path, IUserInterface& ui);
  /// Where the Open dialog starts: the folder of the document opened or
  /// saved last, else of the first recent file; empty when neither is
  /// known.
  std::string OpenDialogFolder() const;
  /// The open document of `path`, or null.
  CDicomImageDoc* FindDocument(const std::string& path) const;
  /// Asks to save a modified document, then closes it. False (the document
  /// stays open) when the user cancels or the save fails.
  bool CloseDocument(CDicomImageDoc& document, IUserInterface& ui);
  /// Asks, for every modified document, whether to save it. False when the
  /// user cancels (or a save fails): the program must not quit.
  bool QueryCloseAll(IUserInterface& ui);
  /// Asks to save `document` if modified; true when it may be closed.
  bool QuerySaveChanges(CDicomImageDoc& document, IUserInterface& ui);
  enum class SaveMode { Save, SaveAs };
  /// Saves `document` to its file (Save; asking for one when it has none)
  /// or to a file the user names (SaveAs). The one way documents are saved:
  /// a saved file becomes the first recent file.
  bool SaveDocument(CDicomImageDoc& document, SaveMode mode, IUserInterface& ui);
  /// Forgets `document` without asking (its windows are gone).
  void DiscardDocument(CDicomImageDoc& document);

  /// The documents Copy can copy to: every open document but `source`, in
  /// the order they were opened.
  std::vector<CDicomImageDoc*> OtherDocuments(const CDicomImageDoc& source) const;
  /// Copy element: copies the element of `row` of `source` into another open
  /// document, chosen in "Select the Destination" when there are several.
  void CopyElement(CDicomImageDoc& source, int row, IUserInterface& ui);
  /// Create Copy: a new document holding a copy of `source`'s data set.
  /// Null when the copy fails (the new document is then discarded).
  CDicomImageDoc* CreateCopy(const CDicomImageDoc& source, IUserInterface& ui);

  /// Whether `id` can be run now.
  bool IsEnabled(CommandId id, const CommandContext& context) const;
  /// Whether `id` shows a check mark now.
  bool IsChecked(CommandId id) const;

 private:
  /// Puts `path` first among the recent files and says so.
  void AddRecentFile(const std::string& path);

  ISettingsStore& m_settings;
  CRecentFileList m_recentFiles;
  std::function<void()> m_recentFilesChanged;
  bool m_allowReadPixelData = true;
  int m_untitledCount = 0;
  std::string m_lastDocumentPath;
  std::vector<std::unique_ptr<CDicomImageDoc>> m_documents;
};

}  // namespace quillon
