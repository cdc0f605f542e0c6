// The files of a session as a user handles them in the window: a file dropped again (under another
// name for the same path) is passed over with a notice, Close All (Ctrl+Shift+W) empties the window,
// Recent Files keeps absolute paths and drops a set whose files are gone, saying which.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <filesystem>

#include "app/CommandMenus.h"
#include "app/FileSession.h"
#include "app/Preferences.h"
#include "app/StatusBar.h"
#include "display/CscPlot.h"
#include "platform/PathHelpers.h"
#include "tests/app/RealWindowHarness.h"
#include "tests/support/CapturedReports.h"

namespace skelvane {
namespace {

namespace fs = std::filesystem;

class FileSessionTest : public test::RealWindowHarness {
 protected:
  QMenu* RecentMenu() { return window->Menus()->Menu(CommandRow::Menu::RecentFiles); }
};

TEST_F(FileSessionTest, ReopeningIsPassedOverCloseAllEmptiesTheWindowAndAGoneRecentSetIsDroppedSayingWhich) {
  Start();
  // Named relative to where the program was started: remembered by absolute path all the same.
  const std::string relative0 = fs::relative(tetrode[0]).string();
  const std::string relative1 = fs::relative(tetrode[1]).string();
  ASSERT_FALSE(fs::path(relative0).is_absolute());
  window->OnDropFiles({relative0, relative1});
  ASSERT_EQ(plots.GetNumPlots(), 2);
  const std::string absolute0 = AbsolutePathOf(tetrode[0]);
  const std::string absolute1 = AbsolutePathOf(tetrode[1]);
  // Stored once the window has shown the new plots: the store waits for the disk.
  EXPECT_TRUE(Preferences::RecentSets().empty());
  Settle();
  ASSERT_EQ(Preferences::RecentSets().size(), 1u);
  EXPECT_EQ(Preferences::RecentSets().front(),
            (QStringList{QString::fromStdString(absolute0), QString::fromStdString(absolute1)}));
  EXPECT_EQ(RecentMenu()->actions().front()->text().toStdString(),
            "&1 TT1a.kcs, TT1b.kcs in " + FolderOf(absolute0));

  // The same file again, by its absolute path this time, beside a new one: only the new one opens.
  window->OnDropFiles({tetrode[0], tetrode[2]});
  Settle();
  ASSERT_EQ(plots.GetNumPlots(), 3);
  EXPECT_EQ(PlotPath(2), tetrode[2]);
  EXPECT_EQ(sources.GetNumSources(), 3);
  EXPECT_EQ(window->Status()->currentMessage().toStdString(),
            std::string(FileSession::kAlreadyOpenNotice) + "TT1a.kcs");

  // Close All: no plot, no source, no cursor left.
  MoveMouse(300, PlotMiddleY(0));
  Key(Qt::Key_A);
  ASSERT_TRUE(canvas.Cursors()->Any());
  Key(Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(plots.GetNumPlots(), 0);
  EXPECT_EQ(sources.GetNumSources(), 0);
  EXPECT_FALSE(canvas.Cursors()->Any());

  // A set with a file gone: nothing of it opens, it leaves the menu, and the message names the file.
  const std::size_t sets = Preferences::RecentSets().size();
  ASSERT_EQ(sets, 2u);
  const QStringList older = Preferences::RecentSets().back();
  ASSERT_EQ(older.front().toStdString(), absolute0);
  fs::remove(tetrode[1]);
  test::CapturedReports reports;
  RecentMenu()->actions().at(1)->trigger();
  EXPECT_EQ(plots.GetNumPlots(), 0);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{std::string(FileSession::kGoneSetMessage) + "\n" + absolute1});
  ASSERT_EQ(Preferences::RecentSets().size(), sets - 1);
  EXPECT_NE(Preferences::RecentSets().front(), older);
  EXPECT_EQ(RecentMenu()->actions().size(), 3);  // the set left, its separator and Clear Recent Files
}

}  // namespace
}  // namespace skelvane
