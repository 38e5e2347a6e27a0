// Grouping the fragments of an encapsulated value into frames: one table of
// layouts as writers store them, each with the frames expected or the
// refusal.
#include "dicom/FrameFragments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace quillon;

namespace {

// Fragments of the given lengths, laid out one after another as items (8
// bytes of header each); those listed in `ends` end with FF D9.
std::vector<FragmentInfo> Fragments(const std::vector<uint32_t>& lengths, const std::vector<size_t>& ends) {
  std::vector<FragmentInfo> fragments;
  uint64_t offset = 0;
  for (size_t i = 0; i < lengths.size(); ++i) {
    const bool end = std::find(ends.begin(), ends.end(), i) != ends.end();
    fragments.push_back({offset, lengths[i], end});
    offset += 8 + lengths[i];
  }
  return fragments;
}

// "first+count first+count ...", or "refused".
std::string Describe(const Result<std::vector<FrameSpan>>& spans) {
  if (!spans) return "refused";
  std::string text;
  for (const FrameSpan& span : *spans) text += (text.empty() ? "" : " ") + std::to_string(span.first) + "+" + std::to_string(span.count);
  return text;
}

}  // namespace

TEST(FrameFragments, GroupsFragmentsAsTheValueDescribes) {
  const struct {
    const char* name;
    std::vector<uint32_t> lengths;
    std::vector<size_t> ends;
    std::vector<uint64_t> offsets;
    uint64_t frames;
    const char* expected;
  } cases[] = {
      {"one per frame", {10, 20, 30}, {}, {}, 3, "0+1 1+1 2+1"},
      {"one frame, several fragments", {10, 20, 30}, {}, {}, 1, "0+3"},
      {"offset table", {10, 20, 30, 40}, {}, {0, 18 + 28}, 2, "0+2 2+2"},
      {"offset table beats end markers", {10, 20, 30, 40}, {0, 1, 2, 3}, {0, 18}, 2, "0+1 1+3"},
      {"end markers", {10, 20, 30, 40}, {1, 3}, {}, 2, "0+2 2+2"},
      {"offsets off a fragment start: end markers", {10, 20, 30, 40}, {0, 3}, {0, 19}, 2, "0+1 1+3"},
      {"offsets not ascending", {10, 20, 30, 40}, {}, {0, 0}, 2, "refused"},
      {"table of another frame count", {10, 20, 30, 40}, {}, {0, 18, 46}, 2, "refused"},
      {"end markers that do not add up", {10, 20, 30, 40}, {0, 1, 2}, {}, 2, "refused"},
      {"last fragment not closed", {10, 20, 30}, {0}, {}, 2, "refused"},
      {"fewer fragments than frames", {10, 20}, {}, {}, 4, "0+1 1+1"},
      {"no fragment", {}, {}, {}, 1, "refused"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Describe(MapFramesToFragments(Fragments(c.lengths, c.ends), c.offsets, c.frames)), c.expected)
        << c.name;
  }
}

TEST(FrameFragments, EndMarkerMayBeFollowedByOnePadByte) {
  const struct {
    std::vector<uint8_t> bytes;
    bool ends;
  } cases[] = {{{1, 0xFF, 0xD9}, true}, {{0xFF, 0xD9, 0}, true}, {{0xFF, 0xD9, 0, 0}, false},
               {{0xD9, 0xFF}, false},   {{0xD9}, false},          {{0xFF, 0xD9, 1}, false}};
  for (const auto& c : cases) EXPECT_EQ(EndsWithEndMarker(c.bytes.data(), c.bytes.size()), c.ends);
}
