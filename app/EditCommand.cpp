#include "app/EditCommand.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"

namespace quillon {

ObjectState ObjectState::Of(const CDicomObject& object) {
  return ObjectState{object.GetTransferMode(), object.GetSopClassUid()};
}

void ObjectState::ApplyTo(CDicomObject& object) const {
  object.SetTransferMode(transferMode);
  object.SetSopClassUid(sopClassUid);
}

// ---- CElementChange ----

CElementChange::CElementChange(CDicomObject& container, DicomTag tag, std::string text)
    : CEditCommand(std::move(text)), m_container(container), m_tag(tag) {}

std::unique_ptr<CElementChange> CElementChange::Apply(CDicomObject& container, DicomTag tag,
                                                      std::unique_ptr<CDicomElement> element, std::string text) {
  if (element && element->GetTag() != tag) return nullptr;
  if (!element && !container.Contains(tag)) return nullptr;
  std::unique_ptr<CElementChange> change(new CElementChange(container, tag, std::move(text)));
  change->m_heldState = ObjectState::Of(container);
  std::unique_ptr<CDicomElement> old = container.TakeElement(tag);
  if (element && !container.AddElement(std::move(element))) {
    container.RestoreElement(std::move(old));
    change->m_heldState.ApplyTo(container);
    return nullptr;
  }
  change->m_held = std::move(old);
  return change;
}

void CElementChange::Swap() {
  std::unique_ptr<CDicomElement> current = m_container.TakeElement(m_tag);
  if (m_held) m_container.RestoreElement(std::move(m_held));
  m_held = std::move(current);
  const ObjectState state = ObjectState::Of(m_container);
  m_heldState.ApplyTo(m_container);
  m_heldState = state;
}

// ---- CItemChange ----

CItemChange::CItemChange(CDicomSequence& sequence, size_t index, bool inserted, std::string text)
    : CEditCommand(std::move(text)), m_sequence(sequence), m_index(index), m_inserted(inserted) {}

std::unique_ptr<CItemChange> CItemChange::Insert(CDicomSequence& sequence, size_t index,
                                                 std::unique_ptr<CSequenceItem> item, std::string text) {
  if (!item || index > sequence.GetItemCount()) return nullptr;
  std::unique_ptr<CItemChange> change(new CItemChange(sequence, index, true, std::move(text)));
  change->m_held = std::move(item);
  change->PutIn();
  return change;
}

std::unique_ptr<CItemChange> CItemChange::Remove(CDicomSequence& sequence, size_t index, std::string text) {
  if (index >= sequence.GetItemCount()) return nullptr;
  std::unique_ptr<CItemChange> change(new CItemChange(sequence, index, false, std::move(text)));
  change->TakeOut();
  return change;
}

void CItemChange::PutIn() { (void)m_sequence.InsertItem(m_index, std::move(m_held)); }
void CItemChange::TakeOut() { m_held = m_sequence.TakeItem(m_index); }

void CItemChange::Undo() {
  if (m_inserted) {
    TakeOut();
  } else {
    PutIn();
  }
}

void CItemChange::Redo() {
  if (m_inserted) {
    PutIn();
  } else {
    TakeOut();
  }
}

// ---- CContentsChange ----

CContentsChange::CContentsChange(CDicomObject& object, CElementMap elements, std::string text)
    : CEditCommand(std::move(text)), m_object(object), m_held(std::move(elements)) {}

std::unique_ptr<CContentsChange> CContentsChange::Apply(CDicomObject& object, CElementMap elements,
                                                        const ObjectState& state, std::string text) {
  std::unique_ptr<CContentsChange> change(new CContentsChange(object, std::move(elements), std::move(text)));
  change->m_heldState = state;
  change->Swap();
  return change;
}

void CContentsChange::Swap() {
  m_object.SwapElements(m_held);
  const ObjectState state = ObjectState::Of(m_object);
  m_heldState.ApplyTo(m_object);
  m_heldState = state;
}

// ---- CCommandGroup ----

void CCommandGroup::Undo() {
  for (auto it = m_commands.rbegin(); it != m_commands.rend(); ++it) (*it)->Undo();
}

void CCommandGroup::Redo() {
  for (auto& command : m_commands) command->Redo();
}

}  // namespace quillon
