#include "display/ViewModel.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/PlotCanvas.h"
#include "platform/SaturatingTime.h"
#include "display/ViewState.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr int32_t kMinimumZoomFactor = 2;

// Pixel values come from settings and file sizes: held in the int32 range instead of wrapping.
int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// The thumb's share of the bar: trunc(part / whole * 32766), at most the whole bar.
int32_t PageFor(double part, double whole) {
  if (whole <= 0.0) return ViewModel::kScrollRange;
  const double page = part / whole * ViewModel::kScrollRange;
  if (page >= ViewModel::kScrollRange) return ViewModel::kScrollRange;
  if (page <= 0.0) return 0;
  return static_cast<int32_t>(page);
}

// The column at the middle of the plot area: the time that stays put while zooming.
int32_t MiddleTime(const ViewState& view, int32_t plotWidth, int64_t& centre) {
  return PlotCanvas::GetTimeForPixel(plotWidth / 2, plotWidth, view.VisibleSpan, view.VisibleStart, centre);
}

}  // namespace

ViewModel::ViewModel(ViewState& view, IPlotCanvas& canvas, IPlotCollection& plots)
    : view_(view), canvas_(canvas), plots_(plots) {}

int64_t ViewModel::MulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  const __int128 result = static_cast<__int128>(a) * b / c;
  return static_cast<int64_t>(std::clamp<__int128>(result, std::numeric_limits<int64_t>::min(),
                                                   std::numeric_limits<int64_t>::max()));
}

int64_t ViewModel::StackHeight() const {
  return int64_t{plots_.GetTotalHeight()} + canvas_.GetTimeAxisHeight();
}

int64_t ViewModel::VerticalStep() const {
  return MulDiv(view_.CanvasHeight, canvas_.GetVerticalPagePercent(), kPercent);
}

void ViewModel::SetScroll(int64_t top) {
  // The bottom edge moves with the top, so the projection never stretches or turns over.
  view_.ScrollTop = ClampToInt32(std::max<int64_t>(top, int64_t{std::numeric_limits<int32_t>::min()} +
                                                            std::max(view_.CanvasHeight, 0)));
  view_.ScrollBottom = ClampToInt32(int64_t{view_.ScrollTop} - view_.CanvasHeight);
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
  const int32_t plotWidth = v.CanvasWidth - canvas_.GetDataAxisWidth();
  if (PlotCanvas::GetTimeRangeForPixel(0, plotWidth, v.VisibleSpan, v.VisibleStart, first, last) != 0) return false;
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

int32_t ViewModel::ZoomIn(ViewState& v, int64_t minimumSpan, int32_t zoomFactor, int32_t plotWidth) {
  if (v.VisibleSpan == minimumSpan || zoomFactor < kMinimumZoomFactor) return kStatusFailed;
  int64_t centre = 0;
  if (MiddleTime(v, plotWidth, centre) != 0) return kStatusFailed;
  v.VisibleSpan = std::max(v.VisibleSpan / zoomFactor, minimumSpan);
  v.VisibleStart = SaturatingSubtract(centre, v.VisibleSpan / 2);
  return kStatusOk;
}

int32_t ViewModel::ZoomOut(ViewState& v, int32_t zoomFactor, int32_t plotWidth) {
  if (v.VisibleSpan == v.DataDuration || zoomFactor < kMinimumZoomFactor) return kStatusFailed;
  int64_t centre = 0;
  if (MiddleTime(v, plotWidth, centre) != 0) return kStatusFailed;
  v.VisibleSpan = std::min(MulDiv(v.VisibleSpan, zoomFactor, 1), v.DataDuration);
  v.VisibleStart = SaturatingSubtract(centre, v.VisibleSpan / 2);
  if (v.VisibleStart < v.DataStart) v.VisibleStart = v.DataStart;
  const int64_t lastStart = SaturatingSubtract(v.DataEnd, v.VisibleSpan);
  if (v.VisibleStart > lastStart) v.VisibleStart = lastStart;
  return kStatusOk;
}

}  // namespace skelvane
