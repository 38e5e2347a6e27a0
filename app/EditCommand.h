/// \file
/// The undoable changes the editor makes to a data set. Each command is
/// applied once when it is made and can then be undone and redone any
/// number of times, strictly in stack order (CUndoStack).
///
/// Commands move elements and items rather than copying them: what a
/// change takes out of the data set is kept by the command, and undoing
/// puts that very object back. So an undone change gives back the data set
/// byte for byte, pointers held by older commands stay valid, and a
/// change costs no copy of the data it touches.
#pragma once

#include "dicom/DicomTypes.h"
#include "dicom/ElementMap.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon {

class CDicomElement;
class CDicomObject;
class CDicomSequence;
class CSequenceItem;

class CEditCommand {
 public:
  explicit CEditCommand(std::string text) : m_text(std::move(text)) {}
  virtual ~CEditCommand() = default;
  CEditCommand(const CEditCommand&) = delete;
  CEditCommand& operator=(const CEditCommand&) = delete;

  virtual void Undo() = 0;
  virtual void Redo() = 0;
  /// What the change did, for "Undo <text>" ("Edit (0010,0010)").
  const std::string& Text() const { return m_text; }

 private:
  std::string m_text;
};

/// What a data set knows besides its elements and that storing an element
/// can change: (0002,0010) sets the transfer mode, (0002,0002) the SOP
/// class.
struct ObjectState {
  TransferMode transferMode = TransferMode::ExplicitLittleEndian;
  std::string sopClassUid;
  static ObjectState Of(const CDicomObject& object);
  void ApplyTo(CDicomObject& object) const;
};

/// Stores an element under its tag (replacing what was there), or removes
/// the element under a tag.
class CElementChange final : public CEditCommand {
 public:
  /// Stores `element` in `container` through AddElement, or with a null
  /// `element` removes the element under `tag`. Null, with nothing
  /// changed, when the data set refuses the element or there is nothing to
  /// remove.
  static std::unique_ptr<CElementChange> Apply(CDicomObject& container, DicomTag tag,
                                               std::unique_ptr<CDicomElement> element, std::string text);
  void Undo() override { Swap(); }
  void Redo() override { Swap(); }

 private:
  CElementChange(CDicomObject& container, DicomTag tag, std::string text);
  void Swap();

  CDicomObject& m_container;
  DicomTag m_tag;
  /// Whatever is not in the data set right now: the old element after the
  /// change, the new one after an undo (null for "nothing").
  std::unique_ptr<CDicomElement> m_held;
  ObjectState m_heldState;
};

/// Puts an item into a sequence at an index, or takes the item at an index
/// out.
class CItemChange final : public CEditCommand {
 public:
  /// Inserts `item` at `index`; null when the index is out of range.
  static std::unique_ptr<CItemChange> Insert(CDicomSequence& sequence, size_t index,
                                             std::unique_ptr<CSequenceItem> item, std::string text);
  /// Removes the item at `index`; null when there is none.
  static std::unique_ptr<CItemChange> Remove(CDicomSequence& sequence, size_t index, std::string text);
  void Undo() override;
  void Redo() override;

 private:
  CItemChange(CDicomSequence& sequence, size_t index, bool inserted, std::string text);
  void PutIn();
  void TakeOut();

  CDicomSequence& m_sequence;
  size_t m_index;
  bool m_inserted;  ///< the change put the item in (else took it out)
  std::unique_ptr<CSequenceItem> m_held;
};

/// Replaces every element of a data set at once (Delete All, Create Copy).
class CContentsChange final : public CEditCommand {
 public:
  /// Gives `object` the elements of `elements` (empty for Delete All) and
  /// the transfer mode and SOP class of `state`, and keeps its old ones.
  static std::unique_ptr<CContentsChange> Apply(CDicomObject& object, CElementMap elements,
                                                const ObjectState& state, std::string text);
  void Undo() override { Swap(); }
  void Redo() override { Swap(); }

 private:
  CContentsChange(CDicomObject& object, CElementMap elements, std::string text);
  void Swap();

  CDicomObject& m_object;
  CElementMap m_held;
  ObjectState m_heldState;
};

/// Several changes made and undone as one.
class CCommandGroup final : public CEditCommand {
 public:
  explicit CCommandGroup(std::string text) : CEditCommand(std::move(text)) {}
  void Add(std::unique_ptr<CEditCommand> applied) { m_commands.push_back(std::move(applied)); }
  bool Empty() const { return m_commands.empty(); }
  void Undo() override;
  void Redo() override;

 private:
  std::vector<std::unique_ptr<CEditCommand>> m_commands;
};

}  // namespace quillon
