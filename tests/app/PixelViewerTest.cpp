// The pixel view's logic: stepping through frames (a frame that cannot be
// read changes nothing and says why), the first window, dragging at a speed
// that follows the value range, presets and reset, the value under the
// cursor, a header that disagrees with its pixel data, images too large
// to show, and the document changing under the view.
#include "app/PixelViewer.h"

#include "AppTestFiles.h"
#include "dicom/DicomFileWriter.h"
#include "support/DicomFiles.h"
#include "samples/SampleImages.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quillon::test {
using namespace quillon::samples;
namespace {

class PixelViewerTest : public ::testing::Test {
 protected:
  /// Writes `image` and opens it as a document (with or without reading
  /// its pixel data).
  CDicomImageDoc& Open(SampleImage image, bool readPixelData = true) {
    const std::string path = m_dir / image.name;
    EXPECT_TRUE(test::Succeeded(SaveDicomFile(*image.object, path)));
    m_document = std::make_unique<CDicomImageDoc>(readPixelData);
    EXPECT_TRUE(m_document->Open(path, m_ui));
    return *m_document;
  }

  TempDir m_dir{"pixelviewer"};
  CFakeUserInterface m_ui;
  std::unique_ptr<CDicomImageDoc> m_document;
};

TEST_F(PixelViewerTest, StepsThroughTheFramesAndCountsThemInThePane) {
  CPixelViewer viewer(Open(MakeGrey8Sample()));
  std::string error;
  ASSERT_TRUE(viewer.Open(error)) << error;
  EXPECT_EQ(viewer.FramePaneText(), "1/2");
  EXPECT_FALSE(viewer.CanPrev());
  const std::vector<uint8_t> first = viewer.Pixels();
  ASSERT_TRUE(viewer.Next(error));
  EXPECT_EQ(viewer.FramePaneText(), "2/2");
  EXPECT_FALSE(viewer.CanNext());
  EXPECT_NE(viewer.Pixels(), first);
  EXPECT_FALSE(viewer.Next(error));
  EXPECT_EQ(error, "There is no next frame.");
  ASSERT_TRUE(viewer.Prev(error));
  EXPECT_EQ(viewer.Pixels(), first);
  EXPECT_EQ(viewer.Width(), 192u);
  EXPECT_EQ(viewer.Pixels().size(), 192u * 192 * 3);
}

TEST_F(PixelViewerTest, AFrameThatCannotBeReadLeavesTheFrameAndItsNumber) {
  // Read without its pixel data, the document's frames come from its file,
  // which is then cut short in the middle of the first frame.
  CDicomImageDoc& document = Open(MakeGrey8Sample(), false);
  CPixelViewer viewer(document);
  std::string error;
  ASSERT_TRUE(viewer.Open(error)) << error;
  ASSERT_TRUE(viewer.Next(error));
  const std::vector<uint8_t> second = viewer.Pixels();
  std::filesystem::resize_file(document.Path(), std::filesystem::file_size(document.Path()) - 192 * 192 - 100);
  EXPECT_FALSE(viewer.Prev(error));
  EXPECT_EQ(error.rfind("Cannot read frame 1\n\n", 0), 0u) << error;
  EXPECT_NE(error.find("ends before it"), std::string::npos) << error;
  EXPECT_EQ(viewer.CurrentFrame(), 1);
  EXPECT_EQ(viewer.FramePaneText(), "2/2");
  EXPECT_EQ(viewer.Pixels(), second);
}

/// The lowest and highest value of the first frame of the CT sample (12
/// bits stored, signed, the bits above them noise).
std::pair<int32_t, int32_t> CtRange(const SampleImage& image) {
  uint32_t length = 0;
  const uint8_t* bytes = nullptr;
  EXPECT_EQ(image.object->GetValue(tags::kPixelData, length, &bytes), DicomStatus::Success);
  std::pair range{INT32_MAX, INT32_MIN};
  for (size_t i = 0; i < size_t{sample::kSize} * sample::kSize; ++i) {
    const int32_t raw = (bytes[2 * i] | (bytes[2 * i + 1] << 8)) & 0x0FFF;
    const int32_t value = raw >= 2048 ? raw - 4096 : raw;
    range = {std::min(range.first, value), std::max(range.second, value)};
  }
  return range;
}

TEST_F(PixelViewerTest, DraggingMovesTheWindowInProportionToTheValueRange) {
  SampleImage image = MakeCtSample();
  const auto [low, high] = CtRange(image);
  CPixelViewer viewer(Open(std::move(image)));
  std::string error;
  ASSERT_TRUE(viewer.Open(error)) << error;
  // The file's own soft-tissue window.
  EXPECT_EQ(viewer.Window(), (GreyWindow{40, 400}));
  EXPECT_EQ(viewer.WindowText(), "C 40  W 400 HU");
  const std::vector<uint8_t> before = viewer.Pixels();
  const double range = high - low + 1;
  const int across = static_cast<int>(CPixelViewer::kDragPixelsPerRange);
  EXPECT_FALSE(viewer.MouseMove(100, 100, false));  // a move without the button sets the start
  EXPECT_TRUE(viewer.MouseMove(100 + across / 4, 100 + across / 8, true));  // right, and down
  EXPECT_DOUBLE_EQ(viewer.Window().width, 400 + range / 4);
  EXPECT_DOUBLE_EQ(viewer.Window().center, 40 - range / 8);
  EXPECT_NE(viewer.Pixels(), before);
  // Far beyond: the width stays at least 1, the centre near the values
  // (negative for signed data).
  EXPECT_TRUE(viewer.MouseMove(-100000, 100000, true));
  EXPECT_EQ(viewer.Window().width, 1);
  EXPECT_LT(viewer.Window().center, low);
  EXPECT_GE(viewer.Window().center, low - range);
  ASSERT_TRUE(viewer.SetWindow(kCtPresets[1].window));
  EXPECT_EQ(viewer.WindowText(), "C -600  W 1500 HU");
  ASSERT_TRUE(viewer.ResetWindow());
  EXPECT_EQ(viewer.Pixels(), before);
}

// A CT without a window is first shown over its own values: the lowest
// black, the highest white, not a flat grey; the cursor reads the stored
// value and its rescaled value in HU.
TEST_F(PixelViewerTest, WithoutAWindowTheFirstPictureSpansTheValues) {
  SampleImage image = MakeCtSample();
  const auto [low, high] = CtRange(image);
  (void)image.object->RemoveElement(0x00281050);
  (void)image.object->RemoveElement(0x00281051);
  (void)image.object->RemoveElement(0x00281054);
  (void)image.object->AddString(0x00080060, vr::CS, "CT");
  (void)image.object->AddString(0x00281053, vr::DS, "2");
  (void)image.object->AddString(0x00281052, vr::DS, "-10");
  CPixelViewer viewer(Open(std::move(image)));
  std::string error;
  ASSERT_TRUE(viewer.Open(error)) << error;
  EXPECT_EQ(viewer.Window(), WindowOverRange(2.0 * low - 10, 2.0 * high - 10));
  const std::vector<uint8_t>& pixels = viewer.Pixels();
  EXPECT_EQ(*std::min_element(pixels.begin(), pixels.end()), 0);
  EXPECT_EQ(*std::max_element(pixels.begin(), pixels.end()), 255);
  // The corner is air: stored -1000.
  EXPECT_EQ(viewer.PixelInfo(0, 0), "Row 0  Col 0  Stored -1000  Value -2010 HU");
  EXPECT_EQ(viewer.PixelInfo(192, 0), "");
}

// 8-bit grey frames have no window: the cursor reads their stored value
// back through the grey palette they are drawn with (turned over for
// MONOCHROME1).
TEST_F(PixelViewerTest, TheCursorReadsTheStoredValueOf8BitGreyFrames) {
  for (SampleImage (*make)() : {&MakeGrey8Sample, &MakeMonochrome1Sample}) {
    SampleImage image = make();
    uint32_t length = 0;
    const uint8_t* bytes = nullptr;
    ASSERT_EQ(image.object->GetValue(tags::kPixelData, length, &bytes), DicomStatus::Success);
    const std::vector<uint8_t> stored(bytes, bytes + length);
    const std::string name = image.name;
    CPixelViewer viewer(Open(std::move(image)));
    std::string error;
    ASSERT_TRUE(viewer.Open(error)) << error;
    for (const auto& [column, row] : {std::pair{0, 0}, {100, 50}, {191, 191}, {37, 150}}) {
      const std::string expected = "Row " + std::to_string(row) + "  Col " + std::to_string(column) + "  Stored " +
                                   std::to_string(stored[static_cast<size_t>(row) * 192 + static_cast<size_t>(column)]);
      EXPECT_EQ(viewer.PixelInfo(column, row).rfind(expected + "  Value ", 0), 0u) << name << ": " << viewer.PixelInfo(column, row);
    }
  }
}

TEST_F(PixelViewerTest, AHeaderThatDisagreesWithItsPixelDataSaysSo) {
  SampleImage image = MakeCtSample();
  (void)image.object->AddUInt16(tags::kRows, vr::US, 200);
  CPixelViewer viewer(Open(std::move(image)));
  std::string error;
  ASSERT_TRUE(viewer.Open(error)) << error;
  EXPECT_NE(viewer.HeaderWarning().find("but the pixel data holds " + std::to_string(192 * 192 * 4) + " bytes"),
            std::string::npos)
      << viewer.HeaderWarning();
}

TEST_F(PixelViewerTest, AnImageTooLargeToShowIsRefusedBeforeAnythingIsAllocated) {
  SampleImage image = MakeGrey8Sample();
  (void)image.object->AddUInt16(tags::kRows, vr::US, 65535);
  (void)image.object->AddUInt16(tags::kColumns, vr::US, 65535);
  (void)image.object->AddString(tags::kNumberOfFrames, vr::IS, "100000");
  CPixelViewer viewer(Open(std::move(image)));
  std::string error;
  EXPECT_FALSE(viewer.Open(error));
  EXPECT_EQ(error, "Cannot read image data\n\nA frame of 65535 x 65535 pixels is too large to show.");
}

TEST_F(PixelViewerTest, TheViewFollowsTheDocumentWhenItsPixelDataChanges) {
  CDicomImageDoc& document = Open(MakeRgbSample());
  CPixelViewer viewer(document);
  std::string error;
  ASSERT_TRUE(viewer.Open(error)) << error;
  int changes = 0;
  viewer.onChanged = [&] { ++changes; };
  // The pixel data the view reads goes away (and comes back): the view
  // lets go of it first, and finds it again.
  document.DeleteAll();
  EXPECT_TRUE(viewer.Pixels().empty());
  document.Undo();
  EXPECT_EQ(viewer.Pixels().size(), 192u * 192 * 3);
  EXPECT_EQ(changes, 2);
}

}  // namespace
}  // namespace quillon::test
