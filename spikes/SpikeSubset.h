#pragma once
// The spikes a picture draws: at most a given number, chosen evenly over a run of the file, with
// their times and whole windows copied out. Keeps drawing a million-spike file as cheap as drawing
// a thousand. Used by the figure, its layout (nearest spike) and the Spikes panel.

#include <cstdint>
#include <vector>

namespace skelvane {

class SpikeFile;

class SpikeSubset {
 public:
  /// Spikes drawn when no number is given.
  static constexpr int64_t kDefaultMaxSpikes = 1000;
  /// Most spikes a picture may be asked to draw: enough to show any file's shape, few enough that the
  /// largest figure stays well inside a gigabyte.
  static constexpr int64_t kMaxDrawnSpikes = 100'000;

  /// Chooses min(maxSpikes, end - first) spikes of [first, end) (end -1: to the last spike), evenly
  /// spaced by index (all of them when they fit), and reads them; 0, or the reader's status after its
  /// report.
  static int32_t Choose(const SpikeFile& file, int64_t maxSpikes, SpikeSubset& out, int64_t first = 0,
                        int64_t end = -1);

  /// Number of spikes chosen.
  int64_t Size() const { return static_cast<int64_t>(indices_.size()); }
  /// Number of spikes they were chosen from.
  int64_t ChosenFrom() const { return chosenFrom_; }
  /// Channels per spike.
  int32_t Channels() const { return channels_; }
  /// Samples per channel in each window.
  int32_t Points() const { return points_; }
  /// 0-based window point at the spike's time.
  int32_t AlignmentIndex() const { return alignmentIndex_; }
  /// Index in the file of chosen spike `k`.
  int64_t FileIndex(int64_t k) const { return indices_[static_cast<std::size_t>(k)]; }
  /// Timestamp of chosen spike `k` in microseconds.
  int64_t Timestamp(int64_t k) const { return timestamps_[static_cast<std::size_t>(k)]; }
  /// Sample `point` of `channel` in chosen spike `k`.
  int16_t Sample(int64_t k, int32_t point, int32_t channel) const {
    return samples_[(static_cast<std::size_t>(k) * points_ + point) * channels_ + channel];
  }
  /// The sample at the alignment point (the peak) of `channel` in chosen spike `k`.
  int16_t Peak(int64_t k, int32_t channel) const { return Sample(k, alignmentIndex_, channel); }

 private:
  std::vector<int64_t> indices_;
  std::vector<int64_t> timestamps_;
  std::vector<int16_t> samples_;  // per spike, point-major as in the file
  int64_t chosenFrom_ = 0;
  int32_t channels_ = 0;
  int32_t points_ = 0;
  int32_t alignmentIndex_ = 0;
};

}  // namespace skelvane
