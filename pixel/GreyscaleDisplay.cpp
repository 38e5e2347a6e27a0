#include "pixel/GreyscaleDisplay.h"

#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace quillon {

namespace {

constexpr DicomTag kModalityLutSequence = 0x00283000;
constexpr DicomTag kVoiLutSequence = 0x00283010;
constexpr DicomTag kLutDescriptor = 0x00283002;
constexpr DicomTag kLutData = 0x00283006;
constexpr DicomTag kWindowCenter = 0x00281050;
constexpr DicomTag kWindowWidth = 0x00281051;
constexpr DicomTag kRescaleIntercept = 0x00281052;
constexpr DicomTag kRescaleSlope = 0x00281053;
constexpr DicomTag kRescaleType = 0x00281054;
constexpr DicomTag kModality = 0x00080060;
constexpr DicomTag kPresentationLutShape = 0x20500020;

/// The first of the decimal values of `tag` (several may be given).
std::optional<double> FirstNumber(const CDicomObject& object, DicomTag tag) {
  std::string text;
  if (object.GetString(tag, text) != DicomStatus::Success || text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string Trimmed(const CDicomObject& object, DicomTag tag) {
  std::string text;
  (void)object.GetString(tag, text);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  return text;
}

/// The table of the first item of `sequence`, when its descriptor and
/// data agree.
std::optional<LookupTable> ReadLut(const CDicomObject& object, DicomTag sequenceTag) {
  CDicomSequence* sequence = nullptr;
  if (object.GetSequence(sequenceTag, &sequence) != DicomStatus::Success || sequence == nullptr ||
      sequence->GetItemCount() == 0 || sequence->GetItem(0) == nullptr) {
    return std::nullopt;
  }
  const CSequenceItem& item = *sequence->GetItem(0);
  uint32_t length = 0;
  const uint8_t* descriptor = nullptr;
  const uint8_t* data = nullptr;
  uint32_t dataLength = 0;
  if (item.GetValue(kLutDescriptor, length, &descriptor) != DicomStatus::Success || length < 6 ||
      item.GetValue(kLutData, dataLength, &data) != DicomStatus::Success || data == nullptr) {
    return std::nullopt;
  }
  const auto word = [](const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); };
  LookupTable table;
  const uint32_t count = word(descriptor) == 0 ? 65536 : word(descriptor);
  // The first value mapped is signed exactly when the pixels are; a value
  // above 32767 in a table of signed data reads as negative.
  table.firstMapped = static_cast<int16_t>(word(descriptor + 2));
  table.bits = std::clamp<uint32_t>(word(descriptor + 4), 1, 16);
  if (dataLength / 2 < count) return std::nullopt;
  table.entries.resize(count);
  for (uint32_t i = 0; i < count; ++i) table.entries[i] = word(data + 2 * i);
  return table;
}

}  // namespace

uint16_t LookupTable::Map(int64_t value) const {
  if (entries.empty()) return 0;
  const int64_t index = std::clamp<int64_t>(value - firstMapped, 0, static_cast<int64_t>(entries.size()) - 1);
  return entries[static_cast<size_t>(index)];
}

GreyscaleSettings GreyscaleSettings::From(const CDicomObject& object) {
  GreyscaleSettings settings;
  settings.slope = FirstNumber(object, kRescaleSlope).value_or(1);
  if (settings.slope == 0) settings.slope = 1;
  settings.intercept = FirstNumber(object, kRescaleIntercept).value_or(0);
  settings.isCt = Trimmed(object, kModality) == "CT";
  settings.unit = Trimmed(object, kRescaleType);
  if (settings.unit.empty() && settings.isCt) settings.unit = "HU";
  settings.modalityLut = ReadLut(object, kModalityLutSequence);
  settings.voiLut = ReadLut(object, kVoiLutSequence);
  const std::optional<double> center = FirstNumber(object, kWindowCenter);
  const std::optional<double> width = FirstNumber(object, kWindowWidth);
  if (center && width && *width >= 1) settings.fileWindow = GreyWindow{*center, *width};
  settings.inverse = Trimmed(object, kPresentationLutShape) == "INVERSE";
  return settings;
}

double GreyscaleSettings::ToModality(int64_t stored) const {
  if (modalityLut) return modalityLut->Map(stored);
  return static_cast<double>(stored) * slope + intercept;
}

GreyWindow WindowOverRange(double low, double high) {
  if (high < low) std::swap(low, high);
  const double width = high - low + 1;
  return {low + std::floor(width / 2), width};
}

uint8_t WindowLevel(double value, const GreyWindow& window) {
  // The standard's linear window: values up to c − 0.5 − (w − 1)/2 are
  // black, from c − 0.5 + (w − 1)/2 on white, truncated as the codec's
  // integer window table is.
  const double c = window.center;
  const double w = window.width;
  const double low = std::trunc(c - 0.5 - (w - 1) / 2);
  const double high = std::trunc(c - 0.5 + (w - 1) / 2);
  const double divisor = std::trunc(w - 1);
  if (value < low + 1) return 0;
  if (divisor <= 0 || value >= high) return 255;
  const double level = std::trunc((255 * value - std::trunc((c - 0.5) * 255)) / divisor) + 127;
  return static_cast<uint8_t>(std::clamp(level, 0.0, 255.0));
}

std::optional<GreyWindow> ParseWindowText(const std::string& text) {
  std::string numbers;
  for (const char c : text) numbers.push_back(c == ',' || c == ';' || std::isalpha(static_cast<unsigned char>(c)) ? ' ' : c);
  char* end = nullptr;
  const double center = std::strtod(numbers.c_str(), &end);
  if (end == numbers.c_str()) return std::nullopt;
  const char* rest = end;
  const double width = std::strtod(rest, &end);
  if (end == rest || !std::isfinite(center) || !std::isfinite(width) || width < 1) return std::nullopt;
  for (; *end != '\0'; ++end) {
    if (*end != ' ' && *end != '\t') return std::nullopt;
  }
  return GreyWindow{center, width};
}

std::vector<uint8_t> BuildDisplayTable(const GreyscaleSettings& settings, int64_t lowest, int64_t highest,
                                       const GreyWindow& window, bool useVoiLut) {
  std::vector<uint8_t> table(static_cast<size_t>(std::max<int64_t>(0, highest - lowest + 1)));
  const bool voi = useVoiLut && settings.voiLut.has_value();
  const double voiScale = voi ? 255.0 / settings.voiLut->MaxOutput() : 0;
  for (size_t i = 0; i < table.size(); ++i) {
    const double modality = settings.ToModality(lowest + static_cast<int64_t>(i));
    uint8_t level = voi ? static_cast<uint8_t>(std::lround(settings.voiLut->Map(std::llround(modality)) * voiScale))
                        : WindowLevel(modality, window);
    if (settings.inverse) level = static_cast<uint8_t>(255 - level);
    table[i] = level;
  }
  return table;
}

}  // namespace quillon
