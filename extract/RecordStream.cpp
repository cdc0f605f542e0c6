#include "extract/RecordStream.h"

#include <algorithm>
#include <utility>

#include "datafile/CscRecord.h"
#include "extract/ChannelFilter.h"
#include "platform/StatusCodes.h"

namespace skelvane {

RecordStream::RecordStream(IDataSourceManager& sources, int32_t sourceId, Buffers* buffers)
    : sources_(sources), sourceId_(sourceId), lender_(buffers) {
  if (lender_ != nullptr) {
    raw_ = std::move(lender_->raw);
    samples_ = std::move(lender_->samples);
    times_ = std::move(lender_->times);
    rawSamples_ = std::move(lender_->rawSamples);
    rawTimes_ = std::move(lender_->rawTimes);
    work_ = std::move(lender_->work);
  }
  count_ = std::max<int64_t>(sources_.GetNumRecords(sourceId), 0);
  // Only the layout the reader itself uses is streamed directly; anything else goes through the manager.
  RecordLayout layout;
  if (sources_.GetRecordLayout(sourceId, layout) == kStatusOk && layout.recordSize == kCscRecordSize &&
      layout.numRecords == count_ && reader_.Open(layout, true) == 0) {
    direct_ = true;
  }
}

RecordStream::~RecordStream() {
  if (lender_ == nullptr) return;
  lender_->raw = std::move(raw_);
  lender_->samples = std::move(samples_);
  lender_->times = std::move(times_);
  lender_->rawSamples = std::move(rawSamples_);
  lender_->rawTimes = std::move(rawTimes_);
  lender_->work = std::move(work_);
}

const int16_t* RecordStream::Samples(int64_t index) const {
  return samples_.data() + static_cast<std::size_t>(index - base_) * kSamplesPerRecord;
}

void RecordStream::SetReadAhead(int64_t records) {
  constexpr int64_t kFewestRecords = 3;  // a block's previous, current and next record
  readAhead_ = std::clamp(records, kFewestRecords, kBlockRecords);
}

bool RecordStream::Ensure(int64_t first, int64_t last) {
  if (first < 0 || last >= count_ || first > last) return false;
  if (first >= base_ && last < base_ + held_) return true;
  // A block starting at `first` holds the records before the scan position that the next blocks of
  // the run still look back at (a block needs the record before its current one).
  if (!Fill(first)) return false;
  return last < base_ + held_;
}

void RecordStream::SetFilter(const ChannelFilter* filter) {
  filter_ = filter;
  base_ = 0;
  held_ = 0;
  SetQuietLevel(quietLevel_);
}

void RecordStream::SetQuietLevel(int32_t level) {
  quietLevel_ = level;
  quiet_.reset();
  if (filter_ != nullptr) quiet_ = QuietStretches::For(filter_->Design(), level);
  base_ = 0;
  held_ = 0;
}

bool RecordStream::Fill(int64_t first) {
  // Filtered, a block goes through three buffers (the file's bytes, the raw samples, the filtered
  // ones) in passes: blocks that keep them in the processor's cache, unless the filter's support
  // would make the records read around each block a large part of it.
  const int64_t blockRecords =
      filter_ == nullptr ? readAhead_
                         : std::min(readAhead_, std::max(kFilteredBlockRecords, 32 * filter_->ContextRecords()));
  const int64_t count = std::min(blockRecords, count_ - first);
  base_ = first;
  held_ = 0;
  if (filter_ == nullptr) {
    held_ = Load(first, count, times_, samples_);
    return held_ > 0;
  }
  // The block with the records its filtered samples depend on, on each side where the file has them.
  const int64_t context = filter_->ContextRecords();
  const int64_t lo = std::max<int64_t>(0, first - context);
  const int64_t hi = std::min(count_, first + count + context);
  const int64_t loaded = Load(lo, hi - lo, rawTimes_, rawSamples_);
  const int64_t available = std::min(count, lo + loaded - first);
  if (available <= 0) return false;
  ChannelFilter::Records records;
  records.times = rawTimes_.data();
  records.samples = rawSamples_.data();
  records.count = loaded;
  records.startsFile = lo == 0;
  // Records that could not be read end the recording for the filter as they end it for the walk.
  records.endsFile = lo + loaded == count_ || loaded < hi - lo;
  times_.assign(rawTimes_.begin() + (first - lo), rawTimes_.begin() + (first - lo + available));
  samples_.resize(static_cast<std::size_t>(available) * kSamplesPerRecord);
  if (!quiet_) {
    if (!filter_->Filter(records, first - lo, first - lo + available, samples_.data(), work_)) return false;
    held_ = available;
    return true;
  }
  // Only the chunks whose filtered samples may reach the level; the others read as 0 (inside it too).
  const int64_t outFrom = (first - lo) * kSamplesPerRecord;
  const int64_t outTo = outFrom + available * kSamplesPerRecord;
  wanted_.clear();
  quiet_->Loud(rawSamples_.data(), loaded * kSamplesPerRecord, records.startsFile, records.endsFile, outFrom, outTo,
               wanted_);
  exact_.assign(static_cast<std::size_t>((outTo - outFrom) / QuietStretches::kChunk), 0);
  int64_t filtered = 0;
  int64_t quietFrom = 0;
  for (FilterDesign::OutputRange& range : wanted_) {
    range.from -= outFrom;
    range.to -= outFrom;
    std::fill(samples_.begin() + quietFrom, samples_.begin() + range.from, int16_t{0});
    std::fill(exact_.begin() + range.from / QuietStretches::kChunk, exact_.begin() + range.to / QuietStretches::kChunk,
              uint8_t{1});
    filtered += range.to - range.from;
    quietFrom = range.to;
  }
  std::fill(samples_.begin() + quietFrom, samples_.end(), int16_t{0});
  if (!wanted_.empty() &&
      !filter_->Filter(records, first - lo, first - lo + available, samples_.data(), work_, wanted_)) {
    return false;
  }
  leftQuiet_ += (outTo - outFrom) - filtered;
  filled_ = records;
  filledFirst_ = first - lo;
  held_ = available;
  return true;
}

bool RecordStream::MakeExact(int64_t index, int32_t from, int32_t to) {
  if (!quiet_ || from >= to) return true;
  if (index < base_ || index >= base_ + held_ || from < 0 || to > kSamplesPerRecord) return false;
  constexpr int64_t kChunk = QuietStretches::kChunk;
  const int64_t start = (index - base_) * kSamplesPerRecord;
  wanted_.clear();
  for (int64_t c = (start + from) / kChunk; c < (start + to + kChunk - 1) / kChunk; ++c) {
    if (exact_[static_cast<std::size_t>(c)] != 0) continue;
    if (!wanted_.empty() && wanted_.back().to == c * kChunk) {
      wanted_.back().to += kChunk;
    } else {
      wanted_.push_back({c * kChunk, (c + 1) * kChunk});
    }
  }
  if (wanted_.empty()) return true;
  if (!filter_->Filter(filled_, filledFirst_, filledFirst_ + held_, samples_.data(), work_, wanted_)) return false;
  for (const FilterDesign::OutputRange& range : wanted_) {
    std::fill(exact_.begin() + range.from / kChunk, exact_.begin() + range.to / kChunk, uint8_t{1});
  }
  return true;
}

int64_t RecordStream::Load(int64_t first, int64_t count, std::vector<int64_t>& times, std::vector<int16_t>& samples) {
  times.resize(static_cast<std::size_t>(count));
  samples.resize(static_cast<std::size_t>(count) * kSamplesPerRecord);
  return direct_ ? LoadFromFile(first, count, times, samples) : LoadFromManager(first, count, times, samples);
}

int64_t RecordStream::LoadFromFile(int64_t first, int64_t count, std::vector<int64_t>& times,
                                   std::vector<int16_t>& samples) {
  // Records the file no longer holds (cut short while open, or a read error) end what can be read: a
  // read error counts like an early end, the group cannot be completed either way.
  int64_t whole = 0;
  reader_.ReadAvailable(first, count, raw_, whole);
  if (whole < count) shrank_ = true;
  for (int64_t r = 0; r < whole; ++r) {
    const CscRecord record(raw_.data() + static_cast<std::size_t>(r) * kCscRecordSize);
    times[static_cast<std::size_t>(r)] = record.Timestamp();
    record.CopySamples(samples.data() + static_cast<std::size_t>(r) * kSamplesPerRecord);
  }
  return whole;
}

int64_t RecordStream::LoadFromManager(int64_t first, int64_t count, std::vector<int64_t>& times,
                                      std::vector<int16_t>& samples) {
  int64_t loaded = 0;
  for (int64_t r = 0; r < count; ++r) {
    if (unreadable_ >= 0 && first + r >= unreadable_) break;
    const uint8_t* bytes = nullptr;
    if (sources_.GetRecord(first + r, sourceId_, bytes) != kStatusOk || bytes == nullptr) {
      unreadable_ = first + r;
      break;
    }
    const CscRecord record(bytes);
    times[static_cast<std::size_t>(r)] = record.Timestamp();
    record.CopySamples(samples.data() + static_cast<std::size_t>(r) * kSamplesPerRecord);
    loaded = r + 1;
  }
  return loaded;
}

}  // namespace skelvane
