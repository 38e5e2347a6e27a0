// The pixel view and the pixel commands, headless: each kind of image is
// shown exactly as `quillon-cli frame` renders it, frames are stepped from
// the menu, and Compress, Decompress and Compare run from their commands
// (checked with DCMTK and our own comparison).
#include "app/qt/PixelDataView.h"

#include "app/AppTestFiles.h"
#include "app/QuillonApp.h"
#include "app/qt/ChildFrame.h"
#include "app/qt/MainFrame.h"
#include "app/qt/SelectFormatDlgWindow.h"
#include "base/FileSettingsStore.h"
#include "support/DicomFiles.h"
#include "samples/SampleImages.h"
#include "dicom/DicomFileWriter.h"
#include "pixel/PixelDataConverter.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace quillon::test {
using namespace quillon::samples;
namespace {

class PixelViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (SampleImage& image : MakeSampleImages()) {
      ASSERT_TRUE(test::Succeeded(SaveDicomFile(*image.object, m_dir / image.name)));
    }
    // The colour image also compressed and as YBR_FULL by plane.
    for (const auto& [name, mode] : std::vector<std::pair<std::string, ConversionMode>>{
             {"rgb-rle.dcm", ConversionMode::Rle},
             {"rgb-jpeg.dcm", ConversionMode::JpegLossy},
             {"rgb-ybr.dcm", ConversionMode::YbrFull}}) {
      ASSERT_EQ(ConvertPixelDataFile(ConversionOptions{}, m_dir / "rgb.dcm", m_dir / name, mode, false),
                DCT_STATUS::Success);
    }
    m_window.resize(900, 700);
    m_window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
  }
  CPixelDataView* ShowPixels(const std::string& name) {
    if (!m_window.OpenFile(QString::fromStdString(m_dir / name))) return nullptr;
    m_window.Execute(CommandId::ShowPixelData);
    QApplication::processEvents();
    return m_window.ActivePixelView();
  }
  QString FramePane() { return m_window.findChild<QLabel*>("framePane")->text(); }

  TempDir m_dir{"pixelview"};
  CFileSettingsStore m_settings{m_dir.Path() / "settings.ini"};
  CQuillonApp m_app{m_settings};
  CFakeUserInterface m_ui;
  CMainFrame m_window{m_app, &m_ui};
};

TEST_F(PixelViewTest, EveryKindOfImageIsShownAsTheFrameCommandRendersIt) {
  for (const std::string name : {"grey8.dcm", "ct16.dcm", "mono1.dcm", "palette.dcm", "rgb.dcm", "rgb-rle.dcm",
                                 "rgb-jpeg.dcm", "rgb-ybr.dcm"}) {
    CPixelDataView* view = ShowPixels(name);
    ASSERT_NE(view, nullptr) << name << ": " << m_ui.TakeMessages();
    EXPECT_EQ(m_window.ActiveFrame()->windowTitle().toStdString(), name + " [Pixel Data][*]");
    const std::string png = m_dir / (name + ".png");
    const CommandResult frame = RunShell(std::string(QUILLON_CLI_PATH) + " frame " + (m_dir / name) + " " + png);
    ASSERT_EQ(frame.exitCode, 0) << frame.err;
    const QImage expected = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
    // What the window shows: the view's own picture, grabbed from the screen.
    const QImage shown = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_GE(shown.width(), expected.width()) << name;
    ASSERT_GE(shown.height(), expected.height()) << name;
    EXPECT_EQ(shown.copy(0, 0, expected.width(), expected.height()), expected) << name;
    // Saved as PNG from the view, the frame is the same picture again.
    QString error;
    ASSERT_TRUE(view->SaveFrame(QString::fromStdString(png + ".view.png"), error)) << error.toStdString();
    EXPECT_EQ(QImage(QString::fromStdString(png + ".view.png")).convertToFormat(QImage::Format_RGB32), expected);
    // Black around the image.
    if (shown.width() > expected.width()) {
      EXPECT_EQ(shown.pixel(shown.width() - 1, 0), qRgb(0, 0, 0)) << name;
    }
  }
}

TEST_F(PixelViewTest, FramesAreSteppedFromTheMenusAndCountedInThePane) {
  ASSERT_NE(ShowPixels("grey8.dcm"), nullptr);
  EXPECT_EQ(FramePane(), "1/2");
  EXPECT_TRUE(m_window.Action(CommandId::NextFrame)->isEnabled());
  EXPECT_FALSE(m_window.Action(CommandId::PrevFrame)->isEnabled());
  m_window.Execute(CommandId::NextFrame);
  EXPECT_EQ(FramePane(), "2/2");
  EXPECT_FALSE(m_window.Action(CommandId::NextFrame)->isEnabled());
  EXPECT_TRUE(m_window.Action(CommandId::PrevFrame)->isEnabled());
  // The element list has no frames: the pane is empty there.
  for (QMdiSubWindow* window : m_window.MdiArea()->subWindowList()) {
    if (!qobject_cast<CChildFrame*>(window)->IsPixelView()) m_window.MdiArea()->setActiveSubWindow(window);
  }
  EXPECT_EQ(FramePane(), "");
}

// The keys on the widget, read in the panes the user sees. The frame pane
// once lagged a frame behind the keys and cine; 200% once drew the
// 192-pixel frame 385 pixels wide.
TEST_F(PixelViewTest, KeysStepTheFramesZoomAndPlay) {
  CPixelDataView* view = ShowPixels("grey8.dcm");
  ASSERT_NE(view, nullptr) << m_ui.TakeMessages();
  const std::pair<Qt::Key, const char*> steps[] = {
      {Qt::Key_Right, "2/2"},  {Qt::Key_Right, "2/2"},  {Qt::Key_Home, "1/2"},  {Qt::Key_PageDown, "2/2"},
      {Qt::Key_PageUp, "1/2"}, {Qt::Key_End, "2/2"},    {Qt::Key_Left, "1/2"},  {Qt::Key_Plus, "141%"},
      {Qt::Key_Minus, "100%"}, {Qt::Key_Minus, "71%"},  {Qt::Key_1, "100%"},    {Qt::Key_Plus, "141%"},
      {Qt::Key_Plus, "200%"}};
  for (const auto& [key, shown] : steps) {
    QTest::keyClick(view, key);
    const char* pane = QString(shown).endsWith('%') ? "zoomPane" : "framePane";
    EXPECT_EQ(m_window.findChild<QLabel*>(pane)->text(), shown) << QTest::toString(key);
  }
  EXPECT_EQ(view->horizontalScrollBar()->maximum() + view->viewport()->width(), 2 * sample::kSize);
  QTest::keyClick(view, Qt::Key_Space);  // cine: the timer steps round past the last frame
  QStringList seen{FramePane()};
  for (int waited = 0; waited < 5000 && seen.size() < 3; waited += 10) {
    QTest::qWait(10);
    if (FramePane() != seen.back()) seen << FramePane();
  }
  EXPECT_EQ(seen.join(' '), "1/2 2/2 1/2");
  QTest::keyClick(view, Qt::Key_Space);
  const QString paused = FramePane();
  QTest::qWait(3 * 1000 / CPixelDataView::kCineFramesPerSecond);
  EXPECT_EQ(FramePane(), paused);
}

TEST_F(PixelViewTest, CompressAndDecompressWriteFilesPeersReadAndCancelWritesNothing) {
  ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(m_dir / "rgb.dcm")));
  const std::string rle = m_dir / "rgb-rle.dcm";
  m_ui.formatDialogs.push_back([](CSelectFormatDlg& dialog) {
    // 8-bit colour by pixel, uncompressed: what this build can encode.
    EXPECT_EQ(dialog.Formats(),
              (std::vector<std::string>{"YBR_FULL", "YBR_FULL + RLE", "JPEG Lossy", "RLE", "JPEG Lossless",
                                        "JPEG-LS Lossless", "JPEG-LS Near-Lossless", "JPEG 2000 Lossless",
                                        "JPEG 2000 Lossy", "Deflate"}));
    dialog.format = 3;
    return true;
  });
  m_ui.savePaths.push_back(rle);
  m_window.Execute(CommandId::CompressPixelData);
  EXPECT_EQ(m_ui.TakeMessages(), "");
  EXPECT_NE(RunShell("dcmdump " + rle).out.find("=RLELossless"), std::string::npos);
  EXPECT_NE(RunShell(std::string(QUILLON_CLI_PATH) + " compare " + (m_dir / "rgb.dcm") + " " + rle)
                .out.find("100.00000% identical"),
            std::string::npos);

  // Back from RLE, forced to implicit VR, by plane.
  ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(rle)));
  EXPECT_TRUE(m_window.Action(CommandId::DecompressPixelData)->isEnabled());
  const std::string planar = m_dir / "planar.dcm";
  m_ui.formatDialogs.push_back([](CSelectFormatDlg& dialog) {
    dialog.format = 2;          // RGB Planar
    dialog.transferSyntax = 1;  // Force Implicit
    return true;
  });
  m_ui.savePaths.push_back(rle);  // the open document's own file: refused, asked again
  m_ui.savePaths.push_back(planar);
  m_window.Execute(CommandId::DecompressPixelData);
  EXPECT_NE(m_ui.TakeMessages().find("is open in Quillon"), std::string::npos);
  const std::string dump = RunShell("dcmdump " + planar).out;
  EXPECT_NE(dump.find("=LittleEndianImplicit"), std::string::npos);
  EXPECT_NE(dump.find("(0028,0006) US 1"), std::string::npos);

  // A cancelled conversion leaves no file.
  const std::string cancelled = m_dir / "cancelled.dcm";
  m_ui.formatDialogs.push_back([](CSelectFormatDlg& dialog) {
    dialog.format = 0;
    return true;
  });
  m_ui.savePaths.push_back(cancelled);
  m_ui.cancelAfterReports = 1;
  m_window.Execute(CommandId::DecompressPixelData);
  EXPECT_FALSE(std::filesystem::exists(cancelled));
  EXPECT_EQ(m_ui.statuses.back(), "Cancelled: nothing was written");
}

TEST_F(PixelViewTest, CompareShowsTheResultOfTheComparison) {
  ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(m_dir / "grey8.dcm")));
  m_ui.openPaths.push_back(m_dir / "grey8.dcm");
  m_window.Execute(CommandId::ComparePixelData);
  EXPECT_EQ(m_ui.TakeMessages(), "");
  ASSERT_EQ(m_ui.informations.size(), 1u);
  EXPECT_EQ(m_ui.informations.back(), "The pixel data of grey8.dcm and grey8.dcm are identical.\n\n"
                                      "RMS = 0.00000 (0 different pixel(s))\nThe two images are 100.00000% identical.");
  // Against its copy with the second frame's first row changed by 7.
  SampleImage changed = MakeGrey8Sample();
  uint32_t length = 0;
  const uint8_t* bytes = nullptr;
  ASSERT_EQ(changed.object->GetValue(tags::kPixelData, length, &bytes), DicomStatus::Success);
  std::vector<uint8_t> pixels(bytes, bytes + length);
  for (size_t i = length / 2; i < length / 2 + 192; ++i) pixels[i] = static_cast<uint8_t>(pixels[i] < 128 ? pixels[i] + 7 : pixels[i] - 7);
  (void)changed.object->AddValue(tags::kPixelData, vr::OB, pixels.data(), length);
  ASSERT_TRUE(test::Succeeded(SaveDicomFile(*changed.object, m_dir / "changed.dcm")));
  m_ui.openPaths.push_back(m_dir / "changed.dcm");
  m_window.Execute(CommandId::ComparePixelData);
  EXPECT_NE(m_ui.TakeMessages().find("192 pixel(s) differ; the largest difference of one sample is 7."),
            std::string::npos);
  m_ui.openPaths.push_back(m_dir / "mono1.dcm");
  m_window.Execute(CommandId::ComparePixelData);
  EXPECT_EQ(m_ui.TakeMessages(), "The number of frames is different\n");
}

TEST(SelectFormatWindow, OffersWhatTheSourceAllows) {
  CSelectFormatDlg monochrome(CSelectFormatDlg::Purpose::Compress, true);
  CSelectFormatDlgWindow window(monochrome);
  auto* formats = window.findChild<QListWidget*>("formats");
  ASSERT_EQ(formats->count(), 8);  // without a filter, every format
  EXPECT_EQ(formats->item(0)->text(), "RLE");
  EXPECT_FALSE(window.findChild<QCheckBox*>("monochrome")->isEnabled());
  EXPECT_FALSE(window.findChild<QComboBox*>("transferSyntax")->isEnabled());
  // OK with nothing selected names no conversion: it must not run one.
  EXPECT_FALSE(monochrome.GetChoice().has_value());
  formats->setCurrentRow(1);
  ASSERT_TRUE(monochrome.GetChoice().has_value());
  EXPECT_EQ(monochrome.GetChoice()->mode, ConversionMode::JpegLossy);
  EXPECT_FALSE(window.findChild<QSpinBox*>("nearLossless")->isEnabled());
  formats->setCurrentRow(4);  // JPEG-LS Near-Lossless
  EXPECT_TRUE(window.findChild<QSpinBox*>("nearLossless")->isEnabled());
  EXPECT_EQ(monochrome.GetChoice()->options.nearLossless, 2);

  CSelectFormatDlg colour(CSelectFormatDlg::Purpose::Decompress, false);
  CSelectFormatDlgWindow colourWindow(colour);
  EXPECT_TRUE(colourWindow.findChild<QCheckBox*>("monochrome")->isEnabled());
  EXPECT_TRUE(colourWindow.findChild<QComboBox*>("transferSyntax")->isEnabled());
  EXPECT_EQ(colourWindow.findChild<QComboBox*>("transferSyntax")->itemText(2), "Force Explicit");
}

}  // namespace
}  // namespace quillon::test
