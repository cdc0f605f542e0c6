#pragma once
// The plot of one open CSC source: pulls the records covering the visible span from the data source
// manager and draws them as a trace through every sample or as one min-max bar per pixel column,
// caching the columns between redraws. Made by the plot collection; its timing and full scale
// (ChannelTiming) are what the extraction takes for its channel (PlotChannels).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "columns/BarSettler.h"
#include "columns/ColumnSpan.h"
#include "columns/FilePieceExtremes.h"
#include "columns/FilteredPieceExtremes.h"
#include "columns/PixelCache.h"
#include "datafile/RecordReader.h"
#include "display/CscPlotProperties.h"
#include "display/Plot.h"
#include "filter/FilterChoice.h"
#include "filter/FilterDesign.h"
#include "filter/FilteredRecords.h"
#include "render/ColumnBarCoverage.h"
#include "render/TracePixels.h"
#include "summary/SummaryBuilder.h"

namespace skelvane {

class RecordWalk;

class CscPlot : public Plot {
 public:
  /// Spans of at most this many records are read in one go and split into columns from memory;
  /// longer bar spans use the source summary (and draw no trace until it is built).
  static constexpr int64_t kReadRecords = 4096;
  /// Bar spans over more records than this, and over more than kSummaryRecordsPerColumn records per
  /// column, come from the source summary once it is built: below that, reading every record costs
  /// less than folding the summary and reading the records at column edges.
  static constexpr int64_t kSummaryMinRecords = 256;
  static constexpr double kSummaryRecordsPerColumn = 0.8;
  /// The same through a filter whose support fits in a record (a bar end in doubt is then filtered
  /// from a short stretch, while reading every record filters every sample shown).
  static constexpr double kShortFilterSummaryRecordsPerColumn = 0.25;
  /// Records per column beyond which bars come from the summary, for the filter in effect.
  double SummaryRecordsPerColumn() const;

  /// Called on a worker thread whenever a plot's summary build ends (built or failed), so the window
  /// can redraw; it must be thread-safe and must not wait for the UI thread. Copied into each build
  /// as it starts.
  static std::function<void()> onSummaryFinished;

  /// Makes the plot of the source at `path`, read through `sources`, drawn in `traceColour`.
  CscPlot(std::string path, std::string displayName, IDataSourceManager& sources, uint32_t traceColour);
  ~CscPlot() override = default;

  /// Estimated sampling frequency, hertz.
  double GetSamplingFrequency() const override;
  /// Sample period, microseconds (0 until the timing is known).
  double GetSamplePeriod() const override;
  /// Derives the record duration, sample period and frequency from the first records, reads
  /// "-ADMaxValue" from the header and opens the plot's own reader of the file.
  void LoadSourceInfo() override;
  /// Draws the frame's span into the rectangle of width x height at (x0, y0); 0 or -1.
  int32_t Draw(const PlotFrame& frame, int32_t width, int32_t height, int32_t x0, int32_t y0) override;
  /// Computes the bars of a zoomed-out span over the frame's trace width from a finished summary, on
  /// any thread; nothing for other spans (Draw reads those itself). The source is checked when Draw
  /// first uses the bars.
  void PrepareDraw(const PlotFrame& frame) override;
  /// Keeps the columns of `frame` aside (at most kMostAhead frames), built as PrepareDraw builds them.
  void PrepareAhead(const PlotFrame& frame) override;
  void KeepAheadFor(std::span<const PlotFrame> frames) override;
  /// Frames whose columns a plot keeps aside at most.
  static constexpr std::size_t kMostAhead = 10;
  /// Frames whose columns are kept aside now.
  std::size_t AheadCount() const { return ahead_.size(); }
  /// The data axis runs from 0 at the middle to the full-scale value, in counts or (scaled) microvolts.
  DataAxisRange DataAxis() const override;
  /// Reads the 20-byte properties record; 0, -1 after a short read, or an errno.
  int32_t ReadProperties(File& file) override;
  /// Writes the 20-byte properties record; 0 or an errno.
  int32_t WriteProperties(File& file) override;
  /// Full-scale A/D value of the source.
  int32_t GetADMaxValue() const override;

  /// The band filter the plot draws its samples through (None: as recorded).
  const FilterChoice& Filter() const { return filter_; }
  /// Draws the samples through `filter` from the next frame on, designed for the recording's rate.
  /// False, with `refusal` naming the field and the recording, when the rate cannot take it (the
  /// plot keeps its filter).
  bool SetFilter(const FilterChoice& filter, std::string& refusal);
  /// What the header says after the plot's name: the filter in effect, nothing with None.
  std::string HeaderNote() const override;
  /// The value the trace draws for sample `offset` (0..511) of the record stamped `recordTime`: the
  /// filtered sample. Nullopt without a band, before the file is open, when no record has that time
  /// (records are looked up by their times in order) or when it cannot be read.
  std::optional<int16_t> FilteredSampleAt(int64_t recordTime, int32_t offset) const;
  /// One line when the recording is shorter than the filter's support (it is then filtered with its
  /// own samples mirrored past both ends, and shown all the same); empty otherwise.
  std::string FilterNotice();

  /// The trace and scaling settings.
  CscPlotProperties& Properties() { return properties_; }
  /// The trace and scaling settings, read-only.
  const CscPlotProperties& Properties() const { return properties_; }
  /// Mean record interval in whole microseconds (0 until known).
  int32_t GetRecordDuration() const { return recordDuration_; }
  /// The pixel columns of the last successful draw and their key. Bars a summary left open hold
  /// values with the pixels of their exact extremes for the last draw's rows (SettledCache has the
  /// extremes themselves).
  const PixelCache& Cache() const { return cache_; }
  /// The trace's pixels as the last draw left them, with those kept for other scrolls.
  const TracePixels& Pixels() const { return tracePixels_; }
  /// Bar pieces the frames have read to settle their bars (while drawing or just before, beside the
  /// other plots), since the plot was made.
  int64_t PiecesReadWhileDrawing() const { return piecesReadDrawing_; }
  /// The pixel columns of the last successful draw with every bar at its exact extremes: the samples
  /// a summary left open are read first. Empty when they cannot be read.
  const PixelCache& SettledCache();
  /// Forgets the cached columns and the records read for them, so the next draw reads its records again.
  void ClearCache() {
    ahead_.clear();
    cache_.Clear();
    settledFor_.reset();
    cacheUnchecked_ = false;
    tracePixels_.Invalidate();
    ForgetRecords();
  }

  /// Starts making the source's min/max summary on the worker pool (loaded from the summary cache
  /// when kept there), when the source's file can be read directly and no build exists yet; long bar
  /// spans wait for it. Draw starts it, or moves a build queued as Hidden ahead, when it needs it. A
  /// Hidden build is not started for a recording too short ever to need one.
  void StartSummary(SummaryBuilder::Rank rank = SummaryBuilder::Rank::Shown);
  /// Starts the summary when a draw of `frame` would wait for it (bars over more records than are
  /// walked one by one), so a caller that must wait anyway starts every one before the first draw;
  /// true when a build exists afterwards.
  bool StartSummaryFor(const PlotFrame& frame);
  /// Blocks until a started summary build has ended; true when there was one to wait for.
  bool WaitForSummary() const;
  /// The summary build of the samples the plot shows (the filtered ones under a band: autoscale, the
  /// overview and the build's progress follow what is drawn), or null before one started.
  const SummaryBuilder* Summary() const { return ActiveSummary().get(); }
  /// True once the source was found changed under its reader; the plot then draws no trace.
  bool SourceChanged() const { return sourceChanged_; }

 private:
  int32_t DrawSamples(const PlotFrame& frame, int32_t source, int32_t width);
  int32_t DrawMinMax(const PlotFrame& frame, int32_t source, int32_t width);
  // The records a walk of a span can visit, and record 0's timestamp. Where the timestamps go
  // back, the records the walk visits, in its order (first..last then count them).
  struct RecordRange {
    int64_t first = 0;
    int64_t last = -1;
    int64_t firstTimestamp = 0;
    std::vector<int64_t> visited;
    int64_t Count() const { return last - first + 1; }
  };
  int32_t BuildColumns(int32_t source, const ColumnSpan& span, bool minMax);
  int32_t BuildFromFile(IDataSourceManager& manager, int32_t source, const ColumnSpan& span, bool minMax);
  int32_t LocateRecords(const SourceSummary* summary, const ColumnSpan& span, RecordRange& range) const;
  int32_t ReadAndBuild(const ColumnSpan& span, bool minMax, const RecordRange& range, PixelCache& cache);
  static void VisitRecords(const RecordWalk& walk, const ColumnSpan& span, RecordRange& range);
  int32_t ReadVisited(const ColumnSpan& span, bool minMax, const RecordRange& range, PixelCache& cache);
  int32_t ReadRecords(int64_t first, int64_t count);
  /// Records [first, first + count) as the plot shows them, laid out as in the file, into `out`.
  int32_t ReadShown(int64_t first, int64_t count, std::vector<uint8_t>& out);
  bool Filtered() const { return !filter_.IsNone(); }
  std::unique_ptr<SummaryBuilder>& ActiveSummary() { return Filtered() ? filteredSummary_ : summary_; }
  const std::unique_ptr<SummaryBuilder>& ActiveSummary() const { return Filtered() ? filteredSummary_ : summary_; }
  void ForgetRecords();
  // Columns built off the drawing thread for a frame, with the rows their open bars were settled for
  // and the trace's pixels when they could be worked out.
  struct Aside {
    PixelCache cache;
    std::optional<ColumnBarCoverage> rows;
    TracePixels pixels;
    double scale = 1.0;
  };
  /// Builds `frame`'s columns into `aside`; false when the draw must build them. For the next draw
  /// (`forDraw`) the trace's pixels go straight to tracePixels_, else into `aside`.
  bool BuildAside(const PlotFrame& frame, Aside& aside, bool forDraw);
  /// The transform a trace drawn in `frame` will most likely have: the last draw's, moved with the
  /// stack's scroll; none before a trace was drawn or when the canvas changed width since.
  std::optional<TracePixels::Transform> TraceTransformFor(const PlotFrame& frame) const;
  /// Works out the pixels of the trace `cache` holds for `frame` into `pixels`, when they can be
  /// foreseen and are not there already.
  void PreparePixels(const PlotFrame& frame, const PixelCache& cache, TracePixels& pixels) const;
  /// The rows the bars of a frame drawn in `frame` will most likely be settled for: the last draw's,
  /// moved with the stack's scroll; none where they cannot be told.
  std::optional<ColumnBarCoverage> BarRowsFor(const PlotFrame& frame) const;
  /// Settles the current columns' open bars for those rows, so that the draw finds them settled;
  /// `forDraw` when the frame itself is under way.
  void SettleFor(const PlotFrame& frame, bool forDraw);
  /// Makes the columns kept aside for start..end over `width` columns the cache; false when none are.
  bool TakeAhead(int64_t start, int64_t end, int32_t width, bool minMax);
  int32_t TakePrepared(int32_t source);
  int32_t SettleBars(const PlotFrame& frame, int32_t source);
  int32_t Settle(PixelCache& cache, const std::optional<ColumnBarCoverage>& rows);
  bool SummaryCutShort();
  bool OpenReader(IDataSourceManager& manager, int32_t source);
  /// The records a walk of `span` can visit, found by probing the file's timestamps (as RecordsInSpan
  /// does with a summary) and the first record's timestamp: 0, kStatusFailed when the span ends before
  /// the first record, or the reader's code.
  int32_t ProbeRecordsInSpan(const ColumnSpan& span, int64_t& first, int64_t& last, int64_t& firstTimestamp) const;
  /// Whether a column of `width` columns over the visible span covers more than a quarter record.
  bool DrawsBars(int64_t visibleSpan, int32_t width) const;
  /// Whether bars over `count` records of `span` come from the summary (once it is built).
  bool WalksSummary(int64_t count, const ColumnSpan& span) const;
  /// The filtered summary a view that walks it wants now: until it is ready the view reads and filters
  /// every record it shows, so one kept on disk is taken at once, on this thread; one that is not kept
  /// starts building. Null until it is ready.
  const SourceSummary* FilteredSummaryNow();
  /// A builder of the summary for the filter in effect (the reader open), not yet started.
  std::unique_ptr<SummaryBuilder> NewSummaryBuilder(SummaryBuilder::Rank rank) const;
  /// The records a walk of `span` can visit: the last one stamped at or before its end and the first
  /// one that does not end before its start; false when the span ends before the first record.
  static bool RecordsInSpan(const SourceSummary& summary, const ColumnSpan& span, int64_t& first, int64_t& last);
  ColumnSpan SpanFor(int64_t start, int64_t end, int32_t width) const;

  IDataSourceManager& sources_;
  CscPlotProperties properties_;
  int32_t recordDuration_ = 0;
  double samplePeriod_ = 0.0;
  PixelCache cache_;
  // The rows cache_'s open bars were settled for (none: not settled, or no bar is open), and the
  // rows the last draw's bars went into (none: not through the masks), which a plot keeps from one
  // frame to the next far more often than not.
  std::optional<ColumnBarCoverage> settledFor_;
  std::optional<ColumnBarCoverage> lastRows_;
  int64_t piecesReadDrawing_ = 0;
  BarSettler settler_;
  std::unique_ptr<FilePieceExtremes> pieceReads_;  // the bar ends read from reader_, its buffer kept
  TracePixels tracePixels_;  // the trace's pixels, for the transform of its last draw
  // The canvas's scroll and width at the last draw that rendered, and the height the trace's middle
  // was moved to: a frame with another scroll draws the trace under the same transform moved with it.
  struct CanvasPlace {
    int32_t scrollTop = 0;
    int32_t scrollBottom = 0;
    int32_t canvasWidth = 0;
    float traceCentre = 0.0f;
  };
  CanvasPlace lastPlace_;
  RecordLayout layout_;
  RecordReader reader_;  // the source's file, read with pread for the records a redraw needs
  std::vector<uint8_t> records_;  // records recordsFirst_.. of the last read, kept for the next one
  std::vector<int64_t> timestamps_;
  int64_t recordsFirst_ = 0;
  int64_t recordsCount_ = 0;
  std::vector<uint8_t> readBuffer_;
  std::unique_ptr<SummaryBuilder> summary_;
  FilterChoice filter_;
  std::optional<FilterDesign> design_;               // of the last filter other than None
  std::unique_ptr<FilteredRecords> filtered_;        // reads the filtered records through reader_
  std::unique_ptr<FilteredPieceExtremes> filteredPieces_;  // the filtered bar ends, for settler_
  std::unique_ptr<SummaryBuilder> filteredSummary_;  // of the samples through design_, kept through None
  bool sourceChanged_ = false;
  std::vector<Aside> ahead_;  // columns of frames that may come, oldest first
  bool cacheUnchecked_ = false;  // cache_ was filled by PrepareDraw; Draw checks the source before using it
};

}  // namespace skelvane
