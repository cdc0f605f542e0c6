#pragma once
// The overview strip's picture without the widget (Qt Gui only): the envelope of one plot's whole
// recording, drawn once into a kept image and drawn again only when the plot, the data range, the
// size or the summary change, and each frame that image with the box over the visible span on top.
// OverviewStrip paints with it; bench/OverviewStripBench times its frame and its envelope.

#include <QImage>
#include <cstdint>
#include <string>

class QPainter;
class QRect;

namespace skelvane {

class CscPlot;

class OverviewPicture {
 public:
  /// What the kept image shows.
  struct Content {
    std::string path;  // the plot's
    int64_t dataStart = 0;
    int64_t dataEnd = 0;
    int32_t left = 0;     // the first trace column
    int32_t columns = 0;  // trace columns
    int32_t width = 0;
    int32_t height = 0;
    bool built = false;  // the plot's summary was there
    bool operator==(const Content&) const = default;
  };

  /// Draws the kept image for `content` unless it shows that already: the plot's name left of the
  /// trace columns and, once its summary is built, its envelope: the typical range in the plot's
  /// colour, filling at least half the height, over the extremes in a dimmer shade (held to the
  /// strip). A null `plot` leaves the image black.
  void Show(const CscPlot* plot, const Content& content);
  /// What the kept image shows.
  const Content& Shown() const { return content_; }
  /// Paints one frame from (0, 0): the kept image, then `box` (none when it is empty).
  void Paint(QPainter& painter, const QRect& box) const;

 private:
  void DrawEnvelope(const CscPlot& plot);

  Content content_;
  QImage image_;
};

}  // namespace skelvane
