/// \file
/// CDicomImageDoc — one open DICOM file (or one new, untitled data set):
/// the data set itself, the rows its element list shows, the changes made
/// to it (undo and redo back to the saved file), and every command that
/// changes it. The window layer only forwards the user's choices here and
/// shows what the document tells its observers; the commands talk to the
/// user through IUserInterface alone, so they run the same under a test's
/// scripted answers.
///
/// Every change rebuilds the rows and tells the observers; nothing is
/// updated piecemeal, so what a view shows is always the data set as it is.
#pragma once

#include "app/DumpRowList.h"
#include "app/EditCommand.h"
#include "app/UndoStack.h"
#include "dicom/DicomObject.h"
#include "dicom/FilePreamble.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class CDicomElementDlg;
class CDicomImageDoc;
class CEditCommand;
class ISettingsStore;
class IUserInterface;

/// Told whenever a document's rows or state change.
class IDocumentObserver {
 public:
  virtual ~IDocumentObserver() = default;
  /// The rows were rebuilt. `focus` is the element or item the change was
  /// about (its row is the one to show), or null.
  virtual void OnRowsRebuilt(const CDicomImageDoc& document, const RowFocus& focus) = 0;
  /// The title, the path or the modified flag changed.
  virtual void OnStateChanged(const CDicomImageDoc& document) = 0;
};

class CDicomImageDoc {
 public:
  /// A document whose file is read with (`pixelDataRead`) or without its
  /// pixel data. New, empty documents always count as read.
  explicit CDicomImageDoc(bool pixelDataRead, ISettingsStore* settings = nullptr);
  CDicomImageDoc(const CDicomImageDoc&) = delete;
  CDicomImageDoc& operator=(const CDicomImageDoc&) = delete;
  ~CDicomImageDoc();

  void AddObserver(IDocumentObserver* observer);
  void RemoveObserver(IDocumentObserver* observer);

  // ---- File ----

  /// Reads `path`. On failure shows "Error Reading File" with the reason
  /// and returns false: the caller discards the document (an empty
  /// document whose Save would overwrite the file with nothing is never
  /// opened). A file cut short opens read-only with what it holds, after a
  /// warning that says how much is missing.
  bool Open(const std::string& path, IUserInterface& ui);
  /// Saves to the document's file (asks for one when it has none). A
  /// read-only document (a file cut short) is refused: Save As saves what
  /// was read elsewhere. Written through a temporary file: on failure
  /// "Error Saving File" with the reason, the old file intact and the
  /// document still modified.
  ///
  /// Every save refuses an empty data set (a file no program can read)
  /// and first completes missing file meta information from the data set
  /// (MissingMetaElements), as an undoable change it tells the user of. A
  /// Pixel Data value that was never read is copied from the file it is in
  /// while writing; the document is then read again from the saved file
  /// (still without its pixel data), so it points into that file.
  bool Save(IUserInterface& ui);
  /// Asks for a path and saves there.
  bool SaveAs(IUserInterface& ui);
  /// Saves to `path` without asking (the refusals and messages as Save).
  bool SaveTo(const std::string& path, IUserInterface& ui);

  const std::string& Path() const { return m_path; }
  /// The file name, or the name given to a new document ("DICOM1").
  const std::string& Title() const { return m_title; }
  void SetTitle(std::string title);
  /// The title with what the window must say about the document: that its
  /// pixel data was not read, or that it is read-only.
  std::string WindowTitle() const;
  /// Opened from a file cut short: Save to that file is refused.
  bool IsReadOnly() const { return m_readOnly; }
  /// The 128 bytes before "DICM" the file came with, kept by every save.
  const FilePreamble& Preamble() const { return m_preamble; }
  /// The file the frames of a Pixel Data value left in its file are read
  /// from (the opened file, or the source of a copy); empty when none.
  const std::string& PixelSourcePath() const { return m_pixelSource; }
  bool IsModified() const { return !m_undo.IsClean(); }
  bool IsPixelDataRead() const { return m_pixelDataRead; }
  /// Warnings of the read that opened the file (lenient decoding).
  const std::vector<std::string>& ReadWarnings() const { return m_readWarnings; }

  const CDicomObject& Object() const { return m_object; }
  const DumpRowList& Rows() const { return m_rows; }

  // ---- Queries behind the commands' enabling ----

  bool HasPixelData() const;
  bool IsEmpty() const { return m_object.ElementCount() == 0; }
  /// "Edit Data": the row yields a tag that the top-level data set holds.
  bool CanEditElement(int row) const;
  /// "Remove ": an element, sequence, item or pixel data row.
  bool CanRemoveElement(int row) const;
  /// "Insert New" (Sequence): any row.
  bool CanInsertSequence(int row) const { return m_rows.IsValid(row); }
  /// "Add Item": a sequence row.
  bool CanAddItem(int row) const;
  bool CanUndo() const { return m_undo.CanUndo(); }
  bool CanRedo() const { return m_undo.CanRedo(); }
  std::string UndoText() const { return m_undo.UndoText(); }
  std::string RedoText() const { return m_undo.RedoText(); }

  // ---- Commands (rows are indices into Rows(); -1 for none) ----

  /// Edits the element of `row` in the element dialog. A sequence row is
  /// refused ("Use Items for Editing"); the top-level pixel data row asks
  /// the window layer to show the pixel data instead (`showPixelData` set)
  /// when it can. A value the dialog cannot edit says why in the status bar.
  void EditElement(int row, IUserInterface& ui, bool* showPixelData = nullptr);
  /// Inserts a new element where `row` stands: into the item of an item
  /// row, else into the data set the row belongs to.
  void InsertElement(int row, IUserInterface& ui);
  /// Removes the element, sequence or item of `row` (no question asked:
  /// Undo brings it back).
  void RemoveElement(int row, IUserInterface& ui);
  void InsertSequence(int row, IUserInterface& ui);
  void AddItem(int row);
  /// New file meta information for an empty data set.
  void NewMetaInformation();
  void DeleteAll();
  /// Writes the data set as XML where the user says (suggested: beside the
  /// document, "<name>.xml"; asks before replacing a file), the elements
  /// named by "Dicom2XmlDict.txt" in the working directory (or the shipped
  /// one).
  void ExportXml(IUserInterface& ui);
  /// Lists every value that breaks the rules of its VR (or says there is
  /// none).
  void CheckValues(IUserInterface& ui) const;
  void Undo();
  void Redo();

  /// Copy element, destination side: stores a copy of `source`'s element
  /// under `tag` as a change of this document. False, with the reason
  /// shown, when it cannot be copied.
  bool ReceiveElement(DicomTag tag, const CDicomImageDoc& source, IUserInterface& ui);
  /// Create Copy, destination side: this new document takes a copy of
  /// `source`'s whole data set (and its "pixel data not read" state).
  bool ReceiveCopyOf(const CDicomImageDoc& source, IUserInterface& ui);
  /// A command that remakes the whole data set (De-identify) hands its
  /// result here: it replaces the data set as one change, `text` in the
  /// Undo menu.
  void ReplaceDataSet(CDicomObject replacement, std::string text);

  /// Converts the text of the data set to ISO_IR 192 (UTF-8) and declares
  /// it in (0008,0005), as one undoable change; refused, with the reason
  /// shown, when a value cannot be read in its set.
  void ConvertTextToUtf8(IUserInterface& ui);

 private:
  /// Pushes an applied change, rebuilds the rows and tells the observers.
  void Commit(std::unique_ptr<CEditCommand> applied, const RowFocus& focus);
  /// Gives the group lengths and the lengths of defined-length sequences
  /// and items those a save would write, so the rows show the file the
  /// document would become, not the one it came from.
  void RecordLengths();
  /// Rebuilds the rows and tells the observers.
  void Refresh(const RowFocus& focus);
  void NotifyState();
  /// Refuses an empty data set and completes the meta information before
  /// a save; false (after saying why) when nothing may be saved.
  bool PrepareSave(IUserInterface& ui);
  /// Reads the document's data set again from `path` without its pixel
  /// data, after a save that copied the value there.
  bool ReloadWithoutPixelData(const std::string& path, IUserInterface& ui);
  /// The data set `row` belongs to (the top-level one for level 0).
  CDicomObject& ContainerOf(int row);
  /// Where an insertion at `row` goes, and the character set there; null
  /// (after saying why) on a sequence row, whose items take insertions.
  CDicomObject* InsertionTarget(int row, CCharacterSet& charset, IUserInterface& ui);

  // ---- Character sets (DicomImageDocCharset.cpp) ----

  /// The change that moves the text of `scope` (and of its items that
  /// declare no set of their own) from `from` to `to` and stores
  /// `declaration` as its (0008,0005) (null: removes it), applied as one
  /// group; null, with the reason shown, when the text cannot move.
  std::unique_ptr<CCommandGroup> ApplyCharsetChange(CDicomObject& scope, const CCharacterSet& from,
                                                    const CCharacterSet& to,
                                                    std::unique_ptr<CDicomElement> declaration, std::string text,
                                                    IUserInterface& ui);
  /// The set in force around `object`: that of the data set holding the
  /// item `object` (the default repertoire for the top level).
  CCharacterSet CharsetAround(const CDicomObject& object) const;
  /// The data set whose (0008,0005) is in force in `container`: the
  /// nearest of it and the items around it that declares one, else the
  /// top level.
  CDicomObject& CharsetScopeOf(CDicomObject& container);
  /// StoreFromDialog for the changes that touch the character set: a new
  /// (0008,0005), or a value the user chose to store by moving the data
  /// set to UTF-8. False when the dialog's result is no such change.
  bool StoreCharsetChange(const CDicomElementDlg& dialog, CDicomObject& container, const std::string& what,
                          IUserInterface& ui);
  /// Stores what the element dialog produced in `container`.
  void StoreFromDialog(const CDicomElementDlg& dialog, CDicomObject& container, const std::string& what,
                       IUserInterface& ui);
  /// Applies an element change (a null `element` removes the one under
  /// `tag`) after checking it on the data set as it would be: the data
  /// model's rules for the element (a refusal is shown after `refusal`)
  /// and, at the top level, CheckPixelEncodingAfter. A refused change is
  /// explained to the user and changes nothing.
  std::unique_ptr<CEditCommand> ApplyElementChange(CDicomObject& container, DicomTag tag,
                                                   std::unique_ptr<CDicomElement> element, std::string text,
                                                   const char* refusal, IUserInterface& ui);

  CDicomObject m_object;
  DumpRowList m_rows;
  CUndoStack m_undo;
  bool m_pixelDataRead;
  bool m_readOnly = false;
  FilePreamble m_preamble{};
  std::string m_pixelSource;
  ISettingsStore* m_settings;
  std::string m_path;
  std::string m_title;
  std::vector<std::string> m_readWarnings;
  std::vector<IDocumentObserver*> m_observers;
};

/// Whether the pixel data of the data set `object` would still be encoded
/// as its transfer syntax says (fragments under a compressed syntax, a
/// plain value under an uncompressed one) once `element` is stored under
/// `tag` (null: once the element under `tag` is removed). Judged on the
/// data set as it would be, before anything changes; refused with the
/// reason and the way to change the encoding.
Status CheckPixelEncodingAfter(const CDicomObject& object, DicomTag tag, const CDicomElement* element);

}  // namespace quillon
