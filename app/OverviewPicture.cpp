#include "app/OverviewPicture.h"

#include <QColor>
#include <QPainter>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "display/CscPlot.h"
#include "display/OverviewEnvelope.h"
#include "platform/PathHelpers.h"

namespace skelvane {
namespace {

const QColor kBackground(0, 0, 0);
const QColor kNameColour(0xCC, 0xCC, 0xCC);
const QColor kBoxOutline(0xFF, 0xFF, 0xFF);
const QColor kBoxFill(0xFF, 0xFF, 0xFF, 48);
constexpr int kNameInset = 3;
constexpr uint32_t kByteMask = 0xFF;
constexpr int kGreenShift = 8;
constexpr int kBlueShift = 16;
constexpr int32_t kTypicalHeadroom = 2;  // the typical range fills at least 1 / this of the height
constexpr double kExtremeShade = 0.45;   // the extremes' colour: the plot's, this bright

// A plot colour (0x00BBGGRR) as Qt's.
QColor FromBgr(uint32_t colour) {
  return QColor(static_cast<int>(colour & kByteMask), static_cast<int>((colour >> kGreenShift) & kByteMask),
                static_cast<int>((colour >> kBlueShift) & kByteMask));
}

}  // namespace

void OverviewPicture::Show(const CscPlot* plot, const Content& content) {
  if (content == content_ && !image_.isNull()) return;
  content_ = content;
  image_ = QImage(std::max(content.width, 1), std::max(content.height, 1), QImage::Format_RGB32);
  image_.fill(kBackground);
  if (plot != nullptr) DrawEnvelope(*plot);
}

void OverviewPicture::DrawEnvelope(const CscPlot& plot) {
  const Content& c = content_;
  QPainter painter(&image_);
  painter.setPen(kNameColour);
  painter.drawText(QRect(kNameInset, 0, std::max(c.left - kNameInset, 0), c.height), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(FileTitleOf(c.path)));
  if (!c.built || c.columns <= 0) return;
  const std::optional<OverviewEnvelope> envelope = OverviewEnvelope::FromPlot(plot, c.dataStart, c.dataEnd, c.columns);
  if (!envelope) return;
  // The typical range in the plot's colour over the extremes in a dimmer one. The scale gives the
  // typical range at least half the height: where the extremes reach further (spikes) they run to the
  // strip's edges; a recording whose extremes are its typical range (slow waves) fills the height.
  int32_t extreme = 1;
  int32_t typical = 1;
  for (int32_t column = 0; column < envelope->Width(); ++column) {
    if (!envelope->HasColumn(column)) continue;
    extreme = std::max({extreme, std::abs(int32_t{envelope->Min(column)}), std::abs(int32_t{envelope->Max(column)})});
    typical = std::max({typical, std::abs(int32_t{envelope->TypicalMin(column)}),
                        std::abs(int32_t{envelope->TypicalMax(column)})});
  }
  const int32_t shown = std::min(extreme, kTypicalHeadroom * typical);
  const double middle = (c.height - 1) / 2.0;
  const double pixelsPerCount = middle / shown;
  const auto row = [&](int16_t value) {
    return static_cast<int>(std::clamp(std::lround(middle - value * pixelsPerCount), 0L, long{c.height - 1}));
  };
  const QColor colour = FromBgr(plot.Properties().traceColour);
  const QColor dim = QColor::fromRgbF(colour.redF() * kExtremeShade, colour.greenF() * kExtremeShade,
                                      colour.blueF() * kExtremeShade);
  for (const bool extremes : {true, false}) {
    painter.setPen(extremes ? dim : colour);
    for (int32_t column = 0; column < envelope->Width(); ++column) {
      if (!envelope->HasColumn(column)) continue;
      const int16_t high = extremes ? envelope->Max(column) : envelope->TypicalMax(column);
      const int16_t low = extremes ? envelope->Min(column) : envelope->TypicalMin(column);
      painter.drawLine(c.left + column, row(high), c.left + column, row(low));
    }
  }
}

void OverviewPicture::Paint(QPainter& painter, const QRect& box) const {
  painter.drawImage(0, 0, image_);
  if (box.isEmpty()) return;
  painter.fillRect(box, kBoxFill);
  painter.setPen(kBoxOutline);
  painter.drawRect(box.adjusted(0, 0, -1, -1));
}

}  // namespace skelvane
