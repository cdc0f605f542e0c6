#include "app/PowerDensityPicture.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "filter/PowerDensity.h"

namespace skelvane {
namespace {

const QColor kBackground(0, 0, 0);
const QColor kGrid(0x40, 0x40, 0x40);
const QColor kLabels(0xCC, 0xCC, 0xCC);
const QColor kRaw(0xB0, 0xB0, 0xB0);
const QColor kFiltered(0xFF, 0xD0, 0x30);
const QColor kBand(0x30, 0x60, 0xFF, 70);
constexpr int kLeftMargin = 56;  // room for "-120 dB"
constexpr int kRightMargin = 12;
constexpr int kTopMargin = 18;  // the legend
constexpr int kBottomMargin = 20;  // the frequency labels
constexpr int kSmallestWidth = 360;
constexpr int kSmallestHeight = 200;
constexpr double kDbHeadroom = 3.0;
constexpr double kDbStep = 10.0;
constexpr double kWidestDbRange = 120.0;  // below the top, where a filter's stop band is cut off
constexpr double kPixelsPerLabel = 70.0;  // a linear axis labels about one step in this many pixels

// 1, 2 or 5 times a power of ten, the smallest at least `rough`.
double RoundStep(double rough) {
  const double decade = std::pow(10.0, std::floor(std::log10(rough)));
  for (const double m : {1.0, 2.0, 5.0}) {
    if (m * decade >= rough) return m * decade;
  }
  return 10.0 * decade;
}

QString HzLabel(double hz) {
  if (hz >= 1000.0) return QStringLiteral("%1k").arg(hz / 1000.0);
  return QString::number(hz);
}

}  // namespace

PowerDensityPicture::PowerDensityPicture(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(kSmallestWidth, kSmallestHeight);
}

void PowerDensityPicture::Show(std::optional<Drawn> drawn) {
  drawn_ = std::move(drawn);
  update();
}

void PowerDensityPicture::SetLogFrequency(bool log) {
  log_ = log;
  update();
}

PowerDensityPicture::Axes PowerDensityPicture::AxesOf() const {
  Axes axes;
  if (!drawn_ || drawn_->spectrum.raw.size() < 2) return axes;
  const SpanDensity::Result& s = drawn_->spectrum;
  axes.highHz = static_cast<double>(s.raw.size() - 1) * s.binHz;
  axes.lowHz = log_ ? s.binHz : 0.0;
  double top = -1e300;
  double bottom = 1e300;
  for (const auto* curve : {&s.raw, &s.filtered}) {
    for (std::size_t k = 1; k < curve->size(); ++k) {
      const double db = (*curve)[k];
      if (db <= PowerDensity::kFloorDb) continue;
      top = std::max(top, db);
      bottom = std::min(bottom, db);
    }
  }
  if (top < bottom) return axes;  // a flat line: nothing above the floor
  axes.highDb = std::ceil((top + kDbHeadroom) / kDbStep) * kDbStep;
  axes.lowDb = std::max(std::floor((bottom - kDbHeadroom) / kDbStep) * kDbStep, axes.highDb - kWidestDbRange);
  return axes;
}

QRectF PowerDensityPicture::PlotArea() const {
  return QRectF(kLeftMargin, kTopMargin, std::max(1, width() - kLeftMargin - kRightMargin),
                std::max(1, height() - kTopMargin - kBottomMargin));
}

double PowerDensityPicture::XOf(double hz) const {
  const Axes axes = AxesOf();
  const QRectF area = PlotArea();
  double share = 0.0;
  if (log_) {
    share = (std::log10(std::max(hz, axes.lowHz)) - std::log10(axes.lowHz)) /
            (std::log10(axes.highHz) - std::log10(axes.lowHz));
  } else {
    share = (hz - axes.lowHz) / (axes.highHz - axes.lowHz);
  }
  return area.left() + std::clamp(share, 0.0, 1.0) * area.width();
}

double PowerDensityPicture::YOf(double db, const Axes& axes) const {
  const QRectF area = PlotArea();
  const double share = (std::clamp(db, axes.lowDb, axes.highDb) - axes.lowDb) / (axes.highDb - axes.lowDb);
  return area.bottom() - share * area.height();
}

std::optional<std::pair<int, int>> PowerDensityPicture::BandColumns() const {
  if (!drawn_ || !drawn_->banded || drawn_->spectrum.raw.size() < 2) return std::nullopt;
  const Axes axes = AxesOf();
  const double left = XOf(drawn_->bandLowHz.value_or(axes.lowHz));
  const double right = XOf(drawn_->bandHighHz.value_or(axes.highHz));
  return std::make_pair(static_cast<int>(std::lround(left)), static_cast<int>(std::lround(right)));
}

void PowerDensityPicture::DrawGrid(QPainter& painter, const Axes& axes) const {
  const QRectF area = PlotArea();
  const QFontMetrics metrics(painter.font());
  // Decibels: a line every step, labelled at the left.
  for (double db = axes.lowDb; db <= axes.highDb + 1e-9; db += axes.highDb - axes.lowDb > 60.0 ? 2 * kDbStep : kDbStep) {
    const double y = YOf(db, axes);
    painter.setPen(kGrid);
    painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    painter.setPen(kLabels);
    painter.drawText(QRectF(0, y - metrics.height() / 2.0, kLeftMargin - 4, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1 dB").arg(db));
  }
  // Frequency: decades and their multiples on a log axis, round steps on a linear one.
  std::vector<std::pair<double, bool>> ticks;  // frequency, labelled
  if (log_) {
    for (double decade = std::pow(10.0, std::floor(std::log10(axes.lowHz))); decade <= axes.highHz; decade *= 10.0) {
      for (int m = 1; m < 10; ++m) {
        const double hz = decade * m;
        if (hz >= axes.lowHz && hz <= axes.highHz) ticks.emplace_back(hz, m == 1);
      }
    }
  } else {
    const double labels = std::max(2.0, area.width() / kPixelsPerLabel);
    const double step = RoundStep((axes.highHz - axes.lowHz) / labels);
    for (double hz = 0.0; hz <= axes.highHz; hz += step) ticks.emplace_back(hz, true);
  }
  for (const auto& [hz, labelled] : ticks) {
    const double x = XOf(hz);
    painter.setPen(labelled ? kGrid.lighter(150) : kGrid);
    painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    if (!labelled) continue;
    painter.setPen(kLabels);
    painter.drawText(QRectF(x - 40, area.bottom() + 2, 80, kBottomMargin - 2), Qt::AlignHCenter | Qt::AlignTop,
                     HzLabel(hz));
  }
}

void PowerDensityPicture::DrawCurve(QPainter& painter, const std::vector<double>& db, const QColor& colour,
                                const Axes& axes) const {
  const double bin = drawn_->spectrum.binHz;
  QPainterPath path;
  bool started = false;
  for (std::size_t k = log_ ? 1 : 0; k < db.size(); ++k) {
    const QPointF point(XOf(static_cast<double>(k) * bin), YOf(db[k], axes));
    if (!started) {
      path.moveTo(point);
      started = true;
    } else {
      path.lineTo(point);
    }
  }
  painter.setPen(QPen(colour, 1.0));
  painter.drawPath(path);
}

void PowerDensityPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  const Axes axes = AxesOf();
  if (!drawn_ || drawn_->spectrum.raw.size() < 2) return;
  const QRectF area = PlotArea();
  if (const auto band = BandColumns()) {
    painter.fillRect(QRectF(band->first, area.top(), band->second - band->first, area.height()), kBand);
  }
  DrawGrid(painter, axes);
  painter.setClipRect(area);
  DrawCurve(painter, drawn_->spectrum.raw, kRaw, axes);
  if (!drawn_->spectrum.filtered.empty()) DrawCurve(painter, drawn_->spectrum.filtered, kFiltered, axes);
  painter.setClipping(false);
  // The legend names the curves in their colours.
  painter.setPen(kRaw);
  const QFontMetrics metrics(painter.font());
  const QString raw = QStringLiteral("raw");
  painter.drawText(QPointF(area.left(), kTopMargin - 4), raw);
  if (!drawn_->spectrum.filtered.empty()) {
    painter.setPen(kFiltered);
    painter.drawText(QPointF(area.left() + metrics.horizontalAdvance(raw) + 12, kTopMargin - 4),
                     QString::fromStdString(drawn_->filterName));
  }
}

}  // namespace skelvane
