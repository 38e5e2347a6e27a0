/// \file
/// The commands of the editor, with the identifiers the menus, the toolbar
/// and the accelerators use, and the menu layouts: which menus exist, in
/// which order, with which texts and separators. The window layer builds its
/// menus from these tables, so the texts live in one place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

enum class CommandId : uint32_t {
  None = 0,  ///< a separator in a menu or toolbar
  // The editor's own commands.
  EditElement = 32771,
  RemoveElement = 32772,
  InsertElement = 32773,
  CopyElement = 32774,
  CreateCopy = 32775,
  DeleteAll = 32776,
  NewMetaInfo = 32777,
  AllowReadPixelData = 32778,
  ShowPixelData = 32779,
  XmlExport = 32780,
  NextFrame = 32781,
  PrevFrame = 32782,
  CompressPixelData = 32785,
  DecompressPixelData = 32786,
  ComparePixelData = 32787,
  InsertSequence = 32788,
  AddItem = 32789,
  DeidentifyDocument = 32790,
  DeidentifyFolder = 32791,
  ConvertTextToUtf8 = 32792,
  CheckValues = 32793,
  OpenFolder = 32794,
  // The usual commands of a desktop program, with their customary numbers.
  FileNew = 57600,
  FileOpen = 57601,
  FileClose = 57602,
  FileSave = 57603,
  FileSaveAs = 57604,
  FilePrintSetup = 57606,
  FilePrint = 57607,
  FilePrintPreview = 57609,
  RecentFile = 57616,  ///< the place of the recent-file entries in a menu
  EditCopy = 57634,
  EditCut = 57635,
  EditFind = 57636,
  EditPaste = 57637,
  EditFindNext = 57640,
  EditFindPrevious = 57641,
  EditUndo = 57643,
  EditRedo = 57644,
  WindowNew = 57648,
  WindowArrange = 57649,
  WindowCascade = 57650,
  WindowTile = 57651,
  AppAbout = 57664,
  AppExit = 57665,
  ViewToolbar = 59392,
  ViewStatusBar = 59393,
};

/// One menu entry: a command and its text ("&Open...\tCtrl+O": the mnemonic
/// after '&', the shortcut after the tab), or a separator.
struct MenuEntry {
  CommandId id;
  const char* text;
};

struct Menu {
  const char* title;
  std::vector<MenuEntry> entries;
};

/// The menus while no document is open.
const std::vector<Menu>& MenusWithoutDocument();
/// The menus while a document's window is active.
const std::vector<Menu>& MenusWithDocument();
/// The toolbar's buttons, None for a separator.
const std::vector<CommandId>& ToolbarCommands();

/// The status-bar help of a command; after a line feed, its tooltip. Empty
/// when it has none.
std::string CommandPrompt(CommandId id);
/// Further keys for a command, besides the one in its menu text
/// ("Alt+Backspace" for undo, ...).
std::vector<std::string> ExtraShortcuts(CommandId id);

}  // namespace quillon
