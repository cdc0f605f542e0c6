#pragma once
// Where each view of a spike figure goes and how its data maps to pixels: per channel the overlaid
// waveforms (in milliseconds from the peak), the peak scatter of channel pairs, the interval
// histogram, channels named by their recordings and amplitudes in microvolts beside the counts where
// the header gives them, and tick labels that never run into each other. Pixels count from the top
// left. The figure (SpikeFigure) draws from it; the Spikes panel also asks it which view and which
// spike lie under the mouse.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace skelvane {

class SpikeFileHeader;
class SpikeStatistics;
class SpikeSubset;

class SpikeFigureLayout {
 public:
  enum class ViewKind { kWaveforms, kScatter, kIntervals };

  struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    /// The first column past the right edge.
    int32_t Right() const { return left + width; }
    /// The first row below the bottom edge.
    int32_t Bottom() const { return top + height; }
    /// True when pixel (x, y) lies inside.
    bool Contains(int32_t x, int32_t y) const { return x >= left && x < Right() && y >= top && y < Bottom(); }
  };

  struct Axis {
    double low = 0.0;   // data value at the plot's left (x) or bottom (y) edge
    double high = 1.0;  // data value at the right or top edge
    std::vector<double> ticks;
    std::string label;
    std::string shortLabel;  // what the label says where it does not fit the data area's width
    // A second scale along the axis in another unit (microvolts beside A/D counts): its units per
    // data unit (0: none), its round ticks in its own unit and its unit's name. Drawn right of a
    // vertical axis (the name above it), in a second row under a horizontal one (the name, one of the
    // row's labels, before it).
    double otherScale = 0.0;
    std::vector<double> otherTicks;
    std::string otherLabel;
  };

  /// What a spike file's header tells of its channels; empty where it does not say.
  struct Channels {
    std::vector<std::string> names;                         // the recordings', in channel order
    std::vector<std::optional<double>> microvoltsPerCount;  // from "-ADBitVolts", per channel
    std::optional<double> samplingHz;                       // from "-SamplingFrequency"
    /// The recording's name of `channel` ("TT1a"), or "ch 3" where the header names none.
    std::string Name(int32_t channel) const;
    /// The microvolts of one A/D count of `channel`, where the header gives a usable value.
    std::optional<double> MicrovoltsPerCount(int32_t channel) const;
  };

  /// A tick label as drawn: its text, the left end of its baseline and its width.
  struct Label {
    std::string text;
    int32_t x = 0;
    int32_t baseline = 0;
    int32_t width = 0;
  };
  /// Measures a text in pixels.
  using TextMeasure = std::function<int32_t(std::string_view)>;

  struct View {
    ViewKind kind = ViewKind::kWaveforms;
    int32_t channel = -1;       // waveforms: the channel; scatter: the horizontal channel
    int32_t otherChannel = -1;  // scatter: the vertical channel
    Rect frame;                 // the whole cell, labels included
    Rect plot;                  // the data area inside it
    Axis x;
    Axis y;
    std::string title;
    std::string shortTitle;  // what the title says where it does not fit the view's width
    // Waveforms: window point p (0-based) stands at horizontal value (p - pointOrigin) * pointScale,
    // milliseconds from the peak, or the point number from 1 where the sampling rate is not known.
    double pointOrigin = -1.0;
    double pointScale = 1.0;
  };

  /// Size of the figure when none is given.
  static constexpr int32_t kDefaultWidth = 1400;
  static constexpr int32_t kDefaultHeight = 1000;
  /// Waveform views per row, and scatter views at most.
  static constexpr int32_t kMaxWaveformColumns = 4;
  static constexpr int32_t kMaxPairs = 6;
  /// The figure's title band and the space around each view's data area (the label font is 14 px).
  static constexpr int32_t kTitleBand = 30;
  static constexpr int32_t kMarginLeft = 64;
  static constexpr int32_t kMarginRight = 14;
  static constexpr int32_t kMarginTop = 40;  // the view's title, then the vertical axis label
  static constexpr int32_t kMarginBottom = 42;
  /// Room for a second scale: right of the data for a vertical axis, a row under it for a horizontal one.
  static constexpr int32_t kOtherScaleWidth = 48;
  static constexpr int32_t kLabelRow = 16;
  /// A second scale is left out where it would leave the data area less than this many pixels.
  static constexpr int32_t kSmallestDataWithScale = 100;
  /// Pixels kept free between neighbouring tick labels.
  static constexpr int32_t kLabelGap = 6;
  /// Tick marks stand out of the data area this far; labels keep this far from their marks.
  static constexpr int32_t kTickLength = 4;
  static constexpr int32_t kLabelInset = 4;

  /// The whole figure at `width` x `height`: a title band, rows of waveform views (four to a row), a
  /// row of scatter views when there are pairs, and the interval histogram across the bottom (beside
  /// the scatter when there is one pair).
  /// `channels` names the channels and gives their units (none: "ch 1", counts, window points).
  static SpikeFigureLayout ForFigure(int32_t width, int32_t height, const SpikeStatistics& statistics,
                                     const SpikeSubset& subset, const Channels& channels = {});
  /// One view filling `width` x `height` (no title band): the panel draws its views one at a time.
  static SpikeFigureLayout ForView(int32_t width, int32_t height, ViewKind kind, int32_t channel, int32_t otherChannel,
                                   const SpikeStatistics& statistics, const SpikeSubset& subset,
                                   const Channels& channels = {});
  /// The channels as the header of a spike file tells of them.
  static Channels ChannelsOf(const SpikeFileHeader& header);

  /// Figure size in pixels.
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  /// The figure's title (empty for a single view) and where it goes.
  const std::string& Title() const { return title_; }
  const Rect& TitleBand() const { return titleBand_; }
  /// Every view, in drawing order.
  const std::vector<View>& Views() const { return views_; }
  /// The view whose frame holds pixel (x, y); -1 for none.
  int32_t ViewAt(int32_t x, int32_t y) const;
  /// The spike of `subset` drawn nearest pixel (x, y) in view `view`, no farther than `radius`
  /// pixels: a scatter point, or the waveform passing closest above or below x. Its index in the
  /// subset, or -1 (none near, or the histogram).
  int64_t NearestSpike(int32_t view, int32_t x, int32_t y, const SpikeSubset& subset, int32_t radius) const;

  /// Horizontal pixel of data value `value` in `view`.
  static double PixelX(const View& view, double value);
  /// Vertical pixel (from the top) of data value `value` in `view`.
  static double PixelY(const View& view, double value);
  /// Data value at horizontal pixel `x` of `view`.
  static double DataX(const View& view, double x);
  /// Data value at vertical pixel `y` of `view`.
  static double DataY(const View& view, double y);
  /// Horizontal value of window point `point` (0-based) in a waveform view.
  static double PointValue(const View& view, double point);
  /// Window point (0-based, fractional) at horizontal value `value` of a waveform view.
  static double PointAt(const View& view, double value);

  /// The baseline of the second row of labels under the horizontal axis of `view`.
  static int32_t OtherRowBaseline(const View& view);
  /// The tick labels of `view` on every axis and scale (with the unit of a second row under the
  /// data): under or beside their ticks, every tick's while they fit, else those of every 2nd, 5th,
  /// 10th, ... tick (zero kept), so that no two come within kLabelGap pixels of each other. Text
  /// `textHeight` pixels tall, measured by `width`.
  static std::vector<Label> TickLabels(const View& view, const TextMeasure& width, int32_t textHeight);
  /// A tick value as labelled, to as many decimals as the ticks' step needs.
  static std::string TickText(double value, const std::vector<double>& ticks);

  /// The channel pairs the scatter views show: all of them while they are at most kMaxPairs,
  /// otherwise neighbouring channels.
  static std::vector<std::pair<int32_t, int32_t>> ChannelPairs(int32_t channels);
  /// Round tick values (1, 2 or 5 times a power of ten apart) inside [low, high], at most about `most`.
  static std::vector<double> Ticks(double low, double high, int32_t most);

 private:
  static View MakeView(ViewKind kind, int32_t channel, int32_t otherChannel, const Rect& frame,
                       const SpikeStatistics& statistics, const SpikeSubset& subset, const Channels& channels);

  int32_t width_ = 0;
  int32_t height_ = 0;
  std::string title_;
  Rect titleBand_;
  std::vector<View> views_;
};

}  // namespace skelvane
