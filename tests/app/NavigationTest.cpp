// The conventions of trace viewers: the wheel with and without modifiers, Home, End, PageUp and
// PageDown, Show Whole Recording, Ctrl+O, Ctrl+Q, F1's list of every key, the plot menu on a right
// click and the names of the header icons.
#include <gtest/gtest.h>

#include <QAction>
#include <QHelpEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTableWidget>
#include <QToolTip>
#include <set>

#include "app/CommandIds.h"
#include "app/KeysAndMouseDialog.h"
#include "app/CommandMenus.h"
#include "display/Plot.h"
#include "app/PlotActions.h"
#include "tests/app/FakeFileChooser.h"
#include "tests/app/RealWindowHarness.h"

namespace skelvane {
namespace {

class NavigationTest : public test::RealWindowHarness {
 protected:
  int64_t TimeUnder(int x) {
    int64_t time = 0;
    EXPECT_EQ(PlotCanvas::GetTimeForPixel(x - 40, 600, View().VisibleSpan, View().VisibleStart, time), 0);
    return time;
  }
  QAction* Find(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
      if (action->text() == text) return action;
    }
    return nullptr;
  }
};

TEST_F(NavigationTest, WheelKeysAndWholeRecordingMoveTheViewLikeTheScrollbars) {
  Start();
  OpenTetrode();
  for (int i = 0; i < 4; ++i) {
    IPlot* plot = nullptr;
    ASSERT_EQ(plots.GetPlot(i, plot), 0);
    plot->SetHeight(300);  // taller than the window together
  }
  window->UpdateVerticalScroll();

  Wheel(300, 200, -1);  // towards the user: the stack moves up, showing what lies below
  EXPECT_EQ(View().ScrollTop, -40);
  Wheel(300, 200, 3);
  EXPECT_EQ(View().ScrollTop, 0);

  // Zoomed in, Shift+wheel and PgDown/PgUp page time as Right and Left do.
  Key(Qt::Key_Left, Qt::ControlModifier);
  Key(Qt::Key_Left, Qt::ControlModifier);
  const int64_t start = View().VisibleStart;
  Key(Qt::Key_Right);
  const int64_t paged = View().VisibleStart;
  ASSERT_GT(paged, start);
  Key(Qt::Key_Left);
  Wheel(300, 200, -1, Qt::ShiftModifier);
  EXPECT_EQ(View().VisibleStart, paged);
  Wheel(300, 200, 1, Qt::ShiftModifier);
  EXPECT_EQ(View().VisibleStart, start);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(View().VisibleStart, paged);
  Key(Qt::Key_PageUp);
  EXPECT_EQ(View().VisibleStart, start);

  // Ctrl+wheel zooms about the mouse: the time under it stays (to within the new column width).
  for (int x : {60, 250, 620}) {
    for (int notches : {1, -1}) {
      const int64_t before = TimeUnder(x);
      const int64_t span = View().VisibleSpan;
      Wheel(x, 200, notches, Qt::ControlModifier);
      EXPECT_EQ(View().VisibleSpan, notches > 0 ? span / 2 : span * 2) << x;
      EXPECT_LE(std::llabs(TimeUnder(x) - before), View().VisibleSpan / 600 + 1) << x << " " << notches;
    }
  }

  Key(Qt::Key_End);
  EXPECT_EQ(View().VisibleStart, View().DataEnd - View().VisibleSpan + 1);
  Key(Qt::Key_Home);
  EXPECT_EQ(View().VisibleStart, View().DataStart);
  Key(Qt::Key_End);
  window->CommandAction(commands::kShowWholeRecording)->trigger();
  EXPECT_EQ(View().VisibleStart, View().DataStart);
  EXPECT_EQ(View().VisibleSpan, View().DataDuration);
}

TEST_F(NavigationTest, CtrlOOpensCtrlQQuitsAndF1ListsEveryKey) {
  auto chooser = std::make_shared<test::FakeFileChooser>();
  const auto previous = FileChooser::Install(chooser);
  chooser->openPaths = std::vector<std::string>{tetrode[0], tetrode[1]};
  Start();
  Key(Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(plots.GetNumPlots(), 2);
  FileChooser::Install(previous);

  Key(Qt::Key_F1);
  auto* keys = qobject_cast<KeysAndMouseDialog*>(window->KeysAndMouse());
  ASSERT_NE(keys, nullptr);
  EXPECT_TRUE(keys->isVisible());
  // Every key the window answers to is in the list.
  std::set<QKeySequence> listed;
  for (int row = 0; row < keys->Table()->rowCount(); ++row) {
    for (const QString& alternative : keys->Table()->item(row, 0)->text().split(QRegularExpression(" / |, "))) {
      listed.insert(QKeySequence(alternative, QKeySequence::PortableText));
    }
  }
  int bound = 0;
  for (QAction* action : window->findChildren<QAction*>()) {
    for (const QKeySequence& key : action->shortcuts()) {
      ++bound;
      EXPECT_TRUE(listed.count(key) == 1) << key.toString().toStdString() << " is not listed";
    }
  }
  EXPECT_GE(bound, 20);
  keys->close();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

  QSignalSpy closed(window.get(), &MainWindow::Closed);
  Key(Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(closed.count(), 1);
}

TEST_F(NavigationTest, RightClickOffersThePlotsHeaderActionsAndIconsNameThemselves) {
  Start();
  OpenTetrode();
  Settle();
  QWidget* client = window->Client();

  // The close icon of the second plot, in client coordinates.
  IPlot* second = nullptr;
  ASSERT_EQ(plots.GetPlot(1, second), 0);
  const auto& plot = dynamic_cast<const Plot&>(*second);
  const QPoint close(plot.IconXs()[0] + 7, View().ScrollTop - (plot.IconYs()[0] + 7) + 15);
  QHelpEvent tip(QEvent::ToolTip, close, client->mapToGlobal(close));
  QApplication::sendEvent(client, &tip);
  EXPECT_EQ(QToolTip::text().toStdString(), "Close plot");
  const QPoint taller(plot.IconXs()[3] + 7, close.y());
  QHelpEvent tip2(QEvent::ToolTip, taller, client->mapToGlobal(taller));
  QApplication::sendEvent(client, &tip2);
  EXPECT_EQ(QToolTip::text().toStdString(), "Make plot taller");

  const QPoint inSecond(300, PlotMiddleY(1));
  QContextMenuEvent right(QContextMenuEvent::Mouse, inSecond, client->mapToGlobal(inSecond));
  QApplication::sendEvent(client, &right);
  QMenu* menu = window->Plots()->PlotMenu();
  ASSERT_NE(menu, nullptr);
  std::vector<std::string> texts;
  for (QAction* action : menu->actions()) texts.push_back(action->text().toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{"&Close Plot", "Move &Up", "Move &Down", "&Taller", "&Shorter", "",
                                             "&Increase Amplitude", "D&ecrease Amplitude", "&Reset Amplitude",
                                             "&Autoscale", "&Filter"}));
  Find(menu, "&Taller")->trigger();
  EXPECT_GT(PlotHeight(1), 100);
  Find(menu, "&Close Plot")->trigger();
  ASSERT_EQ(plots.GetNumPlots(), 3);
  EXPECT_EQ(PlotPath(0), tetrode[0]);
  EXPECT_EQ(PlotPath(1), tetrode[2]);
  menu->close();
}

}  // namespace
}  // namespace skelvane
