#include "dicom/FrameFragments.h"

#include "base/ByteOrder.h"
#include "dicom/DicomObject.h"

#include <algorithm>
#include <string>

namespace quillon {

namespace {

/// The spans the offset table gives, or none when it does not describe
/// `frames` frames starting at fragment boundaries.
std::vector<FrameSpan> SpansFromOffsets(const std::vector<FragmentInfo>& fragments,
                                        const std::vector<uint64_t>& offsets, uint64_t frames) {
  if (offsets.size() != frames || offsets.front() != 0) return {};
  std::vector<size_t> starts;
  starts.reserve(offsets.size());
  size_t fragment = 0;
  for (size_t i = 0; i < offsets.size(); ++i) {
    if (i > 0 && offsets[i] <= offsets[i - 1]) return {};
    // Fragments are in ascending offset order: find this frame's first one
    // from where the last frame started.
    while (fragment < fragments.size() && fragments[fragment].offset < offsets[i]) ++fragment;
    if (fragment == fragments.size() || fragments[fragment].offset != offsets[i]) return {};
    starts.push_back(fragment);
  }
  std::vector<FrameSpan> spans(starts.size());
  for (size_t i = 0; i < starts.size(); ++i) {
    const size_t end = i + 1 < starts.size() ? starts[i + 1] : fragments.size();
    spans[i] = {starts[i], end - starts[i]};
  }
  return spans;
}

/// One frame per fragment ending with the end marker; none when that does
/// not give `frames` frames.
std::vector<FrameSpan> SpansFromEndMarkers(const std::vector<FragmentInfo>& fragments, uint64_t frames) {
  std::vector<FrameSpan> spans;
  size_t first = 0;
  for (size_t i = 0; i < fragments.size(); ++i) {
    if (!fragments[i].endsWithEndMarker) continue;
    spans.push_back({first, i + 1 - first});
    first = i + 1;
  }
  if (first != fragments.size() || spans.size() != frames) return {};
  return spans;
}

}  // namespace

std::vector<uint64_t> ExtendedOffsetTable(const CDicomObject& object) {
  constexpr DicomTag kExtendedOffsetTable = 0x7FE00001;
  std::vector<uint64_t> offsets;
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  if (object.GetValue(kExtendedOffsetTable, length, &value) != DicomStatus::Success || value == nullptr ||
      length % 8 != 0) {
    return offsets;
  }
  offsets.reserve(length / 8);
  // Values are held little endian.
  for (uint32_t at = 0; at < length; at += 8) offsets.push_back(LoadU32(value + at, false) | (uint64_t{LoadU32(value + at + 4, false)} << 32));
  return offsets;
}

bool EndsWithEndMarker(const uint8_t* data, uint64_t length) {
  if (length >= 2 && data[length - 2] == 0xFF && data[length - 1] == 0xD9) return true;
  return length >= 3 && data[length - 1] == 0 && data[length - 3] == 0xFF && data[length - 2] == 0xD9;
}

Result<std::vector<FrameSpan>> MapFramesToFragments(const std::vector<FragmentInfo>& fragments,
                                                    const std::vector<uint64_t>& offsetTable, uint64_t frames) {
  if (fragments.empty()) return Error(ErrorCode::Malformed, "the compressed pixel data holds no fragment");
  frames = std::max<uint64_t>(frames, 1);
  if (frames == 1) return std::vector<FrameSpan>{{0, fragments.size()}};
  if (std::vector<FrameSpan> spans = SpansFromOffsets(fragments, offsetTable, frames); !spans.empty()) return spans;
  if (fragments.size() <= frames) {
    std::vector<FrameSpan> spans(fragments.size());
    for (size_t i = 0; i < spans.size(); ++i) spans[i] = {i, 1};
    return spans;
  }
  if (std::vector<FrameSpan> spans = SpansFromEndMarkers(fragments, frames); !spans.empty()) return spans;
  return Error(ErrorCode::Malformed, "the compressed pixel data holds " + std::to_string(fragments.size()) +
                                         " fragments for " + std::to_string(frames) +
                                         " frames, and neither an offset table nor the frames' end markers tell "
                                         "which fragments belong to which frame");
}

}  // namespace quillon
