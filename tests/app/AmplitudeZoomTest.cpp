// Amplitude zoom: for all plots from the Display menu keys, for one plot with Alt+wheel over it;
// the trace grows about its centre line, the other plots stay as they were, and a reset (or the
// microvolt axis switched off again) gives back the picture of gain 1 exactly.
#include <gtest/gtest.h>

#include <QAction>
#include <QColor>

#include "app/CommandIds.h"
#include "app/CommandMenus.h"
#include "tests/app/RealWindowHarness.h"

namespace skelvane {
namespace {

class AmplitudeZoomTest : public test::RealWindowHarness {
 protected:
  // Client rows 15 + 103 i ... + 100 hold plot i.
  QImage Strip(const QImage& image, int plot) const { return image.copy(0, 15 + 103 * plot, image.width(), 100); }
  // Rows of a strip's trace area (right of the data axis) that hold a pixel of a trace colour.
  static int TraceRows(const QImage& strip) {
    int rows = 0;
    for (int y = 20; y < strip.height(); ++y) {
      for (int x = 45; x < strip.width() - 20; ++x) {
        const QColor c(strip.pixel(x, y));
        const bool grey = c.red() == c.green() && c.green() == c.blue();
        const bool grid = c == QColor(0x2F, 0x4F, 0x4F);
        if (!grey && !grid) {
          ++rows;
          break;
        }
      }
    }
    return rows;
  }
};

TEST_F(AmplitudeZoomTest, AllPlotsOnePlotResetAndMicrovoltAxis) {
  Start();
  OpenTetrode();
  Key(Qt::Key_Left, Qt::ControlModifier);
  const QImage gainOne = Shown();

  Key(Qt::Key_Down, Qt::ControlModifier);  // every trace half as tall
  const QImage halved = Shown();
  for (int plot = 0; plot < 4; ++plot) {
    EXPECT_LT(TraceRows(Strip(halved, plot)), TraceRows(Strip(gainOne, plot))) << plot;
    EXPECT_EQ(canvas.GetAmplitudeGain(tetrode[plot]), 0.5);
  }
  Key(Qt::Key_Up, Qt::ControlModifier);
  Key(Qt::Key_Up, Qt::ControlModifier);  // twice as tall: clipped to each plot's own strip
  for (int plot = 0; plot < 4; ++plot) EXPECT_EQ(canvas.GetAmplitudeGain(tetrode[plot]), 2.0);
  EXPECT_EQ(Strip(Shown(), 0).copy(0, 0, 640, 20), Strip(gainOne, 0).copy(0, 0, 640, 20));  // the header
  Key(Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(Shown(), gainOne);

  // Alt+wheel over the third plot: only its strip changes; the wheel back restores it.
  Wheel(300, PlotMiddleY(2), 2, Qt::AltModifier);
  EXPECT_EQ(canvas.GetAmplitudeGain(tetrode[2]), 4.0);
  const QImage third = Shown();
  for (int plot = 0; plot < 4; ++plot) {
    if (plot == 2) {
      EXPECT_NE(Strip(third, plot), Strip(gainOne, plot));
    } else {
      EXPECT_EQ(Strip(third, plot), Strip(gainOne, plot)) << plot;
    }
  }
  Wheel(300, PlotMiddleY(2), -2, Qt::AltModifier);
  EXPECT_EQ(Shown(), gainOne);

  // The data axis in microvolts relabels the axes only; switched off it is the counts picture again.
  window->CommandAction(commands::kDataAxisMicrovolts)->trigger();
  EXPECT_NE(Shown(), gainOne);
  window->CommandAction(commands::kDataAxisMicrovolts)->trigger();
  EXPECT_EQ(Shown(), gainOne);
}

}  // namespace
}  // namespace skelvane
