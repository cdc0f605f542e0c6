// Filtered views in the window: Display > Filter for every plot, a plot's right-click menu for that
// plot alone, the Custom dialog refusing what a recording cannot take, and None giving back the
// picture of the recordings as they are, exactly; plots opened later start with the band set for every
// plot (a session keeps its own), and the read-out under the mouse is the filtered sample, said so.
#include <gtest/gtest.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTest>

#include "app/CommandIds.h"
#include "app/CommandMenus.h"
#include "app/CustomFilterDialog.h"
#include "app/PlotActions.h"
#include "app/SessionCommands.h"
#include "app/StatusBar.h"
#include "app/WindowCommands.h"
#include "display/CscPlot.h"
#include "tests/app/RealWindowHarness.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

class FilterViewTest : public test::RealWindowHarness {
 protected:
  FilterChoice FilterOf(int32_t index) const {
    IPlot* plot = nullptr;
    EXPECT_EQ(plots.GetPlot(index, plot), 0);
    return dynamic_cast<CscPlot&>(*plot).Filter();
  }
  // Whether Display > Filter's item is checked as the menu opens.
  bool Checked(int32_t command) const {
    window->Commands()->UpdateChecks();
    return window->Commands()->Menus()->Action(command)->isChecked();
  }
  void Choose(int32_t command) {
    window->Commands()->Run(command);
    Settle();
  }
  // The right-click menu of plot `index`, its Filter submenu's item `text` chosen.
  void ChooseForPlot(int32_t index, const QString& text) {
    Settle();
    QWidget* client = window->Client();
    const QPoint at(300, PlotMiddleY(index));
    QContextMenuEvent right(QContextMenuEvent::Mouse, at, client->mapToGlobal(at));
    QApplication::sendEvent(client, &right);
    QMenu* menu = window->Plots()->PlotMenu();
    ASSERT_NE(menu, nullptr);
    QMenu* filters = nullptr;
    for (QAction* action : menu->actions()) {
      if (action->text() == QStringLiteral("&Filter")) filters = action->menu();
    }
    ASSERT_NE(filters, nullptr);
    QAction* item = nullptr;
    for (QAction* action : filters->actions()) {
      if (action->text() == text) item = action;
    }
    ASSERT_NE(item, nullptr) << text.toStdString();
    item->trigger();
    menu->close();
    Settle();
  }
  // Types the cut-offs into the open Custom dialog and presses OK; true when it closed.
  bool TypeCutOffs(const QString& low, const QString& high) {
    CustomFilterDialog* dialog = window->Plots()->CustomDialog();
    EXPECT_NE(dialog, nullptr);
    if (dialog == nullptr) return false;
    dialog->LowField()->setText(low);
    dialog->HighField()->setText(high);
    // An accepted dialog deletes itself once the events are settled: it is watched, not read.
    const QPointer<CustomFilterDialog> watched(dialog);
    dialog->accept();
    Settle();
    return watched.isNull() || !watched->isVisible();
  }
};

TEST_F(FilterViewTest, MenuAndRightClickSwitchFiltersAndNoneGivesBackTheRecordings) {
  Start();
  OpenTetrode();
  Key(Qt::Key_Left, Qt::ControlModifier);
  const QImage raw = Shown();
  EXPECT_TRUE(Checked(commands::kFilterNone));

  Choose(commands::kFilterSpike);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(FilterOf(i), FilterChoice::Spike()) << i;
  EXPECT_TRUE(Checked(commands::kFilterSpike));
  EXPECT_FALSE(Checked(commands::kFilterNone));
  const QImage spike = Shown();
  EXPECT_NE(spike, raw);

  // One plot through its own menu: the others keep the Spike Band, and no Display item is checked.
  ChooseForPlot(2, QStringLiteral("&LFP Band"));
  EXPECT_EQ(FilterOf(2), FilterChoice::Lfp());
  EXPECT_EQ(FilterOf(1), FilterChoice::Spike());
  EXPECT_FALSE(Checked(commands::kFilterSpike));
  EXPECT_FALSE(Checked(commands::kFilterLfp));
  ChooseForPlot(2, QStringLiteral("&Spike Band"));
  EXPECT_EQ(Shown(), spike);

  // Custom: a cut-off the recordings cannot take is refused by its field and changes nothing.
  test::CapturedReports reports;
  Choose(commands::kFilterCustom);
  EXPECT_FALSE(TypeCutOffs(QStringLiteral("300"), QStringLiteral("20000")));
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0],
            "Filter high cut-off: 20000 Hz is not inside (0, 16000) Hz, above 0 and below half the sampling rate: " +
                tetrode[0]);
  EXPECT_TRUE(window->Plots()->CustomDialog()->HighField()->hasFocus() ||
              window->Plots()->CustomDialog()->HighField()->selectedText() == QStringLiteral("20000"));
  EXPECT_FALSE(TypeCutOffs(QStringLiteral("x"), QStringLiteral("3000")));
  EXPECT_EQ(reports.Texts().back(), "Filter low cut-off: \"x\" is not a number of hertz");
  EXPECT_EQ(FilterOf(0), FilterChoice::Spike());
  EXPECT_TRUE(TypeCutOffs(QStringLiteral("300"), QStringLiteral("")));
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(FilterOf(i), FilterChoice::Custom(300.0, std::nullopt)) << i;
  EXPECT_TRUE(Checked(commands::kFilterCustom));
  EXPECT_EQ(reports.Count(), 2u);

  Choose(commands::kFilterNone);
  EXPECT_TRUE(Checked(commands::kFilterNone));
  EXPECT_EQ(Shown(), raw);
}

TEST_F(FilterViewTest, PlotsOpenedLaterStartWithTheBandAndTheReadOutIsFiltered) {
  Start();
  Choose(commands::kFilterLfp);  // before any recording is open
  EXPECT_TRUE(Checked(commands::kFilterLfp));
  OpenTetrode();
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(FilterOf(i), FilterChoice::Lfp()) << i;

  // Under the mouse, a filtered plot reads the value its trace draws, labelled with the band.
  Key(Qt::Key_Left, Qt::ControlModifier);
  Key(Qt::Key_Left, Qt::ControlModifier);
  MoveMouse(300, PlotMiddleY(1));
  const std::string reading = window->Status()->PointerLabelText().toStdString();
  const std::string label = " filtered (LFP Band 1-300 Hz)";
  ASSERT_GE(reading.size(), label.size());
  EXPECT_EQ(reading.substr(reading.size() - label.size()), label) << reading;
  EXPECT_NE(reading.find("TT1b: "), std::string::npos) << reading;

  // A plot set apart keeps its own band through a session, whatever later plots start with.
  ChooseForPlot(0, QStringLiteral("&None"));
  test::TempDir folder;
  const std::string session = folder.File("kept.skvs");
  ASSERT_TRUE(window->Sessions()->SaveTo(session));
  Choose(commands::kFilterSpike);
  window->OnDropFiles({session});
  Settle();
  EXPECT_EQ(FilterOf(0), FilterChoice());
  for (int32_t i = 1; i < 4; ++i) EXPECT_EQ(FilterOf(i), FilterChoice::Lfp()) << i;
  MoveMouse(300, PlotMiddleY(0));
  EXPECT_EQ(window->Status()->PointerLabelText().toStdString().find("filtered"), std::string::npos);
}

}  // namespace
}  // namespace skelvane
