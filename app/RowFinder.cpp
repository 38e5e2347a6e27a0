#include "app/RowFinder.h"

#include "app/DumpRowList.h"
#include "app/TagInput.h"
#include "dicom/DicomElement.h"

#include <algorithm>
#include <cctype>

namespace quillon {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

bool RowMatches(const DumpRowList& rows, size_t index, const FindQuery& query) {
  if (query.tag) {
    const CDicomElement* element = rows.ElementAt(index);
    return element != nullptr && element->GetTag() == *query.tag;
  }
  return Lower(rows.DisplayText(index)).find(query.text) != std::string::npos;
}

FindQuery FindQuery::Parse(const std::string& typed) {
  FindQuery query;
  query.text = Lower(typed);
  std::string inner = typed;
  inner.erase(0, inner.find_first_not_of(" \t"));
  inner.erase(inner.find_last_not_of(" \t") + 1);
  if (inner.size() >= 2 && inner.front() == '(' && inner.back() == ')') inner = inner.substr(1, inner.size() - 2);
  const size_t comma = inner.find(',');
  DicomTag tag = 0;
  std::string ignored;
  if (comma != std::string::npos && comma == 4 && inner.size() == 9 &&
      ParseTypedTag(inner.substr(0, comma), inner.substr(comma + 1), tag, ignored)) {
    query.tag = tag;
  }
  return query;
}

int FindNextRow(const DumpRowList& rows, int start, const FindQuery& query) {
  const size_t count = rows.Size();
  if (count == 0 || (!query.tag && query.text.empty())) return -1;
  const size_t first = start < 0 || static_cast<size_t>(start) >= count ? 0 : static_cast<size_t>(start) + 1;
  for (size_t step = 0; step < count; ++step) {
    const size_t index = (first + step) % count;
    if (RowMatches(rows, index, query)) return static_cast<int>(index);
  }
  return -1;
}

int FindPreviousRow(const DumpRowList& rows, int start, const FindQuery& query) {
  const size_t count = rows.Size();
  if (count == 0 || (!query.tag && query.text.empty())) return -1;
  const size_t first = start <= 0 || static_cast<size_t>(start) > count ? count - 1 : static_cast<size_t>(start) - 1;
  for (size_t step = 0; step < count; ++step) {
    const size_t index = (first + count - step) % count;
    if (RowMatches(rows, index, query)) return static_cast<int>(index);
  }
  return -1;
}

}  // namespace quillon
