#include "display/ViewModel.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

#include "display/IPlot.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/ViewState.h"
#include "platform/Saturating.h"
#include "platform/StatusCodes.h"
#include "columns/TimeColumns.h"

namespace skelvane {
namespace {

constexpr int32_t kMinimumZoomFactor = 2;
constexpr int64_t kSeparatorRows = 3;  // two separator lines and a gap under every plot

// The thumb's share of the bar: trunc(part / whole * 32766), at most the whole bar.
int32_t PageFor(double part, double whole) {
  if (whole <= 0.0) return ViewModel::kScrollRange;
  const double page = part / whole * ViewModel::kScrollRange;
  if (page >= ViewModel::kScrollRange) return ViewModel::kScrollRange;
  if (page <= 0.0) return 0;
  return static_cast<int32_t>(page);
}

// The column at the middle of the plot area: the time that stays put while zooming.
int32_t MiddleColumnTime(const ViewState& view, int32_t plotWidth, int64_t& centre) {
  return TimeColumns::TimeForPixel(plotWidth / 2, plotWidth, view.VisibleSpan, view.VisibleStart, centre);
}

}  // namespace

ViewModel::ViewModel(ViewState& view, IPlotCanvas& canvas, IPlotCollection& plots)
    : view_(view), canvas_(canvas), plots_(plots) {}

int32_t ViewModel::PlotAreaWidth() const { return view_.CanvasWidth - canvas_.GetDataAxisWidth(); }

int64_t ViewModel::StackHeight() const {
  return int64_t{plots_.GetTotalHeight()} + canvas_.GetTimeAxisHeight();
}

int64_t ViewModel::VerticalStep() const {
  return MulDiv(view_.CanvasHeight, canvas_.GetVerticalPagePercent(), kPercent);
}

void ViewModel::SetScroll(int64_t top) {
  // The bottom edge moves with the top, so the projection never stretches or turns over.
  view_.ScrollTop = ClampTo<int32_t>(std::max<int64_t>(top, int64_t{std::numeric_limits<int32_t>::min()} +
                                                                std::max(view_.CanvasHeight, 0)));
  view_.ScrollBottom = ClampTo<int32_t>(int64_t{view_.ScrollTop} - view_.CanvasHeight);
}

void ViewModel::Resize(int32_t canvasWidth, int32_t canvasHeight) {
  view_.CanvasWidth = canvasWidth;
  view_.CanvasHeight = canvasHeight;
  canvas_.SetMinimumSpan(canvasWidth);
  SetScroll(view_.ScrollTop);
  if (view_.VisibleSpan < view_.CanvasWidth) view_.VisibleSpan = view_.CanvasWidth;
}

void ViewModel::UpdateTimeRange(int64_t dataStart, int64_t dataEnd) {
  // A file whose first timestamp lies after its last must not turn the range inside out.
  if (dataEnd < dataStart) std::swap(dataStart, dataEnd);
  view_.DataStart = dataStart;
  view_.DataEnd = dataEnd;
  view_.DataDuration = SaturatingSubtract(dataEnd, dataStart);
  if (view_.DataDuration < view_.CanvasWidth) {
    // Less data than one microsecond per column is widened to that, from the data's own start.
    view_.DataDuration = view_.CanvasWidth;
    view_.VisibleSpan = view_.CanvasWidth;
    view_.DataEnd = SaturatingAdd(view_.DataStart, view_.CanvasWidth - 1);
    view_.DataStart = view_.DataEnd - (view_.CanvasWidth - 1);
  }
  if (view_.VisibleStart < view_.DataStart) view_.VisibleStart = view_.DataStart;
}

void ViewModel::ResetTime() {
  const ViewState startUp;
  view_.DataStart = startUp.DataStart;
  view_.DataEnd = startUp.DataEnd;
  view_.DataDuration = startUp.DataDuration;
  view_.VisibleStart = startUp.VisibleStart;
  view_.VisibleSpan = std::max<int64_t>(startUp.VisibleSpan, view_.CanvasWidth);
}

ViewModel::ScrollBarSetting ViewModel::UpdateHorizontalScroll() {
  ScrollBarSetting bar;
  bar.page = PageFor(static_cast<double>(view_.VisibleSpan), static_cast<double>(view_.DataDuration));
  // The upper bound is tested first; the lower one applies only when the start was within it.
  const int64_t lastStart = SaturatingSubtract(view_.DataEnd, view_.VisibleSpan);
  if (view_.VisibleStart > lastStart) {
    view_.VisibleStart = SaturatingAdd(lastStart, 1);
  } else if (view_.VisibleStart < view_.DataStart) {
    view_.VisibleStart = view_.DataStart;
  }
  const int64_t range = SaturatingSubtract(view_.DataEnd, view_.DataStart);
  bar.position = MulDiv(SaturatingSubtract(view_.VisibleStart, view_.DataStart), kScrollRange, range);
  return bar;
}

std::optional<ViewModel::ScrollBarSetting> ViewModel::UpdateVerticalScroll() {
  const int64_t total = StackHeight();
  // Nothing left to scroll (the whole stack fits, or there is none): back to the top, where
  // the disabled scrollbar says the view is.
  if (view_.ScrollTop > 0 || view_.CanvasHeight >= total) {
    SetScroll(0);
  } else if (view_.ScrollBottom < -total) {
    SetScroll(view_.CanvasHeight - total);
  }
  if (total <= 0) return std::nullopt;
  ScrollBarSetting bar;
  bar.page = PageFor(static_cast<double>(view_.CanvasHeight), static_cast<double>(total));
  bar.position = MulDiv(-int64_t{view_.ScrollTop}, kScrollRange, total);
  return bar;
}

bool ViewModel::ScrollHorizontally(Scroll action, int64_t position) {
  ViewState& v = view_;
  if (v.VisibleSpan == 0 || v.DataDuration == 1) return false;
  int64_t first = 0;
  int64_t last = 0;
  if (TimeColumns::TimeRangeForPixel(0, PlotAreaWidth(), v.VisibleSpan, v.VisibleStart, first, last) != 0) {
    return false;
  }
  const int64_t column = SaturatingAdd(SaturatingSubtract(last, first), 1);
  const int64_t pageStep = MulDiv(v.VisibleSpan, canvas_.GetHorizontalPagePercent(), kPercent);
  const bool atStart = v.VisibleStart == v.DataStart;
  const bool atEnd = SaturatingAdd(v.VisibleStart, v.VisibleSpan) == v.DataEnd;
  switch (action) {
    case Scroll::LineBack:
      if (!atStart) v.VisibleStart = SaturatingSubtract(v.VisibleStart, column);
      break;
    case Scroll::LineForward:
      if (!atEnd) v.VisibleStart = SaturatingAdd(v.VisibleStart, column);
      break;
    case Scroll::PageBack:
      if (!atStart) v.VisibleStart = SaturatingSubtract(v.VisibleStart, pageStep);
      break;
    case Scroll::PageForward:
      if (!atEnd) v.VisibleStart = SaturatingAdd(v.VisibleStart, pageStep);
      break;
    case Scroll::ToStart: v.VisibleStart = v.DataStart; break;
    case Scroll::ToEnd: v.VisibleStart = v.DataEnd; break;
    case Scroll::Thumb:
      v.VisibleStart =
          SaturatingAdd(v.DataStart, MulDiv(position, SaturatingSubtract(v.DataEnd, v.DataStart), kScrollRange));
      break;
    case Scroll::EndScroll: break;
  }
  return true;
}

void ViewModel::ScrollVertically(Scroll action, int64_t position) {
  const int64_t top = view_.ScrollTop;
  switch (action) {
    case Scroll::LineBack: SetScroll(top + 1); break;
    case Scroll::LineForward: SetScroll(top - 1); break;
    case Scroll::PageBack: SetScroll(top + VerticalStep()); break;
    case Scroll::PageForward: SetScroll(top - VerticalStep()); break;
    case Scroll::ToStart: SetScroll(0); break;
    case Scroll::ToEnd: SetScroll(-StackHeight()); break;
    case Scroll::Thumb: SetScroll(-MulDiv(position, StackHeight(), kScrollRange)); break;
    case Scroll::EndScroll: break;
  }
}

void ViewModel::ScrollStackBy(int64_t pixels) { SetScroll(int64_t{view_.ScrollTop} + pixels); }

bool ViewModel::PageUp() {
  if (view_.ScrollTop == 0) return false;
  SetScroll(int64_t{view_.ScrollTop} + VerticalStep());
  if (view_.ScrollTop > 0) SetScroll(0);
  return true;
}

bool ViewModel::PageDown() {
  const int64_t total = StackHeight() + 1;
  if (view_.ScrollBottom == -total || total < int64_t{view_.ScrollTop} - view_.ScrollBottom) return false;
  SetScroll(int64_t{view_.ScrollTop} - VerticalStep());
  if (view_.ScrollBottom < -total) SetScroll(view_.CanvasHeight - total);
  return true;
}

void ViewModel::SetVisibleSpan(int64_t span) { view_.VisibleSpan = std::max<int64_t>(span, view_.CanvasWidth); }

void ViewModel::ScrollTo(int64_t start) {
  view_.VisibleStart = start;
  UpdateHorizontalScroll();
}

std::vector<ViewState> ViewModel::ViewsAhead(std::optional<int32_t> pointerX) const {
  std::vector<ViewState> views;
  // Each step on a model of its own over a copy of the view, kept inside the data as the window
  // keeps it after that step.
  const auto ahead = [&](auto step) {
    ViewState copy = view_;
    ViewModel model(copy, canvas_, plots_);
    model.zooms_ = zooms_;
    if (!step(model)) return;
    model.UpdateHorizontalScroll();
    model.UpdateVerticalScroll();
    const auto same = [&](const ViewState& v) {
      return v.VisibleStart == copy.VisibleStart && v.VisibleSpan == copy.VisibleSpan && v.ScrollTop == copy.ScrollTop;
    };
    if (same(view_) || std::any_of(views.begin(), views.end(), same)) return;
    views.push_back(copy);
  };
  ahead([](ViewModel& m) { return m.ScrollHorizontally(Scroll::PageForward, 0); });
  ahead([](ViewModel& m) { return m.ScrollHorizontally(Scroll::PageBack, 0); });
  ahead([](ViewModel& m) { return m.PageDown(); });
  ahead([](ViewModel& m) {
    m.ScrollStackBy(-kPixelsPerNotch);
    return true;
  });
  ahead([](ViewModel& m) { return m.ZoomOut() == kStatusOk; });
  if (pointerX) ahead([&](ViewModel& m) { return m.ZoomTimeAbout(*pointerX, -1); });
  ahead([](ViewModel& m) { return m.ZoomIn() == kStatusOk; });
  if (pointerX) ahead([&](ViewModel& m) { return m.ZoomTimeAbout(*pointerX, 1); });
  ahead([](ViewModel& m) { return m.PageUp(); });
  ahead([](ViewModel& m) {
    m.ScrollStackBy(kPixelsPerNotch);
    return true;
  });
  return views;
}

int32_t ViewModel::ZoomIn() { return Zoom(ZoomHistory::Direction::In); }

int32_t ViewModel::ZoomOut() { return Zoom(ZoomHistory::Direction::Out); }

// A step back the other way returns to the view before the step, as long as that view is still
// within the span's bounds (the data may have changed since).
int32_t ViewModel::Zoom(ZoomHistory::Direction direction) {
  const bool in = direction == ZoomHistory::Direction::In;
  const int64_t minimumSpan = canvas_.GetMinimumSpan();
  const ZoomHistory::View current{view_.VisibleStart, view_.VisibleSpan};
  if (const std::optional<ZoomHistory::View> back = zooms_.Back(direction, current)) {
    if (back->span >= minimumSpan && back->span <= view_.DataDuration) {
      view_.VisibleStart = back->start;
      view_.VisibleSpan = back->span;
      return kStatusOk;
    }
    zooms_.Clear();
  }
  const int32_t rc = in ? StepIn(minimumSpan, canvas_.GetZoomFactor()) : StepOut(canvas_.GetZoomFactor());
  if (rc == kStatusOk) zooms_.Step(direction, current, {view_.VisibleStart, view_.VisibleSpan});
  return rc;
}

int32_t ViewModel::StepIn(int64_t minimumSpan, int32_t zoomFactor) {
  ViewState& v = view_;
  if (v.VisibleSpan == minimumSpan || zoomFactor < kMinimumZoomFactor) return kStatusFailed;
  int64_t centre = 0;
  if (MiddleColumnTime(v, PlotAreaWidth(), centre) != 0) return kStatusFailed;
  v.VisibleSpan = std::max(v.VisibleSpan / zoomFactor, minimumSpan);
  v.VisibleStart = SaturatingSubtract(centre, v.VisibleSpan / 2);
  return kStatusOk;
}

int32_t ViewModel::StepOut(int32_t zoomFactor) {
  ViewState& v = view_;
  if (v.VisibleSpan == v.DataDuration || zoomFactor < kMinimumZoomFactor) return kStatusFailed;
  int64_t centre = 0;
  if (MiddleColumnTime(v, PlotAreaWidth(), centre) != 0) return kStatusFailed;
  v.VisibleSpan = std::min(MulDiv(v.VisibleSpan, zoomFactor, 1), v.DataDuration);
  v.VisibleStart = SaturatingSubtract(centre, v.VisibleSpan / 2);
  if (v.VisibleStart < v.DataStart) v.VisibleStart = v.DataStart;
  const int64_t lastStart = SaturatingSubtract(v.DataEnd, v.VisibleSpan);
  if (v.VisibleStart > lastStart) v.VisibleStart = lastStart;
  return kStatusOk;
}

bool ViewModel::ZoomToBand(int32_t x1, int32_t x2) {
  if (x1 > x2) std::swap(x1, x2);
  const int32_t axisWidth = canvas_.GetDataAxisWidth();
  const int32_t width = PlotAreaWidth();
  int64_t first1 = 0;
  int64_t last1 = 0;
  if (TimeColumns::TimeRangeForPixel(x1 - axisWidth, width, view_.VisibleSpan, view_.VisibleStart, first1, last1) !=
      0) {
    return false;
  }
  if (x1 == x2) {
    // A click: centre the span on the clicked column, then zoom in around it.
    const auto middle = static_cast<int64_t>((static_cast<__int128>(first1) + last1) / 2);
    view_.VisibleStart = SaturatingSubtract(middle, view_.VisibleSpan / 2);
    ZoomIn();
    return true;
  }
  int64_t first2 = 0;
  int64_t last2 = 0;
  if (TimeColumns::TimeRangeForPixel(x2 - axisWidth, width, view_.VisibleSpan, view_.VisibleStart, first2, last2) !=
      0) {
    return false;
  }
  const int64_t span = SaturatingSubtract(last2, first1);
  // Narrower than one microsecond per pixel: the band is ignored.
  if (span < width) return false;
  view_.VisibleStart = first1;
  // A band dragged on over the scrollbar reaches past the plots: never wider than the data.
  view_.VisibleSpan = std::min(std::max<int64_t>(span, width), std::max<int64_t>(view_.DataDuration, width));
  return true;
}

bool ViewModel::ZoomOutAbout(int32_t x) {
  int64_t centre = 0;
  if (TimeColumns::TimeForPixel(x - canvas_.GetDataAxisWidth(), PlotAreaWidth(), view_.VisibleSpan,
                                view_.VisibleStart, centre) != 0) {
    return false;
  }
  view_.VisibleStart = SaturatingSubtract(centre, view_.VisibleSpan / 2);
  ZoomOut();
  return true;
}

// Each step zooms about the middle column and keeps the span within its bounds; the start is then
// moved so that the time under the mouse stays under it.
bool ViewModel::ZoomTimeAbout(int32_t x, int32_t steps) {
  const int32_t column = x - canvas_.GetDataAxisWidth();
  const int32_t width = PlotAreaWidth();
  if (column < 0 || column >= width) return false;
  int64_t anchor = 0;
  if (TimeColumns::TimeForPixel(column, width, view_.VisibleSpan, view_.VisibleStart, anchor) != 0) return false;
  bool changed = false;
  for (int32_t i = 0; i < std::abs(steps); ++i) changed |= (steps > 0 ? ZoomIn() : ZoomOut()) == 0;
  if (!changed) return false;
  view_.VisibleStart = SaturatingSubtract(SaturatingSubtract(anchor, MulDiv(view_.VisibleSpan, column, width)),
                                          view_.VisibleSpan / (2 * int64_t{width}));
  if (view_.VisibleStart < view_.DataStart) view_.VisibleStart = view_.DataStart;
  return true;
}

int64_t ViewModel::MiddleTime() const {
  int64_t middle = SaturatingAdd(view_.VisibleStart, view_.VisibleSpan / 2);
  MiddleColumnTime(view_, PlotAreaWidth(), middle);
  return middle;
}

// The time lands on the middle column's middle time, the one zooming keeps fixed: half the span
// from the start lies anywhere in that column (up to a whole column off the middle of it).
int64_t ViewModel::CentreOn(int64_t time) {
  ViewState& v = view_;
  const int64_t centre = std::clamp(time, v.DataStart, std::max(v.DataStart, v.DataEnd));
  const int32_t width = PlotAreaWidth();
  int64_t start = SaturatingSubtract(centre, v.VisibleSpan / 2);
  int64_t middle = 0;
  if (width > 0 && TimeColumns::TimeForPixel(width / 2, width, v.VisibleSpan, 0, middle) == 0) {
    start = SaturatingSubtract(centre, middle);
    // The column's middle is halved towards zero: below zero it can lie a microsecond further on.
    if (TimeColumns::TimeForPixel(width / 2, width, v.VisibleSpan, start, middle) == 0 && middle != centre) {
      start = SaturatingAdd(start, SaturatingSubtract(centre, middle));
    }
  }
  const int64_t lastStart = std::max(v.DataStart, SaturatingSubtract(v.DataEnd, v.VisibleSpan));
  v.VisibleStart = std::clamp(start, v.DataStart, lastStart);
  return centre;
}

std::vector<int32_t> ViewModel::FitHeights(int64_t available, int32_t count, int32_t minimum) {
  std::vector<int32_t> heights;
  if (count <= 0) return heights;
  const int64_t share = std::max<int64_t>(available, 0) / count - kSeparatorRows;
  const int64_t spare = std::max<int64_t>(available, 0) % count;
  for (int32_t i = 0; i < count; ++i) {
    heights.push_back(ClampTo<int32_t>(std::max<int64_t>(share + (i < spare ? 1 : 0), minimum)));
  }
  return heights;
}

void ViewModel::FitPlotsToWindow(int32_t minimum) {
  const std::vector<int32_t> heights =
      FitHeights(int64_t{view_.CanvasHeight} - canvas_.GetTimeAxisHeight(), plots_.GetNumPlots(), minimum);
  for (std::size_t i = 0; i < heights.size(); ++i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(static_cast<int32_t>(i), plot) == 0 && plot != nullptr) plot->SetHeight(heights[i]);
  }
  SetScroll(0);
}

}  // namespace skelvane
