#pragma once
// What every plot offers the canvas, the plot collection, the extraction dialog and PlotChannels.
// Plot implements the common part; CscPlot is the one concrete plot.

#include <cstdint>
#include <string>

#include "display/PlotFrame.h"

namespace skelvane {

class File;

class IPlot {
 public:
  virtual ~IPlot() = default;
  /// Full path of the plot's data source: the key by which the source is found again.
  virtual std::string GetPath() const = 0;
  /// Height of the plot's strip in pixels, header included.
  virtual int32_t GetHeight() const = 0;
  /// Estimated sampling frequency, hertz.
  virtual double GetSamplingFrequency() const = 0;
  /// Sample period, microseconds.
  virtual double GetSamplePeriod() const = 0;
  /// Reads the source's timing and full-scale value; called once right after creation.
  virtual void LoadSourceInfo() = 0;
  /// Height limited to 50..5000.
  virtual void SetHeight(int32_t height) = 0;
  /// 0 threshold, 1 slope.
  virtual void SetExtractionMode(int32_t mode) = 0;
  /// 0 positive, 1 negative, 2 both.
  virtual void SetExtractionType(int32_t type) = 0;
  /// Threshold or slope value in the plot's data units.
  virtual void SetExtractionValue(double value) = 0;
  /// Draws the trace for the frame's span into the rectangle with lower-left corner (x, y).
  virtual int32_t Draw(const PlotFrame& frame, int32_t width, int32_t height, int32_t x, int32_t y) = 0;
  /// Works out ahead, possibly on another thread, what the next Draw of the frame's span over its
  /// trace width will need, so the canvas can do it for several plots at once; reads only the
  /// frame's numbers and touches nothing another plot's PrepareDraw, or the drawing thread between
  /// frames, uses. Draw does whatever this left undone.
  virtual void PrepareDraw(const PlotFrame& /*frame*/) {}
  /// Lays out the five header icons and draws them through the frame's canvas.
  virtual void DrawIcons(const PlotFrame& frame, int32_t height, int32_t width, int32_t x0, int32_t y0) = 0;
  /// Draws the plot's name in its header.
  virtual void DrawName(const PlotFrame& frame, int32_t y, int32_t height, int32_t width) = 0;
  /// Asks the frame's canvas to draw the plot's data axis.
  virtual int32_t DrawDataAxisLabel(const PlotFrame& frame, int32_t axisWidth, int32_t plotHeight, int32_t unused,
                                    int32_t plotY) = 0;
  /// Draws the extraction threshold or slope lines.
  virtual int32_t DrawThresholdOverlay(const PlotFrame& frame, int32_t width, int32_t x, uint32_t colour) = 0;
  /// 1..5 for the close, up, down, plus and minus icons under (x, y); 0 for none.
  virtual int32_t HitTestIcon(int32_t x, int32_t y) const = 0;
  /// Reads the plot's properties record at the file's position.
  virtual int32_t ReadProperties(File& file) = 0;
  /// Writes the plot's properties record at the file's position.
  virtual int32_t WriteProperties(File& file) = 0;
  /// Height + 50.
  virtual void IncreaseHeight() = 0;
  /// Height - 50, not below 50; 0 when it was already 50, else 1.
  virtual int32_t DecreaseHeight() = 0;
  /// Full-scale A/D value of the source.
  virtual int32_t GetADMaxValue() const = 0;
  /// The header icons are no longer on screen (the canvas says so as it restacks the plots; the ones
  /// it draws lay theirs out again): HitTestIcon finds none until the next DrawIcons.
  virtual void ForgetIcons() = 0;
};

}  // namespace skelvane
