#include "app/OverviewStrip.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/WindowView.h"
#include "display/CscPlot.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"
#include "platform/Saturating.h"

namespace skelvane {
namespace {

constexpr int kMinimumBoxWidth = 8;  // pixels

}  // namespace

OverviewStrip::OverviewStrip(const IPlotCanvas& canvas, const ViewState& view, const IPlotCollection& plots,
                             ViewModel& model, WindowView& window, std::function<void()> summaryStarted,
                             QWidget* parent)
    : QWidget(parent),
      canvas_(canvas),
      view_(view),
      plots_(plots),
      model_(model),
      window_(window),
      summaryStarted_(std::move(summaryStarted)) {
  setFixedHeight(kHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::PointingHandCursor);
}

void OverviewStrip::FollowPlot(int32_t index) {
  IPlot* plot = nullptr;
  if (plots_.GetPlot(index, plot) != 0 || plot == nullptr || plot->GetPath() == followed_) return;
  followed_ = plot->GetPath();
  // Another plot's envelope, like a new view's, waits for the canvas's picture.
  ViewChanged();
}

// A new envelope folds the whole recording's summary, several milliseconds that the first picture
// after opening would wait for: the canvas's frame goes to the screen first, the strip just after.
// Until then a paint of the strip (the window's, or a menu closed over it) shows the image it has.
void OverviewStrip::ViewChanged() {
  CscPlot* plot = nullptr;
  if (WantedContent(plot) == picture_.Shown()) {
    update();
    return;
  }
  // The summary it needs is started now all the same: it is built while the canvas draws.
  StartShownSummary(plot);
  if (paintAsked_) return;
  paintAsked_ = true;
  window_.AfterNextPicture([this] {
    paintAsked_ = false;
    update();
  });
}

int32_t OverviewStrip::TraceLeft() const { return canvas_.GetDataAxisWidth(); }

int32_t OverviewStrip::TraceColumns() const { return std::max(view_.CanvasWidth - TraceLeft(), 0); }

// The plot followed, or the first when it is gone or none was; its path in `path`.
CscPlot* OverviewStrip::ShownPlot(std::string& path) const {
  IPlot* shown = nullptr;
  for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) != 0 || plot == nullptr) continue;
    if (shown == nullptr || plot->GetPath() == followed_) shown = plot;
    if (plot->GetPath() == followed_) break;
  }
  path = shown != nullptr ? shown->GetPath() : std::string();
  return dynamic_cast<CscPlot*>(shown);
}

std::string OverviewStrip::ShownPath() const {
  std::string path;
  ShownPlot(path);
  return path;
}

OverviewPicture::Content OverviewStrip::WantedContent(CscPlot*& plot) const {
  OverviewPicture::Content content;
  plot = ShownPlot(content.path);
  content.dataStart = view_.DataStart;
  content.dataEnd = view_.DataEnd;
  content.left = TraceLeft();
  content.columns = TraceColumns();
  content.width = width();
  content.height = height();
  content.built = plot != nullptr && plot->Summary() != nullptr && plot->Summary()->Summary() != nullptr;
  return content;
}

void OverviewStrip::StartShownSummary(CscPlot* plot) {
  if (plot == nullptr || plot->Summary() != nullptr) return;
  plot->StartSummary(SummaryBuilder::Rank::Shown);
  if (plot->Summary() != nullptr && summaryStarted_) summaryStarted_();
}

// Only a change of what the image shows draws it again; otherwise the kept one is used.
void OverviewStrip::RefreshEnvelope() {
  CscPlot* plot = nullptr;
  OverviewPicture::Content content = WantedContent(plot);
  if (plot != nullptr && plot->Summary() == nullptr) {
    StartShownSummary(plot);
    content = WantedContent(plot);  // with the summary just started
  }
  picture_.Show(plot, content);
}

QRect OverviewStrip::SpanBox() const {
  const int64_t duration = SaturatingSubtract(view_.DataEnd, view_.DataStart);
  const int32_t columns = TraceColumns();
  if (duration <= 0 || columns <= 0) return {};
  const auto columnOf = [&](int64_t time) {
    const int64_t offset = std::clamp<int64_t>(SaturatingSubtract(time, view_.DataStart), 0, duration);
    return static_cast<int32_t>(MulDiv(offset, columns, duration));
  };
  int32_t first = columnOf(view_.VisibleStart);
  int32_t end = columnOf(SaturatingAdd(view_.VisibleStart, view_.VisibleSpan));
  // A short span still gets a box one can see and point at, about its middle, inside the strip.
  if (end - first < kMinimumBoxWidth) {
    first = std::clamp((first + end - kMinimumBoxWidth) / 2, 0, std::max(columns - kMinimumBoxWidth, 0));
    end = first + kMinimumBoxWidth;
  }
  return QRect(TraceLeft() + first, 0, end - first, height());
}

void OverviewStrip::paintEvent(QPaintEvent*) {
  if (!paintAsked_) RefreshEnvelope();
  QPainter painter(this);
  picture_.Paint(painter, SpanBox());
}

void OverviewStrip::CentreOnColumnAt(int32_t x) {
  const int64_t duration = SaturatingSubtract(view_.DataEnd, view_.DataStart);
  const int32_t columns = TraceColumns();
  if (duration <= 0 || columns <= 0) return;
  const int32_t column = std::clamp(x - TraceLeft(), 0, columns - 1);
  // The middle of the column's share of the data range.
  const int64_t time = SaturatingAdd(view_.DataStart, MulDiv(duration, 2 * int64_t{column} + 1, 2 * int64_t{columns}));
  model_.CentreOn(time);
  window_.UpdateHorizontalScroll();
  window_.Redraw();
}

void OverviewStrip::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) CentreOnColumnAt(event->position().toPoint().x());
}

void OverviewStrip::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) CentreOnColumnAt(event->position().toPoint().x());
}

}  // namespace skelvane
