#include "extract/GroupRecordWalk.h"

#include <algorithm>
#include <functional>
#include <string>

#include "datafile/IDataSourceManager.h"
#include "datafile/RecordContiguity.h"
#include "extract/ChannelFilter.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// A block holds three consecutive records per channel: previous, current, next.
constexpr int32_t kPreviousStart = 0;
constexpr int32_t kCurrentStart = kSamplesPerRecord;
constexpr int32_t kNextStart = 2 * kSamplesPerRecord;

constexpr const char* kTimeGoesBackMessage =
    "Timestamps go back here; the recording is taken up again as after a pause, at record ";

bool AllEqual(const std::vector<int64_t>& values) {
  return std::adjacent_find(values.begin(), values.end(), std::not_equal_to<>()) == values.end();
}

// Every channel's records follow each other without a gap, judged by the group's sample interval.
bool RecordsContiguous(const std::vector<int64_t>& earlier, const std::vector<int64_t>& later, double dt) {
  for (std::size_t i = 0; i < earlier.size(); ++i) {
    if (!RecordContiguity::Contiguous(earlier[i], later[i], dt)) return false;
  }
  return true;
}

}  // namespace

GroupRecordWalk::GroupRecordWalk(IDataSourceManager& sources, const std::vector<int32_t>& sourceIds,
                                 double sampleInterval, std::vector<RecordStream::Buffers>* buffers)
    : sources_(sources), sourceIds_(sourceIds), dt_(sampleInterval) {
  const std::size_t channels = sourceIds.size();
  if (buffers != nullptr && buffers->size() < channels) buffers->resize(channels);
  for (std::size_t k = 0; k < channels; ++k) {
    streams_.push_back(std::make_unique<RecordStream>(sources_, sourceIds[k], buffers != nullptr ? &(*buffers)[k] : nullptr));
    total_ = std::max(total_, streams_.back()->Count());
  }
  recordIndex_.assign(channels, 0);
  previousTimes_.assign(channels, 0);
  currentTimes_.assign(channels, 0);
  nextTimes_.assign(channels, 0);
  assembled_.assign(channels, std::vector<int16_t>(kBlockLength, 0));
  channelViews_.resize(channels);
  reportedGoingBack_.assign(channels, 0);
  walked_.assign(channels, 0);
  rose_.assign(channels, 0);
  lastSeen_.assign(channels, 0);
}

void GroupRecordWalk::StartAt(const std::vector<int64_t>& records) {
  for (std::size_t k = 0; k < recordIndex_.size() && k < records.size(); ++k) recordIndex_[k] = std::max<int64_t>(records[k], 0);
}

void GroupRecordWalk::SetFilters(const std::vector<ChannelFilter>& filters) {
  if (filters.empty()) return;
  for (std::size_t k = 0; k < streams_.size() && k < filters.size(); ++k) streams_[k]->SetFilter(&filters[k]);
}

void GroupRecordWalk::SetQuietLevel(int32_t level) {
  for (const auto& stream : streams_) stream->SetQuietLevel(level);
}

bool GroupRecordWalk::MakeExact(int64_t from, int64_t to) {
  const bool inPlace = hasPrevious_ && hasNext_;
  for (std::size_t k = 0; k < streams_.size(); ++k) {
    RecordStream& stream = *streams_[k];
    // The block's previous, current and next records, where it has them.
    for (int32_t part = hasPrevious_ ? 0 : 1; part <= (hasNext_ ? 2 : 1); ++part) {
      const int64_t partStart = int64_t{part} * kSamplesPerRecord;
      const int64_t first = std::max(from, partStart) - partStart;
      const int64_t end = std::min(to, partStart + kSamplesPerRecord) - partStart;
      if (first >= end) continue;
      const int64_t record = recordIndex_[k] - 1 + part;
      if (!stream.MakeExact(record, static_cast<int32_t>(first), static_cast<int32_t>(end))) return false;
      if (!inPlace) {
        std::copy(stream.Samples(record) + first, stream.Samples(record) + end,
                  assembled_[k].begin() + partStart + first);
      }
    }
  }
  return true;
}

void GroupRecordWalk::SetReadAhead(int64_t records) {
  for (const auto& stream : streams_) stream->SetReadAhead(records);
}

void GroupRecordWalk::StopAt(int64_t time) {
  stops_ = true;
  stopTime_ = time;
}

GroupRecordWalk::Step GroupRecordWalk::Next(const std::atomic<bool>& cancel) {
  if (advancePending_) {
    for (int64_t& index : recordIndex_) ++index;
    advancePending_ = false;
  }
  while (processed_ < total_) {
    if (cancel.load(std::memory_order_relaxed)) return Step::Cancelled;
    if (!ReadRecordTimes()) return Step::End;
    if (stops_ && *std::min_element(currentTimes_.begin(), currentTimes_.end()) >= stopTime_) return Step::End;
    if (hasPrevious_) {
      hasPrevious_ = AllEqual(previousTimes_) && RecordsContiguous(previousTimes_, currentTimes_, dt_);
    }
    if (!AllEqual(currentTimes_)) {
      CatchUp();
      continue;
    }
    if (hasNext_) hasNext_ = AllEqual(nextTimes_) && RecordsContiguous(currentTimes_, nextTimes_, dt_);
    wentBack_ = NoteTimeGoingBack();
    AssembleChannels();
    timeline_.Set({previousTimes_[0], currentTimes_[0], nextTimes_[0]}, {hasPrevious_, true, hasNext_}, dt_);
    ++processed_;
    advancePending_ = true;
    return Step::Block;
  }
  return Step::End;
}

bool GroupRecordWalk::ReadRecordTimes() {
  hasPrevious_ = true;
  hasNext_ = true;
  // The same records in the same order as a record-by-record walk would read: a record that cannot
  // be read ends the group only when the walk needs it.
  for (std::size_t k = 0; k < streams_.size(); ++k) {
    RecordStream& stream = *streams_[k];
    const int64_t n = recordIndex_[k];
    const int64_t count = stream.Count();
    if (n - 1 >= count || n - 1 < 0) hasPrevious_ = false;
    if (n >= count) return false;  // the normal end of a group: a channel ran out of records
    if (n + 1 >= count) hasNext_ = false;
    if (!stream.Ensure(hasPrevious_ ? n - 1 : n, hasNext_ ? n + 1 : n)) return false;
    previousTimes_[k] = hasPrevious_ ? stream.Timestamp(n - 1) : 0;
    currentTimes_[k] = stream.Timestamp(n);
    nextTimes_[k] = hasNext_ ? stream.Timestamp(n + 1) : 0;
    NoteCurrentTime(k, n);
  }
  return true;
}

void GroupRecordWalk::NoteCurrentTime(std::size_t channel, int64_t record) {
  // Each record is the current one at least once, in order; a catching-up pass reads it again.
  if (record < walked_[channel]) return;
  if (walked_[channel] > 0 && currentTimes_[channel] > lastSeen_[channel]) rose_[channel] = 1;
  lastSeen_[channel] = currentTimes_[channel];
  walked_[channel] = record + 1;
}

void GroupRecordWalk::CatchUp() {
  // Out of step: the channels that lag behind catch up, one record at a time.
  const int64_t earliest = *std::min_element(currentTimes_.begin(), currentTimes_.end());
  for (std::size_t k = 0; k < streams_.size(); ++k) {
    if (currentTimes_[k] == earliest) ++recordIndex_[k];
  }
}

bool GroupRecordWalk::NoteTimeGoingBack() {
  const bool wentBack = haveLastBlock_ && currentTimes_[0] < lastBlockTime_;
  haveLastBlock_ = true;
  lastBlockTime_ = currentTimes_[0];
  if (!wentBack || quiet_) return wentBack;
  // Time going back is a fault of the recording, not the same samples seen again: say where, once
  // per file; the run goes on as after a pause so that the spikes after it are still found.
  for (std::size_t k = 0; k < streams_.size(); ++k) {
    if (reportedGoingBack_[k]) continue;
    reportedGoingBack_[k] = 1;
    std::string path;
    if (sources_.GetSourcePath(sourceIds_[k], path) != kStatusOk) path.clear();
    ReportFileError(kTimeGoesBackMessage, recordIndex_[k], path, 0);
  }
  return true;
}

void GroupRecordWalk::AssembleChannels() {
  for (std::size_t k = 0; k < streams_.size(); ++k) {
    RecordStream& stream = *streams_[k];
    const int64_t n = recordIndex_[k];
    if (hasPrevious_ && hasNext_) {
      channelViews_[k] = std::span<const int16_t>(stream.Samples(n - 1), kBlockLength);
      continue;
    }
    // A neighbour lost to a gap or to another channel reads as silence, never as foreign samples.
    std::vector<int16_t>& block = assembled_[k];
    if (hasPrevious_) {
      std::copy_n(stream.Samples(n - 1), kSamplesPerRecord, block.begin() + kPreviousStart);
    } else {
      std::fill_n(block.begin() + kPreviousStart, kSamplesPerRecord, int16_t{0});
    }
    std::copy_n(stream.Samples(n), kSamplesPerRecord, block.begin() + kCurrentStart);
    if (hasNext_) {
      std::copy_n(stream.Samples(n + 1), kSamplesPerRecord, block.begin() + kNextStart);
    } else {
      std::fill_n(block.begin() + kNextStart, kSamplesPerRecord, int16_t{0});
    }
    channelViews_[k] = block;
  }
}

}  // namespace skelvane
