#pragma once
// The canvas as the plots, the view model and the main window call it: redraw, display switches,
// settings, amplitude gains. PlotCanvas is the one implementation.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/ColumnsAhead.h"
#include "display/PlotFrame.h"
#include "display/ViewState.h"
#include "display/RecordingClock.h"

namespace skelvane {

class BitmapPresenter;
class File;
class SpikeMarks;
class MarkerSet;
class TimeCursors;

class IPlotCanvas {
 public:
  /// How the time axis prints its labels: raw microseconds scaled by timeLabelScale, or seconds or
  /// h:mm:ss on the recordings' clock (from their first record).
  enum class TimeLabelStyle { Microseconds, Seconds, Clock };

  virtual ~IPlotCanvas() = default;
  /// Hands the finished image to the presenter at (0, 15).
  virtual int32_t Present(BitmapPresenter& presenter) = 0;
  virtual int32_t RedrawAll() = 0;
  virtual void DrawSeparator(int32_t y) = 0;
  /// Smallest visible span a zoom in may reach, microseconds.
  virtual int64_t GetMinimumSpan() const = 0;
  virtual void SetMinimumSpan(int64_t span) = 0;
  /// What one zoom step divides or multiplies the visible span by.
  virtual int32_t GetZoomFactor() const = 0;
  virtual int32_t GetTimeAxisHeight() const = 0;
  virtual int32_t GetShowPlotIcons() const = 0;
  virtual int32_t GetShowPlotNames() const = 0;
  virtual int32_t GetShowDataAxis() const = 0;
  virtual int32_t GetShowTimeAxis() const = 0;
  virtual void SetShowPlotIcons(int32_t show) = 0;
  virtual void SetShowPlotNames(int32_t show) = 0;
  virtual void SetShowDataAxis(int32_t show) = 0;
  virtual void SetShowTimeAxis(int32_t show) = 0;
  virtual int32_t GetDataAxisMargin() const = 0;
  /// dataAxisWidth when the data axis is shown, else 0.
  virtual int32_t GetDataAxisWidth() const = 0;
  virtual int32_t GetPlotHeaderHeight() const = 0;
  virtual int32_t GetHorizontalPagePercent() const = 0;
  virtual int32_t GetVerticalPagePercent() const = 0;
  virtual double GetTimeLabelScale() const = 0;
  /// Reads the 104-byte canvas properties section at the file's position.
  virtual int32_t ReadSettings(File& file) = 0;
  virtual int32_t WriteSettings(File& file) = 0;
  /// 1 with the plot index whose bottom separator s satisfies y - 2 <= s <= y + 1; else 0.
  virtual int32_t FindSeparator(int32_t y, int32_t& plot) const = 0;
  /// Display gain of the plot of `path` on its amplitude (1: full scale fills the plot); the trace,
  /// its threshold lines and its data axis follow it. Canvases without amplitude zoom keep 1.
  virtual double GetAmplitudeGain(const std::string& /*path*/) const { return 1.0; }
  /// Sets the display gain of the plot of `path`.
  virtual void SetAmplitudeGain(const std::string& /*path*/, double /*gain*/) {}
  /// How time labels are printed.
  virtual TimeLabelStyle GetTimeLabelStyle() const { return TimeLabelStyle::Microseconds; }
  /// Chooses how time labels are printed.
  virtual void SetTimeLabelStyle(TimeLabelStyle /*style*/) {}
  /// Data axes label values in microvolts (from each source's "-ADBitVolts") instead of counts.
  virtual bool GetDataAxisInMicrovolts() const { return false; }
  /// Switches the data axes between counts and microvolts.
  virtual void SetDataAxisInMicrovolts(bool /*on*/) {}
  /// Whether each plot gets an amplitude scale bar and the view a time scale bar (off unless set).
  virtual bool GetShowScaleBars() const { return false; }
  /// Switches the scale bars on or off.
  virtual void SetShowScaleBars(bool /*on*/) {}
  /// The measuring cursors the canvas draws; none for a canvas that draws none.
  virtual TimeCursors* Cursors() { return nullptr; }
  /// The user's markers, drawn over the plots; none for a canvas without them.
  virtual MarkerSet* Markers() { return nullptr; }
  /// Marks these spikes on the traces from the next redraw on (none: no marks); a canvas that draws
  /// no marks ignores them.
  virtual void SetSpikeMarks(std::shared_ptr<const SpikeMarks> /*marks*/) {}
  /// What the plots are given to draw the current view; an empty frame for a canvas that draws none.
  virtual PlotFrame Frame() { return {}; }
  /// The plots each of `views` would show with the frames they would be given (ColumnsAhead's jobs);
  /// none for a canvas that draws none.
  virtual std::vector<ColumnsAhead::Job> JobsAhead(const std::vector<ViewState>& /*views*/) { return {}; }
  /// The clock every time on screen is read on; a canvas without recordings counts from 0.
  virtual RecordingClock Clock() const { return RecordingClock(0); }
};

}  // namespace skelvane
