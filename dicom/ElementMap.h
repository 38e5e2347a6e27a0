/// \file
/// The elements of one data set, keyed by tag. Kept as a vector sorted by
/// tag: files store elements in ascending order, so reading appends at the
/// end, ordered walks need no sorting, and each element costs 16 bytes of
/// index instead of a hash or tree node. Elements that arrive out of order
/// are appended and the vector is re-sorted once, on the next lookup, so a
/// file with its elements in reverse order costs n log n rather than n².
#pragma once

#include "dicom/DicomElement.h"
#include "dicom/DicomTypes.h"

#include <memory>
#include <vector>

namespace quillon {

class CElementMap {
 public:
  struct Entry {
    DicomTag tag;
    std::unique_ptr<CDicomElement> element;
  };

  CElementMap();
  CElementMap(CElementMap&&) noexcept;
  CElementMap& operator=(CElementMap&&) noexcept;
  ~CElementMap();

  /// Stores `element` under its tag, destroying any element stored there.
  void Insert(std::unique_ptr<CDicomElement> element);
  /// The element stored under `tag`, or null.
  CDicomElement* Find(DicomTag tag) const;
  /// Removes the element under `tag` and hands it back (null when absent).
  std::unique_ptr<CDicomElement> Take(DicomTag tag);
  void Clear();
  size_t Size() const;
  bool Empty() const { return m_entries.empty(); }

  /// The entries in ascending tag order.
  const std::vector<Entry>& Sorted() const;

 private:
  // Sorting is deferred until someone looks; the map belongs to one data
  // object, which is used by one thread at a time.
  void Normalize() const;

  mutable std::vector<Entry> m_entries;
  mutable bool m_sorted = true;
};

}  // namespace quillon
