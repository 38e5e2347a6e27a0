#include "app/CommandIds.h"

#include <utility>

namespace quillon {

namespace {

constexpr MenuEntry kSeparator{CommandId::None, ""};

// The Edit menu is this program's own: the undo, find and copy that users
// of any editor reach for.
Menu EditMenu() {
  return {"&Edit",
          {{CommandId::EditUndo, "&Undo\tCtrl+Z"},
           {CommandId::EditRedo, "&Redo\tCtrl+Shift+Z"},
           kSeparator,
           {CommandId::EditCopy, "&Copy\tCtrl+C"},
           kSeparator,
           {CommandId::EditFind, "&Find...\tCtrl+F"},
           {CommandId::EditFindNext, "Find &Next\tF3"},
           {CommandId::EditFindPrevious, "Find &Previous\tShift+F3"}}};
}

}  // namespace

const std::vector<Menu>& MenusWithoutDocument() {
  static const std::vector<Menu> menus = {
      {"&File",
       {{CommandId::FileNew, "&New\tCtrl+N"},
        {CommandId::FileOpen, "&Open...\tCtrl+O"},
        {CommandId::OpenFolder, "Open &Folder..."},
        kSeparator,
        {CommandId::AllowReadPixelData, "Allow Read Pixel Data"},
        kSeparator,
        {CommandId::FilePrintSetup, "P&rint Setup..."},
        kSeparator,
        {CommandId::RecentFile, "Recent File"},
        kSeparator,
        {CommandId::AppExit, "E&xit"}}},
      {"&View", {{CommandId::ViewToolbar, "&Toolbar"}, {CommandId::ViewStatusBar, "&Status Bar"}}},
      {"Tools", {{CommandId::DeidentifyFolder, "De-identify Folder..."}}},
      {"&Help", {{CommandId::AppAbout, "&About Quillon..."}}},
  };
  return menus;
}

const std::vector<Menu>& MenusWithDocument() {
  static const std::vector<Menu> menus = {
      {"&File",
       {{CommandId::FileNew, "&New\tCtrl+N"},
        {CommandId::FileOpen, "&Open...\tCtrl+O"},
        {CommandId::OpenFolder, "Open &Folder..."},
        {CommandId::FileClose, "&Close"},
        {CommandId::FileSave, "&Save\tCtrl+S"},
        {CommandId::FileSaveAs, "Save &As..."},
        {CommandId::XmlExport, "XML Test"},
        kSeparator,
        {CommandId::AllowReadPixelData, "Allow Read Pixel Data"},
        kSeparator,
        {CommandId::FilePrint, "&Print...\tCtrl+P"},
        {CommandId::FilePrintPreview, "Print Pre&view"},
        {CommandId::FilePrintSetup, "P&rint Setup..."},
        kSeparator,
        {CommandId::RecentFile, "Recent File"},
        kSeparator,
        {CommandId::AppExit, "E&xit"}}},
      EditMenu(),
      {"Object",
       {{CommandId::NewMetaInfo, "New MetaInfo"},
        kSeparator,
        {CommandId::CreateCopy, "Create Copy"},
        {CommandId::DeleteAll, "Delete All"},
        kSeparator,
        {CommandId::ConvertTextToUtf8, "Convert Text to UTF-8"},
        kSeparator,
        {CommandId::ShowPixelData, "Show Pixel Data"}}},
      {"Element",
       {{CommandId::EditElement, "Edit Data"},
        {CommandId::RemoveElement, "Remove "},
        {CommandId::InsertElement, "Insert New"},
        {CommandId::CopyElement, "Copy"}}},
      {"Sequence", {{CommandId::InsertSequence, "Insert New"}, {CommandId::AddItem, "Add Item"}}},
      {"&View",
       {{CommandId::ViewToolbar, "&Toolbar"},
        {CommandId::ViewStatusBar, "&Status Bar"},
        kSeparator,
        {CommandId::NextFrame, "Next Frame"},
        {CommandId::PrevFrame, "Prev Frame"}}},
      {"Tools",
       {{CommandId::CompressPixelData, "Compress Pixel Data"},
        {CommandId::DecompressPixelData, "Decompress Pixel Data"},
        {CommandId::ComparePixelData, "Compare Pixel Data ..."},
        kSeparator,
        {CommandId::DeidentifyDocument, "De-identify..."},
        {CommandId::DeidentifyFolder, "De-identify Folder..."},
        {CommandId::CheckValues, "Check Values"}}},
      {"&Window",
       {{CommandId::WindowNew, "&New Window"},
        {CommandId::WindowCascade, "&Cascade"},
        {CommandId::WindowTile, "&Tile"},
        {CommandId::WindowArrange, "&Arrange Icons"}}},
      {"&Help", {{CommandId::AppAbout, "&About Quillon..."}}},
  };
  return menus;
}

const std::vector<CommandId>& ToolbarCommands() {
  static const std::vector<CommandId> commands = {
      CommandId::FileNew,   CommandId::FileOpen, CommandId::FileSave,  CommandId::None,
      CommandId::EditCut,   CommandId::EditCopy, CommandId::EditPaste, CommandId::None,
      CommandId::FilePrint, CommandId::None,     CommandId::PrevFrame, CommandId::NextFrame,
      CommandId::None,      CommandId::AppAbout,
  };
  return commands;
}

std::string CommandPrompt(CommandId id) {
  switch (id) {
    case CommandId::EditElement: return "Edit DICOM Element data";
    case CommandId::RemoveElement: return "Remove DICOM Element";
    case CommandId::InsertElement: return "Insert New DICOM Element";
    case CommandId::CopyElement: return "Copy element to another object";
    case CommandId::CreateCopy: return "Copy Dicom Object into the new one.";
    case CommandId::DeleteAll: return "Delete all DICOM Tags";
    case CommandId::NewMetaInfo: return "Create New Meta Information";
    case CommandId::ConvertTextToUtf8:
      return "Re-encode the text of the data set in ISO_IR 192 (UTF-8), which holds every character";
    case CommandId::AllowReadPixelData: return "Allow read the pixel data from file";
    case CommandId::ShowPixelData: return "Show the Pixel Data";
    case CommandId::XmlExport: return "Test function";
    case CommandId::NextFrame: return "Show Next Frame\nShow Next Frame";
    case CommandId::PrevFrame: return "Show Previous Frame\nShow Previous Frame";
    case CommandId::CompressPixelData: return "Compress Dicom File\nCompress Dicom File";
    case CommandId::DecompressPixelData: return "Decompress Dicom File\nDecompress Dicom File";
    case CommandId::InsertSequence: return "Inserts a new sequence element into the object";
    case CommandId::AddItem: return "Adds an Item to current sequence";
    case CommandId::DeidentifyDocument: return "Remove who the patient is from this document (Undo takes it back)";
    case CommandId::DeidentifyFolder: return "Remove who the patient is from every DICOM file of a folder";
    case CommandId::FileNew: return "Create a new document\nNew";
    case CommandId::FileOpen: return "Open an existing document\nOpen";
    case CommandId::FileClose: return "Close the active document\nClose";
    case CommandId::FileSave: return "Save the active document\nSave";
    case CommandId::FileSaveAs: return "Save the active document with a new name\nSave As";
    case CommandId::FilePrintSetup: return "Change the printer and printing options\nPage Setup";
    case CommandId::FilePrint: return "Print the active document\nPrint";
    case CommandId::FilePrintPreview: return "Display full pages\nPrint Preview";
    case CommandId::RecentFile: return "Open this document";
    case CommandId::EditCopy: return "Copy the selected rows and put them on the Clipboard\nCopy";
    case CommandId::EditCut: return "Cut the selection and put it on the Clipboard\nCut";
    case CommandId::EditPaste: return "Insert Clipboard contents\nPaste";
    case CommandId::EditFind: return "Find the next row holding a text or a tag (gggg,eeee)\nFind";
    case CommandId::EditFindNext: return "Find the next row holding the same text or tag\nFind Next";
    case CommandId::EditFindPrevious: return "Find the previous row holding the same text or tag\nFind Previous";
    case CommandId::EditUndo: return "Undo the last change\nUndo";
    case CommandId::EditRedo: return "Redo the change undone last\nRedo";
    case CommandId::WindowNew: return "Open another window for the active document\nNew Window";
    case CommandId::WindowArrange: return "Arrange icons at the bottom of the window\nArrange Icons";
    case CommandId::WindowCascade: return "Arrange windows so they overlap\nCascade Windows";
    case CommandId::WindowTile: return "Arrange windows as non-overlapping tiles\nTile Windows";
    case CommandId::AppAbout: return "Display program information, version number and copyright\nAbout";
    case CommandId::AppExit: return "Quit the application; prompts to save documents\nExit";
    case CommandId::ViewToolbar: return "Show or hide the toolbar\nToggle ToolBar";
    case CommandId::ViewStatusBar: return "Show or hide the status bar\nToggle StatusBar";
    case CommandId::None:
    case CommandId::ComparePixelData: return "";
    case CommandId::CheckValues: return "List every value that breaks the rules of its VR\nCheck Values";
    case CommandId::OpenFolder: return "List the patients, studies, series and instances of a folder or its DICOMDIR\nOpen Folder";
  }
  return "";
}

std::vector<std::string> ExtraShortcuts(CommandId id) {
  switch (id) {
    case CommandId::EditUndo: return {"Alt+Backspace"};
    case CommandId::EditRedo: return {"Ctrl+Y"};
    case CommandId::EditCut: return {"Ctrl+X", "Shift+Delete"};
    case CommandId::EditCopy: return {"Ctrl+Insert"};
    case CommandId::EditPaste: return {"Ctrl+V", "Shift+Insert"};
    default: return {};
  }
}

}  // namespace quillon
