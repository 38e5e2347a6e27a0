// The pixel view's keys on the real widget, headless: Left/Right,
// PageUp/PageDown, Home/End step through a five-frame image, + and - zoom,
// Space plays the frames on a timer and pauses them. Each step is checked
// in what the user reads: the frame pane ("3/5") and the zoom pane.
#include "app/qt/PixelDataView.h"

#include "app/QuillonApp.h"
#include "app/qt/MainFrame.h"
#include "base/FileSettingsStore.h"
#include "samples/SampleImages.h"
#include "support/DicomFiles.h"
#include "support/FakeUserInterface.h"
#include "support/Shell.h"

#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace quillon::test {
using namespace quillon::samples;
namespace {

constexpr int kFrames = 5;

class PixelViewKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Five frames of the grey phantom, each turned a little more.
    SampleImage image{"five.dcm"};
    sample::Describe(*image.object, "MONOCHROME2", 1, 8, 8, false, kFrames, "5");
    std::vector<uint8_t> bytes;
    for (int f = 0; f < kFrames; ++f) {
      for (int y = 0; y < sample::kSize; ++y) {
        for (int x = 0; x < sample::kSize; ++x) {
          bytes.push_back(static_cast<uint8_t>(255 * sample::Phantom(x / sample::kLast, y / sample::kLast, f)));
        }
      }
    }
    sample::AddPixels(*image.object, vr::OB, bytes);
    ASSERT_TRUE(test::Succeeded(SaveDicomFile(*image.object, m_dir / image.name)));
    m_window.resize(900, 700);
    m_window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    ASSERT_TRUE(m_window.OpenFile(QString::fromStdString(m_dir / image.name)));
    m_window.Execute(CommandId::ShowPixelData);
    QApplication::processEvents();
    m_view = m_window.ActivePixelView();
    ASSERT_NE(m_view, nullptr) << m_ui.TakeMessages();
    m_view->setFocus();
  }
  QString Pane(const char* name) { return m_window.findChild<QLabel*>(name)->text(); }
  void Press(Qt::Key key) {
    QTest::keyClick(m_view, key);
    QApplication::processEvents();
  }

  TempDir m_dir{"pixelkeys"};
  CFileSettingsStore m_settings{m_dir.Path() / "settings.ini"};
  CQuillonApp m_app{m_settings};
  CFakeUserInterface m_ui;
  CMainFrame m_window{m_app, &m_ui};
  CPixelDataView* m_view = nullptr;
};

TEST_F(PixelViewKeysTest, KeysStepThroughTheFrames) {
  EXPECT_EQ(Pane("framePane"), "1/5");
  const struct {
    Qt::Key key;
    const char* shown;
  } steps[] = {
      {Qt::Key_Right, "2/5"},    {Qt::Key_PageDown, "3/5"}, {Qt::Key_Left, "2/5"}, {Qt::Key_End, "5/5"},
      {Qt::Key_Right, "5/5"},    // the last frame stays
      {Qt::Key_PageUp, "4/5"},   {Qt::Key_Home, "1/5"},     {Qt::Key_Left, "1/5"},
  };
  QImage before = m_view->Image();
  for (const auto& step : steps) {
    Press(step.key);
    EXPECT_EQ(Pane("framePane"), step.shown) << QTest::toString(step.key);
    EXPECT_EQ(m_view->Viewer().CurrentFrame() + 1, QString(step.shown).section('/', 0, 0).toInt());
  }
  // The frame shown is the first again, and a step changes the picture.
  EXPECT_EQ(m_view->Image(), before);
  Press(Qt::Key_Right);
  EXPECT_NE(m_view->Image(), before);
}

TEST_F(PixelViewKeysTest, PlusAndMinusZoomInStepsOfTheSquareRootOfTwo) {
  EXPECT_EQ(Pane("zoomPane"), "100%");
  const struct {
    Qt::Key key;
    const char* shown;
  } steps[] = {{Qt::Key_Plus, "141%"}, {Qt::Key_Plus, "200%"}, {Qt::Key_Minus, "141%"},
               {Qt::Key_Minus, "100%"}, {Qt::Key_Minus, "71%"}, {Qt::Key_1, "100%"}};
  for (const auto& step : steps) {
    Press(step.key);
    EXPECT_EQ(Pane("zoomPane"), step.shown) << QTest::toString(step.key);
  }
  // At 200% the 192-pixel frame is 384 pixels wide: the scroll bar spans
  // what the view cannot show of it.
  Press(Qt::Key_Plus);
  Press(Qt::Key_Plus);
  EXPECT_EQ(Pane("zoomPane"), "200%");
  EXPECT_EQ(m_view->horizontalScrollBar()->maximum() + m_view->viewport()->width(), 2 * sample::kSize);
}

TEST_F(PixelViewKeysTest, SpacePlaysTheFramesAndPausesThem) {
  Press(Qt::Key_Space);
  ASSERT_TRUE(m_view->IsPlaying());
  // The timer advances the frames, round past the last.
  QStringList seen{Pane("framePane")};
  for (int waited = 0; waited < 5000 && seen.size() < kFrames + 1; waited += 10) {
    QTest::qWait(10);
    if (Pane("framePane") != seen.back()) seen << Pane("framePane");
  }
  EXPECT_EQ(seen.join(' '), "1/5 2/5 3/5 4/5 5/5 1/5");
  Press(Qt::Key_Space);
  EXPECT_FALSE(m_view->IsPlaying());
  const QString paused = Pane("framePane");
  QTest::qWait(3 * 1000 / CPixelDataView::kCineFramesPerSecond);
  EXPECT_EQ(Pane("framePane"), paused);
}

}  // namespace
}  // namespace quillon::test
