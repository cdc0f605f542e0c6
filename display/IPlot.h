#pragma once
// What every plot offers the canvas, the plot collection, the extraction dialog and PlotChannels.
// Plot implements the common part; CscPlot is the one concrete plot.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "display/PlotFrame.h"

namespace skelvane {

class File;

class IPlot {
 public:
  /// The header icons, in the order they are laid out from the left (which fixes their hit codes).
  enum class HeaderIcon { Close, Up, Down, Plus, Minus };
  /// Where one header icon goes: its lower-left corner in the plot's own coordinates, and its side.
  struct IconPlace {
    HeaderIcon icon;
    int32_t x;
    int32_t y;
    int32_t size;
  };
  /// What a plot's data axis shows: the value at the plot's middle, the value at its top and the unit.
  struct DataAxisRange {
    int32_t centre = 0;
    int32_t top = 0;
    std::string unit;
  };

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
  /// Works out, as PrepareDraw would, what the plot would draw for `frame` and keeps it aside for a
  /// frame that may come (whose draw or preparation takes it). On one thread while no frame is drawn
  /// and nothing else touches the plot.
  virtual void PrepareAhead(const PlotFrame& /*frame*/) {}
  /// Forgets what was worked out ahead for any frame but `frames` (same start, end and trace width).
  virtual void KeepAheadFor(std::span<const PlotFrame> /*frames*/) {}
  /// Lays out the five header icons of the plot `height` pixels tall whose lower-left corner lies at
  /// (x0, y0) on the canvas, keeps them for HitTestIcon, and says where the canvas draws them.
  virtual std::vector<IconPlace> LayOutIcons(int32_t height, int32_t x0, int32_t y0) = 0;
  /// Draws the plot's name in its header.
  virtual void DrawName(const PlotFrame& frame, int32_t y, int32_t height, int32_t width) = 0;
  /// The values and unit the canvas labels the plot's data axis with.
  virtual DataAxisRange DataAxis() const = 0;
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
  /// it draws lay theirs out again): HitTestIcon finds none until the next LayOutIcons.
  virtual void ForgetIcons() = 0;
};

}  // namespace skelvane
