// The canvas on a 200% screen (run by ctest with QT_SCALE_FACTOR=2; skipped on a 100% screen, where
// every other window test pins the pixels): it is drawn at device resolution, not pixel-doubled.
#include <gtest/gtest.h>

#include <QColor>

#include "tests/app/RealWindowHarness.h"

namespace skelvane {
namespace {

class HiDpiTest : public test::RealWindowHarness {};

TEST_F(HiDpiTest, CanvasIsDrawnAtTheScreensPixelRatio) {
  if (qApp->devicePixelRatio() < 2.0) GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
  Start();
  OpenTetrode();
  const QImage shown = Shown();  // paints, which takes the new frame
  const QImage& frame = window->Picture().Frame();
  EXPECT_EQ(shown.size(), QSize(2 * 655, 2 * 515));
  // 640 x 500 canvas pixels below the 15-pixel bar, each 2 x 2 device pixels.
  ASSERT_EQ(frame.size(), QSize(2 * 640, 2 * 500));
  EXPECT_EQ(frame.devicePixelRatio(), 2.0);
  EXPECT_EQ(renderer.PixelRatio(), 2);

  // A pixel-doubled picture has every 2 x 2 block in one colour; text and thin edges drawn at
  // device resolution do not.
  int mixedBlocks = 0;
  for (int y = 0; y + 1 < frame.height(); y += 2) {
    for (int x = 0; x + 1 < frame.width(); x += 2) {
      const QRgb c = frame.pixel(x, y);
      if (frame.pixel(x + 1, y) != c || frame.pixel(x, y + 1) != c || frame.pixel(x + 1, y + 1) != c) ++mixedBlocks;
    }
  }
  EXPECT_GT(mixedBlocks, 500);

  // Each trace still lies in its own plot's strip, at twice the canvas coordinates.
  for (int plot = 0; plot < 4; ++plot) {
    uint32_t colour = 0;
    IPlot* shown = nullptr;
    ASSERT_EQ(plots.GetPlot(plot, shown), 0);
    const QColor trace = [&] {
      const char* names[] = {"Red", "Blue", "Yellow", "Purple"};
      EXPECT_EQ(ColorTable().FindColorByName(names[plot], colour), 0);
      return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    }();
    int first = -1, last = -1;
    for (int y = 0; y < frame.height(); ++y) {
      for (int x = 2 * 45; x < frame.width(); ++x) {
        if (QColor(frame.pixel(x, y)) == trace) {
          if (first < 0) first = y;
          last = y;
          break;
        }
      }
    }
    ASSERT_GE(first, 0) << plot;
    EXPECT_GE(first, 2 * (103 * plot + 20)) << plot;  // below the plot's header
    EXPECT_LT(last, 2 * (103 * plot + 100)) << plot;
  }
}

}  // namespace
}  // namespace skelvane
