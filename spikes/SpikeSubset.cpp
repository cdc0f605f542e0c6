#include "spikes/SpikeSubset.h"

#include <algorithm>

#include "platform/StatusCodes.h"
#include "spikes/SpikeFile.h"

namespace skelvane {
namespace {

// Chosen spikes closer than this are read as one run: one read instead of many small ones.
constexpr int64_t kRunGapRecords = 4;

}  // namespace

int32_t SpikeSubset::Choose(const SpikeFile& file, int64_t maxSpikes, SpikeSubset& out, int64_t first, int64_t end) {
  out = SpikeSubset();
  out.channels_ = file.NumChannels();
  out.points_ = SpikeFileFormat::kPoints;
  out.alignmentIndex_ = file.AlignmentIndex();
  if (end < 0) end = file.NumSpikes();
  first = std::clamp<int64_t>(first, 0, file.NumSpikes());
  end = std::clamp<int64_t>(end, first, file.NumSpikes());
  const int64_t available = end - first;
  const int64_t chosen = std::clamp<int64_t>(maxSpikes, 0, std::min(available, kMaxDrawnSpikes));
  out.chosenFrom_ = available;
  out.indices_.reserve(static_cast<std::size_t>(chosen));
  // k * available / chosen spreads the picks over the whole run, first spike included.
  for (int64_t k = 0; k < chosen; ++k) {
    out.indices_.push_back(first + static_cast<int64_t>(static_cast<__int128>(k) * available / chosen));
  }

  const std::size_t window = static_cast<std::size_t>(out.channels_) * static_cast<std::size_t>(out.points_);
  out.timestamps_.reserve(out.indices_.size());
  out.samples_.reserve(out.indices_.size() * window);
  std::vector<uint8_t> buffer;
  SpikeRecords records;
  for (std::size_t k = 0; k < out.indices_.size();) {
    // A run of picks near each other goes in one read.
    std::size_t last = k;
    while (last + 1 < out.indices_.size() && out.indices_[last + 1] - out.indices_[last] <= kRunGapRecords &&
           (out.indices_[last + 1] - out.indices_[k]) * file.RecordSize() < SpikeFile::kReadBlockBytes) {
      ++last;
    }
    const int64_t runFirst = out.indices_[k];
    if (const int32_t rc = file.Read(runFirst, out.indices_[last] - runFirst + 1, buffer, records); rc != kStatusOk) {
      out = SpikeSubset();
      return rc;
    }
    for (; k <= last; ++k) {
      const int64_t i = out.indices_[k] - runFirst;
      out.timestamps_.push_back(records.Timestamp(i));
      for (int32_t p = 0; p < out.points_; ++p) {
        for (int32_t c = 0; c < out.channels_; ++c) out.samples_.push_back(records.Sample(i, p, c));
      }
    }
  }
  return kStatusOk;
}

}  // namespace skelvane
