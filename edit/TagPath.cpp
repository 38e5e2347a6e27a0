#include "edit/TagPath.h"

#include <charconv>

namespace quillon {

namespace {

Error Refuse(std::string_view path, const std::string& why) {
  return Error(ErrorCode::Failure, "tag path \"" + std::string(path) + "\": " + why);
}

bool ParseHex(std::string_view text, uint32_t& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

Result<DicomTag> ParseTag(std::string_view text) {
  std::string_view inner = text;
  if (inner.size() >= 2 && inner.front() == '(' && inner.back() == ')') inner = inner.substr(1, inner.size() - 2);
  uint32_t group = 0;
  uint32_t element = 0;
  const std::size_t comma = inner.find(',');
  const bool read = comma == std::string_view::npos
                        ? inner.size() == 8 && ParseHex(inner.substr(0, 4), group) && ParseHex(inner.substr(4), element)
                        : comma == 4 && inner.size() == 9 && ParseHex(inner.substr(0, 4), group) &&
                              ParseHex(inner.substr(5), element);
  if (!read) {
    return Error(ErrorCode::Failure,
                 "\"" + std::string(text) + "\" is not a tag: write it (gggg,eeee) with four hexadecimal digits each");
  }
  return MakeTag(static_cast<uint16_t>(group), static_cast<uint16_t>(element));
}

Result<TagPath> ParseTagPath(std::string_view text) {
  TagPath path;
  path.text = std::string(text);
  std::string_view rest = text;
  if (rest.empty()) return Refuse(text, "empty");
  for (;;) {
    const std::size_t dot = rest.find('.');
    std::string_view step = rest.substr(0, dot);
    TagPathStep parsed;
    if (const std::size_t bracket = step.find('['); bracket != std::string_view::npos) {
      const std::string_view index = step.substr(bracket);
      if (index.size() < 3 || index.back() != ']') return Refuse(text, "\"" + std::string(index) + "\" is no item");
      const std::string_view inside = index.substr(1, index.size() - 2);
      if (inside == "*") {
        parsed.items = TagPathStep::Items::All;
      } else {
        const auto [end, error] = std::from_chars(inside.data(), inside.data() + inside.size(), parsed.index);
        if (error != std::errc() || end != inside.data() + inside.size()) {
          return Refuse(text, "\"" + std::string(index) + "\": an item is [n], counted from 0, or [*]");
        }
        parsed.items = TagPathStep::Items::One;
      }
      step = step.substr(0, bracket);
    }
    Result<DicomTag> tag = ParseTag(step);
    if (!tag) return Refuse(text, tag.Message());
    parsed.tag = *tag;
    path.steps.push_back(parsed);
    if (dot == std::string_view::npos) break;
    if (parsed.items == TagPathStep::Items::None) {
      return Refuse(text, "\"" + std::string(step) + "\" leads further, so it needs an item: [n] or [*]");
    }
    rest.remove_prefix(dot + 1);
  }
  return path;
}

}  // namespace quillon
