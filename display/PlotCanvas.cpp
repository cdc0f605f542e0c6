#include "display/PlotCanvas.h"

#include <algorithm>
#include <cmath>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "display/DisplayConstants.h"
#include "display/IPlotCollection.h"
#include "display/PlotPreparation.h"
#include "display/RecordingClock.h"
#include "display/TimeAxisTicks.h"
#include "display/TimeText.h"
#include "platform/PathHelpers.h"
#include "platform/ReportError.h"
#include "platform/Saturating.h"
#include "platform/StatusCodes.h"
#include "render/GLRenderer.h"
#include "columns/TimeColumns.h"

namespace skelvane {
namespace {

constexpr int32_t kPresentOffsetY = 15;        // the image sits below the horizontal scrollbar
constexpr uint32_t kExcludedColour = 2;        // the plots' colours skip this one's family ("Black")
constexpr uint32_t kUnfamiliarColour = 0xCCCCCC;  // in no family: excluding it keeps "Black" excluded
constexpr int32_t kLineWidth = 1;
constexpr int32_t kLabelGap = 5;               // time labels closer than this to a neighbour are skipped
constexpr int32_t kTimeLabelRaise = 3;         // time labels sit this far above the band's bottom
constexpr int32_t kAxisLineX = 3;              // the data axis' vertical line
constexpr int32_t kAxisLabelX = 7;
constexpr int32_t kAxisGridInset = 3;          // grid lines start this far left of the axis strip's edge
constexpr int32_t kPixelsPerAxisTick = 20;
constexpr int32_t kIconInset = 3;
constexpr int32_t kArrowHalfWidth = 4;
constexpr int32_t kArrowHeight = 4;
constexpr double kMicrovoltsPerVolt = 1e6;
constexpr const char* kCountsUnit = "  AD Counts";  // the unit a CSC plot gives counts
constexpr const char* kMicrovoltUnit = "  uV";
constexpr const char* kBitVoltsKey = "-ADBitVolts";
constexpr const char* kBarCountsUnit = "counts";  // what an amplitude scale bar measures in
constexpr const char* kBarMicrovoltUnit = "uV";

}  // namespace

PlotCanvas::PlotCanvas(ViewState& view, GLRenderer* renderer, IPlotCollection* plots, IDataSourceManager* sources)
    : view_(view), renderer_(renderer), plots_(plots), sources_(sources) {}

ColorTable PlotCanvas::MakePlotColours() {
  ColorTable colours;
  colours.ExcludeFamilyOf(kExcludedColour);
  colours.ExcludeFamilyOf(kUnfamiliarColour);
  return colours;
}

PlotFrame PlotCanvas::Frame() { return FrameFor(view_); }

PlotFrame PlotCanvas::FrameFor(const ViewState& view) {
  PlotFrame frame;
  frame.start = view.VisibleStart;
  frame.end = SaturatingAdd(view.VisibleStart, view.VisibleSpan);
  frame.visibleSpan = view.VisibleSpan;
  frame.traceWidth = TraceWidthFor(view.CanvasWidth);
  frame.canvasWidth = view.CanvasWidth;
  frame.scrollTop = view.ScrollTop;
  frame.scrollBottom = view.ScrollBottom;
  frame.renderer = renderer_;
  frame.canvas = this;
  frame.spikeMarks = spikeMarks_.get();
  return frame;
}

int32_t PlotCanvas::Present(BitmapPresenter& presenter) {
  // Without a frame from the last redraw there is nothing to show; that redraw said why.
  if (renderer_ == nullptr || !frameReady_) return kStatusFailed;
  return renderer_->BltToScreen(presenter, view_.CanvasWidth, view_.CanvasHeight, 0, kPresentOffsetY);
}

int32_t PlotCanvas::RedrawAll() {
  if (renderer_ == nullptr) return kStatusFailed;
  const ViewState& v = view_;
  // A renderer that never started, or that failed at this very size, has said why once already:
  // trying again on every key press and paint would only say it again. A new size is tried afresh.
  const bool sameSize = v.CanvasWidth == failedWidth_ && v.CanvasHeight == failedHeight_;
  if (renderFailed_ && (!everDrawn_ || sameSize)) return kStatusFailed;
  if (renderer_->CreateDIBSectionOGL(v.CanvasWidth, v.CanvasHeight) != 0 || renderer_->SetupRenderer() != 0) {
    renderFailed_ = true;
    frameReady_ = false;
    failedWidth_ = v.CanvasWidth;
    failedHeight_ = v.CanvasHeight;
    return kStatusFailed;
  }
  renderFailed_ = false;
  everDrawn_ = true;
  frameReady_ = true;
  renderer_->ClearScene();
  ResetProjection();
  if (!warmedUp_) {
    warmedUp_ = true;
    if (plots_->GetNumPlots() == 0) {
      WarmUpRenderer();
      renderer_->ClearScene();
      ResetProjection();
    }
  }

  // The background is the scene's clear: black, and behind every depth the canvas draws at. A
  // black polygon over the canvas would give the same bytes for a quarter of a frame's rasterising.

  if (properties_.showTimeAxis) {
    DrawTimeAxis(v.CanvasWidth - GetDataAxisWidth(), GetDataAxisWidth(), v.ScrollBottom, v.VisibleStart,
                 v.VisibleSpan);
  }
  // One flush, after the frame's last primitive: the frame is read back whole, and a flush in
  // mid-frame makes the software rasteriser start a new scene, which costs every frame 8-16 % more
  // processor time (the markers' fill more) for nothing drawn sooner.
  if (DrawPlots() != 0) return kStatusFailed;
  DrawOverlays();
  renderer_->Flush();
  return kStatusOk;
}

// The software rasteriser builds its code for a combination of drawing state the first time a frame
// meets it, 5-15 ms each; the axis of a plot cut by the canvas's edge meets some that an empty canvas
// never does. So the first frame without plots draws such axes at both edges and clears them again,
// and the first picture of a recording does not wait for that code.
void PlotCanvas::WarmUpRenderer() {
  const ViewState& v = view_;
  constexpr int32_t kHeight = 100;
  constexpr int32_t kTop = 2047;
  const int32_t bottoms[2] = {v.ScrollTop - kHeight / 2, v.ScrollBottom + GetTimeAxisHeight() - kHeight / 2};
  for (const int32_t bottom : bottoms) DrawDataAxisLayout(LayoutDataAxis(kHeight, bottom, 0, kTop, kCountsUnit));
}

void PlotCanvas::DrawOverlays() {
  const ViewState& v = view_;
  if (!markers_.Empty()) {
    const int32_t axisWidth = GetDataAxisWidth();
    DrawOverlay(CanvasOverlays::Markers(markers_, v.VisibleStart, v.VisibleSpan, v.CanvasWidth - axisWidth, axisWidth,
                                        v.ScrollBottom + GetTimeAxisHeight(), v.ScrollTop, ShownPlotRows(),
                                        renderer_->GetTextHeight("Ag"),
                                        [this](std::string_view text) { return renderer_->GetTextWidth(text); }));
  }
  if (cursors_.Any()) {
    const int32_t axisWidth = GetDataAxisWidth();
    DrawOverlay(CanvasOverlays::Cursors(cursors_, v.VisibleStart, v.VisibleSpan, v.CanvasWidth - axisWidth,
                                        axisWidth, v.ScrollBottom + GetTimeAxisHeight(), v.ScrollTop,
                                        renderer_->GetTextHeight("AB")));
  }
  if (showScaleBars_) {
    DrawOverlay(CanvasOverlays::TimeBar(v.VisibleSpan, TraceWidth(), v.CanvasWidth,
                                        v.ScrollBottom + GetTimeAxisHeight() + CanvasOverlays::kBarInset,
                                        renderer_->GetTextHeight("0"),
                                        [this](std::string_view text) { return renderer_->GetTextWidth(text); }));
  }
}

std::vector<CanvasOverlays::PlotRows> PlotCanvas::ShownPlotRows() const {
  std::vector<CanvasOverlays::PlotRows> rows;
  const int32_t count = plots_ != nullptr ? plots_->GetNumPlots() : 0;
  int32_t y = 0;
  for (int32_t i = 0; i < count; ++i) {
    IPlot* plot = nullptr;
    if (plots_->GetPlot(i, plot) != 0 || plot == nullptr) break;
    const int32_t h = plot->GetHeight();
    if (y - h < view_.ScrollTop && y > view_.ScrollBottom) rows.push_back({FileTitleOf(plot->GetPath()), y - h, y});
    y = y - h - 3;  // the plot and its two separators, as DrawPlots stacks them
  }
  return rows;
}

void PlotCanvas::DrawAmplitudeBar(const IPlot& plot, int32_t height, int32_t yCentre) {
  const int32_t fullScale = plot.GetADMaxValue();
  const double gain = GetAmplitudeGain(plot.GetPath());
  if (fullScale <= 0 || height <= 1) return;
  // The trace puts the full scale half the trace's height from its middle, times the gain.
  double perPixel = fullScale / (height / 2.0 * gain);
  std::string unit = kBarCountsUnit;
  if (const std::optional<double> microvolts = MicrovoltsPerCount(plot)) {
    perPixel *= *microvolts;
    unit = kBarMicrovoltUnit;
  }
  DrawOverlay(CanvasOverlays::AmplitudeBar(perPixel, unit, height, view_.CanvasWidth, yCentre,
                                           renderer_->GetTextHeight(unit),
                                           [this](std::string_view text) { return renderer_->GetTextWidth(text); }));
}

void PlotCanvas::DrawOverlay(const CanvasOverlays::Layout& layout) {
  ResetProjection();
  for (const CanvasOverlays::Plate& plate : layout.plates) {
    const int32_t xs[4] = {plate.left, plate.left, plate.right, plate.right};
    const int32_t ys[4] = {plate.bottom, plate.top, plate.top, plate.bottom};
    renderer_->DrawPolygon(xs, ys, 4, plate.colour, kDepthOverlayPlate, kOpaque);
  }
  for (const CanvasOverlays::Line& line : layout.lines) {
    renderer_->DrawLine(line.x1, line.y1, line.x2, line.y2, line.colour, kLineWidth, kDepthOverlay, kOpaque);
  }
  for (const CanvasOverlays::Columns& columns : layout.columns) {
    renderer_->DrawColumns(columns.xs, columns.yLow, columns.yTop, columns.colour, kLineWidth, kDepthOverlay, kOpaque);
  }
  // Texts of one colour together: the renderer puts those of a row in one bitmap.
  std::vector<GLRenderer::PlacedText> placed;
  for (std::size_t i = 0; i < layout.texts.size();) {
    const uint32_t colour = layout.texts[i].colour;
    placed.clear();
    for (; i < layout.texts.size() && layout.texts[i].colour == colour; ++i) {
      placed.push_back({layout.texts[i].text, layout.texts[i].x, layout.texts[i].y});
    }
    renderer_->DrawStrings(placed, kDepthOverlay, colour);
  }
}

std::unique_ptr<PlotPreparation> PlotCanvas::StartPreparation() {
  return std::make_unique<PlotPreparation>(VisiblePlots(), Frame());
}

std::vector<IPlot*> PlotCanvas::VisiblePlots() const { return VisiblePlotsFor(view_); }

std::vector<IPlot*> PlotCanvas::VisiblePlotsFor(const ViewState& v) const {
  std::vector<IPlot*> visible;
  int32_t y = 0;
  const int32_t count = plots_ != nullptr ? plots_->GetNumPlots() : 0;
  for (int32_t i = 0; i < count; ++i) {
    IPlot* plot = nullptr;
    if (plots_->GetPlot(i, plot) != 0 || plot == nullptr) break;
    const int32_t h = plot->GetHeight();
    if (y - h < v.ScrollTop && y > v.ScrollBottom) visible.push_back(plot);
    y = y - h - 3;  // the plot and its two separators, as DrawPlots stacks them
  }
  return visible;
}

std::vector<ColumnsAhead::Job> PlotCanvas::JobsAhead(const std::vector<ViewState>& views) {
  std::vector<ColumnsAhead::Job> jobs;
  std::map<IPlot*, std::vector<PlotFrame>> kept;
  for (const ViewState& view : views) {
    PlotFrame frame = FrameFor(view);
    frame.renderer = nullptr;  // never drawn: worked out off the drawing thread
    for (IPlot* plot : VisiblePlotsFor(view)) {
      jobs.push_back({plot, frame});
      kept[plot].push_back(frame);
    }
  }
  const int32_t count = plots_ != nullptr ? plots_->GetNumPlots() : 0;
  for (int32_t i = 0; i < count; ++i) {
    IPlot* plot = nullptr;
    if (plots_->GetPlot(i, plot) != 0 || plot == nullptr) continue;
    const auto found = kept.find(plot);
    plot->KeepAheadFor(found != kept.end() ? std::span<const PlotFrame>(found->second) : std::span<const PlotFrame>());
  }
  return jobs;
}

void PlotCanvas::PreparePlots() {
  StartPreparation()->AwaitAll();
}

int32_t PlotCanvas::TraceWidth() const { return TraceWidthFor(view_.CanvasWidth); }

int32_t PlotCanvas::TraceWidthFor(int32_t canvasWidth) const {
  return canvasWidth - (properties_.showDataAxis ? GetDataAxisWidth() : 0);
}

int32_t PlotCanvas::DrawPlots() {
  separatorYs_.clear();
  separatorPlots_.clear();
  if (plots_ == nullptr) return kStatusOk;
  // Helpers work out the plots further down while the ones above are drawn.
  const std::unique_ptr<PlotPreparation> preparation = StartPreparation();
  std::size_t visible = 0;
  int32_t y = 0;
  const int32_t count = plots_->GetNumPlots();
  for (int32_t i = 0; i < count; ++i) {
    IPlot* plot = nullptr;
    if (plots_->GetPlot(i, plot) != 0 || plot == nullptr) return kStatusFailed;
    // Icons from the last redraw may be covered now; the plots drawn lay theirs out again.
    plot->ForgetIcons();
    const int32_t h = plot->GetHeight();
    if (y - h < view_.ScrollTop && y > view_.ScrollBottom) {
      preparation->Await(visible++);
      DrawPlot(*plot, y - h);
    }
    // Two grey lines under every plot; the upper one is the border the mouse can drag.
    y = y - h - 1;
    DrawSeparator(y);
    separatorYs_.push_back(y);
    separatorPlots_.push_back(i);
    y = y - 1;
    DrawSeparator(y);
    y = y - 1;
  }
  return kStatusOk;
}

int32_t PlotCanvas::DrawPlot(IPlot& plot, int32_t y) {
  const bool header = properties_.showPlotNames || properties_.showPlotIcons;
  int32_t h = plot.GetHeight();
  if (header) h -= properties_.plotHeaderHeight;
  int32_t axisWidth = 0;
  int32_t vMargin = 0;
  if (properties_.showDataAxis) {
    axisWidth = GetDataAxisWidth();
    vMargin = properties_.dataAxisMargin;
  }
  const ViewState& v = view_;
  const PlotFrame frame = Frame();
  ResetProjection();
  // A magnified trace is clipped to its own plot so it cannot run over its neighbours or the header.
  const bool clip = renderer_ != nullptr && GetAmplitudeGain(plot.GetPath()) != 1.0;
  if (clip) {
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, y - v.ScrollBottom, v.CanvasWidth, std::max(h, 0));
  }
  plot.Draw(frame, v.CanvasWidth - axisWidth, h - 2 * vMargin, axisWidth, y + vMargin);
  if (clip) glDisable(GL_SCISSOR_TEST);
  if (properties_.showDataAxis) {
    ResetProjection();
    DrawDataAxis(plot, h, y);
  }
  if (showScaleBars_ && renderer_ != nullptr) {
    const int32_t traceHeight = h - 2 * vMargin;
    DrawAmplitudeBar(plot, traceHeight, y + vMargin + traceHeight / 2);
  }
  if (header) h += properties_.plotHeaderHeight;
  if (properties_.showPlotIcons) {
    ResetProjection();
    if (renderer_ != nullptr) renderer_->Translate(0.0f, static_cast<float>(y), 0.0f);
    for (const IPlot::IconPlace& place : plot.LayOutIcons(h, 0, y)) DrawIcon(place);
  }
  if (properties_.showPlotNames) {
    ResetProjection();
    plot.DrawName(frame, y, h, v.CanvasWidth);
  }
  return kStatusOk;
}

void PlotCanvas::DrawSeparator(int32_t y) {
  if (renderer_ == nullptr) return;
  ResetProjection();
  renderer_->DrawLine(0, y, view_.CanvasWidth, y, kColourSeparator, kLineWidth, kDepthSeparator, kOpaque);
}

RecordingClock PlotCanvas::Clock() const {
  return sources_ != nullptr ? RecordingClock::Of(*sources_, view_.DataStart) : RecordingClock(view_.DataStart);
}

std::string PlotCanvas::FormatTimeLabelInStyle(int64_t time, int64_t step) const {
  switch (timeLabelStyle_) {
    case TimeLabelStyle::Seconds: return Clock().Seconds(time, TimeText::DecimalsForStep(step));
    case TimeLabelStyle::Clock: return Clock().Clock(time, TimeText::DecimalsForStep(step));
    case TimeLabelStyle::Microseconds: break;
  }
  return TimeText::Microseconds(time, properties_.timeLabelScale);
}

// Seconds and clock labels: ticks on round times, each labelled with its own time, exactly. The step
// grows until the widest label fits between two ticks, so no label has to be left out.
PlotCanvas::TimeAxisLayout PlotCanvas::LayoutRoundTimeAxis(int32_t w, int32_t x0, int64_t start, int64_t span,
                                                           const TextMeasure& textWidth) const {
  TimeAxisLayout layout;
  if (w <= 0 || span <= 0) return layout;
  const bool clock = timeLabelStyle_ == TimeLabelStyle::Clock;
  const TimeAxisTicks::Kind kind = clock ? TimeAxisTicks::Kind::Clock : TimeAxisTicks::Kind::Decimal;
  // Seconds and clock ticks alike fall on round times of the one clock.
  const int64_t origin = Clock().Origin();
  int64_t step = TimeAxisTicks::Step(kind, span, w, properties_.timeTickSpacing);
  std::vector<int64_t> times;
  std::vector<TimeLabel> labels;
  for (;;) {
    times = TimeAxisTicks::Times(start, span, origin, step);
    labels.clear();
    int32_t widest = 0;
    for (const int64_t time : times) {
      TimeLabel label;
      label.text = FormatTimeLabelInStyle(time, step);
      label.width = textWidth(label.text);
      widest = std::max(widest, label.width);
      labels.push_back(std::move(label));
    }
    const double pixelsPerStep = static_cast<double>(step) * w / static_cast<double>(span);
    const int64_t next = TimeAxisTicks::Next(kind, step);
    // Columns are whole pixels: neighbouring ticks may stand a pixel closer than the step.
    if (pixelsPerStep > widest + kLabelGap + 1 || next == step) break;
    step = next;
  }
  int32_t lastRight = std::numeric_limits<int32_t>::min();
  for (std::size_t i = 0; i < times.size(); ++i) {
    int32_t pixel = 0;
    if (TimeColumns::PixelForTime(times[i], start, w, span, pixel) != 0 || pixel >= w) continue;
    layout.ticks.push_back({x0 + pixel, kColourGrid});
    TimeLabel& label = labels[i];
    label.x = x0 + pixel - label.width / 2;
    if (lastRight != std::numeric_limits<int32_t>::min() && label.x <= lastRight + kLabelGap) continue;
    lastRight = label.x + label.width;
    layout.labels.push_back(std::move(label));
  }
  return layout;
}

PlotCanvas::TimeAxisLayout PlotCanvas::LayoutTimeAxis(int32_t w, int32_t x0, int64_t start, int64_t span,
                                                      const TextMeasure& textWidth) const {
  if (timeLabelStyle_ != TimeLabelStyle::Microseconds) return LayoutRoundTimeAxis(w, x0, start, span, textWidth);
  TimeAxisLayout layout;
  const int32_t spacing = properties_.timeTickSpacing;
  const int32_t centre = w / 2;
  const int32_t n = spacing > 0 ? centre / spacing : 0;
  layout.ticks.push_back({x0 + centre, kColourLight});
  for (int32_t k = 1; k <= n; ++k) {
    layout.ticks.push_back({x0 + centre + k * spacing, kColourGrid});
    layout.ticks.push_back({x0 + centre - k * spacing, kColourGrid});
  }

  // Time between neighbouring ticks: seconds and clock labels show as many decimals as tell them
  // apart. Truncated column times put ticks up to a microsecond closer than this; a tenth spare covers it.
  const int64_t tickStep = w > 0 ? TruncToInt64(static_cast<double>(span) / w * spacing) : span;
  const int64_t step = tickStep - tickStep / 10;
  // Returns false when the column's time cannot be had, which ends the labelling.
  auto labelAt = [&](int32_t pixel, TimeLabel& label) {
    int64_t time = 0;
    if (GetTimeForPixel(pixel, w, span, start, time) != 0) return false;
    label.text = FormatTimeLabelInStyle(time, step);
    label.width = textWidth(label.text);
    label.x = x0 + pixel - label.width / 2;
    return true;
  };
  TimeLabel label;
  if (!labelAt(centre, label)) return layout;
  layout.labels.push_back(label);
  int32_t lastRight = label.x + label.width;  // right edge of the last label drawn right of centre
  int32_t lastLeft = label.x;                 // left edge of the last label drawn left of centre
  for (int32_t k = 1; k <= n; ++k) {
    if (!labelAt(centre + k * spacing, label)) return layout;
    if (label.x > lastRight + kLabelGap) {
      layout.labels.push_back(label);
      lastRight = label.x + label.width;
    }
  }
  for (int32_t k = 1; k <= n; ++k) {
    if (!labelAt(centre - k * spacing, label)) return layout;
    if (label.x + label.width < lastLeft - kLabelGap) {
      layout.labels.push_back(label);
      lastLeft = label.x;
    }
  }
  return layout;
}

void PlotCanvas::DrawTimeAxis(int32_t w, int32_t x0, int32_t y, int64_t start, int64_t span) {
  if (renderer_ == nullptr) return;
  const int32_t height = properties_.timeAxisHeight;
  const int32_t width = view_.CanvasWidth;
  const int32_t xs[4] = {0, 0, width, width};
  const int32_t ys[4] = {y, y + height, y + height, y};
  renderer_->DrawPolygon(xs, ys, 4, kColourBlack, kDepthTimeAxisBand, kOpaque);

  const TimeAxisLayout layout =
      LayoutTimeAxis(w, x0, start, span, [this](std::string_view text) { return renderer_->GetTextWidth(text); });
  for (const TimeTick& tick : layout.ticks) {
    renderer_->DrawLine(tick.x, y, tick.x, y + height, tick.colour, kLineWidth, kDepthTimeTicks, kOpaque);
    renderer_->DrawLine(tick.x, y, tick.x, y + view_.CanvasHeight, tick.colour, kLineWidth, kDepthGrid, kOpaque);
  }
  DrawSeparator(y + height);
  DrawSeparator(y + height - 1);
  DrawSeparator(y);
  for (const TimeLabel& label : layout.labels) {
    renderer_->DrawString(label.text, label.x, y + kTimeLabelRaise, kDepthTimeTicks, kColourLight);
  }
}

PlotCanvas::DataAxisLayout PlotCanvas::LayoutDataAxis(int32_t h, int32_t y, int32_t centreValue, int32_t topValue,
                                                      const std::string& unit) const {
  DataAxisLayout layout;
  const int32_t m = properties_.dataAxisMargin;
  const int32_t right = view_.CanvasWidth;
  const int32_t gridLeft = properties_.dataAxisWidth - kAxisGridInset;
  const int32_t half = h / 2;
  layout.lines.push_back({kAxisLineX, y + m, kAxisLineX, y + h - m, kColourLight});
  layout.lines.push_back({gridLeft, y + half, right, y + half, kColourGrid});
  layout.lines.push_back({gridLeft, y + m, right, y + m, kColourGrid});
  layout.lines.push_back({gridLeft, y + h - m, right, y + h - m, kColourGrid});

  layout.labels.push_back({std::to_string(centreValue) + unit, y + half});
  const int32_t n = (half - m) / kPixelsPerAxisTick;
  if (n <= 0) return layout;  // too short for ticks: the centre label alone
  const double pixelsPerTick = static_cast<double>(half - m) / n;
  const double valuePerTick = static_cast<double>(int64_t{topValue} - centreValue) / n;
  auto valueText = [&](int32_t k) { return std::to_string(TruncToInt64(centreValue + k * valuePerTick)); };
  auto tickY = [&](int32_t k) { return SaturateTo<int32_t>(y + half + k * pixelsPerTick); };
  layout.labels.push_back({valueText(n), tickY(n)});
  layout.labels.push_back({valueText(-n), tickY(-n)});
  for (int32_t k = 1; k < n; ++k) {
    layout.lines.push_back({0, tickY(k), right, tickY(k), kColourGrid});
    layout.lines.push_back({0, tickY(-k), right, tickY(-k), kColourGrid});
    layout.labels.push_back({valueText(k), tickY(k)});
    layout.labels.push_back({valueText(-k), tickY(-k)});
  }
  return layout;
}

void PlotCanvas::DrawDataAxis(const IPlot& plot, int32_t height, int32_t y) {
  if (renderer_ == nullptr) return;
  const IPlot::DataAxisRange range = plot.DataAxis();
  // The labels follow the plot's display gain: a doubled trace spans half the values.
  const double gain = GetAmplitudeGain(plot.GetPath());
  double top = range.top;
  double centre = range.centre;
  if (gain != 1.0) {
    top /= gain;
    centre /= gain;
  }
  std::string shownUnit = range.unit;
  if (dataAxisInMicrovolts_ && range.unit == kCountsUnit) {
    if (const std::optional<double> microvoltsPerCount = MicrovoltsPerCount(plot)) {
      top *= *microvoltsPerCount;
      centre *= *microvoltsPerCount;
      shownUnit = kMicrovoltUnit;
    }
  }
  DrawDataAxisLayout(LayoutDataAxis(height, y, SaturateTo<int32_t>(centre), SaturateTo<int32_t>(top), shownUnit));
}

void PlotCanvas::DrawDataAxisLayout(const DataAxisLayout& layout) {
  for (const AxisLine& line : layout.lines) {
    renderer_->DrawLine(line.x1, line.y1, line.x2, line.y2, line.colour, kLineWidth, kDepthDataAxis, kOpaque);
  }
  // Labels never overwrite the time axis band at the bottom of the canvas.
  const int32_t lowest = view_.ScrollBottom + GetTimeAxisHeight();
  for (const AxisLabel& label : layout.labels) {
    const int32_t textY = label.y - renderer_->GetTextHeight(label.text) / 4;
    if (textY >= lowest) renderer_->DrawString(label.text, kAxisLabelX, textY, kDepthAxisLabels, kColourLight);
  }
}

void PlotCanvas::DrawIcon(const IPlot::IconPlace& place) {
  switch (place.icon) {
    case IPlot::HeaderIcon::Close: DrawCloseIcon(place.x, place.y, place.size); break;
    case IPlot::HeaderIcon::Up: DrawUpIcon(place.x, place.y, place.size); break;
    case IPlot::HeaderIcon::Down: DrawDownIcon(place.x, place.y, place.size); break;
    case IPlot::HeaderIcon::Plus: DrawPlusIcon(place.x, place.y, place.size); break;
    case IPlot::HeaderIcon::Minus: DrawMinusIcon(place.x, place.y, place.size); break;
  }
}

void PlotCanvas::DrawIconFrame(int32_t x, int32_t y, int32_t s, uint32_t innerColour) {
  const int32_t outerXs[4] = {x, x, x + s, x + s};
  const int32_t outerYs[4] = {y, y + s, y + s, y};
  renderer_->DrawPolygon(outerXs, outerYs, 4, kColourBlack, kDepthIcons, kOpaque);
  const int32_t innerXs[4] = {x + 1, x + 1, x + s - 1, x + s - 1};
  const int32_t innerYs[4] = {y + 1, y + s - 1, y + s - 1, y + 1};
  renderer_->DrawPolygon(innerXs, innerYs, 4, innerColour, kDepthIcons, kOpaque);
}

void PlotCanvas::DrawTriangle(int32_t cx, int32_t tipY, int32_t baseY) {
  const int32_t xs[3] = {cx, cx - kArrowHalfWidth, cx + kArrowHalfWidth};
  const int32_t ys[3] = {tipY, baseY, baseY};
  renderer_->DrawPolygon(xs, ys, 3, kColourLight, kDepthIcons, kOpaque);
}

void PlotCanvas::DrawCloseIcon(int32_t x, int32_t y, int32_t s) {
  if (renderer_ == nullptr) return;
  DrawIconFrame(x, y, s, kColourCloseIcon);
  const int32_t a = kIconInset;
  renderer_->DrawLine(x + a, y + a, x + s - a, y + s - a, kColourLight, kLineWidth, kDepthIcons, kOpaque);
  renderer_->DrawLine(x + a, y + s - a, x + s - a, y + a, kColourLight, kLineWidth, kDepthIcons, kOpaque);
}

void PlotCanvas::DrawMinusIcon(int32_t x, int32_t y, int32_t s) {
  if (renderer_ == nullptr) return;
  DrawIconFrame(x, y, s, kColourSeparator);
  const int32_t a = kIconInset;
  const int32_t my = y + s / 2 + 1;
  renderer_->DrawLine(x + a, my, x + s - a, my, kColourLight, kLineWidth, kDepthIcons, kOpaque);
}

void PlotCanvas::DrawPlusIcon(int32_t x, int32_t y, int32_t s) {
  if (renderer_ == nullptr) return;
  DrawIconFrame(x, y, s, kColourSeparator);
  const int32_t a = kIconInset;
  const int32_t my = y + s / 2 + 1;
  const int32_t mx = x + s / 2;
  renderer_->DrawLine(x + a, my, x + s - a, my, kColourLight, kLineWidth, kDepthIcons, kOpaque);
  renderer_->DrawLine(mx, y + a, mx, y + s - a, kColourLight, kLineWidth, kDepthIcons, kOpaque);
}

void PlotCanvas::DrawUpIcon(int32_t x, int32_t y, int32_t s) {
  if (renderer_ == nullptr) return;
  DrawIconFrame(x, y, s, kColourSeparator);
  const int32_t a = kIconInset;
  const int32_t c = x + s / 2;
  renderer_->DrawLine(c, y + a, c, y + s - a, kColourLight, kLineWidth, kDepthIcons, kOpaque);
  DrawTriangle(c, y + s - a, y + s - a - kArrowHeight);
}

void PlotCanvas::DrawDownIcon(int32_t x, int32_t y, int32_t s) {
  if (renderer_ == nullptr) return;
  DrawIconFrame(x, y, s, kColourSeparator);
  const int32_t a = kIconInset;
  const int32_t c = x + s / 2;
  renderer_->DrawLine(c, y + a, c, y + s - a, kColourLight, kLineWidth, kDepthIcons, kOpaque);
  DrawTriangle(c, y + a, y + a + kArrowHeight);
}

int64_t PlotCanvas::GetMinimumSpan() const { return properties_.minimumVisibleSpan; }
void PlotCanvas::SetMinimumSpan(int64_t span) { properties_.minimumVisibleSpan = span; }
int32_t PlotCanvas::GetZoomFactor() const { return properties_.zoomFactor; }
int32_t PlotCanvas::GetTimeAxisHeight() const { return properties_.showTimeAxis ? properties_.timeAxisHeight : 0; }
int32_t PlotCanvas::GetShowPlotIcons() const { return properties_.showPlotIcons; }
int32_t PlotCanvas::GetShowPlotNames() const { return properties_.showPlotNames; }
int32_t PlotCanvas::GetShowDataAxis() const { return properties_.showDataAxis; }
int32_t PlotCanvas::GetShowTimeAxis() const { return properties_.showTimeAxis; }
void PlotCanvas::SetShowPlotIcons(int32_t show) { properties_.showPlotIcons = show; }
void PlotCanvas::SetShowPlotNames(int32_t show) { properties_.showPlotNames = show; }
void PlotCanvas::SetShowDataAxis(int32_t show) { properties_.showDataAxis = show; }
void PlotCanvas::SetShowTimeAxis(int32_t show) { properties_.showTimeAxis = show; }
int32_t PlotCanvas::GetDataAxisMargin() const { return properties_.dataAxisMargin; }
int32_t PlotCanvas::GetDataAxisWidth() const { return properties_.showDataAxis ? properties_.dataAxisWidth : 0; }
int32_t PlotCanvas::GetPlotHeaderHeight() const { return properties_.plotHeaderHeight; }
int32_t PlotCanvas::GetHorizontalPagePercent() const { return properties_.horizontalPagePercent; }
int32_t PlotCanvas::GetVerticalPagePercent() const { return properties_.verticalPagePercent; }
double PlotCanvas::GetTimeLabelScale() const { return properties_.timeLabelScale; }
int32_t PlotCanvas::ReadSettings(File& file) { return properties_.Read(file); }
int32_t PlotCanvas::WriteSettings(File& file) { return properties_.Write(file); }

int32_t PlotCanvas::FindSeparator(int32_t y, int32_t& plot) const {
  for (std::size_t i = 0; i < separatorYs_.size(); ++i) {
    const int32_t s = separatorYs_[i];
    if (s >= y - 2 && y + 1 >= s) {
      plot = separatorPlots_[i];
      return 1;
    }
  }
  return 0;
}

double PlotCanvas::GetAmplitudeGain(const std::string& path) const {
  const auto found = amplitudeGains_.find(path);
  return found == amplitudeGains_.end() ? 1.0 : found->second;
}

void PlotCanvas::SetAmplitudeGain(const std::string& path, double gain) {
  if (!(gain > 0.0)) return;
  gain = std::clamp(gain, kMinAmplitudeGain, kMaxAmplitudeGain);
  if (gain == 1.0) {
    amplitudeGains_.erase(path);
  } else {
    amplitudeGains_[path] = gain;
  }
}

int32_t PlotCanvas::GetPixelForTime(int64_t time, int64_t start, int32_t width, int64_t span, int32_t& pixel) {
  return TimeColumns::PixelForTime(time, start, width, span, pixel);
}

int32_t PlotCanvas::GetTimeRangeForPixel(int32_t pixel, int32_t width, int64_t span, int64_t start, int64_t& first,
                                         int64_t& last) {
  return TimeColumns::TimeRangeForPixel(pixel, width, span, start, first, last);
}

int32_t PlotCanvas::GetTimeForPixel(int32_t pixel, int32_t width, int64_t span, int64_t start, int64_t& time) {
  return TimeColumns::TimeForPixel(pixel, width, span, start, time);
}

std::optional<double> PlotCanvas::MicrovoltsPerCount(const IPlot& plot) const {
  int32_t source = -1;
  std::string bitVolts;
  if (sources_ == nullptr || sources_->FindSourceByPath(plot.GetPath(), source) != 0 ||
      sources_->GetHeaderValue(source, kBitVoltsKey, bitVolts) != 0) {
    return std::nullopt;
  }
  const double microvoltsPerCount = std::strtod(bitVolts.c_str(), nullptr) * kMicrovoltsPerVolt;
  if (!(microvoltsPerCount > 0.0) || !std::isfinite(microvoltsPerCount)) return std::nullopt;
  return microvoltsPerCount;
}

void PlotCanvas::ResetProjection() {
  if (renderer_ == nullptr) return;
  renderer_->SetProjection(0.0, view_.CanvasWidth, view_.ScrollBottom, view_.ScrollTop);
}

}  // namespace skelvane
