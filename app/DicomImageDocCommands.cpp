/// \file
/// The element commands of CDicomImageDoc: edit, insert, remove, sequences
/// and items, new meta information, delete all, copies between documents
/// and the XML export. Each builds one undoable change and commits it.
#include "app/DicomImageDoc.h"

#include "app/AddSequenceDlg.h"
#include "app/DicomElementDlg.h"
#include "app/EditCommand.h"
#include "dicom/MetaInformation.h"
#include "app/TagInput.h"
#include "app/UserInterface.h"
#include "dicom/CharsetConversion.h"
#include "dicom/DicomPixelData.h"
#include "dicom/DicomSequence.h"
#include "dicom/ElementRules.h"
#include "dicom/SequenceItem.h"
#include "dicom/UidGenerator.h"
#include "dicom/ValueRepresentation.h"
#include "app/ValueCheck.h"
#include "dicom/TagNameTable.h"
#include "xml/XmlDictionary.h"
#include "xml/XmlExporter.h"

#include <cstring>
#include <filesystem>

namespace quillon {

namespace {

constexpr const char* kCannotInsert = "Cannot insert element into the object";
constexpr const char* kAlreadyExists = "This element already Exist.\n Replace?";
constexpr DicomTag kSpecificCharacterSet = 0x00080005;

// What new meta information says about this program and the data set.
constexpr const char* kNewMetaSopClass = "1.2.840.10008.5.1.4.1.1.6.1";

/// True when the two elements would be written the same.
bool SameElement(const CDicomElement& a, const CDicomElement& b) {
  return a.GetTag() == b.GetTag() && a.GetVR() == b.GetVR() && a.GetLength() == b.GetLength() &&
         a.IsUndefinedLength() == b.IsUndefinedLength() && a.HasValue() == b.HasValue() &&
         (!a.HasValue() || std::memcmp(a.GetValue(), b.GetValue(), a.GetLength()) == 0);
}

/// The folder of a document's file; empty for a new document.
std::string FolderOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

/// Binary words show in the byte order the data set is written in.
bool IsBigEndian(const CDicomObject& object) { return object.GetTransferMode() == TransferMode::ExplicitBigEndian; }

}  // namespace

std::unique_ptr<CEditCommand> CDicomImageDoc::ApplyElementChange(CDicomObject& container, DicomTag tag,
                                                                 std::unique_ptr<CDicomElement> element,
                                                                 std::string text, const char* refusal,
                                                                 IUserInterface& ui) {
  if (element) {
    if (Status allowed = CheckElementRules(*element, container.Place()); !allowed) {
      ui.ShowMessage(std::string(refusal) + "\n\n" + allowed.Message());
      return nullptr;
    }
  }
  if (&container == &m_object) {
    if (Status encoded = CheckPixelEncodingAfter(m_object, tag, element.get()); !encoded) {
      ui.ShowMessage(encoded.Message());
      return nullptr;
    }
  }
  std::unique_ptr<CElementChange> change =
      CElementChange::Apply(container, tag, std::move(element), std::move(text));
  if (!change) ui.ShowMessage(refusal);
  return change;
}

void CDicomImageDoc::StoreFromDialog(const CDicomElementDlg& dialog, CDicomObject& container,
                                     const std::string& what, IUserInterface& ui) {
  if (StoreCharsetChange(dialog, container, what, ui)) return;
  const CDicomElementDlg::ResultValue& result = dialog.Result();
  const uint8_t* bytes = result.bytes.empty() ? nullptr : result.bytes.data();
  auto element =
      std::make_unique<CDicomElement>(result.tag, result.vr, bytes, static_cast<uint32_t>(result.bytes.size()));
  const CDicomElement* old = container.Elements().Find(result.tag);
  if (old != nullptr && SameElement(*old, *element)) return;  // nothing to change, nothing to undo
  const CDicomElement* stored = element.get();
  std::unique_ptr<CEditCommand> change = ApplyElementChange(container, result.tag, std::move(element),
                                                            what + " " + FormatTag(result.tag), kCannotInsert, ui);
  if (!change) return;
  // Pixel data is stored in its own element class: focus on what is there.
  const CDicomElement* now = container.Elements().Find(result.tag);
  Commit(std::move(change), now != nullptr ? now : stored);
}

void CDicomImageDoc::EditElement(int row, IUserInterface& ui, bool* showPixelData) {
  if (showPixelData != nullptr) *showPixelData = false;
  if (!m_rows.IsValid(row)) return;
  const DumpRow& target = m_rows.At(static_cast<size_t>(row));
  switch (target.kind) {
    case DumpRowKind::Sequence: ui.ShowMessage("Use Items for Editing"); return;
    case DumpRowKind::PixelData:
      // The image of the data set is shown rather than its bytes; pixel
      // data in an item (an icon) is edited as any binary value.
      if (showPixelData != nullptr && &ContainerOf(row) == &m_object) {
        *showPixelData = true;
        return;
      }
      break;
    case DumpRowKind::Item:
    case DumpRowKind::EndMarker: return;
    case DumpRowKind::Element: break;
  }
  const CDicomElement* element = m_rows.ElementAt(static_cast<size_t>(row));
  CDicomObject& container = ContainerOf(row);
  CDicomElementDlg dialog(false, {&container != &m_object, m_rows.CharsetOf(static_cast<size_t>(row)),
                                  m_object.GetSopClassUid(), IsBigEndian(m_object), FolderOf(m_path)});
  if (!dialog.FillFrom(*element)) {
    ui.ShowStatus(dialog.Refusal());
    return;
  }
  if (!ui.RunElementDialog(dialog)) return;
  StoreFromDialog(dialog, container, "Edit", ui);
}

CDicomObject* CDicomImageDoc::InsertionTarget(int row, CCharacterSet& charset, IUserInterface& ui) {
  // With no row selected (an empty document has none) the new element goes
  // to the top-level data set; on an item row, into that item.
  charset = CharsetInForce(m_object, CCharacterSet());
  if (!m_rows.IsValid(row)) return &m_object;
  const DumpRow& target = m_rows.At(static_cast<size_t>(row));
  if (target.kind == DumpRowKind::Sequence) {
    ui.ShowMessage("Use Items for Inserting");
    return nullptr;
  }
  charset = m_rows.CharsetOf(static_cast<size_t>(row));
  CSequenceItem* item = m_rows.ItemAt(static_cast<size_t>(row));
  return item != nullptr ? item : &ContainerOf(row);
}

void CDicomImageDoc::InsertElement(int row, IUserInterface& ui) {
  CCharacterSet charset;
  CDicomObject* container = InsertionTarget(row, charset, ui);
  if (container == nullptr) return;
  CDicomElementDlg dialog(true, {container != &m_object, charset, m_object.GetSopClassUid(), IsBigEndian(m_object),
                                 FolderOf(m_path)});
  if (!ui.RunElementDialog(dialog)) return;
  if (container->Contains(dialog.Result().tag) && !ui.AskYesNo(kAlreadyExists)) return;
  StoreFromDialog(dialog, *container, "Insert", ui);
}

void CDicomImageDoc::RemoveElement(int row, IUserInterface& ui) {
  if (!m_rows.IsValid(row)) return;
  const DumpRow& target = m_rows.At(static_cast<size_t>(row));
  if (target.kind == DumpRowKind::EndMarker) return;
  if (target.kind == DumpRowKind::Item) {
    CDicomSequence* sequence = nullptr;
    size_t index = 0;
    if (!m_rows.FindItem(row, sequence, index)) return;
    Commit(CItemChange::Remove(*sequence, index, "Remove Item"), {});
    return;
  }
  const DicomTag tag = m_rows.ElementAt(static_cast<size_t>(row))->GetTag();
  if (tag == kSpecificCharacterSet) {
    // Without its (0008,0005) the data set reads in the set around it: its
    // text moves there, or the removal is refused.
    CDicomObject& container = ContainerOf(row);
    const CCharacterSet around = CharsetAround(container);
    Commit(ApplyCharsetChange(container, CharsetInForce(container, around), around, nullptr,
                              "Remove " + FormatTag(tag), ui),
           {});
    return;
  }
  Commit(ApplyElementChange(ContainerOf(row), tag, nullptr, "Remove " + FormatTag(tag), "Cannot remove element", ui),
         {});
}

void CDicomImageDoc::InsertSequence(int row, IUserInterface& ui) {
  CCharacterSet charset;
  CDicomObject* container = InsertionTarget(row, charset, ui);
  if (container == nullptr) return;
  CAddSequenceDlg dialog(container != &m_object, m_object.GetSopClassUid());
  if (!ui.RunAddSequenceDialog(dialog)) return;
  const DicomTag tag = dialog.Tag();
  if (container->Contains(tag) && !ui.AskYesNo(kAlreadyExists)) return;
  auto sequence = std::make_unique<CDicomSequence>(tag);
  sequence->SetSopClassUid(m_object.GetSopClassUid());
  const CDicomElement* focus = sequence.get();
  Commit(ApplyElementChange(*container, tag, std::move(sequence), "Insert Sequence " + FormatTag(tag), kCannotInsert,
                            ui),
         focus);
}

void CDicomImageDoc::AddItem(int row) {
  if (!m_rows.IsValid(row)) return;
  CDicomSequence* sequence = m_rows.SequenceAt(static_cast<size_t>(row));
  if (sequence == nullptr) return;
  auto item = std::make_unique<CSequenceItem>();
  item->SetSopClassUid(sequence->GetSopClassUid());
  const CSequenceItem* focus = item.get();
  Commit(CItemChange::Insert(*sequence, sequence->GetItemCount(), std::move(item), "Add Item"), focus);
}

void CDicomImageDoc::NewMetaInformation() {
  if (!IsEmpty()) return;
  CDicomObject meta;
  (void)meta.CreateMetaInformation(kNewMetaSopClass, GenerateUID(m_settings), uids::kExplicitVrLittleEndian,
                                   OrganisationUidRoot(), kImplementationVersionName, kSourceAeTitle);
  auto group = std::make_unique<CCommandGroup>("New MetaInfo");
  TagArray tags;
  meta.GetSortedTags(tags);
  for (const DicomTag tag : tags) {
    if (auto change = CElementChange::Apply(m_object, tag, meta.TakeElement(tag), {})) group->Add(std::move(change));
  }
  Commit(std::move(group), {});
}

void CDicomImageDoc::DeleteAll() {
  if (IsEmpty()) return;
  Commit(CContentsChange::Apply(m_object, CElementMap{}, ObjectState::Of(m_object), "Delete All"), {});
}

void CDicomImageDoc::ExportXml(IUserInterface& ui) {
  const std::string dictionaryPath = ChooseXmlDictionary();
  // Read at every export, so edits of the dictionary take effect at once.
  CXmlDictionary dictionary;
  if (!dictionary.Load(dictionaryPath)) {
    ui.ShowMessage("Dictionary file not found: " + dictionaryPath);
    return;
  }
  // Beside the document, named after it; a new document's in the working
  // directory.
  std::filesystem::path suggested = m_path.empty() ? std::filesystem::path(m_title) : std::filesystem::path(m_path);
  suggested.replace_extension(".xml");
  const std::optional<std::string> chosen =
      ui.AskExportPath("Export " + m_title + " as XML", suggested.string(), "XML files (*.xml)");
  if (!chosen || chosen->empty()) return;
  std::error_code ignored;
  if (std::filesystem::exists(*chosen, ignored) &&
      !ui.AskYesNo(*chosen + " already exists.\nDo you want to replace it?")) {
    return;
  }
  XmlExporter exporter(dictionary);
  if (const Status exported = exporter.Export(m_object, *chosen); !exported) {
    ui.ShowMessage("The XML export failed: " + exported.Message());
    return;
  }
  ui.ShowStatus("The data set was exported to " + std::filesystem::absolute(*chosen, ignored).string());
}

void CDicomImageDoc::CheckValues(IUserInterface& ui) const {
  const std::vector<std::string> problems = CheckDataSet(m_object);
  if (problems.empty()) {
    ui.ShowInformation("Every value of " + m_title + " keeps to the rules of its VR.");
    return;
  }
  // A long list is cut: the first hundred say enough to start fixing.
  constexpr size_t kListed = 100;
  std::string text = std::to_string(problems.size()) + " value problem(s) in " + m_title + ":\n";
  for (size_t i = 0; i < problems.size() && i < kListed; ++i) text += "\n" + problems[i];
  if (problems.size() > kListed) text += "\n... and " + std::to_string(problems.size() - kListed) + " more.";
  ui.ShowInformation(text);
}

bool CDicomImageDoc::ReceiveElement(DicomTag tag, const CDicomImageDoc& source, IUserInterface& ui) {
  const CDicomElement* element = source.m_object.Elements().Find(tag);
  if (element == nullptr) {
    ui.ShowMessage("Cannot copy element");
    return false;
  }
  const auto* pixels = dynamic_cast<const CDicomPixelData*>(element);
  if (pixels != nullptr && !pixels->IsLoaded()) {
    ui.ShowMessage("Cannot copy element\n\nThe pixel data of " + source.Title() +
                   " was not read (Allow Read Pixel Data was off when it was opened).");
    return false;
  }
  // As Insert does: an element already there is replaced only when the
  // user says so.
  if (m_object.Contains(tag) && !ui.AskYesNo(FormatTag(tag) + " already exists in " + m_title + ".\nReplace it?")) {
    return false;
  }
  std::unique_ptr<CDicomElement> copy = element->Clone();
  if (!copy) {
    ui.ShowMessage("Cannot copy element");
    return false;
  }
  const CCharacterSet from = CharsetInForce(source.m_object, CCharacterSet());
  const CCharacterSet to = CharsetInForce(m_object, CCharacterSet());
  if (tag == kSpecificCharacterSet) {
    // A new set for this document: its text moves to it.
    if (from == to) return true;
    std::unique_ptr<CCommandGroup> group = ApplyCharsetChange(
        m_object, to, from, std::move(copy), "Copy " + FormatTag(tag) + " from " + source.Title(), ui);
    if (!group) return false;
    Commit(std::move(group), m_object.Elements().Find(tag));
    return true;
  }
  // The text is copied, not its bytes: it is encoded anew in this
  // document's set.
  if (!(from == to)) {
    if (const Status converted = ConvertElementText(*copy, from, to); !converted) {
      ui.ShowMessage("Cannot copy element\n\n" + converted.Message());
      return false;
    }
  }
  const CDicomElement* focus = copy.get();
  std::unique_ptr<CEditCommand> change = ApplyElementChange(
      m_object, tag, std::move(copy), "Copy " + FormatTag(tag) + " from " + source.Title(), "Cannot copy element", ui);
  if (!change) return false;
  Commit(std::move(change), focus);
  const std::string_view name = GetTagName(tag);
  ui.ShowStatus("Copied " + FormatTag(tag) + (name.empty() ? std::string() : " " + std::string(name)) + " to " +
                m_title);
  return true;
}

bool CDicomImageDoc::ReceiveCopyOf(const CDicomImageDoc& source, IUserInterface& ui) {
  CDicomObject copy;
  if (!copy.CopyFrom(&source.m_object)) {
    ui.ShowMessage("Cannot copy object");
    return false;
  }
  CElementMap elements;
  copy.SwapElements(elements);
  // A copy of a document whose pixel data was not read lacks it too.
  m_pixelDataRead = source.m_pixelDataRead;
  m_pixelSource = source.m_pixelSource;
  Commit(CContentsChange::Apply(m_object, std::move(elements), ObjectState::Of(source.m_object), "Create Copy"),
         {});
  return true;
}

void CDicomImageDoc::ReplaceDataSet(CDicomObject replacement, std::string text) {
  const ObjectState state = ObjectState::Of(replacement);
  CElementMap elements;
  replacement.SwapElements(elements);
  Commit(CContentsChange::Apply(m_object, std::move(elements), state, std::move(text)), {});
}

}  // namespace quillon
