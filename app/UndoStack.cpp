#include "app/UndoStack.h"

namespace quillon {

void CUndoStack::Push(std::unique_ptr<CEditCommand> applied) {
  if (!applied) return;
  m_commands.resize(m_index);
  // The saved state was among the dropped changes: nothing leads back to it.
  if (m_cleanIndex > static_cast<long>(m_index)) m_cleanIndex = -1;
  m_commands.push_back(std::move(applied));
  ++m_index;
}

std::string CUndoStack::UndoText() const { return CanUndo() ? m_commands[m_index - 1]->Text() : std::string(); }

std::string CUndoStack::RedoText() const { return CanRedo() ? m_commands[m_index]->Text() : std::string(); }

void CUndoStack::Undo() {
  if (!CanUndo()) return;
  m_commands[--m_index]->Undo();
}

void CUndoStack::Redo() {
  if (!CanRedo()) return;
  m_commands[m_index++]->Redo();
}

void CUndoStack::Clear(bool clean) {
  m_commands.clear();
  m_index = 0;
  m_cleanIndex = clean ? 0 : -1;
}

}  // namespace quillon
