// The pixel view's geometry: fit, 1:1 and stepped zoom about a point that
// stays under the cursor, pans kept within the scroll bars' ranges, and
// view points mapped back to the image pixel under them.
#include "app/ViewTransform.h"

#include <gtest/gtest.h>

#include <random>

namespace quillon::test {
namespace {

TEST(ViewTransform, FitShowsTheWholeImageAndOneToOneGivesScrollRanges) {
  CViewTransform view;
  view.SetSizes(4096, 2048, 800, 600);
  view.ZoomToFit();
  EXPECT_TRUE(view.IsFit());
  EXPECT_LE(view.ScaledWidth(), 800);
  EXPECT_LE(view.ScaledHeight(), 600);
  EXPECT_TRUE(view.ScaledWidth() == 800 || view.ScaledHeight() == 600);
  EXPECT_EQ(view.ScrollMaxX(), 0);
  int64_t column = -1, row = -1;
  ASSERT_TRUE(view.ImagePixelAt(799.99, 0, column, row));
  EXPECT_EQ(column, 4095);
  // A fitted view follows the window's size.
  view.SetSizes(4096, 2048, 400, 600);
  EXPECT_DOUBLE_EQ(view.ScaledWidth(), 400);

  view.ZoomOneToOne();
  EXPECT_EQ(view.Zoom(), 1);
  EXPECT_EQ(view.ScrollMaxX(), 4096 - 400);
  EXPECT_EQ(view.ScrollMaxY(), 2048 - 600);
  view.SetScroll(100000, -5);
  EXPECT_EQ(view.ScrollX(), 4096 - 400);
  EXPECT_EQ(view.ScrollY(), 0);
  ASSERT_TRUE(view.ImagePixelAt(0, 0, column, row));
  EXPECT_EQ(column, 4096 - 400);
  view.PanBy(50, -20);  // dragging right shows what lies to the left
  EXPECT_EQ(view.ScrollX(), 4096 - 450);
  EXPECT_EQ(view.ScrollY(), 20);
}

TEST(ViewTransform, ASmallImageStaysAtTheTopLeftAndOutsideIsNoPixel) {
  CViewTransform view;
  view.SetSizes(192, 100, 800, 600);
  int64_t column = 0, row = 0;
  EXPECT_TRUE(view.ImagePixelAt(191.9, 99.9, column, row));
  EXPECT_FALSE(view.ImagePixelAt(192, 50, column, row));
  EXPECT_FALSE(view.ImagePixelAt(-0.5, 50, column, row));
  view.ZoomIn();
  view.ZoomIn();  // two steps of √2: twice as large
  EXPECT_NEAR(view.Zoom(), 2, 1e-9);
  ASSERT_TRUE(view.ImagePixelAt(383, 199, column, row));
  EXPECT_EQ(column, 191);
  EXPECT_EQ(row, 99);
}

// Whatever the zoom step and the point, the image point under the cursor
// stays under it (as long as the pan is not held by the image's edge).
TEST(ViewTransform, ZoomKeepsThePointUnderTheCursor) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> x(0, 800), y(0, 600), factor(0.7, 1.5);
  CViewTransform view;
  view.SetSizes(4096, 4096, 800, 600);
  view.SetScroll(1500, 1500);
  for (int i = 0; i < 200; ++i) {
    const double px = x(random), py = y(random);
    const double beforeX = (px - view.ImageLeft()) / view.Zoom();
    const double beforeY = (py - view.ImageTop()) / view.Zoom();
    view.ZoomAt(factor(random), px, py);
    if (view.ScrollX() == 0 || view.ScrollX() == view.ScrollMaxX() || view.ScrollY() == 0 ||
        view.ScrollY() == view.ScrollMaxY()) {
      view.ZoomOneToOne();
      view.SetScroll(1500, 1500);
      continue;
    }
    EXPECT_NEAR((px - view.ImageLeft()) / view.Zoom(), beforeX, 1e-6);
    EXPECT_NEAR((py - view.ImageTop()) / view.Zoom(), beforeY, 1e-6);
    EXPECT_GE(view.Zoom(), CViewTransform::kMinZoom);
    EXPECT_LE(view.Zoom(), CViewTransform::kMaxZoom);
  }
}

}  // namespace
}  // namespace quillon::test
