#include "display/CscPlot.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "columns/BarRowKeys.h"
#include "columns/FilePieceExtremes.h"
#include "columns/LiteralColumns.h"
#include "columns/RecordColumns.h"
#include "columns/RecordWalk.h"
#include "columns/SampleScaling.h"
#include "columns/SummaryColumns.h"
#include "datafile/ChannelTiming.h"
#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/SparseTimeIndex.h"
#include "display/DisplayConstants.h"
#include "display/IPlotCanvas.h"
#include "display/SpikeTicks.h"
#include "platform/ReportError.h"
#include "platform/Saturating.h"
#include "platform/ScratchPool.h"
#include "platform/StatusCodes.h"
#include "render/GLRenderer.h"
#include "spikes/SpikeMarks.h"
#include "summary/SummaryCache.h"

namespace skelvane {
namespace {

// The working memory of a filtered read: about 20 MB for the most records a view reads at once, and
// needed only during the read, so the plots share a few (as many as read at once) instead of each
// keeping its own: a session of many filtered plots scrolled through at a minute's span held 25 MB for
// every plot drawn.
struct FilterScratch {
  FilteredRecords::Buffers buffers;
  std::vector<int16_t> samples;
  std::vector<int64_t> times;
};
// The drawing thread, the frame's helpers and the thread that works ahead read at once.
constexpr std::size_t kKeptFilterScratch = 4;

ScratchPool<FilterScratch>& FilterScratchPool() {
  static ScratchPool<FilterScratch> pool(kKeptFilterScratch);
  return pool;
}

constexpr const char* kSourceIndexMessage = "Error retrieving Data Source Index, err = ";
constexpr const char* kCountsUnit = "  AD Counts";
constexpr const char* kMicrovoltUnit = "  uV";
constexpr int32_t kRecordQuarter = 4;  // every sample is drawn while a column covers at most a quarter record
constexpr int32_t kStatusBusy = 1;     // the columns wait for the source summary

// The row keys of the bar masks for one draw's transform.
class MaskRows final : public BarRowKeys {
 public:
  explicit MaskRows(const ColumnBarCoverage& coverage) : coverage_(coverage) {}
  int64_t Key(int32_t value) const override { return coverage_.RowKey(value); }
  bool ExactColumn(int32_t x) const override { return coverage_.TieColumn(x); }

 private:
  const ColumnBarCoverage& coverage_;
};

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
  // Opened here, with the manager, so that the helpers can prepare the plot's very first frame (they
  // never ask the manager): otherwise that frame reads every new plot's records on the canvas's thread.
  // A file that cannot be opened now is tried again, and reported, when the plot is first drawn.
  OpenReader(sources_, source);
}

int32_t CscPlot::Draw(const PlotFrame& frame, int32_t width, int32_t height, int32_t x0, int32_t y0) {
  int32_t source = -1;
  if (const int32_t rc = sources_.FindSourceByPath(GetPath(), source); rc != 0) {
    ReportError(kSourceIndexMessage, rc);
    return kStatusFailed;
  }
  ClearIconPositions();
  // Columns folded from a kept summary that was cut short meanwhile may hold zeros: never drawn.
  if (SummaryCutShort()) ClearCache();
  // Nothing can be drawn into no columns, over an empty span or with a zero full scale.
  const double fullScale = properties_.ADMaxValue * properties_.scale;
  if (width <= 0 || frame.end <= frame.start || fullScale == 0.0) return kStatusOk;

  const double gain = frame.canvas != nullptr ? frame.canvas->GetAmplitudeGain(GetPath()) : 1.0;
  if (GLRenderer* renderer = frame.renderer) {
    const auto centre = static_cast<float>(y0 + height / 2);
    lastPlace_ = {frame.scrollTop, frame.scrollBottom, frame.canvasWidth, centre};
    renderer->Translate(static_cast<float>(x0), centre, 0.0f);
    renderer->Scale(1.0f, static_cast<float>((height / 2.0) / fullScale * gain), 1.0f);
    // Known whatever this frame draws, the transform lets the next frames' trace pixels be foreseen.
    renderer->NoteTraceTransform(kDepthTrace, tracePixels_);
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

bool CscPlot::SetFilter(const FilterChoice& filter, std::string& refusal) {
  if (filter == filter_) return true;
  // The last filter's design and summary are kept through None, so going back to it costs nothing.
  if (!filter.IsNone() && !(design_ && design_->Choice() == filter)) {
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

bool CscPlot::BuildAside(const PlotFrame& frame, Aside& aside, bool forDraw) {
  const int64_t start = frame.start;
  const int64_t end = frame.end;
  const int32_t width = frame.traceWidth;
  // Only what Draw would build from the file without asking the manager: a finished summary's bars,
  // or the records read in one go.
  if (width <= 0 || end <= start || properties_.ADMaxValue * properties_.scale == 0.0) return false;
  if (recordDuration_ <= 0 || samplePeriod_ <= 0.0) return false;
  if (sourceChanged_ || !reader_.IsOpen() || reader_.NumRecords() == 0) return false;
  const bool minMax = DrawsBars(frame.visibleSpan, width);
  const std::unique_ptr<SummaryBuilder>& builder = ActiveSummary();
  const SourceSummary* summary = builder != nullptr ? builder->Summary() : nullptr;
  const ColumnSpan span = SpanFor(start, end, width);
  RecordRange range;
  if (LocateRecords(summary, span, range) != kStatusOk) return false;
  if (forDraw && minMax && summary == nullptr && Filtered() && WalksSummary(range.Count(), span)) {
    summary = FilteredSummaryNow();
  }
  PixelCache& cache = aside.cache;
  cache.Clear();
  int32_t rc = kStatusFailed;
  if (minMax && summary != nullptr && WalksSummary(range.Count(), span)) {
    // The canvas prepares plots side by side, so one plot's walk is not split further.
    rc = SummaryColumns::Walk(*summary, span, cache, std::numeric_limits<int64_t>::max());
  } else if (range.Count() <= kReadRecords) {
    rc = ReadAndBuild(span, minMax, range, cache);
  }
  if (summary != nullptr && summary->Damaged()) return false;  // the draw finds out and has it built again
  // Open bars settled here, beside the frame, for the rows of the last draw moved with the stack's
  // scroll (exactly with spike marks shown, or when the last draw did not draw through the masks):
  // the draw checks the rows.
  std::optional<ColumnBarCoverage> rows = frame.spikeMarks == nullptr ? BarRowsFor(frame) : std::nullopt;
  if (!rows && frame.spikeMarks == nullptr) rows = lastRows_;
  if (rc == kStatusOk && !cache.Exact()) rc = Settle(cache, rows);
  if (rc != kStatusOk) return false;  // Draw takes it from the start and reports what it finds
  cache.SetKey(start, end, width, minMax);
  aside.rows = cache.Exact() ? std::nullopt : rows;
  aside.scale = properties_.scale;
  // The trace's pixels too, for the transform the draw will most likely have: a plot keeps its place
  // and gain from one frame to the next far more often than not, and a scroll moves it with the stack.
  if (forDraw) tracePixels_.Invalidate();
  if (!minMax) PreparePixels(frame, cache, forDraw ? tracePixels_ : aside.pixels);
  return true;
}

std::optional<TracePixels::Transform> CscPlot::TraceTransformFor(const PlotFrame& frame) const {
  const std::optional<TracePixels::Transform> last = tracePixels_.LastTransform();
  if (!last || frame.canvasWidth != lastPlace_.canvasWidth) return std::nullopt;
  if (frame.scrollTop == lastPlace_.scrollTop && frame.scrollBottom == lastPlace_.scrollBottom) return last;
  return TracePixels::Scrolled(*last, lastPlace_.traceCentre, lastPlace_.scrollBottom, lastPlace_.scrollTop,
                               frame.scrollBottom, frame.scrollTop);
}

void CscPlot::PreparePixels(const PlotFrame& frame, const PixelCache& cache, TracePixels& pixels) const {
  if (const std::optional<TracePixels::Transform> transform = TraceTransformFor(frame)) {
    pixels.PrepareFor(*transform, cache.xs, cache.counts, cache.mins);
  }
}

std::optional<ColumnBarCoverage> CscPlot::BarRowsFor(const PlotFrame& frame) const {
  if (!lastRows_ || frame.spikeMarks != nullptr) return std::nullopt;
  const std::optional<TracePixels::Transform> last = tracePixels_.LastTransform();
  const std::optional<TracePixels::Transform> moved = TraceTransformFor(frame);
  if (!last || !moved) return std::nullopt;
  // The bars' rows come from the same transform as the trace's; only where the last draw's rows are
  // exactly those of its transform (no scissor box kept rows of its own) can the moved ones be told.
  const auto rowsOf = [](const TracePixels::Transform& transform) -> std::optional<ColumnBarCoverage> {
    ColumnBarCoverage rows;
    const std::array<int32_t, 4>& v = transform.viewport;
    if (!rows.SetTransform(transform.matrix, v[0], v[1], v[2], v[3]) || !rows.RowsUsable()) return std::nullopt;
    return rows;
  };
  if (rowsOf(*last) != lastRows_) return std::nullopt;
  return rowsOf(*moved);
}

void CscPlot::SettleFor(const PlotFrame& frame, bool forDraw) {
  if (cache_.Exact()) return;
  const std::optional<ColumnBarCoverage> rows = BarRowsFor(frame);
  if (!rows || settledFor_ == rows) return;
  // A read that fails leaves the bars settled for neither rows: the draw settles them itself and
  // says what it finds.
  settledFor_.reset();
  const int32_t rc = Settle(cache_, rows);
  if (forDraw) piecesReadDrawing_ += static_cast<int64_t>(settler_.PiecesRead());
  if (rc != kStatusOk) return;
  settledFor_ = cache_.Exact() ? std::nullopt : rows;
}

void CscPlot::PrepareDraw(const PlotFrame& frame) {
  const int32_t width = frame.traceWidth;
  if (width <= 0 || recordDuration_ <= 0) return;
  const bool minMax = DrawsBars(frame.visibleSpan, width);
  if (cache_.Matches(frame.start, frame.end, width, minMax) || TakeAhead(frame.start, frame.end, width, minMax)) {
    // The columns are there; the trace's pixels or the bars' ends may be wanted under another
    // transform (the stack scrolled).
    if (minMax) {
      SettleFor(frame, true);
    } else {
      PreparePixels(frame, cache_, tracePixels_);
    }
    return;
  }
  Aside aside;
  if (!BuildAside(frame, aside, true)) return;
  cache_ = std::move(aside.cache);
  settledFor_ = aside.rows;
  cacheUnchecked_ = true;
}

void CscPlot::PrepareAhead(const PlotFrame& frame) {
  const int32_t width = frame.traceWidth;
  if (width <= 0 || recordDuration_ <= 0) return;
  const bool minMax = DrawsBars(frame.visibleSpan, width);
  // Columns already there may still want their pixels or their bar ends for the stack scrolled as
  // `frame` has it.
  if (cache_.Matches(frame.start, frame.end, width, minMax)) {
    if (minMax) {
      SettleFor(frame, false);
    } else {
      PreparePixels(frame, cache_, tracePixels_);
    }
    return;
  }
  for (Aside& aside : ahead_) {
    if (aside.cache.Matches(frame.start, frame.end, width, minMax)) {
      if (!minMax) PreparePixels(frame, aside.cache, aside.pixels);
      return;
    }
  }
  Aside aside;
  if (!BuildAside(frame, aside, false)) return;
  if (ahead_.size() >= kMostAhead) ahead_.erase(ahead_.begin());
  ahead_.push_back(std::move(aside));
}

void CscPlot::KeepAheadFor(std::span<const PlotFrame> frames) {
  // Pixels kept for other scrolls serve only a plot some view ahead shows.
  if (frames.empty()) tracePixels_.DropKept();
  std::erase_if(ahead_, [&](const Aside& aside) {
    return std::none_of(frames.begin(), frames.end(), [&](const PlotFrame& frame) {
      return aside.cache.start == frame.start && aside.cache.end == frame.end && aside.cache.width == frame.traceWidth;
    });
  });
}

bool CscPlot::TakeAhead(int64_t start, int64_t end, int32_t width, bool minMax) {
  const auto found = std::find_if(ahead_.begin(), ahead_.end(), [&](const Aside& aside) {
    return aside.cache.Matches(start, end, width, minMax) && aside.scale == properties_.scale;
  });
  if (found == ahead_.end()) return false;
  cache_ = std::move(found->cache);
  settledFor_ = found->rows;
  cacheUnchecked_ = true;
  tracePixels_.Replace(std::move(found->pixels));
  ahead_.erase(found);
  return true;
}

double CscPlot::SummaryRecordsPerColumn() const {
  const bool shortFilter = Filtered() && design_ && design_->HalfSupport() <= kSamplesPerRecord;
  return shortFilter ? kShortFilterSummaryRecordsPerColumn : kSummaryRecordsPerColumn;
}

bool CscPlot::WalksSummary(int64_t count, const ColumnSpan& span) const {
  return count > kSummaryMinRecords && static_cast<double>(count) > SummaryRecordsPerColumn() * span.width &&
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

std::optional<int16_t> CscPlot::FilteredSampleAt(int64_t recordTime, int32_t offset) const {
  if (!Filtered() || !design_ || !reader_.IsOpen() || offset < 0 || offset >= kSamplesPerRecord) return std::nullopt;
  // The first record stamped at or after the time, by bisection over the file's timestamps.
  int64_t low = 0;
  int64_t high = reader_.NumRecords();
  while (low < high) {
    const int64_t middle = low + (high - low) / 2;
    int64_t t = 0;
    if (reader_.ReadTimestamp(middle, t) != kStatusOk) return std::nullopt;
    if (t < recordTime) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  int64_t found = 0;
  if (low >= reader_.NumRecords() || reader_.ReadTimestamp(low, found) != kStatusOk || found != recordTime) {
    return std::nullopt;
  }
  // Only the one sample is filtered, from the record and its support.
  const FilteredRecords records(reader_, *design_, samplePeriod_);
  FilteredRecords::Loaded loaded;
  int16_t value = 0;
  if (records.Load(low, low + 1, loaded) != kStatusOk ||
      records.FilterSamples(loaded, low, offset, offset + 1, &value) != kStatusOk) {
    return std::nullopt;
  }
  return value;
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

const SourceSummary* CscPlot::FilteredSummaryNow() {
  std::unique_ptr<SummaryBuilder>& summary = ActiveSummary();
  // A build queued behind others (one started for the plots out of view) has not looked yet: it is
  // looked for here instead, and queued again, ahead of those, when it is not kept.
  if (summary != nullptr && summary->GetState() == SummaryBuilder::State::Queued) summary.reset();
  // One a worker has begun may be looking in the cache still: a look is as short as taking it here.
  if (summary != nullptr && summary->GetState() == SummaryBuilder::State::Building) summary->WaitIfKept();
  if (summary == nullptr && Filtered() && design_ && !sourceChanged_ && reader_.IsOpen()) {
    summary = NewSummaryBuilder(SummaryBuilder::Rank::Shown);
    if (!summary->LoadIfKept()) summary->Start();
  }
  return summary != nullptr ? summary->Summary() : nullptr;
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
  summary = NewSummaryBuilder(rank);
  summary->Start();
}

std::unique_ptr<SummaryBuilder> CscPlot::NewSummaryBuilder(SummaryBuilder::Rank rank) const {
  auto summary = Filtered() ? std::make_unique<SummaryBuilder>(layout_, *design_, samplePeriod_)
                            : std::make_unique<SummaryBuilder>(layout_);
  summary->SetRank(rank);
  if (onSummaryFinished) summary->SetOnFinished(onSummaryFinished);
  return summary;
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
  settledFor_.reset();
  cacheUnchecked_ = false;
  tracePixels_.Invalidate();
  if (sourceChanged_) return kStatusFailed;
  IDataSourceManager& manager = sources_;
  int32_t rc = kStatusFailed;
  if (OpenReader(manager, source)) {
    rc = BuildFromFile(manager, source, span, minMax);
    if (SummaryCutShort()) rc = kStatusBusy;  // what was read from the summary may be zeros
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
    if (summary->Descents() > 0) {
      if (span.end <= range.firstTimestamp) return kStatusFailed;
      VisitRecords(RecordWalk(summary->TimeIndex()), span, range);
      return kStatusOk;
    }
    return RecordsInSpan(*summary, span, range.first, range.last) ? kStatusOk : kStatusFailed;
  }
  return ProbeRecordsInSpan(span, range.first, range.last, range.firstTimestamp);
}

// Where timestamps go back, the records a walk visits are not one stretch of the file: they are
// found by walking the timestamps (at most one more than are read in one go).
void CscPlot::VisitRecords(const RecordWalk& walk, const ColumnSpan& span, RecordRange& range) {
  range.visited.clear();
  for (int64_t index = walk.Begin(span.end);
       index >= 0 && RecordWalk::Reaches(walk.At(index), span.start, span.recordDuration) &&
       static_cast<int64_t>(range.visited.size()) <= kReadRecords;
       index = walk.Next(index, false, span.start)) {
    range.visited.push_back(index);
  }
  range.first = 0;
  range.last = static_cast<int64_t>(range.visited.size()) - 1;
}

int32_t CscPlot::ReadAndBuild(const ColumnSpan& span, bool minMax, const RecordRange& range, PixelCache& cache) {
  if (range.Count() <= 0) return kStatusOk;  // the last record ends before start
  if (!range.visited.empty()) return ReadVisited(span, minMax, range, cache);
  if (!minMax) cache.mins.reserve(cache.mins.size() + static_cast<std::size_t>(range.Count() * kSamplesPerRecord));
  if (reader_.NumRecords() <= kReadRecords && (summary_ == nullptr || summary_->Summary() == nullptr)) {
    // A recording read in one go is read whole, once, and walked by its own time index: exact
    // wherever its timestamps go.
    if (const int32_t rc = ReadRecords(0, reader_.NumRecords()); rc != kStatusOk) return rc;
    const std::span<const int64_t> all(timestamps_);
    const std::vector<int64_t> maxima =
        SparseTimeIndex::Descents(all) > 0 ? SparseTimeIndex::EntryMaxima(all) : std::vector<int64_t>();
    const SparseTimeIndex index(all, maxima);
    return RecordColumns::Build(RecordWalk(index), 0, records_.data(), reader_.RecordSize(), span, minMax, cache);
  }
  if (const int32_t rc = ReadRecords(range.first, range.Count()); rc != kStatusOk) return rc;
  const RecordWalk walk(timestamps_.data(), range.first, range.last, range.firstTimestamp);
  return RecordColumns::Build(walk, range.first, records_.data(), reader_.RecordSize(), span, minMax, cache);
}

// The visited records read one by one (nearby ones together) into walk order reversed: stamped in
// rising order there, a walk over them by index visits them in the order the lookups do.
int32_t CscPlot::ReadVisited(const ColumnSpan& span, bool minMax, const RecordRange& range, PixelCache& cache) {
  const int64_t size = reader_.RecordSize();
  const auto count = static_cast<int64_t>(range.visited.size());
  ForgetRecords();
  records_.resize(static_cast<std::size_t>(count * size));
  timestamps_.resize(static_cast<std::size_t>(count));
  for (int64_t v = 0; v < count;) {
    // Visits that follow each other in the file are read at once.
    int64_t run = 1;
    while (v + run < count && range.visited[static_cast<std::size_t>(v + run)] ==
                                  range.visited[static_cast<std::size_t>(v + run - 1)] - 1) {
      ++run;
    }
    const int64_t firstRecord = range.visited[static_cast<std::size_t>(v + run - 1)];
    // Through the plot's filter, as every other read of what it shows.
    if (const int32_t rc = ReadShown(firstRecord, run, readBuffer_); rc != kStatusOk) return rc;
    for (int64_t k = 0; k < run; ++k) {
      // Visit v + k is record firstRecord + run - 1 - k; it goes to slot count - 1 - (v + k).
      const int64_t slot = count - 1 - (v + k);
      std::memcpy(records_.data() + slot * size, readBuffer_.data() + (run - 1 - k) * size, static_cast<std::size_t>(size));
      timestamps_[static_cast<std::size_t>(slot)] = CscRecord(records_.data() + slot * size).Timestamp();
    }
    v += run;
  }
  const RecordWalk walk(timestamps_.data(), 0, count - 1, range.firstTimestamp);
  const int32_t rc = RecordColumns::Build(walk, 0, records_.data(), reader_.RecordSize(), span, minMax, cache);
  ForgetRecords();  // not a stretch of the file: nothing to keep for the next read
  return rc;
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
      // Records as recorded go straight into place: a buffer between would be one more first write
      // to fresh pages and one more copy.
      if (!Filtered()) {
        int64_t whole = 0;
        return reader_.ReadInto(from, to - from, records_.data() + (from - first) * size, whole);
      }
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
  const ScratchPool<FilterScratch>::Lease scratch = FilterScratchPool().Take();
  std::vector<int16_t>& samples = scratch->samples;
  std::vector<int64_t>& times = scratch->times;
  samples.resize(static_cast<std::size_t>(count * kSamplesPerRecord));
  times.resize(static_cast<std::size_t>(count));
  if (const int32_t rc = filtered_->Read(first, first + count, samples.data(), scratch->buffers, nullptr, times.data());
      rc != kStatusOk) {
    return rc;
  }
  // Laid out as records, so that every walk over records takes the filtered ones unchanged.
  const int32_t size = reader_.RecordSize();
  out.assign(static_cast<std::size_t>(count * size), 0);
  for (int64_t r = 0; r < count; ++r) {
    uint8_t* record = out.data() + r * size;
    std::memcpy(record + kCscTimestampOffset, &times[static_cast<std::size_t>(r)], sizeof(int64_t));
    std::memcpy(record + kCscSamplesOffset, samples.data() + r * kSamplesPerRecord, kSamplesPerRecord * sizeof(int16_t));
  }
  return kStatusOk;
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
    if (summary == nullptr && Filtered()) summary = FilteredSummaryNow();
    // Open where a column edge cuts a sub-block: settled when drawn, for the rows drawn in.
    if (summary != nullptr) return SummaryColumns::Walk(*summary, span, cache_);
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

int32_t CscPlot::Settle(PixelCache& cache, const std::optional<ColumnBarCoverage>& rows) {
  PieceExtremes* source = nullptr;
  if (Filtered()) {
    // A filtered summary bounds the filtered samples: its open bars are settled with them.
    if (filteredPieces_ == nullptr) {
      filteredPieces_ = std::make_unique<FilteredPieceExtremes>(reader_, *design_, samplePeriod_);
    }
    const SourceSummary* summary = filteredSummary_ != nullptr ? filteredSummary_->Summary() : nullptr;
    filteredPieces_->UseStates(summary);
    source = filteredPieces_.get();
  } else {
    if (pieceReads_ == nullptr) pieceReads_ = std::make_unique<FilePieceExtremes>(reader_);
    source = pieceReads_.get();
  }
  if (!rows) return settler_.Settle(cache, nullptr, *source, properties_.scale);
  const MaskRows keys(*rows);
  return settler_.Settle(cache, &keys, *source, properties_.scale);
}

int32_t CscPlot::SettleBars(const PlotFrame& frame, int32_t source) {
  ColumnBarCoverage coverage;
  // Spike ticks sit on the bars' exact tops: with marks shown every bar is exact.
  const bool byRows = frame.renderer != nullptr && frame.spikeMarks == nullptr &&
                      frame.renderer->BarRows(properties_.traceLineWidth, kDepthTrace, coverage);
  const std::optional<ColumnBarCoverage> rows = byRows ? std::optional(coverage) : std::nullopt;
  if (frame.renderer != nullptr) lastRows_ = rows;
  if (cache_.Exact() || (rows && settledFor_ == rows)) return kStatusOk;
  const int32_t rc = Settle(cache_, rows);
  piecesReadDrawing_ += static_cast<int64_t>(settler_.PiecesRead());
  if (rc != kStatusOk) {
    // A read that failed: the file may have shrunk; the trace goes until it is drawn afresh.
    if (sources_.CheckSource(source) == kStatusSourceChanged) sourceChanged_ = true;
    ClearCache();
    return kStatusFailed;
  }
  settledFor_ = cache_.Exact() ? std::nullopt : rows;
  return kStatusOk;
}

// A kept summary cut short while mapped (by another program) read zeros where it lost its end: said
// once, and built again from the recording; the trace waits for it, as at first.
bool CscPlot::SummaryCutShort() {
  // Raw and filtered summaries are kept apart; only the one the view walks matters to this frame.
  std::unique_ptr<SummaryBuilder>& active = ActiveSummary();
  const SourceSummary* summary = active != nullptr ? active->Summary() : nullptr;
  if (summary == nullptr || !summary->Damaged()) return false;
  SummaryCache::Instance().ReportCutShort(GetPath());
  active.reset();
  StartSummary();
  return true;
}

const PixelCache& CscPlot::SettledCache() {
  if (cache_.Exact()) return cache_;
  int32_t source = -1;
  if (sources_.FindSourceByPath(GetPath(), source) != 0 || SettleBars(PlotFrame{}, source) != kStatusOk) ClearCache();
  return cache_;
}

int32_t CscPlot::DrawSamples(const PlotFrame& frame, int32_t source, int32_t width) {
  constexpr bool kMinMax = false;
  if (!cache_.Matches(frame.start, frame.end, width, kMinMax) && !TakeAhead(frame.start, frame.end, width, kMinMax) &&
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
  if (!cache_.Matches(frame.start, frame.end, width, kMinMax) && !TakeAhead(frame.start, frame.end, width, kMinMax) &&
      BuildColumns(source, SpanFor(frame.start, frame.end, width), kMinMax) != 0) {
    return kStatusFailed;
  }
  if (TakePrepared(source) != kStatusOk) return kStatusFailed;
  if (SettleBars(frame, source) != kStatusOk) return kStatusFailed;

  if (GLRenderer* renderer = frame.renderer) {
    // The bars' ends are drawn as points too: a bar shorter than a pixel rasterises to nothing, and
    // a quiet channel would vanish when zoomed out.
    renderer->DrawColumnBars(cache_.xs, cache_.mins, cache_.maxs, properties_.traceColour,
                             properties_.traceLineWidth, kDepthTrace, kOpaque);
  }
  return kStatusOk;
}

IPlot::DataAxisRange CscPlot::DataAxis() const {
  const int32_t top = SaturateTo<int32_t>(std::trunc(properties_.ADMaxValue * properties_.scale));
  return {0, top, properties_.scale == 1.0 ? kCountsUnit : kMicrovoltUnit};
}

}  // namespace skelvane
