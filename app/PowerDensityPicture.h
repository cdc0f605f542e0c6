#pragma once
// The picture of a Spectrum panel: power in decibels against log or linear frequency, the raw curve
// and the filtered one over the filter's band shaded. Drawn with QPainter whenever it is shown; owned
// by PowerDensityPanel, which hands it each spectrum the worker finishes.

#include <QWidget>
#include <optional>
#include <string>
#include <utility>

#include "filter/SpanDensity.h"

namespace skelvane {

class PowerDensityPicture final : public QWidget {
 public:
  /// What is drawn: the spectrum and the band of the filter its filtered curve went through.
  struct Drawn {
    SpanDensity::Result spectrum;
    std::optional<double> bandLowHz;   // the band's edges; an open side reaches the axis' end
    std::optional<double> bandHighHz;
    bool banded = false;               // a band is marked (a filter other than None)
    std::string filterName;            // "Spike Band 600-6000 Hz"
  };

  explicit PowerDensityPicture(QWidget* parent);

  /// Draws `drawn` from now on; nullopt draws the axes alone.
  void Show(std::optional<Drawn> drawn);
  /// Frequency on a log axis (from the first bin above 0) or a linear one (from 0).
  void SetLogFrequency(bool log);
  bool LogFrequency() const { return log_; }

  /// The x of a frequency, and the columns the band covers (nullopt without one), as drawn now.
  double XOf(double hz) const;
  std::optional<std::pair<int, int>> BandColumns() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Axes {
    double lowHz = 0.0;
    double highHz = 1.0;
    double lowDb = -20.0;
    double highDb = 40.0;
  };

  Axes AxesOf() const;
  QRectF PlotArea() const;
  double YOf(double db, const Axes& axes) const;
  void DrawCurve(QPainter& painter, const std::vector<double>& db, const QColor& colour, const Axes& axes) const;
  void DrawGrid(QPainter& painter, const Axes& axes) const;

  std::optional<Drawn> drawn_;
  bool log_ = true;
};

}  // namespace skelvane
