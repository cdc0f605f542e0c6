// Spikes in the window over a synthetic tetrode: Show Detected Spikes counts the spike file's spikes
// in view and N and P step through them; a spike file opens in a Spikes panel beside its recordings,
// points out a spike's time and centres the traces on a click; a bad spike file is refused with a
// message naming it and what is wrong, and nothing else closes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/CommandIds.h"
#include "app/DetectedSpikes.h"
#include "app/SpikePanels.h"
#include "app/SpikesPanel.h"
#include "app/SpikesPicture.h"
#include "app/StatusBar.h"
#include "app/WindowCommands.h"
#include "display/PlotChannels.h"
#include "extract/ExtractionRun.h"
#include "platform/FileChooser.h"
#include "spikes/SpikePanelViews.h"
#include "spikes/SpikeFile.h"
#include "tests/app/FakeFileChooser.h"
#include "tests/app/RealWindowHarness.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

class SpikesInWindow : public test::RealWindowHarness {
 protected:
  // Extracts the open tetrode with the window's own run; the spike file's path (its times in peaks).
  std::string Extract() { return ExtractTetrode(out.Path(), peaks); }
  // Lets the window handle what the workers sent it until `done` holds (at most five seconds).
  static bool Until(const std::function<bool()>& done) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < give_up) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
  }
  // The time in the middle of the view: where centring on a spike puts it.
  int64_t Centre() const {
    const int32_t width = view.CanvasWidth - canvas.GetDataAxisWidth();
    int64_t middle = 0;
    EXPECT_EQ(PlotCanvas::GetTimeForPixel(width / 2, width, view.VisibleSpan, view.VisibleStart, middle), 0);
    return middle;
  }
  int64_t InView() const {
    return std::count_if(peaks.begin(), peaks.end(), [this](int64_t t) {
      return t >= view.VisibleStart && t < view.VisibleStart + view.VisibleSpan;
    });
  }
  void Run(int32_t command) { window->Commands()->Run(command); }

  test::TempDir out;
  std::vector<int64_t> peaks;
};

TEST_F(SpikesInWindow, ShowDetectedSpikesCountsTheSpikeFilesSpikesInView) {
  Start();
  OpenTetrode();
  Extract();
  ASSERT_GT(peaks.size(), 10u);
  Key(Qt::Key_D, Qt::ControlModifier);
  ASSERT_TRUE(window->Detected()->Shown());
  EXPECT_TRUE(window->CommandAction(commands::kShowDetectedSpikes)->isChecked());
  const auto counted = [this] {
    return window->Status()->SpikeCountLabelText().toStdString() == StatusBar::SpikeCountText(InView(), true);
  };
  EXPECT_TRUE(Until(counted)) << window->Status()->SpikeCountLabelText().toStdString();
  // Zoomed in to a second in the middle, the count follows the view.
  view.VisibleSpan = 1'000'000;
  view.VisibleStart = peaks[peaks.size() / 2] - 400'000;
  window->Redraw();
  EXPECT_TRUE(Until(counted)) << window->Status()->SpikeCountLabelText().toStdString();
  Run(commands::kShowDetectedSpikes);
  EXPECT_FALSE(window->Detected()->Shown());
  EXPECT_TRUE(window->Status()->SpikeCountLabelText().isEmpty());
}

TEST_F(SpikesInWindow, NAndPCentreTheNextAndPreviousSpike) {
  Start();
  OpenTetrode();
  Extract();
  ASSERT_GT(peaks.size(), 10u);
  Run(commands::kShowDetectedSpikes);
  // A 50 ms view: most steps go beyond the marks found for it.
  view.VisibleSpan = 50'000;
  view.VisibleStart = peaks[2] - 10'000;
  window->Redraw();
  const int64_t from = Centre();
  auto next = std::upper_bound(peaks.begin(), peaks.end(), from);
  for (int step = 0; step < 4; ++step, ++next) {
    Key(Qt::Key_N);
    ASSERT_TRUE(Until([&] { return Centre() == *next; })) << "step " << step << ": centre " << Centre();
  }
  --next;
  for (int step = 0; step < 3; ++step) {
    Key(Qt::Key_P);
    --next;
    ASSERT_TRUE(Until([&] { return Centre() == *next; })) << "back " << step << ": centre " << Centre();
  }
}

TEST_F(SpikesInWindow, ASpikeFileOpensInAPanelBesideItsRecordingsAndAClickCentresItsSpike) {
  Start();
  OpenTetrode();
  const std::string spikeFile = Extract();
  test::CapturedReports reports;
  // Dropped together with a recording of another name, told apart by its header.
  const std::string renamed = out.File("tetrode-spikes.dat");
  std::filesystem::copy_file(spikeFile, renamed);
  window->OnDropFiles({renamed});
  ASSERT_EQ(window->SpikeFilePanels()->Panels().size(), 1u);
  SpikesPanel& panel = *window->SpikeFilePanels()->Panels().front();
  panel.WaitForLoad();
  ASSERT_TRUE(panel.Loaded());
  EXPECT_EQ(panel.Views().Statistics().count, static_cast<int64_t>(peaks.size()));
  EXPECT_EQ(panel.InfoText().toStdString(), "Drawing " + std::to_string(std::min<size_t>(peaks.size(), 2000)) +
                                                " of " + std::to_string(peaks.size()) + " spikes");
  EXPECT_EQ(panel.ChannelChooser()->count(), 4);
  EXPECT_EQ(panel.PairChooser()->count(), 6);
  panel.PairChooser()->setCurrentIndex(2);
  QCoreApplication::processEvents();
  ASSERT_FALSE(panel.Picture()->Image().isNull());

  // The middle of the scatter (the second view) holds the spike nearest a point of the subset.
  const SpikePanelViews::Choice choice{panel.ChannelChooser()->currentIndex(), 2};
  const int w = panel.Picture()->width();
  const int h = panel.Picture()->height();
  const SpikeFigureLayout::View scatter = panel.Views().Views(w, h, choice)[1];
  const SpikeSubset& subset = panel.Views().Subset();
  const int64_t k = subset.Size() / 3;
  const QPoint at(static_cast<int>(SpikeFigureLayout::PixelX(scatter, subset.Peak(k, scatter.channel))),
                  static_cast<int>(SpikeFigureLayout::PixelY(scatter, subset.Peak(k, scatter.otherChannel))));
  const int64_t pointed = panel.Views().SpikeAt(w, h, choice, at.x(), at.y());
  ASSERT_GE(pointed, 0);
  SendMouse(*panel.Picture(), QEvent::MouseMove, at);
  EXPECT_TRUE(panel.InfoText().startsWith(QStringLiteral("Spike %1 of %2 at ").arg(subset.FileIndex(pointed) + 1).arg(peaks.size())))
      << panel.InfoText().toStdString();
  // Zoomed in to a second, the click centres the traces on the spike.
  view.VisibleSpan = 1'000'000;
  window->Redraw();
  SendMouse(*panel.Picture(), QEvent::MouseButtonPress, at, Qt::LeftButton);
  SendMouse(*panel.Picture(), QEvent::MouseButtonRelease, at, Qt::LeftButton);
  EXPECT_EQ(Centre(), static_cast<int64_t>(subset.Timestamp(pointed)));
  EXPECT_TRUE(reports.Empty()) << reports.Texts().front();

  // Limited to the visible span, the panel draws the spikes in it.
  panel.SpanSwitch()->setChecked(true);
  panel.WaitForLoad();
  EXPECT_EQ(panel.Views().Subset().ChosenFrom(), InView());
  EXPECT_EQ(plots.GetNumPlots(), 4);
}

// Spike files opened one after another share the height beside the traces while each panel has room
// for its views (the second was left a sliver of 20 pixels), then go into tabs; their channels go by
// their recordings' names; File > Open Spike Files starts where Create Spike File wrote them.
TEST_F(SpikesInWindow, PanelsShareTheHeightNameTheirChannelsAfterTheRecordingsAndAreChosenWhereWritten) {
  Start();
  const QSize started = window->size();
  window->resize(started.width(), started.height() + 500);
  OpenTetrode();
  const std::string spikeFile = Extract();
  const std::string copy = out.File("copy.ktt");
  std::filesystem::copy_file(spikeFile, copy);
  auto chooser = std::make_shared<test::FakeFileChooser>();
  chooser->openPaths = std::vector<std::string>{spikeFile, copy};
  const std::shared_ptr<FileChooser> previous = FileChooser::Install(chooser);
  Run(commands::kOpenSpikeFiles);
  FileChooser::Install(previous);
  EXPECT_EQ(chooser->openInitialNames, std::vector<std::string>{out.Path()});

  const std::vector<SpikesPanel*> panels = window->SpikeFilePanels()->Panels();
  ASSERT_EQ(panels.size(), 2u);
  const int smallest = SpikePanelViews::SmallestHeight(4);
  for (SpikesPanel* panel : panels) panel->WaitForLoad();
  QCoreApplication::processEvents();
  for (SpikesPanel* panel : panels) {
    EXPECT_GE(panel->Picture()->height(), smallest);
    EXPECT_FALSE(panel->Picture()->Image().isNull());
    EXPECT_TRUE(window->tabifiedDockWidgets(panel).isEmpty());
  }
  // The shares are laid out once the docks are.
  EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(panels[0]->height() - panels[1]->height()) <= 2; }, 2000))
      << panels[0]->height() << " and " << panels[1]->height();

  QComboBox& channels = *panels[0]->ChannelChooser();
  ASSERT_EQ(channels.count(), 4);
  EXPECT_EQ(channels.itemText(0).toStdString(), "TT1a");
  EXPECT_EQ(channels.itemText(3).toStdString(), "TT1d");
  EXPECT_EQ(panels[0]->PairChooser()->itemText(0).toStdString(), "TT1a vs TT1b");
  const SpikeFigureLayout::View waveforms =
      panels[0]->Views().Views(panels[0]->Picture()->width(), panels[0]->Picture()->height(), {3, 0}).front();
  EXPECT_TRUE(waveforms.title.starts_with("TT1d: ")) << waveforms.title;

  // Back at the first size a third panel has no room beside the others: it opens in a tab.
  window->resize(started);
  QCoreApplication::processEvents();
  ASSERT_TRUE(window->SpikeFilePanels()->Open(spikeFile));
  SpikesPanel* third = window->SpikeFilePanels()->Panels().back();
  third->WaitForLoad();
  QCoreApplication::processEvents();
  EXPECT_FALSE(window->tabifiedDockWidgets(third).isEmpty());
  EXPECT_GE(third->Picture()->height(), smallest);
}

TEST_F(SpikesInWindow, AClickWithNoRecordingOfTheSpikeOpenSaysSo) {
  Start();
  OpenTetrode();
  const std::string spikeFile = Extract();
  for (int32_t i = plots.GetNumPlots() - 1; i >= 0; --i) plots.RemovePlot(i);
  ASSERT_TRUE(window->SpikeFilePanels()->Open(spikeFile));
  SpikesPanel& panel = *window->SpikeFilePanels()->Panels().front();
  panel.WaitForLoad();
  const int64_t before = view.VisibleStart;
  EXPECT_FALSE(window->SpikeFilePanels()->CentreOn(panel.File().Header().SourceFiles(), peaks.front()));
  EXPECT_EQ(view.VisibleStart, before);
}

TEST_F(SpikesInWindow, BadSpikeFilesAreRefusedByNameAndNothingElseCloses) {
  Start();
  OpenTetrode();
  const std::string good = Extract();
  std::ifstream in(good, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto write = [&](const std::string& name, const std::string& contents) {
    std::ofstream(out.File(name), std::ios::binary) << contents;
    return out.File(name);
  };
  std::string wrongSize = bytes;
  wrongSize.replace(wrongSize.find("-RecordSize  304"), 16, "-RecordSize  176");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {write("short.ktt", bytes.substr(0, 9000)), "Not a spike file, it ends inside its 16384-byte header; file size in bytes: 9000"},
      {write("stereo.ktt", wrongSize),
       "Spike record size does not match the file's extension: a .ktt file holds 4 channels (RecordSize 304); "
       "RecordSize = 176"},
      {write("noise.kse", std::string(20000, '\x5a')), "Not a spike file, it has no Kestrelon header:"},
  };
  for (const auto& [path, message] : cases) {
    test::CapturedReports reports;
    window->OnDropFiles({path});
    ASSERT_EQ(reports.Count(), 1u) << path;
    EXPECT_EQ(reports.Texts()[0], message + std::string(message.ends_with(':') ? " " : ": ") + path);
  }
  EXPECT_TRUE(window->SpikeFilePanels()->Panels().empty());
  EXPECT_EQ(plots.GetNumPlots(), 4);
  EXPECT_TRUE(window->isVisible());
}

}  // namespace
}  // namespace skelvane
