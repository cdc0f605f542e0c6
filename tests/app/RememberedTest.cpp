// What the window remembers between runs (QSettings in the test's own folder): the sets of files
// opened together, the window geometry, the extraction parameters, the choosers' last folders and
// the bands the plots drew through.
#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QTimer>

#include "app/CommandMenus.h"
#include "app/PlotActions.h"
#include "app/Preferences.h"
#include "app/QtFileChooser.h"
#include "extract/ExtractionRun.h"
#include "filter/FilterDesign.h"
#include "platform/PathHelpers.h"
#include "tests/app/RealWindowHarness.h"

namespace skelvane {
namespace {

class RememberedTest : public test::RealWindowHarness {
 protected:
  std::vector<std::string> RecentTexts() {
    std::vector<std::string> texts;
    for (QAction* action : window->Menus()->Menu(CommandRow::Menu::RecentFiles)->actions()) texts.push_back(action->text().toStdString());
    return texts;
  }
  void Restart() {
    window->close();
    window.reset();
    Start();
  }
};

TEST_F(RememberedTest, RecentSetsGeometryAndExtractionParametersOutliveTheWindow) {
  Start();
  EXPECT_EQ(RecentTexts(), (std::vector<std::string>{"&Clear Recent Files"}));
  window->OnDropFiles({tetrode[0], tetrode[1]});
  window->OnDropFiles({tetrode[2], tetrode[3]});
  ExtractionParameters& parameters = window->Extraction().Parameters();
  parameters.NumChannels = 4;
  parameters.Threshold = 123.5;
  parameters.ExtractionType = kExtractionTypeBoth;
  parameters.OutputDirectory = "/tmp/spikes";
  const QByteArray geometry = window->saveGeometry();

  Restart();
  EXPECT_EQ(Preferences::WindowGeometry(), geometry);
  const ExtractionParameters& loaded = window->Extraction().Parameters();
  EXPECT_EQ(loaded.NumChannels, 4);
  EXPECT_EQ(loaded.Threshold, 123.5);
  EXPECT_EQ(loaded.ExtractionType, kExtractionTypeBoth);
  EXPECT_EQ(loaded.OutputDirectory, "/tmp/spikes");
  const std::string in = " in " + FolderOf(tetrode[0]);
  EXPECT_EQ(RecentTexts(), (std::vector<std::string>{"&1 TT1c.kcs, TT1d.kcs" + in, "&2 TT1a.kcs, TT1b.kcs" + in, "",
                                                     "&Clear Recent Files"}));

  // The older set opens again, in its order, as one step.
  ASSERT_EQ(plots.RemoveAllPlots(), 0);
  window->Menus()->Menu(CommandRow::Menu::RecentFiles)->actions().at(1)->trigger();
  ASSERT_EQ(plots.GetNumPlots(), 2);
  EXPECT_EQ(PlotPath(0), tetrode[0]);
  EXPECT_EQ(PlotPath(1), tetrode[1]);
  Settle();  // stored once the window has shown its plots
  EXPECT_EQ(RecentTexts().front(), "&1 TT1a.kcs, TT1b.kcs" + in);

  // Ten sets at most, newest first.
  for (int i = 0; i < 12; ++i) Preferences::AddRecentSet({QStringLiteral("/data/set%1.kcs").arg(i)});
  const std::vector<QStringList> sets = Preferences::RecentSets();
  ASSERT_EQ(sets.size(), 10u);
  EXPECT_EQ(sets.front(), QStringList{"/data/set11.kcs"});
  EXPECT_EQ(sets.back(), QStringList{"/data/set2.kcs"});
  window->Menus()->Menu(CommandRow::Menu::RecentFiles)->actions().back()->trigger();  // Clear Recent Files
  EXPECT_TRUE(Preferences::RecentSets().empty());

  // A parameter set that does not hold together (3 channels) is ignored as a whole.
  window->close();
  window.reset();
  QSettings(QSettings::IniFormat, QSettings::UserScope, "Skelvane", "Skelvane").setValue("extraction/channels", 3);
  Start();
  EXPECT_EQ(window->Extraction().Parameters().NumChannels, kDefaultNumChannels);
  EXPECT_EQ(window->Extraction().Parameters().Threshold, 0.0);
}

// The bands the plots drew through at close are designed as the next window starts, so that opening
// the same recordings again does not wait for a design (a rate no other test uses here, so that the
// design is not one this process made already).
TEST_F(RememberedTest, TheBandsShownAtCloseAreDesignedAsTheNextWindowStarts) {
  Start();
  OpenTetrode();
  ASSERT_TRUE(window->Plots()->SetFilter(0, FilterChoice::Spike()));
  ASSERT_TRUE(window->Plots()->SetFilter(1, FilterChoice::Custom(300.0, 3000.0)));
  const double rate = window->Plots()->BandsShown().at(0).second;
  Restart();
  const std::vector<std::pair<FilterChoice, double>> bands = Preferences::BandsShown();
  ASSERT_EQ(bands.size(), 2u);
  EXPECT_EQ(bands[0], std::make_pair(FilterChoice::Spike(), rate));
  EXPECT_EQ(bands[1], std::make_pair(FilterChoice::Custom(300.0, 3000.0), rate));

  window->close();
  window.reset();
  const FilterChoice band = FilterChoice::Custom(700.0, 7000.0);
  QSettings(QSettings::IniFormat, QSettings::UserScope, "Skelvane", "Skelvane")
      .setValue("display/bandsShown", QStringList{"700:7000@31411", "none@32000", "spike@", "garbled@32000"});
  EXPECT_FALSE(FilterDesign::Known(band, 31411.0));
  Start();
  EXPECT_TRUE(FilterDesign::Known(band, 31411.0));
  EXPECT_EQ(Preferences::BandsShown().size(), 1u) << "what does not parse is passed over";
}

TEST_F(RememberedTest, ChoosersStartInTheFolderTheLastOneOfTheirKindEndedIn) {

  QtFileChooser chooser;
  const QString folder = QFileInfo(QString::fromStdString(tetrode[0])).absolutePath();
  QString shownFolder;
  auto answer = [&](const QString& file) {
    QTimer::singleShot(0, [&shownFolder, file] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      shownFolder = dialog->directory().absolutePath();
      dialog->selectFile(file);
      static_cast<QDialog*>(dialog)->accept();
    });
  };
  answer(QString::fromStdString(tetrode[0]));
  const auto opened = chooser.OpenFiles("Open", "", {}, true);
  ASSERT_TRUE(opened.has_value());
  EXPECT_EQ(Preferences::LastFolder("open"), folder);

  answer(QString::fromStdString(tetrode[1]));
  ASSERT_TRUE(chooser.OpenFiles("Open", "", {}, true).has_value());
  EXPECT_EQ(shownFolder, folder);

  answer(folder + "/view.png");
  ASSERT_TRUE(chooser.SaveFile("Save", "bmp", {}).has_value());
  EXPECT_EQ(Preferences::LastFolder("save"), folder);

  // A folder named to start in wins over the last one; the default suffix picks the type offered.
  const QString other = QFileInfo(QString::fromStdString(settingsDir.Path())).absoluteFilePath();
  answer(QString::fromStdString(tetrode[2]));
  ASSERT_TRUE(chooser.OpenFiles("Open", settingsDir.Path(), {}, true).has_value());
  EXPECT_EQ(shownFolder, other);
  QString offered;
  QTimer::singleShot(0, [&offered, folder] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    offered = dialog->selectedNameFilter();
    dialog->selectFile(folder + "/typed");
    static_cast<QDialog*>(dialog)->accept();
  });
  const auto saved = chooser.SaveFile("Save", "png", {{"Bitmap Files (*.bmp)", {"*.bmp"}}, {"PNG Images (*.png)", {"*.png"}}});
  EXPECT_EQ(offered.toStdString(), "PNG Images (*.png)");
  EXPECT_EQ(saved, (folder + "/typed.png").toStdString());
}

}  // namespace
}  // namespace skelvane
