#include "app/TagInput.h"

#include "dicom/ElementRules.h"
#include "dicom/ValueRepresentation.h"

#include <cctype>

namespace quillon {

bool ParseTagField(const std::string& text, uint16_t& value) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  if (end == begin || end - begin > 4) return false;
  uint32_t result = 0;
  for (size_t i = begin; i < end; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!std::isxdigit(c)) return false;
    result = result * 16 + static_cast<uint32_t>(std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10);
  }
  value = static_cast<uint16_t>(result);
  return true;
}

bool ParseTypedTag(const std::string& groupText, const std::string& elementText, DicomTag& tag,
                   std::string& error) {
  uint16_t group = 0;
  uint16_t element = 0;
  if (!ParseTagField(groupText, group)) {
    error = "Enter the group of the tag as 1 to 4 hexadecimal digits (for example 0010).";
    return false;
  }
  if (!ParseTagField(elementText, element)) {
    error = "Enter the element of the tag as 1 to 4 hexadecimal digits (for example 0020).";
    return false;
  }
  tag = MakeTag(group, element);
  return true;
}

bool CheckTagPlacement(DicomTag tag, bool insideItem, bool asSequence, std::string& error) {
  if (tag == 0) {
    error = "(0000,0000) is not a tag an element can be stored under.";
    return false;
  }
  const Status allowed = CheckElementRules(tag, asSequence ? vr::SQ : vr::kUnknown, 0, false,
                                          insideItem ? ElementPlace::Item : ElementPlace::DataSet);
  error = allowed.Message();
  return static_cast<bool>(allowed);
}

}  // namespace quillon
