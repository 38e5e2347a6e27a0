/// \file
/// CUndoStack — the changes of one document, undone and redone in order.
/// It also knows which position matches the file as last saved, so the
/// document's modified marker is simply "not at that position": undoing
/// back to the saved state clears it, redoing past it sets it again.
#pragma once

#include "app/EditCommand.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon {

class CUndoStack {
 public:
  /// Records a change that has just been applied. Changes undone before
  /// are dropped: they can no longer be redone.
  void Push(std::unique_ptr<CEditCommand> applied);

  bool CanUndo() const { return m_index > 0; }
  bool CanRedo() const { return m_index < m_commands.size(); }
  /// What Undo / Redo would undo or redo ("" when nothing).
  std::string UndoText() const;
  std::string RedoText() const;
  void Undo();
  void Redo();

  /// The current position matches the saved file.
  void SetClean() { m_cleanIndex = static_cast<long>(m_index); }
  bool IsClean() const { return m_cleanIndex == static_cast<long>(m_index); }
  /// Forgets every change; the current state counts as saved when
  /// `clean`, else as modified for good (nothing can undo back to a file).
  void Clear(bool clean);

 private:
  std::vector<std::unique_ptr<CEditCommand>> m_commands;
  size_t m_index = 0;  ///< commands before it are applied
  long m_cleanIndex = 0;  ///< -1: no position matches the saved file
};

}  // namespace quillon
