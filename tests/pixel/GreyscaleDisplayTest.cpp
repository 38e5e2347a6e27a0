// How grey values reach the screen: the window matches the codec's (so the
// view and the `frame` command agree) and the codec leaves the values it
// windowed; rescale, LUT sequences and INVERSE read from a data set; a
// window over a range spans it; typed windows.
#include "pixel/GreyscaleDisplay.h"

#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "pixel/PixelCodec.h"
#include "support/StatusAssertions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace quillon::test {
namespace {

// Every signed 16-bit value through random windows: the display level is
// the codec's, and the value the codec hands over is the stored one.
TEST(GreyscaleDisplay, WindowLevelIsTheCodecsWindowAndTheCodecLeavesItsValues) {
  CPixelCodec codec("MONOCHROME2", 256, 256, 2, 16, 16, 0);
  codec.SetSampleLayout(15, true);
  std::vector<uint8_t> stored(65536 * 2);
  for (size_t i = 0; i < 65536; ++i) {
    stored[2 * i] = static_cast<uint8_t>(i);
    stored[2 * i + 1] = static_cast<uint8_t>(i >> 8);
  }
  std::vector<int32_t> values;
  codec.SetSampleSink(&values);
  std::vector<uint8_t> bitmap(65536);
  std::mt19937 random(3);
  for (int round = 0; round < 12; ++round) {
    const int32_t width = round == 0 ? 2 : static_cast<int32_t>(random() % 5000) + 2;
    const int32_t center = static_cast<int32_t>(random() % 6000) - 3000;
    codec.SetWindow(width, center);
    ASSERT_TRUE(codec.Decompress(stored.data(), stored.size(), bitmap.data()));
    ASSERT_EQ(values.size(), 65536u);
    for (size_t i = 0; i < 65536; ++i) {
      const int32_t value = static_cast<int16_t>(i);
      ASSERT_EQ(values[i], value);
      ASSERT_EQ(WindowLevel(value, {double(center), double(width)}), bitmap[(255 - i / 256) * 256 + i % 256])
          << "value " << value << ", window " << center << "/" << width;
    }
  }
}

TEST(GreyscaleDisplay, AWindowOverARangeShowsItFromBlackToWhite) {
  for (const auto& [low, high] : {std::pair{-1000.0, 1000.0}, {0.0, 255.0}, {-2048.0, 3071.0}, {7.0, 20.0}}) {
    const GreyWindow window = WindowOverRange(high, low);
    EXPECT_EQ(WindowLevel(low, window), 0) << low;
    EXPECT_EQ(WindowLevel(high, window), 255) << high;
    EXPECT_GT(WindowLevel((low + high) / 2, window), 0);
    EXPECT_LT(WindowLevel((low + high) / 2, window), 255);
  }
}

/// A LUT sequence of one item: descriptor (entries, first value, bits) and data.
void AddLut(CDicomObject& object, DicomTag tag, std::vector<uint16_t> descriptor, std::vector<uint16_t> data) {
  auto item = std::make_unique<CSequenceItem>();
  (void)item->AddValue(0x00283002, vr::US, descriptor.data(), static_cast<uint32_t>(descriptor.size() * 2));
  (void)item->AddValue(0x00283006, vr::OW, data.data(), static_cast<uint32_t>(data.size() * 2));
  auto sequence = std::make_unique<CDicomSequence>(tag);
  sequence->SetVR(vr::SQ);
  sequence->AppendItem(std::move(item));
  ASSERT_TRUE(Succeeded(object.AddSequence(std::move(sequence))));
}

TEST(GreyscaleDisplay, SettingsComeFromRescaleLutsAndShape) {
  CDicomObject ct;
  (void)ct.AddString(0x00080060, vr::CS, "CT");
  (void)ct.AddString(0x00281052, vr::DS, "-1024");
  (void)ct.AddString(0x00281053, vr::DS, "2");
  GreyscaleSettings settings = GreyscaleSettings::From(ct);
  EXPECT_EQ(settings.unit, "HU");
  EXPECT_DOUBLE_EQ(settings.ToModality(100), -824);
  EXPECT_FALSE(settings.fileWindow.has_value());

  CDicomObject lut;
  (void)lut.AddString(0x00281054, vr::LO, "OD");
  (void)lut.AddString(0x20500020, vr::CS, "INVERSE");
  AddLut(lut, 0x00283000, {4, 10, 16}, {500, 600, 601, 602});
  AddLut(lut, 0x00283010, {3, 600, 8}, {0, 128, 255});
  settings = GreyscaleSettings::From(lut);
  EXPECT_EQ(settings.unit, "OD");
  for (const auto& [stored, modality] : {std::pair{0, 500}, {10, 500}, {11, 600}, {13, 602}, {99, 602}}) {
    EXPECT_DOUBLE_EQ(settings.ToModality(stored), modality) << stored;
  }
  // Stored 10…13 → 500, 600, 601, 602 → VOI 0 (below the table), 0, 128,
  // 255 → inverted.
  EXPECT_EQ(BuildDisplayTable(settings, 10, 13, {}, true), (std::vector<uint8_t>{255, 255, 127, 0}));
  // Without the VOI LUT the window is used, still inverted.
  const std::vector<uint8_t> windowed = BuildDisplayTable(settings, 10, 13, WindowOverRange(500, 602), false);
  EXPECT_GE(windowed.front(), 250);
  EXPECT_EQ(windowed.back(), 0);
  EXPECT_TRUE(std::is_sorted(windowed.rbegin(), windowed.rend()));
}

TEST(GreyscaleDisplay, TypedWindows) {
  const struct {
    const char* text;
    std::optional<GreyWindow> window;
  } cases[] = {{"40 400", GreyWindow{40, 400}},     {"-600, 1500", GreyWindow{-600, 1500}},
               {"C 40 W 400", GreyWindow{40, 400}}, {" 2.5\t10 ", GreyWindow{2.5, 10}},
               {"40", std::nullopt},                {"40 0", std::nullopt},
               {"40 400 7", std::nullopt},          {"", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(ParseWindowText(c.text), c.window) << c.text;
}

}  // namespace
}  // namespace quillon::test
