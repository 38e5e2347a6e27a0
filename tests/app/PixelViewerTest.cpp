// The pixel view's logic: stepping through frames (a frame that cannot be
// read changes nothing), the window and its limits, images too large to
// show, and the document changing under the view.
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
  EXPECT_EQ(error, "Cannot read next frame");
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
  EXPECT_EQ(error, "Cannot read next frame");
  EXPECT_EQ(viewer.CurrentFrame(), 1);
  EXPECT_EQ(viewer.FramePaneText(), "2/2");
  EXPECT_EQ(viewer.Pixels(), second);
}

TEST_F(PixelViewerTest, DraggingChangesTheWindowWithinItsLimits) {
  CPixelViewer viewer(Open(MakeCtSample()));
  std::string error;
  ASSERT_TRUE(viewer.Open(error)) << error;
  // The file's own soft-tissue window, in stored values (slope 1, intercept 0).
  EXPECT_EQ(viewer.WindowWidth(), 400);
  EXPECT_EQ(viewer.WindowCenter(), 40);
  const std::vector<uint8_t> before = viewer.Pixels();
  EXPECT_FALSE(viewer.MouseMove(100, 100, false));  // a move without the button sets the start
  EXPECT_TRUE(viewer.MouseMove(110, 95, true));      // right 10, up 5
  EXPECT_EQ(viewer.WindowWidth(), 500);
  EXPECT_EQ(viewer.WindowCenter(), 90);
  EXPECT_NE(viewer.Pixels(), before);
  EXPECT_TRUE(viewer.MouseMove(0, 10000, true));
  EXPECT_EQ(viewer.WindowWidth(), 0);
  // Signed samples: the centre can go below zero (a lung window), as far as
  // the samples go.
  EXPECT_EQ(viewer.WindowCenter(), -32768);
  EXPECT_TRUE(viewer.MouseMove(100000, -100000, true));
  EXPECT_EQ(viewer.WindowWidth(), 65535);
  EXPECT_EQ(viewer.WindowCenter(), 32767);
}

TEST_F(PixelViewerTest, AnImageTooLargeToShowIsRefusedBeforeAnythingIsAllocated) {
  SampleImage image = MakeGrey8Sample();
  (void)image.object->AddUInt16(tags::kRows, vr::US, 65535);
  (void)image.object->AddUInt16(tags::kColumns, vr::US, 65535);
  (void)image.object->AddString(tags::kNumberOfFrames, vr::IS, "100000");
  CPixelViewer viewer(Open(std::move(image)));
  std::string error;
  EXPECT_FALSE(viewer.Open(error));
  EXPECT_EQ(error, "Cannot read image data");
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
