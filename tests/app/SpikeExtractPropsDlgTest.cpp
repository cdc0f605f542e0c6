#include "app/SpikeExtractPropsDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

#include "display/PlotChannels.h"
#include "extract/ExtractionParameters.h"
#include "extract/ExtractionRun.h"
#include "platform/FileChooser.h"
#include "platform/UserQuestions.h"
#include "tests/app/QtTestApplication.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/FakePlotCollection.h"

namespace skelvane {
namespace {

constexpr const char* kChannelMessage = "Please Set The Number Of Channels Equall To 1, 2, Or 4";

class FakeFolderChooser : public FileChooser {
 public:
  std::optional<std::vector<std::string>> OpenFiles(const std::string&, const std::string&,
                                                    const std::vector<Filter>&, bool) override {
    return std::nullopt;
  }
  std::optional<std::string> SaveFile(const std::string&, const std::string&, const std::vector<Filter>&) override {
    return std::nullopt;
  }
  std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override {
    ++calls;
    lastTitle = title;
    lastStart = start;
    return answer;
  }
  int calls = 0;
  std::string lastTitle;
  std::string lastStart;
  std::optional<std::string> answer;
};

class SpikeExtractPropsDlgTest : public ::testing::Test {
 protected:
  SpikeExtractPropsDlgTest() {
    test::EnsureQtApplication();
    for (int i = 0; i < 3; ++i) {
      ownedPlots.push_back(std::make_unique<test::FakePlot>("/d/p" + std::to_string(i) + ".kcs", 31.25, 32000.0, 2047));
      plots.plots.push_back(ownedPlots.back().get());
    }
    previousChooser = FileChooser::Install(chooser);
  }
  ~SpikeExtractPropsDlgTest() override { FileChooser::Install(previousChooser); }

  template <typename T>
  static T* Child(QWidget& dialog, const char* name) {
    T* widget = dialog.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  static void Retype(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }
  static void Click(QWidget& dialog, const char* button) {
    QTest::mouseClick(Child<QPushButton>(dialog, button), Qt::LeftButton);
  }

  ExtractionParameters params;
  test::FakePlotCollection plots;
  std::vector<std::unique_ptr<test::FakePlot>> ownedPlots;
  std::shared_ptr<FakeFolderChooser> chooser = std::make_shared<FakeFolderChooser>();
  std::shared_ptr<FileChooser> previousChooser;
};

TEST_F(SpikeExtractPropsDlgTest, OpensWithTheDefaultsShown) {
  SpikeExtractPropsDlg dialog(params, plots);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Spike Extraction Properties Dialog");
  EXPECT_EQ(Child<QComboBox>(dialog, "extractionModeCombo")->currentText(), "Threshold");
  EXPECT_EQ(Child<QComboBox>(dialog, "extractionTypeCombo")->currentText(), "Positive");
  EXPECT_EQ(Child<QLineEdit>(dialog, "thresholdEdit")->text(), "0");
  EXPECT_EQ(Child<QLineEdit>(dialog, "numChannelsEdit")->text(), "1");
  EXPECT_EQ(Child<QLineEdit>(dialog, "numSpikePointsEdit")->text(), "32");
  EXPECT_EQ(Child<QLineEdit>(dialog, "alignmentPtEdit")->text(), "8");
  EXPECT_EQ(Child<QLineEdit>(dialog, "outputDirectoryEdit")->text(), "");
}

TEST_F(SpikeExtractPropsDlgTest, CombosListTheirEntriesInCodeOrderAndWindowFieldsAreReadOnly) {
  SpikeExtractPropsDlg dialog(params, plots);
  auto* mode = Child<QComboBox>(dialog, "extractionModeCombo");
  auto* type = Child<QComboBox>(dialog, "extractionTypeCombo");
  ASSERT_EQ(mode->count(), 2);
  EXPECT_EQ(mode->itemText(0), "Threshold");
  EXPECT_EQ(mode->itemText(1), "Slope");
  ASSERT_EQ(type->count(), 3);
  EXPECT_EQ(type->itemText(0), "Positive");
  EXPECT_EQ(type->itemText(1), "Negative");
  EXPECT_EQ(type->itemText(2), "Both");
  EXPECT_TRUE(Child<QLineEdit>(dialog, "numSpikePointsEdit")->isReadOnly());
  EXPECT_TRUE(Child<QLineEdit>(dialog, "alignmentPtEdit")->isReadOnly());
  EXPECT_FALSE(Child<QLineEdit>(dialog, "numChannelsEdit")->isReadOnly());
  EXPECT_FALSE(Child<QLineEdit>(dialog, "thresholdEdit")->isReadOnly());
  EXPECT_TRUE(Child<QPushButton>(dialog, "okButton")->isDefault());
}

TEST_F(SpikeExtractPropsDlgTest, EveryControlLiesInsideTheDialogWithOkLeftOfCancel) {
  SpikeExtractPropsDlg dialog(params, plots);
  dialog.show();
  const QRect inside(QPoint(0, 0), dialog.size());
  for (QWidget* child : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    EXPECT_TRUE(inside.contains(child->geometry())) << child->metaObject()->className();
  }
  const QRect ok = Child<QPushButton>(dialog, "okButton")->geometry();
  const QRect cancel = Child<QPushButton>(dialog, "cancelButton")->geometry();
  EXPECT_LT(ok.right(), cancel.left());
  EXPECT_EQ(ok.top(), cancel.top());
  EXPECT_GT(dialog.width(), 2 * dialog.height());  // 370 x 113 units, scaled by the font
}

TEST_F(SpikeExtractPropsDlgTest, ThreeChannelsAreRefusedAndTheDialogStaysOpen) {
  SpikeExtractPropsDlg dialog(params, plots);
  dialog.show();
  Retype(Child<QLineEdit>(dialog, "numChannelsEdit"), "3");
  test::CapturedReports reports;
  Click(dialog, "okButton");
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], kChannelMessage);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(ownedPlots[0]->extractionMode, -1);  // no plot was told anything

  // Cancelling drops the refused value; the next opening shows the count that was there before.
  Click(dialog, "cancelButton");
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(params.NumChannels, 1);
  SpikeExtractPropsDlg again(params, plots);
  again.show();
  EXPECT_EQ(Child<QLineEdit>(again, "numChannelsEdit")->text(), "1");
}

TEST_F(SpikeExtractPropsDlgTest, AcceptedChannelCountsCloseTheDialog) {
  for (const char* channels : {"1", "2", "4", " 4 "}) {
    SpikeExtractPropsDlg dialog(params, plots);
    dialog.show();
    Retype(Child<QLineEdit>(dialog, "numChannelsEdit"), channels);
    test::CapturedReports reports;
    Click(dialog, "okButton");
    EXPECT_TRUE(reports.Empty()) << channels;
    EXPECT_FALSE(dialog.isVisible()) << channels;
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << channels;
    EXPECT_EQ(params.NumChannels, QString(channels).trimmed().toInt());
  }
}

// Whatever is changed while the dialog is open (selections, a refused count, a browsed folder, an
// edited value stored by Browse), Cancel, the Escape key or closing the window puts every field back.
TEST_F(SpikeExtractPropsDlgTest, CancelRestoresEveryFieldAsItWasWhenOpened) {
  params.ExtractionMode = 1;
  params.ExtractionType = 1;
  params.Threshold = -40.5;
  params.NumChannels = 2;
  params.OutputDirectory = "/before";
  const ExtractionParameters before = params;
  chooser->answer = "/browsed";
  for (const int closeBy : {0, 1, 2}) {
    SCOPED_TRACE(closeBy);
    SpikeExtractPropsDlg dialog(params, plots);
    dialog.show();
    auto* type = Child<QComboBox>(dialog, "extractionTypeCombo");
    type->setFocus();
    QTest::keyClick(type, Qt::Key_Down);
    ASSERT_EQ(type->currentText(), "Both");
    auto* mode = Child<QComboBox>(dialog, "extractionModeCombo");
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Up);
    ASSERT_EQ(mode->currentText(), "Threshold");
    Retype(Child<QLineEdit>(dialog, "thresholdEdit"), "12");
    Retype(Child<QLineEdit>(dialog, "numChannelsEdit"), "3");
    test::CapturedReports reports;
    Click(dialog, "okButton");
    ASSERT_EQ(reports.Texts(), std::vector<std::string>{kChannelMessage});
    Click(dialog, "browseButton");
    ASSERT_EQ(params.OutputDirectory, "/browsed");
    if (closeBy == 0) Click(dialog, "cancelButton");
    if (closeBy == 1) QTest::keyClick(&dialog, Qt::Key_Escape);
    if (closeBy == 2) dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(params.ExtractionMode, before.ExtractionMode);
    EXPECT_EQ(params.ExtractionType, before.ExtractionType);
    EXPECT_EQ(params.Threshold, before.Threshold);
    EXPECT_EQ(params.NumChannels, before.NumChannels);
    EXPECT_EQ(params.AlignmentPt, before.AlignmentPt);
    EXPECT_EQ(params.NumSpikePoints, before.NumSpikePoints);
    EXPECT_EQ(params.OutputDirectory, before.OutputDirectory);
    EXPECT_EQ(ownedPlots[1]->extractionType, -1);
  }
}

TEST_F(SpikeExtractPropsDlgTest, LabelsAreWholeTheDialogResizesAndFixedFieldsLookFixed) {
  SpikeExtractPropsDlg dialog(params, plots);
  dialog.show();
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label->text().isEmpty()) continue;
    EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
  }
  EXPECT_GT(dialog.width(), 2 * dialog.height());
  const QSize opened = dialog.size();
  dialog.resize(opened + QSize(200, 100));
  EXPECT_EQ(dialog.size(), opened + QSize(200, 100));
  const QRect directory = Child<QLineEdit>(dialog, "outputDirectoryEdit")->geometry();
  dialog.resize(opened);
  EXPECT_EQ(Child<QLineEdit>(dialog, "outputDirectoryEdit")->width() + 200, directory.width());
  for (const char* name : {"numSpikePointsEdit", "alignmentPtEdit"}) {
    QLineEdit* edit = Child<QLineEdit>(dialog, name);
    EXPECT_TRUE(edit->isReadOnly()) << name;
    EXPECT_FALSE(edit->toolTip().isEmpty()) << name;
    EXPECT_EQ(edit->palette().color(QPalette::Base), edit->palette().color(QPalette::Window)) << name;
  }
  QLineEdit* editable = Child<QLineEdit>(dialog, "numChannelsEdit");
  EXPECT_NE(editable->palette().color(QPalette::Base), editable->palette().color(QPalette::Window));
}

// A value whose sign contradicts the type is warned about under it, whatever order they are set in.
TEST_F(SpikeExtractPropsDlgTest, ThresholdSignAgainstTheTypeIsWarnedAbout) {
  const std::string negative = SpikeExtractPropsDlg::kNegativeWithPositive;
  const std::string positive = SpikeExtractPropsDlg::kPositiveWithNegative;
  const struct {
    int type;
    const char* value;
    std::string warning;
  } cases[] = {{0, "-5", negative}, {0, "5", ""},       {0, "0", ""},  {1, "5", positive}, {1, "-0.5", ""},
               {1, "0.25", positive}, {2, "-5", ""}, {2, "5", ""},  {0, "abc", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.value) + " type " + std::to_string(c.type));
    params.ExtractionType = c.type;
    SpikeExtractPropsDlg dialog(params, plots);
    dialog.show();
    Retype(Child<QLineEdit>(dialog, "thresholdEdit"), c.value);
    auto* warning = Child<QLabel>(dialog, "thresholdSignWarning");
    EXPECT_EQ(warning->text().toStdString(), c.warning);
    EXPECT_EQ(warning->isVisible(), !c.warning.empty());
    // The type chosen afterwards counts as well.
    Child<QComboBox>(dialog, "extractionTypeCombo")->setCurrentIndex(2);
    EXPECT_FALSE(warning->isVisible());
    Child<QComboBox>(dialog, "extractionTypeCombo")->setCurrentIndex(c.type);
    EXPECT_EQ(warning->text().toStdString(), c.warning);
  }
}

TEST_F(SpikeExtractPropsDlgTest, FractionalThresholdIsShownBackAndTheRunTruncatesIt) {
  test::FakeDataSourceManager sources;
  test::FakeSource source;
  source.path = "/d/p0.kcs";
  sources.sources.push_back(source);
  ExtractionRun run(sources);
  {
    SpikeExtractPropsDlg dialog(run.Parameters(), plots);
    dialog.show();
    Retype(Child<QLineEdit>(dialog, "thresholdEdit"), "12.9");
    Click(dialog, "okButton");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_DOUBLE_EQ(run.Parameters().Threshold, 12.9);
  SpikeExtractPropsDlg dialog(run.Parameters(), plots);
  dialog.show();
  EXPECT_EQ(Child<QLineEdit>(dialog, "thresholdEdit")->text(), "12.9");
  EXPECT_EQ(run.GatherSourceHeaderInfo({0}).at(0).ThreshVal, 12);
}

TEST_F(SpikeExtractPropsDlgTest, OkHandsModeTypeAndThresholdToEveryPlot) {
  params.ExtractionMode = 1;
  params.ExtractionType = 2;
  SpikeExtractPropsDlg dialog(params, plots);
  dialog.show();
  Retype(Child<QLineEdit>(dialog, "thresholdEdit"), "-7.5");
  Click(dialog, "okButton");
  for (const auto& plot : ownedPlots) {
    EXPECT_EQ(plot->extractionMode, 1);
    EXPECT_EQ(plot->extractionType, 2);
    EXPECT_DOUBLE_EQ(plot->extractionValue, -7.5);
  }
}

TEST_F(SpikeExtractPropsDlgTest, UnparsableNumbersBringThePromptAndKeepTheDialogOpen) {
  SpikeExtractPropsDlg dialog(params, plots);
  dialog.show();
  Retype(Child<QLineEdit>(dialog, "numChannelsEdit"), "two");
  test::CapturedReports reports;
  Click(dialog, "okButton");
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Please enter an integer.");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(params.NumChannels, 1);

  reports.Clear();
  Retype(Child<QLineEdit>(dialog, "numChannelsEdit"), "");
  Retype(Child<QLineEdit>(dialog, "thresholdEdit"), "12,5");
  Click(dialog, "okButton");
  ASSERT_EQ(reports.Count(), 1u);  // the threshold is read first; the empty count is not reached
  EXPECT_EQ(reports.Texts()[0], "Please enter a number.");
  EXPECT_DOUBLE_EQ(params.Threshold, 0.0);

  reports.Clear();
  Retype(Child<QLineEdit>(dialog, "thresholdEdit"), "nan");
  Click(dialog, "okButton");
  EXPECT_EQ(reports.CountOf("Please enter a number."), 1u);
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(SpikeExtractPropsDlgTest, BrowseStoresTheControlsThenTakesThePickedFolder) {
  chooser->answer = "/picked/folder";
  SpikeExtractPropsDlg dialog(params, plots);
  dialog.show();
  Retype(Child<QLineEdit>(dialog, "thresholdEdit"), "33");
  Retype(Child<QLineEdit>(dialog, "outputDirectoryEdit"), "/typed/start");
  Click(dialog, "browseButton");
  EXPECT_EQ(chooser->calls, 1);
  EXPECT_EQ(chooser->lastTitle, "Select a directory");
  EXPECT_EQ(chooser->lastStart, "/typed/start");
  EXPECT_DOUBLE_EQ(params.Threshold, 33.0);
  EXPECT_EQ(params.OutputDirectory, "/picked/folder");
  EXPECT_EQ(Child<QLineEdit>(dialog, "outputDirectoryEdit")->text(), "/picked/folder");
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(SpikeExtractPropsDlgTest, CancelledBrowseChangesNoFolder) {
  params.OutputDirectory = "/kept";
  SpikeExtractPropsDlg dialog(params, plots);
  dialog.show();
  Click(dialog, "browseButton");
  EXPECT_EQ(chooser->calls, 1);
  EXPECT_EQ(chooser->lastStart, "/kept");
  EXPECT_EQ(params.OutputDirectory, "/kept");
  EXPECT_EQ(Child<QLineEdit>(dialog, "outputDirectoryEdit")->text(), "/kept");
}


// Answers every number question with `answer` and keeps the questions.
class FakeNumberQuestions final : public UserQuestions {
 public:
  bool AskYesNo(const std::string&) override { return false; }
  int32_t AskChoice(const std::string&, const std::vector<std::string>&, int32_t) override { return -1; }
  std::optional<double> AskNumber(const std::string& question, double initial) override {
    asked.push_back(question);
    offered.push_back(initial);
    return answer;
  }
  std::optional<double> answer;
  std::vector<std::string> asked;
  std::vector<double> offered;
};

TEST_F(SpikeExtractPropsDlgTest, FromNoiseFillsTheValueWithKTimesTheLargestNoiseLevelOfTheOpenRecordings) {
  // Two recordings whose samples alternate +-40 and +-25 counts: median magnitudes 40 and 25.
  test::FakeDataSourceManager sources;
  test::FakePlotCollection shown;
  std::vector<std::unique_ptr<test::FakePlot>> owned;
  for (const int16_t level : {int16_t{25}, int16_t{40}}) {
    test::FakeSource source;
    source.path = "/rec/n" + std::to_string(level) + ".kcs";
    source.AddRecords(1'000'000, 16'000, 30);
    for (auto& record : source.samples) {
      for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<int16_t>(i % 2 == 0 ? level : -level);
    }
    sources.sources.push_back(std::move(source));
    owned.push_back(std::make_unique<test::FakePlot>(sources.sources.back().path, 31.25, 32000.0, 2047));
    shown.plots.push_back(owned.back().get());
  }
  sources.SealAll();
  ExtractionRun run(sources);
  auto questions = std::make_shared<FakeNumberQuestions>();
  const auto previous = UserQuestions::Install(questions);

  SpikeExtractPropsDlg dialog(params, plots);
  auto* button = Child<QPushButton>(dialog, "fromNoiseButton");
  EXPECT_EQ(button->text(), "From noise...");
  EXPECT_FALSE(button->isEnabled()) << "no recordings to measure yet";
  dialog.SetNoiseEstimate(
      [&](double k, double& level, std::string& refusal) {
        return run.NoiseThresholdOfChannels(PlotChannels::Of(shown), k, level, refusal);
      });
  ASSERT_TRUE(button->isEnabled());

  questions->answer = std::nullopt;  // cancelled: nothing changes
  Click(dialog, "fromNoiseButton");
  EXPECT_EQ(Child<QLineEdit>(dialog, "thresholdEdit")->text(), "0");
  questions->answer = 4.5;
  Click(dialog, "fromNoiseButton");
  EXPECT_EQ(Child<QLineEdit>(dialog, "thresholdEdit")->text().toStdString(),
            std::to_string(static_cast<int32_t>(4.5 * (40 / 0.6745))));
  EXPECT_EQ(questions->asked, std::vector<std::string>(2, SpikeExtractPropsDlg::kNoiseFactorQuestion));
  EXPECT_EQ(questions->offered, (std::vector<double>{5.0, 5.0}));
  Click(dialog, "fromNoiseButton");
  EXPECT_EQ(questions->offered.back(), 4.5) << "the last K is offered again";

  // The noise is that of the band chosen in the dialog, before OK: the Spike Band takes out the
  // alternation at half the sampling rate, so what is left is far below the raw level.
  SpikeExtractPropsDlg bound(run.Parameters(), plots);
  bound.SetNoiseEstimate(
      [&](double k, double& level, std::string& refusal) {
        return run.NoiseThresholdOfChannels(PlotChannels::Of(shown), k, level, refusal);
      });
  Child<QComboBox>(bound, "filterCombo")->setCurrentIndex(static_cast<int>(FilterChoice::Band::kSpike));
  Click(bound, "fromNoiseButton");
  EXPECT_LT(Child<QLineEdit>(bound, "thresholdEdit")->text().toInt(), 4.5 * 25 / 0.6745);
  bound.reject();
  EXPECT_EQ(run.Parameters().Filter, FilterChoice()) << "Cancel leaves the band as it was";

  // Without samples the value stays and the user is told why.
  test::FakeDataSourceManager empty;
  ExtractionRun nothing(empty);
  dialog.SetNoiseEstimate(
      [&](double k, double& level, std::string& refusal) {
        return nothing.NoiseThresholdOfChannels(PlotChannels::Of(plots), k, level, refusal);
      });
  test::CapturedReports reports;
  const QString before = Child<QLineEdit>(dialog, "thresholdEdit")->text();
  Click(dialog, "fromNoiseButton");
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"No samples to estimate the noise level from"});
  EXPECT_EQ(Child<QLineEdit>(dialog, "thresholdEdit")->text(), before);
  UserQuestions::Install(previous);
}

// A band that cannot apply to a recording (the Spike Band above a 1 kHz recording's half rate) is not
// measured as raw noise instead: the user is told why and the value stays.
TEST_F(SpikeExtractPropsDlgTest, FromNoiseSaysSoWhenTheBandCannotApply) {
  test::FakeDataSourceManager sources;
  test::FakePlotCollection shown;
  test::FakeSource source;
  source.path = "/rec/slow.kcs";
  source.AddRecords(1'000'000, 512'000, 30);
  for (auto& record : source.samples) {
    for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<int16_t>(i % 2 == 0 ? 30 : -30);
  }
  sources.sources.push_back(std::move(source));
  test::FakePlot plot(sources.sources.back().path, 1000.0, 1000.0, 2047);
  shown.plots.push_back(&plot);
  sources.SealAll();
  ExtractionRun run(sources);
  auto questions = std::make_shared<FakeNumberQuestions>();
  questions->answer = 4.0;
  const auto previous = UserQuestions::Install(questions);
  SpikeExtractPropsDlg dialog(run.Parameters(), plots);
  dialog.SetNoiseEstimate([&](double k, double& level, std::string& refusal) {
    return run.NoiseThresholdOfChannels(PlotChannels::Of(shown), k, level, refusal);
  });
  const QString before = Child<QLineEdit>(dialog, "thresholdEdit")->text();
  test::CapturedReports reports;
  Child<QComboBox>(dialog, "filterCombo")->setCurrentIndex(static_cast<int>(FilterChoice::Band::kNone));
  Click(dialog, "fromNoiseButton");
  EXPECT_TRUE(reports.Empty());
  EXPECT_EQ(Child<QLineEdit>(dialog, "thresholdEdit")->text().toStdString(), std::to_string(static_cast<int32_t>(4.0 * 30 / 0.6745)));
  Child<QLineEdit>(dialog, "thresholdEdit")->setText(before);
  Child<QComboBox>(dialog, "filterCombo")->setCurrentIndex(static_cast<int>(FilterChoice::Band::kSpike));
  Click(dialog, "fromNoiseButton");
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts().front(),
            "The noise level was not measured: the band filter cannot apply to a recording: Filter low cut-off: "
            "600 Hz is not inside (0, 500) Hz, above 0 and below half the sampling rate: /rec/slow.kcs");
  EXPECT_EQ(Child<QLineEdit>(dialog, "thresholdEdit")->text(), before);
  dialog.reject();
  UserQuestions::Install(previous);
}

// The band filter: a Custom band that does not parse, or that a plot's recording cannot take, is
// refused with a message naming the field and the dialog stays open; the named bands show their
// fixed cut-offs; what OK took is shown again at the next opening.
TEST_F(SpikeExtractPropsDlgTest, BandFilterIsRefusedByItsFieldBeforeOkAndShownAgain) {
  SpikeExtractPropsDlg dialog(params, plots);
  dialog.show();
  auto* filter = Child<QComboBox>(dialog, "filterCombo");
  auto* low = Child<QLineEdit>(dialog, "lowCutOffEdit");
  auto* high = Child<QLineEdit>(dialog, "highCutOffEdit");
  ASSERT_EQ(filter->count(), 4);
  EXPECT_EQ(filter->currentText(), "None");
  filter->setCurrentIndex(3);
  EXPECT_FALSE(low->isReadOnly());
  test::CapturedReports reports;
  Retype(low, "abc");
  Click(dialog, "okButton");
  Retype(low, "300");
  Retype(high, "20000");
  Click(dialog, "okButton");
  EXPECT_EQ(reports.Texts(),
            (std::vector<std::string>{"Filter low cut-off: \"abc\" is not a number of hertz",
                                      "Filter high cut-off: 20000 Hz is not inside (0, 16000) Hz, above 0 and below "
                                      "half the sampling rate: /d/p0.kcs"}));
  EXPECT_TRUE(dialog.isVisible());

  reports.Clear();
  Retype(high, "3000");
  Click(dialog, "okButton");
  EXPECT_TRUE(reports.Empty());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(params.Filter, FilterChoice::Custom(300.0, 3000.0));

  SpikeExtractPropsDlg again(params, plots);
  again.show();
  EXPECT_EQ(Child<QComboBox>(again, "filterCombo")->currentText(), "Custom");
  EXPECT_EQ(Child<QLineEdit>(again, "lowCutOffEdit")->text(), "300");
  EXPECT_EQ(Child<QLineEdit>(again, "highCutOffEdit")->text(), "3000");
  Child<QComboBox>(again, "filterCombo")->setCurrentIndex(1);
  EXPECT_EQ(Child<QLineEdit>(again, "lowCutOffEdit")->text(), "600");
  EXPECT_EQ(Child<QLineEdit>(again, "highCutOffEdit")->text(), "6000");
  EXPECT_TRUE(Child<QLineEdit>(again, "highCutOffEdit")->isReadOnly());
  Click(again, "okButton");
  EXPECT_EQ(params.Filter, FilterChoice::Spike());
}

}  // namespace
}  // namespace skelvane
