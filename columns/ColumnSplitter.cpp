#include "columns/ColumnSplitter.h"

#include <algorithm>
#include <cmath>

namespace skelvane {
namespace {

constexpr int32_t kLastSample = kSamplesPerRecord - 1;
// Samples per column under which each sample's column is simply computed.
constexpr double kSplitSamplesPerColumn = 2.0;

// The lowest i in [low, high] for which `holds` is true, `holds` being monotone and true at high.
template <typename Holds>
int32_t LowestSample(int32_t low, int32_t high, Holds holds) {
  if (holds(low)) return low;
  while (high - low > 1) {  // holds(high) and not holds(low)
    const int32_t middle = (low + high) / 2;
    if (holds(middle)) {
      high = middle;
    } else {
      low = middle;
    }
  }
  return high;
}

// LowestSample, looking a few samples around `guess` first.
template <typename Holds>
int32_t LowestSampleNear(int32_t low, int32_t high, int32_t guess, Holds holds) {
  constexpr int32_t kSteps = 3;
  guess = std::clamp(guess, low, high);
  if (holds(guess)) {
    for (int32_t step = 0; step < kSteps; ++step, --guess) {
      if (guess == low || !holds(guess - 1)) return guess;
    }
    return LowestSample(low, guess, holds);
  }
  for (int32_t step = 0; step < kSteps; ++step) {
    if (holds(++guess)) return guess;  // holds at high, so guess stays within it
  }
  return LowestSample(guess, high, holds);
}

}  // namespace

ColumnSplitter::ColumnSplitter(const ColumnSpan& span)
    : span_(span),
      offsets_(span.SampleOffsets()),
      timePerPixel_(span.TimePerPixel()),
      fewPerColumn_(!(timePerPixel_ >= kSplitSamplesPerColumn * span.samplePeriod)) {}

int32_t ColumnSplitter::FirstTaken(int64_t timestamp) const {
  if (TimeOf(timestamp, kLastSample) < span_.start) return kSamplesPerRecord;
  return LowestSample(0, kLastSample, [&](int32_t i) { return TimeOf(timestamp, i) >= span_.start; });
}

void ColumnSplitter::Split(int64_t timestamp, int32_t first, int32_t last, std::vector<Run>& runs) {
  if (fewPerColumn_) {
    for (int32_t i = last; i >= first; --i) {
      const int32_t x = Column(TimeOf(timestamp, i));
      if (i != last && runs.back().x == x) {
        runs.back().first = i;
      } else {
        runs.push_back({x, i, i});
      }
    }
    return;
  }
  for (int32_t i = last; i >= first;) {
    const int32_t x = Column(TimeOf(timestamp, i));
    const int32_t j = RunStart(timestamp, first, i, x);
    runs.push_back({x, j, i});
    i = j - 1;
  }
}

int32_t ColumnSplitter::RunStart(int64_t timestamp, int32_t first, int32_t last, int32_t x) {
  // The column's samples: those not before its first time (one division instead of one per probe).
  int64_t columnStart = 0;
  if (FirstTimeOfColumn(x, columnStart)) {
    return LowestSampleNear(first, last, SampleGuess(timestamp, columnStart),
                            [&](int32_t k) { return TimeOf(timestamp, k) >= columnStart; });
  }
  return LowestSample(first, last, [&](int32_t k) { return Column(TimeOf(timestamp, k)) >= x; });
}

bool ColumnSplitter::FirstTimeOfColumn(int32_t x, int64_t& time) {
  // A column's first time is asked for by every record on its edge and by the runs between them.
  for (const KnownColumn& known : knownColumns_) {
    if (known.x == x) {
      time = known.time;
      return known.found;
    }
  }
  KnownColumn& known = knownColumns_[nextKnown_];
  nextKnown_ = (nextKnown_ + 1) % knownColumns_.size();
  known.x = x;
  known.found = SearchFirstTimeOfColumn(x, known.time);
  time = known.time;
  return known.found;
}

bool ColumnSplitter::SearchFirstTimeOfColumn(int32_t x, int64_t& time) const {
  constexpr int32_t kSteps = 8;
  time = SaturatingAdd(span_.start, static_cast<int64_t>(x * timePerPixel_));
  for (int32_t step = 0; time > span_.start && Column(time - 1) >= x; ++step) {
    if (step == kSteps) return false;
    --time;
  }
  for (int32_t step = 0; Column(time) < x; ++step) {
    if (step == kSteps || time == std::numeric_limits<int64_t>::max()) return false;
    ++time;
  }
  return true;
}

// Where the sample stamped at `time` would lie in a record stamped `timestamp`, samples following
// each other every sample period; any value when they do not.
int32_t ColumnSplitter::SampleGuess(int64_t timestamp, int64_t time) const {
  if (!(span_.samplePeriod > 0.0)) return 0;
  const double at = std::ceil(static_cast<double>(SaturatingSubtract(time, timestamp)) / span_.samplePeriod);
  return static_cast<int32_t>(std::clamp(at, 0.0, static_cast<double>(kLastSample)));
}

}  // namespace skelvane
