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
  // The strip's height holds the largest excursion of the whole recording, either way from zero.
  int32_t peak = 1;
  for (int32_t column = 0; column < envelope->Width(); ++column) {
    if (!envelope->HasColumn(column)) continue;
    peak = std::max({peak, std::abs(int32_t{envelope->Min(column)}), std::abs(int32_t{envelope->Max(column)})});
  }
  const double middle = (c.height - 1) / 2.0;
  const double pixelsPerCount = middle / peak;
  painter.setPen(FromBgr(plot.Properties().traceColour));
  for (int32_t column = 0; column < envelope->Width(); ++column) {
    if (!envelope->HasColumn(column)) continue;
    const int top = static_cast<int>(std::lround(middle - envelope->Max(column) * pixelsPerCount));
    const int bottom = static_cast<int>(std::lround(middle - envelope->Min(column) * pixelsPerCount));
    painter.drawLine(c.left + column, top, c.left + column, bottom);
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
