/// \file
/// GreyscaleDisplay — how the stored values of a grey image become what a
/// screen shows, as every viewer does it: the modality transform (Rescale
/// Slope and Intercept, or a Modality LUT Sequence) gives the values a
/// reader thinks in (Hounsfield units for CT), the window (or a VOI LUT
/// Sequence) picks the range shown, and Presentation LUT Shape INVERSE
/// turns it over. A file without any window is first shown over the
/// frame's own value range, so the anatomy is seen at once instead of a
/// flat grey.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class CDicomObject;

/// A lookup table of a LUT sequence item: the value mapped by entry 0, the
/// entries, and the bits an entry holds.
struct LookupTable {
  int32_t firstMapped = 0;
  uint32_t bits = 16;
  std::vector<uint16_t> entries;
  /// The entry for `value`, the first or last for values outside.
  uint16_t Map(int64_t value) const;
  uint32_t MaxOutput() const { return bits >= 32 ? UINT32_MAX : (uint32_t{1} << bits) - 1; }
};

/// A window in the values after the modality transform.
struct GreyWindow {
  double center = 0;
  double width = 1;
  bool operator==(const GreyWindow&) const = default;
};

/// A named window for CT (the usual brain, lung, bone and abdomen settings).
struct WindowPreset {
  const char* name;
  GreyWindow window;
};
inline constexpr std::array<WindowPreset, 4> kCtPresets = {{
    {"Brain", {40, 80}},
    {"Lung", {-600, 1500}},
    {"Bone", {400, 1800}},
    {"Abdomen", {50, 400}},
}};

/// What a data set says about showing its grey values.
struct GreyscaleSettings {
  double slope = 1;
  double intercept = 0;
  /// "HU" for CT, else Rescale Type, else empty.
  std::string unit;
  std::optional<LookupTable> modalityLut;
  std::optional<LookupTable> voiLut;
  /// The first Window Center / Width of the file.
  std::optional<GreyWindow> fileWindow;
  /// Presentation LUT Shape INVERSE.
  bool inverse = false;
  bool isCt = false;

  /// Reads the settings of `object` (its top level, and the first item of
  /// each LUT sequence).
  static GreyscaleSettings From(const CDicomObject& object);
  /// The modality value of stored value `stored`.
  double ToModality(int64_t stored) const;
};

/// The window that shows every value from `low` to `high` (modality
/// values): as wide as the range, centred on it (the same window the
/// `frame` command starts from).
GreyWindow WindowOverRange(double low, double high);

/// Maps a window to display levels 0…255 (0 black) as the standard's
/// linear function does, below the window black, above it white; for
/// whole values exactly as the codec's window does, so the view and the
/// `frame` command show the same picture.
uint8_t WindowLevel(double value, const GreyWindow& window);

/// A window typed as "centre width" ("40 400", "40, 400", "C 40 W 400");
/// nothing when it is not two numbers with a width of at least 1.
std::optional<GreyWindow> ParseWindowText(const std::string& text);

/// The 8-bit display level of every stored value from `lowest` to
/// `highest`, through the modality transform, then the window (or, with
/// `useVoiLut` and a VOI LUT, that table), then INVERSE. Indexed by
/// stored value − `lowest`.
std::vector<uint8_t> BuildDisplayTable(const GreyscaleSettings& settings, int64_t lowest, int64_t highest,
                                       const GreyWindow& window, bool useVoiLut);

}  // namespace quillon
