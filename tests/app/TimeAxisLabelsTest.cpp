// Display > Time Axis Labels: the choice changes the axis, is remembered by the next window, and
// Microseconds draws exactly what the window drew before the choice existed.
#include <gtest/gtest.h>

#include <QAction>

#include "app/CommandIds.h"
#include "app/CommandMenus.h"
#include "tests/app/RealWindowHarness.h"

namespace skelvane {
namespace {

class TimeAxisLabelsTest : public test::RealWindowHarness {
 protected:
  void Choose(int32_t command) { window->CommandAction(command)->trigger(); }
  bool Checked(int32_t command) { return window->CommandAction(command)->isChecked(); }
  // The time axis band at the bottom of the canvas.
  QImage Axis() const {
    const QImage shown = Shown();
    return shown.copy(0, shown.height() - 17, shown.width(), 17);
  }
};

TEST_F(TimeAxisLabelsTest, ChoiceChangesTheAxisIsRememberedAndMicrosecondsStayAsBefore) {
  Start();
  OpenTetrode();
  EXPECT_TRUE(Checked(commands::kTimeLabelsMicroseconds));
  const QImage before = Shown();
  const QImage microseconds = Axis();

  Choose(commands::kTimeLabelsSeconds);
  EXPECT_TRUE(Checked(commands::kTimeLabelsSeconds));
  EXPECT_FALSE(Checked(commands::kTimeLabelsMicroseconds));
  const QImage seconds = Axis();
  Choose(commands::kTimeLabelsClock);
  const QImage clock = Axis();
  EXPECT_NE(seconds, microseconds);
  EXPECT_NE(clock, microseconds);
  EXPECT_NE(clock, seconds);

  Choose(commands::kTimeLabelsMicroseconds);
  EXPECT_EQ(Shown(), before);

  // The next window starts with the labels chosen last.
  Choose(commands::kTimeLabelsClock);
  window->close();
  window.reset();
  canvas.SetTimeLabelStyle(IPlotCanvas::TimeLabelStyle::Microseconds);
  Start();
  EXPECT_TRUE(Checked(commands::kTimeLabelsClock));
  EXPECT_FALSE(Checked(commands::kTimeLabelsMicroseconds));
  EXPECT_EQ(canvas.GetTimeLabelStyle(), IPlotCanvas::TimeLabelStyle::Clock);
}

}  // namespace
}  // namespace skelvane
