// Saving then opening a session draws the same picture, byte for byte: a property over random
// sessions (plot order, heights, gains, colours, display filters, view, scroll, axes, cursors,
// markers, threshold lines) on recordings of every kind of signal, through the restore the window and
// `snapshot --session` use.
#include "session/SessionRestore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "display/CanvasSnapshot.h"
#include "display/CscPlot.h"
#include "display/IPlot.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/TimeCursors.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"
#include "filter/FilterChoice.h"
#include "platform/MemoryBitmap.h"
#include "platform/PathHelpers.h"
#include "session/SessionFile.h"
#include "session/SessionPaths.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

constexpr int32_t kWidth = 700;
constexpr int32_t kHeight = 420;

class SessionRestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Spiky noise, slow waves of hundreds of counts, full-scale noise and a flat line.
    Make("TT1", 2, [](SynthOptions&) {});
    Make("LF", 1, [](SynthOptions& o) { o.oscillation = {3.0, 600.0}; });
    Make("NZ", 1, [](SynthOptions& o) { o.fullScaleNoise = true; });
    Make("FL", 1, [](SynthOptions& o) {
      o.noiseCounts = 0.0;
      o.units = 0;
    });
  }

  template <typename Adjust>
  void Make(const char* prefix, int32_t channels, Adjust adjust) {
    SynthOptions o;
    o.outDir = dir.Path();
    o.prefix = prefix;
    o.channels = channels;
    o.seconds = 3.0;
    o.seed = 3;
    adjust(o);
    SynthResult made;
    ASSERT_EQ(SyntheticRecording::Generate(o, made), 0);
    files.insert(files.end(), made.paths.begin(), made.paths.end());
  }

  static MemoryBitmap Render(const std::vector<std::string>& paths, SnapshotArrangement arrange) {
    SnapshotOptions options;
    options.files = paths;
    options.width = kWidth;
    options.height = kHeight;
    options.keepSummaries = false;
    options.arrange = std::move(arrange);
    MemoryBitmap frame;
    EXPECT_EQ(CanvasSnapshot::Render(options, frame), 0);
    return frame;
  }

  test::TempDir dir;
  std::vector<std::string> files;
};

// Sets everything a session holds to random values, as a user would through the window.
void Scramble(std::mt19937_64& random, IPlotCanvas& canvas, ViewState& view, IPlotCollection& plots,
              ExtractionParameters& extraction) {
  const auto pick = [&random](int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(random);
  };
  extraction.ExtractionMode = static_cast<int32_t>(pick(0, 1));
  extraction.ExtractionType = static_cast<int32_t>(pick(0, 2));
  extraction.Threshold = static_cast<double>(pick(1, 400));
  for (int32_t i = 0; i < plots.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    ASSERT_EQ(plots.GetPlot(i, plot), 0);
    plot->SetHeight(static_cast<int32_t>(pick(50, 260)));
    canvas.SetAmplitudeGain(plot->GetPath(), std::ldexp(1.0, static_cast<int>(pick(-2, 4))));
    auto& csc = dynamic_cast<CscPlot&>(*plot);
    csc.Properties().traceColour = static_cast<uint32_t>(pick(0, 0xFFFFFF));
    // The plot's display filter: None, a named band, or a Custom band with either side open.
    const std::optional<double> low = pick(0, 2) == 0 ? std::nullopt : std::optional<double>(pick(5, 900));
    const std::optional<double> high = pick(0, 2) == 0 && low ? std::nullopt : std::optional<double>(pick(1000, 9000));
    const FilterChoice filters[] = {FilterChoice(), FilterChoice::Spike(), FilterChoice::Lfp(), FilterChoice::Custom(low, high)};
    std::string refusal;
    ASSERT_TRUE(csc.SetFilter(filters[pick(0, 3)], refusal)) << refusal;
    // As the Properties dialog's OK leaves them.
    plot->SetExtractionMode(extraction.ExtractionMode);
    plot->SetExtractionType(extraction.ExtractionType);
    plot->SetExtractionValue(extraction.Threshold);
  }
  ViewModel model(view, canvas, plots);
  model.SetVisibleSpan(pick(2'000, view.DataDuration));
  model.ScrollTo(pick(view.DataStart, view.DataEnd));
  model.ScrollStackBy(-pick(0, 400));
  model.UpdateVerticalScroll();
  canvas.SetTimeLabelStyle(static_cast<IPlotCanvas::TimeLabelStyle>(pick(0, 2)));
  canvas.SetDataAxisInMicrovolts(pick(0, 1) == 1);
  canvas.SetShowScaleBars(pick(0, 1) == 1);
  const auto inView = [&] { return view.VisibleStart + pick(0, view.VisibleSpan - 1); };
  if (pick(0, 1)) canvas.Cursors()->Set(TimeCursors::Cursor::A, inView());
  if (pick(0, 1)) canvas.Cursors()->Set(TimeCursors::Cursor::B, inView());
  const char* texts[] = {"", "onset", "electrode moved", "noise from 1:02:00"};
  for (int64_t n = pick(1, 12); n > 0; --n) {
    canvas.Markers()->Add({inView(), pick(0, 1) ? "" : (pick(0, 1) ? "TT1b" : "NZa"), texts[pick(0, 3)]});
  }
}

TEST_F(SessionRestoreTest, SavedThenOpenedDrawsTheSamePicture) {
  std::mt19937_64 random(17);
  const MemoryBitmap plain = Render(files, {});
  for (int round = 0; round < 6; ++round) {
    std::vector<std::string> order = files;
    std::shuffle(order.begin(), order.end(), random);
    std::string text;
    const MemoryBitmap saved = Render(order, [&](IPlotCanvas& canvas, ViewState& view, IPlotCollection& plots) {
      ExtractionParameters extraction;
      Scramble(random, canvas, view, plots, extraction);
      text = SessionFile::Text(SessionRestore::Capture(canvas, view, plots, extraction, dir.Path()));
    });

    Session session;
    std::vector<std::string> problems;
    ASSERT_EQ(SessionFile::Parse(text, session, problems), SessionFile::Outcome::Read);
    ASSERT_TRUE(problems.empty()) << problems.front();
    std::vector<std::string> paths;
    for (const Session::Recording& r : session.recordings) {
      EXPECT_EQ(r.path, FileNameOf(r.path)) << "stored relative to the session's folder";
      paths.push_back(SessionPaths::Resolved(r.path, dir.Path()));
    }
    EXPECT_EQ(paths, order);
    const MemoryBitmap opened = Render(paths, [&](IPlotCanvas& canvas, ViewState& view, IPlotCollection& plots) {
      std::vector<std::string> restoreProblems;
      SessionRestore::ApplyDisplay(session, paths, canvas, view, plots, restoreProblems);
      EXPECT_TRUE(restoreProblems.empty());
    });
    ASSERT_EQ(saved.SizeInBytes(), opened.SizeInBytes());
    EXPECT_EQ(std::memcmp(saved.Bits(), opened.Bits(), saved.SizeInBytes()), 0) << "round " << round << "\n" << text;
    EXPECT_NE(std::memcmp(saved.Bits(), plain.Bits(), saved.SizeInBytes()), 0) << "the session changed nothing";
  }
}

TEST_F(SessionRestoreTest, NoMarkersDrawTheSamePictureAsBefore) {
  // Markers all outside the view draw nothing: the picture is the one without any.
  const MemoryBitmap plain = Render(files, {});
  const MemoryBitmap outside = Render(files, [](IPlotCanvas& canvas, ViewState& view, IPlotCollection&) {
    canvas.Markers()->Add({view.DataStart - 10, "", "before"});
    canvas.Markers()->Add({view.VisibleStart + view.VisibleSpan, "", "after"});
  });
  const MemoryBitmap inside = Render(files, [](IPlotCanvas& canvas, ViewState& view, IPlotCollection&) {
    canvas.Markers()->Add({view.VisibleStart + view.VisibleSpan / 2, "", "here"});
  });
  ASSERT_EQ(plain.SizeInBytes(), outside.SizeInBytes());
  EXPECT_EQ(std::memcmp(plain.Bits(), outside.Bits(), plain.SizeInBytes()), 0);
  EXPECT_NE(std::memcmp(plain.Bits(), inside.Bits(), plain.SizeInBytes()), 0);
}

}  // namespace
}  // namespace skelvane
