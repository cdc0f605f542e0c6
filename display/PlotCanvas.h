#pragma once
// The one drawing surface of the main window: stacks the plots with separators, draws the time axis,
// the data axes and the header icons (and on request the measuring cursors and scale bars) for the
// view it is given, and converts between times and pixel columns. The window, snapshots, tests and
// benches each make one over their own view, renderer, plots and sources; the plots are handed a
// PlotFrame at every redraw.

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "display/CanvasOverlays.h"
#include "display/CanvasProperties.h"
#include "display/ColorTable.h"
#include "display/ColumnsAhead.h"
#include "display/IPlot.h"
#include "display/IPlotCanvas.h"
#include "display/MarkerSet.h"
#include "display/PlotFrame.h"
#include "display/RecordingClock.h"
#include "display/TimeCursors.h"
#include "display/ViewState.h"

namespace skelvane {

class GLRenderer;
class IDataSourceManager;
class IPlotCollection;
class PlotPreparation;
class SpikeMarks;

class PlotCanvas : public IPlotCanvas {
 public:
  /// Measures a text in pixels (the renderer's font, or a stand-in in tests).
  using TextMeasure = std::function<int32_t(std::string_view)>;

  /// Smallest and largest amplitude gain the canvas accepts.
  static constexpr double kMinAmplitudeGain = 1.0 / 64.0;
  static constexpr double kMaxAmplitudeGain = 256.0;

  /// One tick of the time axis: x on the canvas and its colour.
  struct TimeTick {
    int32_t x;
    uint32_t colour;
  };
  /// One time label: its text and the x of its left edge.
  struct TimeLabel {
    std::string text;
    int32_t x;
    int32_t width;
  };
  /// Where the time axis puts its ticks (centre first) and which labels survive the spacing rule.
  struct TimeAxisLayout {
    std::vector<TimeTick> ticks;
    std::vector<TimeLabel> labels;
  };
  /// A straight line of the data axis.
  struct AxisLine {
    int32_t x1, y1, x2, y2;
    uint32_t colour;
  };
  /// A data axis label: its text and the y it labels (before centring the text on it).
  struct AxisLabel {
    std::string text;
    int32_t y;
  };
  /// The lines and labels of one plot's data axis.
  struct DataAxisLayout {
    std::vector<AxisLine> lines;
    std::vector<AxisLabel> labels;
  };

  /// Draws `view` with `renderer` (none: it only lays out) and stacks `plots` (none: an empty stack);
  /// `sources` (may be none) give the clock labels their origin and the data axes their microvolts.
  PlotCanvas(ViewState& view, GLRenderer* renderer, IPlotCollection* plots, IDataSourceManager* sources);
  ~PlotCanvas() override = default;
  PlotCanvas(const PlotCanvas&) = delete;
  PlotCanvas& operator=(const PlotCanvas&) = delete;

  /// Hands the finished image to the presenter, 15 pixels below the top; 0, or -1 (silently) when
  /// the last redraw produced none.
  int32_t Present(BitmapPresenter& presenter) override;
  /// Rebuilds the whole picture: background, time axis, then the plot stack; 0 or -1. After the
  /// renderer failed to start it is not tried again (nor reported again) until the size changes.
  int32_t RedrawAll() override;
  /// Grey horizontal line across the canvas at y.
  void DrawSeparator(int32_t y) override;
  /// Smallest visible span a zoom in may reach.
  int64_t GetMinimumSpan() const override;
  /// Sets the smallest visible span (the view model keeps the span above it).
  void SetMinimumSpan(int64_t span) override;
  /// What one zoom step divides or multiplies the visible span by.
  int32_t GetZoomFactor() const override;
  /// Height of the time axis band, 0 when it is hidden.
  int32_t GetTimeAxisHeight() const override;
  /// Whether the plots' header icons are drawn.
  int32_t GetShowPlotIcons() const override;
  /// Whether the plots' names are drawn.
  int32_t GetShowPlotNames() const override;
  /// Whether each plot gets a data axis.
  int32_t GetShowDataAxis() const override;
  /// Whether the time axis is drawn.
  int32_t GetShowTimeAxis() const override;
  /// Switches the header icons on (non-zero) or off.
  void SetShowPlotIcons(int32_t show) override;
  /// Switches the plot names on (non-zero) or off.
  void SetShowPlotNames(int32_t show) override;
  /// Switches the data axes on (non-zero) or off.
  void SetShowDataAxis(int32_t show) override;
  /// Switches the time axis on (non-zero) or off.
  void SetShowTimeAxis(int32_t show) override;
  /// Margin above and below a data axis, pixels.
  int32_t GetDataAxisMargin() const override;
  /// Width of the data axis strip, 0 when the axis is hidden.
  int32_t GetDataAxisWidth() const override;
  /// Pixels reserved at the top of a plot for its name and icons.
  int32_t GetPlotHeaderHeight() const override;
  /// Horizontal paging step, percent of the visible span.
  int32_t GetHorizontalPagePercent() const override;
  /// Vertical paging step, percent of the canvas height.
  int32_t GetVerticalPagePercent() const override;
  /// Factor applied to times printed on the time axis.
  double GetTimeLabelScale() const override;
  /// Reads the settings section; 0, -1 after a short read, or the errno of a failed read.
  int32_t ReadSettings(File& file) override;
  /// Writes the settings section; 0 or the errno of a failed write.
  int32_t WriteSettings(File& file) override;
  /// 1 and the plot whose bottom separator s lies within y - 2 <= s <= y + 1; else 0.
  int32_t FindSeparator(int32_t y, int32_t& plot) const override;
  /// Display gain of the plot of `path` (1 unless set).
  double GetAmplitudeGain(const std::string& path) const override;
  /// Sets the display gain of the plot of `path`, kept within kMinAmplitudeGain..kMaxAmplitudeGain.
  void SetAmplitudeGain(const std::string& path, double gain) override;

  /// How time labels are printed.
  TimeLabelStyle GetTimeLabelStyle() const override { return timeLabelStyle_; }
  /// Chooses how time labels are printed.
  void SetTimeLabelStyle(TimeLabelStyle style) override { timeLabelStyle_ = style; }
  /// Data axes label the values in microvolts (from each source's "-ADBitVolts") instead of counts.
  bool GetDataAxisInMicrovolts() const override { return dataAxisInMicrovolts_; }
  /// Switches the data axes between counts and microvolts.
  void SetDataAxisInMicrovolts(bool on) override { dataAxisInMicrovolts_ = on; }
  /// Whether the scale bars are drawn.
  bool GetShowScaleBars() const override { return showScaleBars_; }
  /// Switches the scale bars on or off.
  void SetShowScaleBars(bool on) override { showScaleBars_ = on; }
  /// The measuring cursors, drawn over the plots while set.
  TimeCursors* Cursors() override { return &cursors_; }
  /// The user's markers, drawn over the plots (nothing while there are none).
  MarkerSet* Markers() override { return &markers_; }

  /// Pixel column of `time` in a span of `span` microseconds from `start` over `width` columns; 0 or -1.
  static int32_t GetPixelForTime(int64_t time, int64_t start, int32_t width, int64_t span, int32_t& pixel);
  /// First and last time a pixel column covers; 0, or -1 for a width of 0 or less.
  static int32_t GetTimeRangeForPixel(int32_t pixel, int32_t width, int64_t span, int64_t start, int64_t& first,
                                      int64_t& last);
  /// Middle time of a pixel column; 0, or -1 for a width of 0 or less.
  static int32_t GetTimeForPixel(int32_t pixel, int32_t width, int64_t span, int64_t start, int64_t& time);

  /// A plot colour allocator as a freshly started program has it: "Black" excluded.
  static ColorTable MakePlotColours();

  /// The view this canvas draws.
  ViewState& View() const { return view_; }
  /// What the plots are given to draw the current view.
  PlotFrame Frame() override;
  /// What the plots would be given to draw `view` (this canvas's renderer and marks).
  PlotFrame FrameFor(const ViewState& view);

  /// Marks these spikes on the traces from the next redraw on; none draws no marks.
  void SetSpikeMarks(std::shared_ptr<const SpikeMarks> marks) override { spikeMarks_ = std::move(marks); }
  /// The spikes marked on the traces, or none.
  const std::shared_ptr<const SpikeMarks>& GetSpikeMarks() const { return spikeMarks_; }

  /// The embedded display settings.
  CanvasProperties& Properties() { return properties_; }
  /// The embedded display settings, read-only.
  const CanvasProperties& Properties() const { return properties_; }

  /// Stacks the plots from the top down and records the separator under each; 0 or -1.
  int32_t DrawPlots();
  /// Lets the visible plots work out what they will draw, side by side on the machine's cores, and
  /// waits for them (DrawPlots does the same while it draws).
  void PreparePlots();
  /// Starts preparing the plots DrawPlots will draw, in stacking order.
  std::unique_ptr<PlotPreparation> StartPreparation();
  /// The plots DrawPlots will draw (those the scroll position shows), in stacking order.
  std::vector<IPlot*> VisiblePlots() const;
  /// The plots the scroll position of `view` shows, in stacking order.
  std::vector<IPlot*> VisiblePlotsFor(const ViewState& view) const;
  /// The plots each of `views` would show, each with the frame it would be given, view by view; every
  /// plot first forgets the columns it kept aside for other frames. Paused ColumnsAhead only.
  std::vector<ColumnsAhead::Job> JobsAhead(const std::vector<ViewState>& views) override;
  /// Columns of a plot's trace: the canvas less the data axis.
  int32_t TraceWidth() const;
  /// The same for a canvas `canvasWidth` pixels wide.
  int32_t TraceWidthFor(int32_t canvasWidth) const;
  /// Draws one plot whose bottom edge is at y: trace, data axis, icons and name; 0.
  int32_t DrawPlot(IPlot& plot, int32_t y);
  /// Draws a plot's data axis, grid lines and value labels for its trace `height` pixels tall with its
  /// bottom at y, in the plot's gain and the chosen unit.
  void DrawDataAxis(const IPlot& plot, int32_t height, int32_t y);
  /// Draws the grid lines and the labels of a laid out data axis.
  void DrawDataAxisLayout(const DataAxisLayout& layout);
  /// Draws, to be cleared again, what the first frame of a recording would otherwise be the first to
  /// ask of the renderer.
  void WarmUpRenderer();
  /// Draws the time axis band at y with ticks and labels for a plot area of width w starting at x0.
  void DrawTimeAxis(int32_t w, int32_t x0, int32_t y, int64_t start, int64_t span);
  /// Tick positions and the labels that are drawn, for a plot area of width w starting at x0: every
  /// timeTickSpacing pixels from the middle in microseconds, on round times in seconds and as a clock.
  TimeAxisLayout LayoutTimeAxis(int32_t w, int32_t x0, int64_t start, int64_t span, const TextMeasure& textWidth) const;
  /// Grid lines and value labels of a data axis for a plot of height h with its bottom at y.
  DataAxisLayout LayoutDataAxis(int32_t h, int32_t y, int32_t centreValue, int32_t topValue,
                                const std::string& unit) const;
  /// The clock the Seconds and Clock labels read: from the first record of this canvas's sources (the
  /// data range is padded around the recordings), or from the data range's start without any.
  RecordingClock Clock() const override;
  /// The label of `time` in the current style, for ticks `step` microseconds apart.
  std::string FormatTimeLabelInStyle(int64_t time, int64_t step) const;

  /// The separator y recorded under each plot by the last DrawPlots.
  const std::vector<int32_t>& SeparatorYs() const { return separatorYs_; }
  /// The collection index of the plot above each recorded separator.
  const std::vector<int32_t>& SeparatorPlots() const { return separatorPlots_; }

 private:
  void ResetProjection();
  /// Microvolts per A/D count from the plot's source header, or none.
  std::optional<double> MicrovoltsPerCount(const IPlot& plot) const;
  /// The markers, the cursor lines and the time scale bar, over the finished stack.
  void DrawOverlays();
  /// The rows of the plots the stack shows, by name, for the markers on one plot.
  std::vector<CanvasOverlays::PlotRows> ShownPlotRows() const;
  /// The amplitude scale bar of a plot whose trace is `height` pixels tall, centred at yCentre.
  void DrawAmplitudeBar(const IPlot& plot, int32_t height, int32_t yCentre);
  void DrawOverlay(const CanvasOverlays::Layout& layout);
  TimeAxisLayout LayoutRoundTimeAxis(int32_t w, int32_t x0, int64_t start, int64_t span,
                                     const TextMeasure& textWidth) const;
  /// One header icon as a plot laid it out, in the plot's own coordinates.
  void DrawIcon(const IPlot::IconPlace& place);
  void DrawIconFrame(int32_t x, int32_t y, int32_t size, uint32_t innerColour);
  void DrawTriangle(int32_t cx, int32_t tipY, int32_t baseY);
  void DrawCloseIcon(int32_t x, int32_t y, int32_t size);
  void DrawMinusIcon(int32_t x, int32_t y, int32_t size);
  void DrawPlusIcon(int32_t x, int32_t y, int32_t size);
  void DrawUpIcon(int32_t x, int32_t y, int32_t size);
  void DrawDownIcon(int32_t x, int32_t y, int32_t size);

  ViewState& view_;
  GLRenderer* renderer_;
  IPlotCollection* plots_;
  IDataSourceManager* sources_;

  CanvasProperties properties_;
  bool frameReady_ = false;    // the last redraw had a bitmap and a context to draw into
  bool everDrawn_ = false;     // the renderer has worked at least once
  bool warmedUp_ = false;      // the first frame has been drawn (warmed up when it had no plots)
  bool renderFailed_ = false;  // the last redraw could not set the renderer up, at the size below
  int32_t failedWidth_ = 0;
  int32_t failedHeight_ = 0;
  TimeLabelStyle timeLabelStyle_ = TimeLabelStyle::Microseconds;
  bool dataAxisInMicrovolts_ = false;
  bool showScaleBars_ = false;
  TimeCursors cursors_;
  MarkerSet markers_;
  std::map<std::string, double> amplitudeGains_;  // by source path; absent means 1
  std::vector<int32_t> separatorYs_;
  std::vector<int32_t> separatorPlots_;
  std::shared_ptr<const SpikeMarks> spikeMarks_;
};

}  // namespace skelvane
