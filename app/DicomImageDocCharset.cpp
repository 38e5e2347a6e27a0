/// \file
/// The commands of CDicomImageDoc that touch the character set: a new
/// Specific Character Set (0008,0005), typed, copied or removed, converts
/// the text it labels instead of relabelling the old bytes; and a value the
/// set cannot hold can be stored by moving the data set to UTF-8. Each is
/// one undoable change.
#include "app/DicomElementDlg.h"
#include "app/DicomImageDoc.h"
#include "app/UserInterface.h"
#include "dicom/CharsetConversion.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"

#include <cstring>

namespace quillon {
namespace {

constexpr DicomTag kSpecificCharacterSet = 0x00080005;
constexpr const char* kUtf8Term = "ISO_IR 192";

/// The data sets from `object` down to `target` (both included), or false
/// when `target` is not inside `object`.
bool FindPath(CDicomObject& object, const CDicomObject& target, std::vector<CDicomObject*>& path) {
  path.push_back(&object);
  if (&object == &target) return true;
  for (const auto& entry : object.Elements().Sorted()) {
    auto* sequence = dynamic_cast<CDicomSequence*>(entry.element.get());
    if (sequence == nullptr) continue;
    for (size_t i = 0; i < sequence->GetItemCount(); ++i) {
      CSequenceItem* item = sequence->GetItem(i);
      if (item != nullptr && FindPath(*item, target, path)) return true;
    }
  }
  path.pop_back();
  return false;
}

std::unique_ptr<CDicomElement> MakeDeclaration(const std::string& value) {
  return std::make_unique<CDicomElement>(kSpecificCharacterSet, vr::CS, value.data(),
                                         static_cast<uint32_t>(value.size()));
}

}  // namespace

CCharacterSet CDicomImageDoc::CharsetAround(const CDicomObject& object) const {
  std::vector<CDicomObject*> path;
  if (!FindPath(const_cast<CDicomObject&>(m_object), object, path)) return {};
  CCharacterSet set;
  for (size_t i = 0; i + 1 < path.size(); ++i) set = CharsetInForce(*path[i], set);
  return set;
}

CDicomObject& CDicomImageDoc::CharsetScopeOf(CDicomObject& container) {
  std::vector<CDicomObject*> path;
  if (!FindPath(m_object, container, path)) return m_object;
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    if ((*it)->Elements().Find(kSpecificCharacterSet) != nullptr) return **it;
  }
  return m_object;
}

std::unique_ptr<CCommandGroup> CDicomImageDoc::ApplyCharsetChange(CDicomObject& scope, const CCharacterSet& from,
                                                                  const CCharacterSet& to,
                                                                  std::unique_ptr<CDicomElement> declaration,
                                                                  std::string text, IUserInterface& ui) {
  Result<std::vector<TextRewrite>> plan = PlanTextConversion(scope, from, to);
  if (!plan) {
    ui.ShowMessage("The text of the data set cannot be converted from " + from.Describe() + " to " + to.Describe() +
                   ".\n\n" + plan.Message());
    return nullptr;
  }
  auto group = std::make_unique<CCommandGroup>(std::move(text));
  for (TextRewrite& rewrite : *plan) {
    const CDicomElement* old = rewrite.container->Elements().Find(rewrite.tag);
    auto element = std::make_unique<CDicomElement>(rewrite.tag, old->GetVR(), rewrite.bytes.data(),
                                                   static_cast<uint32_t>(rewrite.bytes.size()));
    std::unique_ptr<CElementChange> change =
        CElementChange::Apply(*rewrite.container, rewrite.tag, std::move(element), {});
    if (!change) {
      group->Undo();
      ui.ShowMessage("The text of the data set cannot be converted: the data set refuses the new value of " +
                     FormatTag(rewrite.tag) + ".");
      return nullptr;
    }
    group->Add(std::move(change));
  }
  const bool declared = scope.Elements().Find(kSpecificCharacterSet) != nullptr;
  if (declaration || declared) {
    std::unique_ptr<CElementChange> change =
        CElementChange::Apply(scope, kSpecificCharacterSet, std::move(declaration), {});
    if (!change) {
      group->Undo();
      ui.ShowMessage("Specific Character Set (0008,0005) cannot be stored here.");
      return nullptr;
    }
    group->Add(std::move(change));
  }
  return group;
}

bool CDicomImageDoc::StoreCharsetChange(const CDicomElementDlg& dialog, CDicomObject& container,
                                        const std::string& what, IUserInterface& ui) {
  const CDicomElementDlg::ResultValue& result = dialog.Result();
  if (result.tag == kSpecificCharacterSet) {
    const std::string value(result.bytes.begin(), result.bytes.end());
    const CCharacterSet from = CharsetInForce(container, CharsetAround(container));
    const CCharacterSet to = CCharacterSet::FromSpecificCharacterSet(value);
    if (from == to && container.Elements().Find(kSpecificCharacterSet) != nullptr) return false;
    std::unique_ptr<CCommandGroup> group =
        ApplyCharsetChange(container, from, to, MakeDeclaration(value), what + " " + FormatTag(result.tag), ui);
    if (group) Commit(std::move(group), container.Elements().Find(kSpecificCharacterSet));
    return true;
  }
  if (!result.convertToUtf8) return false;
  // The user agreed to move the data set to UTF-8 so the value fits: the
  // data set whose set is in force here moves, then the value is stored.
  CDicomObject& scope = CharsetScopeOf(container);
  const CCharacterSet from = CharsetInForce(scope, CharsetAround(scope));
  std::unique_ptr<CCommandGroup> group = ApplyCharsetChange(scope, from, CCharacterSet::Utf8(),
                                                            MakeDeclaration(kUtf8Term),
                                                            what + " " + FormatTag(result.tag), ui);
  if (!group) return true;
  const uint8_t* bytes = result.bytes.empty() ? nullptr : result.bytes.data();
  auto element =
      std::make_unique<CDicomElement>(result.tag, result.vr, bytes, static_cast<uint32_t>(result.bytes.size()));
  const CDicomElement* stored = element.get();
  std::unique_ptr<CEditCommand> change =
      ApplyElementChange(container, result.tag, std::move(element), {}, "Cannot insert element into the object", ui);
  if (!change) {
    group->Undo();
    return true;
  }
  group->Add(std::move(change));
  Commit(std::move(group), stored);
  return true;
}

void CDicomImageDoc::ConvertTextToUtf8(IUserInterface& ui) {
  const CCharacterSet from = CharsetInForce(m_object, {});
  if (from.IsUtf8()) {
    ui.ShowMessage("The data set is already in ISO_IR 192 (UTF-8).");
    return;
  }
  std::unique_ptr<CCommandGroup> group = ApplyCharsetChange(m_object, from, CCharacterSet::Utf8(),
                                                            MakeDeclaration(kUtf8Term), "Convert Text to UTF-8", ui);
  if (group) Commit(std::move(group), m_object.Elements().Find(kSpecificCharacterSet));
}

}  // namespace quillon
