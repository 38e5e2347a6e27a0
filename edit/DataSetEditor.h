/// \file
/// CDataSetEditor — the same small edits made to many data sets, as a
/// batch editor makes them: set or replace values (at tag paths into
/// sequence items, TagPath.h), erase elements or items, erase an element
/// at any depth, erase every private element, and give studies, series
/// and instances new UIDs that stay consistent across the data sets of a
/// run.
///
/// Whatever the order the edits were added in, a data set gets them in
/// this order: erasures at any depth, private erasure, erasures by path,
/// values set and replaced (in the order added), new UIDs.
#pragma once

#include "base/Result.h"
#include "dicom/CharacterSet.h"
#include "dicom/DicomTypes.h"
#include "edit/TagPath.h"

#include <string>
#include <vector>

namespace quillon {

class CDicomObject;
class CUidMap;

class CDataSetEditor {
 public:
  /// The value `value` (UTF-8, several separated by '\') at `path`,
  /// inserted or replacing what is there; missing sequences and items on
  /// the way are made (an item index past the end adds empty items up to
  /// it).
  void Set(TagPath path, std::string value) { m_assignments.push_back({std::move(path), std::move(value), false}); }
  /// As Set, but only where the element already is.
  void Replace(TagPath path, std::string value) { m_assignments.push_back({std::move(path), std::move(value), true}); }
  /// Removes the element at `path`, or the item(s) of a path ending at an
  /// item; nothing where there is none.
  void Erase(TagPath path) { m_erasures.push_back(std::move(path)); }
  /// Removes every element under `tag`, at every depth.
  void EraseEverywhere(DicomTag tag) { m_erasuresEverywhere.push_back(tag); }
  /// Removes every private element (odd group), at every depth.
  void ErasePrivate() { m_erasePrivate = true; }
  /// Gives Study, Series and SOP Instance UID new UIDs from `uids` (the
  /// same old UID the same new one), and the meta group's instance UID
  /// the new SOP Instance UID. `uids` must outlive the editor.
  void RenewUids(CUidMap& uids) { m_uids = &uids; }

  bool Empty() const;

  /// Makes every edit on `dataSet` (a file's, meta group included). The
  /// first edit that cannot be made stops it with an error naming the tag
  /// path and why (a value its VR does not allow, a character the data
  /// set's character set cannot hold, a path through an element that is no
  /// sequence); the data set may then hold the edits made before.
  Status Apply(CDicomObject& dataSet) const;

 private:
  struct Assignment {
    TagPath path;
    std::string value;
    bool onlyIfPresent;
  };

  Status Assign(CDicomObject& object, const Assignment& assignment, std::size_t step, const CCharacterSet& inherited,
                const std::string& sopClass) const;
  Status StoreValue(CDicomObject& object, const Assignment& assignment, const CCharacterSet& charset,
                    const std::string& sopClass) const;
  void EraseAt(CDicomObject& object, const TagPath& path, std::size_t step) const;
  void EraseEverywhereIn(CDicomObject& object) const;
  Status RenewUidsIn(CDicomObject& dataSet) const;

  std::vector<Assignment> m_assignments;
  std::vector<TagPath> m_erasures;
  std::vector<DicomTag> m_erasuresEverywhere;
  bool m_erasePrivate = false;
  CUidMap* m_uids = nullptr;
};

/// Reads "PATH=VALUE" (the value may be empty, and may hold '=').
Result<std::pair<TagPath, std::string>> ParseAssignment(std::string_view text);

}  // namespace quillon
