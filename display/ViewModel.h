#pragma once
// The view arithmetic in one place: canvas size, data time range, visible span, paging, zoom (by
// steps, to a rubber band, about a column) and the vertical scroll of the plot stack, each with its
// clamping. Used by the main window, the snapshot and session restore; the canvas draws what it leaves.

#include <cstdint>
#include <optional>
#include <vector>

#include "display/ViewState.h"
#include "display/ZoomHistory.h"

namespace skelvane {

class IPlotCanvas;
class IPlotCollection;
struct ViewState;

class ViewModel {
 public:
  /// Both scrollbars run from 0 to this many units (not 32767).
  static constexpr int32_t kScrollRange = 32766;
  /// Paging steps are percentages of the visible span or of the canvas height.
  static constexpr int32_t kPercent = 100;
  /// Pixels the window moves the stack by for one wheel notch.
  static constexpr int32_t kPixelsPerNotch = 40;

  /// What a scrollbar asks for; `Thumb` carries a position in 0..kScrollRange.
  enum class Scroll { LineBack, LineForward, PageBack, PageForward, ToStart, ToEnd, Thumb, EndScroll };

  /// Thumb size and position of a scrollbar, in scrollbar units.
  struct ScrollBarSetting {
    int32_t page = kScrollRange;
    int64_t position = 0;
  };

  /// Works on `view`, with the canvas's settings and the height of the plot stack.
  ViewModel(ViewState& view, IPlotCanvas& canvas, IPlotCollection& plots);

  /// Takes a new canvas size: one microsecond per pixel at least, bottom edge kept under the top.
  void Resize(int32_t canvasWidth, int32_t canvasHeight);
  /// Takes the sources' time range (ordered first), widened to at least the canvas width.
  void UpdateTimeRange(int64_t dataStart, int64_t dataEnd);
  /// Puts the time axis back as a window shows it before any recording is opened, so that the next
  /// recordings open as the first ones did.
  void ResetTime();
  /// Keeps the visible span inside the data; the horizontal scrollbar that goes with it.
  ScrollBarSetting UpdateHorizontalScroll();
  /// Keeps the vertical scroll inside the plot stack (at the top when it fits); the vertical
  /// scrollbar that goes with it, or none when the stack and the time axis have no height.
  std::optional<ScrollBarSetting> UpdateVerticalScroll();

  /// Moves the visible span for a horizontal scrollbar action; false when nothing is to be done.
  bool ScrollHorizontally(Scroll action, int64_t position);
  /// Moves the plot stack for a vertical scrollbar action.
  void ScrollVertically(Scroll action, int64_t position);
  /// Moves the plot stack by `pixels` (positive: towards its top), the bottom edge with it.
  void ScrollStackBy(int64_t pixels);
  /// Scrolls the stack up by one vertical page; false when already at the top.
  bool PageUp();
  /// Scrolls the stack down by one vertical page; false at the bottom or when the stack fits.
  bool PageDown();
  /// Sets the visible span, at least one microsecond per pixel.
  void SetVisibleSpan(int64_t span);
  /// Puts `start` at the left edge, kept inside the data as a scroll there would.
  void ScrollTo(int64_t start);

  /// Divides the visible span by the canvas's zoom factor around the middle column of the plot area,
  /// not below the canvas's minimum span; -1 when already there or the factor is below 2. Right after
  /// zooming out, it returns to the view before exactly.
  int32_t ZoomIn();
  /// Multiplies the visible span by the canvas's zoom factor around the middle column, not past the
  /// data's duration, and keeps it inside the data; -1 when already there or the factor is below 2.
  /// Right after zooming in, it returns to the view before exactly.
  int32_t ZoomOut();
  /// A rubber band released between canvas columns x1 and x2 (either order): a click centres the
  /// clicked column and zooms in a step; a band becomes the visible span, no longer than the data,
  /// unless it is narrower than a microsecond per column. False when nothing is to be done.
  bool ZoomToBand(int32_t x1, int32_t x2);
  /// Shift-click at canvas x: centres that column and zooms out a step; false when the column has
  /// no time.
  bool ZoomOutAbout(int32_t x);
  /// Zooms `steps` steps (in for positive) and moves the span so that the time under canvas x stays
  /// under it; false when x is off the plots or no step changed the span.
  bool ZoomTimeAbout(int32_t x, int32_t steps);

  /// The middle time of the plot area's middle column: the time zooming keeps fixed.
  int64_t MiddleTime() const;
  /// Centres the view on `time`, keeping the span: the time becomes the middle time (MiddleTime),
  /// unless it is first held to the data's range, or the view to the data. The time gone to: `time`,
  /// or the end of the data it was held to.
  int64_t CentreOn(int64_t time);
  /// Shares the canvas height above the time axis among the plots, each at least `minimum` pixels
  /// (the rest then scroll), and scrolls to the top of the stack.
  void FitPlotsToWindow(int32_t minimum);
  /// The heights that fill `available` pixels with `count` plots, each followed by its separator
  /// rows: equal shares, the odd pixels to the first plots, none below `minimum`.
  static std::vector<int32_t> FitHeights(int64_t available, int32_t count, int32_t minimum);

  /// The views one more step would most likely show, each once and none the current one: a time
  /// page forward and back, a zoom step out and in (and, with `pointerX`, a wheel notch about that
  /// canvas column either way), a stack page down and up and the stack moved by a wheel notch either
  /// way; nearest first. The view is left as it is.
  std::vector<ViewState> ViewsAhead(std::optional<int32_t> pointerX) const;

 private:
  int64_t StackHeight() const;
  int64_t VerticalStep() const;
  void SetScroll(int64_t top);
  int32_t PlotAreaWidth() const;
  int32_t Zoom(ZoomHistory::Direction direction);
  int32_t StepIn(int64_t minimumSpan, int32_t zoomFactor);
  int32_t StepOut(int32_t zoomFactor);

  ViewState& view_;
  IPlotCanvas& canvas_;
  IPlotCollection& plots_;
  ZoomHistory zooms_;
};

}  // namespace skelvane
