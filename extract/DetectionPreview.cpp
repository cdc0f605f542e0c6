#include "extract/DetectionPreview.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "datafile/CscRecord.h"
#include "extract/ExtractionRun.h"
#include "extract/GroupRecordWalk.h"
#include "platform/ForegroundWork.h"
#include "platform/Saturating.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// Block indices (previous, current and next record of every channel).
constexpr int64_t kPreviousLast = kSamplesPerRecord - 1;
constexpr int64_t kCurrentLast = 2 * kSamplesPerRecord - 1;
constexpr int64_t kBlockLast = 3 * kSamplesPerRecord - 1;
// A peak found in the block before reads at most this far into this block's current record: there
// it was the block's last-but-one sample.
constexpr int64_t kEarlierPeakLast = kCurrentLast - 1;
// Records must lie at least this many sample intervals apart to follow one another without overlap.
constexpr double kRecordIntervals = kSamplesPerRecord - 1;

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();
// Records read beyond the span's estimated end: the record after it, and a few for uneven records.
constexpr int64_t kReadAheadSlack = 4;

// The first index from `from` up to `last` where the trace stops rising (or, for `falling`, stops
// falling); -1 when it does not within them.
int64_t FirstTurn(std::span<const int16_t> samples, int64_t from, int64_t last, bool falling) {
  for (int64_t i = from; i <= last; ++i) {
    const int16_t here = samples[static_cast<std::size_t>(i)];
    const int16_t next = samples[static_cast<std::size_t>(i + 1)];
    if (falling ? here <= next : here >= next) return i;
  }
  return -1;
}

}  // namespace

DetectionPreview::DetectionPreview(IDataSourceManager& sources, const ExtractionParameters& parameters,
                                   std::vector<int32_t> sourceIds, double sampleInterval, double samplingFrequency,
                                   std::vector<std::shared_ptr<RecordTimes>> times, std::vector<ChannelFilter> filters)
    : sources_(sources),
      parameters_(parameters),
      sourceIds_(std::move(sourceIds)),
      dt_(sampleInterval),
      samplingFrequency_(samplingFrequency),
      times_(std::move(times)),
      filters_(std::move(filters)),
      checked_(times_.size(), 0) {}

int32_t DetectionPreview::Threshold() {
  if (!threshold_) {
    double noiseLevel = 0.0;
    threshold_ =
        ExtractionRun::GroupThreshold(sources_, parameters_, sourceIds_, samplingFrequency_, noiseLevel, filters_);
  }
  return *threshold_;
}

bool DetectionPreview::PrepareExtractor(SpikeExtractor& extractor) {
  return extractor.SetExtractionParameters(parameters_.ExtractionType, parameters_.ExtractionMode, Threshold(),
                                           parameters_.NumSpikePoints, parameters_.AlignmentPt,
                                           parameters_.NumChannels) == kStatusOk &&
         static_cast<int32_t>(sourceIds_.size()) == parameters_.NumChannels;
}

bool DetectionPreview::SpikesBetween(int64_t from, int64_t to, std::vector<int64_t>& peaks,
                                     const std::atomic<bool>& cancel) {
  const auto keep = [&](const std::vector<int64_t>& found) {
    const auto first = std::lower_bound(found.begin(), found.end(), from);
    peaks.insert(peaks.end(), first, std::lower_bound(first, found.end(), to));
  };
  const auto keepStored = [&](const std::vector<SpikeExtractor::StoredSpike>& stored) {
    for (const SpikeExtractor::StoredSpike& spike : stored) {
      if (spike.peak >= from && spike.peak < to) peaks.push_back(spike.peak);
    }
  };
  if (to <= from || sourceIds_.empty() || times_.size() != sourceIds_.size()) return true;
  if (!wholeGroup_ && !TimesInOrderUntil(to)) disordered_ = true;
  if (disordered_ || wholeGroup_) {
    method_ = Method::WholeGroup;
    if (!wholeGroup_ && !WalkWholeGroup(cancel)) return false;
    keep(*wholeGroup_);
    return true;
  }

  // The last record of channel 0 stamped at or before `from`: the spikes of the blocks before the one
  // that resumes a record or more before it all peak before `from`.
  const RecordTimes& first = *times_[0];
  int64_t atFrom = first.FirstAtOrAfter(from);
  if (atFrom == first.Known() || first.At(atFrom) > from) --atFrom;
  std::vector<SpikeExtractor::StoredSpike> stored;
  for (int64_t lead = 1; lead <= kMaxLeadRecords; lead *= 2) {
    stored.clear();
    const int64_t resume = atFrom - lead;
    int64_t earlierWindowsEnd = 0;
    if (resume <= 0) {
      // Within the first records: start where the run starts, with nothing stored before.
      method_ = Method::FromStart;
      if (!WalkFrom(std::vector<int64_t>(sourceIds_.size(), 0), to, stored, earlierWindowsEnd, cancel)) return false;
      keepStored(stored);
      return true;
    }
    std::vector<int64_t> starts;
    for (const auto& times : times_) starts.push_back(times->FirstAtOrAfter(first.At(resume)));
    if (!WalkFrom(starts, to, stored, earlierWindowsEnd, cancel)) return false;
    if (stored.empty() || stored.front().windowStart >= earlierWindowsEnd) {
      method_ = Method::Resumed;
      keepStored(stored);
      return true;
    }
  }
  method_ = Method::WholeGroup;
  if (!WalkWholeGroup(cancel)) return false;
  keep(*wholeGroup_);
  return true;
}

int64_t DetectionPreview::NextStretch(int64_t time, bool forward) {
  const int64_t none = forward ? kNoLimit : std::numeric_limits<int64_t>::min();
  if (sourceIds_.empty() || times_.size() != sourceIds_.size()) return none;
  const auto nearest = [&](const std::vector<int64_t>& sorted) {
    if (forward) {
      const auto at = std::lower_bound(sorted.begin(), sorted.end(), time);
      return at != sorted.end() ? *at : none;
    }
    const auto at = std::lower_bound(sorted.begin(), sorted.end(), time);
    return at != sorted.begin() ? *(at - 1) : none;
  };
  if (wholeGroup_) return nearest(*wholeGroup_);
  // Not looked at yet (or found out of order and not walked yet): no stretch is known to be empty.
  if (disordered_) return time;
  const RecordTimes& first = *times_[0];
  if (forward) {
    const int64_t at = first.FirstAtOrAfter(time);
    if (at < first.Known()) return first.At(at);
    return first.Known() == first.Count() ? none : time;
  }
  const int64_t at = first.FirstAtOrAfter(time);
  return at > 0 ? first.At(at - 1) : none;
}

bool DetectionPreview::TimesInOrderUntil(int64_t time) {
  const double minimumStep = kRecordIntervals * dt_;
  for (std::size_t k = 0; k < times_.size(); ++k) {
    RecordTimes& times = *times_[k];
    if (!times.ReadPast(time)) return false;
    for (int64_t& r = checked_[k]; r < times.Known(); ++r) {
      if (r == 0) continue;
      // Increasing, and far enough apart that a record's samples all come before the next record's.
      const int64_t step = SaturatingSubtract(times.At(r), times.At(r - 1));
      if (step <= 0 || static_cast<double>(step) < minimumStep) return false;
    }
  }
  return true;
}

bool DetectionPreview::WalkFrom(const std::vector<int64_t>& starts, int64_t to,
                                std::vector<SpikeExtractor::StoredSpike>& stored, int64_t& earlierWindowsEnd,
                                const std::atomic<bool>& cancel) {
  SpikeExtractor extractor;
  earlierWindowsEnd = SpikeExtractor::kNoWindowYet;
  if (!PrepareExtractor(extractor)) return true;
  extractor.CollectSpikesInto(&stored);
  GroupRecordWalk walk(sources_, sourceIds_, dt_, &buffers_);
  walk.SetFilters(filters_);
  walk.SetQuiet(true);
  walk.StartAt(starts);
  walk.StopAt(to);
  // Only the records up to the span's end, and the one after it, are read: counted, not estimated
  // from the time between, which says nothing where the timestamps jump.
  if (!starts.empty() && !times_.empty() && starts[0] < times_[0]->Known()) {
    walk.SetReadAhead(times_[0]->FirstAtOrAfter(to) - starts[0] + kReadAheadSlack);
  }
  for (bool firstBlock = true;; firstBlock = false) {
    if (stepsAside_) ForegroundWork::WaitUntilClear(cancel);
    const GroupRecordWalk::Step step = walk.Next(cancel);
    if (step == GroupRecordWalk::Step::Cancelled) return false;
    if (step == GroupRecordWalk::Step::End) return true;
    if (firstBlock) earlierWindowsEnd = EarlierWindowsEnd(walk);
    ExtractionRun::ScanBlock(walk, parameters_.AlignmentPt, parameters_.NumSpikePoints, extractor);
  }
}

int64_t DetectionPreview::EarlierWindowsEnd(const GroupRecordWalk& walk) const {
  // Without a joined previous record no window of this block or a later one begins before this
  // block's current record, and every earlier window ended by then.
  if (!walk.HasPrevious()) return SpikeExtractor::kNoWindowYet;
  // Every earlier crossing lies at or before the previous record's last sample; its peak is the
  // first turn after it, on its channel, in the direction of its polarity.
  int64_t lastPeak = kPreviousLast;
  for (const std::span<const int16_t> samples : walk.Channels()) {
    for (const bool falling : {false, true}) {
      const int64_t turn = FirstTurn(samples, kPreviousLast, kEarlierPeakLast, falling);
      if (turn < 0) return kNoLimit;
      lastPeak = std::max(lastPeak, turn);
    }
  }
  const int64_t lastWindowEnd =
      lastPeak + int64_t{parameters_.NumSpikePoints} - 1 - (int64_t{parameters_.AlignmentPt} - 1);
  if (lastWindowEnd > kBlockLast || (lastWindowEnd > kCurrentLast && !walk.HasNext())) return kNoLimit;
  return walk.Timeline().At(lastWindowEnd);
}

bool DetectionPreview::WalkWholeGroup(const std::atomic<bool>& cancel) {
  SpikeExtractor extractor;
  std::vector<SpikeExtractor::StoredSpike> stored;
  std::vector<int64_t> peaks;
  if (PrepareExtractor(extractor)) {
    extractor.CollectSpikesInto(&stored);
    GroupRecordWalk walk(sources_, sourceIds_, dt_);
    walk.SetFilters(filters_);
    walk.SetQuiet(true);
    for (;;) {
      if (stepsAside_) ForegroundWork::WaitUntilClear(cancel);
      const GroupRecordWalk::Step step = walk.Next(cancel);
      if (step == GroupRecordWalk::Step::Cancelled) return false;
      if (step == GroupRecordWalk::Step::End) break;
      ExtractionRun::ScanBlock(walk, parameters_.AlignmentPt, parameters_.NumSpikePoints, extractor);
    }
    // The run writes no file for a group with a recording whose time never moves on.
    bool standsStill = false;
    for (std::size_t k = 0; k < sourceIds_.size(); ++k) standsStill = standsStill || walk.TimeStandsStill(k);
    if (!standsStill) {
      for (const SpikeExtractor::StoredSpike& spike : stored) peaks.push_back(spike.peak);
    }
  }
  // Time going back lets later spikes come before earlier ones.
  std::sort(peaks.begin(), peaks.end());
  wholeGroup_ = std::move(peaks);
  return true;
}

}  // namespace skelvane
