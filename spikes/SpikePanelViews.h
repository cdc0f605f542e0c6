#pragma once
// What the window's Spikes panel shows of one spike file: the statistics and the evenly drawn subset
// of all its spikes or of those in a span, stacked as one waveform view (a chosen channel), one peak
// scatter (a chosen pair of channels) and the interval histogram, each channel named by its recording,
// and which spike lies under a pixel.
// Headless: the panel loads it on a worker thread and draws it with a renderer of its own.

#include <cstdint>
#include <utility>
#include <vector>

#include "spikes/SpikeFigureLayout.h"
#include "spikes/SpikeStatistics.h"
#include "spikes/SpikeSubset.h"

namespace skelvane {

class GLRenderer;
class MemoryBitmap;
class SpikeFile;

class SpikePanelViews {
 public:
  /// Spikes drawn at most, as waveforms and as scatter points: enough for their shape and spread,
  /// few enough that a million-spike file draws as fast as a small one.
  static constexpr int64_t kDrawnSpikes = 2000;
  /// How far from a drawn spike (pixels) the mouse still points at it.
  static constexpr int32_t kPointingRadius = 6;
  /// Below this many pixels a view has no room for its labels and data.
  static constexpr int32_t kSmallestRow = 80;

  /// The smallest height at which the views of a file of `channels` channels are drawn at all.
  static int32_t SmallestHeight(int32_t channels);

  /// Which views to show: the channel of the waveforms and the pair of the scatter (an index into
  /// SpikeFigureLayout::ChannelPairs).
  struct Choice {
    int32_t channel = 0;
    int32_t pair = 0;
    bool operator==(const Choice&) const = default;
  };

  /// Works out the statistics and the drawn subset of spikes [first, end) (end -1: to the last); 0, or
  /// the reader's status after its report.
  int32_t Load(const SpikeFile& file, int64_t first = 0, int64_t end = -1);
  /// The statistics of the spikes loaded.
  const SpikeStatistics& Statistics() const { return statistics_; }
  /// The spikes drawn.
  const SpikeSubset& Subset() const { return subset_; }
  /// The channels' names and units, as the file's header gives them.
  const SpikeFigureLayout::Channels& Channels() const { return channels_; }
  /// The channel pairs the scatter can show (none for a single channel).
  std::vector<std::pair<int32_t, int32_t>> Pairs() const;

  /// The views at `width` x `height`, top to bottom: waveforms, scatter (with two channels or more),
  /// interval histogram, each across the whole width.
  std::vector<SpikeFigureLayout::View> Views(int32_t width, int32_t height, const Choice& choice) const;
  /// Draws the views into `bitmap` (32-bit, bottom-up), subset spike `highlight` (-1: none) on top; 0,
  /// or -1 for a size nothing can be drawn at or a renderer failure (reported by the renderer).
  int32_t Render(GLRenderer& renderer, int32_t width, int32_t height, const Choice& choice, int64_t highlight,
                 MemoryBitmap& bitmap) const;
  /// The subset index of the spike drawn nearest pixel (x, y) of the views at `width` x `height`
  /// (from the top left), no farther than kPointingRadius; -1 for none.
  int64_t SpikeAt(int32_t width, int32_t height, const Choice& choice, int32_t x, int32_t y) const;

 private:
  // One layout per view, each at its own row's size, with the row's top.
  std::vector<std::pair<SpikeFigureLayout, int32_t>> Rows(int32_t width, int32_t height, const Choice& choice) const;

  SpikeStatistics statistics_;
  SpikeSubset subset_;
  SpikeFigureLayout::Channels channels_;
};

}  // namespace skelvane
