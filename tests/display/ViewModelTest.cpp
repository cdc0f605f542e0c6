// The view arithmetic the window and the snapshot share, tested as properties over random views:
// zooming and zooming back comes back to the very view, every operation the window performs keeps
// the view's invariants, zooming about the mouse keeps the time under it, centring puts the time on
// the middle column, and the snapshot sets up the view the window shows.
#include "display/ViewModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "display/CanvasSnapshot.h"
#include "display/PlotCanvas.h"
#include "display/ViewState.h"
#include "columns/TimeColumns.h"
#include "tests/support/FakePlotCollection.h"

namespace skelvane {
namespace {

// The manager pads the sources' range by a second each side, so the data spans more than the widest
// canvas (10000 pixels) and the span never has to be widened to one microsecond per pixel.
constexpr int64_t kShortestData = 2'000'000;
constexpr int32_t kTrials = 400;

// A window's view over a random stack of plots, with random canvas settings.
class RandomView {
 public:
  explicit RandomView(uint64_t seed) : random_(seed) {
    for (int32_t i = Uniform(0, 12); i > 0; --i) AddPlot();
    canvas.SetShowDataAxis(Uniform(0, 1));
    canvas.SetShowTimeAxis(Uniform(0, 1));
    canvas.Properties().zoomFactor = Uniform(2, 5);
    model.Resize(Uniform(60, 3000), Uniform(60, 2000));
    const int64_t start = Uniform(-1'000'000'000'000, 1'000'000'000'000);
    model.UpdateTimeRange(start, start + Uniform(kShortestData, 1'000'000'000'000));
    model.UpdateHorizontalScroll();
    model.UpdateVerticalScroll();
    model.SetVisibleSpan(Uniform(view.CanvasWidth, view.DataDuration));
    model.ScrollTo(Uniform(view.DataStart, view.DataEnd));
  }

  int64_t Uniform(int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random_); }
  int32_t Pick(int32_t low, int32_t high) { return static_cast<int32_t>(Uniform(low, high)); }
  ViewModel::Scroll Action() { return static_cast<ViewModel::Scroll>(Pick(0, 7)); }
  int32_t PlotWidth() const { return view.CanvasWidth - canvas.GetDataAxisWidth(); }
  int64_t StackHeight() const { return int64_t{plots.GetTotalHeight()} + canvas.GetTimeAxisHeight(); }
  void AddPlot() {
    plots.CreatePlot("p", test::FakePlotCollection::kCscType, "/p" + std::to_string(plots.GetNumPlots()));
    plots.Plot(plots.GetNumPlots() - 1).SetHeight(Pick(50, 600));
  }

  // One thing the window does, followed by the scrollbar update the window makes after it; its name.
  std::string RandomStep() {
    const std::string what = Step();
    if (view.VisibleSpan <= view.DataDuration) spanAboveData_ = 0;
    return what;
  }

  // What every step leaves true; empty when it holds, else what broke.
  std::string BrokenInvariant() const {
    const ViewState& v = view;
    if (v.ScrollBottom != v.ScrollTop - v.CanvasHeight) return "bottom edge not under the top";
    if (v.ScrollTop > 0) return "stack scrolled below its top";
    if (v.ScrollTop != 0 && v.ScrollBottom < -StackHeight()) return "stack scrolled past its bottom";
    if (v.DataDuration != v.DataEnd - v.DataStart) return "duration is not the data's";
    if (v.VisibleSpan < PlotWidth()) return "less than a microsecond per column";
    if (v.VisibleSpan > std::max(v.DataDuration, spanAboveData_)) return "span longer than the data";
    // A span left longer than the data cannot lie inside it: the window places it by the end rule.
    if (v.VisibleSpan > v.DataDuration) return {};
    if (v.VisibleStart > v.DataEnd - v.VisibleSpan + 1) return "span past the end of the data";
    if (v.VisibleStart < v.DataStart) return "start before the data";
    return {};
  }

  ViewState view;
  test::FakePlotCollection plots;
  PlotCanvas canvas{view, nullptr, &plots, nullptr};
  ViewModel model{view, canvas, plots};

 private:
  std::string Step() {
    const auto x = Pick(-10, view.CanvasWidth + 10);
    switch (Pick(0, 13)) {
      case 0:
        model.Resize(Uniform(60, 3000), Uniform(60, 2000));
        Update();
        return "resize";
      case 1: {
        const int64_t start = Uniform(-1'000'000'000'000, 1'000'000'000'000);
        model.UpdateTimeRange(start, start + Uniform(kShortestData, 1'000'000'000'000));
        Update();
        // Closing the longest source leaves the span as it was until the next zoom out.
        if (view.VisibleSpan > view.DataDuration) spanAboveData_ = view.VisibleSpan;
        return "time range";
      }
      case 2:
        if (model.ScrollHorizontally(Action(), Uniform(0, ViewModel::kScrollRange))) {
          model.UpdateHorizontalScroll();
        }
        return "horizontal scroll";
      case 3:
        model.ScrollVertically(Action(), Uniform(0, ViewModel::kScrollRange));
        model.UpdateVerticalScroll();
        return "vertical scroll";
      case 4:
        model.ScrollStackBy(Uniform(-500, 500));
        model.UpdateVerticalScroll();
        return "scroll stack";
      case 5:
        if (Uniform(0, 1) == 0 ? model.PageUp() : model.PageDown()) model.UpdateVerticalScroll();
        return "page";
      case 6:
        if ((Uniform(0, 1) == 0 ? model.ZoomIn() : model.ZoomOut()) == 0) model.UpdateHorizontalScroll();
        return "zoom";
      case 7:
        // The window keeps the band's end inside its client area, scrollbar included.
        if (model.ZoomToBand(x, Uniform(0, 3) == 0 ? x : Pick(0, view.CanvasWidth + 14))) {
          model.UpdateHorizontalScroll();
        }
        return "rubber band";
      case 8:
        if (model.ZoomOutAbout(x)) model.UpdateHorizontalScroll();
        return "shift-click";
      case 9:
        if (model.ZoomTimeAbout(x, Pick(-3, 3))) model.UpdateHorizontalScroll();
        return "wheel zoom";
      case 10:
        model.SetVisibleSpan(view.DataDuration);
        model.ScrollTo(view.DataStart);
        return "whole recording";
      case 11:
        model.CentreOn(Uniform(view.DataStart - view.DataDuration, view.DataEnd + view.DataDuration));
        model.UpdateHorizontalScroll();
        return "go to time";
      case 12:
        model.FitPlotsToWindow(50);
        model.UpdateVerticalScroll();
        return "fit plots to window";
      default:
        AddPlot();
        model.UpdateVerticalScroll();
        return "plot added";
    }
  }

  void Update() {
    model.UpdateHorizontalScroll();
    model.UpdateVerticalScroll();
  }

  std::mt19937_64 random_;
  int64_t spanAboveData_ = 0;  // the span a shrunken range left standing, until it fits again
};

// ---- Zoom ------------------------------------------------------------------------------------

class ViewModelZoom : public ::testing::Test {
 protected:
  void SetUp() override {
    ViewState& v = view;
    v.CanvasWidth = 1040;  // a plot area of 1000 columns beside the 40-pixel data axis
    v.CanvasHeight = 300;
    v.DataStart = 0;
    v.DataEnd = 1'000'000;
    v.DataDuration = 1'000'000;
    v.VisibleStart = 0;
    v.VisibleSpan = 1'000'000;
    canvas.SetMinimumSpan(1000);
  }
  ViewState view;
  test::FakePlotCollection plots;
  PlotCanvas canvas{view, nullptr, &plots, nullptr};
  ViewModel model{view, canvas, plots};
};

TEST_F(ViewModelZoom, ZoomInHalvesTheSpanAroundTheMiddleColumn) {
  ViewState& v = view;
  ASSERT_EQ(model.ZoomIn(), 0);
  EXPECT_EQ(v.VisibleSpan, 500'000);
  // The middle column (500) covers 500000..500999; its middle time stays in the middle.
  EXPECT_EQ(v.VisibleStart, 500'499 - 250'000);
}

TEST_F(ViewModelZoom, ZoomInStopsAtTheMinimumSpan) {
  ViewState& v = view;
  v.VisibleSpan = 1500;
  v.VisibleStart = 10'000;
  ASSERT_EQ(model.ZoomIn(), 0);
  EXPECT_EQ(v.VisibleSpan, 1000);  // 750 would be below the minimum
  const ViewState before = v;
  EXPECT_EQ(model.ZoomIn(), -1);
  EXPECT_EQ(v.VisibleSpan, before.VisibleSpan);
  EXPECT_EQ(v.VisibleStart, before.VisibleStart);
}

TEST_F(ViewModelZoom, ZoomOutAtTheFullDurationChangesNothing) {
  ViewState& v = view;
  v.VisibleStart = 123;
  EXPECT_EQ(model.ZoomOut(), -1);
  EXPECT_EQ(v.VisibleSpan, 1'000'000);
  EXPECT_EQ(v.VisibleStart, 123);
}

TEST_F(ViewModelZoom, ZoomOutIsBoundedByTheDataRange) {
  ViewState& v = view;
  v.VisibleSpan = 400'000;
  v.VisibleStart = 550'000;  // near the end: doubling around the middle would pass DataEnd
  ASSERT_EQ(model.ZoomOut(), 0);
  EXPECT_EQ(v.VisibleSpan, 800'000);
  EXPECT_EQ(v.VisibleStart, 200'000);
  v.VisibleSpan = 300'000;
  v.VisibleStart = 0;  // near the start: the start is raised to DataStart
  ASSERT_EQ(model.ZoomOut(), 0);
  EXPECT_EQ(v.VisibleSpan, 600'000);
  EXPECT_EQ(v.VisibleStart, 0);
  ASSERT_EQ(model.ZoomOut(), 0);
  EXPECT_EQ(v.VisibleSpan, 1'000'000);  // not more than the duration
  EXPECT_EQ(v.VisibleStart, 0);
}

TEST_F(ViewModelZoom, ZoomFactorBelowTwoFromASettingsFileCannotLoopOrDivideByZero) {
  ViewState& v = view;
  v.VisibleSpan = 500'000;
  canvas.Properties().zoomFactor = 0;
  EXPECT_EQ(model.ZoomIn(), -1);
  EXPECT_EQ(model.ZoomOut(), -1);
  canvas.Properties().zoomFactor = 1;
  EXPECT_EQ(model.ZoomIn(), -1);
  EXPECT_EQ(v.VisibleSpan, 500'000);
}

// Zooming in divides the span and drops the remainder (10 s / 2^8 is 39062 us, and 256 of those are
// 9.999872 s), and each step holds the middle time only to a column: yet the same number of steps
// back, as the keys take them, returns to the very view, either way round.
TEST(ViewModelProperties, ZoomingAndZoomingBackByTheSameStepsReturnsTheViewExactly) {
  int32_t uneven = 0;
  for (int32_t trial = 0; trial < kTrials; ++trial) {
    RandomView r(trial);
    if (trial % 4 == 0) {  // the window's first view: 10 s from the start
      r.model.SetVisibleSpan(10'000'000);
      r.model.ScrollTo(r.view.DataStart + r.Uniform(0, 1'000'000));
    }
    const ViewState before = r.view;
    const bool inFirst = r.Uniform(0, 1) == 0;
    const auto zoom = [&](bool in) {
      if ((in ? r.model.ZoomIn() : r.model.ZoomOut()) != 0) return false;
      r.model.UpdateHorizontalScroll();
      return true;
    };
    int32_t taken = 0;
    for (int32_t step = r.Pick(1, 12); step > 0; --step) taken += zoom(inFirst) ? 1 : 0;
    uneven += inFirst && before.VisibleSpan % r.canvas.Properties().zoomFactor != 0 && taken > 0 ? 1 : 0;
    for (int32_t step = 0; step < taken; ++step) ASSERT_TRUE(zoom(!inFirst)) << trial << " step back " << step;
    EXPECT_EQ(r.view.VisibleSpan, before.VisibleSpan) << trial;
    EXPECT_EQ(r.view.VisibleStart, before.VisibleStart) << trial;
  }
  EXPECT_GT(uneven, kTrials / 10);  // spans that do not divide evenly were among them
}

TEST(ViewModelProperties, EveryWindowOperationKeepsTheViewsInvariants) {
  for (int32_t trial = 0; trial < kTrials / 4; ++trial) {
    RandomView r(1000 + trial);
    ASSERT_EQ(r.BrokenInvariant(), "") << "set-up of trial " << trial;
    for (int32_t step = 0; step < 60; ++step) {
      const std::string what = r.RandomStep();
      ASSERT_EQ(r.BrokenInvariant(), "") << "trial " << trial << ", step " << step << ": " << what;
    }
  }
}

// Each step the window takes by a key or a wheel notch (a page either way, a zoom step by key or
// about the pointer, a stack page, the stack moved by a notch) shows the view it had or one of the
// views ahead, which it leaves as they are, each once and never the view itself.
TEST(ViewModelProperties, TheViewsAheadAreThoseTheNextStepShows) {
  int32_t found = 0;
  for (int32_t trial = 0; trial < kTrials / 4; ++trial) {
    const uint64_t seed = 7000 + trial;
    const int32_t walk = trial % 7;
    // The same view, zoom history and all, made again for every step tried from it.
    const auto made = [&] {
      auto r = std::make_unique<RandomView>(seed);
      for (int32_t step = 0; step < walk; ++step) r->RandomStep();
      return r;
    };
    const std::unique_ptr<RandomView> original = made();
    const int32_t pointer = original->Pick(0, original->view.CanvasWidth - 1);
    const ViewState before = original->view;
    const std::vector<ViewState> ahead = original->model.ViewsAhead(pointer);
    const auto same = [](const ViewState& a, const ViewState& b) {
      return a.VisibleStart == b.VisibleStart && a.VisibleSpan == b.VisibleSpan && a.ScrollTop == b.ScrollTop &&
             a.ScrollBottom == b.ScrollBottom;
    };
    ASSERT_TRUE(same(original->view, before)) << trial;
    for (std::size_t i = 0; i < ahead.size(); ++i) {
      EXPECT_FALSE(same(ahead[i], before)) << trial;
      for (std::size_t j = 0; j < i; ++j) EXPECT_FALSE(same(ahead[i], ahead[j])) << trial;
    }
    for (int32_t step = 0; step < 10; ++step) {
      const std::unique_ptr<RandomView> r = made();
      ViewModel& m = r->model;
      switch (step) {
        case 0: if (m.ScrollHorizontally(ViewModel::Scroll::PageForward, 0)) m.UpdateHorizontalScroll(); break;
        case 1: if (m.ScrollHorizontally(ViewModel::Scroll::PageBack, 0)) m.UpdateHorizontalScroll(); break;
        case 2: if (m.ZoomIn() == 0) m.UpdateHorizontalScroll(); break;
        case 3: if (m.ZoomOut() == 0) m.UpdateHorizontalScroll(); break;
        case 4: if (m.ZoomTimeAbout(pointer, 1)) m.UpdateHorizontalScroll(); break;
        case 5: if (m.ZoomTimeAbout(pointer, -1)) m.UpdateHorizontalScroll(); break;
        case 6: if (m.PageUp()) m.UpdateVerticalScroll(); break;
        case 7: if (m.PageDown()) m.UpdateVerticalScroll(); break;
        case 8: m.ScrollStackBy(ViewModel::kPixelsPerNotch); m.UpdateVerticalScroll(); break;
        default: m.ScrollStackBy(-ViewModel::kPixelsPerNotch); m.UpdateVerticalScroll(); break;
      }
      if (same(r->view, before)) continue;
      ++found;
      EXPECT_TRUE(std::any_of(ahead.begin(), ahead.end(), [&](const ViewState& v) { return same(v, r->view); }))
          << "trial " << trial << ", step " << step;
    }
  }
  EXPECT_GT(found, kTrials);
}

TEST(ViewModelProperties, ZoomingAboutTheMouseKeepsTheTimeUnderIt) {
  int32_t moved = 0;
  for (int32_t trial = 0; trial < kTrials; ++trial) {
    RandomView r(5000 + trial);
    const int32_t width = r.PlotWidth();
    const auto column = r.Pick(0, width - 1);
    int64_t anchor = 0;
    ASSERT_EQ(TimeColumns::TimeForPixel(column, width, r.view.VisibleSpan, r.view.VisibleStart, anchor), 0);
    if (!r.model.ZoomTimeAbout(column + r.canvas.GetDataAxisWidth(), r.Pick(-3, 3))) continue;
    if (r.view.VisibleStart == r.view.DataStart) continue;  // held at the start of the data
    ++moved;
    int64_t under = 0;
    ASSERT_EQ(TimeColumns::TimeForPixel(column, width, r.view.VisibleSpan, r.view.VisibleStart, under), 0);
    EXPECT_LE(std::abs(under - anchor), r.view.VisibleSpan / width + 2) << trial;
  }
  EXPECT_GT(moved, kTrials / 4);
}

TEST(ViewModelProperties, TheSnapshotShowsWhatTheWindowShowsAfterOpeningTheFiles) {
  for (int32_t trial = 0; trial < kTrials / 4; ++trial) {
    RandomView r(9000 + trial);
    const auto width = r.Pick(60, 3000);
    const auto height = r.Pick(60, 2000);
    // The files open one after another, each widening the range; the window may be resized before
    // or after. Then Show Whole Recording.
    const int64_t start = r.Uniform(-1'000'000'000'000, 1'000'000'000'000);
    std::vector<int64_t> ends;
    for (int64_t end = start + kShortestData; ends.size() < 4; end += r.Uniform(0, 100'000'000'000)) {
      ends.push_back(end);
    }
    const bool resizeFirst = r.Uniform(0, 1) == 0;
    auto openFiles = [&] {
      for (const int64_t end : ends) {
        r.model.UpdateTimeRange(start, end);
        r.model.UpdateHorizontalScroll();
        r.model.UpdateVerticalScroll();
      }
    };
    auto resize = [&] {
      r.model.Resize(width, height);
      r.model.UpdateHorizontalScroll();
      r.model.UpdateVerticalScroll();
    };
    if (resizeFirst) resize();
    openFiles();
    if (!resizeFirst) resize();
    r.model.SetVisibleSpan(r.view.DataDuration);
    r.model.ScrollTo(r.view.DataStart);

    ViewState snapshot;
    PlotCanvas snapshotCanvas(snapshot, nullptr, &r.plots, nullptr);
    snapshotCanvas.Properties() = r.canvas.Properties();
    SnapshotOptions options{{}, width, height, std::nullopt, std::nullopt};
    CanvasSnapshot::SetUpView(snapshot, snapshotCanvas, r.plots, start, ends.back(), options);
    const ViewState& w = r.view;
    EXPECT_EQ(std::vector<int64_t>({snapshot.CanvasWidth, snapshot.CanvasHeight, snapshot.DataStart, snapshot.DataEnd,
                                    snapshot.DataDuration, snapshot.VisibleStart, snapshot.VisibleSpan,
                                    snapshot.ScrollTop, snapshot.ScrollBottom}),
              std::vector<int64_t>({w.CanvasWidth, w.CanvasHeight, w.DataStart, w.DataEnd, w.DataDuration,
                                    w.VisibleStart, w.VisibleSpan, w.ScrollTop, w.ScrollBottom}))
        << "trial " << trial << (resizeFirst ? ", resized first" : ", resized last");
  }
}

TEST(ViewModelProperties, GoToTimeCentresTheTimeKeepsTheSpanAndHoldsItToTheData) {
  int32_t centred = 0;
  for (int32_t trial = 0; trial < kTrials; ++trial) {
    RandomView r(12000 + trial);
    const ViewState before = r.view;
    const int64_t quarter = before.DataDuration / 4;
    const int64_t asked = r.Uniform(before.DataStart - quarter, before.DataEnd + quarter);
    const int64_t shown = r.model.CentreOn(asked);
    r.model.UpdateHorizontalScroll();
    ASSERT_EQ(r.BrokenInvariant(), "") << trial;
    EXPECT_EQ(r.view.VisibleSpan, before.VisibleSpan);
    EXPECT_EQ(shown, std::clamp(asked, before.DataStart, before.DataEnd)) << trial;
    // The time is in view; in the middle column unless the view stands against an end of the data.
    EXPECT_GE(shown, r.view.VisibleStart);
    EXPECT_LE(shown, r.view.VisibleStart + r.view.VisibleSpan);
    if (r.view.VisibleStart == r.view.DataStart || r.view.VisibleStart >= r.view.DataEnd - r.view.VisibleSpan) continue;
    ++centred;
    // Exactly in the middle: the middle column's middle time, which zooming then keeps.
    int32_t column = -1;
    ASSERT_EQ(TimeColumns::PixelForTime(shown, r.view.VisibleStart, r.PlotWidth(), r.view.VisibleSpan, column), 0);
    EXPECT_EQ(column, r.PlotWidth() / 2) << trial;
    EXPECT_EQ(r.model.MiddleTime(), shown) << trial;
  }
  EXPECT_GT(centred, kTrials / 4);
}

TEST(ViewModel, FitHeightsShareTheHeightEquallyAndNoneGoesBelowTheMinimum) {
  struct Case {
    int64_t available;
    int32_t count;
    std::vector<int32_t> heights;
  };
  const std::vector<Case> cases = {
      {700, 4, {172, 172, 172, 172}},        // 4 x (172 + 3 separator rows) = 700
      {702, 4, {173, 173, 172, 172}},        // the odd pixels to the first plots
      {483, 1, {480}},
      {16 * 40, 16, std::vector<int32_t>(16, 50)},  // 37 each would be too short: they scroll
      {-5, 2, {50, 50}},
      {100, 0, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ViewModel::FitHeights(c.available, c.count, 50), c.heights) << c.available;
}

TEST(ViewModel, FitPlotsToWindowFillsTheCanvasAboveTheTimeAxisAndScrollsToTheTop) {
  RandomView r(77);
  while (r.plots.GetNumPlots() < 5) r.AddPlot();
  r.model.Resize(800, 600);
  r.model.ScrollStackBy(-200);
  r.model.FitPlotsToWindow(50);
  EXPECT_EQ(r.view.ScrollTop, 0);
  EXPECT_EQ(r.StackHeight(), r.view.CanvasHeight);  // heights + separators + time axis: the canvas, exactly
  ASSERT_TRUE(r.model.UpdateVerticalScroll().has_value());
  EXPECT_EQ(r.model.UpdateVerticalScroll()->page, ViewModel::kScrollRange);  // nothing left to scroll
}

}  // namespace
}  // namespace skelvane
