#include "filter/FilterStream.h"

#include <algorithm>
#include <cstring>

#include "datafile/CscRecord.h"
#include "datafile/RecordContiguity.h"
#include "filter/SegmentFilter.h"

namespace skelvane {
namespace {

// A segment that goes on is filtered a batch at a time, each part over the whole batch before the
// next: small enough that a part's input and output stay in the core's own cache, large enough that
// the support each part keeps between batches costs nothing.
constexpr int64_t kBatchRecords = 64;
// Samples no longer needed at the front of a buffer are dropped (the rest moved down) once they are
// this many times those kept.
constexpr int64_t kDeadShare = 3;
// Records taken out of the ready ones are dropped, short of all of them, only once there are this many.
constexpr int64_t kDropRecords = 4 * kBatchRecords;

// Drops the first `count` samples of `buffer`'s first `size`.
void DropFront(std::vector<int16_t>& buffer, int64_t& size, int64_t count) {
  if (count <= 0) return;
  std::memmove(buffer.data(), buffer.data() + count, static_cast<std::size_t>(size - count) * sizeof(int16_t));
  size -= count;
}

}  // namespace

FilterStream::FilterStream(const FilterDesign& design, double sampleInterval)
    : design_(design),
      sampleInterval_(sampleInterval),
      half_(design.HalfSupport()),
      batch_(kBatchRecords * kSamplesPerRecord) {
  // The parts point into this stream's own copy of the design.
  for (const FilterDesign::Part& part : design_.Parts()) {
    stages_.emplace_back();
    stages_.back().part = part;
  }
}

void FilterStream::Push(int64_t timestamp, const int16_t* samples) {
  std::memcpy(Take(timestamp), samples, sizeof(int16_t) * kSamplesPerRecord);
  Taken();
}

void FilterStream::Push(const CscRecord& record) {
  record.CopySamples(Take(record.Timestamp()));
  Taken();
}

void FilterStream::KeepStates(int64_t every, StateSink sink) {
  stateEvery_ = every;
  stateSink_ = std::move(sink);
}

int16_t* FilterStream::Take(int64_t timestamp) {
  if (hasLast_ && !RecordContiguity::Contiguous(lastTimestamp_, timestamp, sampleInterval_)) EndSegment();
  if (length_ == 0) segmentFirst_ = recordsPushed_;
  ++recordsPushed_;
  hasLast_ = true;
  lastTimestamp_ = timestamp;
  pendingTimes_.push_back(timestamp);
  // Once the parts run the samples go straight to the first one.
  if (started_) return Entry(kSamplesPerRecord);
  const std::size_t at = raw_.size();
  raw_.resize(at + kSamplesPerRecord);
  return raw_.data() + at;
}

void FilterStream::Taken() {
  length_ += kSamplesPerRecord;
  if (started_) {
    Entered(kSamplesPerRecord);
    if (unrun_ >= batch_) RunParts(false);
  } else if (length_ >= half_ && length_ >= batch_) {
    // The parts start once the segment holds the half support its mirrored start is made of.
    Start();
    RunParts(false);
  }
}

void FilterStream::Finish() {
  EndSegment();
  hasLast_ = false;
}

const int16_t* FilterStream::FrontSamples() const { return ready_.data() + readyBegin_; }

void FilterStream::Pop() {
  ++readyHead_;
  readyBegin_ += kSamplesPerRecord;
  // Taken-out records are dropped once all are taken (only the next record's samples so far move
  // down), or once they are many and the larger part of what is kept: a reader that takes out all
  // there is, record by record, has nothing moved.
  const auto kept = static_cast<int64_t>(readyTimes_.size());
  if (readyHead_ == kept || (readyHead_ >= kDropRecords && readyHead_ * 2 >= kept)) {
    readyTimes_.erase(readyTimes_.begin(), readyTimes_.begin() + readyHead_);
    readyHead_ = 0;
    int64_t size = readyEnd_;
    DropFront(ready_, size, readyBegin_);
    readyEnd_ = size;
    readyBegin_ = 0;
  }
}

void FilterStream::EndSegment() {
  if (length_ > 0) {
    if (!started_ && length_ >= half_) Start();
    if (started_) {
      // The segment's last half support mirrored about its last sample, from the first part's input,
      // which keeps that much behind its end.
      int16_t* mirrored = FilterWorkspace::Room(work_.extended, half_);
      if (!stages_.empty()) {
        const Stage& first = stages_.front();
        for (int64_t i = 0; i < half_; ++i) mirrored[i] = first.input[static_cast<std::size_t>(first.size - 1 - i)];
      }
      std::memcpy(Entry(half_), mirrored, static_cast<std::size_t>(half_) * sizeof(int16_t));
      Entered(half_);
      RunParts(true);
      // As SegmentFilter judges it: some output's support reaches past both ends.
      if (std::max<int64_t>(0, length_ - half_) < std::min(length_, half_)) sawShort_ = true;
    } else {
      FilterShortSegment();
    }
  }
  raw_.clear();
  length_ = 0;
  unrun_ = 0;
  started_ = false;
  filtered_ = 0;
  pendingTimes_.clear();
  pendingHead_ = 0;
  for (Stage& stage : stages_) {
    stage.begin = 0;
    stage.size = 0;
    stage.firstOutput = 0;
    stage.dropped = 0;
    stage.running = SpacedHighPass::Running{};
  }
}

void FilterStream::FilterShortSegment() {
  SegmentFilter::Stretch stretch;
  stretch.samples = raw_.data();
  stretch.count = length_;
  stretch.startsSegment = true;
  stretch.endsSegment = true;
  int16_t* out = Outputs(stages_.size(), length_);
  // Cannot be refused: the stretch is the whole segment.
  SegmentFilter::Filter(design_, stretch, 0, length_, out, work_, sawShort_);
  Produced(stages_.size(), length_);
}

void FilterStream::Start() {
  started_ = true;
  for (Stage& stage : stages_) {
    if (stage.part.spacedHighPass != nullptr) stage.firstOutput = 2 * stage.part.HalfSupport();
  }
  // The segment's first half support mirrored about its first sample, then the segment so far.
  int16_t* mirrored = Entry(half_);
  for (int64_t i = 0; i < half_; ++i) mirrored[i] = raw_[static_cast<std::size_t>(half_ - 1 - i)];
  Entered(half_);
  std::memcpy(Entry(length_), raw_.data(), static_cast<std::size_t>(length_) * sizeof(int16_t));
  Entered(length_);
  raw_.clear();
}

int16_t* FilterStream::Entry(int64_t count) {
  if (stages_.empty()) return Outputs(0, count);
  Stage& first = stages_.front();
  return FilterWorkspace::Room(first.input, first.size + count + FirStage::kReadPad) + first.size;
}

void FilterStream::Entered(int64_t count) {
  unrun_ += count;
  if (stages_.empty()) {
    Produced(0, count);
  } else {
    stages_.front().size += count;
  }
}

void FilterStream::RunParts(bool segmentEnds) {
  for (std::size_t s = 0; s < stages_.size(); ++s) Run(s, segmentEnds);
  unrun_ = 0;
}

int16_t* FilterStream::Outputs(std::size_t stage, int64_t count) {
  if (stage + 1 < stages_.size()) {
    Stage& next = stages_[stage + 1];
    return FilterWorkspace::Room(next.input, next.size + count + FirStage::kReadPad) + next.size;
  }
  return FilterWorkspace::Room(ready_, readyEnd_ + count) + readyEnd_;
}

void FilterStream::Produced(std::size_t stage, int64_t count) {
  if (stage + 1 < stages_.size()) {
    stages_[stage + 1].size += count;
    return;
  }
  readyEnd_ += count;
  filtered_ += count;
  // The segment's records whose samples are all filtered are ready.
  const int64_t whole = filtered_ / kSamplesPerRecord;
  for (; pendingHead_ < whole; ++pendingHead_) readyTimes_.push_back(pendingTimes_[static_cast<std::size_t>(pendingHead_)]);
  if (pendingHead_ * 2 >= static_cast<int64_t>(pendingTimes_.size())) {
    pendingTimes_.erase(pendingTimes_.begin(), pendingTimes_.begin() + pendingHead_);
    filtered_ -= pendingHead_ * kSamplesPerRecord;
    pendingHead_ = 0;
  }
}

int64_t FilterStream::Kept(std::size_t stage) const { return stage == 0 ? half_ : 0; }

void FilterStream::Run(std::size_t s, bool segmentEnds) {
  Stage& stage = stages_[s];
  const FilterDesign::Part& part = stage.part;
  if (part.spacedHighPass != nullptr) {
    // Each sample goes into the running sums once; an output comes with every sample from the first
    // whose window is whole on.
    const SpacedHighPass& highPass = *part.spacedHighPass;
    const int64_t from = stage.begin;
    const int64_t to = stage.size;
    const int64_t count = std::max<int64_t>(0, to - std::max(from, stage.firstOutput));
    RunHighPass(stage, s, from, to, Outputs(s, count));
    Produced(s, count);
    stage.begin = to;
    // The window reaches back three of its spans; the input moves by whole spacings, keeping each
    // sample's phase.
    const int64_t reach = std::max(3 * highPass.Spacing() * highPass.Length(), Kept(s));
    const int64_t drop = std::max<int64_t>(0, to - reach) / highPass.Spacing() * highPass.Spacing();
    if (drop > 0 && drop >= kDeadShare * (stage.size - drop)) {
      DropFront(stage.input, stage.size, drop);
      stage.begin -= drop;
      stage.firstOutput -= drop;
      stage.dropped += drop;
    }
    return;
  }
  // A FIR reads one sample past its support (times a zero tap): mid-segment that is the next one, at
  // the end a zero.
  const int64_t half = part.HalfSupport();
  const int64_t pad = segmentEnds ? 0 : FirStage::kReadPad;
  const int64_t count = stage.size - stage.begin - 2 * half - pad;
  if (count <= 0) return;
  if (segmentEnds) FilterWorkspace::Room(stage.input, stage.size + FirStage::kReadPad)[stage.size] = 0;
  const int16_t* in = stage.input.data() + stage.begin;
  int16_t* out = Outputs(s, count);
  if (part.fir != nullptr) {
    part.fir->Apply(in, count, out);
  } else {
    part.boxcar->Apply(in, count, out, stage.boxcars);
  }
  Produced(s, count);
  stage.begin += count;
  const int64_t drop = std::min(stage.begin, stage.size - Kept(s));
  if (drop > 0 && drop >= kDeadShare * (stage.size - drop)) {
    DropFront(stage.input, stage.size, drop);
    stage.begin -= drop;
  }
}

void FilterStream::RunHighPass(Stage& stage, std::size_t s, int64_t from, int64_t to, int16_t* out) {
  const SpacedHighPass& highPass = *stage.part.spacedHighPass;
  const auto run = [&](int64_t a, int64_t b) {
    if (a >= b) return;
    highPass.Continue(FirStage::BestPath(), stage.input.data(), a, b, stage.firstOutput, stage.running,
                      out + std::max<int64_t>(0, std::max(a, stage.firstOutput) - std::max(from, stage.firstOutput)));
  };
  if (!stateSink_ || stateEvery_ <= 0) {
    run(from, to);
    return;
  }
  // The input's sample j stands at segment position j + dropped - ahead (the parts before this one
  // centred it), and the state for the record at segment position p is the sums once the pass has
  // taken every sample before p - behind + HalfSupport(): ready to make the outputs the parts after
  // this one weigh for p.
  int64_t before = 0;
  for (std::size_t k = 0; k < s; ++k) before += stages_[k].part.HalfSupport();
  int64_t behind = 0;
  for (std::size_t k = s + 1; k < stages_.size(); ++k) behind += stages_[k].part.HalfSupport();
  const int64_t ahead = half_ - before;
  const int64_t shift = highPass.HalfSupport() - behind + ahead - stage.dropped;  // index of p's state - p
  const int32_t spacing = highPass.Spacing();
  // The phase of the input that holds the segment's phase 0 (see below).
  const auto firstPhase = static_cast<int32_t>((ahead % spacing + spacing) % spacing);
  int64_t record = segmentFirst_ + std::max<int64_t>(0, (from + 1 - shift + kSamplesPerRecord - 1) / kSamplesPerRecord);
  record = (record + stateEvery_ - 1) / stateEvery_ * stateEvery_;
  int64_t done = from;
  for (;; record += stateEvery_) {
    const int64_t position = (record - segmentFirst_) * kSamplesPerRecord;
    const int64_t at = position + shift;
    if (at > to || position >= length_) break;
    if (at <= done) continue;
    run(done, at);
    done = at;
    // Phases by segment (and so recording) position: the input's phase j % spacing stands at
    // (j + dropped - ahead) % spacing, and drops keep whole spacings.
    SpacedHighPass::Running sums;
    for (int32_t p = 0, phase = firstPhase; p < spacing; ++p, phase = phase + 1 == spacing ? 0 : phase + 1) {
      sums.first[static_cast<std::size_t>(p)] = stage.running.first[static_cast<std::size_t>(phase)];
      sums.second[static_cast<std::size_t>(p)] = stage.running.second[static_cast<std::size_t>(phase)];
      sums.third[static_cast<std::size_t>(p)] = stage.running.third[static_cast<std::size_t>(phase)];
    }
    stateSink_(record, sums);
  }
  run(done, to);
}

}  // namespace skelvane
