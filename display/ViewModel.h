#pragma once
// The view arithmetic in one place: canvas size, data time range, visible span, paging, zoom and the
// vertical scroll of the plot stack, each with its clamping. Used by the main window and the snapshot.

#include <cstdint>
#include <optional>

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

  /// Divides the visible span by `zoomFactor` around the middle column of a `plotWidth` plot area,
  /// not below `minimumSpan`; -1 when already there or the factor is below 2.
  static int32_t ZoomIn(ViewState& view, int64_t minimumSpan, int32_t zoomFactor, int32_t plotWidth);
  /// Multiplies the visible span by `zoomFactor` around the middle column, not past the data's
  /// duration, and keeps it inside the data; -1 when already there or the factor is below 2.
  static int32_t ZoomOut(ViewState& view, int32_t zoomFactor, int32_t plotWidth);

  /// a * b / c with the product in 128 bits, held within the 64-bit range; 0 when c is 0.
  static int64_t MulDiv(int64_t a, int64_t b, int64_t c);

 private:
  int64_t StackHeight() const;
  int64_t VerticalStep() const;
  void SetScroll(int64_t top);

  ViewState& view_;
  IPlotCanvas& canvas_;
  IPlotCollection& plots_;
};

}  // namespace skelvane
