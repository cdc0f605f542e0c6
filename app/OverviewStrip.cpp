#include "app/OverviewStrip.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "app/WindowView.h"
#include "display/CscPlot.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/OverviewEnvelope.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"
#include "platform/PathHelpers.h"
#include "platform/Saturating.h"

namespace skelvane {
namespace {

const QColor kBackground(0, 0, 0);
const QColor kNameColour(0xCC, 0xCC, 0xCC);
const QColor kBoxOutline(0xFF, 0xFF, 0xFF);
const QColor kBoxFill(0xFF, 0xFF, 0xFF, 48);
constexpr int kNameInset = 3;
constexpr int kMinimumBoxWidth = 2;
constexpr uint32_t kByteMask = 0xFF;
constexpr int kGreenShift = 8;
constexpr int kBlueShift = 16;

// A plot colour (0x00BBGGRR) as Qt's.
QColor FromBgr(uint32_t colour) {
  return QColor(static_cast<int>(colour & kByteMask), static_cast<int>((colour >> kGreenShift) & kByteMask),
                static_cast<int>((colour >> kBlueShift) & kByteMask));
}

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
  update();
}

void OverviewStrip::ViewChanged() { update(); }

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

// Only a change of what the image shows draws it again; otherwise the kept one is used.
void OverviewStrip::RefreshEnvelope() {
  EnvelopeKey key;
  CscPlot* plot = ShownPlot(key.path);
  key.dataStart = view_.DataStart;
  key.dataEnd = view_.DataEnd;
  key.left = TraceLeft();
  key.columns = TraceColumns();
  key.height = height();
  if (plot != nullptr && plot->Summary() == nullptr) {
    plot->StartSummary(SummaryBuilder::Rank::Shown);
    if (plot->Summary() != nullptr && summaryStarted_) summaryStarted_();
  }
  key.built = plot != nullptr && plot->Summary() != nullptr && plot->Summary()->Summary() != nullptr;
  if (key == envelopeKey_ && !envelope_.isNull()) return;
  envelopeKey_ = key;
  envelope_ = QImage(width(), height(), QImage::Format_RGB32);
  envelope_.fill(kBackground);
  if (plot != nullptr) DrawEnvelope(*plot, key);
}

void OverviewStrip::DrawEnvelope(const CscPlot& plot, const EnvelopeKey& key) {
  QPainter painter(&envelope_);
  painter.setPen(kNameColour);
  painter.drawText(QRect(kNameInset, 0, std::max(key.left - kNameInset, 0), key.height),
                   Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(FileTitleOf(key.path)));
  if (!key.built || key.columns <= 0) return;
  const std::optional<OverviewEnvelope> envelope =
      OverviewEnvelope::FromPlot(plot, key.dataStart, key.dataEnd, key.columns);
  if (!envelope) return;
  // The strip's height holds the largest excursion of the whole recording, either way from zero.
  int32_t peak = 1;
  for (int32_t column = 0; column < envelope->Width(); ++column) {
    if (!envelope->HasColumn(column)) continue;
    peak = std::max({peak, std::abs(int32_t{envelope->Min(column)}), std::abs(int32_t{envelope->Max(column)})});
  }
  const double middle = (key.height - 1) / 2.0;
  const double pixelsPerCount = middle / peak;
  painter.setPen(FromBgr(plot.Properties().traceColour));
  for (int32_t column = 0; column < envelope->Width(); ++column) {
    if (!envelope->HasColumn(column)) continue;
    const int top = static_cast<int>(std::lround(middle - envelope->Max(column) * pixelsPerCount));
    const int bottom = static_cast<int>(std::lround(middle - envelope->Min(column) * pixelsPerCount));
    painter.drawLine(key.left + column, top, key.left + column, bottom);
  }
}

QRect OverviewStrip::SpanBox() const {
  const int64_t duration = SaturatingSubtract(view_.DataEnd, view_.DataStart);
  const int32_t columns = TraceColumns();
  if (duration <= 0 || columns <= 0) return {};
  const auto columnOf = [&](int64_t time) {
    const int64_t offset = std::clamp<int64_t>(SaturatingSubtract(time, view_.DataStart), 0, duration);
    return static_cast<int32_t>(MulDiv(offset, columns, duration));
  };
  const int32_t first = columnOf(view_.VisibleStart);
  const int32_t last = std::max(columnOf(SaturatingAdd(view_.VisibleStart, view_.VisibleSpan)), first + kMinimumBoxWidth);
  return QRect(TraceLeft() + first, 0, last - first, height());
}

void OverviewStrip::paintEvent(QPaintEvent*) {
  RefreshEnvelope();
  QPainter painter(this);
  painter.drawImage(0, 0, envelope_);
  const QRect box = SpanBox();
  if (box.isEmpty()) return;
  painter.fillRect(box, kBoxFill);
  painter.setPen(kBoxOutline);
  painter.drawRect(box.adjusted(0, 0, -1, -1));
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
