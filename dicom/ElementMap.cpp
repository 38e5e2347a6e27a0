#include "dicom/ElementMap.h"

#include "dicom/DicomElement.h"

#include <algorithm>

namespace quillon {

namespace {
bool TagLess(const CElementMap::Entry& a, const CElementMap::Entry& b) { return a.tag < b.tag; }
}  // namespace

CElementMap::CElementMap() = default;
CElementMap::CElementMap(CElementMap&&) noexcept = default;
CElementMap& CElementMap::operator=(CElementMap&&) noexcept = default;
CElementMap::~CElementMap() = default;

void CElementMap::Insert(std::unique_ptr<CDicomElement> element) {
  if (!element) return;
  const DicomTag tag = element->GetTag();
  if (m_sorted && !m_entries.empty() && m_entries.back().tag == tag) {
    m_entries.back().element = std::move(element);
    return;
  }
  if (m_sorted && !m_entries.empty() && m_entries.back().tag > tag) m_sorted = false;
  m_entries.push_back(Entry{tag, std::move(element)});
}

void CElementMap::Normalize() const {
  if (m_sorted) return;
  std::stable_sort(m_entries.begin(), m_entries.end(), TagLess);
  // Of several entries with one tag the last inserted wins, as if each
  // insertion had replaced the one before.
  std::vector<Entry> kept;
  kept.reserve(m_entries.size());
  for (auto& entry : m_entries) {
    if (!kept.empty() && kept.back().tag == entry.tag) {
      kept.back().element = std::move(entry.element);
    } else {
      kept.push_back(std::move(entry));
    }
  }
  m_entries = std::move(kept);
  m_sorted = true;
}

CDicomElement* CElementMap::Find(DicomTag tag) const {
  Normalize();
  const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), tag,
                                   [](const Entry& e, DicomTag t) { return e.tag < t; });
  return it != m_entries.end() && it->tag == tag ? it->element.get() : nullptr;
}

std::unique_ptr<CDicomElement> CElementMap::Take(DicomTag tag) {
  Normalize();
  const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), tag,
                                   [](const Entry& e, DicomTag t) { return e.tag < t; });
  if (it == m_entries.end() || it->tag != tag) return nullptr;
  std::unique_ptr<CDicomElement> taken = std::move(it->element);
  m_entries.erase(it);
  return taken;
}

void CElementMap::Clear() {
  m_entries.clear();
  m_sorted = true;
}

size_t CElementMap::Size() const {
  Normalize();
  return m_entries.size();
}

const std::vector<CElementMap::Entry>& CElementMap::Sorted() const {
  Normalize();
  return m_entries;
}

}  // namespace quillon
