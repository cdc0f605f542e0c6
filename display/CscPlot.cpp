#include "display/CscPlot.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "datafile/ChannelTiming.h"
#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "display/DisplayConstants.h"
#include "display/IPlotCanvas.h"
#include "display/SpikeTicks.h"
#include "platform/ReportError.h"
#include "platform/Saturating.h"
#include "platform/StatusCodes.h"
#include "render/GLRenderer.h"
#include "columns/LiteralColumns.h"
#include "columns/RecordColumns.h"
#include "columns/RecordWalk.h"
#include "columns/SampleScaling.h"
#include "columns/SummaryColumns.h"
#include "spikes/SpikeMarks.h"

namespace skelvane {
namespace {

constexpr const char* kSourceIndexMessage = "Error retrieving Data Source Index, err = ";
constexpr const char* kCountsUnit = "  AD Counts";
constexpr const char* kMicrovoltUnit = "  uV";
constexpr int32_t kRecordQuarter = 4;  // every sample is drawn while a column covers at most a quarter record
constexpr int32_t kStatusBusy = 1;     // the columns wait for the source summary

}  // namespace

std::function<void()> CscPlot::onSummaryFinished;

CscPlot::CscPlot(std::string path, std::string displayName, IDataSourceManager& sources, uint32_t traceColour)
    : Plot(std::move(path), std::move(displayName)), sources_(sources) {
  properties_.traceColour = traceColour;
}

double CscPlot::GetSamplingFrequency() const { return properties_.samplingFrequency; }
double CscPlot::GetSamplePeriod() const { return samplePeriod_; }
int32_t CscPlot::GetADMaxValue() const { return properties_.ADMaxValue; }
int32_t CscPlot::ReadProperties(File& file) { return properties_.Read(file); }
int32_t CscPlot::WriteProperties(File& file) { return properties_.Write(file); }

void CscPlot::LoadSourceInfo() {
  int32_t source = -1;
  if (const int32_t rc = sources_.FindSourceByPath(GetPath(), source); rc != 0) {
    ReportError(kSourceIndexMessage, rc);
    return;
  }
  // Called once, right after the plot is made: the properties still hold their defaults, which are
  // the measurement's own where the source says nothing.
  const ChannelTiming timing = ChannelTiming::Measure(sources_, source);
  properties_.samplingFrequency = timing.samplingFrequency;
  properties_.ADMaxValue = timing.adMaxValue;
  recordDuration_ = timing.recordDuration;
  samplePeriod_ = timing.samplePeriod;
}

int32_t CscPlot::Draw(const PlotFrame& frame, int32_t width, int32_t height, int32_t x0, int32_t y0) {
  int32_t source = -1;
  if (const int32_t rc = sources_.FindSourceByPath(GetPath(), source); rc != 0) {
    ReportError(kSourceIndexMessage, rc);
    return kStatusFailed;
  }
  ClearIconPositions();
  // Nothing can be drawn into no columns, over an empty span or with a zero full scale.
  const double fullScale = properties_.ADMaxValue * properties_.scale;
  if (width <= 0 || frame.end <= frame.start || fullScale == 0.0) return kStatusOk;

  const double gain = frame.canvas != nullptr ? frame.canvas->GetAmplitudeGain(GetPath()) : 1.0;
  if (GLRenderer* renderer = frame.renderer) {
    renderer->Translate(static_cast<float>(x0), static_cast<float>(y0 + height / 2), 0.0f);
    renderer->Scale(1.0f, static_cast<float>((height / 2.0) / fullScale * gain), 1.0f);
  }
  if (recordDuration_ > 0 && samplePeriod_ > 0.0) {
    if (DrawsBars(frame.visibleSpan, width)) {
      DrawMinMax(frame, source, width);
    } else {
      DrawSamples(frame, source, width);
    }
  }
  DrawThresholdOverlay(frame, width, 0, kColourLight);
  if (frame.spikeMarks != nullptr && frame.renderer != nullptr) {
    const double pixelsPerCount = static_cast<float>((height / 2.0) / fullScale * gain);
    std::vector<OverlayLine> overlay;
    if (LayoutThresholdOverlay(width, 0, overlay) != kStatusOk) overlay.clear();
    const SpikeTicks::Trace trace{cache_, width, height, pixelsPerCount, properties_.traceLineWidth, overlay};
    SpikeTicks::Draw(SpikeTicks::Layout(frame.spikeMarks->PeaksFor(GetPath()), trace, frame), frame, x0, y0);
  }
  return kStatusOk;
}

bool CscPlot::SetFilter(const FilterSpec& filter, std::string& refusal) {
  if (filter == filter_) return true;
  // The last filter's design and summary are kept through None, so going back to it costs nothing.
  if (!filter.IsNone() && !(design_ && design_->Spec() == filter)) {
    std::optional<FilterDesign> design = FilterDesign::Shared(filter, properties_.samplingFrequency, refusal);
    if (!design) {
      refusal += ": " + GetPath();
      return false;
    }
    filteredSummary_.reset();
    filteredPieces_.reset();
    filtered_.reset();
    design_ = std::move(design);
  }
  filter_ = filter;
  ClearCache();
  return true;
}

std::string CscPlot::HeaderNote() const { return filter_.IsNone() ? std::string() : filter_.Description(); }

std::string CscPlot::FilterNotice() {
  if (!Filtered()) return {};
  int32_t source = -1;
  if (sources_.FindSourceByPath(GetPath(), source) != 0 || !OpenReader(sources_, source)) return {};
  const int64_t samples = reader_.NumRecords() * kSamplesPerRecord;
  if (samples >= design_->Support()) return {};
  return DisplayName() + ": " + std::to_string(samples) + " samples, fewer than the " + std::to_string(design_->Support()) +
         " the " + filter_.Description() + " weighs: filtered with its own samples mirrored past its ends";
}

bool CscPlot::DrawsBars(int64_t visibleSpan, int32_t width) const {
  return recordDuration_ / kRecordQuarter < visibleSpan / width;
}

void CscPlot::PrepareDraw(const PlotFrame& frame) {
  const int64_t start = frame.start;
  const int64_t end = frame.end;
  const int32_t width = frame.traceWidth;
  // Only what Draw would build from the file without asking the manager: a finished summary's bars,
  // or the records read in one go.
  if (width <= 0 || end <= start || properties_.ADMaxValue * properties_.scale == 0.0) return;
  if (recordDuration_ <= 0 || samplePeriod_ <= 0.0) return;
  const bool minMax = DrawsBars(frame.visibleSpan, width);
  if (cache_.Matches(start, end, width, minMax) || sourceChanged_ || !reader_.IsOpen()) return;
  if (reader_.NumRecords() == 0) return;
  const std::unique_ptr<SummaryBuilder>& builder = ActiveSummary();
  const SourceSummary* summary = builder != nullptr ? builder->Summary() : nullptr;
  const ColumnSpan span = SpanFor(start, end, width);
  RecordRange range;
  if (LocateRecords(summary, span, range) != kStatusOk) return;
  PixelCache cache;
  int32_t rc = kStatusFailed;
  if (minMax && summary != nullptr && WalksSummary(range.Count(), span)) {
    // The canvas prepares plots side by side, so one plot's walk is not split further.
    rc = BuildFromSummary(*summary, span, cache, std::numeric_limits<int64_t>::max());
  } else if (range.Count() <= kReadRecords) {
    rc = ReadAndBuild(span, minMax, range, cache);
  }
  if (rc != kStatusOk) return;  // Draw takes it from the start and reports what it finds
  cache.SetKey(start, end, width, minMax);
  cache_ = std::move(cache);
  cacheUnchecked_ = true;
  // The trace's pixels too, for the transform of the last draw: a plot keeps its place and gain
  // from one frame to the next far more often than not.
  tracePixels_.Invalidate();
  if (!minMax) tracePixels_.Prepare(cache_.xs, cache_.counts, cache_.mins);
}

bool CscPlot::WalksSummary(int64_t count, const ColumnSpan& span) {
  return count > kSummaryMinRecords && static_cast<double>(count) > kSummaryRecordsPerColumn * span.width &&
         span.scale > 0.0;
}

bool CscPlot::RecordsInSpan(const SourceSummary& summary, const ColumnSpan& span, int64_t& first, int64_t& last) {
  const std::span<const int64_t> timestamps = summary.Timestamps();
  const int64_t firstTimestamp = timestamps.front();
  if (span.end <= firstTimestamp) return false;
  last = RecordWalk(timestamps.data(), 0, summary.NumRecords() - 1, firstTimestamp).LastAtOrBefore(span.end);
  first = std::partition_point(timestamps.begin(), timestamps.begin() + last + 1, [&](int64_t t) {
            return !RecordWalk::Reaches(t, span.start, span.recordDuration);
          }) - timestamps.begin();
  return true;
}

ColumnSpan CscPlot::SpanFor(int64_t start, int64_t end, int32_t width) const {
  ColumnSpan span;
  span.start = start;
  span.end = end;
  span.width = width;
  span.recordDuration = recordDuration_;
  span.samplePeriod = samplePeriod_;
  span.scale = properties_.scale;
  return span;
}

bool CscPlot::OpenReader(IDataSourceManager& manager, int32_t source) {
  if (reader_.IsOpen()) return true;
  RecordLayout layout;
  if (manager.GetRecordLayout(source, layout) != 0 || reader_.Open(layout) != 0) return false;
  layout_ = layout;
  return true;
}

void CscPlot::StartSummary(SummaryBuilder::Rank rank) {
  std::unique_ptr<SummaryBuilder>& summary = ActiveSummary();
  if (summary != nullptr) {
    if (rank == SummaryBuilder::Rank::Shown) summary->SetRank(rank);
    return;
  }
  if (sourceChanged_) return;
  int32_t source = -1;
  if (sources_.FindSourceByPath(GetPath(), source) != 0) return;
  if (!OpenReader(sources_, source)) return;
  // A recording short enough to be walked record by record at any zoom never needs one.
  if (rank == SummaryBuilder::Rank::Hidden && reader_.NumRecords() <= kReadRecords) return;
  summary = Filtered() ? std::make_unique<SummaryBuilder>(layout_, *design_, samplePeriod_)
                   : std::make_unique<SummaryBuilder>(layout_);
  summary->SetRank(rank);
  if (onSummaryFinished) summary->SetOnFinished(onSummaryFinished);
  summary->Start();
}

int32_t CscPlot::ProbeRecordsInSpan(const ColumnSpan& span, int64_t& first, int64_t& last,
                                    int64_t& firstTimestamp) const {
  if (const int32_t rc = reader_.ReadTimestamp(0, firstTimestamp); rc != kStatusOk) return rc;
  if (span.end <= firstTimestamp) return kStatusFailed;
  int32_t rc = kStatusOk;
  // Smallest index in [low, high) for which `past` holds (high when none), probing timestamps.
  auto search = [&](int64_t low, int64_t high, auto past) {
    while (low < high && rc == kStatusOk) {
      const int64_t middle = low + (high - low) / 2;
      int64_t t = 0;
      rc = reader_.ReadTimestamp(middle, t);
      if (past(t)) {
        high = middle;
      } else {
        low = middle + 1;
      }
    }
    return low;
  };
  last = search(0, reader_.NumRecords(), [&](int64_t t) { return t > span.end; }) - 1;
  first = search(0, last + 1, [&](int64_t t) { return RecordWalk::Reaches(t, span.start, span.recordDuration); });
  return rc;
}

bool CscPlot::StartSummaryFor(const PlotFrame& frame) {
  const int32_t width = frame.traceWidth;
  if (ActiveSummary() != nullptr) return true;
  if (width <= 0 || frame.end <= frame.start || properties_.ADMaxValue * properties_.scale == 0.0) return false;
  if (recordDuration_ <= 0 || samplePeriod_ <= 0.0 || !DrawsBars(frame.visibleSpan, width) || sourceChanged_) {
    return false;
  }
  int32_t source = -1;
  if (sources_.FindSourceByPath(GetPath(), source) != 0 || !OpenReader(sources_, source) || reader_.NumRecords() == 0) {
    return false;
  }
  const ColumnSpan span = SpanFor(frame.start, frame.end, width);
  int64_t first = 0;
  int64_t last = 0;
  int64_t firstTimestamp = 0;
  if (ProbeRecordsInSpan(span, first, last, firstTimestamp) != kStatusOk) return false;
  // The same test the draw makes before it waits for the summary.
  const int64_t count = last - first + 1;
  if (!WalksSummary(count, span) || count <= kReadRecords) return false;
  StartSummary();
  return ActiveSummary() != nullptr;
}

bool CscPlot::WaitForSummary() const {
  const std::unique_ptr<SummaryBuilder>& summary = ActiveSummary();
  if (summary == nullptr) return false;
  summary->Wait();
  return true;
}

int32_t CscPlot::BuildColumns(int32_t source, const ColumnSpan& span, bool minMax) {
  cache_.Clear();
  cacheUnchecked_ = false;
  tracePixels_.Invalidate();
  if (sourceChanged_) return kStatusFailed;
  IDataSourceManager& manager = sources_;
  int32_t rc = kStatusFailed;
  if (OpenReader(manager, source)) {
    rc = BuildFromFile(manager, source, span, minMax);
  } else if (!Filtered()) {
    // A source whose file cannot be read directly is walked through the manager's lookups.
    rc = LiteralColumns::ThroughManager(manager, source, span, minMax, cache_);
  }
  // A walk that came up short, or any walk over a file that shrank, draws nothing from then on.
  if (manager.CheckSource(source) == kStatusSourceChanged) sourceChanged_ = true;
  if (rc != kStatusOk || sourceChanged_) {
    cache_.Clear();
    return kStatusFailed;
  }
  cache_.SetKey(span.start, span.end, span.width, minMax);
  return kStatusOk;
}

int32_t CscPlot::LocateRecords(const SourceSummary* summary, const ColumnSpan& span, RecordRange& range) const {
  // The records the walk can visit: from the last one stamped at or before end back to the first
  // one that does not end before start. Timestamps come from the summary, or a few probes.
  if (summary != nullptr) {
    range.firstTimestamp = summary->Timestamps().front();
    return RecordsInSpan(*summary, span, range.first, range.last) ? kStatusOk : kStatusFailed;
  }
  return ProbeRecordsInSpan(span, range.first, range.last, range.firstTimestamp);
}

int32_t CscPlot::ReadAndBuild(const ColumnSpan& span, bool minMax, const RecordRange& range, PixelCache& cache) {
  if (range.Count() <= 0) return kStatusOk;  // the last record ends before start
  if (const int32_t rc = ReadRecords(range.first, range.Count()); rc != kStatusOk) return rc;
  if (!minMax) cache.mins.reserve(cache.mins.size() + static_cast<std::size_t>(range.Count() * kSamplesPerRecord));
  const RecordWalk walk(timestamps_.data(), range.first, range.last, range.firstTimestamp);
  return RecordColumns::Build(walk, range.first, records_.data(), reader_.RecordSize(), span, minMax, cache);
}

int32_t CscPlot::ReadRecords(int64_t first, int64_t count) {
  const int64_t size = reader_.RecordSize();
  // A view moved by part of a page finds some of its records already read: they are moved into
  // place and only the rest is read.
  const int64_t keptFrom = std::max(first, recordsFirst_);
  const int64_t keptTo = std::min(first + count, recordsFirst_ + recordsCount_);
  int32_t rc = kStatusOk;
  if (keptFrom >= keptTo) {
    rc = ReadShown(first, count, records_);
  } else {
    const std::size_t keptBytes = static_cast<std::size_t>((keptTo - keptFrom) * size);
    records_.resize(std::max(records_.size(), static_cast<std::size_t>(count * size)));
    std::memmove(records_.data() + (keptFrom - first) * size, records_.data() + (keptFrom - recordsFirst_) * size,
                 keptBytes);
    records_.resize(static_cast<std::size_t>(count * size));
    auto read = [&](int64_t from, int64_t to) -> int32_t {
      if (from >= to) return kStatusOk;
      if (const int32_t status = ReadShown(from, to - from, readBuffer_); status != kStatusOk) return status;
      std::memcpy(records_.data() + (from - first) * size, readBuffer_.data(), readBuffer_.size());
      return kStatusOk;
    };
    rc = read(first, keptFrom);
    if (rc == kStatusOk) rc = read(keptTo, first + count);
  }
  if (rc != kStatusOk) {
    ForgetRecords();
    return rc;
  }
  recordsFirst_ = first;
  recordsCount_ = count;
  timestamps_.resize(static_cast<std::size_t>(count));
  for (int64_t r = 0; r < count; ++r) {
    timestamps_[static_cast<std::size_t>(r)] = CscRecord(records_.data() + r * size).Timestamp();
  }
  return kStatusOk;
}

int32_t CscPlot::ReadShown(int64_t first, int64_t count, std::vector<uint8_t>& out) {
  if (!Filtered()) return reader_.Read(first, count, out);
  if (filtered_ == nullptr) filtered_ = std::make_unique<FilteredRecords>(reader_, *design_, samplePeriod_);
  filteredSamples_.resize(static_cast<std::size_t>(count * kSamplesPerRecord));
  filteredTimes_.resize(static_cast<std::size_t>(count));
  if (const int32_t rc = filtered_->Read(first, first + count, filteredSamples_.data(), filterBuffers_, nullptr,
                                         filteredTimes_.data());
      rc != kStatusOk) {
    return rc;
  }
  // Laid out as records, so that every walk over records takes the filtered ones unchanged.
  const int32_t size = reader_.RecordSize();
  out.assign(static_cast<std::size_t>(count * size), 0);
  for (int64_t r = 0; r < count; ++r) {
    uint8_t* record = out.data() + r * size;
    std::memcpy(record + kCscTimestampOffset, &filteredTimes_[static_cast<std::size_t>(r)], sizeof(int64_t));
    std::memcpy(record + kCscSamplesOffset, filteredSamples_.data() + r * kSamplesPerRecord,
                kSamplesPerRecord * sizeof(int16_t));
  }
  return kStatusOk;
}

int32_t CscPlot::BuildFromSummary(const SourceSummary& summary, const ColumnSpan& span, PixelCache& cache,
                                  int64_t splitRecords) {
  if (!Filtered()) return SummaryColumns::Build(summary, reader_, span, cache, splitRecords);
  if (filteredPieces_ == nullptr) {
    filteredPieces_ = std::make_unique<FilteredPieceExtremes>(reader_, *design_, samplePeriod_);
  }
  return SummaryColumns::Build(summary, *filteredPieces_, span, cache, splitRecords);
}

void CscPlot::ForgetRecords() {
  timestamps_.clear();
  recordsFirst_ = 0;
  recordsCount_ = 0;
}

int32_t CscPlot::BuildFromFile(IDataSourceManager& manager, int32_t source, const ColumnSpan& span, bool minMax) {
  const std::unique_ptr<SummaryBuilder>& builder = ActiveSummary();
  const SourceSummary* summary = builder != nullptr ? builder->Summary() : nullptr;
  if (reader_.NumRecords() == 0) return kStatusOk;
  RecordRange range;
  if (const int32_t rc = LocateRecords(summary, span, range); rc != kStatusOk) return rc;
  if (minMax && WalksSummary(range.Count(), span)) {
    if (summary != nullptr) return BuildFromSummary(*summary, span, cache_, SummaryColumns::kSplitRecords);
  }
  // A filtered view reads its records whatever their number: the manager's walk knows no filter.
  const auto walkAll = [&] {
    return Filtered() ? ReadAndBuild(span, minMax, range, cache_)
                   : LiteralColumns::ThroughManager(manager, source, span, minMax, cache_);
  };
  if (minMax && WalksSummary(range.Count(), span) && range.Count() > kReadRecords) {
    StartSummary();
    const std::unique_ptr<SummaryBuilder>& started = ActiveSummary();
    if (started == nullptr) return walkAll();
    if (started->GetState() == SummaryBuilder::State::Failed) {
      // The build ran into a short file or a read error: let the manager say whether it changed.
      if (manager.CheckSource(source) == kStatusSourceChanged) return kStatusSourceChanged;
      return walkAll();
    }
    return kStatusBusy;  // drawn when the build completes
  }
  if (range.Count() > kReadRecords) return walkAll();
  return ReadAndBuild(span, minMax, range, cache_);
}

int32_t CscPlot::TakePrepared(int32_t source) {
  if (!cacheUnchecked_) return kStatusOk;
  // Columns prepared off this thread: the same check a build ends with.
  cacheUnchecked_ = false;
  if (sources_.CheckSource(source) == kStatusSourceChanged) {
    sourceChanged_ = true;
    ClearCache();
    return kStatusFailed;
  }
  return kStatusOk;
}

int32_t CscPlot::DrawSamples(const PlotFrame& frame, int32_t source, int32_t width) {
  constexpr bool kMinMax = false;
  if (!cache_.Matches(frame.start, frame.end, width, kMinMax) &&
      BuildColumns(source, SpanFor(frame.start, frame.end, width), kMinMax) != 0) {
    return kStatusFailed;
  }
  if (TakePrepared(source) != kStatusOk) return kStatusFailed;

  GLRenderer* renderer = frame.renderer;
  if (renderer == nullptr) return kStatusOk;
  if (properties_.drawTrace) {
    renderer->DrawTrace(cache_.xs, cache_.counts, cache_.mins, properties_.traceColour, properties_.traceLineWidth,
                        kDepthTrace, kOpaque, &tracePixels_);
  }
  // Points only where neighbouring samples lie more than two pixels apart.
  const int64_t timePerColumn = frame.visibleSpan / width;
  if (properties_.drawPoints && static_cast<double>(timePerColumn) < samplePeriod_ / 2.0) {
    renderer->DrawPoints(cache_.PointColumns(), cache_.mins, kColourLight, properties_.pointSize, kDepthTrace, kOpaque);
  }
  return kStatusOk;
}

int32_t CscPlot::DrawMinMax(const PlotFrame& frame, int32_t source, int32_t width) {
  constexpr bool kMinMax = true;
  if (!cache_.Matches(frame.start, frame.end, width, kMinMax) &&
      BuildColumns(source, SpanFor(frame.start, frame.end, width), kMinMax) != 0) {
    return kStatusFailed;
  }
  if (TakePrepared(source) != kStatusOk) return kStatusFailed;

  if (GLRenderer* renderer = frame.renderer) {
    // The bars' ends are drawn as points too: a bar shorter than a pixel rasterises to nothing, and
    // a quiet channel would vanish when zoomed out.
    renderer->DrawColumnBars(cache_.xs, cache_.mins, cache_.maxs, properties_.traceColour,
                             properties_.traceLineWidth, kDepthTrace, kOpaque);
  }
  return kStatusOk;
}

int32_t CscPlot::DrawDataAxisLabel(const PlotFrame& frame, int32_t axisWidth, int32_t plotHeight, int32_t unused,
                                   int32_t plotY) {
  if (frame.canvas == nullptr) return kStatusOk;
  const int32_t top = SaturateTo<int32_t>(std::trunc(properties_.ADMaxValue * properties_.scale));
  frame.canvas->DrawDataAxis(axisWidth, plotHeight, unused, plotY, 0, top,
                                   properties_.scale == 1.0 ? kCountsUnit : kMicrovoltUnit);
  return kStatusOk;
}

}  // namespace skelvane
